// The desktop as the program's logic sees it: the DesktopServices interface and its one instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "byte_text.h"
#include "colour.h"
#include "failure.h"

// The pointer shapes the window can show.
enum class Pointer { Default, Busy };

// The two mode options of the main window.
enum class OptionButton { Option1, Option2 };

// The program's version as major, minor and revision numbers.
struct Version {
    int major_number = 0;
    int minor_number = 0;
    int revision = 0;
    friend bool operator==(const Version&, const Version&) = default;
};

// What was dropped on the window or pasted into it. Each backend derives its own kind; the logic
// only passes it back to HasFileList, FirstDroppedFile and PastedPicture, and only while the
// handler runs.
class DropData {
public:
    virtual ~DropData() = default;

protected:
    DropData() = default;
    DropData(const DropData&) = default;
    DropData& operator=(const DropData&) = default;
};

// A picture taken from the clipboard: its bytes in an accepted format and their subtype ("png",
// "gif" or "jpeg"). No bytes means no picture, unless it is known to be too large: one whose
// source announced more than the size limit, or a bitmap whose PNG could never fit, is refused
// without its bytes ever being read.
struct Picture {
    ByteText bytes;
    std::string subtype;
    bool too_large = false;
};

// Everything the logic needs from the desktop. Window and control operations act on the one
// main window. Every operation may raise Failure. Called on the window's thread only.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    DesktopServices(const DesktopServices&) = delete;
    DesktopServices& operator=(const DesktopServices&) = delete;

    // Creates the main window, runs HandleWindowLoad once, shows it; returns when it has closed.
    virtual void ShowMainWindow() = 0;
    // Unloads the main window and ends the process with exit code 0; does not return.
    [[noreturn]] virtual void EndProgram() = 0;
    // Sets the title bar text.
    virtual void SetCaption(std::string_view text) = 0;
    // Returns the window's background colour.
    virtual Colour GetWindowBackColour() = 0;
    // Shows the given pointer over the window at once.
    virtual void SetPointer(Pointer pointer) = 0;
    // Keeps the window above all windows that are not themselves topmost; place and size kept.
    virtual void MakeTopmost() = 0;
    // Lets drops of any data on the window reach HandleFileDrop.
    virtual void AcceptFileDrops() = 0;
    // Sets the background colour of one option button.
    virtual void SetOptionBackColour(OptionButton option, Colour colour) = 0;
    // Takes the border off the status line.
    virtual void RemoveLabelBorder() = 0;
    // Sets the status line's text colour.
    virtual void SetLabelColour(Colour colour) = 0;
    // Sets the status line's text.
    virtual void SetLabelCaption(std::string_view text) = 0;
    // Tells whether the first option (the CSS form) is selected.
    virtual bool IsOption1Selected() = 0;
    // Tells whether the dropped data holds a list of local files.
    virtual bool HasFileList(const DropData& data) = 0;
    // Returns the full path of the first file in the dropped list, as the file system spells it.
    virtual std::string FirstDroppedFile(const DropData& data) = 0;
    // Returns the picture that pasted data holds: the first of PNG, GIF and JPEG bytes that the
    // source offers, as it offers them; else a bitmap it offers, encoded losslessly as PNG;
    // else no picture. Bytes past kLongestKeptPicture are neither fetched nor kept.
    virtual Picture PastedPicture(const DropData& data) = 0;
    // Empties the clipboard.
    virtual void ClearClipboard() = 0;
    // Puts plain text on the clipboard, pasteable in other programs and after this one ends.
    virtual void SetClipboardText(std::string_view text) = 0;
    // Shows a modal warning box titled "Vellumine" with one OK button, above other windows.
    virtual void ShowWarning(std::string_view text) = 0;
    // Tells whether another copy of the program already runs for this user and desktop.
    virtual bool PreviousInstanceRunning() = 0;
    // Returns the version the build was made with.
    virtual Version VersionNumbers() = 0;
    // Returns the size in bytes of the regular file at path; fails for anything else.
    virtual std::uint64_t FileLength(std::string_view path) = 0;
    // Reads exactly count bytes from the start of the regular file at path; fails otherwise.
    virtual ByteText ReadFileBytes(std::string_view path, std::size_t count) = 0;

protected:
    DesktopServices() = default;
};

// Makes services the process's instance (nullptr removes it). The program's entry installs one
// before it creates the window; tests install a fake of their own.
void InstallDesktopServices(DesktopServices* services);

// The process's instance. Using it before one is installed is a programming error: the program
// stops with a message saying so.
DesktopServices& Desktop();
