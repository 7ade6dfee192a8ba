// M, F, S, C, PI, PO, and the value list and store of the memory edits.
#include "halv80/engine/mem_commands.h"

#include <algorithm>
#include <bit>
#include <span>
#include <string_view>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/fmt_numbers.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"

namespace {

constexpr u16 kMsgSearchNotFound = 28;  // "\n サーチ データは見つかりません"
constexpr u16 kMsgCompareStart = 29;    // "\n Ｃｏｍｐａｒｅ 開始"
constexpr u16 kMsgCompareEnd = 30;      // "\n Ｃｏｍｐａｒｅ 終了"
constexpr u16 kMsgCompareOk = 31;       // "\n Ｃｏｍｐａｒｅ ＯＫ"

constexpr u32 kAddressMax = 0xFFFF;
constexpr std::size_t kComparePiece = 1024;  // bytes of each range read at once by C
constexpr u16 kHitsPerLine = 16;             // addresses S prints on one line

// A stopped target, or message 125 and false.
bool target_stopped() {
  if ((Run.ExecutionState & kExecRunning) == 0) return true;
  cmd_error(kMsgTargetRunning);
  return false;
}

// The size kind of the command word after its `base` letters: B when it
// carries none. Left in Scan.SizeLetter.
u16 command_kind(std::size_t base) {
  const u16 kind = cmd_command_size_kind(base);
  Scan.SizeLetter = kind != 0 ? kind : 'B';
  return Scan.SizeLetter;
}

// Element bytes of M, F, S and C for a kind; 0 for the kinds they refuse.
u16 range_element_size(u16 kind) {
  switch (kind) {
    case 'D': return 4;
    case 'W': return 2;
    case 'A': case 'L': case 'S': case 'T': return 0;
    default: return 1;
  }
}

// The integer kind whose values fill elements of `size` bytes.
u16 integer_kind(u16 size) { return size == 4 ? 'D' : size == 2 ? 'W' : 'B'; }

// Reads n addresses (the first two a start and an end at or above it); false
// when one is bad.
bool read_addresses(u32* out, int n) {
  for (int i = 0; i < n; ++i) out[i] = i == 0 ? cmd_get_address() : cmd_get_address_after_comma();
  if (Cmd.AbortFlag) return false;
  for (int i = 0; i < n; ++i)
    if (out[i] > kAddressMax) return false;
  return out[1] >= out[0];
}

bool at_line_end() {
  cmd_skip_blanks();
  return *Cmd.ScannerCursor == '\0';
}

// `buffer.size()` bytes from `address` on, which must not pass 0xFFFF, read
// in block pieces.
void read_range(std::span<u8> buffer, u16 address) {
  for (std::size_t done = 0; done < buffer.size();) {
    const std::size_t piece = std::min(buffer.size() - done, kMovePiece);
    tgt_read_block(buffer.subspan(done, piece), u16(address + done));
    done += piece;
  }
}

// One value of a list: an expression, or a float literal in the kind's format.
bool read_value(u16 kind, u64& out) {
  cmd_skip_blanks();
  const char* begin = Cmd.ScannerCursor;
  switch (kind) {
    case 'S':
    case 'F': {
      double d = 0.0;
      cmd_get_float(d);
      if (Cmd.AbortFlag) return false;
      SingleBytes s{};
      const u32 bits = std::bit_cast<u32>(fmt_double_to_float(d));
      for (std::size_t i = 0; i < s.size(); ++i) s[i] = u8(bits >> (8 * i));
      if (kind == 'F') {
        SingleBytes alt{};
        fmt_alt_single(s, alt, AltSingle::FromIeee);
        s = alt;
      }
      out = u32(s[0] | s[1] << 8 | s[2] << 16 | u32(s[3]) << 24);
      return true;
    }
    case 'L':
    case 'T': {
      double d = 0.0;
      cmd_get_float(d);
      if (Cmd.AbortFlag) return false;
      if (kind == 'T') {
        out = std::bit_cast<u64>(d);
        return true;
      }
      // the double as the target keeps it (decimal under ToolchainKind 4)
      DoubleBytes b{};
      if (!fmt_parse_float(b, std::string_view(begin, std::size_t(Cmd.ScannerCursor - begin)))) return false;
      out = 0;
      for (std::size_t i = b.size(); i-- > 0;) out = out << 8 | b[i];
      return true;
    }
    default:
      out = cmd_get_expression();
      return Cmd.AbortFlag == 0;
  }
}

// '...' of at most kValueListMax characters, each one byte value; nothing
// but blanks, or a "/", may follow it.
void read_quoted_string(MemValueList& list) {
  const char* p = Cmd.ScannerCursor + 1;
  for (; *p != '\'' && *p != '\0'; ++p) {
    if (list.count == kValueListMax) break;  // a 17th character
    list.values[list.count++] = u8(*p);
  }
  if (*p != '\'' || list.count == 0) {  // too long, unclosed or empty
    Cmd.AbortFlag = 1;
    return;
  }
  Cmd.ScannerCursor = p + 1;
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor != '\0' && *Cmd.ScannerCursor != '/') Cmd.AbortFlag = 1;
}

// The 8 bits of v as "0" and "1", most significant first; a blank after the
// 4th when `split`.
void put_bits(u8 v, bool split) {
  for (int bit = 7; bit >= 0; --bit) {
    con_putc((v >> bit) & 1 ? '1' : '0');
    if (split && bit == 4) con_putc(' ');
  }
}

// One port reading: "%04x  " and the value with its bits.
void show_port(u16 port, u16 kind) {
  con_printf("%04x  ", port);
  if (kind == 'W') {
    const u16 v = tgt_read_port_word(port);
    con_printf(" %04x   ", v);
    put_bits(u8(v >> 8), false);
    con_putc(' ');
    put_bits(u8(v), false);
  } else {
    const u8 v = tgt_read_port(port);
    con_printf("  %02x    ", v);
    put_bits(v, true);
  }
}

}  // namespace

void mem_get_value_list(MemValueList& list, u16 kind) {
  list = MemValueList{};
  if (Cmd.AbortFlag) return;
  cmd_skip_blanks();
  if (kind == 'B' && *Cmd.ScannerCursor == '\'') {
    read_quoted_string(list);
    return;
  }
  for (;;) {
    u64 v = 0;
    if (list.count == kValueListMax || !read_value(kind, v)) {
      Cmd.AbortFlag = 1;
      return;
    }
    list.values[list.count++] = v;
    cmd_skip_blanks();
    if (*Cmd.ScannerCursor == '\0' || *Cmd.ScannerCursor == '/') return;
    ++Cmd.ScannerCursor;  // the separator
  }
}

u16 mem_edit_element_size(u16 kind) {
  switch (kind) {
    case 'B': return 1;
    case 'W': return 2;
    case 'D': case 'F': case 'S': return 4;
    case 'L': return 8;
    case 'T': return u16(kTempRealSize);
    default: return 0;
  }
}

bool mem_write_element(u16 address, u16 kind, u64 value) {
  switch (kind) {
    case 'W': return tgt_write_word_verify(address, u16(value));
    case 'D': case 'F': case 'S': return tgt_write_long_verify(address, u32(value));
    case 'L':
      return tgt_write_long_verify(address, u32(value)) && tgt_write_long_verify(u16(address + 4), u32(value >> 32));
    case 'T': return fmt_write_temp_real(address, std::bit_cast<double>(value));
    default: return tgt_write_byte_verify(address, u8(value));
  }
}

bool mem_store_values(u32& address, u16 kind, bool banked) {
  MemValueList list;
  mem_get_value_list(list, kind);
  const u16 size = mem_edit_element_size(kind);
  if (Cmd.AbortFlag || size == 0) {
    cmd_error(kMsgData);
    return false;
  }
  // Every element's bytes are checked before the first is written; a banked
  // element is checked where the bank window puts it.
  bool meets = false;
  if (!banked) {
    meets = tgt_range_meets_monitor(u16(address), u32(list.count) * size);
  } else {
    for (u16 i = 0; i < list.count && !meets; ++i) {
      const u16 at = tgt_bank_in(address + u32(i) * size);
      meets = tgt_range_meets_monitor(at, size);
    }
    tgt_restore_bank_map();
  }
  if (meets) cmd_fail(kMsgMonitorArea);
  bool written = true;
  for (u16 i = 0; i < list.count; ++i) {
    const u16 at = banked ? tgt_bank_in(address) : u16(address);
    if (!mem_write_element(at, kind, list.values[i])) {
      cmd_error(kMsgVerify);
      written = false;
      break;
    }
    address = banked ? address + size : u16(address + size);
  }
  if (banked) tgt_restore_bank_map();
  mem_refresh_displays();
  return written;
}

void mem_refresh_displays() {
  const u16 kind = Scan.SizeLetter;
  con_request_refresh();
  Scan.SizeLetter = kind;
}

namespace {

// M and C: start, end and a second address, nothing after them. False after
// the error is reported.
bool read_start_end_second(u32 (&a)[3]) {
  command_kind(1);
  if (read_addresses(a, 3) && at_line_end()) return true;
  cmd_error(kMsgAddress);
  return false;
}

// F and S: start, end, a separator and at least one value; the element size
// by the command word. False after the error is reported.
bool read_range_and_values(u16& size, u32 (&a)[2], MemValueList& list) {
  size = range_element_size(command_kind(1));
  if (size != 0 && read_addresses(a, 2)) {
    cmd_skip_blanks();
    // the separator before the values
    if (*Cmd.ScannerCursor != '\0') {
      ++Cmd.ScannerCursor;
      mem_get_value_list(list, integer_kind(size));
    }
  }
  if (size == 0 || Cmd.AbortFlag || list.count == 0) {
    cmd_error(kMsgAddress);
    return false;
  }
  return true;
}

}  // namespace

void mem_cmd_move() {
  if (!target_stopped()) return;
  u32 a[3] = {};
  if (!read_start_end_second(a)) return;
  const u32 count = a[1] - a[0] + 1;
  tgt_check_write_range(u16(a[2]), count);
  // a destination above the start could overrun the bytes still to be read:
  // copy from the top down
  emu_block_move(u16(a[2]), u16(a[0]), count, a[2] > a[0]);
  mem_refresh_displays();
}

void mem_cmd_fill() {
  if (!target_stopped()) return;
  u16 size = 0;
  u32 a[2] = {};
  MemValueList list;
  if (!read_range_and_values(size, a, list)) return;
  const u32 count = a[1] - a[0] + 1;
  if (list.count == 1 && size <= 2) {
    tgt_check_write_range(u16(a[0]), count);
    emu_block_fill(u16(a[0]), count, u16(list.values[0]), size == 2);
    return;
  }
  // the values in turn; the last element goes whole, even past the end, and
  // is checked with the range
  tgt_check_write_range(u16(a[0]), (count + size - 1) / size * size);
  u16 i = 0;
  for (u32 at = a[0]; at <= a[1]; at += size) {
    if (!mem_write_element(u16(at), integer_kind(size), list.values[i])) {
      cmd_error(kMsgVerify);
      return;
    }
    i = u16((i + 1) % list.count);
  }
}

void mem_cmd_search() {
  if (!target_stopped()) return;
  u16 size = 0;
  u32 a[2] = {};
  MemValueList list;
  if (!read_range_and_values(size, a, list)) return;
  // the values masked to the element size, as bytes in memory order
  std::vector<u8> pattern;
  for (u16 i = 0; i < list.count; ++i)
    for (u16 b = 0; b < size; ++b) pattern.push_back(u8(list.values[i] >> (8 * b)));
  const u32 count = a[1] - a[0] + 1;
  std::vector<u8> memory(count);
  read_range(memory, u16(a[0]));
  u16 hits = 0;
  // a match lies wholly inside the range
  for (u32 pos = 0; pos + pattern.size() <= count;) {
    if (key_poll() != 0) break;
    if (!std::equal(pattern.begin(), pattern.end(), memory.begin() + pos)) {
      ++pos;
      continue;
    }
    if (hits % kHitsPerLine == 0) con_putc('\n');
    con_printf("%04x ", a[0] + pos);
    ++hits;
    pos += u32(pattern.size());
  }
  if (hits == 0) cmd_message(kMsgSearchNotFound);
}

void mem_cmd_compare() {
  if (!target_stopped()) return;
  u32 a[3] = {};
  if (!read_start_end_second(a)) return;
  cmd_message(kMsgCompareStart);
  const u32 count = a[1] - a[0] + 1;
  std::array<u8, kComparePiece> first{};
  std::array<u8, kComparePiece> second{};
  bool differs = false;
  bool stopped = false;
  for (u32 done = 0; done < count && !stopped;) {
    const u16 at = u16(a[2] + done);
    // neither range's piece passes 0xFFFF (the first never does)
    const std::size_t piece = std::min<std::size_t>({kComparePiece, count - done, kLogicalSpace - at});
    tgt_read_block(std::span<u8>(first).first(piece), u16(a[0] + done));
    tgt_read_block(std::span<u8>(second).first(piece), at);
    for (std::size_t i = 0; i < piece && !stopped; ++i) {
      if (first[i] == second[i]) continue;
      differs = true;
      con_printf("\n%04x  %02x  %02x  %04x ", a[0] + done + i, first[i], second[i], u16(at + i));
      stopped = key_poll() != 0;
    }
    done += u32(piece);
    if (!stopped) stopped = key_poll() != 0;
  }
  // OK only for ranges compared to their ends
  cmd_message(differs || stopped ? kMsgCompareEnd : kMsgCompareOk);
}

void mem_cmd_port_in() {
  if (!target_stopped()) return;
  const u16 kind = command_kind(2);
  const u32 port = cmd_get_address();
  u32 last = port;
  bool repeat = false;
  bool new_lines = false;
  bool bad = kind != 'B' && kind != 'W';
  cmd_skip_blanks();
  if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    cmd_skip_blanks();
    if (cmd_match_keyword("/C") == 0) {
      repeat = true;
      cmd_skip_blanks();
      if (*Cmd.ScannerCursor == ',') {
        ++Cmd.ScannerCursor;
        cmd_skip_blanks();
        new_lines = cmd_match_keyword("/S") == 0;
        bad = bad || !new_lines;
      }
    } else {
      last = cmd_get_address();
    }
  }
  if (bad || Cmd.AbortFlag || !at_line_end() || port > kAddressMax || last > kAddressMax || last < port) {
    cmd_error(kMsgAddress);
    return;
  }
  con_puts("\naddr : data : bit data\n");
  if (!repeat) {
    const u32 step = kind == 'W' ? 2 : 1;
    for (u32 p = port; p <= last; p += step) {
      if (p != port) con_putc('\n');
      show_port(u16(p), kind);
    }
    return;
  }
  // Until a key: each reading on a line of its own (/S), or over the one
  // before; those go to window context 1, so that the command pane's log
  // keeps only the first.
  for (bool first = true;; first = false) {
    show_port(u16(port), kind);
    con_putc(new_lines ? '\n' : '\r');
    if (first && !new_lines) con_switch_window(Con.Window, kSlotCode);
    if (key_poll() != 0) break;
  }
  con_reset_window();
}

void mem_cmd_port_out() {
  if (!target_stopped()) return;
  const u16 kind = command_kind(2);
  const u32 port = cmd_get_address();
  const u32 value = cmd_get_value_after_comma();
  bool repeat = false;
  u32 delay_ms = 1;
  bool bad = false;
  cmd_skip_blanks();
  if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    cmd_skip_blanks();
    repeat = cmd_match_keyword("/C") == 0;
    bad = !repeat;
    cmd_skip_blanks();
    if (repeat && *Cmd.ScannerCursor == ',') {
      ++Cmd.ScannerCursor;
      delay_ms = cmd_get_number_decimal();
    }
  }
  if (kind != 'B' && kind != 'W') {
    cmd_error(kMsgAddress);
    return;
  }
  if (bad || Cmd.AbortFlag || !at_line_end() || port > kAddressMax) {
    cmd_error(kMsgData);
    return;
  }
  for (;;) {
    if (kind == 'W')
      tgt_write_port_word(u16(port), u16(value));
    else
      tgt_write_port(u16(port), u8(value));
    if (!repeat) return;
    // the delay in 1 ms steps, a key ending it after any of them
    u32 ms = 0;
    do {
      if (ms < delay_ms) sup_sleep(1);
      if (key_poll() != 0) return;
    } while (++ms < delay_ms);
  }
}
