// ConvertImageFile: from an accepted image file's path, or a pasted picture, to the snippet on the
// clipboard.
#pragma once

#include <string_view>

#include "byte_text.h"

struct Picture;

// The snippet forms; "xxx" stands for the image subtype and "zzz" for the Base64 data.
inline constexpr std::string_view CssTemplate =
    "background-image:url('data:image/xxx;base64,zzz');";
inline constexpr std::string_view HtmlTemplate = "<img src = 'data:image/xxx;base64,zzz'/>";

// Reads the file and converts its bytes as ConvertImageBytes does, its extension in lower case
// as the subtype. Failures of the desktop travel on to the caller.
void ConvertImageFile(std::string_view path);

// Converts a pasted picture as a file of the same bytes: over the size limit it is refused on the
// status line, and without bytes nothing happens. Failures of the desktop travel on.
void ConvertPicture(const Picture& picture);

// Wraps the bytes' Base64 data in the form the options choose, puts the snippet on the clipboard
// and reports its length on the status line. Failures of the desktop travel on to the caller,
// with the pointer set back to default.
void ConvertImageBytes(const ByteText& content, std::string_view subtype);
