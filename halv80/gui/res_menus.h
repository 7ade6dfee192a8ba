// The window side's menu resources, registered with the window layer once.
#pragma once

#include "platform/host/host_types.h"

constexpr u32 kMenuMain = 100;

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
