// EV and the event texts. The records live in the work area that the
// interface library shares; EV edits a copy and stores it only when the whole
// line was good, so a failed EV leaves the event as it was.
#include "halv80/engine/brk_events.h"

#include <algorithm>
#include <array>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/engine/win_codes.h"
#include "platform/device/dev_layout.h"

const char* const kCycleKindNames[9] = {"", "INTA", "CF", "MR", "MW", "IR", "IW", "MEM", "IO"};
const char* const kEventSourceNames[8] = {"Ev.1", "Ev.2", "Ev.3", "AND/SEQ", "Ti.Out", "Tr.END", "EXT1", "EXT2"};

namespace {

// EventRecord fields. OFFSET  FIELD
constexpr std::size_t kRecDataNegate = 0;
constexpr std::size_t kRecAddressNegate = 1;
constexpr std::size_t kRecStatusNegate = 2;
constexpr std::size_t kRecKind = 3;
constexpr std::size_t kRecAddressStart = 4;
constexpr std::size_t kRecAddressEnd = 8;
constexpr std::size_t kRecAddressMask = 12;
constexpr std::size_t kRecDataValue = 16;
constexpr std::size_t kRecDataMask = 20;
constexpr std::size_t kRecStatusValue = 24;
constexpr std::size_t kRecStatusMask = 26;
constexpr std::size_t kRecPassCount = 28;
static_assert(kRecPassCount + 2 == kEventRecordSize);

BiosWorkArea* work() { return SupHost.BiosWork.get(); }

std::size_t user_record(u16 n) { return kWorkUserEvents + kEventRecordSize * std::size_t(n - 1); }

bool mmu_active() { return Cfg.MmuKind != kMmuNone; }

// An address with 'x' for the nibbles its mask leaves out.
std::string masked_address(u32 value, u32 mask, int digits) {
  std::string s;
  for (int i = digits - 1; i >= 0; --i) {
    const u32 nibble_mask = (mask >> (4 * i)) & 15;
    s += nibble_mask == 0 ? 'x' : "0123456789abcdef"[(value >> (4 * i)) & 15];
  }
  return s;
}

// Post RequestCode::BreakListChanged (kBreakListHardware) on the command side, so that the windows follow.
void post_break_window() {
  if (!Co.OnCommandSide) return;
  Co.Request.p1 = kBreakListHardware;
  co_post_request(RequestCode::BreakListChanged);
}

}  // namespace

EventRecord brk_get_event(u16 n) {
  EventRecord e;
  const BiosWorkArea* w = work();
  if (!w || n < 1 || n > kEventChannels) return e;
  const std::size_t at = user_record(n);
  e.data_negate = w->bytes[at + kRecDataNegate];
  e.address_negate = w->bytes[at + kRecAddressNegate];
  e.status_negate = w->bytes[at + kRecStatusNegate];
  e.kind = w->bytes[at + kRecKind];
  e.address_start = w->get32_at(at + kRecAddressStart);
  e.address_end = w->get32_at(at + kRecAddressEnd);
  e.address_mask = w->get32_at(at + kRecAddressMask);
  e.data_value = w->get32_at(at + kRecDataValue);
  e.data_mask = w->get32_at(at + kRecDataMask);
  e.status_value = w->get16_at(at + kRecStatusValue);
  e.status_mask = w->get16_at(at + kRecStatusMask);
  e.pass_count = w->get16_at(at + kRecPassCount);
  return e;
}

void brk_put_event(u16 n, const EventRecord& e) {
  BiosWorkArea* w = work();
  if (!w || n < 1 || n > kEventChannels) return;
  const std::size_t at = user_record(n);
  w->bytes[at + kRecDataNegate] = e.data_negate;
  w->bytes[at + kRecAddressNegate] = e.address_negate;
  w->bytes[at + kRecStatusNegate] = e.status_negate;
  w->bytes[at + kRecKind] = e.kind;
  w->set32_at(at + kRecAddressStart, e.address_start);
  w->set32_at(at + kRecAddressEnd, e.address_end);
  w->set32_at(at + kRecAddressMask, e.address_mask);
  w->set32_at(at + kRecDataValue, e.data_value);
  w->set32_at(at + kRecDataMask, e.data_mask);
  w->set16_at(at + kRecStatusValue, e.status_value);
  w->set16_at(at + kRecStatusMask, e.status_mask);
  w->set16_at(at + kRecPassCount, e.pass_count);
}

void sup_set_event_record(u16 n, std::span<const u32, 7> words, u16 pass_count) {
  BiosWorkArea* w = work();
  if (!w || n >= kEventChannels) return;
  const std::size_t at = kWorkUserEvents + kEventRecordSize * n;
  for (std::size_t i = 0; i < words.size(); ++i) w->set32_at(at + 4 * i, words[i]);
  w->set16_at(at + kRecPassCount, pass_count);
}

void sup_set_event_enables(u32 run_low, u16 run_high, u32 trace_low, u16 trace_high) {
  BiosWorkArea* w = work();
  if (!w) return;
  w->set32_at(kWorkEventEnable, run_low);
  w->set16_at(kWorkEventEnable + 4, run_high);
  w->set32_at(kWorkTraceEventSetup, trace_low);
  w->set16_at(kWorkTraceEventSetup + 4, trace_high);
}

// --- Masked values ----------------------------------------------------------------

u32 brk_parse_masked_value(u16& mask) {
  mask = 0xFFFF;
  if (Cmd.AbortFlag) return 0;
  cmd_skip_blanks();
  // The scanner always reads a writable line (the command line, or a core
  // request's copy of its argument): don't-care digits become '0' in place.
  mask = cmd_mask_dont_care_digits(const_cast<char*>(Cmd.ScannerCursor));
  // the digits are hexadecimal whatever the radix
  const u16 radix = Cmd.Radix;
  Cmd.Radix = 16;
  const u32 v = cmd_get_value();
  Cmd.Radix = radix;
  return v;
}

u32 brk_get_decimal() {
  if (Cmd.AbortFlag) return 0;
  const u16 radix = Cmd.Radix;
  Cmd.Radix = 10;
  const u32 v = cmd_get_expression();
  Cmd.Radix = radix;
  return v;
}

u16 brk_data_bits() {
  const BiosWorkArea* w = work();
  const u8 bytes = w ? w->get8<kWorkBusWidth>() : 1;
  return u16(8 * std::clamp<u8>(bytes, 1, 4));
}

std::string brk_masked_data_text(u32 value, u32 mask, u16 bits) {
  if (bits == 0 || bits > 32) bits = 32;
  bool nibbles = true;
  for (u16 i = 0; i < bits; i += 4) {
    const u32 m = (mask >> i) & 15;
    if (m != 0 && m != 15) nibbles = false;
  }
  std::string s;
  if (nibbles) {
    for (int i = bits / 4 - 1; i >= 0; --i)
      s += ((mask >> (4 * i)) & 15) == 0 ? 'x' : "0123456789ABCDEF"[(value >> (4 * i)) & 15];
    return s;
  }
  s += '@';
  for (int i = bits - 1; i >= 0; --i) {
    s += ((mask >> i) & 1) == 0 ? 'x' : ((value >> i) & 1) ? '1' : '0';
    if (i % 4 == 0 && i != 0) s += '_';
  }
  return s;
}

std::string brk_masked_status_text(u16 value, u16 mask) {
  std::string s = "@";
  for (int i = 15; i >= 0; --i) {
    s += ((mask >> i) & 1) == 0 ? 'x' : ((value >> i) & 1) ? '1' : '0';
    if (i % 4 == 0 && i != 0) s += '_';
  }
  return s;
}

// --- Dialog texts ---------------------------------------------------------------

std::string brk_event_pass_text(u16 n) {
  char text[16];
  sup_sprintf(text, "%u", brk_get_event(n).pass_count);
  return text;
}

std::string brk_event_status_text(u16 n) {
  std::string s;
  co_call_guarded([&] {
    const EventRecord e = brk_get_event(n);
    s = brk_masked_status_text(e.status_value, e.status_mask);
    if (e.kind >= 1 && e.kind <= 8) s += std::string("  <") + kCycleKindNames[e.kind] + ">";
  });
  return s;
}

std::string brk_event_data_text(u16 n) {
  std::string s;
  co_call_guarded([&] {
    const EventRecord e = brk_get_event(n);
    if (e.data_negate) s = "! ";
    s += brk_masked_data_text(e.data_value, e.data_mask, brk_data_bits());
  });
  return s;
}

std::string brk_event_address_text(u16 n) {
  const EventRecord e = brk_get_event(n);
  if (e.address_mask == 0) return "don't care";
  char text[40];
  std::string s = e.address_negate ? "! " : "";
  sup_sprintf(text, mmu_active() ? "%05lx " : "%04lx ", e.address_start);
  s += text;
  if (e.address_end != e.address_start) {
    sup_sprintf(text, mmu_active() ? "~ %05lx" : "~ %04lx", e.address_end);
    s += text;
  }
  return s;
}

const char* brk_stop_text(u8 cause, std::string& name) {
  if (Run.TraceHwLevel == 0 || cause == 0) return nullptr;
  for (int i = 0; i < 8; ++i)
    if (cause & (1u << i)) {
      name = kEventSourceNames[i];
      return "H/W_Brk=";
    }
  return nullptr;
}

u16 brk_cycle_kind_flags(u16 status) {
  u16 flags = 0;
  for (u16 k = 1; k <= 8; ++k) {
    const CycleStatus& c = Cfg.Cycles[k - 1];
    if (c.mask != 0 && (status & c.mask) == (c.value & c.mask)) flags |= u16(1u << (k - 1));
  }
  const u16 cf = 1u << (kKindCf - 1), mr = 1u << (kKindMr - 1);
  if (Cfg.Cycles[kKindCf - 1].mask == 0 && (flags & mr)) flags |= u16(cf | 0x4000);
  if (Cfg.Cycles[kKindMr - 1].mask == 0 && flags == 0) flags = 0x8006;
  return flags;
}

// --- EV ---------------------------------------------------------------------------

void brk_list_event(u16 n) {
  const EventRecord e = brk_get_event(n);
  const int digits = mmu_active() ? 5 : 4;
  con_printf("\n*** Event No. = %d ", n);
  con_puts("***");
  con_printf("\n Address %c= ", e.address_negate ? '!' : ' ');
  if (e.address_mask == 0) {
    con_puts(" don't care");
  } else {
    con_puts(masked_address(e.address_start, e.address_mask, digits));
    con_putc(' ');
    if (e.address_start == e.address_end) {
      if (const char* label = sym_address_label(e.address_start, false)) con_puts(label);
    } else {
      con_puts("~ ");
      con_puts(masked_address(e.address_end, e.address_mask, digits));
    }
  }
  con_printf("\n Data  %c= ", e.data_negate ? '!' : ' ');
  con_puts(brk_masked_data_text(e.data_value, e.data_mask, brk_data_bits()));
  con_printf("\n Stat  %c= ", e.status_negate ? '!' : ' ');
  con_puts(brk_masked_status_text(e.status_value, e.status_mask));
  if (e.kind >= 1 && e.kind <= 8) con_printf("  <%s>", kCycleKindNames[e.kind]);
  con_printf("\n Pass Count = %u", e.pass_count);
}

namespace {

// After ',': does a field ("L=" or "L!=") follow?
bool field_follows(const char* p) {
  p = sup_skip_blanks(p);
  if (!((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'))) return false;
  ++p;
  if (*p == '!') ++p;
  return *p == '=';
}

// The end of a field's value: the line's end or the ',' before the next field.
bool value_empty() {
  const char* p = sup_skip_blanks(Cmd.ScannerCursor);
  return *p == '\0' || *p == ',';
}

u32 read_address() { return mmu_active() ? cmd_get_expression() : cmd_get_address(); }

// One field of EV into `e`; false after a reported error.
bool event_field(EventRecord& e) {
  const char letter = char(*Cmd.ScannerCursor >= 'a' && *Cmd.ScannerCursor <= 'z' ? *Cmd.ScannerCursor - 32
                                                                                   : *Cmd.ScannerCursor);
  if (letter == '\0') return true;
  ++Cmd.ScannerCursor;
  bool negate = false;
  if (*Cmd.ScannerCursor == '!') {
    if (letter == 'S' || letter == 'U') {
      cmd_error(kMsgFormat);
      return false;
    }
    negate = true;
    ++Cmd.ScannerCursor;
  }
  if (*Cmd.ScannerCursor != '=') {
    cmd_error(kMsgFormat);
    return false;
  }
  ++Cmd.ScannerCursor;
  // "A=!2000" negates as "A!=2000" does (a '!' would otherwise read as the
  // scanner's decimal prefix)
  if (*Cmd.ScannerCursor == '!' && (letter == 'A' || letter == 'D')) {
    negate = true;
    ++Cmd.ScannerCursor;
  }
  const bool empty = value_empty();
  switch (letter) {
    case 'A': {
      if (empty) {
        e.address_mask = 0;
        e.address_negate = 0;
        return true;
      }
      const u32 start = read_address();
      u32 end = start;
      cmd_skip_blanks();
      if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',' && !field_follows(Cmd.ScannerCursor + 1)) {
        ++Cmd.ScannerCursor;
        end = read_address();
      }
      if (Cmd.AbortFlag) {
        Cmd.AbortFlag = 0;
        cmd_error(kMsgAddress);
        return false;
      }
      if (end < start) {
        cmd_error(kMsgAddress);
        return false;
      }
      e.address_start = start;
      e.address_end = end;
      e.address_mask = 0xFFFFFFFF;
      e.address_negate = negate ? 1 : 0;
      return true;
    }
    case 'D': {
      if (empty) {
        e.data_mask = 0;
        e.data_negate = 0;
        return true;
      }
      u16 mask = 0;
      const u32 v = brk_parse_masked_value(mask);
      if (Cmd.AbortFlag) break;
      e.data_value = v & 0xFFFF;
      e.data_mask = mask & 0xFF;
      e.data_negate = negate ? 1 : 0;
      return true;
    }
    case 'C': {
      if (empty) {
        e.pass_count = 1;
        return true;
      }
      const u32 v = brk_get_decimal();
      if (Cmd.AbortFlag || v == 0 || v > 0xFFFF) break;
      e.pass_count = u16(v);
      return true;
    }
    case 'S': {
      if (empty) {
        e.kind = 0;
        return true;
      }
      for (u8 k = 8; k >= 1; --k) {  // "IO" after "INTA": the longer names first would not matter
        const char* after = sup_match_prefix_nocase(kCycleKindNames[k], Cmd.ScannerCursor);
        if (after == nullptr || (*after != '\0' && *after != ',' && *after != ' ' && *after != '\t')) continue;
        if (Cfg.Cycles[k - 1].mask == 0) break;
        Cmd.ScannerCursor = after;
        e.kind = k;
        return true;
      }
      break;
    }
    case 'U': {
      if (empty) {
        e.status_mask = 0;
        return true;
      }
      u16 mask = 0;
      const u32 v = brk_parse_masked_value(mask);
      if (Cmd.AbortFlag) break;
      e.status_value = u16(v);
      e.status_mask = mask;
      return true;
    }
    default:
      cmd_error(kMsgFormat);
      return false;
  }
  Cmd.AbortFlag = 0;
  cmd_error(kMsgData);
  return false;
}

}  // namespace

void emu_cmd_event() {
  if (Run.TraceHwLevel == 0) {
    cmd_error(kMsgNotOnThisModel);
    return;
  }
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    Paging.ListingLineCount = 1;
    for (u16 n = 1; n <= kEventChannels; ++n) {
      brk_list_event(n);
      if (n < kEventChannels && con_line_break_paged()) break;
    }
    return;
  }
  const u32 n = cmd_get_number_decimal();
  if (Cmd.AbortFlag || n < 1 || n > kEventChannels) {
    Cmd.AbortFlag = 0;
    cmd_error(kMsgData);
    return;
  }
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    brk_list_event(u16(n));
    return;
  }
  EventRecord e = brk_get_event(u16(n));
  if (e.pass_count == 0) e.pass_count = 1;
  for (;;) {
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == ',') ++Cmd.ScannerCursor;
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == '\0') break;
    if (!event_field(e)) return;
  }
  // the cycle kind's pattern over the user's own status bits
  const u16 kind_bits = Cfg.CycleStatusBits;
  e.status_value = u16(e.status_value & ~kind_bits);
  e.status_mask = u16(e.status_mask & ~kind_bits);
  if (e.kind >= 1 && e.kind <= 8) {
    const CycleStatus& c = Cfg.Cycles[e.kind - 1];
    e.status_value = u16(e.status_value | (c.value & kind_bits));
    e.status_mask = u16(e.status_mask | c.mask);
  }
  // I/O cycles carry 8-bit (or 16-bit) port addresses
  if (e.kind == kKindIr || e.kind == kKindIw || e.kind == kKindIo) {
    const u32 cut = Cfg.IoMask16 ? 0xFFFF : 0xFF;
    e.address_start &= cut;
    e.address_end &= cut;
    e.address_mask &= cut;
  }
  if (Run.TraceHwLevel == 1) {
    e.status_mask &= 0xFF;
    e.address_mask &= 0xFFFFFF;
  }
  brk_put_event(u16(n), e);
  emu_program_event(u16(n));
  if (n <= 2) {
    u32 unused = 0;
    emu_timer_read(unused, 1);
  }
  post_break_window();
}
