// The numbers of the program's resources, shared by the resource script and the C++ code.
#pragma once

#define IDI_VELLUMINE 1
#define IDB_DROP_ZONE 101
#define IDB_DROP_ZONE_2X 102
