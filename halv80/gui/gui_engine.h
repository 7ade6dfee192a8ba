// What the window side uses of the engine, in one place: the hand-over into the
// command side, the key it leaves there, the words the two sides share, and the
// core requests. The engine defines them; the window side's names for them:
//   co_enter_command_side        the hand-over (co_coroutine.h)
//   PendingKey                   Co.Key: character, key code, modifier flags,
//                                source window, scroll-thumb position
//   WaitState                    Co.WaitKind (bit 0 waiting, 2 ending, 3 busy)
//   RequestBlock, RequestCode    Co.Request, with its code and P1 to P5
//   SystemError                  Co.PendingError
//   StartupArgs                  Cmd.StartupArgs (8,192 bytes)
//   ProgramFolder                Sw.ProgramFolder (256 bytes)
//   StartupFailure               Sup.StartupFailure; message buffer Sup.MessageBuffer
//   TypedText                    Sup.TypedText, set by sup_set_message_line(text, 1);
//                                the window side clears it when a key is pressed meanwhile
//   TextScreen                   Con.Screen, 160 rows of 200 (character, attribute) cells
//   PaneGeometry, CaretCell      Con.Geometry; Con.CaretColumn, Con.CaretRow
//   PaneDirtyRect                Lst.Dirty[0] command pane, [1] code pane
//   CodeViewMode                 Lst.ListingMode
//   ExecutionState               Run.ExecutionState
//   sup_run_core_request         engine work under the engine's error trap
// Every code the two sides exchange (key codes, PseudoKey, CoreRequest,
// RequestCode and what its parameters carry, the error codings) is named in
// halv80/engine/win_codes.h.
#pragma once

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/win_codes.h"
