// Form1's start-up, drop and paste handlers.
#include "form1_handlers.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "convert_image_file.h"
#include "form1.h"
#include "functions.h"
#include "text.h"

namespace {

// One step of a handler: a failure in it is dropped and the handler goes on.
template <typename Step>
void IgnoringFailure(Step step) {
    try {
        step();
    } catch (const Failure&) {
    }
}

// Data that cannot even be looked at holds no file list; letting the failure out would throw it
// through the toolkit's event loop.
bool HoldsFileList(DesktopServices& desktop, const DropData& data) {
    bool has_file_list = false;
    IgnoringFailure([&] { has_file_list = desktop.HasFileList(data); });
    return has_file_list;
}

// The first file of a list that is there: converted when its extension is accepted.
void HandleFirstFile(DesktopServices& desktop, const DropData& data) {
    std::string extension;
    IgnoringFailure([&] {
        extension = AsciiLower(functions::LastSegment(desktop.FirstDroppedFile(data), "."));
    });
    if (std::ranges::find(kAcceptedExtensions, extension) == kAcceptedExtensions.end()) {
        IgnoringFailure([&] { desktop.SetLabelColour(ColourFault); });
        IgnoringFailure([&] { desktop.SetLabelCaption("Not format!"); });
        return;
    }

    std::string path;
    IgnoringFailure([&] { path = desktop.FirstDroppedFile(data); });
    if (path.empty()) {
        return;
    }
    IgnoringFailure([&] { ConvertImageFile(path); });
}

}  // namespace

void HandleWindowLoad() {
    DesktopServices& desktop = Desktop();
    if (desktop.PreviousInstanceRunning()) {
        desktop.EndProgram();
    }
    const Colour back_colour = desktop.GetWindowBackColour();
    desktop.SetOptionBackColour(OptionButton::Option1, back_colour);
    desktop.SetOptionBackColour(OptionButton::Option2, back_colour);
    desktop.RemoveLabelBorder();
    desktop.SetCaption(Form1Caption(desktop.VersionNumbers()));
    desktop.AcceptFileDrops();
    desktop.MakeTopmost();
}

void HandleFileDrop(const DropData& data) {
    DesktopServices& desktop = Desktop();
    if (HoldsFileList(desktop, data)) {
        HandleFirstFile(desktop, data);
    }
}

void HandlePaste(const DropData& data) {
    DesktopServices& desktop = Desktop();
    // A file manager's copy may offer the file's icon as a picture too; the file is what was meant.
    if (HoldsFileList(desktop, data)) {
        HandleFirstFile(desktop, data);
        return;
    }
    Picture picture;
    IgnoringFailure([&] { picture = desktop.PastedPicture(data); });
    IgnoringFailure([&] { ConvertPicture(picture); });
}
