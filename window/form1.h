// Form1: the main window's layout as plain data, and its caption.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "colour.h"
#include "desktop_services.h"

// A typeface as the window asks for it; a backend may stand in a metric-compatible face.
struct FontSpec {
    std::string_view family;
    double points = 0;  // at 96 dots per inch
    bool bold = false;
};

enum class ControlKind { RadioButton, StatusText };

// One control of the window; positions and sizes are pixels at 96 dots per inch.
struct ControlSpec {
    std::string_view name;
    ControlKind kind = ControlKind::RadioButton;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string_view text;
    FontSpec font;
    bool initially_selected = false;
    int tab_index = 0;
};

// A rectangle of the client area; pixels at 96 dots per inch.
struct RectSpec {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// A rounded outline: rect is the line's middle, which the pen straddles.
struct OutlineSpec {
    RectSpec rect;
    int corner_radius = 0;
    int pen_width = 0;
};

// One entry of the file chooser's list of kinds: the name the user reads, which ends with its
// patterns in brackets (a toolkit may read them from there), and the patterns on their own,
// separated by spaces.
struct FileFilterSpec {
    std::string_view name;
    std::string_view patterns;
};

// The extensions, in lower case, of the files that the drop handler converts.
inline constexpr std::array<std::string_view, 4> kAcceptedExtensions{"gif", "jpeg", "jpg", "png"};

struct Form1Layout {
    int client_width = 0;
    int client_height = 0;
    Colour back_colour = 0;
    FontSpec font;
    // Drawn unscaled at the top left; wider than the client area, its last row under Label1.
    int picture_width = 0;
    int picture_height = 0;
    Colour label_initial_colour = 0;
    // The controls, in tab order.
    ControlSpec option1;
    ControlSpec option2;
    ControlSpec label1;
    // The part of the picture above Label1 across the client area: drags over it are answered
    // with the outline, and it holds the tooltip and takes the double-click.
    RectSpec drop_zone;
    // Traced in ColourDone over the picture's dashed outline (drop_zone.svg) while a drag that
    // will be taken is over the window.
    OutlineSpec drop_outline;
    // The ways in besides a drag, one a line: the drop zone's tooltip and, on one line, the
    // window's accessible description.
    std::string_view ways_in_hint;
    // The file chooser that Ctrl+O and the double-click open; its first kind is preselected.
    std::string_view chooser_title;
    std::array<FileFilterSpec, 2> chooser_filters;
};

inline constexpr FontSpec kWindowFont{"Tahoma", 9.75, false};

inline constexpr Form1Layout Form1{
    .client_width = 198,
    .client_height = 206,
    .back_colour = MakeColour(248, 248, 248),
    .font = kWindowFont,
    .picture_width = 199,
    .picture_height = 157,
    .label_initial_colour = ColourDone,
    .option1 = {"Option1", ControlKind::RadioButton, 16, 180, 89, 17, "CSS DATE", kWindowFont, true,
                0},
    .option2 = {"Option2", ControlKind::RadioButton, 104, 180, 89, 17, "XTM DATA", kWindowFont,
                false, 1},
    .label1 =
        {"Label1", ControlKind::StatusText, 0, 156, 197, 21, "", {"Arial", 12, true}, false, 2},
    .drop_zone = {0, 0, 198, 156},
    .drop_outline = {{9, 7, 180, 141}, 10, 2},
    .ways_in_hint =
        "Drop a GIF, JPEG or PNG file here,\npaste a copied file or picture with Ctrl+V,\n"
        "or choose one with Ctrl+O or a double-click here.",
    .chooser_title = "Choose an image",
    .chooser_filters = {{{"Images (*.gif *.jpeg *.jpg *.png)", "*.gif *.jpeg *.jpg *.png"},
                         {"All files (*)", "*"}}},
};

// "Vellumine  v" and the version as major.minor.revision.
std::string Form1Caption(const Version& version);
