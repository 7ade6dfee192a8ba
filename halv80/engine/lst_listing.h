// The code listing: the model behind the code pane (listing mode, the per-row
// tables that say which address or line each screen row shows, the row
// generator that interleaves labels, source lines and instructions, the
// backward scroll over instructions of any length, the history of shown
// positions, the line provider of the window side) and the painting of the
// pane from it (pages of assembly and source rows, the program counter's,
// breakpoint and found rows, the cursor mark, the title, the side headers).
// Owns LstState. Row tables are indexed by absolute screen row; the pane's
// rows are those of the code pane's window slot, top to bottom - 1.
#pragma once

#include <cstddef>
#include <span>

#include "halv80/engine/con_screen.h"
#include "halv80/symbols/sym_modules.h"
#include "platform/host/host_types.h"

// ListingMode values.
constexpr u16 kListingNone = 0;
constexpr u16 kListingAssembly = 1;
constexpr u16 kListingSource = 2;

// ListingRowKind: what a row shows. The kind of the row above a row decides
// what the generator shows next for the same address (see lst_generate_row).
constexpr u8 kRowInstruction = 0;
constexpr u8 kRowLabel = 1;
constexpr u8 kRowSource = 2;

// Attributes of the code pane's cells.
constexpr u8 kAttrSourceMargin = 3;  // the first 5 cells of a source row
constexpr u8 kAttrCursorMark = 48;   // the marked margin; side-pane headers
constexpr u8 kAttrBreakRow = 15;     // a row holding an enabled breakpoint
constexpr u8 kAttrPcRow = 96;        // the program counter's row; the found row
constexpr u8 kAttrHistoryRow = 32;   // history and search highlight

constexpr u16 kSourceMarginCells = 5;  // source text starts at this column
constexpr u16 kCursorMarkCells = 4;
constexpr u16 kNoTargetLine = 0x8000;
constexpr u16 kNoRow = 0xFFFF;
constexpr std::size_t kListingCacheSize = 128;
constexpr std::size_t kPaneTitleMax = 31;         // bytes of the pane title
constexpr std::size_t kHistoryEntries = 32;
constexpr u16 kHistoryAssembly = 0xFFFE;          // ListingHistoryEntry::module of an assembly position
constexpr u16 kHistoryEmpty = 0xFFFF;
constexpr std::size_t kListingStackSize = 8;      // UPUSH positions
constexpr std::size_t kProviderLineSize = 1024;   // the line provider's buffer
constexpr u16 kProviderEnd = 0xFFFF;              // con_window_fetch_line: no more lines
constexpr u16 kRegisterWindowRows = 9;            // side column: the register window's rows

struct PaneDirtyRange {
  u16 first_row;
  u16 end_row;        // last row + 1; 0 = clean
  u16 first_column;
  u16 end_column;     // last column + 1
};

constexpr u16 kDirtyCommand = 0;  // rows from the code pane's bottom down
constexpr u16 kDirtyCode = 1;     // rows above the code pane's bottom

// One shown position (ListingHistory).
struct ListingHistoryEntry {
  u16 module = kHistoryEmpty;  // module index, kHistoryAssembly or kHistoryEmpty
  u32 key = 0;                 // the top row's line or address
  u16 seed = 0;                // the kind of the row above the top row
  u16 found_row = kNoRow;      // the row highlighted then
};

struct LstState {
  u16 ListingMode = kListingNone;  // kListing*; the code pane's view mode for the window side
  u16 PaneShows = kListingNone;    // what the pane's rows hold now: kListingAssembly or kListingSource rows
  PaneDirtyRange Dirty[2]{};

  // Row tables, by absolute screen row. Assembly mode: the row's address and
  // the address after its content; source mode: the row's line and line + 1.
  u32 RowKey[kScreenRows]{};
  u32 RowNext[kScreenRows]{};
  u8 RowKind[kScreenRows]{};       // kRow*; the entry above the pane's top holds the seed
  u8 TopSeed = kRowInstruction;    // the seed of a pane whose top is row 0 (no entry above it)

  u32 ListingAddress = 0;          // the next assembly row to generate; U continues here
  u16 CursorRow = kNoRow;          // absolute row of the code-window cursor mark
  u32 CodeCursorMode = 0;          // 1 while the key cursor is in the code pane (the cursor flag)
  u16 ViewFlag = 0;                // code-window view flag: 2 source, 0 assembly
  u16 CodeWindowsShown = 0;        // set by the window side while it runs code windows (requests 8, 9)
  u16 WindowModal = 0;             // set by the window side during a modal state: no cursor mark

  // The source view.
  char SourceFile[kModuleNameSize]{};  // the shown file; empty: none
  u16 SourceModule = kNoModule;        // its module index
  u16 TargetLine = kNoTargetLine;      // the line painted 96 (normally the program counter's)
  u16 LineCount = 0;                   // lines of the shown file
  u16 CursorColumn = kSourceMarginCells;     // cursor's screen column (text from column 5)
  u16 RequestedColumn = kSourceMarginCells;  // column the cursor moves want
  u16 HorizontalOffset = 0;                  // text columns scrolled off to the left
  u16 LastSourceLine = 1;              // the top line when source mode was last left

  // The found-row highlight: one row at a time, its old attributes kept.
  u16 FoundRow = kNoRow;
  u8 FoundAttributes[kScreenColumns]{};

  // Running-memory cache: target bytes from CacheBase while a page is filled.
  u8 Cache[kListingCacheSize]{};
  u16 CacheBase = 0;
  u16 CacheValid = 0;

  ListingHistoryEntry History[kHistoryEntries]{};
  u16 HistoryIndex = 0;

  char TitleText[kPaneTitleMax + 1]{};
  const char* CodeTitle = nullptr;     // a new caption for the window side, which takes and clears it

  // The side column of the text layout (0: none).
  u16 SideColumn = 0;
  u16 RegisterWindowShown = 1;
  u16 SideSelection = 0;               // the second side window: 0 locals, 1 memo, 2 backtrace, 3 stack
  u16 LayoutChanged = 0;               // the separators are drawn again at the next header call

  // The line provider's walk of the log for the command window.
  u16 ProviderRestartRow = 0;
  u16 ProviderLogPosition = 0;

  // The listing commands.
  u32 Stack[kListingStackSize]{};      // UPUSH positions, oldest first
  u16 StackCount = 0;
  u32 AssembleAddress = 0;             // where the next A line goes
};
extern LstState Lst;

// Makes the code pane the current window for its lifetime (when it was not),
// then makes the window current that was. An unwind that returns to the
// command pane leaves it there.
class LstPaneScope {
 public:
  LstPaneScope();
  ~LstPaneScope();
  LstPaneScope(const LstPaneScope&) = delete;
  LstPaneScope& operator=(const LstPaneScope&) = delete;

 private:
  u16 previous_;
};

// --- The model (lst_listing.cpp) ---------------------------------------------

// Widens the dirty range of the pane holding each row of the rectangle
// (columns col_from..col_to, rows row_from..row_to, inclusive); a rectangle
// that crosses the code pane's bottom is split there.
void lst_mark_dirty(u16 col_from, u16 row_from, u16 col_to, u16 row_to);
// Scrolls the current window's rows by one (down = 1: rows move down, the top
// row is freed; 0: rows move up, the bottom row is freed), blanking the freed
// row in attribute 7; on the command side request 5 is posted first.
void lst_scroll_pane(u16 down);

// The code pane's first row and the row after its last (top <= bottom <= 160).
u16 lst_pane_top();
u16 lst_pane_bottom();
// The seed: the kind of the row above the pane's top row.
u8 lst_seed();
void lst_set_seed(u8 kind);

// The view of the shown module (SourceModule) in its ModuleRecord: the
// cursor row's line, the cursor row within the pane and the horizontal
// fields; restore takes back all but the line, which lst_module_view_line
// gives (1 when the module has none).
void lst_store_module_view();
void lst_restore_module_view();
u16 lst_module_view_line();

// The running-memory cache: 128 target bytes from `base` (wrapping at FFFF),
// which dis_fetch reads until its first miss.
void lst_cache_load(u16 base);
void lst_cache_drop();

// Sets ListingMode. Leaving source mode keeps the top row's line as the last
// source line and stores the shown module's view; entering it restores the
// view of the shown module. The view flag becomes 2 in source mode, else 0.
void lst_set_mode(u16 mode);

// Generates screen row `row` of an assembly page for RowKey[row] after the
// row above it: a label row when the row above is an instruction and a
// symbol is exactly there; else, unless the row above is a source row, the
// source line that begins there (not for ToolchainKind 16); else the code
// row, painted 15 on an enabled breakpoint and 96 at the program counter.
// Sets RowKind[row] and RowNext[row] (cut to 16 bits). The abort flag is kept
// unless key playback runs.
void lst_generate_row(u16 row);

// A pane of assembly rows: the address and seed of the row n rows above the
// pane's top (never above address 0): ListingAddress is set to it and the
// seed returned, so that generating n rows from there arrives at the top row
// again (fewer rows when fewer lie above it). A pane of source rows: the line
// n above the top line (at least 1) in ListingAddress, seed 0.
u8 lst_rows_back(u16 n);

// The position history.
void lst_history_init();
void lst_history_clear();
// Shifts the entries down (the oldest drops off) and puts the shown position
// first; the index returns to 0.
void lst_history_push();
// back: one entry newer (index - 1); else one older (index + 1). Shows that
// entry (and paints its row 32 unless it is entry 0); 1 when it moved, 0 at
// either end or over an empty entry.
u16 lst_history_step(u16 back);

// Posts the code pane's scroll-thumb position (request 22, P1 = 0), on the
// command side.
void lst_thumb_position();

// The module indexes of the symbol store, at most out.size() of them (the
// module count is clamped to the array): how many were written.
std::size_t lst_module_indices(std::span<u16> out);

// The line provider of the window side: the text of row n of the code window
// (assembly rows from the provider fields of Co.Request.view; line n of the
// shown file in source mode) while the cursor flag is set, else of the
// command window's log. The text is NUL-terminated in `buffer` (at most 1,023
// bytes) and copied into the command line. 0, or kProviderEnd when there is
// no such line; in assembly mode the call after the listing wrapped past
// FFFF answers kProviderEnd. An error inside one row ends that row only.
u16 con_window_fetch_line(std::span<char> buffer, u32 n);

// A character sink that collects text into consecutive NUL-terminated lines
// of `buffer`: a tab becomes blanks to the next multiple of 8 columns; LF or
// CR ends a non-empty line. Bytes that do not fit are dropped.
struct LineCollector {
  std::span<char> buffer;
  std::size_t used = 0;   // bytes of complete lines and the open one
  u16 lines = 0;          // complete lines
  u16 column = 0;         // column in the open line
};
void con_collect_line_char(void* collector, u8 c);

// --- Rendering (lst_view.cpp) ---------------------------------------------------

// An assembly page from ListingAddress with seed 0 (rows top..bottom-1);
// ListingAddress ends after the page. Assembly mode.
void lst_fill_page();
// The same with `seed` above the top row; on the command side under its own
// restart point unless one is pushed (an error ends the repaint only).
void lst_redraw_from(u8 seed);
// A source page of `file` from `line` (0: the top line stays): 1 when the
// line cannot be read (nothing changes), else 0. Another file stores the old
// module's view and restores the new one's; reset_columns sets the
// horizontal fields to 5, 5, 0. Source mode.
u16 lst_source_page(const char* file, u16 line, bool reset_columns);
// One source row for RowKey[row]: number, blank, text from the horizontal
// offset; margin 3 (48 under the cursor mark), 15 on a breakpoint, 96 on the
// target line. RowNext[row] = line + 1.
void lst_source_row(u16 row);
// lst_source_page(file, line, false) in the code pane.
u16 lst_show_source_at(const char* file, u16 line);
// Shows the position after a stop or a choice: the line a third down the
// pane in source view, else the program counter's row, only moving the
// highlight when the row is already on screen. Nothing during an overlay.
void lst_show_position(const char* file, u16 line);
// The code pane at the program counter after a stop, a step or a new PC: the
// listing address becomes the PC, and lst_show_position gets the source line
// that begins there (none when no line does).
void lst_show_pc();
// Source mode, the target line the program counter's when it lies in this
// file; then lst_show_source_at. Its result.
u16 lst_show_source_line(const char* file, u16 line);
// Repaints the code pane as it stands (nothing during an overlay): assembly
// from the top row's address with its seed, source from the top line. With
// `with_log` the command pane is repainted from the log as well, keeping its
// view.
void lst_refresh(bool with_log = false);

// Painting primitives: each marks the cells it changes.
void lst_clear_row_rest(u16 column, u16 row);   // blanks in attribute 7 to the pane width
void lst_paint_row(u16 row, u8 attribute);
void lst_paint_margin(u16 row);
// Keeps the row's attributes as the found row (putting back an earlier one),
// then paints it.
void lst_paint_row_saved(u16 row, u8 attribute);
// Puts the found row's attributes back when it still shows 96; forgets it.
void lst_unmark_row();
// The cursor mark (source mode with the cursor flag set only): the first 4
// cells of the cursor row between 3 and 48.
void lst_cursor_mark_set(u16 on);
void lst_cursor_mark_show();  // unless the console is busy or a modal state is on
void lst_cursor_mark_hide();
// The pane title from a file name (FE/FF left out, at most 31 bytes, no
// double-byte character split), "Code" or "コード" without one.
void lst_title(const char* file);
// The headers of the side column; returns the second side window shown.
u16 lst_side_headers();

// --- Moves over the listing (lst_moves.cpp) --------------------------------------

// The view actions of the code pane; the command pane's con_view_* run them
// while Con.PendingWindow selects the code pane. Nothing happens during an
// overlay or while the pane shows no rows.
// Line up and down move the cursor row; at the pane's edge the listing
// scrolls one row under it instead: assembly rows stop at address 0 and at
// the instruction that ends at FFFF, source rows at line 1 and at the file's
// last line. 1 when the cursor row shows another row than before.
u16 lst_view_line_up();
u16 lst_view_line_down();
// A page (the pane's rows - 1) back or on, never before the first row nor
// past the last page; the cursor keeps its screen row.
void lst_view_page_up();
void lst_view_page_down();
// The first page (address 0, line 1) and the last one (ending with the row
// at FFFF, or with the file's last line).
void lst_view_to_start();
void lst_view_to_end();

// The cursor moves along the cursor row's source line (source rows only):
// one character (across a line's start or end to the line above or below),
// one word (to the first character of a word; an opening "(" or "[" met
// before a word ends the move), to the line's start and to its end. They set
// RequestedColumn, then follow the cursor (lst_follow_cursor).
void lst_move_left();
void lst_move_right();
void lst_move_word_left();
void lst_move_word_right();
void lst_move_line_start();
void lst_move_line_end();
// The columns of the code window that show text and margin: the width the
// window side publishes (Con.Geometry.code_columns), 11 to 200.
u16 lst_visible_width();
// Places the cursor on its line at RequestedColumn (at most its last
// character) and scrolls horizontally by 5 columns until the cursor is in
// view; when HorizontalOffset changed every row is drawn again from it.
// Sets CursorColumn; the cursor mark is drawn again.
void lst_follow_cursor();
// Puts the name of the function whose scope holds the cursor row's address
// on the message line (empty when none holds it). Nothing without scopes.
void lst_show_cursor_scope();
