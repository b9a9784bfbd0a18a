// Hears live-region changes in any program as NVDA does and prints what it would say: "live
// region: NAME" for each change spoken, "unheard: WHY" for one passed over; "ready" first.
#include <windows.h>
// Needs the types that windows.h declares.
#include <oleacc.h>

#include <cstdio>
#include <deque>

namespace {

struct WinEvent {
    HWND window;
    LONG object;
    LONG child;
};

// Handled from the message loop, as NVDA handles them on its next pump: asking another process
// for its object lets the next event's callback run inside the current one.
std::deque<WinEvent> pending;

void CALLBACK OnLiveRegionChanged(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                                  DWORD) {
    // NVDA reads a whole window's events from its client area.
    pending.push_back(
        {window, object == OBJID_WINDOW && child == CHILDID_SELF ? OBJID_CLIENT : object, child});
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
}

bool IsWithin(HWND ancestor, HWND window) {
    return ancestor == window || ::IsChild(ancestor, window);
}

bool IsTopmost(HWND window) {
    return (::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

// NVDA's filter (shouldAcceptEvent): a change in the foreground program is spoken; one in the
// background only if its window, or the top-level window that holds it, stays on top.
bool IsHeard(HWND window) {
    const HWND foreground = ::GetForegroundWindow();
    return IsWithin(foreground, window) ||
           IsWithin(foreground, ::GetAncestor(window, GA_ROOTOWNER)) || IsTopmost(window) ||
           IsTopmost(::GetAncestor(window, GA_ROOT));
}

// NVDA speaks the accessible name of the event's object, and nothing when it has none.
void Speak(const WinEvent& event) {
    if (!::IsWindow(event.window)) {
        std::printf("unheard: the window is gone\n");
        return;
    }
    if (!IsHeard(event.window)) {
        std::printf("unheard: in the background and not on top\n");
        return;
    }
    IAccessible* object = nullptr;
    VARIANT child;
    ::VariantInit(&child);
    if (FAILED(::AccessibleObjectFromEvent(event.window, static_cast<DWORD>(event.object),
                                           static_cast<DWORD>(event.child), &object, &child))) {
        std::printf("unheard: no accessible object\n");
        return;
    }
    BSTR name = nullptr;
    const HRESULT named = object->get_accName(child, &name);
    object->Release();
    ::VariantClear(&child);
    if (named == S_OK && name != nullptr && ::SysStringLen(name) > 0) {
        std::printf("live region: %ls\n", name);
    } else {
        std::printf("unheard: no name\n");
    }
    ::SysFreeString(name);
}

}  // namespace

int main() {
    // NVDA's thread is a single-threaded apartment; other programs' objects come marshalled.
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) ||
        !::SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED, nullptr,
                           OnLiveRegionChanged, 0, 0, WINEVENT_OUTOFCONTEXT)) {
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&message);
        while (!pending.empty()) {
            const WinEvent event = pending.front();
            pending.pop_front();
            Speak(event);
            std::fflush(stdout);
        }
    }
    return 0;
}
