// Form1's start-up and drop handlers.
#include "form1_handlers.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "convert_image_file.h"
#include "form1.h"
#include "functions.h"
#include "text.h"

namespace {

// One step of the drop handler: a failure in it is dropped and the handler goes on.
template <typename Step>
void IgnoringFailure(Step step) {
    try {
        step();
    } catch (const Failure&) {
    }
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
    // A drop whose data cannot even be looked at is no file list; letting the failure out would
    // throw it through the toolkit's event loop.
    bool has_file_list = false;
    IgnoringFailure([&] { has_file_list = desktop.HasFileList(data); });
    if (!has_file_list) {
        return;
    }

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
