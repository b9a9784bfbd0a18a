// QtDesktopServices: DesktopServices on Qt 6 Widgets.
#pragma once

#include <QString>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "desktop_services.h"
#include "single_instance.h"

class Form1Widget;
class QObject;

// The display that Qt's xcb plugin opened, as Xlib named it on opening ($DISPLAY, or the last of
// the -display options as Qt reads them); "" away from X11. The keeper must serve on this one,
// and the clipboard is read on it.
std::string X11DisplayName();

// Hands this program's clipboard text to the clipboard keeper, which serves it after we have gone,
// once a run: the window's close and the way out after the event loop both ask for it, and a
// keeper given up at the close must not hold the exit up a second time.
class ClipboardHandOver {
public:
    // `x11_display` is the display the program opened (see X11DisplayName).
    explicit ClipboardHandOver(std::string x11_display) : x11_display_(std::move(x11_display)) {}

    // The first call, on X11, when this program still owns the clipboard: hands its text to the
    // keeper and returns once the keeper has it (or has found another program's copy there, or
    // was given up after about a second). Later calls do nothing, and so does any call elsewhere:
    // under native Wayland the compositor decides what outlives a client. Never fails: at worst
    // the text goes when the program does.
    void RunOnce();

private:
    std::string x11_display_;
    bool ran_ = false;
};

// Needs a QApplication for its whole life. Window and control operations act on the one
// Form1Widget, which CreateMainWindow makes.
class QtDesktopServices final : public DesktopServices {
public:
    explicit QtDesktopServices(QString instance_name = SingleInstance::DefaultName());
    ~QtDesktopServices() override;

    // Creates the window, runs HandleWindowLoad and shows it, without waiting for it to close.
    void CreateMainWindow();
    // The window, once created.
    Form1Widget* Window() const { return window_.get(); }

    // Runs `hand_over` as the window closes, while it is still the active window: KDE Plasma
    // passes an X11 program's clipboard on to Wayland programs only while an X11 window is
    // active. `hand_over` must outlive the window. Call it before ShowMainWindow.
    void HandOverClipboardAtClose(ClipboardHandOver& hand_over) { hand_over_ = &hand_over; }

    void ShowMainWindow() override;
    [[noreturn]] void EndProgram() override;
    void SetCaption(std::string_view text) override;
    Colour GetWindowBackColour() override;
    void SetPointer(Pointer pointer) override;
    void MakeTopmost() override;
    void AcceptFileDrops() override;
    void SetOptionBackColour(OptionButton option, Colour colour) override;
    void RemoveLabelBorder() override;
    void SetLabelColour(Colour colour) override;
    void SetLabelCaption(std::string_view text) override;
    bool IsOption1Selected() override;
    bool HasFileList(const DropData& data) override;
    std::string FirstDroppedFile(const DropData& data) override;
    Picture PastedPicture(const DropData& data) override;
    void ClearClipboard() override;
    void SetClipboardText(std::string_view text) override;
    void ShowWarning(std::string_view text) override;
    bool PreviousInstanceRunning() override;
    Version VersionNumbers() override;
    std::uint64_t FileLength(std::string_view path) override;
    ByteText ReadFileBytes(std::string_view path, std::size_t count) override;

private:
    Form1Widget& RequireWindow() const;
    // Sets the clipboard once more under native Wayland, where the first try may have carried
    // an input serial that the compositor refused; see SetClipboardText.
    void RetryWaylandClipboard();

    SingleInstance instance_;
    std::unique_ptr<Form1Widget> window_;
    ClipboardHandOver* hand_over_ = nullptr;  // set when the clipboard is to outlive us
    std::unique_ptr<QObject> input_watcher_;
    QString wayland_retry_;  // the snippet to set again at the next input event, if any
    std::chrono::steady_clock::time_point wayland_retry_until_;
    bool busy_pointer_ = false;
};
