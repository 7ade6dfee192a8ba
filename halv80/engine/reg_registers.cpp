// R and IM, the register table's lookups, and the texts of the register
// window and its dialogs. Everything reads and writes Run.Regs; a change made
// by R goes to the target at once as its stack pointer (monitor request 80),
// and the rest of the image goes with the next run.
#include "halv80/engine/reg_registers.h"

#include <cstring>
#include <string_view>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_text.h"

namespace {


constexpr int kFlagUnused = 5;     // '*'
constexpr int kFlagInterrupt = 3;  // 'E'
constexpr int kFlagSubtract = 1;   // 'N'

// The register names of request 6 are short; a longer one is no name.
constexpr std::size_t kRequestNameMax = 16;

// Register window lines 0..12 and the edit list's entries 0..12; entry 13 of
// the edit list is F, which has no entry of its own.
constexpr int kWindowRegisters[] = {0, 1, 4, 7, 10, 11, 14, 17, kRegIX, kRegIY, kRegSP, kRegPC, kRegI};
static_assert(std::size(kWindowRegisters) == kRegWindowLines - 1);
constexpr u16 kWindowFlagLine = 13;
constexpr u16 kEditFlagEntry = 13;
constexpr std::size_t kRunningMaskFrom = 5;  // a running target's values show as 'F' from here on

bool cpu_8080() { return Cfg.CpuType == kCpu8080; }
bool target_running() { return (Run.ExecutionState & kExecRunning) != 0; }
bool alternate(int n) { return n >= kRegAlternate && n < 2 * kRegAlternate; }

// Entries 10..21 and 24 are Z80-family registers.
bool register_exists(int n) {
  if (n < 0 || n >= kRegCount) return false;
  return !(cpu_8080() && ((n >= kRegAlternate && n <= kRegIY) || n == kRegI));
}

// Bit 2 of the interrupt-state byte on the Z80 family, bit 3 on the 8080/8085.
u16 interrupt_enable_bit() { return cpu_8080() ? 0x08 : 0x04; }

void set_interrupts_enabled(bool on) {
  const u16 bit = interrupt_enable_bit();
  Run.Regs.iff = u16(on ? Run.Regs.iff | bit : Run.Regs.iff & ~bit);
}

u8 flags_of(bool alternate_set) { return u8(alternate_set ? Run.Regs.af2 : Run.Regs.af); }

// Bytes below 0x21 up to the end of the line, and nothing else, follow.
bool only_blanks_left(const char* p) { return *sup_skip_blanks(p) == '\0'; }

// F from bit 7 down as letters and '-', without '*' and E; N only on the Z80 family.
void put_flag_row(u8 f) {
  for (int bit = 7; bit >= 0; --bit) {
    if (bit == kFlagUnused || bit == kFlagInterrupt) continue;
    if (bit == kFlagSubtract && cpu_8080()) continue;
    con_putc((f >> bit) & 1 ? u8(kFlagLetters[bit]) : '-');
  }
}

// The instruction at PC, as the disassembler gives it.
std::string instruction_at_pc() {
  std::string text;
  dis_fill_buffer(Run.Regs.pc);
  dis_line(Run.Regs.pc, text);
  return text;
}

// R alone: both register sets and the instruction at PC.
void show_all_registers() {
  const RegisterImage& r = Run.Regs;
  con_putc('\n');
  put_flag_row(flags_of(false));
  con_putc(reg_interrupts_enabled() ? 'E' : '-');
  con_printf(" A=%02x B=%04x D=%04x H=%04x S=%04x P=%04x  ", reg_get(0), r.bc, r.de, r.hl, r.sp, r.pc);
  if (cpu_8080()) {
    // the label stands on a line of its own, the instruction below it
    if (const char* label = sym_address_label(r.pc, false)) {
      con_printf("%s:\n", label);
      con_puts("\t\t\t\t\t\t");
    }
    con_putc(' ');
    con_puts(instruction_at_pc());
    return;
  }
  if (const char* label = sym_address_label(r.pc, false)) con_printf("    %s:", label);
  con_putc('\n');
  put_flag_row(flags_of(true));
  con_printf("  A'%02x B'%04x D'%04x H'%04x X=%04x Y=%04x I=%02x    ", reg_get(kRegAlternate), r.bc2, r.de2,
             r.hl2, r.ix, r.iy, reg_get(kRegI));
  con_puts(instruction_at_pc());
}

// Reads one value at the cursor into register n: true when stored. Text
// after the value, or a value that can't be read, sets AbortFlag.
bool store_value_at_cursor(int n) {
  const u32 value = cmd_get_value();
  if (Cmd.AbortFlag) return false;
  if (!only_blanks_left(Cmd.ScannerCursor)) {
    Cmd.AbortFlag = 1;
    return false;
  }
  reg_set(n, u16(value));
  return true;
}

// R name: shows register n and reads its new value; true when one was stored.
// An empty answer or "." keeps the value; a bad one sets AbortFlag.
bool edit_register(int n) {
  const u16 v = reg_get(n);
  con_printf("\n%s%c= ", RegisterTable[n].name, alternate(n) ? '\'' : ' ');
  if (RegisterTable[n].size == kRegWord)
    con_printf("(oct)%06o  (dec)%5d  (hex)%04x ", v, v, v);
  else
    con_printf("(oct)%03o  (dec)%3d  (hex)%02x ", v, v, v);
  con_read_line();
  if (cmd_at_end()) return false;
  return store_value_at_cursor(n);
}

// R flag: a letter of kFlagLetters, an optional F and an optional "'". Shows
// the bit and reads 0 or 1; true when the bit was stored. A flag that is no
// flag of this CPU, or any other answer, sets AbortFlag.
bool edit_flag() {
  const char* p = Cmd.ScannerCursor;
  const char letter = host_ascii_upper(*p);
  const char* found = letter == '\0' ? nullptr : std::strchr(kFlagLetters, letter);
  if (found == nullptr) {
    Cmd.AbortFlag = 1;
    return false;
  }
  const int bit = int(found - kFlagLetters);
  ++p;
  if (host_ascii_upper(*p) == 'F') ++p;
  const bool alternate_set = *p == '\'';
  if (alternate_set) ++p;
  // unused bit, E of the alternate set, the 8080/8085's missing flags, or more text?
  if (bit == kFlagUnused || u8(*p) >= 0x21 || (alternate_set && bit == kFlagInterrupt) ||
      (cpu_8080() && (alternate_set || bit == kFlagSubtract))) {
    Cmd.AbortFlag = 1;
    return false;
  }
  const bool interrupt = bit == kFlagInterrupt;
  const bool set = interrupt ? reg_interrupts_enabled() != 0 : ((flags_of(alternate_set) >> bit) & 1) != 0;
  con_printf("\n%c%c= %c ", letter, alternate_set ? '\'' : ' ', set ? '1' : '0');
  con_read_line();
  cmd_skip_blanks();
  const char answer = *Cmd.ScannerCursor;
  if ((answer != '0' && answer != '1') || !only_blanks_left(Cmd.ScannerCursor + 1)) {
    Cmd.AbortFlag = 1;
    return false;
  }
  const bool on = answer == '1';
  if (interrupt) {
    set_interrupts_enabled(on);
  } else {
    u16& word = alternate_set ? Run.Regs.af2 : Run.Regs.af;
    word = u16(on ? word | (1u << bit) : word & ~(1u << bit));
  }
  return true;
}

// "_name=value": no display, no question. True when the value was stored.
bool assign_register() {
  ++Cmd.ScannerCursor;  // the '_'
  const int n = reg_match_name(false);
  cmd_skip_blanks();
  if (n < 0 || *Cmd.ScannerCursor != '=') {
    Cmd.AbortFlag = 1;
    return false;
  }
  ++Cmd.ScannerCursor;
  return store_value_at_cursor(n);
}

// The end of R and IM: a stopped target's channel starts clean.
void finish_register_command() {
  run_resume_after_access();
  emu_channel_reset();
}

// Builds one window line in a bounded buffer.
class LineText {
 public:
  explicit LineText(std::span<char> out) : out_(out) {
    if (!out_.empty()) out_[0] = '\0';
  }
  template <class... A>
  void add(std::string_view format, const A&... args) {
    if (length_ < out_.size()) length_ += sup_sprintf(out_.subspan(length_), format, args...);
  }
  // Every character from `from` on becomes c.
  void mask_from(std::size_t from, char c) {
    for (std::size_t i = from; i < length_; ++i) out_[i] = c;
  }
  std::size_t length() const { return length_; }

 private:
  std::span<char> out_;
  std::size_t length_ = 0;
};

// Line 13: F's letters (E for the interrupt state), "'", then F''s letters;
// '_' for a clear flag, '?' for every flag while the target runs.
void flag_line(LineText& text) {
  const bool running = target_running();
  for (const bool alternate_set : {false, true}) {
    if (alternate_set) text.add("'");
    const u8 f = flags_of(alternate_set);
    for (int bit = 7; bit >= 0; --bit) {
      if (bit == kFlagUnused) continue;
      const bool set = (!alternate_set && bit == kFlagInterrupt) ? reg_interrupts_enabled() != 0 : ((f >> bit) & 1) != 0;
      text.add("%c", running ? '?' : set ? kFlagLetters[bit] : '_');
    }
  }
}

void register_line(LineText& text, int n, u16 options) {
  const bool running = target_running();
  const u16 v = reg_get(n);
  const char mark = alternate(n) ? '\'' : ' ';
  if (RegisterTable[n].size != kRegWord) {
    if (n == kRegI)
      text.add(" I   %02x", v);
    else
      text.add(" A%c  %02x", mark, v);
    if (options & kRegOptionDecimal) text.add("     (%4d)", i8(v));
  } else {
    text.add(" %s%c %04x", RegisterTable[n].name, mark, v);
    if (options & kRegOptionDecimal) text.add(" (%6d)", i16(v));
    if (options & kRegOptionIndirect) {
      // a running target is not read: its values show as 'F' anyway
      const u16 word = running ? 0 : tgt_read_word(v);
      text.add(" *[%04x]", word);
      if (options & kRegOptionDecimal) text.add("(%6d)", i16(word));
    }
    if (options & kRegOptionLabel)
      if (const char* label = sym_address_label(v, true)) text.add(" %s", label);
  }
  if (running) text.mask_from(kRunningMaskFrom, 'F');
}

}  // namespace

int reg_match_name(bool any_follower) {
  const char* text = Cmd.ScannerCursor;
  for (int i = 0; i < kRegCount; ++i) {
    if (alternate(i) || !register_exists(i)) continue;
    const char* after = sup_match_prefix_nocase(RegisterTable[i].name, text);
    if (after == nullptr) continue;
    int n = i;
    if (*after == '\'' && i < kRegAlternate) {
      n = i + kRegAlternate;
      if (!register_exists(n)) return -1;  // the 8080/8085 has no alternate set
      ++after;
    }
    if (!any_follower && u8(*after) >= 0x21 && *after != '\'' && *after != '=') continue;
    Cmd.ScannerCursor = after;
    return n;
  }
  return -1;
}

u16 reg_get(int n) {
  if (n < 0 || n >= kRegCount) return 0;
  const u16 word = Run.Regs.*RegisterTable[n].word;
  switch (RegisterTable[n].size) {
    case kRegLowByte: return u16(word & 0xFF);
    case kRegHighByte: return u16(word >> 8);
    default: return word;
  }
}

void reg_set(int n, u16 value) {
  if (n < 0 || n >= kRegCount) return;
  u16& word = Run.Regs.*RegisterTable[n].word;
  switch (RegisterTable[n].size) {
    case kRegLowByte: word = u16((word & 0xFF00) | (value & 0xFF)); break;
    case kRegHighByte: word = u16((word & 0x00FF) | (value & 0xFF) << 8); break;
    default: word = value; break;
  }
}

u16 reg_interrupts_enabled() { return (Run.Regs.iff & interrupt_enable_bit()) != 0 ? 1 : 0; }

void reg_cmd_r() {
  run_pause_for_access();
  bool changed = false;
  const u16 old_pc = Run.Regs.pc;
  cmd_skip_blanks();
  if (cmd_at_end()) {
    show_all_registers();
  } else if (*Cmd.ScannerCursor == '_') {
    changed = assign_register();
  } else if (const int n = reg_match_name(false); n >= 0) {
    // a register name is tried before a flag letter: R C is the register
    changed = edit_register(n);
  } else {
    changed = edit_flag();
  }
  if (changed) {
    emu_req_set_stack(Run.Regs.sp);
    con_request_refresh();
    // a new PC: the code window goes to it
    if (Run.Regs.pc != old_pc) co_post_request(RequestCode::CodeToPc);
  }
  finish_register_command();
  if (Cmd.AbortFlag) cmd_error(kMsgData);
}

void reg_cmd_im() {
  if (!cpu_8080()) {
    cmd_error(kMsgCommandError);
    return;
  }
  run_pause_for_access();
  const u8 state = u8(Run.Regs.iff);
  auto bit_char = [state](int bit) { return ((state >> bit) & 1) ? '1' : '0'; };
  bool bad_operand = false;
  cmd_skip_blanks();
  const char c = *Cmd.ScannerCursor;
  if (cmd_at_end()) {
    con_puts("\n   RST       7.5 6.5 5.5");
    con_puts("\nInt(Pending): ");
    for (const int bit : {6, 5, 4}) con_printf("%c   ", bit_char(bit));
    con_puts("\nInt. Mask   : ");
    for (const int bit : {2, 1, 0}) con_printf("%c   ", bit_char(bit));
    con_puts("\nInterrupt = ");
    con_puts((state & 0x08) ? "Enable" : "Disable");
    con_printf("      SID = %c", bit_char(7));
  } else if (c >= '5' && c <= '7' && u8(Cmd.ScannerCursor[1]) < 0x21) {
    // RST 5.5, 6.5 and 7.5 are mask bits 0, 1 and 2
    const int bit = c - '5';
    con_printf("\nInt.Mask %c.5 = %c  ", c, bit_char(bit));
    con_read_line();
    cmd_skip_blanks();
    const char answer = *Cmd.ScannerCursor;
    if ((answer == '0' || answer == '1') && only_blanks_left(Cmd.ScannerCursor + 1))
      Run.Regs.iff = u16(answer == '1' ? Run.Regs.iff | (1u << bit) : Run.Regs.iff & ~(1u << bit));
    else
      Cmd.AbortFlag = 1;
  } else {
    bad_operand = true;
  }
  finish_register_command();
  if (bad_operand)
    cmd_error(kMsgFormat);
  else if (Cmd.AbortFlag)
    cmd_error(kMsgData);
}

void reg_request_set_register(const char*) {
  const char* name = static_cast<const char*>(Co.Request.p1_ptr);
  const char* value = static_cast<const char*>(Co.Request.p2_ptr);
  if (name == nullptr || value == nullptr) {
    Cmd.AbortFlag = 1;
    return;
  }
  // The name ends at its '('; a name too long for any register is no name.
  std::size_t name_length = strnlen(name, kRequestNameMax + 1);
  if (const void* bracket = std::memchr(name, '(', name_length))
    name_length = std::size_t(static_cast<const char*>(bracket) - name);
  // '_', the name, '=', the value and the terminator must fit the line whole:
  // a value cut short would be another value.
  const std::size_t value_length = strnlen(value, kCommandLineSize);
  if (name_length > kRequestNameMax || value_length > kCommandLineSize - 3 - name_length) {
    Cmd.AbortFlag = 1;
    return;
  }
  char line[kCommandLineSize];
  sup_sprintf(line, "_%s=%s", std::string_view(name, name_length), std::string_view(value, value_length));
  Cmd.ScannerCursor = line;
  reg_cmd_r();
}

u16 reg_window_line_count(u16& options) {
  if ((options & kRegOptionMmuLines) == 0) return kRegWindowLines;
  if (Cfg.MmuKind == kMmuNone) {
    options = u16(options & ~kRegOptionMmuLines);
    return kRegWindowLines;
  }
  // an empty line, then five windows for kinds 1 and 8, else three
  return Cfg.MmuKind == kMmuWindows || Cfg.MmuKind == 8 ? kRegWindowLines + 6 : kRegWindowLines + 4;
}

std::size_t reg_window_line(u16 line, u16 options, std::span<char> out) {
  // below the registers and an empty line: the memory-management windows, highest first
  if (line > kRegWindowLines) {
    const u16 shown = (Cfg.MmuKind == kMmuWindows || Cfg.MmuKind == 8) ? 5 : 3;
    const u16 k = u16(line - kRegWindowLines - 1);
    if (k < shown) return tgt_mmu_window_text(u16(shown - 1 - k), out);
  }
  LineText text(out);
  if (line == kWindowFlagLine)
    flag_line(text);
  else if (line < kWindowFlagLine)
    register_line(text, kWindowRegisters[line], options);
  return text.length();
}

u16 reg_flag_dialog_word() {
  const u8 f = u8((Run.Regs.af & ~0x08) | (reg_interrupts_enabled() << kFlagInterrupt));
  return u16(u8(Run.Regs.af2) << 8 | f);
}

void reg_set_flag_dialog_word(u16 word) {
  set_interrupts_enabled((word & 0x08) != 0);
  Run.Regs.af = u16((Run.Regs.af & 0xFF00) | (word & 0xF7));
  Run.Regs.af2 = u16((Run.Regs.af2 & 0xFF00) | word >> 8);
}

bool reg_edit_entry(u16 index, std::span<char> name, std::span<char> value) {
  if (index >= kRegEditEntries) return false;
  if (index == kEditFlagEntry) {
    sup_sprintf(name, "F");
    sup_sprintf(value, "0x%02x", u8(Run.Regs.af));
    return true;
  }
  const int n = kWindowRegisters[index];
  sup_sprintf(name, "%s%s", RegisterTable[n].name, alternate(n) ? "'" : "");
  sup_sprintf(value, RegisterTable[n].size == kRegWord ? "0x%04x" : "0x%02x", reg_get(n));
  return true;
}
