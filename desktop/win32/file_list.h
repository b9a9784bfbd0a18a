// File lists in the CF_HDROP form, as drags and the clipboard carry them, owned by this program.
#pragma once

#include <windows.h>

#include <string_view>

#include "win32_handles.h"

// A copy of a CF_HDROP block that lives on after its source (a drag, the clipboard) is gone.
// Raises Failure when the block cannot be read or memory runs out.
UniqueGlobal CopyFileList(HGLOBAL list);

// A CF_HDROP block that names the one file at path, as a drop of that file would.
UniqueGlobal MakeFileList(std::wstring_view path);
