// PRINTF and the screen words HOME, LOCATE and CLS.
#include "halv80/engine/mac_words.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tgt_memory.h"

namespace {

constexpr int kPrintfValues = 10;

// The value of a number operand (decimal default); AbortFlag on an error.
u32 decimal_operand(const char* text) {
  if (Cmd.AbortFlag) return 0;
  cmd_set_command_line(text);
  return cmd_get_number_decimal();
}

}  // namespace

u8 mac_read_target_byte(u32 address) { return tgt_read_byte(u16(address)); }

void mac_translate_escapes(const char* format, char* out) {
  std::size_t n = 0;
  const std::size_t limit = kLineBufferSize - 1;
  for (const char* p = format; *p != '\0' && n < limit;) {
    if (*p != '\\' || p[1] == '\0') {
      out[n++] = *p++;
      continue;
    }
    ++p;
    const char c = *p;
    if (c >= '0' && c <= '7') {
      unsigned v = 0;
      for (int digits = 0; digits < 3 && *p >= '0' && *p <= '7'; ++digits) v = v * 8 + unsigned(*p++ - '0');
      out[n++] = char(u8(v));
      continue;
    }
    ++p;
    switch (c) {
      case 'b': out[n++] = 8; break;
      case 'n': out[n++] = 10; break;
      case 'r': out[n++] = 13; break;
      case 't': out[n++] = 9; break;
      default: out[n++] = c; break;
    }
  }
  out[n] = '\0';
}

void macro_printf() {
  if (Mac.Echo) con_putc('\n');
  FmtArg values[kPrintfValues];
  const int count = std::min(Mac.FieldCount - 1, kPrintfValues);
  for (int i = 0; i < count; ++i) {
    cmd_set_command_line(Mac.Fields[i + 1]);
    values[i] = FmtArg(u16(cmd_get_expression()));
    if (Cmd.AbortFlag) return;
  }
  // the format, without one leading and one trailing "'"
  char format[kLineBufferSize];
  const char* start = Mac.WordOperand;
  while (*start != '\0' && u8(*start) <= 0x20) ++start;
  if (*start == '\0') {
    Cmd.AbortFlag = 1;
    return;
  }
  std::size_t length = std::strlen(start);
  if (*start == '\'') {
    ++start;
    --length;
  }
  if (length > 0 && start[length - 1] == '\'') --length;
  char raw[kLineBufferSize];
  std::memcpy(raw, start, length);
  raw[length] = '\0';
  mac_translate_escapes(raw, format);
  // "%s" takes its string from the target, never from the host
  Fmt.TargetStrings = 1;
  con_vprintf(format, std::span<const FmtArg>(values, std::size_t(std::max(count, 0))));
  Fmt.TargetStrings = 0;
}

void mac_word_home() { con_set_cursor(0, Con.Top); }

void mac_word_locate() {
  const u32 x = decimal_operand(Mac.WordOperand);
  const u32 y = decimal_operand(Mac.FieldCount > 1 ? Mac.Fields[1] : "");
  // both must be valid and inside the window
  const bool valid = !Cmd.AbortFlag && Mac.FieldCount > 1 && x < Con.Width && y < u32(Con.Bottom - Con.Top);
  Cmd.AbortFlag = 0;
  if (!valid) return;
  con_set_cursor(u16(x), u16(Con.Top + y));
  Mac.SuppressEchoReturn = 1;
}

void mac_word_cls() {
  if (Con.Screen && Con.Bottom > Con.Top) {
    const u16 last = std::min<u16>(u16(Con.Bottom - 1), kScreenRows);
    for (u16 row = Con.Top; row < last; ++row) {
      u8* cells = &Con.Screen[std::size_t(row) * kScreenRowBytes];
      for (u16 c = 0; c < kScreenColumns; ++c) {
        cells[c * 2] = ' ';
        cells[c * 2 + 1] = kAttrNormal;
      }
    }
    if (last > Con.Top) lst_mark_dirty(0, Con.Top, kScreenColumns - 1, u16(last - 1));
  }
  con_set_cursor(0, Con.Top);
}
