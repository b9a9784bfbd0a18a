// The window's typefaces, with metric-compatible stand-ins where the Windows faces are missing.
#pragma once

#include <QFont>

#include "form1.h"

// Makes Tahoma and Arial resolve to metric-compatible faces where they are not installed.
// Call once after the application object exists.
void InstallFontStandIns();

// The font for face, sized in pixels so that text fits the 96-dpi layout on any screen.
QFont FontFor(const FontSpec& face);
