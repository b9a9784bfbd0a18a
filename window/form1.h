// Form1: the main window's layout as plain data, and its caption.
#pragma once

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
};

// "Vellumine  v" and the version as major.minor.revision.
std::string Form1Caption(const Version& version);
