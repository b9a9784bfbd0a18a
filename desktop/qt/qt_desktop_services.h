// QtDesktopServices: DesktopServices on Qt 6 Widgets.
#pragma once

#include <memory>

#include "desktop_services.h"
#include "single_instance.h"

class Form1Widget;

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
    void ClearClipboard() override;
    void SetClipboardText(std::string_view text) override;
    void ShowWarning(std::string_view text) override;
    bool PreviousInstanceRunning() override;
    Version VersionNumbers() override;
    std::uint64_t FileLength(std::string_view path) override;
    ByteText ReadFileBytes(std::string_view path, std::size_t count) override;

private:
    Form1Widget& RequireWindow() const;

    SingleInstance instance_;
    std::unique_ptr<Form1Widget> window_;
    bool busy_pointer_ = false;
};
