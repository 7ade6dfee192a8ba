// D and E, and the memory window's rows.
#include "halv80/engine/mem_dump.h"

#include <algorithm>
#include <array>
#include <bit>
#include <iterator>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/fmt_numbers.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/mem_commands.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "platform/host/host_text.h"

constinit MemState Mem;

namespace {


constexpr u32 kLogicalMax = 0xFFFF;
constexpr u32 kBankedMax = 0xFFFFFFFF;
constexpr u16 kLinesElsewhere = 8;  // lines of a D without an end outside the command pane
constexpr std::size_t kLineBytesMax = std::size_t(kDumpItemsMax) * 4;  // also kDumpCharactersMax
static_assert(kLineBytesMax >= kDumpCharactersMax && kLineBytesMax >= kTempRealSize);

// Indexed by radix + column (column 0 byte, 1 word, 2 double word).
constexpr const char* kFormats[] = {
    "%02lx ", "%04lx ", "%04x:%04x ",  // hex: a double word as its high and low halves
    "%4ld ",  "%6ld ",  "%11ld ",      // decimal, signed
    "%03lo ", "%06lo ", "%011lo ",     // octal
};
constexpr u16 kFieldWidths[] = {2, 4, 9, 4, 6, 11, 3, 6, 11};
constexpr u16 kItemsPerLine[] = {16, 8, 4, 8, 4, 4, 8, 4, 4};
static_assert(std::size(kFormats) == kDumpOctal + 3 && std::size(kFieldWidths) == std::size(kFormats) &&
              std::size(kItemsPerLine) == std::size(kFormats));

// How one display lays its lines out.
struct DumpLayout {
  u16 kind = 'B';
  u16 radix = kDumpHex;
  const char* format = nullptr;  // B, W, D only
  u16 items = 0;                 // on a line
  u16 size = 1;                  // bytes of an item
  u16 width = 0;                 // columns of an item, for the window side
};

enum class LineForm : u8 {
  Command,  // "\n%04x "
  Banked,   // "\n%08lx ", the bank window mapped over the address
  Window,   // "%04x ", no line break
};

// The table column of an integer kind; -1 for the others.
int integer_column(u16 kind) { return kind == 'B' ? 0 : kind == 'W' ? 1 : kind == 'D' ? 2 : -1; }

bool is_float_kind(u16 kind) { return kind == 'F' || kind == 'S' || kind == 'L' || kind == 'T'; }

// The layout of kind and radix with `items` per line (0: the kind's
// default); false for an unknown kind or too many (or no) items.
bool make_layout(DumpLayout& l, u16 kind, u16 radix, u32 items) {
  l = DumpLayout{kind, radix};
  if (kind == 'A') {
    l.items = u16(items != 0 ? std::min<u32>(items, kDumpCharactersMax + 1) : 32);
    l.width = 1;
    return l.items <= kDumpCharactersMax;
  }
  if (const int column = integer_column(kind); column >= 0) {
    const int row = radix + column;
    l.format = kFormats[row];
    l.width = kFieldWidths[row];
    l.size = u16(1u << column);
    l.items = u16(items != 0 ? std::min<u32>(items, kDumpItemsMax + 1) : kItemsPerLine[row]);
    return l.items <= kDumpItemsMax;
  }
  // the float kinds: one item a line
  switch (kind) {
    case 'F': case 'S': l.size = 4; l.width = 13; break;
    case 'L': l.size = 8; l.width = 23; break;
    case 'T': l.size = u16(kTempRealSize); l.width = 23; break;
    default: return false;
  }
  l.items = 1;
  return true;
}

u32 load_le(const u8* p, std::size_t n) {
  u32 v = 0;
  for (std::size_t i = std::min<std::size_t>(n, 4); i-- > 0;) v = v << 8 | p[i];
  return v;
}

// Target bytes from logical `address` on; past 0xFFFF they come from 0.
void read_bytes(std::span<u8> out, u16 address) {
  const std::size_t first = std::min<std::size_t>(out.size(), kLogicalSpace - address);
  tgt_read_block(out.first(first), address);
  if (first < out.size()) tgt_read_block(out.subspan(first), 0);
}

// The text of a float element from its bytes (4, 8 or 10 of them).
std::string float_text(u16 kind, std::span<const u8> b) {
  switch (kind) {
    case 'F':
    case 'S': {
      SingleBytes s{};
      std::copy_n(b.begin(), s.size(), s.begin());
      if (kind == 'F') {
        SingleBytes ieee{};
        fmt_alt_single(s, ieee, AltSingle::ToIeee);
        s = ieee;
      }
      const float f = std::bit_cast<float>(load_le(s.data(), s.size()));
      return fmt_double_text(fmt_float_to_double(f), kShortDigits);
    }
    case 'L': {
      DoubleBytes d{};
      std::copy_n(b.begin(), d.size(), d.begin());
      return fmt_float_text(d, kLongDigits);
    }
    default: {
      TempReal t{};
      std::copy_n(b.begin(), t.size(), t.begin());
      return fmt_temp_real_text(t, kLongDigits);
    }
  }
}

// One line of the display at `address`; the command forms start with a line
// break unless line_break is false.
void dump_line(const DumpLayout& l, u32 address, LineForm form, bool line_break = true) {
  u16 logical = u16(address);
  if (form != LineForm::Window && line_break) con_putc('\n');
  switch (form) {
    case LineForm::Banked:
      logical = tgt_bank_in(address);
      con_printf("%08lx ", address);
      break;
    case LineForm::Command:
    case LineForm::Window: con_printf("%04x ", address); break;
  }
  con_putc(' ');
  std::array<u8, kLineBytesMax> bytes{};
  const auto line = std::span<u8>(bytes).first(std::size_t(l.items) * l.size);
  read_bytes(line, logical);
  if (form == LineForm::Banked) tgt_restore_bank_map();
  PrintableColumn column;
  if (l.kind == 'A') {
    for (const u8 b : line) fmt_printable(column, b);
    con_puts(column.text);
    return;
  }
  if (is_float_kind(l.kind)) {
    con_puts(float_text(l.kind, line));
    con_putc(' ');
    for (const u8 b : line) con_printf("%02x ", b);
    return;
  }
  for (u16 i = 0; i < l.items; ++i) {
    const u8* p = &line[std::size_t(i) * l.size];
    const u32 v = load_le(p, l.size);
    if (l.radix == kDumpDecimal) {
      // signed, from the element's own width
      const i32 s = l.size == 1 ? i32(i8(v)) : l.size == 2 ? i32(i16(v)) : i32(v);
      con_printf(l.format, s);
    } else if (l.size == 4 && l.radix == kDumpHex) {
      con_printf(l.format, v >> 16, v & 0xFFFF);
    } else {
      con_printf(l.format, v);
    }
    for (u16 b = 0; b < l.size; ++b) fmt_printable(column, p[b]);
    // a gap between the two halves of an even count
    if (l.items % 2 == 0 && i + 1 == l.items / 2) con_putc(' ');
  }
  con_puts(column.text);
}

// An address operand: 16-bit (one above 0xFFFF is refused), or any 32 bits
// when banked.
u32 read_address(bool banked, bool& bad) {
  if (banked) return cmd_get_expression();
  const u32 v = cmd_get_address();
  if (Cmd.AbortFlag) bad = true;
  return v;
}

bool at_line_end() {
  cmd_skip_blanks();
  return *Cmd.ScannerCursor == '\0';
}

// One element of E as it stands: its value, and its characters for the
// integer kinds.
void show_element(u16 address, u16 kind) {
  std::array<u8, kTempRealSize> bytes{};
  const auto element = std::span<u8>(bytes).first(mem_edit_element_size(kind));
  read_bytes(element, address);
  const u32 v = load_le(element.data(), element.size());
  switch (kind) {
    case 'B': con_printf("'%1s' %03lo %4ld %02lx", fmt_printable_byte(u8(v)), v, i8(v), v); break;
    case 'W': con_printf("'%2s' %06lo %6ld %04lx", fmt_printable_word(u16(v)), v, i16(v), v); break;
    case 'D': con_printf("'%4s' %011lo %11ld %08lx", fmt_printable_long(v), v, v, v); break;
    default: con_puts(float_text(kind, element)); break;
  }
}

std::string_view edit_heading(u16 kind) {
  switch (kind) {
    case 'B': return "asc oct  dec hex data";
    case 'W': return " asc   oct    dec  hex   data";
    case 'D': return "  asc      oct         dec       hex       data";
    case 'F': case 'S': return "       float            data";
    default: return "             float                data";
  }
}

// Nothing but blanks from p on.
bool blanks_only(const char* p) { return *sup_skip_blanks(p) == '\0'; }

// Ends a capture on every way out, an unwind too.
struct CaptureEnd {
  ~CaptureEnd() { con_capture_end(); }
};

}  // namespace

void mem_reset() { Mem = MemState{}; }

void mem_cmd_dump() {
  const u16 letter = cmd_command_size_kind(1);
  bool chosen = letter != 0;  // the command word names the kind
  u16 kind = chosen ? letter : Mem.DumpKind;
  u16 banked = chosen ? 0 : Mem.DumpBanked;
  if (host_ascii_upper(*Cmd.ScannerCursor) == 'A') {
    ++Cmd.ScannerCursor;
    kind = 'A';
    chosen = true;
    banked = 0;
    if (host_ascii_upper(*Cmd.ScannerCursor) == 'A') {
      ++Cmd.ScannerCursor;
      banked = 1;
    }
  }
  const u32 limit = banked ? kBankedMax : kLogicalMax;

  bool bad = false;
  u32 start = Mem.DumpNext & limit;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor != '\0' && *Cmd.ScannerCursor != ',') start = read_address(banked, bad);
  u32 end = 0;
  bool has_end = false;
  u32 items = 0;
  bool items_given = false;
  u16 radix = Mem.DumpRadix;
  bool radix_given = false;
  // ",end" ",items" ",/option"; an empty field is skipped
  for (int field = 1; !bad && !Cmd.AbortFlag && !at_line_end(); ++field) {
    if (*Cmd.ScannerCursor != ',') {
      bad = true;
      break;
    }
    ++Cmd.ScannerCursor;
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == '/') {
      switch (host_ascii_upper(Cmd.ScannerCursor[1])) {
        case 'H': radix = kDumpHex; break;
        case 'D': radix = kDumpDecimal; break;
        case 'O': radix = kDumpOctal; break;
        default: bad = true; break;
      }
      radix_given = true;
      Cmd.ScannerCursor += bad ? 1 : 2;
      bad = bad || !at_line_end();
      break;
    }
    if (*Cmd.ScannerCursor == ',' || *Cmd.ScannerCursor == '\0') continue;
    if (field == 1) {
      end = read_address(banked, bad);
      has_end = true;
    } else if (field == 2) {
      items = cmd_get_number_decimal();
      items_given = true;
    } else {
      bad = true;
    }
  }
  // A plain continuation keeps the line length too.
  if (!items_given && !chosen && !radix_given) items = Mem.DumpItems;
  DumpLayout l;
  if (bad || Cmd.AbortFlag || (has_end && end < start) || (items_given && items == 0) ||
      !make_layout(l, kind, radix, items)) {
    cmd_error(kMsgAddress);
    return;
  }

  const u64 step = u64(l.items) * l.size;
  // Without an end: one line in the command pane, else a screenful.
  const u64 lines = Con.Window == kSlotCommand ? 1 : kLinesElsewhere;
  const u64 last = has_end ? end : std::min<u64>(start + step * lines - 1, limit);
  u64 at = start;
  while (at <= last) {
    dump_line(l, u32(at), banked ? LineForm::Banked : LineForm::Command);
    at += step;
    if (key_poll() != 0) break;
  }
  Mem.DumpNext = u32(at & limit);
  Mem.DumpRadix = radix;
  Mem.DumpFormat = l.format;
  Mem.DumpItems = l.items;
  Mem.DumpKind = kind;
  Mem.DumpBanked = banked;
  Mem.DumpContinues = 1;
}

void mem_dump_next_line(u16 line_break) {
  DumpLayout l;
  if (!make_layout(l, Mem.DumpKind, Mem.DumpRadix, Mem.DumpItems)) return;
  const u32 limit = Mem.DumpBanked ? kBankedMax : kLogicalMax;
  const u32 at = Mem.DumpNext & limit;
  dump_line(l, at, Mem.DumpBanked ? LineForm::Banked : LineForm::Command, line_break != 0);
  Mem.DumpNext = u32((u64(at) + u64(l.items) * l.size) & limit);
}

void mem_cmd_edit() {
  // a running target is paused and resumed around each write
  const u16 letter = cmd_command_size_kind(1);
  const u16 kind = letter != 0 ? letter : 'B';
  Scan.SizeLetter = kind;
  bool banked = false;
  if (host_ascii_upper(*Cmd.ScannerCursor) == 'A') {
    ++Cmd.ScannerCursor;
    banked = true;
  }
  bool bad = false;
  u32 address = banked ? Mem.EditNext : (Mem.EditNext & kLogicalMax);
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor != '\0' && *Cmd.ScannerCursor != ',') address = read_address(banked, bad);
  cmd_skip_blanks();
  if (bad || Cmd.AbortFlag || (*Cmd.ScannerCursor != '\0' && *Cmd.ScannerCursor != ',')) {
    cmd_error(kMsgAddress);
    return;
  }
  // a value list: stored at once
  if (*Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    if (mem_store_values(address, kind, banked)) Mem.EditNext = address;
    return;
  }

  const u16 size = mem_edit_element_size(kind);
  // the next or the previous element; 16-bit addresses wrap at 64 KiB
  const auto step = [&](u32 a, int direction) {
    const u32 moved = a + u32(direction) * size;
    return banked ? moved : (moved & kLogicalMax);
  };
  con_puts("\naddr ");
  con_puts(edit_heading(kind));
  for (;;) {
    Mem.EditNext = address;
    const u16 at = banked ? tgt_bank_in(address) : u16(address);
    if (banked)
      con_printf("\n%08lx ", address);
    else
      con_printf("\n%04x ", address);
    show_element(at, kind);
    if (banked) tgt_restore_bank_map();
    con_puts("  ");
    con_read_line();
    cmd_skip_blanks();
    const char c = *Cmd.ScannerCursor;
    if (c == '\0') {
      address = step(address, 1);
    } else if (c == '.' && blanks_only(Cmd.ScannerCursor + 1)) {
      break;
    } else if (c == '-' && blanks_only(Cmd.ScannerCursor + 1)) {
      address = step(address, -1);
    } else if (c == '/') {
      // another address; a bad one is reported and the edit stays
      ++Cmd.ScannerCursor;
      bool wrong = false;
      const u32 to = read_address(banked, wrong);
      if (wrong || Cmd.AbortFlag || !at_line_end()) {
        cmd_error(kMsgAddress);
        Cmd.AbortFlag = 0;
      } else {
        address = to;
      }
    } else if (!mem_store_values(address, kind, banked)) {
      Cmd.AbortFlag = 0;  // reported; the edit goes on
    }
  }
  Mem.EditNext = address;
}

void mem_dump_lines(u32 start, u32 end, u16 size) {
  const u16 kind = size == 4 ? 'D' : size == 2 ? 'W' : 'B';
  if (size != 2 && size != 4) size = 1;
  const u32 span = end > start ? end - start : size;
  const u32 items = std::min<u32>(span / size + (span % size != 0 ? 1 : 0), kDumpItemsMax);
  DumpLayout l;
  if (!make_layout(l, kind, kDumpHex, items)) return;
  dump_line(l, start & kLogicalMax, LineForm::Window);
}

std::size_t mem_dump_window_lines(u32 address, u16 kind, u16 radix, u16 items, std::span<std::string> rows) {
  std::size_t made = 0;
  co_call_guarded([&] {
    if (radix != kDumpDecimal && radix != kDumpOctal) radix = kDumpHex;
    DumpLayout l;
    if (!make_layout(l, kind, radix, items)) {
      cmd_error(kMsgAddress);
      return;
    }
    Mem.WindowStart = address & kLogicalMax;
    Mem.WindowRadix = radix;
    Mem.WindowFormat = l.format;
    Mem.WindowItems = l.items;
    Mem.WindowKind = kind;
    Mem.WindowFieldWidth = l.width;
    u16 at = u16(address);
    for (std::string& row : rows) {
      char text[kScreenColumns]{};
      {
        const CaptureEnd end;
        con_capture_begin(text);
        dump_line(l, at, LineForm::Window);
      }
      row = text;
      ++made;
      at = u16(at + u32(l.items) * l.size);
    }
  });
  return made;
}
