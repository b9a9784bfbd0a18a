// File lists in the CF_HDROP form: copies of foreign ones, and one-file lists of our own.
#include "file_list.h"

// Needs the types that windows.h declares.
#include <shlobj.h>

#include <cstring>

#include "failure.h"

namespace {

// The block's memory, locked for the object's lifetime.
class Locked {
public:
    explicit Locked(HGLOBAL block) : block_(block), data_(::GlobalLock(block)) {
        if (data_ == nullptr) {
            throw Failure("cannot lock a file list");
        }
    }
    ~Locked() { ::GlobalUnlock(block_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    void* Data() const { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};

UniqueGlobal Allocate(std::size_t bytes) {
    UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes));
    if (!block) {
        throw Failure("no memory for a file list");
    }
    return block;
}

}  // namespace

UniqueGlobal CopyFileList(HGLOBAL list) {
    const std::size_t bytes = ::GlobalSize(list);
    if (bytes < sizeof(DROPFILES)) {
        throw Failure("the file list is too short");
    }
    UniqueGlobal copy = Allocate(bytes);
    const Locked from(list);
    const Locked to(copy.Get());
    std::memcpy(to.Data(), from.Data(), bytes);
    return copy;
}

UniqueGlobal MakeFileList(std::wstring_view path) {
    // The header, the path and two terminating zeros: one after the name, one after the list.
    const std::size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    UniqueGlobal list = Allocate(bytes);
    const Locked locked(list.Get());
    auto* header = static_cast<DROPFILES*>(locked.Data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, path.data(), path.size() * sizeof(wchar_t));
    return list;
}
