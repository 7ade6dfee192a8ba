// Moves over the code listing: the view actions of the code pane (line and
// page up and down, to the start and to the end) in assembly and source rows,
// the cursor moves along a source line (character, word, line start and end)
// with the horizontal scroll that follows the cursor, and the name of the
// scope at the cursor row. The cursor keeps its screen row in the pane; a
// line move at the pane's edge scrolls the listing by one row instead.
#include <algorithm>
#include <cstring>
#include <string_view>

#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/lst_words.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"

namespace {

constexpr u16 kOffsetStep = 5;    // the horizontal scroll moves by this many text columns
constexpr u16 kCursorTrail = 6;   // the cursor stays left of the last visible column
// Narrower than this, a scroll to the right could leave the cursor left of the text.
constexpr u16 kNarrowestView = kSourceMarginCells + kCursorTrail;
constexpr u16 kLastLine = 0xFFFF;

// The code pane shows rows that a move can act on (never during an overlay).
bool pane_movable() {
  if (Con.Window == kSlotOverlay) return false;
  if (Lst.PaneShows != kListingAssembly && Lst.PaneShows != kListingSource) return false;
  return lst_pane_top() < lst_pane_bottom();
}

bool source_rows() { return Lst.PaneShows == kListingSource; }

// The cursor row, placed on the pane's top row when it lies outside the pane.
u16 cursor_row() {
  if (Lst.CursorRow < lst_pane_top() || Lst.CursorRow >= lst_pane_bottom()) Lst.CursorRow = lst_pane_top();
  return Lst.CursorRow;
}

u16 row_line(u16 row) { return u16(Lst.RowKey[row] & 0xFFFF); }

// --- Source lines --------------------------------------------------------------

// Line n of the shown file into SymSource.Text; false when the file has no such line.
bool fetch_line(u16 n) {
  if (n == 0 || Lst.SourceFile[0] == '\0') return false;
  const u16 mode = SymSource.OutputMode;
  SymSource.OutputMode = kSourceToText;
  const u16 got = sym_show_source_line(Lst.SourceFile, n);
  SymSource.OutputMode = mode;
  // The reader delivers the empty text after the last line end once; the line
  // count it has then seen says that it is no line.
  return got != 0 && (SymSource.EndLine == kSourceEndUnknown || n <= SymSource.EndLine);
}

std::string_view read_text(u16 n) {
  if (!fetch_line(n)) return {};
  return {SymSource.Text, strnlen(SymSource.Text, sizeof SymSource.Text)};
}

// The shown file's last line: the module's line count, moved to the last line
// the source text really has (1 for a file without lines).
u16 last_source_line() {
  u16 n = std::max<u16>(Lst.LineCount, 1);
  if (fetch_line(n)) {
    while (n < kLastLine && fetch_line(u16(n + 1))) ++n;  // read on in order: no seek
    return n;
  }
  // past the end: the reader has met it and knows the count
  if (SymSource.EndLine != kSourceEndUnknown && SymSource.EndLine < n) n = std::max<u16>(SymSource.EndLine, 1);
  while (n > 1 && !fetch_line(n)) --n;
  return n;
}

// Characters of the cursor row's line (tabs expanded); 0 when it has none.
int cursor_line_length() { return int(read_text(row_line(cursor_row())).size()); }

// The character at screen column `requested` of the cursor row's line; 0
// past its end.
u8 char_at(u16 requested) {
  const std::string_view text = read_text(row_line(cursor_row()));
  const std::size_t i = std::size_t(requested - kSourceMarginCells);
  return requested >= kSourceMarginCells && i < text.size() ? u8(text[i]) : 0;
}

// --- One-row scrolls -----------------------------------------------------------

// The row tables follow a one-row scroll of the pane. Up: the rows move up and
// the seed becomes the old top row's kind; down: they move down (the caller
// sets the new top row and its seed). The found row moves with its cells.
void shift_rows(bool up) {
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  if (up) {
    lst_set_seed(Lst.RowKind[top]);
    for (u16 r = top; r + 1 < bottom; ++r) {
      Lst.RowKey[r] = Lst.RowKey[r + 1];
      Lst.RowNext[r] = Lst.RowNext[r + 1];
      Lst.RowKind[r] = Lst.RowKind[r + 1];
    }
  } else {
    for (u16 r = u16(bottom - 1); r > top; --r) {
      Lst.RowKey[r] = Lst.RowKey[r - 1];
      Lst.RowNext[r] = Lst.RowNext[r - 1];
      Lst.RowKind[r] = Lst.RowKind[r - 1];
    }
  }
  if (Lst.FoundRow < top || Lst.FoundRow >= bottom) return;
  const bool leaves = up ? Lst.FoundRow == top : Lst.FoundRow + 1u == bottom;  // scrolled out of the pane?
  Lst.FoundRow = leaves ? kNoRow : up ? u16(Lst.FoundRow - 1) : u16(Lst.FoundRow + 1);
}

// The row below the pane comes in at its bottom; false at the end of the
// listing (an instruction that runs past FFFF, or the file's last line).
bool scroll_on() {
  const u16 last = u16(lst_pane_bottom() - 1);
  u32 key = 0;
  if (source_rows()) {
    const u16 line = row_line(last);
    if (line == kLastLine || !fetch_line(u16(line + 1))) return false;
    key = u32(line) + 1;
  } else {
    // the next address was cut to 16 bits: the instruction wrapped past FFFF
    if (Lst.RowKind[last] == kRowInstruction && Lst.RowNext[last] <= Lst.RowKey[last]) return false;
    key = Lst.RowNext[last];
  }
  lst_scroll_pane(0);
  shift_rows(true);
  Lst.RowKey[last] = key;
  if (source_rows())
    lst_source_row(last);
  else
    lst_generate_row(last);
  return true;
}

// The row above the pane comes in at its top; false at line 1, or when no
// row lies above the top row (address 0).
bool scroll_back() {
  const u16 top = lst_pane_top();
  u32 key = 0;
  u8 seed = kRowInstruction;
  if (source_rows()) {
    const u16 line = row_line(top);
    if (line <= 1) return false;
    key = u32(line) - 1;
  } else {
    const u32 address = Lst.RowKey[top];
    const u8 old_seed = lst_seed();
    const u32 listing = Lst.ListingAddress;
    seed = lst_rows_back(1);
    key = Lst.ListingAddress;
    if (key == address && seed == old_seed) {  // the same row again: nothing above it
      Lst.ListingAddress = listing;
      return false;
    }
  }
  lst_scroll_pane(1);
  shift_rows(false);
  Lst.RowKey[top] = key;
  if (source_rows()) {
    lst_source_row(top);
  } else {
    lst_set_seed(seed);
    lst_generate_row(top);
  }
  return true;
}

// After a move of assembly rows U goes on after the pane's last row.
void listing_after_pane() {
  if (!source_rows()) Lst.ListingAddress = u16(Lst.RowNext[lst_pane_bottom() - 1]);
}

// One row up or down: the cursor moves within the pane, and at its edge the
// listing scrolls under it. 1 when the cursor row shows another row.
u16 move_vertical(bool down) {
  if (!pane_movable()) return 0;
  LstPaneScope pane;
  lst_cursor_mark_hide();
  const u16 top = lst_pane_top();
  const u16 bottom = lst_pane_bottom();
  const u16 row = cursor_row();
  bool moved = false;
  bool scrolled = false;
  if (down && row + 1u < bottom) {
    // a source row past the file's end holds no line to move to
    moved = !source_rows() || fetch_line(row_line(u16(row + 1)));
    if (moved) ++Lst.CursorRow;
  } else if (!down && row > top) {
    moved = true;
    --Lst.CursorRow;
  } else {
    moved = scrolled = down ? scroll_on() : scroll_back();
  }
  lst_cursor_mark_show();
  if (!moved) return 0;
  if (scrolled) {
    listing_after_pane();
    lst_thumb_position();
  }
  lst_show_cursor_scope();
  return 1;
}

// --- Pages ---------------------------------------------------------------------

// An assembly page from ListingAddress with `seed` above it; U goes on after it.
void assembly_page(u8 seed) {
  lst_redraw_from(seed);
  listing_after_pane();
}

// An instruction of the pane ran past FFFF before its last row.
bool page_wraps_early() {
  const u16 last = u16(lst_pane_bottom() - 1);
  for (u16 r = lst_pane_top(); r < last; ++r)
    if (Lst.RowKind[r] == kRowInstruction && Lst.RowNext[r] <= Lst.RowKey[r]) return true;
  return false;
}

// The page whose last row is the instruction at FFFF.
void assembly_end_page() {
  const u16 top = lst_pane_top();
  const u16 rows = u16(lst_pane_bottom() - top);
  // the backward scroll counts from the top row: let it be that instruction
  Lst.RowKey[top] = kLastLine;
  Lst.RowKind[top] = kRowInstruction;
  assembly_page(lst_rows_back(u16(rows - 1)));
}

// A source page from `line` (the shown file, columns kept).
void source_page(u16 line) {
  char file[kModuleNameSize];
  std::memcpy(file, Lst.SourceFile, sizeof file);
  file[sizeof file - 1] = '\0';
  lst_source_page(file, line, false);
}

// The top line of the last source page: the one that ends with the file's last line.
u16 source_end_top() {
  const u16 rows = u16(lst_pane_bottom() - lst_pane_top());
  const u16 last = last_source_line();
  return last > rows ? u16(last - rows + 1) : 1;
}

// What a page move leaves: the thumb (posted by the page), the scope at the
// cursor row and, in source rows, the cursor column on its new line.
void after_page() {
  cursor_row();
  if (source_rows()) lst_follow_cursor();
  lst_show_cursor_scope();
}

// Rows a page move passes over: all but one, so that one row stays in view.
u16 page_step() { return u16(std::max(lst_pane_bottom() - lst_pane_top() - 1, 1)); }

// --- Horizontal steps ------------------------------------------------------------

// One character left of RequestedColumn; at the line's start to the end of
// the line above. False when nothing moved.
bool step_left() {
  if (Lst.RequestedColumn > kSourceMarginCells) {
    --Lst.RequestedColumn;
    return true;
  }
  if (move_vertical(false) == 0) {
    Lst.RequestedColumn = kSourceMarginCells;
    return false;
  }
  Lst.RequestedColumn = u16(kSourceMarginCells + std::max(cursor_line_length() - 1, 0));  // its last character
  return true;
}

// One character right; past the line's last character to the start of the
// line below. False when nothing moved.
bool step_right() {
  if (int(Lst.RequestedColumn) - kSourceMarginCells < cursor_line_length() - 1) {
    ++Lst.RequestedColumn;
    return true;
  }
  if (move_vertical(true) == 0) return false;
  Lst.RequestedColumn = kSourceMarginCells;
  return true;
}

bool opening_bracket(u8 c) { return c == '(' || c == '['; }

// A cursor move starts from where the cursor stands, not where it wanted to be.
bool begin_horizontal() {
  if (!pane_movable() || !source_rows()) return false;
  cursor_row();
  Lst.RequestedColumn = u16(Lst.CursorColumn + Lst.HorizontalOffset);
  return true;
}

}  // namespace

u16 lst_view_line_up() {
  const u16 moved = move_vertical(false);
  if (moved && source_rows()) lst_follow_cursor();
  return moved;
}

u16 lst_view_line_down() {
  const u16 moved = move_vertical(true);
  if (moved && source_rows()) lst_follow_cursor();
  return moved;
}

void lst_view_page_up() {
  if (!pane_movable()) return;
  LstPaneScope pane;
  if (source_rows()) {
    const u16 line = row_line(lst_pane_top());
    const u16 step = page_step();
    const u16 to = line > step ? u16(line - step) : 1;
    if (to == line) return;
    source_page(to);
  } else {
    const u32 address = Lst.RowKey[lst_pane_top()];
    const u8 seed = lst_seed();
    const u32 listing = Lst.ListingAddress;
    const u8 to_seed = lst_rows_back(page_step());
    if (Lst.ListingAddress == address && to_seed == seed) {  // nothing above the top row
      Lst.ListingAddress = listing;
      return;
    }
    assembly_page(to_seed);
  }
  after_page();
}

void lst_view_page_down() {
  if (!pane_movable()) return;
  LstPaneScope pane;
  if (source_rows()) {
    // not past the last page
    const u16 line = row_line(lst_pane_top());
    const u16 to = u16(std::min<u32>(u32(line) + page_step(), source_end_top()));
    if (to <= line) return;
    source_page(to);
  } else {
    const u16 top = lst_pane_top();
    const u16 last = u16(lst_pane_bottom() - 1);
    if (page_wraps_early() || (Lst.RowKind[last] == kRowInstruction && Lst.RowNext[last] <= Lst.RowKey[last])) {
      assembly_end_page();  // the listing ends on this page
    } else {
      // the last row becomes the top row, after the row that stood above it
      Lst.ListingAddress = Lst.RowKey[last];
      assembly_page(last > top ? Lst.RowKind[last - 1] : lst_seed());
      if (page_wraps_early()) assembly_end_page();
    }
  }
  after_page();
}

void lst_view_to_start() {
  if (!pane_movable()) return;
  LstPaneScope pane;
  if (source_rows()) {
    source_page(1);
  } else {
    Lst.ListingAddress = 0;
    assembly_page(kRowInstruction);
  }
  after_page();
}

void lst_view_to_end() {
  if (!pane_movable()) return;
  LstPaneScope pane;
  if (source_rows())
    source_page(source_end_top());
  else
    assembly_end_page();
  after_page();
}

void lst_move_left() {
  if (!begin_horizontal()) return;
  step_left();
  lst_follow_cursor();
}

void lst_move_right() {
  if (!pane_movable() || !source_rows()) return;
  step_right();
  lst_follow_cursor();
}

void lst_move_word_left() {
  if (!begin_horizontal()) return;
  if (step_left()) {
    // back over what lies between the words; an opening bracket ends the step
    for (u8 c = char_at(Lst.RequestedColumn); !cmd_is_ident_char(c); c = char_at(Lst.RequestedColumn))
      if (opening_bracket(c) || !step_left()) break;
    // then to the first character of the word, within its line
    if (cmd_is_ident_char(char_at(Lst.RequestedColumn)))
      while (Lst.RequestedColumn > kSourceMarginCells && cmd_is_ident_char(char_at(u16(Lst.RequestedColumn - 1))))
        --Lst.RequestedColumn;
  }
  lst_follow_cursor();
}

void lst_move_word_right() {
  if (!begin_horizontal()) return;
  // over the rest of the word under the cursor; the line's end ends it too
  bool stepped = false;
  bool blocked = false;
  const u16 line = row_line(Lst.CursorRow);
  while (cmd_is_ident_char(char_at(Lst.RequestedColumn))) {
    if (!step_right()) {
      blocked = true;
      break;
    }
    stepped = true;
    if (row_line(Lst.CursorRow) != line) break;
  }
  if (!stepped && !blocked) blocked = !step_right();  // off a character that is no word
  // then over what lies between the words, up to the next word or an opening bracket
  for (u8 c = char_at(Lst.RequestedColumn); !blocked && !cmd_is_ident_char(c) && !opening_bracket(c);
       c = char_at(Lst.RequestedColumn))
    blocked = !step_right();
  lst_follow_cursor();
}

void lst_move_line_start() {
  if (!pane_movable() || !source_rows()) return;
  Lst.RequestedColumn = kSourceMarginCells;
  lst_follow_cursor();
}

void lst_move_line_end() {
  if (!pane_movable() || !source_rows()) return;
  Lst.RequestedColumn = u16(kSourceMarginCells + std::max(cursor_line_length() - 1, 0));
  lst_follow_cursor();
}

u16 lst_visible_width() { return std::clamp<u16>(Con.Geometry.code_columns, kNarrowestView, kScreenColumns); }

void lst_follow_cursor() {
  if (!pane_movable() || !source_rows()) return;
  LstPaneScope pane;
  // the text column of the cursor: never past the line's last character
  const int c = std::max(std::min(int(Lst.RequestedColumn) - kSourceMarginCells, cursor_line_length() - 1), 0);
  int offset = Lst.HorizontalOffset;
  while (c < offset) offset = std::max(offset - kOffsetStep, 0);
  const int width = lst_visible_width();
  while (offset + width - kCursorTrail <= c) offset += kOffsetStep;
  lst_cursor_mark_hide();
  Lst.CursorColumn = u16(c - offset + kSourceMarginCells);
  if (offset != Lst.HorizontalOffset) {
    // every row again from the new offset
    Lst.HorizontalOffset = u16(offset);
    Lst.FoundRow = kNoRow;  // the rows replace the found row's cells
    for (u16 row = lst_pane_top(); row < lst_pane_bottom(); ++row) lst_source_row(row);
  }
  lst_cursor_mark_show();
}

void lst_show_cursor_scope() {
  if (!pane_movable() || SymScopes.ScopeCount == 0) return;
  const u16 row = cursor_row();
  u16 address = 0;
  if (source_rows()) {
    // the first line record at or after the row's line
    const i32 found = sym_address_from_line(Lst.SourceFile, row_line(row), address);
    if (found < 0 || found == kNoLine) {
      sup_set_message_line({}, 0);
      return;
    }
  } else {
    address = u16(Lst.RowKey[row]);
  }
  char name[kMessageLineSize]{};
  // the outermost block that holds the address is the function's
  if (sym_innermost_scope(address) != 0 && SymScopes.FirstBlock != 0) {
    if (const ScopeRecord* block = sym_scope_record(u16(SymScopes.FirstBlock - 1)))
      sym_name_text(block->name.get(), name, sizeof name);
  }
  sup_set_message_line({name, strnlen(name, sizeof name)}, 0);
}
