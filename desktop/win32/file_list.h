// File lists in the CF_HDROP form, as drags and the clipboard carry them, owned by this program.
#pragma once

#include <windows.h>

#include <string_view>

#include "win32_handles.h"

// Whether list is a whole CF_HDROP block: its list starts after the header and inside the
// block, holds at least one name, and it and each name in it end within the block, in the
// characters that the header names. Any program can put a block on the clipboard or offer one in a
// drag; DragQueryFile trusts what it reads, so a block that fails this must never reach it.
bool IsWholeFileList(HGLOBAL list);

// A copy of a CF_HDROP block that lives on after its source (a drag, the clipboard) is gone, or
// an empty block when list is not whole. Raises Failure when the block cannot be read or memory
// runs out.
UniqueGlobal CopyFileList(HGLOBAL list);

// A CF_HDROP block that names the one file at path, as a drop of that file would.
UniqueGlobal MakeFileList(std::wstring_view path);
