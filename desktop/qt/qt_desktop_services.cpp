// QtDesktopServices: each desktop operation with its real effect on Qt 6.
#include "qt_desktop_services.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QRadioButton>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <utility>

#include "clipboard_keeper_start.h"
#include "form1_accessibility.h"
#include "form1_handlers.h"
#include "form1_widget.h"
#include "platform_choice.h"
#include "qt_colour.h"
#include "qt_drop_data.h"
#include "qt_text.h"
#include "regular_file.h"
#include "vellumine_version.h"

namespace {

// A keeper that has not taken the clipboard by then is given up: closing must stay quick.
constexpr std::chrono::milliseconds kKeeperTakeOver{1000};
// How long Qt may take to hear that the keeper has the clipboard now.
constexpr std::chrono::milliseconds kClipboardLoss{300};

// How long after the clipboard was set under native Wayland an input event may still set it again
// (see SetClipboardText).
constexpr std::chrono::seconds kWaylandRetry{3};

// Shows every event of the object it watches to an action, which lets it pass on.
class EventWatcher final : public QObject {
public:
    explicit EventWatcher(std::function<void(const QEvent&)> action) : action_(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        action_(*event);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const QEvent&)> action_;
};

void SetTextColour(QWidget& widget, QPalette::ColorRole role, Colour colour) {
    QPalette palette = widget.palette();
    palette.setColor(role, ToQColor(colour));
    widget.setPalette(palette);
}

}  // namespace

QtDesktopServices::QtDesktopServices(QString instance_name) : instance_(std::move(instance_name)) {}

QtDesktopServices::~QtDesktopServices() {
    if (busy_pointer_) {
        QApplication::restoreOverrideCursor();
    }
}

void QtDesktopServices::CreateMainWindow() {
    window_ = std::make_unique<Form1Widget>();
    if (hand_over_ != nullptr) {
        window_->SetClosingAction([hand_over = hand_over_] { hand_over->RunOnce(); });
    }
    HandleWindowLoad();
    window_->show();
    if (OnNativeWayland()) {
        input_watcher_ = std::make_unique<EventWatcher>([this](const QEvent& e) {
            const QEvent::Type type = e.type();
            if (type == QEvent::Enter || type == QEvent::MouseButtonPress ||
                type == QEvent::KeyPress) {
                RetryWaylandClipboard();
            }
        });
        window_->windowHandle()->installEventFilter(input_watcher_.get());
    }
}

void QtDesktopServices::RetryWaylandClipboard() {
    if (wayland_retry_.isNull()) {
        return;
    }
    const QString text = std::exchange(wayland_retry_, QString());
    QClipboard* clipboard = QApplication::clipboard();
    if (std::chrono::steady_clock::now() < wayland_retry_until_ && clipboard->ownsClipboard() &&
        clipboard->text(QClipboard::Clipboard) == text) {
        clipboard->setText(text, QClipboard::Clipboard);
    }
}

void QtDesktopServices::ShowMainWindow() {
    CreateMainWindow();
    QApplication::exec();
    window_.reset();
}

void QtDesktopServices::EndProgram() {
    window_.reset();
    std::fflush(nullptr);
    // Ends at once, as a second copy must, without unwinding through the toolkit; nothing of
    // this process needs saving.
    std::_Exit(0);
}

void ClipboardHandOver::RunOnce() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || std::exchange(ran_, true)) {
        return;
    }
    // A loss of the clipboard may still wait in the queue; it must count before we decide. Keys
    // and clicks wait; drops and queued work still come, and the closing window refuses them.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QByteArray text = clipboard->text(QClipboard::Clipboard).toUtf8();
    if (!clipboard->ownsClipboard() || text.isEmpty()) {
        return;
    }
    const KeeperOutcome outcome =
        StartClipboardKeeper(x11->connection(), x11_display_,
                             std::string_view(text.constData(), text.size()), kKeeperTakeOver);
    if (outcome != KeeperOutcome::Serving) {
        return;
    }
    // Qt must hear that the clipboard is the keeper's before the application object goes:
    // Qt 6.4 then offers a clipboard it believes its own to whatever owns CLIPBOARD_MANAGER and
    // waits up to five seconds for an answer that an owner which keeps nothing may never give.
    const auto deadline = std::chrono::steady_clock::now() + kClipboardLoss;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (!clipboard->ownsClipboard() || std::chrono::steady_clock::now() > deadline) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

Form1Widget& QtDesktopServices::RequireWindow() const {
    if (!window_) {
        throw Failure("the main window does not exist");
    }
    return *window_;
}

void QtDesktopServices::SetCaption(std::string_view text) {
    RequireWindow().setWindowTitle(ToQString(text));
}

Colour QtDesktopServices::GetWindowBackColour() {
    return FromQColor(RequireWindow().palette().color(QPalette::Window));
}

void QtDesktopServices::SetPointer(Pointer pointer) {
    if (pointer == Pointer::Busy && !busy_pointer_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        busy_pointer_ = true;
    } else if (pointer == Pointer::Default && busy_pointer_) {
        QApplication::restoreOverrideCursor();
        busy_pointer_ = false;
    }
}

void QtDesktopServices::MakeTopmost() {
    Form1Widget& window = RequireWindow();
    const bool was_visible = window.isVisible();
    // X11 window managers read the stay-on-top state when the window is mapped, so the hint
    // must be set before the first show; on Windows Qt applies it with SetWindowPos itself.
    window.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (was_visible) {
        window.show();  // changing the flags hides the window
    }
}

void QtDesktopServices::AcceptFileDrops() {
    RequireWindow().setAcceptDrops(true);
}

void QtDesktopServices::SetOptionBackColour(OptionButton option, Colour colour) {
    QRadioButton* button = RequireWindow().Option(option);
    SetTextColour(*button, QPalette::Window, colour);
    SetTextColour(*button, QPalette::Button, colour);
    button->setAutoFillBackground(true);
}

void QtDesktopServices::RemoveLabelBorder() {
    RequireWindow().Label1()->setFrameShape(QFrame::NoFrame);
}

void QtDesktopServices::SetLabelColour(Colour colour) {
    SetTextColour(*RequireWindow().Label1(), QPalette::WindowText, colour);
}

void QtDesktopServices::SetLabelCaption(std::string_view text) {
    QLabel& label = *RequireWindow().Label1();
    const QString old_text = label.text();
    label.setText(ToQString(text));
    AnnounceStatusChange(label, old_text);
}

bool QtDesktopServices::IsOption1Selected() {
    return RequireWindow().Option(OptionButton::Option1)->isChecked();
}

bool QtDesktopServices::HasFileList(const DropData& data) {
    return !static_cast<const QtDropData&>(data).LocalPaths().empty();
}

std::string QtDesktopServices::FirstDroppedFile(const DropData& data) {
    const std::vector<std::string>& paths = static_cast<const QtDropData&>(data).LocalPaths();
    if (paths.empty()) {
        throw Failure("the drop holds no local file");
    }
    return paths.front();
}

Picture QtDesktopServices::PastedPicture(const DropData& data) {
    return static_cast<const QtDropData&>(data).PastedPicture();
}

void QtDesktopServices::ClearClipboard() {
    wayland_retry_.clear();
    // Owning the clipboard with nothing in it, rather than giving it up: on X11 a clipboard with
    // no owner makes clipboard managers step in with what they kept, and their answer can land
    // after the snippet and replace it.
    QApplication::clipboard()->setMimeData(new QMimeData, QClipboard::Clipboard);
}

void QtDesktopServices::SetClipboardText(std::string_view text) {
    QClipboard* clipboard = QApplication::clipboard();
    const QString snippet = ToQString(text);
    clipboard->setText(snippet, QClipboard::Clipboard);
    // QClipboard reports nothing when the desktop refuses the text; reading it back (served from
    // our own copy while we own the clipboard) tells a refusal from a success.
    if (clipboard->text(QClipboard::Clipboard) != snippet) {
        throw Failure("the clipboard did not take the text");
    }
    // Qt 6.4's Wayland plugin names the serial of the last pointer or key event it saw in our
    // window, and a compositor refuses a serial older than another program's copy (sway:
    // "serial indicates superseded"). A drop brings no such event, so after a drop onto the
    // window without a click the snippet may not have been taken; the next event that does
    // (the pointer entering anew as the drag ends, a click, a key) sets it again, shortly after.
    if (OnNativeWayland()) {
        wayland_retry_ = snippet;
        wayland_retry_until_ = std::chrono::steady_clock::now() + kWaylandRetry;
    }
}

void QtDesktopServices::ShowWarning(std::string_view text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vellumine"), ToQString(text),
                    QMessageBox::Ok, window_.get());
    box.setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

bool QtDesktopServices::PreviousInstanceRunning() {
    return !instance_.TryClaim();
}

Version QtDesktopServices::VersionNumbers() {
    return {VELLUMINE_VERSION_MAJOR, VELLUMINE_VERSION_MINOR, VELLUMINE_VERSION_REVISION};
}

std::uint64_t QtDesktopServices::FileLength(std::string_view path) {
    return RegularFileLength(std::string(path));
}

ByteText QtDesktopServices::ReadFileBytes(std::string_view path, std::size_t count) {
    return ReadRegularFile(std::string(path), count);
}

// At the end: Xlib's macros (None, Bool, Status, KeyPress) would clash with Qt's names above.
#include <X11/Xlib.h>

std::string X11DisplayName() {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 != nullptr ? x11->display() : nullptr;
    return display != nullptr ? DisplayString(display) : "";
}
