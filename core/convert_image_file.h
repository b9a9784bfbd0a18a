// ConvertImageFile: from an accepted image file's path to the snippet on the clipboard.
#pragma once

#include <string_view>

// The snippet forms; "xxx" stands for the image subtype and "zzz" for the Base64 data.
inline constexpr std::string_view CssTemplate =
    "background-image:url('data:image/xxx;base64,zzz');";
inline constexpr std::string_view HtmlTemplate = "<img src = 'data:image/xxx;base64,zzz'/>";

// Reads the file, wraps its Base64 data in the form the options choose, puts the snippet on the
// clipboard and reports its length on the status line. Failures of the desktop travel on to the
// caller, with the pointer set back to default.
void ConvertImageFile(std::string_view path);
