// The command-line editor: typed characters are echoed and collected, a
// backspace takes back one character (both bytes of a Shift-JIS pair), CR
// accepts the line.
#include "halv80/engine/con_editor.h"

#include "halv80/engine/con_scanner.h"
#include "halv80/engine/key_input.h"
#include "platform/host/host_text.h"

namespace {

// Length of the last character of buf[0..end): 2 for a Shift-JIS pair.
std::size_t last_char_length(const char* buf, std::size_t end) {
  std::size_t i = 0, last = 0;
  while (i < end) {
    last = (host_cp932_lead(u8(buf[i])) && i + 1 < end) ? 2 : 1;
    i += last;
  }
  return last;
}

}  // namespace

u16 con_edit_line(char* buf, u16 max, u16) {
  if (max > kEditBufferSize - 1) max = kEditBufferSize - 1;
  std::size_t end = 0;
  buf[0] = '\0';
  for (;;) {
    const u8 c = con_wait_key();
    if (c == 13) break;
    if (c == 8) {
      if (end == 0) continue;
      for (std::size_t n = last_char_length(buf, end); n > 0; --n) {
        --end;
        con_putc(8);
      }
      buf[end] = '\0';
      continue;
    }
    if (c != 9 && c < 0x20) continue;  // other control characters are ignored
    buf[end++] = char(c);
    buf[end] = '\0';
    con_putc(c);
    if (end >= max) break;  // a full line is accepted at once
  }
  return 1;
}

void con_read_command_line(char* buf) {
  Keys.BindingMode = 1;
  while (con_edit_line(buf, 1023, 0x80) != 1) {
  }
  Keys.BindingMode = 0;
}
