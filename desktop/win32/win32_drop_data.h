// Win32DropData: a dropped, pasted or chosen file list as the logic's opaque DropData.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <shellapi.h>

#include "desktop_services.h"

// A CF_HDROP block, or none for a paste without files. Valid only while the message that
// brought it is handled; the window frees the block afterwards (DragFinish for WM_DROPFILES).
class Win32DropData final : public DropData {
public:
    explicit Win32DropData(HDROP drop) : drop_(drop) {}
    HDROP Drop() const { return drop_; }

private:
    HDROP drop_;
};
