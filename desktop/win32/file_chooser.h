// ChooseImageFile: the system's file chooser, for opening an image without a drag.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

// Asks for one existing file with the common item dialog, images listed first, all files on
// request; the owner is disabled meanwhile. Starts in folder, when it names one, and sets it to
// the chosen file's folder. Empty when the user cancels; raises Failure when the dialog fails.
// Needs COM, initialised apartment-threaded, on the calling thread.
std::optional<std::wstring> ChooseImageFile(HWND owner, std::wstring& folder);
