// The choice of Qt platform plugin, made before the application object exists, and the one made.
#pragma once

// On a Wayland session that offers XWayland, picks the xcb platform so that the window can stay
// on top (Wayland has no such request), unless the user chose a platform. argv is only read.
void PreferX11OnWayland(int argc, char** argv);

// Whether the application object runs on Qt's native Wayland platform (not XWayland).
bool OnNativeWayland();
