// StartClipboardKeeper: hands the program's clipboard text to the keeper process as it closes.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <string>
#include <string_view>

// What became of a hand-over.
enum class KeeperOutcome {
    Serving,    // the clipboard has left us for the keeper, which serves the text after we are gone
    NotNeeded,  // the clipboard is no longer ours: another program copied meanwhile
    Failed,     // no keeper, a text too long for it, or it did not take the clipboard in time
};

// Starts vellumine-clipboard-keeper (found beside the program or in its libexec folder) on
// `display`, the display the program opened ("" for $DISPLAY), and passes it `text` through a
// pipe. The keeper takes the clipboard only from a window made on `connection`, the program's
// own connection to that display, so a copy that another program made meanwhile stays. Returns
// once the keeper holds the clipboard or has found it taken, and at the latest after `bound`:
// a keeper that has not taken the clipboard by then is stopped, one that has is left to serve
// (and the clipboard counts as handed over, though a program that copied at that moment may hold
// it instead). Never throws.
KeeperOutcome StartClipboardKeeper(xcb_connection_t* connection, const std::string& display,
                                   std::string_view text, std::chrono::milliseconds bound);
