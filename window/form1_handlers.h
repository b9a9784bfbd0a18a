// Form1's event handlers: start-up, file drop and paste.
#pragma once

#include "desktop_services.h"

// Runs once before the window is first shown: ends a second copy of the program, finishes the
// controls' look, sets the caption, accepts drops and keeps the window on top.
void HandleWindowLoad();

// Runs for every drop on the window: converts the first dropped file when its extension names
// a GIF, JPEG or PNG image, shows "Not format!" for any other file, and ignores other data.
void HandleFileDrop(const DropData& data);

// Runs for every paste (Ctrl+V, Shift+Insert): a copied file list is handled as a drop of it;
// without one, a copied GIF, JPEG or PNG picture is converted as a file of the same bytes; any
// other data changes nothing.
void HandlePaste(const DropData& data);
