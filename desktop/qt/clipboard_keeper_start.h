// KeepClipboardAfterExit: hands Vellumine's clipboard text to a keeper process as it closes.
#pragma once

// On X11, when this process still owns the clipboard, starts vellumine-clipboard-keeper (found
// beside the program or in its libexec folder) and passes it the text through a pipe; returns
// once the keeper holds the clipboard or has found that it is not needed (a clipboard manager
// runs, which Qt hands the text to as the application object goes, or another program owns the
// clipboard by now), at most a few seconds. Does nothing elsewhere: under native Wayland the
// compositor decides what outlives a client. Call it after the window has closed, while the
// application object still exists. Never fails: at worst the text goes when the program does.
void KeepClipboardAfterExit();
