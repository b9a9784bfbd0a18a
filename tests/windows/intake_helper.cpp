// Brings files to Vellumine as any other program could: "put HEX" puts the bytes on the clipboard
// as a CF_HDROP block; "paste" sends its window Ctrl+V's command and returns once it is handled.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "resource_ids.h"

namespace {

bool Put(const std::string& hex) {
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, hex.size() / 2);
    auto* bytes = static_cast<unsigned char*>(::GlobalLock(block));
    for (std::size_t i = 0; bytes != nullptr && i + 1 < hex.size(); i += 2) {
        bytes[i / 2] = static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    ::GlobalUnlock(block);
    // The clipboard takes data only from an owner window; the data outlives it.
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   nullptr, nullptr);
    const bool put = ::OpenClipboard(owner) && ::EmptyClipboard() &&
                     ::SetClipboardData(CF_HDROP, block) != nullptr;
    ::CloseClipboard();
    return put;
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
    const bool done = argc == 3 && std::strcmp(argv[1], "put") == 0 ? Put(argv[2])
                      : argc == 2 && std::strcmp(argv[1], "paste") == 0 ? Paste()
                                                                         : false;
    std::printf("%s\n", done ? "done" : "failed");
    return done ? 0 : 1;
}
