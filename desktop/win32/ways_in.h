// WaysIn: the ways files and pictures come into the window, and the intake that they share.
#pragma once

#include <windows.h>
// Needs the types that windows.h declares.
#include <shellapi.h>

#include <optional>
#include <string>

#include "clipboard_picture.h"
#include "desktop_services.h"
#include "win32_handles.h"

// Hands what comes in to its handler: a drop or a chosen file (Ctrl+O, a double-click on the
// picture) to HandleFileDrop, a paste (Ctrl+V, Shift+Insert) to HandlePaste. One at a time:
// every way in starts only while the intake is idle, so that none starts inside another's
// warning box or chooser. Pastes, chosen files and OLE drops wait for their turn until the key,
// drop or chooser that brought them has returned.
class WaysIn {
public:
    // The window whose messages bring things in; null once it is gone.
    void SetWindow(HWND window) { window_ = window; }
    // Handles a message that brings something in; nothing for any other message.
    std::optional<LRESULT> Handle(UINT message, WPARAM wparam, LPARAM lparam);
    // Lets the user choose a file and handles it as a one-file drop. Beeps, as Windows does
    // for what cannot be done now, when the chooser cannot open.
    void Choose();
    // Whether a way in may start now.
    bool Idle() const;
    // Queues a dropped file list for the drop handler; false when it is let go instead.
    bool TakeFileList(UniqueGlobal list);

private:
    using Handler = void (*)(const DropData&);
    void Drop(HDROP drop);
    // Copies the clipboard's file list, or else its picture, and queues them for the paste
    // handler. Beeps when the clipboard cannot be opened or read.
    void Paste();
    bool Queue(Handler handler, UniqueGlobal list, CopiedPicture picture);
    void HandleQueued();

    // Queued: what came in waits for its turn. Busy: a file is being chosen, or what came in is
    // handled (its warning box may be open).
    enum class Intake { Idle, Queued, Busy };
    HWND window_ = nullptr;
    Intake intake_ = Intake::Idle;
    // What waits while Queued: its handler, its file list (none for a paste without files) and
    // a pasted picture.
    Handler handler_ = nullptr;
    UniqueGlobal list_;
    CopiedPicture picture_;
    // Where the file chooser was last left in this run.
    std::wstring chooser_folder_;
};
