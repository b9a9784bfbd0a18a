// Win32DropData: a WM_DROPFILES drop as the logic's opaque DropData.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <shellapi.h>

#include "desktop_services.h"

// Valid only while the WM_DROPFILES message that brought it is handled; the window procedure
// releases the drop with DragFinish afterwards.
class Win32DropData final : public DropData {
public:
    explicit Win32DropData(HDROP drop) : drop_(drop) {}
    HDROP Drop() const { return drop_; }

private:
    HDROP drop_;
};
