// reset_engine_state(): every area back to its start-up values.
#include "halv80/engine/engine_state.h"

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/sup_messages.h"

void reset_engine_state() {
  co_end_command_side();
  Co = CoState{};
  cmd_reset_state();
  Con = ConState{};
  Log = LogRing{};
  Lst = LstState{};
  Scan = ScanState{};
  Keys = KeyState{};
  Mac = MacState{};
  Sup = SupState{};
}
