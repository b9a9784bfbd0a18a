// WaysIn: drops, pastes and the chooser, queued one at a time for the handlers.
#include "ways_in.h"

#include <utility>

#include "clipboard.h"
#include "failure.h"
#include "file_chooser.h"
#include "file_list.h"
#include "form1_handlers.h"
#include "resource_ids.h"
#include "win32_drop_data.h"

namespace {

// Posted to handle what came in once the key, drop or chooser that brought it has returned.
constexpr UINT kQueuedMessage = WM_APP + 1;

// Every WM_DROPFILES must be answered with DragFinish, or the drop's memory leaks.
class DropFinisher {
public:
    explicit DropFinisher(HDROP drop) : drop_(drop) {}
    ~DropFinisher() { ::DragFinish(drop_); }
    DropFinisher(const DropFinisher&) = delete;
    DropFinisher& operator=(const DropFinisher&) = delete;

private:
    HDROP drop_;
};

// Gives a variable a value for the object's lifetime, then puts back the value it had, so that
// an inner scope never ends an outer one's state early.
template <typename Value>
class Rollback {
public:
    Rollback(Value& variable, Value value)
        : variable_(variable), previous_(std::exchange(variable, value)) {}
    ~Rollback() { variable_ = previous_; }
    Rollback(const Rollback&) = delete;
    Rollback& operator=(const Rollback&) = delete;

private:
    Value& variable_;
    Value previous_;
};

}  // namespace

std::optional<LRESULT> WaysIn::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_DROPFILES:
            Drop(reinterpret_cast<HDROP>(wparam));
            return 0;
        case kQueuedMessage:
            HandleQueued();
            return 0;
        case WM_COMMAND:
            // Keyboard shortcuts come without a control.
            if (lparam == 0 && LOWORD(wparam) == IDM_PASTE) {
                Paste();
                return 0;
            }
            if (lparam == 0 && LOWORD(wparam) == IDM_OPEN) {
                Choose();
                return 0;
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

bool WaysIn::Idle() const {
    return window_ != nullptr && intake_ == Intake::Idle;
}

bool WaysIn::TakeFileList(UniqueGlobal list) {
    return Queue(HandleFileDrop, std::move(list), {});
}

void WaysIn::Paste() {
    if (!Idle()) {
        return;
    }
    UniqueGlobal list;
    CopiedPicture picture;
    try {
        // Open only for as long as the copy takes, a bitmap's pixels read but not encoded: a
        // conversion that puts its snippet on the clipboard opens it again, and every other
        // program waits while it is open.
        OpenedClipboard clipboard(window_);
        list = clipboard.CopyFileList();
        // A copied file comes first; its icon, which a file manager may offer too, is not read.
        if (!list) {
            picture = CopyPicture(clipboard);
        }
    } catch (const Failure&) {
        ::MessageBeep(MB_OK);
        return;
    }
    // A clipboard with neither is handled as a paste of nothing: nothing happens.
    Queue(HandlePaste, std::move(list), std::move(picture));
}

void WaysIn::Choose() {
    if (!Idle()) {
        return;
    }
    std::optional<std::wstring> path;
    try {
        // The chooser runs a message loop of its own, in which drops and the window's other
        // messages still arrive; none of them may start a conversion meanwhile.
        const Rollback busy(intake_, Intake::Busy);
        path = ChooseImageFile(window_, chooser_folder_);
    } catch (const Failure&) {
        ::MessageBeep(MB_OK);
        return;
    }
    if (path) {
        Queue(HandleFileDrop, MakeFileList(*path), {});
    }
}

bool WaysIn::Queue(Handler handler, UniqueGlobal list, CopiedPicture picture) {
    if (!Idle()) {
        return false;
    }
    if (!::PostMessageW(window_, kQueuedMessage, 0, 0)) {
        return false;
    }
    handler_ = handler;
    list_ = std::move(list);
    picture_ = std::move(picture);
    intake_ = Intake::Queued;
    return true;
}

void WaysIn::HandleQueued() {
    if (intake_ != Intake::Queued) {
        return;
    }
    const UniqueGlobal list = std::move(list_);
    const Win32DropData data(static_cast<HDROP>(list.Get()), std::exchange(picture_, {}));
    const Handler handler = std::exchange(handler_, nullptr);
    intake_ = Intake::Idle;
    const Rollback busy(intake_, Intake::Busy);
    handler(data);
}

void WaysIn::Drop(HDROP drop) {
    const DropFinisher finisher(drop);
    // The warning box and the chooser run message loops of their own, in which a drop could
    // arrive and start a second conversion inside the first; like one that comes while taken
    // data waits, that drop is let go instead.
    if (!Idle()) {
        return;
    }
    const Rollback busy(intake_, Intake::Busy);
    HandleFileDrop(Win32DropData(drop));
}
