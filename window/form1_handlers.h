// Form1's two event handlers: start-up and file drop.
#pragma once

#include "desktop_services.h"

// Runs once before the window is first shown: ends a second copy of the program, finishes the
// controls' look, sets the caption, accepts drops and keeps the window on top.
void HandleWindowLoad();

// Runs for every drop on the window: converts the first dropped file when its extension names
// a GIF, JPEG or PNG image, shows "Not format!" for any other file, and ignores other data.
void HandleFileDrop(const DropData& data);
