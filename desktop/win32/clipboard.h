// OpenedClipboard: the system clipboard, open for this program for the object's lifetime.
#pragma once

#include <windows.h>

#include <string_view>

#include "win32_handles.h"

// Opens the clipboard on construction and closes it on destruction, on every path: a clipboard
// left open blocks every other program's copy and paste until this process ends.
class OpenedClipboard {
public:
    // Raises Failure when another program keeps the clipboard open for longer than a moment.
    explicit OpenedClipboard(HWND owner);
    ~OpenedClipboard();
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;

    // Empties the clipboard and makes the owner window its owner.
    void Empty();
    // Puts the text on the (emptied) clipboard as CF_UNICODETEXT and checks that it is there.
    void PutText(std::wstring_view text);
    // A copy of the file list on the clipboard (CF_HDROP, as Explorer's copy and cut put it
    // there), or an empty block when the clipboard holds none.
    UniqueGlobal CopyFileList();
};
