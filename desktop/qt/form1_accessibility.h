// How Form1 appears to assistive technology (screen readers over AT-SPI).
#pragma once

class QLabel;
class QString;

// Makes Qt describe Form1's window as a frame named by its caption and Label1 as a status bar
// whose text is its name, holding a notification, never drawn, named by the last message shown.
// Safe to call more than once; needs the application object.
void InstallForm1Accessibility();

// Tells assistive technology that the status line changed from old_text to its current text,
// as a text change (Qt itself reports only a name change, and only when the text differs), and,
// once the window's activation has settled (but within about a second), shows the notification
// with the new text, which a screen reader speaks wherever the focus is. Both happen for every
// message but the empty one, the same message twice included.
void AnnounceStatusChange(QLabel& label, const QString& old_text);
