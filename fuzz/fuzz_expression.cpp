// The expression evaluator on any text, in each mode: a text gives a value or
// an abort word, or ends the command that asked (an unwind); never a crash.
// No target is attached, so reads of target memory give nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_value.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    reset_engine_state();
    sym_reset();
    sym_add("main", 0x0100, 0);
    sym_add("buffer", 0x8000, 0);
    sym_sort_symbols();
    return true;
  }();
  (void)ready;
  const std::string_view text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 2048));
  try {
    std::size_t used = 0;
    exp_eval_number_at_cursor(text, used);
  } catch (const CommandUnwind&) {
  }
  for (const u16 side_effects : {0, 1}) {
    try {
      ExprValue result{};
      exp_evaluate(result, 0x0100, text, side_effects);
    } catch (const CommandUnwind&) {
    }
  }
  Exp.Mode = kExpModeCommand;
  return 0;
}
