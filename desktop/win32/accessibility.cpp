// AccessibleAnnotations on IAccPropServices and NotifyWinEvent.
#include "accessibility.h"

// Needs the types that windows.h declares.
#include <oleacc.h>

#include <string>

namespace {

// mingw-w64's import libraries lack these GUIDs, and its headers the UI Automation property:
// the values are those of the Windows SDK's oleacc.h and UIAutomationClient.h.
constexpr CLSID kAccPropServicesClass = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesInterface = {
    0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kDescriptionProperty = {
    0x4d48dfe4, 0xbd3f, 0x491f, {0xa6, 0x48, 0x49, 0x2d, 0x6f, 0x20, 0xc5, 0x88}};
constexpr GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
// UI Automation's LiveSetting value Polite.
constexpr LONG kPolite = 1;

}  // namespace

AccessibleAnnotations::AccessibleAnnotations() {
    IAccPropServices* raw = nullptr;
    if (SUCCEEDED(::CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER,
                                     kAccPropServicesInterface, reinterpret_cast<void**>(&raw)))) {
        services_.Reset(raw);
    }
}

AccessibleAnnotations::~AccessibleAnnotations() {
    Clear();
}

void AccessibleAnnotations::Describe(HWND window, std::wstring_view description) {
    if (services_ && SUCCEEDED(services_.Get()->SetHwndPropStr(
                         window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                         kDescriptionProperty, std::wstring(description).c_str()))) {
        annotated_.emplace_back(window, kDescriptionProperty);
    }
}

void AccessibleAnnotations::MakePoliteLiveRegion(HWND control) {
    VARIANT polite{};
    polite.vt = VT_I4;
    polite.lVal = kPolite;
    if (services_ &&
        SUCCEEDED(services_.Get()->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT),
                                               CHILDID_SELF, kLiveSettingProperty, polite))) {
        annotated_.emplace_back(control, kLiveSettingProperty);
    }
}

void AccessibleAnnotations::Clear() {
    for (auto& [window, property] : annotated_) {
        services_.Get()->ClearHwndProps(window, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                        &property, 1);
    }
    annotated_.clear();
}

void AccessibleAnnotations::AnnounceChange(HWND control) {
    ::NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, control, OBJID_CLIENT, CHILDID_SELF);
}
