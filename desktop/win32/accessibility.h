// AccessibleAnnotations: what the window tells screen readers beyond its controls' own roles.
#pragma once

#include <windows.h>

#include <string_view>
#include <utility>
#include <vector>

#include "win32_handles.h"

struct IAccPropServices;

// Annotations through the system's IAccPropServices, which both MSAA and UI Automation clients
// read. Accessibility is a help, never a reason to stop: without the service (COM not
// initialised, a system that lacks it) every call does nothing. Needs COM on this thread.
class AccessibleAnnotations {
public:
    AccessibleAnnotations();
    ~AccessibleAnnotations();
    AccessibleAnnotations(const AccessibleAnnotations&) = delete;
    AccessibleAnnotations& operator=(const AccessibleAnnotations&) = delete;

    // The window's (client area's) accessible description.
    void Describe(HWND window, std::wstring_view description);
    // Makes the control a polite live region: screen readers read out its new text when they
    // are next idle, without interrupting.
    void MakePoliteLiveRegion(HWND control);
    // Takes every annotation off again; due before the annotated windows are destroyed.
    void Clear();
    // Tells screen readers that the live region's text has changed.
    static void AnnounceChange(HWND control);

private:
    UniqueCom<IAccPropServices> services_;
    std::vector<std::pair<HWND, GUID>> annotated_;
};
