// Win32DesktopServices: each desktop operation with its real effect on Windows.
#include "win32_desktop_services.h"

#include <windows.h>
// Needs the types that windows.h declares.
#include <shellapi.h>

#include <cstdio>
#include <optional>

#include "clipboard.h"
#include "file_list.h"
#include "form1_handlers.h"
#include "form1_window.h"
#include "regular_file.h"
#include "vellumine_version.h"
#include "wide_text.h"
#include "win32_drop_data.h"
#include "win32_handles.h"

namespace {

HDROP DropOf(const DropData& data) {
    return static_cast<const Win32DropData&>(data).Drop();
}

// Several copies of the window message a drop brings; a program running elevated must let them
// through from Explorer, which runs at a lower integrity level (User Interface Privilege
// Isolation would drop them otherwise). 0x0049 is WM_COPYGLOBALDATA, which has no name in the
// headers.
void AllowDropsFromLowerIntegrity(HWND hwnd) {
    for (const UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, UINT{0x0049}}) {
        ::ChangeWindowMessageFilterEx(hwnd, message, MSGFLT_ALLOW, nullptr);
    }
}

// The mandatory integrity level of a process, or nothing when its token cannot be read.
std::optional<DWORD> IntegrityOf(HANDLE process) {
    HANDLE raw_token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &raw_token)) {
        return std::nullopt;
    }
    const UniqueKernelHandle token(raw_token);
    alignas(TOKEN_MANDATORY_LABEL) BYTE buffer[64];
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenIntegrityLevel, buffer, sizeof buffer, &size)) {
        return std::nullopt;
    }
    PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    return *::GetSidSubAuthority(sid, *::GetSidSubAuthorityCount(sid) - 1U);
}

// OLE cannot carry a drag from Explorer to a program that runs at a higher integrity level
// (started "as administrator"), while the window messages of a plain drop can be let through.
// A desktop whose shell runs as high as we do (UAC off, Wine) has no such gap.
bool RunsAboveTheShell() {
    DWORD shell_id = 0;
    const HWND shell = ::GetShellWindow();
    if (shell == nullptr || ::GetWindowThreadProcessId(shell, &shell_id) == 0) {
        return false;
    }
    const UniqueKernelHandle shell_process(
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shell_id));
    if (!shell_process) {
        return false;
    }
    const std::optional<DWORD> ours = IntegrityOf(::GetCurrentProcess());
    const std::optional<DWORD> shells = IntegrityOf(shell_process.Get());
    return ours && shells && *ours > *shells;
}

}  // namespace

Win32DesktopServices::Win32DesktopServices(HINSTANCE instance, std::wstring instance_name)
    : instance_(instance), single_instance_(std::move(instance_name)) {}

Win32DesktopServices::~Win32DesktopServices() = default;

void Win32DesktopServices::CreateMainWindow(int show_command) {
    window_ = std::make_unique<Form1Window>(instance_);
    HandleWindowLoad();
    window_->Show(show_command);
}

void Win32DesktopServices::ShowMainWindow() {
    CreateMainWindow();
    MSG message{};
    while (window_->Exists()) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            break;
        }
        if (got == -1) {
            throw Failure("the message loop failed");
        }
        if (window_->Exists() && window_->TranslateKeys(message)) {
            continue;
        }
        // Tab and the arrow keys move between the options, as in a dialog box.
        if (!window_->Exists() || !::IsDialogMessageW(window_->Handle(), &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    window_.reset();
}

void Win32DesktopServices::EndProgram() {
    window_.reset();
    std::fflush(nullptr);
    // Ends at once, as a second copy must, without returning into the caller's message
    // handling; the system releases the instance mutex with the process.
    ::ExitProcess(0);
}

Form1Window& Win32DesktopServices::RequireWindow() const {
    if (!window_ || !window_->Exists()) {
        throw Failure("the main window does not exist");
    }
    return *window_;
}

void Win32DesktopServices::SetCaption(std::string_view text) {
    if (!::SetWindowTextW(RequireWindow().Handle(), ToWide(text).c_str())) {
        throw Failure("cannot set the caption");
    }
}

Colour Win32DesktopServices::GetWindowBackColour() {
    return RequireWindow().BackColour();
}

void Win32DesktopServices::SetPointer(Pointer pointer) {
    RequireWindow().SetBusy(pointer == Pointer::Busy);
}

void Win32DesktopServices::MakeTopmost() {
    if (!::SetWindowPos(RequireWindow().Handle(), HWND_TOPMOST, 0, 0, 0, 0,
                        SWP_NOMOVE | SWP_NOSIZE)) {
        throw Failure("cannot keep the window on top");
    }
}

void Win32DesktopServices::AcceptFileDrops() {
    Form1Window& window = RequireWindow();
    AllowDropsFromLowerIntegrity(window.Handle());
    window.AcceptDrops(!RunsAboveTheShell());
}

void Win32DesktopServices::SetOptionBackColour(OptionButton option, Colour colour) {
    RequireWindow().SetOptionBackColour(option, colour);
}

void Win32DesktopServices::RemoveLabelBorder() {
    RequireWindow().RemoveLabelBorder();
}

void Win32DesktopServices::SetLabelColour(Colour colour) {
    RequireWindow().SetLabelColour(colour);
}

void Win32DesktopServices::SetLabelCaption(std::string_view text) {
    RequireWindow().SetLabelCaption(ToWide(text));
}

bool Win32DesktopServices::IsOption1Selected() {
    return ::SendMessageW(RequireWindow().Option(OptionButton::Option1), BM_GETCHECK, 0, 0) ==
           BST_CHECKED;
}

bool Win32DesktopServices::HasFileList(const DropData& data) {
    // A paste from a clipboard without files brings no list at all, and a block that is not a
    // whole list counts as none.
    const HDROP drop = DropOf(data);
    return IsWholeFileList(drop) && ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0;
}

std::string Win32DesktopServices::FirstDroppedFile(const DropData& data) {
    const HDROP drop = DropOf(data);
    if (!IsWholeFileList(drop)) {
        throw Failure("the drop holds no whole file list");
    }
    const UINT length = ::DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0) {
        throw Failure("the drop holds no file");
    }
    std::wstring path(length + 1, L'\0');
    const UINT copied = ::DragQueryFileW(drop, 0, path.data(), length + 1);
    if (copied == 0 || copied > length) {
        throw Failure("cannot read the dropped file's name");
    }
    path.resize(copied);
    return ToUtf8(path);
}

Picture Win32DesktopServices::PastedPicture(const DropData& data) {
    return ToPicture(static_cast<const Win32DropData&>(data).PastedPicture());
}

void Win32DesktopServices::ClearClipboard() {
    OpenedClipboard clipboard(RequireWindow().Handle());
    clipboard.Empty();
}

void Win32DesktopServices::SetClipboardText(std::string_view text) {
    const std::wstring wide = ToWide(text);
    OpenedClipboard clipboard(RequireWindow().Handle());
    // Emptying makes this window the owner, without which SetClipboardData is refused.
    clipboard.Empty();
    clipboard.PutText(wide);
}

void Win32DesktopServices::ShowWarning(std::string_view text) {
    HWND owner = window_ && window_->Exists() ? window_->Handle() : nullptr;
    // MB_TOPMOST keeps the box above the topmost main window. The flags are the ones the
    // program has always used (0x40030); they do not steal the focus from the file manager.
    constexpr UINT kWarningFlags = MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST;
    static_assert(kWarningFlags == 0x40030);
    ::MessageBoxW(owner, ToWide(text).c_str(), L"Vellumine", kWarningFlags);
}

bool Win32DesktopServices::PreviousInstanceRunning() {
    return !single_instance_.TryClaim();
}

Version Win32DesktopServices::VersionNumbers() {
    return {VELLUMINE_VERSION_MAJOR, VELLUMINE_VERSION_MINOR, VELLUMINE_VERSION_REVISION};
}

std::uint64_t Win32DesktopServices::FileLength(std::string_view path) {
    return RegularFileLength(path);
}

ByteText Win32DesktopServices::ReadFileBytes(std::string_view path, std::size_t count) {
    return ReadRegularFile(path, count);
}
