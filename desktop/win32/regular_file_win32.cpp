// Regular-file access through CreateFileW and ReadFile.
#include <algorithm>
#include <string>

#include "failure.h"
#include "regular_file.h"
#include "wide_text.h"
#include "win32_handles.h"

namespace {

[[noreturn]] void Fail(const std::string& what, std::string_view path) {
    throw Failure(what + " " + std::string(path) + " (error " + std::to_string(::GetLastError()) +
                  ")");
}

// Opens the path for reading and makes sure it is a file on a disk, not a directory, a console,
// a pipe or another device that CreateFileW also opens.
UniqueFile OpenRegularFile(std::string_view path, BY_HANDLE_FILE_INFORMATION& information) {
    const std::wstring wide_path = ToWide(path);
    if (wide_path.find(L'\0') != std::wstring::npos) {
        throw Failure("a path with a NUL character");
    }
    // Sharing everything: an editor or a browser that still has the image open, even for
    // writing or deleting, must not stop the drop. Without FILE_FLAG_BACKUP_SEMANTICS a
    // directory fails to open at all.
    UniqueFile file(::CreateFileW(
        wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        Fail("cannot open", path);
    }
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK) {
        throw Failure("not a regular file: " + std::string(path));
    }
    if (!::GetFileInformationByHandle(file.Get(), &information)) {
        Fail("cannot look at", path);
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw Failure("a directory: " + std::string(path));
    }
    return file;
}

std::uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& information) {
    return (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
}

}  // namespace

std::uint64_t RegularFileLength(std::string_view path) {
    BY_HANDLE_FILE_INFORMATION information{};
    const UniqueFile file = OpenRegularFile(path, information);
    return SizeOf(information);
}

ByteText ReadRegularFile(std::string_view path, std::size_t count) {
    BY_HANDLE_FILE_INFORMATION information{};
    const UniqueFile file = OpenRegularFile(path, information);
    // A file that changed size since its length was taken is still being written; its first
    // bytes would make a broken image that looks like a success.
    if (SizeOf(information) != count) {
        throw Failure("the file changed while it was read: " + std::string(path));
    }
    ByteText bytes(count);
    std::size_t done = 0;
    while (done < count) {
        // ReadFile takes a DWORD count; larger reads go in pieces.
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes.data() + done, piece, &got, nullptr)) {
            Fail("cannot read", path);
        }
        if (got == 0) {
            throw Failure("the file became shorter while it was read: " + std::string(path));
        }
        done += got;
    }
    return bytes;
}
