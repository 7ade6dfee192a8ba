// TD. Frames are read one at a time through the trace wrappers; positions
// count from the first recorded frame (or back from the trigger in the
// delayed mode).
#include "halv80/engine/trc_display.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/brk_events.h"
#include "halv80/engine/brk_hardware.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/dis_z80.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/device/dev_layout.h"

constinit TrcViewState TrcView;

namespace {

constexpr std::size_t kOpcodeBytes = 5;
constexpr u16 kFlagMaybeFetch = 0x4000;
constexpr u16 kFlagNoKind = 0x8000;
constexpr i32 kSample = 16;

bool sample_mode() {
  const BiosWorkArea* w = SupHost.BiosWork.get();
  return w && (w->get8<kWorkTraceMode>() & kTraceModeMask) == (1u << kTraceModeShift);
}

bool mmu_active() { return Cfg.MmuKind != kMmuNone; }

i32 page_rows() {
  const i32 rows = i32(Con.Bottom) - i32(Con.Top) - 3;
  return std::max(rows, 1);
}

bool is_prefix(u8 b) { return b == 0xDD || b == 0xFD || b == 0xED || b == 0xCB; }

// The frame's address where target memory holds its data byte, by the
// configured bank bases.
u32 mapped_address(const TraceFrame& f) {
  const u32 mask = Cfg.TraceAddressMask;
  if (mask == 0 || (Run.ExecutionState & kExecRunning)) return f.address;
  const u32 offset = f.address & mask;
  const bool stopped = Run.ExecutionState == kExecStopped;
  u32 candidate = offset | TrcView.Bank;
  if (!stopped) return candidate;
  if (tgt_read_byte_banked(candidate) == u8(f.data)) return candidate;
  for (u32 base : Cfg.TraceAddresses) {
    if (base == kTraceAddressEnd) return offset;
    candidate = offset | (base & ~mask);
    if (tgt_read_byte_banked(candidate) == u8(f.data)) {
      TrcView.Bank = base & ~mask;
      return candidate;
    }
  }
  return candidate;
}

const char* kind_text(u16 flags) {
  if (flags & (1u << (kKindInta - 1))) return "IA";
  if (flags & kFlagMaybeFetch) return "MR";
  if (flags & kFlagNoKind) return "   ";
  for (u8 k : {kKindCf, kKindMr, kKindMw, kKindIr, kKindIw})
    if (flags & (1u << (k - 1))) return kCycleKindNames[k];
  return "   ";
}

void newline() {
  con_putc('\n');
  ++TrcView.Lines;
}

// The plain part of a frame line, after its newline.
void frame_columns(i32 position, const TraceFrame& f, u32 address, u16 flags) {
  if (sample_mode()) {
    const BiosWorkArea* w = SupHost.BiosWork.get();
    const i32 offset = w ? w->get8<kWorkTraceAdjust>() : 0;
    con_printf("%6d", position % kSample - offset);
  } else {
    con_printf("%6ld", position);
  }
  char time[8];
  sup_sprintf(time, "%u", f.time & 0x7FF);
  con_printf("%5s ", time);
  con_printf(mmu_active() ? "%06lx " : "%04lx ", address);
  con_printf("%02x ", f.data & 0xFF);
  con_putc(' ');
  con_puts(kind_text(flags));
}

}  // namespace

void trc_view_reset() { TrcView = TrcViewState{}; }

u16 trc_view_active() { return TrcView.Active; }

u16 trc_hardware_frame(i32 position) {
  i32 frame = position - TrcView.First + TrcView.Base;
  if (frame > 65535) frame -= 65536;
  return u16(frame);
}

bool trc_view_range() {
  trc_stop();
  u16 first = 0, last = 0;
  trc_read_trace_frames(first, last);
  if (first == 0xFFFF && last == 0xFFFF) {
    TrcView.First = TrcView.Count = 0;
    return false;
  }
  i32 count = i32(last) - i32(first) + 1;
  if (count < 1) count = i32(last) - i32(first) + 65537;
  TrcView.Count = count;
  TrcView.Base = first;
  TrcView.First = 0;
  const u32 remaining = EmuCtl.TraceDelayLeft & 0xFFFF;
  if (remaining != 0xFFFF) {
    TrcView.First = i32(remaining) - count;
    TrcView.Count = i32(remaining);
  }
  TrcView.Position = TrcView.Expected = TrcView.First;
  return true;
}

void trc_print_heading(bool search) {
  con_putc('\n');
  con_puts(mmu_active() && !search ? " flam  Ti(u)  Adr  DATA ST" : " flam Ti(u)  Adr DATA ST");
  con_puts(TrcView.InstructionMode ? "\tINSTRUCTION" : "        EXT\t    ");
  if (search) return;
  newline();
  con_puts(std::string(60, '-'));
}

bool trc_print_frame(i32 position, bool plain) {
  if (position < TrcView.First || position >= TrcView.Count) return false;
  const TraceFrame f = trc_read_frame(trc_hardware_frame(position));
  const u32 address = mapped_address(f);
  const u16 flags = brk_cycle_kind_flags(f.status);
  if (sample_mode() && position % kSample == 0) {
    con_printf("\nSample No. = %d\n", position / kSample);
    ++TrcView.Lines;
  }
  const bool fetch = (flags & (1u << (kKindCf - 1))) != 0;
  if (!plain && TrcView.InstructionMode && position == TrcView.Expected) {
    if (!fetch) {
      ++TrcView.Expected;
    } else {
      // the opcode bytes: this fetch and the frames after it, up to the next
      // fetch that is not the opcode after a prefix
      u8 bytes[kOpcodeBytes] = {u8(f.data)};
      std::size_t n = 1;
      bool prefixes_only = is_prefix(bytes[0]);
      for (i32 p = position + 1; n < kOpcodeBytes && p < TrcView.Count; ++p) {
        const TraceFrame g = trc_read_frame(trc_hardware_frame(p));
        const bool g_fetch = (brk_cycle_kind_flags(g.status) & (1u << (kKindCf - 1))) != 0;
        if (g_fetch && !prefixes_only) break;
        bytes[n++] = u8(g.data);
        if (!is_prefix(u8(g.data))) prefixes_only = false;
      }
      std::fill(std::begin(Dis.Buffer), std::end(Dis.Buffer), u8(0));
      std::copy_n(bytes, n, Dis.Buffer);
      std::string text;
      const u16 length = dis_line(u16(address), text);
      if (text.size() > 1024) text.resize(1024);
      // the HD64180 bus shows no third byte of a taken CALL or JP
      if (Cfg.CpuType == 2 && n == 2 && length == 3 && (text.rfind("CALL", 0) == 0 || text.rfind("JP", 0) == 0) &&
          text.size() >= 3)
        text.replace(text.size() - 3, 2, "??");
      const u16 physical = SymFlag.PhysicalAddress;
      SymFlag.PhysicalAddress = 1;
      if (const char* label = sym_address_label(address, false)) {
        con_putc('\n');
        con_printf("%s:", label);
        ++TrcView.Lines;
      }
      u16 line = 0;
      if (Sw.ToolchainKind != 16) {
        if (const char* file = sym_line_from_address(address, line)) {
          char name[kModuleNameSize];
          const std::size_t len = strnlen(file, sizeof name - 1);
          std::memcpy(name, file, len);
          name[len] = '\0';
          newline();
          const u16 mode = SymSource.OutputMode;
          SymSource.OutputMode = kSourcePrint;
          sym_show_source_line(name, line);
          SymSource.OutputMode = mode;
        }
      }
      SymFlag.PhysicalAddress = physical;
      newline();
      frame_columns(position, f, address, flags);
      con_putc('\t');
      con_puts(text);
      TrcView.Expected = position + std::max<u16>(length, 1);
      return true;
    }
  }
  newline();
  frame_columns(position, f, address, flags);
  if (!TrcView.InstructionMode || plain) {
    if (!TrcView.InstructionMode) {
      con_puts(" @");
      const int bits = Run.TraceHwLevel >= 2 ? 16 : 8;
      for (int i = bits - 1; i >= 0; --i) con_putc((f.status >> i) & 1 ? '1' : '0');
    }
  }
  return true;
}

namespace {

void show_page() {
  TrcView.Lines = 0;
  trc_print_heading(false);
  while (TrcView.Lines < page_rows()) {
    if (!trc_print_frame(TrcView.Position, false)) break;
    ++TrcView.Position;
    if (con_check_abort()) break;
  }
}

// A position operand: decimal; in Sample mode a sample number. false on a bad one.
bool read_position(i32& out, bool last) {
  const u32 v = brk_get_decimal();
  if (Cmd.AbortFlag) return false;
  out = sample_mode() ? i32(v) * kSample + (last ? kSample - 1 : 0) : i32(v);
  return true;
}

// A position follows: digits, or '-' and digits (positions before a delayed
// trigger's end are negative).
bool at_number() {
  cmd_skip_blanks();
  const char* p = Cmd.ScannerCursor;
  if (*p == '-') ++p;
  return *p >= '0' && *p <= '9';
}

// L/U/D [n][,m].
void show_mode(bool instructions) {
  TrcView.InstructionMode = instructions ? 1 : 0;
  cmd_skip_blanks();
  i32 n = TrcView.Position;
  bool has_n = false;
  if (at_number()) {
    if (!read_position(n, false)) return cmd_error(kMsgAddress);
    has_n = true;
  }
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    i32 m = 0;
    if (!read_position(m, true) || n > m || m >= TrcView.Count || n < TrcView.First) return cmd_error(kMsgAddress);
    trc_print_heading(false);
    TrcView.Position = TrcView.Expected = n;
    for (; TrcView.Position <= m; ++TrcView.Position) {
      if (!trc_print_frame(TrcView.Position, false)) break;
      if (con_check_abort()) break;
    }
    return;
  }
  if (has_n) {
    if (n < TrcView.First || n >= TrcView.Count) return cmd_error(kMsgAddress);
    TrcView.Position = TrcView.Expected = n;
  }
  show_page();
}

void move_pages(int direction) {
  i32 n = 1;
  cmd_skip_blanks();
  if (at_number()) {
    const u32 v = brk_get_decimal();
    if (Cmd.AbortFlag) return cmd_error(kMsgAddress);
    n = i32(std::min<u32>(v, 65536));
  }
  TrcView.Position += page_rows() * (n * direction - 1);
  if (TrcView.Position >= TrcView.Count) TrcView.Position = TrcView.Count - 1;
  if (TrcView.Position < TrcView.First) TrcView.Position = TrcView.First;
  TrcView.Expected = TrcView.Position;
  show_page();
}

void skip_comma() {
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == ',') ++Cmd.ScannerCursor;
  cmd_skip_blanks();
}

void search() {
  TrcView.Position = TrcView.First;
  if (at_number()) {
    i32 n = 0;
    if (!read_position(n, false) || n < TrcView.First || n >= TrcView.Count) return cmd_error(kMsgAddress);
    TrcView.Position = n;
  }
  skip_comma();
  bool has_address = false;
  u32 address = 0;
  if (*Cmd.ScannerCursor == 'A' || *Cmd.ScannerCursor == 'a') {
    ++Cmd.ScannerCursor;
    address = mmu_active() ? cmd_get_expression() : cmd_get_address();
    has_address = true;
    skip_comma();
  }
  u32 data = 0, data_mask = 0;
  if (!Cmd.AbortFlag && (*Cmd.ScannerCursor == 'D' || *Cmd.ScannerCursor == 'd')) {
    ++Cmd.ScannerCursor;
    u16 mask = 0;
    data = brk_parse_masked_value(mask);
    data_mask = mask & 0xFF;
    skip_comma();
  }
  u8 kind = 0;
  for (u8 k = 1; !Cmd.AbortFlag && k <= 8; ++k) {
    const char* after = sup_match_prefix_nocase(kCycleKindNames[k], Cmd.ScannerCursor);
    if (after == nullptr || (*after != '\0' && *after != ',' && *after != ' ')) continue;
    if (Cfg.Cycles[k - 1].mask == 0) return cmd_error(kMsgFormat);
    kind = k;
    Cmd.ScannerCursor = after;
    skip_comma();
    break;
  }
  u16 status = 0, status_mask = 0;
  if (!Cmd.AbortFlag && *Cmd.ScannerCursor == '@') status = u16(brk_parse_masked_value(status_mask));
  cmd_skip_blanks();
  if (Cmd.AbortFlag || *Cmd.ScannerCursor != '\0') {
    Cmd.AbortFlag = 0;
    return cmd_error(kMsgFormat);
  }
  if (kind != 0) {
    const CycleStatus& c = Cfg.Cycles[kind - 1];
    status_mask = u16((status_mask & ~Cfg.CycleStatusBits) | c.mask);
    status = u16((status & ~Cfg.CycleStatusBits) | (c.value & c.mask));
  }
  trc_print_heading(true);
  Paging.ListingLineCount = 1;
  for (i32 p = TrcView.Position; p < TrcView.Count; ++p) {
    const TraceFrame f = trc_read_frame(trc_hardware_frame(p));
    const u32 a = mapped_address(f);
    if (has_address && a != address) continue;
    if ((f.data & data_mask) != (data & data_mask)) continue;
    if ((f.status & status_mask) != (status & status_mask)) continue;
    if (con_line_break_paged()) break;
    frame_columns(p, f, a, brk_cycle_kind_flags(f.status));
  }
}

// One sub-command line; false to leave.
bool sub_command() {
  cmd_skip_blanks();
  const char* p = Cmd.ScannerCursor;
  const char c = char(*p >= 'a' && *p <= 'z' ? *p - 32 : *p);
  const char c1 = char(p[1] >= 'a' && p[1] <= 'z' ? p[1] - 32 : p[1]);
  if (c == '\0') {
    show_page();
    return true;
  }
  if (c == 'Q' || c == '.') return false;
  ++Cmd.ScannerCursor;
  switch (c) {
    case 'L':
    case 'U':
      show_mode(true);
      return true;
    case 'D':
      show_mode(false);
      return true;
    case 'B':
      TrcView.Position = TrcView.Expected = TrcView.First;
      show_page();
      return true;
    case 'N': {
      i32 n = 0;
      if (!read_position(n, false) || n < TrcView.First || n >= TrcView.Count) {
        cmd_error(kMsgAddress);
        return true;
      }
      TrcView.Position = TrcView.Expected = n;
      return true;
    }
    case 'P':
      move_pages(1);
      return true;
    case 'E':
      search();
      return true;
    case '-':
      if (c1 == 'B') {
        TrcView.Position = std::max(TrcView.First, TrcView.Count - (page_rows() - 3));
        TrcView.Expected = TrcView.Position;
        show_page();
        return true;
      }
      if (c1 == 'P') ++Cmd.ScannerCursor;
      move_pages(-1);
      return true;
    default:
      cmd_error(kMsgCommandError);
      return true;
  }
}

}  // namespace

void trc_cmd_td() {
  if (Run.TraceHwLevel == 0) return cmd_error(kMsgNotOnThisModel);
  cmd_skip_blanks();
  const char c = *Cmd.ScannerCursor;
  TrcView.InstructionMode = (c == 'L' || c == 'l' || c == 'U' || c == 'u') ? 1 : 0;
  TrcView.Active = 1;
  struct Inactive {
    ~Inactive() { TrcView.Active = 0; }
  } inactive;
  if (!trc_view_range()) {
    if (Co.OnCommandSide) con_puts("\n Not sampled");
    return;
  }
  if (sample_mode())
    con_printf("\n Acq. Samples  = %6ld to %6ld", TrcView.First / kSample, (TrcView.Count - 1) / kSample);
  else
    con_printf("\n Acq. Frames  = %6ld to %6ld", TrcView.First, TrcView.Count - 1);
  for (;;) {
    con_puts("\n*");
    con_read_line();
    Cmd.AbortFlag = 0;
    if (!sub_command()) break;
    Cmd.AbortFlag = 0;
  }
}

// --- The history window ---------------------------------------------------------

namespace {

struct TextArea {
  char* text;
  std::size_t size;
  std::size_t used;
  u32 lines;
};

void history_sink(void* context, u8 c) {
  TextArea& a = *static_cast<TextArea*>(context);
  if (c == '\n') ++a.lines;
  if (a.used + 1 < a.size) a.text[a.used++] = char(c);
}

}  // namespace

u16 hist_trace_state() {
  if (Run.TraceHwLevel == 0) return 0;
  if (!(Run.ExecutionState & kExecRunning)) return 1;
  return (emu_trace_stopped() & 0x80) ? 1 : 0;
}

u32 hist_trace_range(HistoryRequest& request) {
  if (Run.TraceHwLevel == 0) return 1;
  // Without a monitor no stop of the target is ever read: the end frame kept
  // from an earlier look is stale, so the trace memory's pointers are read
  // back afresh, and positions count from hardware frame 0.
  const bool no_monitor = Sw.NoMonitorMode != 0;
  if (no_monitor) EmuCtl.TraceFrameEnd = 0xFFFFFFFF;
  if (!trc_view_range()) return 1;
  if (no_monitor) TrcView.Base = 0;
  // the count is the distance from the first valid sample to the last
  const u32 difference = u32(TrcView.Count - 1 - TrcView.First);
  request.valid_first = u32(TrcView.First);
  request.valid_last = u32(TrcView.Count - 1);
  request.valid_count = difference;
  return difference + 1;
}

void hist_read_trace_block(HistoryRequest& request) {
  request.lines = 0;
  if (request.text == nullptr || request.text_size == 0) return;
  request.text[0] = '\0';
  if (Run.TraceHwLevel == 0) return;
  TextArea area{request.text, request.text_size, 0, 0};
  const u16 saved_diversion = Scan.OutputDiversion;
  const DiversionSink saved_sink = Scan.DivertTo;
  void* const saved_context = Scan.DivertContext;
  Scan.OutputDiversion = 1;
  Scan.DivertTo = history_sink;
  Scan.DivertContext = &area;
  const u8 mode = TrcView.InstructionMode;
  TrcView.InstructionMode = (request.kind & 1) ? 1 : 0;
  if (!request.has_range) {
    trc_print_heading(false);
  } else {
    co_call_guarded([&] {
      i32 p = i32(request.first);
      const i32 last = std::min<i32>(i32(request.last), TrcView.Count - 1);
      TrcView.Expected = p;
      u32 shown = 0;
      for (; p <= last && shown < request.count; ++p, ++shown)
        if (!trc_print_frame(p, false)) break;
      request.last = u32(p - 1);
      request.count = shown;
    });
  }
  TrcView.InstructionMode = mode;
  Scan.OutputDiversion = saved_diversion;
  Scan.DivertTo = saved_sink;
  Scan.DivertContext = saved_context;
  request.text[std::min(area.used, area.size - 1)] = '\0';
  request.lines = area.lines;
}
