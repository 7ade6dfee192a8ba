// The window side's menu resources, registered with the window layer once.
#pragma once

#include "platform/host/host_types.h"

// Menu 100, the main frame's bar. Popups in descriptor order: File (1), Edit
// and Search (2), View and Run (2), Window and Settings (2), Help (1).
constexpr u32 kMenuMain = 100;
constexpr int kMainMenuGroups[6] = {1, 2, 2, 0, 2, 1};
// Menu 4096 + i: child window i's popup in the object group; the memo's
// (4103) also has its Edit and Search popups in the edit group.
constexpr u32 kMenuChildBase = 4096;
constexpr u32 kChildMenuCount = 13;
constexpr u32 kMenuInspect = kMenuChildBase + 9;
constexpr int kChildMenuGroups[6] = {0, 0, 0, 1, 0, 0};
constexpr int kMemoMenuGroups[6] = {0, 2, 0, 1, 0, 0};

// Command ids of the frame, the MDI client and the decorations.
constexpr u32 kCmExit = 24310;
constexpr u32 kCmCascadeChildren = 24361;
constexpr u32 kCmTileChildren = 24362;
constexpr u32 kCmArrangeIcons = 24364;
constexpr u32 kIdStatusBar = 32040;
constexpr u32 kIdToolBar = 32041;
constexpr u32 kIdWindowBar = 32042;

// Makes the menus known to the window layer (once; later calls do nothing).
void res_register_menus();
