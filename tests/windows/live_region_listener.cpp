// Listens as a screen reader does for live-region changes in any program and prints each
// region's new text: "live region: TEXT", after "ready" once it listens.
#include <windows.h>

#include <cstdio>

namespace {

void CALLBACK OnLiveRegionChanged(HWINEVENTHOOK, DWORD, HWND region, LONG, LONG, DWORD, DWORD) {
    wchar_t text[256] = L"";
    ::GetWindowTextW(region, text, 256);
    std::printf("live region: %ls\n", text);
    std::fflush(stdout);
}

}  // namespace

int main() {
    if (!::SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                           OnLiveRegionChanged, 0, 0, WINEVENT_OUTOFCONTEXT)) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
    }
    return 0;
}
