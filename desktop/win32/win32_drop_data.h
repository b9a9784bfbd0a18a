// Win32DropData: a dropped, pasted or chosen file list, and a pasted picture, as DropData.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <shellapi.h>

#include <utility>

#include "clipboard_picture.h"
#include "desktop_services.h"

// A CF_HDROP block, or none for a paste without files, and the picture a paste copied. Valid
// only while the message that brought it is handled; the window frees the block afterwards
// (DragFinish for WM_DROPFILES).
class Win32DropData final : public DropData {
public:
    explicit Win32DropData(HDROP drop, CopiedPicture picture = {})
        : drop_(drop), picture_(std::move(picture)) {}
    HDROP Drop() const { return drop_; }
    const CopiedPicture& PastedPicture() const { return picture_; }

private:
    HDROP drop_;
    CopiedPicture picture_;
};
