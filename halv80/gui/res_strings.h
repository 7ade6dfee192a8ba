// The window side's string resources by id: window keys and titles, command
// hints (status-bar text, a line feed, the tool tip), start-up messages and
// captions. Texts are converted to CP932 once, at the first look-up.
#pragma once

#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kStrLayoutKeyBase = 600;    // + child index: "Watch Window" ... "Client Window"
constexpr u16 kStrToolBarKey = 624;       // "Tool Bar"
constexpr u16 kStrStatusBarKey = 625;     // "Status Bar"
constexpr u16 kStrResizeKey = 626;        // "ReSize Status"
constexpr u16 kStrOptWinKey = 627;        // "OptWin Status"
constexpr u16 kStrLoadFilter = 900;       // + 0 HEX, 1 D01, 2 ABS: the Load dialog's filter
constexpr u16 kStrChildTitleBase = 950;   // + child index: the child window's title
constexpr u16 kStrAssemblerItem = 1001;
constexpr u16 kStrSourceItem = 1002;
constexpr u16 kStrLineItem = 1003;
constexpr u16 kStrAddressItem = 1004;
constexpr u16 kStrInspectTitle = 1007;
constexpr u16 kStrLoadErrorCaption = 1018;
constexpr u16 kStrExitQuestion = 1023;
constexpr u16 kStrSetupQuestion = 2390;
constexpr u16 kStrSetupNotStarted = 2391;

// The CP932 text of string `id`; empty when there is none.
std::string_view res_string(u16 id);
// The status-bar hint of command `id`: its string up to the line feed.
std::string_view res_command_hint(u16 id);
// The tool tip of command `id`: its string after the line feed.
std::string_view res_command_tip(u16 id);
