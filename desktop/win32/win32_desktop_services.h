// Win32DesktopServices: DesktopServices on the Win32 API.
#pragma once

#include <windows.h>

#include <memory>

#include "desktop_services.h"
#include "single_instance.h"

class Form1Window;

// Window and control operations act on the one Form1Window, which CreateMainWindow makes.
class Win32DesktopServices final : public DesktopServices {
public:
    explicit Win32DesktopServices(HINSTANCE instance,
                                  std::wstring instance_name = SingleInstance::DefaultName());
    ~Win32DesktopServices() override;

    // Creates the window hidden, runs HandleWindowLoad and shows it, without waiting for it to
    // close.
    void CreateMainWindow(int show_command = SW_SHOWNORMAL);
    // The window, once created.
    Form1Window* Window() const { return window_.get(); }

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
    Form1Window& RequireWindow() const;

    HINSTANCE instance_;
    SingleInstance single_instance_;
    std::unique_ptr<Form1Window> window_;
};
