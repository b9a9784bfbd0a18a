// Brings files and pictures to Vellumine as any other program could: "put [FORMAT HEX]..." puts
// the bytes on the clipboard in each format (a number such as 8 for CF_DIB, or a registered name
// such as PNG; one HEX alone is a CF_HDROP block, and @PATH names a file of the bytes); "get
// FORMAT [PATH]" prints a format's bytes, or writes them to PATH; "paste" sends its window
// Ctrl+V's command and returns once it is handled.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "resource_ids.h"

namespace {

UINT FormatOf(const char* name) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(name, &end, 10);
    const std::wstring wide(name, name + std::strlen(name));
    return *end == '\0' ? static_cast<UINT>(number) : ::RegisterClipboardFormatW(wide.c_str());
}

// The bytes that HEX spells, or with @PATH instead those of a file: a command line holds fewer.
HGLOBAL Block(const std::string& hex) {
    std::string bytes;
    if (hex.starts_with("@")) {
        std::ifstream file(hex.substr(1), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), {});
    }
    for (std::size_t i = 0; !hex.starts_with("@") && i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    void* to = ::GlobalLock(block);
    if (to != nullptr) {
        std::memcpy(to, bytes.data(), bytes.size());
    }
    ::GlobalUnlock(block);
    return block;
}

bool Put(int count, char** pairs) {
    // The clipboard takes data only from an owner window; the data outlives it.
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   nullptr, nullptr);
    bool put = ::OpenClipboard(owner) && ::EmptyClipboard();
    for (int i = 0; put && i + 1 < count; i += 2) {
        put = ::SetClipboardData(FormatOf(pairs[i]), Block(pairs[i + 1])) != nullptr;
    }
    ::CloseClipboard();
    return put;
}

bool Get(const char* format, const char* path) {
    if (!::OpenClipboard(nullptr)) {
        return false;
    }
    HANDLE data = ::GetClipboardData(FormatOf(format));
    const auto* bytes = static_cast<const unsigned char*>(data ? ::GlobalLock(data) : nullptr);
    if (bytes != nullptr && path != nullptr) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes), std::streamsize(::GlobalSize(data)));
    }
    for (SIZE_T i = 0; bytes != nullptr && path == nullptr && i < ::GlobalSize(data); ++i) {
        std::printf("%02x", bytes[i]);
    }
    std::printf("\n");
    if (bytes != nullptr) {
        ::GlobalUnlock(data);
    }
    ::CloseClipboard();
    return bytes != nullptr;
}

bool Paste() {
    HWND window = ::FindWindowW(L"Vellumine.Form1", nullptr);
    DWORD_PTR result = 0;
    return window != nullptr && ::SendMessageTimeoutW(window, WM_COMMAND,
                                                      MAKEWPARAM(IDM_PASTE, 1), 0, SMTO_NORMAL,
                                                      10000, &result) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc >= 2 ? argv[1] : "";
    char hdrop[] = "15";
    char* one_list[] = {hdrop, argc == 3 ? argv[2] : nullptr};
    const bool done = command == "put" && argc == 3   ? Put(2, one_list)
                      : command == "put" && argc % 2 == 0 ? Put(argc - 2, argv + 2)
                      : command == "get" && argc <= 4   ? Get(argv[2], argv[3])
                      : command == "paste" && argc == 2 ? Paste()
                                                        : false;
    std::printf("%s\n", done ? "done" : "failed");
    return done ? 0 : 1;
}
