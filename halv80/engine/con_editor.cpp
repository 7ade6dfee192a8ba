// The command-line editor and the history ring. The ring's bytes may come
// from the saved-state file: every walk over it is bounded by its size and
// every text taken from it by the edit buffer.
#include "halv80/engine/con_editor.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/lst_words.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/sym_complete.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_text.h"

constinit EditorState Editor;

namespace {

constexpr u8 kEscape = 27;
constexpr u8 kRedrawKey = 255;
constexpr u8 kAttrPreset = 0x70;     // a pre-set answer
constexpr u16 kErrNoMatch = 1;       // error of kind 1: nothing to pick

// --- The history ring ---------------------------------------------------------

u8* ring() {
  u8* area = sym_store_ptr(kSymWorkArea2);
  return area != nullptr ? area : Editor.OwnRing;
}

u16 next_pos(u16 p) { return u16((p + 1) % kHistoryRingSize); }

u16 prev_pos(u16 p) { return u16((p + kHistoryRingSize - 1) % kHistoryRingSize); }

// Ring words from the saved-state file are trusted only within the ring, and
// a write end only right after a line's terminator.
bool ring_words_sound() {
  if (Saved.HistoryWriteEnd >= kHistoryRingSize || Saved.HistoryOldest >= kHistoryRingSize) return false;
  return !Saved.HistoryNonEmpty || ring()[prev_pos(Saved.HistoryWriteEnd)] == 0;
}

// The start of every entry, oldest first. A ring whose texts do not end
// where its words say yields what can be read before the walk runs out.
std::vector<u16> entries() {
  std::vector<u16> starts;
  if (!Saved.HistoryNonEmpty || !ring_words_sound()) return starts;
  const u8* r = ring();
  u16 p = Saved.HistoryOldest;
  u32 steps = 0;
  do {
    starts.push_back(p);
    while (r[p] != 0 && steps < kHistoryRingSize) {
      p = next_pos(p);
      ++steps;
    }
    p = next_pos(p);
    ++steps;
  } while (p != Saved.HistoryWriteEnd && steps < kHistoryRingSize);
  return starts;
}

// The entry at `start` into out (at most kEditBufferSize - 1 characters).
std::size_t read_entry(u16 start, char* out) {
  const u8* r = ring();
  std::size_t n = 0;
  for (u16 p = start, steps = 0; r[p] != 0 && steps < kHistoryRingSize && n < kEditBufferSize - 1;
       p = next_pos(p), ++steps)
    out[n++] = char(r[p]);
  out[n] = '\0';
  return n;
}

bool entry_begins_with(u16 start, std::string_view prefix) {
  char text[kEditBufferSize];
  const std::size_t n = read_entry(start, text);
  return n >= prefix.size() && std::memcmp(text, prefix.data(), prefix.size()) == 0;
}

// The newest entry's text, or empty.
std::string newest_entry() {
  const std::vector<u16> all = entries();
  if (all.empty()) return {};
  char text[kEditBufferSize];
  read_entry(all.back(), text);
  return text;
}

u16 index_of(const std::vector<u16>& all, u16 position) {
  for (std::size_t i = 0; i < all.size(); ++i)
    if (all[i] == position) return u16(i);
  return u16(all.size());
}

// --- Character boundaries in the edit buffer --------------------------------

// The length of the character at `at` (2 for a Shift-JIS pair that fits).
std::size_t char_length(const char* buf, std::size_t at, std::size_t end) {
  return (host_cp932_lead(u8(buf[at])) && at + 1 < end) ? 2 : 1;
}

// The start of the character before `at`.
std::size_t char_before(const char* buf, std::size_t at, std::size_t end) {
  std::size_t i = 0, last = 0;
  while (i < at) {
    last = i;
    i += char_length(buf, i, end);
  }
  return last;
}

// --- The line being edited ----------------------------------------------------

struct Edit {
  char text[kEditBufferSize]{};  // the edit buffer
  std::size_t end = 0;           // the line end
  std::size_t cursor = 0;
  std::size_t max = 0;           // characters the line may hold
  u16 insert = 1;
  u16 browsing = 0;
  u16 preset = 0;                // a pre-set answer is shown
  u16 command_mode = 0;
  u16 start_column = 0, start_row = 0;
  u16 log_offset = 0;            // the log's write end relative to its newest line at the start
  std::size_t drawn = 0;         // characters on the screen after the last draw
  u16 trail_pending = 0;         // the last typed byte was a lead byte
  char recall_prefix[kEditBufferSize]{};
};

void editor_putc(u8 c, u16 attribute) {
  const u16 saved = Con.Attribute;
  Con.Attribute = attribute;
  con_edit_putc(c);
  Con.Attribute = saved;
}

// The line drawn again from its start column: the log's newest line is cut
// back to where the line began, so that only the final line reaches the log.
void redraw(Edit& e, u16 attribute = kAttrNormal) {
  if (!Scan.ScreenOutput) return;
  if (Log.Bytes) Log.WriteEnd = u16((Log.Newest + e.log_offset) % kLogRingSize);
  con_set_cursor(e.start_column, e.start_row);
  Editor.HeldLead = 0;
  for (std::size_t i = 0; i < e.cursor; ++i) editor_putc(u8(e.text[i]), attribute);
  const u16 column = Con.Column, row = Con.Row;
  for (std::size_t i = e.cursor; i < e.end; ++i) editor_putc(u8(e.text[i]), attribute);
  // blank what the last draw showed beyond the line (the screen only)
  for (std::size_t i = e.end; i < e.drawn; ++i) con_window_putc(' ');
  e.drawn = e.end;
  con_set_cursor(column, row);
}

void set_line(Edit& e, const char* text) {
  const std::size_t n = std::min(strnlen(text, kEditBufferSize - 1), e.max);
  std::memcpy(e.text, text, n);
  e.text[n] = '\0';
  e.end = n;
  e.cursor = n;
}

void clear_line(Edit& e) {
  e.end = 0;
  e.cursor = 0;
  e.text[0] = '\0';
}

// The line as the user left it, when a pre-set answer is replaced.
void drop_preset(Edit& e) {
  if (!e.preset) return;
  e.preset = 0;
  clear_line(e);
  redraw(e);
}

void delete_at(Edit& e, std::size_t at) {
  if (at >= e.end) return;
  const std::size_t n = char_length(e.text, at, e.end);
  std::memmove(e.text + at, e.text + at + n, e.end - at - n + 1);
  e.end -= n;
}

// The history line before the write end (for "1" and "c").
std::string previous_line() { return newest_entry(); }

void copy_from_previous(Edit& e, bool all) {
  if (e.cursor != e.end) return;
  const std::string prev = previous_line();
  if (prev.size() <= e.end) return;
  std::size_t n = all ? prev.size() - e.end : char_length(prev.data(), e.end, prev.size());
  n = std::min(n, e.max - std::min(e.max, e.end));
  std::memcpy(e.text + e.end, prev.data() + e.end, n);
  e.end += n;
  e.text[e.end] = '\0';
  e.cursor = e.end;
  redraw(e);
}

void recall(Edit& e, u16 dir) {
  drop_preset(e);
  if (!e.browsing) {
    std::memcpy(e.recall_prefix, e.text, e.end + 1);
    Editor.Browse = kBrowseAtEnd;
    e.browsing = 1;
  }
  char found[kEditBufferSize];
  u16 ok = hist_find(e.recall_prefix, found, dir);
  if (!ok && Editor.Browse != kBrowseAtEnd) {
    Editor.Browse = kBrowseAtEnd;
    ok = hist_find(e.recall_prefix, found, dir);
  }
  if (!ok) return;
  set_line(e, found);
  redraw(e);
}

// The identifier that ends the line for the symbol pick list: identifier
// characters, ":" and "?" and "*"; its start, or e.end when there is none.
std::size_t trailing_identifier(const Edit& e) {
  std::size_t start = e.end;
  while (start > 0) {
    const u8 c = u8(e.text[start - 1]);
    if (c >= 0x80) break;
    if (!cmd_is_ident_char(c) && c != ':' && c != '?' && c != '*') break;
    --start;
  }
  return start;
}

// Puts `name` in place of the identifier at `start`, within the line's room.
void replace_identifier(Edit& e, std::size_t start, const char* name) {
  const std::size_t room = e.max > start ? e.max - start : 0;
  const std::size_t n = std::min(strnlen(name, kEditBufferSize - 1), room);
  std::memcpy(e.text + start, name, n);
  e.end = start + n;
  e.text[e.end] = '\0';
  e.cursor = e.end;
}

// "h" and "H": the window side shows the matches and may choose one.
void pick_list(Edit& e, bool symbols) {
  if (!Scan.ScreenOutput) return;
  if (e.preset) {
    // a pre-set answer is cancelled rather than completed
    e.preset = 0;
    clear_line(e);
    redraw(e);
    return;
  }
  char saved[kEditBufferSize];
  std::memcpy(saved, e.text, e.end + 1);
  const std::size_t saved_end = e.end;
  std::string pattern;
  std::size_t start = 0;
  if (symbols) {
    start = trailing_identifier(e);
    if (start == e.end) {
      sup_raise_error(kErrNoMatch, 1);
      return;
    }
    pattern.assign(e.text + start, e.end - start);
    pattern += '*';
  } else {
    pattern.assign(e.text, e.end);
  }
  // the matches, newest history line first or in the symbols' order
  std::vector<std::string> matches;
  char text[kEditBufferSize];
  if (symbols) {
    u16 position = 0;
    while (matches.size() < 0xFFFF && sym_complete(pattern, text, sizeof text, position, 1)) matches.emplace_back(text);
  } else {
    const std::vector<u16> all = entries();
    for (std::size_t i = all.size(); i-- > 0;)
      if (entry_begins_with(all[i], pattern)) {
        read_entry(all[i], text);
        matches.emplace_back(text);
      }
  }
  if (matches.empty()) {
    sup_raise_error(kErrNoMatch, 1);
    return;
  }
  Co.Request.p1 = symbols ? kPickListSymbols : kPickListHistory;
  Co.Request.p2 = u32(matches.size());
  Co.Request.p3 = 1;
  Co.Request.p3_ptr = e.text;
  co_post_request(RequestCode::PickList);
  // the window side collects the entries one by one from the edit buffer
  for (const std::string& m : matches) {
    if (symbols) {
      e.end = saved_end;
      replace_identifier(e, start, m.c_str());
    } else {
      set_line(e, m.c_str());
    }
    co_yield_to_gui();
  }
  if (Co.Request.p3_ptr != nullptr) {
    // chosen: the text stands in the edit buffer
    e.text[kEditBufferSize - 1] = '\0';
    e.end = std::min(strnlen(e.text, kEditBufferSize - 1), e.max);
    e.text[e.end] = '\0';
    e.cursor = e.end;
    e.browsing = 1;
  } else {
    std::memcpy(e.text, saved, saved_end + 1);
    e.end = saved_end;
    e.cursor = std::min(e.cursor, e.end);
  }
  Co.Request.p3_ptr = nullptr;
  redraw(e);
}

// A letter command of the key side.
void letter_command(Edit& e, u8 letter) {
  switch (letter) {
    case 'l':
      if (e.cursor > 0) e.cursor = char_before(e.text, e.cursor, e.end);
      break;
    case 'r':
      if (e.cursor < e.end) {
        e.cursor += char_length(e.text, e.cursor, e.end);
      } else {
        copy_from_previous(e, false);
        return;
      }
      break;
    case 'i':
      e.insert ^= 1;
      return;
    case 'd':
      delete_at(e, e.cursor);
      e.browsing = 0;
      break;
    case 'f':
      if (e.cursor == e.end) {
        copy_from_previous(e, true);
        return;
      }
      e.cursor = e.end;
      break;
    case 'a':
      e.cursor = 0;
      break;
    case 'u':
      recall(e, 1);
      return;
    case 'n':
      recall(e, 0);
      return;
    case '1':
      copy_from_previous(e, false);
      return;
    case 'c':
      copy_from_previous(e, true);
      return;
    case 'A':
      hist_clear();
      [[fallthrough]];
    case 'C':
      clear_line(e);
      e.browsing = 0;
      break;
    case 'h':
      pick_list(e, false);
      return;
    case 'H':
      pick_list(e, true);
      return;
    default:
      return;
  }
  redraw(e);
}

// "!!" and "!text" at CR: the line is replaced and editing goes on. A recall
// that finds nothing leaves the line as it was (an empty one for "!!") and
// raises message 1 of kind 1, as a pick list without a match does. kRecall*.
u16 history_bang(Edit& e) {
  if (e.end < 2 || e.text[0] != '!') return kRecallNone;
  if (e.text[1] == '!' && e.end == 2) {
    clear_line(e);
    copy_from_previous(e, true);
    if (e.end != 0) return kRecallFound;
    redraw(e);
    sup_raise_error(kErrNoMatch, 1);
    return kRecallNotFound;
  }
  if (u8(e.text[1]) <= 0x20) return kRecallNone;
  const std::string prefix(e.text + 1, e.end - 1);
  char found[kEditBufferSize];
  Editor.Browse = kBrowseAtEnd;
  // from the newest line back; a walk that fails starts once more from the newest
  u16 ok = hist_find(prefix, found, 1);
  if (!ok) {
    Editor.Browse = kBrowseAtEnd;
    ok = hist_find(prefix, found, 1);
  }
  if (!ok) {
    sup_raise_error(kErrNoMatch, 1);
    return kRecallNotFound;
  }
  set_line(e, found);
  e.browsing = 1;
  redraw(e);
  return kRecallFound;
}

}  // namespace

// --- History ---------------------------------------------------------------------

void hist_add(std::string_view line) {
  if (line.empty()) return;
  line = line.substr(0, kEditBufferSize - 1);
  if (newest_entry() == line) return;
  if (!ring_words_sound()) hist_clear();
  // an empty ring's oldest line is the one added now
  if (!Saved.HistoryNonEmpty) Saved.HistoryOldest = Saved.HistoryWriteEnd;
  u8* r = ring();
  const auto drop_oldest = [&] {
    u16 p = Saved.HistoryOldest;
    u16 steps = 0;
    for (; r[p] != 0 && steps < kHistoryRingSize; ++steps) p = next_pos(p);
    if (steps == kHistoryRingSize) {
      // no terminator anywhere (a damaged ring): nothing in it is a line
      Saved.HistoryOldest = Saved.HistoryWriteEnd;
      Saved.HistoryNonEmpty = 0;
      return;
    }
    Saved.HistoryOldest = next_pos(p);
  };
  const auto put = [&](u8 b) {
    if (Saved.HistoryNonEmpty && Saved.HistoryWriteEnd == Saved.HistoryOldest) drop_oldest();
    r[Saved.HistoryWriteEnd] = b;
    Saved.HistoryWriteEnd = next_pos(Saved.HistoryWriteEnd);
  };
  for (const char c : line) put(u8(c));
  put(0);
  Saved.HistoryNonEmpty = 1;
}

u16 hist_find(std::string_view prefix, char* out, u16 dir) {
  if (dir & 0x80) {
    u16 position = Editor.Browse == kBrowseAtEnd ? 0 : Editor.Browse;
    const u16 found = sym_complete(prefix, out, kEditBufferSize, position, u16(dir & 1));
    Editor.Browse = position;
    return found;
  }
  const std::vector<u16> all = entries();
  if (all.empty()) return 0;
  u16 at = Editor.Browse == kBrowseAtEnd ? u16(all.size()) : index_of(all, Editor.Browse);
  if (dir == 1) {
    if (at == 0) at = u16(all.size());  // at the oldest: from the write end
    for (u16 i = at; i-- > 0;)
      if (entry_begins_with(all[i], prefix)) {
        Editor.Browse = all[i];
        read_entry(all[i], out);
        return 1;
      }
    Editor.Browse = all.front();
    return 0;
  }
  const u16 from = at >= all.size() ? 0 : u16(at + 1);
  for (u16 i = from; i < all.size(); ++i)
    if (entry_begins_with(all[i], prefix)) {
      Editor.Browse = all[i];
      read_entry(all[i], out);
      return 1;
    }
  Editor.Browse = kBrowseAtEnd;
  return 0;
}

void hist_clear() {
  Saved.HistoryWriteEnd = 0;
  Saved.HistoryOldest = 0;
  Saved.HistoryNonEmpty = 0;
  Editor.Browse = kBrowseAtEnd;
}

// --- Output and caret ----------------------------------------------------------

void con_edit_putc(u8 c) {
  if (!Scan.ScreenOutput) return;
  if (Editor.HeldLead != 0) {
    con_screen_putc(Editor.HeldLead);
    con_screen_putc(c);
    Editor.HeldLead = 0;
    Scan.LastChar = c;
    return;
  }
  if (c == '\t') {
    do con_screen_putc(' ');
    while (Con.Column % 8 != 0);
    Scan.LastChar = ' ';
    return;
  }
  if (host_cp932_lead(c)) {
    Editor.HeldLead = c;
    return;
  }
  con_screen_putc(c);
  Scan.LastChar = c;
}

void con_show_caret() {
  const bool code_cursor = Lst.CodeCursorMode != 0 && Lst.CursorRow != kNoRow && (Keys.flags & 0x01) == 0 &&
                           !Editor.CursorAtLineEnd;
  Con.CaretColumn = code_cursor ? Lst.CursorColumn : Con.Column;
  Con.CaretRow = code_cursor ? Lst.CursorRow : Con.Row;
}

// --- The editing loop ----------------------------------------------------------------

u16 con_edit_line(char* buf, u16 max, u16 flags) {
  Edit e;
  e.max = std::min<std::size_t>(max, kEditBufferSize - 1);
  e.command_mode = (flags & kEditCommandLine) != 0;
  e.start_column = Con.Column;
  e.start_row = Con.Row;
  e.log_offset = Log.Bytes ? u16((Log.WriteEnd + kLogRingSize - Log.Newest) % kLogRingSize) : 0;
  Editor.HeldLead = 0;
  if (flags & kEditPreset) {
    set_line(e, buf);
    e.preset = e.end != 0;
    redraw(e, kAttrPreset);
  }
  for (;;) {
    Editor.CursorAtLineEnd = e.cursor == e.end;
    const u16 row = Con.Row;
    const u8 c = con_wait_key();
    Editor.Recall = kRecallNone;
    // The pane was laid out again while the key was awaited: the line being
    // edited moved with the cursor's row.
    if (Con.Row != row) e.start_row = u16(e.start_row + (Con.Row - row));
    const bool was_preset = e.preset != 0;
    if (c == 13) {
      e.preset = 0;
      Editor.Recall = history_bang(e);
      if (Editor.Recall != kRecallNone) continue;
      break;
    }
    if (c == 8) {
      drop_preset(e);
      if (e.cursor > 0) {
        const std::size_t at = char_before(e.text, e.cursor, e.end);
        e.cursor = at;
        delete_at(e, at);
        redraw(e);
      }
      e.browsing = 0;
      continue;
    }
    if (c == kEscape) {
      const u8 letter = Keys.EscLetter;
      Keys.EscLetter = 0;
      if (letter == 0) {
        if (e.command_mode) continue;
        // cancelled: the line is blanked on the screen
        clear_line(e);
        redraw(e);
        return 0;
      }
      if (was_preset && letter != 'h' && letter != 'H' && letter != 'u' && letter != 'n') e.preset = 0;
      letter_command(e, letter);
      continue;
    }
    if (c == kRedrawKey) {
      redraw(e, kAttrNormal);
      continue;
    }
    if (c != '\t' && c < 0x20) continue;  // other control characters are ignored
    drop_preset(e);
    e.browsing = 0;
    if (e.end >= e.max && !(e.cursor < e.end && !e.insert)) continue;
    if (e.cursor == e.end) {
      e.text[e.end++] = char(c);
      e.text[e.end] = '\0';
      e.cursor = e.end;
      if (Scan.ScreenOutput) con_edit_putc(c);
      e.drawn = e.end;
    } else if (e.insert || e.trail_pending) {
      std::memmove(e.text + e.cursor + 1, e.text + e.cursor, e.end - e.cursor + 1);
      e.text[e.cursor++] = char(c);
      ++e.end;
      redraw(e);
    } else {
      delete_at(e, e.cursor);
      std::memmove(e.text + e.cursor + 1, e.text + e.cursor, e.end - e.cursor + 1);
      e.text[e.cursor++] = char(c);
      ++e.end;
      redraw(e);
    }
    e.trail_pending = e.trail_pending ? 0 : (host_cp932_lead(c) ? 1 : 0);
    // a full line is taken at once, without entering the history
    if (e.end >= e.max && !e.trail_pending) {
      std::memcpy(buf, e.text, e.end + 1);
      Editor.CursorAtLineEnd = 1;
      return 1;
    }
  }
  std::memcpy(buf, e.text, e.end + 1);
  hist_add({e.text, e.end});
  // the final line is what the log keeps
  e.cursor = e.end;
  redraw(e);
  Editor.CursorAtLineEnd = 1;
  return 1;
}

void con_read_command_line(char* buf) {
  Keys.BindingMode = 1;
  while (con_edit_line(buf, 1023, kEditCommandLine) != 1) {
  }
  // the line as typed goes to the redirect file, as the console shows it
  for (const char* p = buf; *p != '\0'; ++p) redir_put_char(u8(*p));
  Keys.BindingMode = 0;
  con_show_caret();
}
