// Window layouts and the debugger's settings in the project file: the current
// layout %SYS, the user layouts %USR1-%USR3, the kept %BRK text and the setup
// sections %OPT, %DIR, %PRJ and %CPU, which the debugger reads and writes back.
// A section is rewritten in place; every other byte of the file is kept. The
// in-memory side is Frame.Children.layout and the layout state of FrameState.
#pragma once

#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr u16 kSectionSys = 0;
constexpr u16 kSectionUser1 = 1;
constexpr u16 kSectionBreak = 4;
constexpr u16 kSectionOption = 5;
constexpr u16 kSectionDirectory = 6;
constexpr u16 kSectionProject = 7;
constexpr u16 kSectionCpu = 8;
constexpr u16 kSectionEnd = 9;
constexpr u16 kSectionCount = 10;
constexpr std::string_view kSectionNames[kSectionCount] = {"%SYS", "%USR1", "%USR2", "%USR3", "%BRK",
                                                           "%OPT", "%DIR",  "%PRJ",  "%CPU",  "%END"};
constexpr std::size_t kMaxLayoutValues = 10;
constexpr u32 kReapplyLayout = 256;  // with the section: re-place the windows

// Reads section `argument & 0xFF`; a non-zero argument re-places the windows
// from a layout section afterwards. An unreadable file shows "Can't Open" and
// sets StartupFailure. Returns false when the file could not be read.
bool prj_read_section(u32 argument);
// The current layout read again (engine request 24 passes 256, window keys
// 256 + n).
void prj_reapply_layout(u32 argument);
// Rewrites section n in place (a missing one goes in front of "%END"); a
// failure shows "Can't Write". Returns false on failure.
bool prj_write_section(u16 n);

// The line parser. prj_parse_values reads one value or a bracketed list of at
// most 10 (an optional leading "," skipped) and returns how many, or -1 on a
// syntax error; `cursor` moves past what was read.
int prj_parse_values(i32* out, std::string_view& cursor);
// Digits in `radix` (10 here) with an optional "-"; false when there are none.
bool prj_parse_number(std::string_view& cursor, u32 radix, i32& value);
// Applies the text after key i (the rest of its line) to the layout state.
void prj_apply_layout_line(u16 i, std::string_view text);
// The layout line of record i as the file holds it, with its CR LF.
std::string prj_format_layout_line(u16 i);
// The default layout: the records and bar settings of the built-in %SYS body.
void prj_apply_default_layout();
