// File lists in the CF_HDROP form: copies of foreign ones, and one-file lists of our own.
#include "file_list.h"

// Needs the types that windows.h declares.
#include <shlobj.h>

#include <cstring>

#include "failure.h"

UniqueGlobal CopyFileList(HGLOBAL list) {
    const std::size_t bytes = ::GlobalSize(list);
    if (bytes < sizeof(DROPFILES)) {
        throw Failure("the file list is too short");
    }
    UniqueGlobal copy = AllocateGlobal(bytes, GMEM_MOVEABLE | GMEM_ZEROINIT);
    const LockedGlobal from(list);
    const LockedGlobal to(copy.Get());
    std::memcpy(to.Data(), from.Data(), bytes);
    return copy;
}

UniqueGlobal MakeFileList(std::wstring_view path) {
    // The header, the path and two terminating zeros: one after the name, one after the list.
    const std::size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    UniqueGlobal list = AllocateGlobal(bytes, GMEM_MOVEABLE | GMEM_ZEROINIT);
    const LockedGlobal locked(list.Get());
    auto* header = static_cast<DROPFILES*>(locked.Data());
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(header + 1, path.data(), path.size() * sizeof(wchar_t));
    return list;
}
