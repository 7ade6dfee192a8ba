// The call-stack walker, the K command and the stack window's rows.
#include "halv80/engine/stk_backtrace.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/fmt_variables.h"
#include "halv80/symbols/sym_entry_trap.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_text.h"

StkState Stk;

void stk_reset() { Stk = StkState{}; }

namespace {

constexpr u8 kCall = 0xCD;
constexpr u8 kRet = 0xC9;
constexpr u8 kPushDe = 0xD5;
constexpr u8 kPushHl = 0xE5;
constexpr u8 kPushBc = 0xC5;
constexpr u8 kPopBc = 0xC1;
constexpr u8 kPopAf = 0xF1;
constexpr u8 kLdHl = 0x21;
constexpr u8 kExSpHl = 0xE3;
constexpr u8 kPrefixIx = 0xDD;
constexpr u16 kSearchBytes = 64;         // how far up the stack a return address is looked for
constexpr u16 kSearchBytesBanked = 8192;  // toolchain kind 5
constexpr u16 kMaxArgumentWords = 10;
constexpr u16 kPrologueScanBytes = 11;    // the prologue's pushes lie within these bytes

u16 kind() { return Sw.ToolchainKind; }
bool target_running() { return (Run.ExecutionState & kExecRunning) != 0; }

u16 lookup(std::string_view name) {
  u16 address = 0;
  return sym_lookup_value(name, address) != 0 ? address : 0;
}

// Toolchain kind 3's frame-entry routines: a frame only, arguments and a
// frame, arguments only.
constexpr std::string_view kEntryFrame = "_?ENT01_L11";
constexpr std::string_view kEntryArgsFrame = "_?ENT11_L11";
constexpr std::string_view kEntryArgs = "_?ENT10_L11";

// The run-time frame-entry routines of the toolchain, by their names among the
// program's symbols; a routine the program lacks is 0 and matches no call.
bool calls_frame_entry(u16 start, bool any_kind3_routine_only_with_args = false) {
  if (tgt_read_byte(start) != kCall) return false;
  const u16 target = tgt_read_word(u16(start + 1));
  if (target == 0) return false;
  if (kind() == 2) return target == lookup("csv") || target == lookup("ncsv");
  if (kind() == 3) {
    if (target == lookup(kEntryArgsFrame) || target == lookup(kEntryArgs)) return true;
    return !any_kind3_routine_only_with_args && target == lookup(kEntryFrame);
  }
  return false;
}

bool starts_with_push_ix(u16 start) {
  return tgt_read_byte(start) == kPrefixIx && tgt_read_byte(u16(start + 1)) == kPushHl;
}

// Inside the code range of the loaded program (physical bounds).
bool in_code_range(u16 w) {
  const u32 physical = tgt_to_physical(w);
  return SymFlag.CodeHigh != 0 && physical >= SymFlag.CodeLow && physical <= SymFlag.CodeHigh;
}

// Parameter count of a function type record: 'u' 0x80 [0x83 type] 'c' count.
u16 parameter_count(u32 type) {
  std::span<const u8> record;
  if (type == 0 || !sym_type_record(type, record)) return 0;
  if (record.size() < 4 || record[0] != kKindFunction || record[1] != kFunctionMark) return 0;
  std::size_t i = 2;
  if (record[i] == kFieldType) i += kTypeFieldSize;
  if (i + 1 >= record.size() || record[i] != kFunctionParams) return 0;
  return record[i + 1];
}

// The label without its colour start and one leading '_' begins with MAIN,
// followed by the colour end, an offset mark or nothing.
bool is_main(std::string_view label) {
  if (!label.empty() && u8(label.front()) == kSymLabelStart) label.remove_prefix(1);
  if (!label.empty() && label.front() == '_') label.remove_prefix(1);
  constexpr std::string_view kMain = "MAIN";
  if (label.size() < kMain.size()) return false;
  for (std::size_t i = 0; i < kMain.size(); ++i)
    if (host_ascii_upper(label[i]) != kMain[i]) return false;
  if (label.size() == kMain.size()) return true;
  const u8 next = u8(label[kMain.size()]);
  return next == kSymLabelEnd || next == '+';
}

// Step 7 of a walk: the return address above walk SP. With `scan` only a word
// whose call targets this function counts.
bool find_return_address(bool scan, u16& found) {
  const u16 start = u16(Stk.FunctionStart);
  const u16 limit = kind() == 5 ? kSearchBytesBanked : kSearchBytes;
  const u16 indir = kind() == 2 ? lookup("indir") : 0;
  for (u16 step = 0; step < limit; ++step, ++Stk.WalkSp) {
    if (Stk.WalkSp == 0) return false;
    const u16 w = tgt_read_word(Stk.WalkSp);
    if (!in_code_range(w)) continue;
    if (kind() == 5) {
      const bool called = tgt_read_byte(u16(w - 3)) == kCall && tgt_read_word(u16(w - 2)) == start;
      const bool stub = tgt_read_byte(u16(w - 1)) == kRet &&
                        (tgt_read_byte(u16(w - 2)) == kPushDe || tgt_read_word(u16(w - 5)) == 0xCDD5);
      if (called || stub) {
        found = w;
        return true;
      }
      continue;
    }
    if (!scan) {
      found = w;
      return true;
    }
    const u16 target = tgt_read_word(u16(w - 2));
    if (target == start || (indir != 0 && target == indir)) {
      found = w;
      return true;
    }
  }
  return false;
}

// Step 9: how many argument words the frame shows.
u16 argument_count(u16 w, bool scan) {
  if (Stk.FunctionType != 0) return Stk.ParamCount;
  if (kind() == 2 && !Stk.Stopped && !scan) {
    u16 n = 0;
    u16 at = w;
    while (n < kMaxArgumentWords && tgt_read_byte(at) == kPopBc) {
      ++n;
      ++at;
    }
    if (tgt_read_byte(at) == kLdHl && tgt_read_byte(u16(at + 3)) == kExSpHl) ++n;
    return n;
  }
  if (kind() == 3 && calls_frame_entry(u16(Stk.FunctionStart), true)) {
    u16 n = u16(tgt_read_byte(u16(Stk.FunctionStart + 3)) / 2);
    if (n == 3) {
      u16 at = w;
      while (n < kMaxArgumentWords + 3 && tgt_read_byte(at) == kPopAf) {
        ++n;
        ++at;
      }
    }
    return n;
  }
  return 0;
}

// Step 10: label, then the argument words read upward from walk SP.
std::string frame_text(const std::string& label, u16 count, std::size_t width) {
  std::string text = label;
  text += '(';
  // kinds 2 and 3 with a type record: the parameters by their types
  std::string typed;
  if ((kind() == 2 || kind() == 3) && Stk.FunctionType != 0 &&
      fmt_parameter_list(Stk.FunctionStart, Stk.FrameBase, Stk.ParamCount,
                         width > text.size() + 1 ? width - text.size() - 1 : 0, typed)) {
    text += typed;
    text += ')';
    return text;
  }
  char word[8];
  for (u16 i = 0; i < count && i < kMaxArgumentWords; ++i) {
    if (text.size() + 5 >= width) break;
    if (i != 0) text += ',';
    sup_sprintf(word, "%04x", tgt_read_word(u16(Stk.WalkSp + 2 * i)));
    text += word;
  }
  text += ')';
  return text;
}

}  // namespace

u32 stk_result_type(u32 function_type) {
  std::span<const u8> record;
  if (function_type == 0 || !sym_type_record(function_type, record)) return 0;
  if (record.size() < 2 + kTypeFieldSize || record[0] != kKindFunction || record[1] != kFunctionMark ||
      record[2] != kFieldType)
    return 0;
  return u32(record[3]) | u32(record[4]) << 8 | u32(record[5]) << 16 | u32(record[6]) << 24;
}

bool stk_find_function(u16 address, StkFunction& out) {
  const u32 physical = tgt_to_physical(address);
  u32 symbol_distance = 0xFFFFFFFF, scope_distance = 0xFFFFFFFF;
  const SymRecord* symbol = nullptr;
  if (const u16 position = sym_index_from_address(address); position != 0) {
    symbol = sym_record_sorted(u16(position - 1));
    if (symbol != nullptr && symbol->value.get() <= physical) symbol_distance = physical - symbol->value.get();
  }
  const ScopeRecord* scope = nullptr;
  if (const u16 index = sym_nearest_static(physical, physical); index != 0) {
    scope = sym_scope_record(index);
    if (scope != nullptr && scope->location.get() <= physical) scope_distance = physical - scope->location.get();
  }
  if (symbol_distance == 0xFFFFFFFF && scope_distance == 0xFFFFFFFF) return false;
  out = StkFunction{};
  if (symbol_distance <= scope_distance) {
    out.from_symbol = true;
    out.start = u16(tgt_to_logical(symbol->value.get()));
    out.saved_code = symbol->saved_code.get();
    const u32 type = symbol->type.get();
    out.type = type >= kFirstTypeIndex && type != kSymDeleted ? type : 0;
    out.label = sym_format_label(symbol->name.get(), u16(address - out.start), false, address);
  } else {
    out.start = u16(tgt_to_logical(scope->location.get()));
    const u32 type = scope->type.get();
    out.type = type >= kFirstTypeIndex ? type : 0;
    out.label = sym_format_label(scope->name.get(), u16(address - out.start), false, address);
  }
  return true;
}

bool stk_function_range(u16 address, u32& low, u32& high) {
  StkFunction f;
  if (!stk_find_function(address, f)) return false;
  low = tgt_to_physical(f.start);
  high = 0xFFFF;
  const u16 position = sym_index_from_address(f.start);
  for (u16 next = position; next != 0 && next < Sym.Count; ++next) {
    const SymRecord* r = sym_record_sorted(next);
    if (r == nullptr) break;
    if (r->value.get() > low && r->value.get() != kSymDeleted) {
      high = r->value.get();
      break;
    }
  }
  return true;
}

void stk_walk_reset() {
  Stk.WalkPc = Run.Regs.pc;
  Stk.WalkSp = Run.Regs.sp;
  Stk.WalkIx = Run.Regs.ix;
  Stk.FrameBase = 0;
  Stk.FunctionStart = 0;
  Stk.FunctionType = 0;
  Stk.FrameBuilt = 0;
  Stk.ParamCount = 0;
  Stk.Stopped = 0;
}

u16 stk_walk_step(u16 mode, std::string* capture) {
  const u16 output = mode & 0x0F;
  StkFunction f;
  const u16 pc = Stk.WalkPc;
  if (!stk_find_function(pc, f)) return 0;
  Stk.FunctionStart = f.start;
  Stk.FunctionType = f.type;
  Stk.ParamCount = f.type != 0 ? parameter_count(f.type) : 0;

  bool scan = false;
  if (pc == f.start && kind() != 5) {
    Stk.FrameBuilt = 1;
    Stk.FrameBase = u16(Stk.WalkSp - (kind() == 2 ? 4 : 2));
    // the function-entry trap stopped here: the function's own code goes back
    if (output == kWalkStepOut && f.from_symbol && f.saved_code != kSymSavedCodeInitial &&
        tgt_read_byte(pc) == sym_trap_byte())
      tgt_write_byte(pc, u8(f.saved_code));
  } else {
    Stk.FrameBuilt = 0;
    if (output == kWalkStepOut || output == kWalkNewline) return 0;
    if (kind() != 5) {
      const bool ix_frame = calls_frame_entry(f.start) || (kind() == 4 && starts_with_push_ix(f.start));
      if (ix_frame) {
        Stk.WalkSp = Stk.WalkIx;
        Stk.FrameBase = Stk.WalkIx;
        Stk.WalkIx = tgt_read_word(Stk.WalkIx);
        Stk.WalkSp = u16(Stk.WalkSp + (kind() == 2 ? 4 : 2));
      } else {
        Stk.FrameBase = Stk.WalkIx;
        scan = true;
      }
    }
  }

  if (is_main(f.label)) Stk.Stopped = 1;
  if (output == kWalkStepOut) {
    con_putc('\n');
    for (u16 i = 0; i < Stk.TraceLevel; ++i) con_puts("  ");
  }

  u16 w = 0;
  if (!Stk.Stopped) {
    if (find_return_address(scan, w)) {
      Stk.WalkSp = u16(Stk.WalkSp + 2);
      Stk.WalkPc = w;
    } else {
      Stk.Stopped = 1;
    }
  }
  const u16 count = argument_count(w, scan);

  if (output != kWalkSilent && output != kWalkFrameOnly) {
    std::string text;
    char address[8];
    if (output == kWalkPrint) {
      sup_sprintf(address, "%04x ", pc);
      text += address;
    }
    const std::size_t width = output == kWalkCapture ? kBacktraceLineSize - 1 : Con.Width;
    text += frame_text(f.label, count, width);
    if (output == kWalkCapture) {
      if (capture != nullptr) *capture += text;
    } else {
      if (output == kWalkNewline) con_putc('\n');
      con_puts(text);
      if (output == kWalkStepOut) con_putc('\r');
    }
  }
  return u16(count + 1);
}

u16 stk_one_step(u16 mode) {
  stk_walk_reset();
  return stk_walk_step(mode);
}

u16 stk_frame_word(u16 n) { return tgt_read_word(u16(Stk.WalkSp + 2 * n)); }

// --- The backtrace -----------------------------------------------------------------

namespace {

bool backtrace_possible() {
  return !target_running() && kind() != 16 && Sw.NoMonitorMode == 0 && !sym_is_empty();
}

void build_lines() {
  Stk.LineCount = 0;
  stk_walk_reset();
  while (Stk.LineCount < kBacktraceLines) {
    std::string line = " ";
    if (stk_walk_step(kWalkCapture, &line) == 0) break;
    if (line.size() >= kBacktraceLineSize) line.resize(kBacktraceLineSize - 1);
    Stk.Lines[Stk.LineCount++] = std::move(line);
    if (Stk.Stopped) break;
  }
}

}  // namespace

u16 stk_build_backtrace() {
  Stk.LineCount = 0;
  if (!backtrace_possible()) return 0;
  co_call_guarded(build_lines);
  return Stk.LineCount;
}

std::string stk_backtrace_line(u16 n) { return n < Stk.LineCount ? Stk.Lines[n] : std::string(); }

void cmd_backtrace() {
  if (!backtrace_possible()) return;
  build_lines();
  Paging.ListingLineCount = 1;
  for (u16 i = Stk.LineCount; i > 0; --i) {
    if (con_line_break_paged() != 0) return;
    con_puts(Stk.Lines[i - 1]);
  }
}

std::string stk_stack_window_line(u16 n, u16 options) {
  std::string text;
  co_call_guarded([&] {
    char part[16];
    if (n == 0) {
      text = "    SP";
    } else {
      sup_sprintf(part, "+%2x", u16(2 * n));
      text = part;
    }
    const u16 address = u16(Run.Regs.sp + 2 * n);
    if (options & kStackWindowShowAddress) {
      sup_sprintf(part, "[%04x]", address);
      text += part;
    }
    text += " : ";
    if (target_running()) {
      text += "FFFF";
      return;
    }
    const u16 word = tgt_read_word(address);
    sup_sprintf(part, "%04x", word);
    text += part;
    if (options & kStackWindowShowLabel) {
      if (const char* label = sym_address_label(word, false); label != nullptr) {
        text += ' ';
        text += label;
      }
    }
  });
  return text;
}

// --- Frames of local variables ---------------------------------------------------

namespace {

// Toolchain kind 4 at a function's first instruction: the pushes its prologue
// has not made yet are written below the target's SP (the return address, one
// word below the walk SP), so that frame-relative reads find the values the
// prologue would push, in push order: IX, then DE, HL or BC as it pushes them.
u16 emulate_prologue(u16 frame_base, u16 sp) {
  const u16 start = u16(Stk.FunctionStart);
  const bool push_ix = starts_with_push_ix(start);
  if (Stk.FrameBuilt) {
    u16 at = u16(sp - 2);
    u16 scan = start;
    if (push_ix) {
      at = u16(at - 2);
      tgt_write_word(at, Run.Regs.ix);
      scan = u16(scan + 2);
    }
    for (; scan < u16(start + kPrologueScanBytes); ++scan) {
      const u8 op = tgt_read_byte(scan);
      if (op != kPushDe && op != kPushHl && op != kPushBc) break;
      at = u16(at - 2);
      tgt_write_word(at, op == kPushDe ? Run.Regs.de : op == kPushHl ? Run.Regs.hl : Run.Regs.bc);
    }
  }
  return push_ix ? u16(frame_base + 2) : u16(sp - 2);
}

// Toolchain kind 3: the frame a frame-entry routine makes, from stack position p.
u16 routine_frame(u16 p) {
  const u16 start = u16(Stk.FunctionStart);
  if (tgt_read_byte(start) != kCall) return p;
  const u16 target = tgt_read_word(u16(start + 1));
  u16 frame_size = 0, arg_bytes = 0;
  if (target != 0 && target == lookup(kEntryFrame)) {
    frame_size = tgt_read_word(u16(start + 3));
  } else if (target != 0 && target == lookup(kEntryArgs)) {
    arg_bytes = tgt_read_byte(u16(start + 3));
  } else if (target != 0 && target == lookup(kEntryArgsFrame)) {
    arg_bytes = tgt_read_byte(u16(start + 3));
    frame_size = tgt_read_word(u16(start + 4));
  } else {
    return p;
  }
  if (Stk.FrameBuilt) {
    // the argument registers the routine would store
    if (arg_bytes >= 6) tgt_write_word(p = u16(p - 2), Run.Regs.bc);
    if (arg_bytes >= 4) tgt_write_word(p = u16(p - 2), Run.Regs.de);
    if (arg_bytes >= 2) tgt_write_word(p = u16(p - 2), Run.Regs.hl);
  } else {
    p = u16(p - arg_bytes);
  }
  return u16(p + frame_size);
}

u16 locate(u16 address) {
  if (kind() < 3 || kind() == 16) return 0;
  StkFunction wanted;
  if (!stk_find_function(address, wanted)) return 0;
  if (kind() == 5) return Stk.FramePointerAddress != 0 ? tgt_read_word(Stk.FramePointerAddress) : 0;
  stk_walk_reset();
  for (std::size_t level = 0; level < kBacktraceLines; ++level) {
    if (stk_walk_step(kWalkFrameOnly) == 0) return 0;
    if (Stk.FunctionStart == wanted.start) {
      if (kind() == 3) return routine_frame(u16(Stk.WalkSp - 4));
      return emulate_prologue(Stk.FrameBase, Stk.WalkSp);
    }
    if (Stk.Stopped) return 0;
  }
  return 0;
}

}  // namespace

u16 stk_locate_frame(u16 address) {
  if (target_running() || Sw.NoMonitorMode != 0) return 0;
  const RegisterImage& r = Run.Regs;
  if (Stk.CacheValid && Stk.CacheAddress == address && Stk.CachePc == r.pc && Stk.CacheSp == r.sp)
    return Stk.CacheFrame;
  const u16 frame = locate(address);
  Stk.CacheValid = 1;
  Stk.CacheAddress = address;
  Stk.CachePc = r.pc;
  Stk.CacheSp = r.sp;
  Stk.CacheFrame = frame;
  return frame;
}

std::vector<std::string> stk_stack_window_rows(u16 layout, u16 options) {
  std::vector<std::string> rows;
  if (layout == 0) {
    const u16 n = stk_build_backtrace();
    for (u16 i = n; i > 0; --i) rows.push_back(stk_backtrace_line(u16(i - 1)));
    return rows;
  }
  for (u16 r = 0; r < kStackRulerRows; ++r) {
    std::string text = stk_stack_window_line(r, options);
    // the offset column from the ruler: "    SP" stays, "+%2x" becomes the ruler's piece
    if (r > 0 && text.size() >= 3) text.replace(0, 3, std::string("   ") + std::string(kStackRuler.substr(3 * r, 3)));
    rows.push_back(std::move(text));
  }
  return rows;
}
