// Source text access. One source file is open at a time; SymSource.Name says
// which, and stays after the handle is closed so that the file is opened again
// on demand. Lines are counted from 0 inside (CurrentLine) and from 1 outside.
// The module's line-offset index keeps the file offset of every 20th line
// (entry k: the start of 0-based line 20 x (k + 1)); 0 in an entry means not
// known yet. Every offset and index read back is bounded before it is used.
#include "halv80/symbols/sym_source.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/lst_commands.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_paths.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

constinit SymSourceState SymSource;

namespace {

constexpr std::size_t kLineTextMax = kSourceLineSize - 1;
constexpr std::string_view kEndOfFileMark = "[EOF]";

std::string_view bounded(const char* text, std::size_t limit) {
  return text ? std::string_view(text, strnlen(text, limit)) : std::string_view();
}

void copy_text(char* out, std::size_t out_size, std::string_view text) {
  const std::size_t n = std::min(text.size(), out_size - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

// The file name to open for `file`: cut to whole characters below a module
// name's size, with the default extension added when its last part has no '.'.
void source_name_of(const char* file, char (&out)[kSourceNameSize]) {
  const std::string_view text = bounded(file, kModuleNameSize - 1);
  std::size_t used = 0;
  bool has_dot = false;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = host_cp932_unit_length(text, i);
    if (n == 1 && (text[i] == '\\' || text[i] == '/' || text[i] == ':')) has_dot = false;
    if (n == 1 && text[i] == '.') has_dot = true;
    std::memcpy(out + used, text.data() + i, n);
    used += n;
    i += n;
  }
  if (!has_dot) {
    const std::string_view extension = bounded(Sw.DefaultSourceExtension, kExtensionSize - 1);
    std::memcpy(out + used, extension.data(), extension.size());
    used += extension.size();
  }
  out[used] = '\0';
}
static_assert(kSourceNameSize >= kModuleNameSize - 1 + kExtensionSize);

// Entry k of the open file's line-offset index; null when the module has no
// index (yet) or k lies beyond it.
le32* index_entry(u32 k) {
  const ModuleRecord* m = sym_module_record(SymSource.Module);
  if (m == nullptr || m->line_index.get() == kNoName || k >= m->index_count.get()) return nullptr;
  u8* slots = sym_store_ptr(m->line_index.get());
  return slots ? reinterpret_cast<le32*>(slots + k * sizeof(le32)) : nullptr;
}

u32 index_offset(u32 k) {
  const le32* entry = index_entry(k);
  return entry ? entry->get() : 0;
}

// After a line feed: the reader stands at the start of CurrentLine; an
// indexed line keeps its offset.
void note_line_start() {
  const u32 line = SymSource.CurrentLine;
  if (line % kLinesPerIndexEntry != 0 || line >= SymSource.IndexLimit) return;
  if (le32* entry = index_entry(line / kLinesPerIndexEntry - 1)) entry->set(SymSource.FileOffset);
}

// The reader's end after a read that gave 0x1A: a data byte under binary
// reading is no end.
bool at_end_of_file(u8 c) { return c == kSourceEndOfFile && SymSource.AtEnd; }

// A file that cannot be opened is told once (until the next reset): message
// 12 and its name, when the next prompt comes, for the code pane may be being
// drawn now.
void report_missing(const char* name) {
  const std::string_view text = bounded(name, kSourceNameSize - 1);
  for (const std::string& told : SymSource.ReportedMissing)
    if (told == text) return;
  SymSource.ReportedMissing.emplace_back(text);
  cmd_defer_notice(std::string(sup_load_message(kMsgCannotOpen)) + " " + sup_path_for_display(text));
}

// Is the open file UTF-8 text with something beyond ASCII in it? Its bytes up
// to the end mark are read once; the file is then back at its start.
bool utf8_text(int handle) {
  HostUtf8Check check;
  std::vector<u8> block(kSourceReadSize);
  for (;;) {
    const i32 got = sup_file_read(handle, block.data(), u32(block.size()));
    if (got <= 0) break;
    const std::string_view bytes(reinterpret_cast<const char*>(block.data()), std::size_t(got));
    const std::size_t end = bytes.find(char(kSourceEndOfFile));
    check.feed(bytes.substr(0, end));
    if (end != std::string_view::npos) break;
  }
  sup_file_seek(handle, 0, 0);
  return check.valid() && check.non_ascii();
}

// Makes `name` the source file: its module's index limit, then the file
// itself. False when it could not be opened (then marked missing).
bool open_for_lines(const char (&name)[kSourceNameSize]) {
  copy_text(SymSource.Name, sizeof SymSource.Name, name);

  // Finding the module must not change which module is current for others.
  const u16 current = SymModules.Current;
  const u16 has_current = SymModules.HasCurrent;
  const u16 by_base_name = SymModules.FoundByBaseName;
  char query[kModuleNameSize];
  copy_text(query, sizeof query, bounded(name, sizeof query - 1));
  const ModuleRecord* m = sym_find_module(query, sizeof query, 0);
  SymSource.Module = m ? SymModules.Current : kNoModule;
  SymSource.IndexLimit = m ? u32(m->index_count.get()) * kLinesPerIndexEntry : 0;
  SymModules.Current = current;
  SymModules.HasCurrent = has_current;
  SymModules.FoundByBaseName = by_base_name;

  SymSource.EndLine = kSourceEndUnknown;
  SymSource.CurrentLine = 0;
  SymSource.NotFound = 0;
  SymSource.Utf8 = 0;
  sym_reader_reset();
  if (sym_open_source_file(name) == -1) {
    SymSource.NotFound = 1;
    SymSource.IndexLimit += kSourceMissingLines;
    report_missing(name);
    return false;
  }
  SymSource.Utf8 = utf8_text(SymSource.Handle) ? 1 : 0;
  if (SymSource.OutputMode == kSourcePrintAndCache) sym_cache_reset_for_main();
  return true;
}

// Moves the reader to the start of 0-based line n: from the nearest indexed
// line at or before it, reading forward and filling the index. False at the
// end of the file (EndLine then holds its line count).
bool seek_to_line(u16 n) {
  u32 j = std::min<u32>(n, SymSource.IndexLimit) / kLinesPerIndexEntry;
  while (j > 0 && index_offset(j - 1) == 0) --j;  // nearest known entry
  const u32 offset = j > 0 ? index_offset(j - 1) : 0;
  sym_reader_reset();
  if (offset > u32(std::numeric_limits<i32>::max()) || sup_file_seek(SymSource.Handle, i32(offset), 0) < 0) {
    // a position the file cannot take: from its start instead
    j = 0;
    if (sup_file_seek(SymSource.Handle, 0, 0) < 0) {
      sym_close_source_files();
      SymSource.AtEnd = 1;
      return false;
    }
  } else {
    SymSource.FileOffset = offset;
  }
  SymSource.CurrentLine = u16(j * kLinesPerIndexEntry);

  while (SymSource.CurrentLine < n) {
    const u8 c = sym_read_char(SymSource.Handle);
    if (at_end_of_file(c)) {
      SymSource.EndLine = SymSource.CurrentLine;
      return false;
    }
    if (c == '\n') {
      ++SymSource.CurrentLine;
      note_line_start();
    }
  }
  return true;
}

// Reads the rest of the current line into Line: CR or LF ends it (after a CR
// the rest up to the LF is skipped), a UTF-8 file's text is converted to
// CP932, tabs become blanks up to the next multiple of the tab width,
// characters past 1,023 are dropped. A missing file gives an empty line.
void read_line(u16 n) {
  // The line's bytes as the file holds them; beyond what 1,023 characters can
  // take in UTF-8 they are dropped.
  constexpr std::size_t kRawMax = 4 * kLineTextMax;
  std::string raw;
  while (!SymSource.NotFound) {
    u8 c = sym_read_char(SymSource.Handle);
    if (c == '\r') {
      while (!at_end_of_file(c) && c != '\n') c = sym_read_char(SymSource.Handle);
    }
    if (at_end_of_file(c)) {
      // the line count: this line counts when it holds anything
      SymSource.EndLine = u16(raw.empty() ? n : n + 1);
      break;
    }
    if (c == '\n') {
      note_line_start();
      break;
    }
    if (raw.size() < kRawMax) raw += char(c);
  }
  if (SymSource.Utf8) raw = host_utf8_to_cp932(raw);

  std::size_t column = 0;  // counts on past the buffer's end
  auto put = [&](char c) {
    if (column < kLineTextMax) SymSource.Line[column] = c;
    ++column;
  };
  const std::size_t tab = std::clamp<u16>(Sw.TabWidth, 1, kSourceTabMax);
  for (const char c : raw) {
    if (c == '\t') {
      do put(' ');
      while (column % tab != 0);
    } else {
      put(c);
    }
  }
  SymSource.Line[std::min(column, kLineTextMax)] = '\0';
}

bool output_for_window() { return Co.OnCommandSide != 0 || CoreReq.InCoreRequest != 0; }

// "file:NNNN:" bracketed by the colour markers for a window; only "NNNN"
// while the code listing shows source rows and the line is for it.
void print_prefix(u16 line) {
  if (Co.OnCommandSide == 1 && Con.Window == kSlotOverlay) con_putc('\n');
  if (Lst.ListingMode == kListingSource && SymSource.OutputMode != kSourcePrint) {
    con_put_number4(line, kAttrSourceLineNumber);
    return;
  }
  const bool window = output_for_window();
  if (window) con_putc(kEscapeByte);
  con_puts(bounded(SymSource.Name, sizeof SymSource.Name));
  con_putc(':');
  con_put_number4(line, kAttrSourceLineNumber);
  con_putc(':');
  if (window) con_putc(kAttrResetByte);
}

// The line as far as the window is wide from the cursor on; a double-byte
// character that does not fit whole is left out.
void print_clipped(std::string_view text) {
  u32 column = Con.Column;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = host_cp932_unit_length(text, i);
    if (column + n > Con.Width) break;
    for (std::size_t k = 0; k < n; ++k) con_putc(u8(text[i + k]));
    column += u32(n);
    i += n;
  }
}

// Prints, copies or caches 0-based line n (line = n + 1), the reader standing
// at its start (or at the end of the file).
u16 deliver_line(u16 line, u16 n) {
  const u16 mode = SymSource.OutputMode;
  if (mode <= kSourcePrintAndCache) print_prefix(line);
  SymSource.CurrentLine = u16(n + 1);
  read_line(n);
  const std::string_view text = bounded(SymSource.Line, sizeof SymSource.Line);
  if (mode <= kSourcePrintAndCache) {
    print_clipped(text);
    if (output_for_window() && SymSource.AtEnd && !SymSource.NotFound) {
      con_putc(kEscapeByte);
      con_puts(kEndOfFileMark);
      con_putc(kAttrResetByte);
    }
  } else if (mode == kSourceToText) {
    copy_text(SymSource.Text, sizeof SymSource.Text, text);
  }
  if (mode == kSourcePrintAndCache) sym_cache_source_line(line, SymSource.Line);
  return 1;
}

u8* cache_slot(u16 slot) { return SymSource.Cache.get() + std::size_t(slot) * kSourceCacheSlotSize; }

void cache_store(u16 slot, const char* text) {
  const std::string_view t = bounded(text, kLineTextMax);
  u8* s = cache_slot(slot);
  s[0] = u8(std::min<std::size_t>(t.size(), 0xFF));  // the length byte holds at most 255
  std::memcpy(s + 1, t.data(), t.size());
  s[1 + t.size()] = 0;
}

// An element of a search path names its folder from the root when it starts
// with '\' or '/' or has a drive ("X:"); one starting with '.' never does.
bool absolute_element(const char* element) {
  if (element[0] == '.') return false;
  return element[0] == '\\' || element[0] == '/' || (element[0] != '\0' && element[1] == ':');
}

}  // namespace

void sym_source_reset() {
  sym_close_source_files();
  std::unique_ptr<u8[]> read_buffer = std::move(SymSource.ReadBuffer);
  std::unique_ptr<u8[]> cache = std::move(SymSource.Cache);
  SymSource = SymSourceState{};
  SymSource.ReadBuffer = std::move(read_buffer);
  SymSource.Cache = cache ? std::move(cache)
                          : std::make_unique<u8[]>(std::size_t(kSourceCacheSlots) * kSourceCacheSlotSize);
}

u16 sym_show_source_line(const char* file, u16 line) {
  if (line == 0) return 0;
  const u16 n = u16(line - 1);
  char name[kSourceNameSize];
  source_name_of(file, name);
  const bool same = std::strcmp(name, SymSource.Name) == 0;

  // The line just after the end: no file access.
  if (same && SymSource.AtEnd && n == SymSource.CurrentLine)
    return SymSource.OutputMode < kSourceToText ? deliver_line(line, n) : 0;

  if (!same || (SymSource.Handle == -1 && !SymSource.NotFound)) {
    if (!open_for_lines(name) && SymSource.OutputMode == kSourceToText) return 0;
  }
  if (SymSource.Handle != -1 && n != SymSource.CurrentLine && !seek_to_line(n)) return 0;
  if (SymSource.NotFound) {
    if (n >= SymSource.IndexLimit) {
      SymSource.AtEnd = 1;
      SymSource.EndLine = u16(std::min<u32>(SymSource.IndexLimit, kSourceEndUnknown));
      return 0;
    }
    // a copy of a line that is not there would pass for an empty line
    if (SymSource.OutputMode == kSourceToText) return 0;
  }
  return deliver_line(line, n);
}

int sym_open_source_file(const char* name) {
  sym_close_source_files();
  const std::string_view text = bounded(name, kSourceNameSize - 1);
  int handle = sup_open_beside_program(text);  // the name alone when there is no program folder
  if (handle == -1) handle = sym_open_on_path(name, "QNSRC");
  SymSource.Handle = handle;
  return handle;
}

int sym_open_on_path(const char* name, const char* variable) {
  if (name == nullptr || variable == nullptr || !sup_path_list_begin(bounded(variable, kPathElementMax)))
    return -1;
  const std::string_view folder = bounded(Sw.ProgramFolder, sizeof Sw.ProgramFolder);
  char element[kPathElementSize];
  while (sup_path_list_next(element)) {
    std::string path;
    if (!absolute_element(element) && !folder.empty()) {
      path = folder;
      if (!sup_ends_in_backslash(path)) path += '\\';
    }
    path += element;
    path += bounded(name, kSourceNameSize - 1);
    const int handle = sup_file_open(path, kFileModeRead);
    if (handle != -1) return handle;
  }
  return -1;
}

void sym_close_source_files() {
  if (SymSource.Handle != -1) sup_file_close(SymSource.Handle);
  SymSource.Handle = -1;
}

const char* sym_source_cache_line(u16 line) {
  if (!SymSource.Cache || SymSource.CacheFirst == 0 || line < SymSource.CacheFirst || line > SymSource.CacheLast)
    return nullptr;
  const u16 slot = u16((SymSource.CacheFirstSlot + (line - SymSource.CacheFirst)) % kSourceCacheSlots);
  return reinterpret_cast<const char*>(cache_slot(slot) + 1);
}

void sym_cache_source_line(u16 line, const char* text) {
  if (!SymSource.Cache || line == 0) return;
  const u32 first = SymSource.CacheFirst;
  const u32 last = SymSource.CacheLast;
  u16 slot = 0;
  if (first != 0 && line >= first && line <= last) return;  // already there
  if (first != 0 && line + 1u == first) {
    // prepend; a full ring gives up its last line
    SymSource.CacheFirstSlot = SymSource.CacheFirstSlot == 0 ? kSourceCacheSlots - 1 : SymSource.CacheFirstSlot - 1;
    if (SymSource.CacheFirstSlot == SymSource.CacheLastSlot) {
      SymSource.CacheLastSlot = SymSource.CacheLastSlot == 0 ? kSourceCacheSlots - 1 : SymSource.CacheLastSlot - 1;
      --SymSource.CacheLast;
    }
    SymSource.CacheFirst = line;
    slot = SymSource.CacheFirstSlot;
  } else if (first != 0 && line == last + 1) {
    // append; a full ring gives up its first line
    SymSource.CacheLastSlot = u16((SymSource.CacheLastSlot + 1) % kSourceCacheSlots);
    if (SymSource.CacheLastSlot == SymSource.CacheFirstSlot) {
      SymSource.CacheFirstSlot = u16((SymSource.CacheFirstSlot + 1) % kSourceCacheSlots);
      ++SymSource.CacheFirst;
    }
    SymSource.CacheLast = line;
    slot = SymSource.CacheLastSlot;
  } else {
    // empty, or not next to the run: the run starts again with this line
    SymSource.CacheFirst = SymSource.CacheLast = line;
    SymSource.CacheFirstSlot = SymSource.CacheLastSlot = 0;
  }
  cache_store(slot, text ? text : "");
}

void sym_cache_reset_for_main() {
  if (std::strcmp(SymSource.CacheFile, SymSource.Name) == 0) return;
  SymSource.CacheFirst = SymSource.CacheLast = 0;
  SymSource.CacheFirstSlot = SymSource.CacheLastSlot = 0;
  copy_text(SymSource.CacheFile, sizeof SymSource.CacheFile, bounded(SymSource.Name, sizeof SymSource.Name));
}

void sym_reader_reset() {
  if (!SymSource.ReadBuffer) SymSource.ReadBuffer = std::make_unique<u8[]>(kSourceReadSize);
  SymSource.ReadFill = 0;
  SymSource.ReadNext = 0;
  SymSource.FileOffset = 0;
  SymSource.AtEnd = 0;
}

u8 sym_read_char(int handle) {
  if (SymSource.AtEnd) return kSourceEndOfFile;
  auto end = [handle] {
    SymSource.AtEnd = 1;
    if (handle != -1) sup_file_close(handle);
    if (handle == SymSource.Handle) SymSource.Handle = -1;
    return kSourceEndOfFile;
  };
  if (SymSource.ReadNext >= SymSource.ReadFill) {
    if (!SymSource.ReadBuffer) SymSource.ReadBuffer = std::make_unique<u8[]>(kSourceReadSize);
    const i32 got = handle != -1 ? sup_file_read(handle, SymSource.ReadBuffer.get(), kSourceReadSize) : -1;
    SymSource.ReadNext = 0;
    SymSource.ReadFill = got > 0 ? std::min<u32>(u32(got), kSourceReadSize) : 0;
    if (SymSource.ReadFill == 0) return end();
  }
  const u8 c = SymSource.ReadBuffer[SymSource.ReadNext++];
  if (c == kSourceEndOfFile && !SymSource.BinaryRead) return end();
  ++SymSource.FileOffset;
  return c;
}

u16 sym_read_u16(int handle) {
  const u8 low = sym_read_char(handle);
  const u8 high = sym_read_char(handle);
  return u16(low | high << 8);
}

u16 sym_hex_digit(u8 c, u32& accumulator) {
  u32 digit = 0;
  if (c >= '0' && c <= '9') digit = c - '0';
  else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
  else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
  else return 1;
  accumulator = accumulator * 16 + digit;
  return 0;
}

u16 sym_dec_digit(u8 c, u32& accumulator) {
  if (c < '0' || c > '9') return 1;
  accumulator = accumulator * 10 + (c - '0');
  return 0;
}
