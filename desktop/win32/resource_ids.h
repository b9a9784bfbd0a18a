// The numbers of the program's resources, shared by the resource script and the C++ code.
#pragma once

#define IDI_VELLUMINE 1
#define IDB_DROP_ZONE 101
#define IDB_DROP_ZONE_2X 102

// The window's keyboard commands, which come as WM_COMMAND without a control.
#define IDM_PASTE 2001
#define IDM_OPEN 2002
