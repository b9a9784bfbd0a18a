// File lists in the CF_HDROP form: copies of foreign ones, and one-file lists of our own.
#include "file_list.h"

// Needs the types that windows.h declares.
#include <shlobj.h>

#include <cstddef>
#include <cstring>
#include <utility>

#include "failure.h"

namespace {

// Whether the names from offset on, in characters of type Char, are one or more, each ends
// within the block, and the list with them: a name ends with a zero, the list with a second one.
// A list without names is none: DragQueryFile (Wine's, at least) reads a character past it.
template <typename Char>
bool EndsWithin(const std::byte* block, std::size_t offset, std::size_t bytes) {
    Char previous = 0;
    for (std::size_t at = offset; bytes - at >= sizeof(Char); at += sizeof(Char)) {
        Char character{};
        // Copied rather than read in place: nothing says the list starts on a Char boundary.
        std::memcpy(&character, block + at, sizeof character);
        if (character == 0 && (at == offset || previous == 0)) {
            return at != offset;
        }
        previous = character;
    }
    return false;
}

}  // namespace

bool IsWholeFileList(HGLOBAL list) {
    // GlobalSize answers 0 for a handle that is no block of this process.
    const std::size_t bytes = list != nullptr ? ::GlobalSize(list) : 0;
    if (bytes < sizeof(DROPFILES)) {
        return false;
    }
    const LockedGlobal locked(list);
    const auto* block = static_cast<const std::byte*>(locked.Data());
    DROPFILES header{};
    std::memcpy(&header, block, sizeof header);
    if (header.pFiles < sizeof(DROPFILES) || header.pFiles >= bytes) {
        return false;
    }
    return header.fWide ? EndsWithin<wchar_t>(block, header.pFiles, bytes)
                        : EndsWithin<char>(block, header.pFiles, bytes);
}

UniqueGlobal CopyFileList(HGLOBAL list) {
    const std::size_t bytes = list != nullptr ? ::GlobalSize(list) : 0;
    if (bytes < sizeof(DROPFILES)) {
        return {};
    }
    UniqueGlobal copy = AllocateGlobal(bytes, GMEM_MOVEABLE | GMEM_ZEROINIT);
    {
        const LockedGlobal from(list);
        const LockedGlobal to(copy.Get());
        std::memcpy(to.Data(), from.Data(), bytes);
    }
    // The copy is checked, not the source: the source's owner could still change it.
    return IsWholeFileList(copy.Get()) ? std::move(copy) : UniqueGlobal{};
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
