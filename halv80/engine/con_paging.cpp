// Paged line breaks and the paging prompt.
#include "halv80/engine/con_paging.h"

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/sup_messages.h"

constinit PagingState Paging;

namespace {

constexpr u16 kMsgPagePrompt = 25;  // "\n 中断：＾Ｃキー，継続：その他のキー"
constexpr int kPromptErase = 35;    // backspace, blank, backspace sequences that erase it

}  // namespace

u16 con_page_pause() {
  u8 key = key_poll();
  if (key != 0) {
    con_putc('\n');
  } else {
    con_puts(sup_load_message(kMsgPagePrompt));
    Con.CaretColumn = Con.Column;
    Con.CaretRow = Con.Row;
    key_wait();
    while ((key = key_poll()) == 0) key_wait();
    for (int i = 0; i < kPromptErase; ++i) con_puts("\b \b");
    key_wait();
  }
  return (key == 3 || key == 27) ? 1 : 0;
}

u16 con_line_break_paged() {
  if (Redir.Handle >= 0 || Paging.NoPages) {
    // written to a file or read by a script: no pages, but an abort key still stops it
    if (con_check_abort()) return 1;
    con_putc('\n');
    Paging.ListingStopped = 0;
    ++Paging.ListingLineCount;
    return 0;
  }
  // A window of one row would make a page of no lines: a page is at least one.
  const u16 height = Con.Bottom > Con.Top ? u16(Con.Bottom - Con.Top) : 1;
  const u16 page = height > 1 ? u16(height - 1) : 1;
  if (Paging.ListingLineCount != 0 && Paging.ListingLineCount % page == 0) {
    if (Paging.ListingStopped) return 1;
    if (con_page_pause()) {
      Scan.LastChar = '\n';
      Paging.ListingStopped = 1;
      return 1;
    }
    Paging.ListingStopped = 0;
    ++Paging.ListingLineCount;
    return 0;
  }
  con_putc('\n');
  Paging.ListingStopped = 0;
  ++Paging.ListingLineCount;
  return 0;
}
