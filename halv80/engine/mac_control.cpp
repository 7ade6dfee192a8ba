// Loops, IF blocks and WAIT.
#include "halv80/engine/mac_control.h"

#include <cstring>
#include <string_view>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/mac_store.h"
#include "halv80/engine/redir_file.h"
#include "halv80/symbols/exp_eval.h"

namespace {

constexpr u16 kWaitForever = 65535;
constexpr u16 kWaitStepMs = 100;

// The value of `text`; an evaluation error sets AbortFlag. Nothing while it is set.
u32 evaluate(const char* text) {
  if (Cmd.AbortFlag) return 0;
  std::size_t used = 0;
  const u32 v = exp_eval_number_at_cursor(text, used);
  if (Exp.AbortWord != 0) {
    Cmd.AbortFlag = 1;
    return 0;
  }
  return v;
}

// Copies `text` into `out` (kLineBufferSize bytes).
void keep(char* out, const char* text) {
  std::strncpy(out, text, kLineBufferSize - 1);
  out[kLineBufferSize - 1] = '\0';
}

// A loop's body, collected at the write pointer and dropped when the loop
// ends, with the loop's own frame made current meanwhile.
class LoopBody {
 public:
  LoopBody() : start_(Store.WritePos), saved_(Mac.Frame) {}
  ~LoopBody() {
    Mac.Frame = saved_;
    Store.WritePos = start_;
  }
  void collect() { mac_collect_block(start_); }
  // The frame current; the body (or `text`) run from its start.
  void run(const char* text = nullptr) {
    Mac.Frame = &frame;
    frame.position = text != nullptr ? text : reinterpret_cast<const char*>(Store.Text.data()) + start_;
    mac_run_body();
  }
  MacroFrame frame;

 private:
  u32 start_;
  MacroFrame* saved_;
};

void end_loop() {
  if (Mac.BreakRequest != kBreakAll) Mac.BreakRequest = kBreakNone;
}

// A one-line body: the text, CR and NUL (kLineBufferSize + 2 bytes).
void one_line_body(char* out, const char* field) {
  const char* start = nullptr;
  std::size_t n = mac_unbracket(field, &start);
  n = std::min(n, kLineBufferSize - 1);
  std::memcpy(out, start, n);
  out[n] = 13;
  out[n + 1] = '\0';
}

bool starts_nocase(const char* text, std::string_view word) { return sup_match_prefix_nocase(word, text) != nullptr; }

// Evaluates an IF condition and enters the IF level: true when its branch
// runs. An empty condition or a failed evaluation sets AbortFlag.
bool if_enter(const char* condition) {
  if (*condition == '\0' || Mac.IfDepth == 0xFF) {
    Cmd.AbortFlag = 1;
    return false;
  }
  const u16 v = u16(evaluate(condition));
  if (Cmd.AbortFlag) return false;
  ++Mac.IfDepth;
  Mac.IfActive = Mac.IfDepth;
  return v != 0;
}

// Skips lines of an IF block with `nesting` levels open, up to its end, an
// ELSE branch or an ELSEIF whose condition holds. A loop, not a recursion: a
// long chain of ELSEIFs takes no stack.
void if_skip(int nesting) {
  for (;;) {
    if (!mac_read_block_line()) return;
    Mac.Fields[0] = Mac.LineBuffer;
    Mac.FieldCount = 0;
    if (Mac.LineBuffer[0] != '\0') mac_split_arguments();
    Cmd.AbortFlag = 0;
    const char* line = sup_skip_blanks(Mac.LineBuffer);
    if (mac_opens_block(line)) ++nesting;
    if (*line == '}' && --nesting == 0) {
      if (Mac.IfDepth > 0) --Mac.IfDepth;
      Mac.IfActive = Mac.IfDepth;
      return;
    }
    if (nesting != 1 || !starts_nocase(line, "}ELSE")) continue;
    if (Mac.IfDepth != Mac.IfActive) {
      Cmd.AbortFlag = 1;  // a branch of this IF ran already
      continue;
    }
    --Mac.IfActive;
    if (!starts_nocase(line, "}ELSEIF{")) return;  // the ELSE branch runs
    // IF{ again at the same level, with the new condition
    --Mac.IfDepth;
    if (!if_enter(sup_skip_blanks(line + 8)) && !Cmd.AbortFlag) continue;
    return;
  }
}

}  // namespace

void mac_word_while() {
  const char* operand = sup_skip_blanks(Mac.WordOperand);
  if (*operand == '\0' || Mac.FieldCount > 1) {
    Cmd.AbortFlag = 1;
    return;
  }
  char condition[kLineBufferSize];
  keep(condition, operand);
  LoopBody loop;
  loop.collect();
  for (;;) {
    const u32 v = evaluate(condition);
    if (v == 0 || Mac.BreakRequest != kBreakNone || Cmd.AbortFlag) break;
    loop.run();
    Cmd.AbortFlag = 0;
  }
  end_loop();
}

void mac_word_for() {
  if (Mac.FieldCount < 2 || Mac.FieldCount > 3 || *Mac.Fields[1] == '\0') {
    Cmd.AbortFlag = 1;
    return;
  }
  char init[kLineBufferSize + 2];
  char step[kLineBufferSize + 2];
  char condition[kLineBufferSize];
  one_line_body(init, sup_skip_blanks(Mac.WordOperand));
  one_line_body(step, Mac.FieldCount == 3 ? Mac.Fields[2] : "");
  const char* start = nullptr;
  const std::size_t n = mac_unbracket(Mac.Fields[1], &start);
  std::memcpy(condition, start, std::min(n, kLineBufferSize - 1));
  condition[std::min(n, kLineBufferSize - 1)] = '\0';
  LoopBody loop;
  loop.collect();
  // an empty init or step is no line at all
  if (init[0] != 13) loop.run(init);
  for (;;) {
    const u32 v = evaluate(condition);
    if (v == 0 || Mac.BreakRequest != kBreakNone || Cmd.AbortFlag) break;
    loop.run();
    if (Mac.BreakRequest != kBreakNone) break;
    if (step[0] != 13) loop.run(step);
    Cmd.AbortFlag = 0;
  }
  end_loop();
}

void mac_word_do() {
  if (Mac.FieldCount > 1) {
    Cmd.AbortFlag = 1;
    return;
  }
  LoopBody loop;
  loop.collect();
  // the closing line, still in the line buffer: "}WHILE" and a condition
  const char* close = sup_skip_blanks(Mac.LineBuffer);
  const char* operand = starts_nocase(close, "}WHILE") ? sup_skip_blanks(close + 6) : "";
  if (Mac.FieldCount > 1 || *operand == '\0') {
    Cmd.AbortFlag = 1;
    return;
  }
  char condition[kLineBufferSize];
  keep(condition, operand);
  for (;;) {
    if (Cmd.AbortFlag) break;
    loop.run();
    Cmd.AbortFlag = 0;
    const u32 v = evaluate(condition);
    if (v == 0 || Mac.BreakRequest != kBreakNone) break;
  }
  end_loop();
}

void mac_word_repeat() {
  const char* first = sup_skip_blanks(Mac.WordOperand);
  if (*first == '\0') {
    Cmd.AbortFlag = 1;
    return;
  }
  // the items, kept apart from the field buffer that the body's lines reuse
  char items[kLineBufferSize];
  std::memcpy(items, Mac.FieldBuffer, sizeof items);
  const char* item[kMaxFields];
  const int count = std::max<int>(Mac.FieldCount, 1);
  auto in_copy = [&](const char* field) -> const char* {
    if (field >= Mac.FieldBuffer && field < Mac.FieldBuffer + kLineBufferSize) return items + (field - Mac.FieldBuffer);
    return "";
  };
  item[0] = in_copy(first);
  for (int i = 1; i < count; ++i) item[i] = in_copy(Mac.Fields[i]);
  LoopBody loop;
  loop.collect();
  for (int i = 0; i < count && Mac.BreakRequest == kBreakNone; ++i) {
    loop.frame = MacroFrame{};
    loop.frame.args[0] = item[i];
    loop.run();
    Cmd.AbortFlag = 0;
  }
  end_loop();
}

void mac_word_if() {
  if (!if_enter(sup_skip_blanks(Mac.WordOperand)) && !Cmd.AbortFlag) if_skip(1);
}

void mac_word_else() {
  if (Mac.FieldCount > 1 || Mac.IfDepth == 0 || Mac.IfDepth != Mac.IfActive) {
    Cmd.AbortFlag = 1;
    return;
  }
  --Mac.IfActive;
  if_skip(1);
}

void mac_close_if() {
  if (Mac.IfDepth == 0) {
    Cmd.AbortFlag = 1;
    return;
  }
  --Mac.IfDepth;
  Mac.IfActive = Mac.IfDepth;
}

void mac_word_wait() {
  const char* operand = sup_skip_blanks(Mac.WordOperand);
  u32 n = kWaitForever;
  if (*operand != '\0') {
    cmd_set_command_line(operand);
    n = cmd_get_number_decimal();
    if (Cmd.AbortFlag) {
      Cmd.AbortFlag = 0;  // an invalid count ends WAIT at once
      return;
    }
  }
  for (u32 i = 0; i < n; ++i) {
    const u8 key = key_poll();
    if (key == 0) {
      emu_wait(kWaitStepMs);
      continue;
    }
    if (key == 27) {
      Mac.BreakRequest = kBreakAll;
      input_close();
      Scan.ScreenOutput = 1;
    }
    return;
  }
}
