// Division of the text screen between the code pane and the command pane.
#pragma once

#include "platform/host/host_types.h"

// Window indexes of the window side.
constexpr u16 kWindowIndexCommand = 10;
constexpr u16 kWindowIndexCode = 11;
constexpr u16 kWindowIndexCode2 = 12;

// Lays the panes out from the PaneGeometry the window side published: the code
// pane from row 1 to the command pane's first row - 2, the command pane below
// it. The two share at most 159 rows; when they do not fit, the pane of the
// calling window keeps its size and the other one yields. When the command
// pane's rows changed, the rows it gave up are blanked and its rows are filled
// from the log again, with the prompt line, the cursor and a caret on it on
// its last row (not while an overlay is up).
void sup_split_screen_panes(u16 window_index);
