// QtDesktopServices: DesktopServices on Qt 6 Widgets.
#pragma once

#include <QString>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "desktop_services.h"
#include "single_instance.h"

class Form1Widget;
class QObject;

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

    // Has the clipboard's text handed to the clipboard keeper as the window closes, while it is
    // still the active window: KDE Plasma passes an X11 program's clipboard on to Wayland
    // programs only while an X11 window is active. `x11_display` is the display the program
    // opened (see X11DisplayName). Call it before ShowMainWindow.
    void KeepClipboardAfterExit(std::string x11_display);
    // On X11, when this program still owns the clipboard, hands its text to the clipboard
    // keeper, which serves it after we have gone, and returns once the keeper has it (or has
    // found another program's copy there, or was given up after about a second). Does nothing
    // elsewhere: under native Wayland the compositor decides what outlives a client. Never
    // fails: at worst the text goes when the program does. Only the first call of a run acts.
    static void HandOverClipboard(const std::string& x11_display);

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
    std::optional<std::string> x11_display_;  // set when the clipboard is to outlive us
    std::unique_ptr<QObject> close_watcher_;
    std::unique_ptr<QObject> input_watcher_;
    QString wayland_retry_;  // the snippet to set again at the next input event, if any
    std::chrono::steady_clock::time_point wayland_retry_until_;
    bool busy_pointer_ = false;
};
