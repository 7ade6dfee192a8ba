// Text symbol, map and line-file loaders. The symbol lists and the text line
// file are read character by character through the shared reader (0x1A is its
// end), one file at a time; the binary .lin files are read in blocks straight
// from their handles. Every token is copied into a fixed buffer under a bound,
// and every path is built under kSymTextPathSize: a path that does not fit is
// treated like a file that is not there.
#include "halv80/symbols/sym_text_loader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

constinit SymTextState SymText;

namespace {

constexpr u8 kEnd = kSourceEndOfFile;
constexpr std::size_t kScanMax = 32;  // the longest text sym_scan_for looks for

constexpr std::string_view kSymbolTableMark = "Symbol Table";
constexpr std::string_view kMachineMark = "Machine type is Z80";
constexpr std::string_view kModuleMark = "Module  <";
constexpr std::string_view kLinBlockMark = "** ";  // after the '*' that starts the line
static_assert(kSymbolTableMark.size() <= kScanMax && kMachineMark.size() <= kScanMax);

// Symbol-list layouts.
constexpr u16 kLayoutPlain = 0;      // value, name: anywhere
constexpr u16 kLayoutAfterTabs = 1;  // value, name: after each "\t\t"
constexpr u16 kLayoutTable = 2;      // name, word, value: after "Symbol Table"

// Opens a text file for the reader and closes it on every way out, unless the
// reader closed it itself at the end of the file; the reader is left empty
// for the source-text side.
class TextFile {
 public:
  explicit TextFile(std::string_view path) {
    sym_reader_reset();
    SymText.Handle = path.empty() ? -1 : sup_file_open(path, kFileModeRead);
  }
  ~TextFile() {
    if (SymText.Handle != -1 && !SymSource.AtEnd) sup_file_close(SymText.Handle);
    SymText.Handle = -1;
    sym_reader_reset();
  }
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  bool is_open() const { return SymText.Handle != -1; }
};

u8 next_char() { return sym_read_char(SymText.Handle); }

bool line_end(u8 c) { return c == '\n' || c == '\r' || c == kEnd; }

// From `c` to the line feed that ends its line (or the end of the file).
u8 skip_line(u8 c) {
  while (c != '\n' && c != kEnd) c = next_char();
  return c;
}

// Blanks and tabs inside a line.
u8 skip_spaces(u8 c) {
  while (c == ' ' || c == '\t') c = next_char();
  return c;
}

// A bounded copy of a token: the first bytes that fit, whole double-byte
// characters only, and whether anything was dropped.
struct Token {
  std::array<char, kSymTextPathSize> text{};
  std::size_t length = 0;
  std::size_t limit = kSymTextNameMax;  // bytes kept, below the array's size
  bool cut = false;
  bool trail = false;  // the next byte is the second of a double-byte character
  char tail[3]{};      // the token's last three bytes, kept or not

  void put(u8 c) {
    tail[0] = tail[1];
    tail[1] = tail[2];
    tail[2] = char(c);
    if (cut) return;
    const bool lead = !trail && host_cp932_lead(c);
    if (length + (lead ? 2 : 1) > limit) {
      cut = true;
      return;
    }
    text[length++] = char(c);
    trail = lead;
  }
  std::string_view view() const { return {text.data(), length}; }
  const char* c_str() {
    text[length] = '\0';
    return text.data();
  }
};
static_assert(kSymTextNameMax < kSymTextPathSize && kModuleNameSize <= kSymTextPathSize);

// Reads the token that starts at `c` up to a character up to 0x20 or one of
// `stops`; gives that character.
u8 read_token(u8 c, Token& out, std::string_view stops = {}) {
  while (c > 0x20 && stops.find(char(c)) == std::string_view::npos) {
    out.put(c);
    c = next_char();
  }
  return c;
}

// Where the file-name part of a path starts: after its last '\', '/' or ':'
// (a second byte of a double-byte character never counts).
std::size_t file_part(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t n = host_cp932_unit_length(path, i);
    if (n == 1 && (path[i] == '\\' || path[i] == '/' || path[i] == ':')) start = i + 1;
    i += n;
  }
  return start;
}

// out = the parts one after the other; false when they do not fit.
template <std::size_t N>
bool join(char (&out)[N], std::initializer_list<std::string_view> parts) {
  std::size_t used = 0;
  for (const std::string_view part : parts) {
    if (part.size() >= N - used) return false;
    if (part.empty()) continue;  // an empty view may carry no pointer at all
    std::memcpy(out + used, part.data(), part.size());
    used += part.size();
  }
  out[used] = '\0';
  return true;
}

std::string_view bounded(const char* text, std::size_t limit) {
  return text ? std::string_view(text, strnlen(text, limit)) : std::string_view();
}

// `path` with its extension replaced by `extension` (added when its file
// name has none); false when it does not fit.
bool with_extension(std::string_view path, std::string_view extension, char (&out)[kSymTextPathSize]) {
  std::size_t stem = path.size();
  for (std::size_t i = file_part(path); i < path.size();) {
    const std::size_t n = host_cp932_unit_length(path, i);
    if (n == 1 && path[i] == '.') stem = i;
    i += n;
  }
  return join(out, {path.substr(0, stem), ".", extension});
}

// Adds one symbol; an older one of the same name goes first when the table
// held symbols before this load. False when the table is full.
bool add_symbol(const Token& name, u16 value, bool replace) {
  const std::string_view text = name.view();
  if (replace) sym_delete(text);
  return sym_add(text, value, 0) == 0;
}

// The entries of the symbol list open at SymText.Handle. The end of the file
// inside an entry, after its first token, is a format error; after a name
// (the last line without its line feed) it is not.
void read_symbols(u16 layout, bool replace) {
  if (layout == kLayoutTable && sym_scan_for(kSymbolTableMark) != 0) return;  // no symbols in this map
  for (;;) {
    if (layout == kLayoutAfterTabs && sym_scan_for("\t\t") != 0) return;
    u8 c = sym_skip_blanks(next_char());
    if (c == kEnd) return;
    Token name;
    u16 value = 0;
    if (layout == kLayoutTable) {
      c = read_token(c, name);
      c = sym_skip_blanks(c);
      if (c == kEnd) break;  // the entry ends inside
      Token ignored;
      c = sym_skip_blanks(read_token(c, ignored));
      if (c == kEnd) break;
      sym_read_hex(c, value);
      if (SymText.Result != kLoadDone) return;
    } else {
      c = sym_read_hex(c, value);
      if (SymText.Result != kLoadDone) return;
      if (c == ':') c = next_char();
      c = sym_skip_blanks(c);
      if (c == kEnd) break;  // a value without its name
      read_token(c, name);   // the end of the file may end the last name
    }
    if (!add_symbol(name, value, replace)) {
      SymText.Result = kLoadFull;
      return;
    }
  }
  SymText.Result = kLoadBadFormat;
}

// Begins the module of `name` (the code window then shows source); false
// when the tables are full.
bool begin_module(const char* name) {
  if (sym_begin_module(name) != 0) return false;
  Lst.ListingMode = kListingSource;
  return true;
}

// Adds a line to the open module; a line or address the tables refuse is
// left out. False when they are full.
bool add_line(u32 line, u32 address) { return sym_add_line(line, address) != 1; }

// Kind 2 takes the whole line word under one base; kind 16 its bits 0-13,
// under the base its top two bits choose.
enum class LinWord { Whole, Selector };

// The lines of binary .lin file `handle` for the open module. A block shorter
// than 256 bytes is the last; its whole entries count and a trailing part of
// an entry is ignored.
bool read_lin_file(int handle, LinWord word, u32 base1, u32 base2) {
  std::array<u8, kSymLinBlockSize> block{};
  for (;;) {
    const i32 got = sup_file_read(handle, block.data(), u32(block.size()));
    const std::size_t bytes = got > 0 ? std::min<std::size_t>(std::size_t(got), block.size()) : 0;
    for (std::size_t at = 0; at + kSymLinEntrySize <= bytes; at += kSymLinEntrySize) {
      const u32 address = u32(block[at] | block[at + 1] << 8);
      const u32 value = u32(block[at + 2] | block[at + 3] << 8);
      u32 line = value;
      u32 base = base1;
      if (word == LinWord::Selector) {
        line = value & 0x3FFF;
        const u32 selector = value >> 14;
        base = selector == 1 ? base1 : selector == 2 ? base2 : 0;
      }
      if (!add_line(line, address + base)) return false;
    }
    if (bytes < block.size()) return true;
  }
}

// One module from binary .lin file `handle`: `module` begun, the file's lines
// added, the module ended. kLoadDone or kLoadFull.
u16 load_lin_module(int handle, const char* module, LinWord word, u32 base1, u32 base2) {
  if (!begin_module(module)) return kLoadFull;
  const bool room = read_lin_file(handle, word, base1, base2);
  sym_end_module();
  return room ? kLoadDone : kLoadFull;
}

// The text of a path argument; empty when there is none or it is longer than
// a loader's path may be (it is never cut into another name).
std::string_view path_text(const char* path) {
  const std::string_view p = bounded(path, kSymTextPathSize);
  return p.size() < kSymTextPathSize ? p : std::string_view();
}

// The folder of `path`: up to and with its last '\', '/' or ':'.
std::string_view folder_of(std::string_view path) { return path.substr(0, file_part(path)); }

// A hexadecimal value after the next '=' (blanks may come between).
bool value_after_equals(u16& out) {
  if (sym_scan_for("=") != 0) {
    SymText.Result = kLoadBadFormat;  // the record ends without its bases
    return false;
  }
  sym_read_hex(sym_skip_blanks(next_char()), out);
  return SymText.Result == kLoadDone;
}

// The line of the name after "*** " (up to the line's end, trailing blanks
// dropped, cut to a module name's size); the reader stands at the line feed.
u8 read_block_name(Token& name) {
  name.limit = kModuleNameSize - 1;
  u8 c = next_char();
  while (!line_end(c)) {
    name.put(c);
    c = next_char();
  }
  while (name.length > 0 && (name.text[name.length - 1] == ' ' || name.text[name.length - 1] == '\t'))
    --name.length;
  return skip_line(c);
}

// One entry line of a LIN block from its first character `c`: a hexadecimal
// address, ':' or blanks, a decimal line. A line without a line number adds
// nothing. Gives the character after the entry; a malformed address or full
// tables set SymText.Result.
u8 read_lin_entry(u8 c) {
  c = skip_spaces(c);
  if (line_end(c)) return c;
  u16 address = 0;
  c = sym_read_hex(c, address);
  if (SymText.Result != kLoadDone) return c;
  if (c == ':') c = next_char();
  c = skip_spaces(c);
  u32 line = 0;
  bool any = false;
  for (; sym_dec_digit(c, line) == 0; c = next_char()) {
    any = true;
    line = std::min<u32>(line, 0x10000);  // out of range either way; never wraps back into it
  }
  if (any && !add_line(line, address)) SymText.Result = kLoadFull;
  return c;
}

}  // namespace

u16 sym_scan_for(std::string_view text) {
  if (text.empty()) return 0;
  text = text.substr(0, kScanMax);
  // The last text.size() characters read, compared after each character.
  std::array<char, kScanMax> window{};
  std::size_t seen = 0;
  for (;;) {
    const u8 c = next_char();
    if (c == kEnd) return 1;
    if (seen < text.size()) {
      window[seen++] = char(c);
    } else {
      std::memmove(window.data(), window.data() + 1, text.size() - 1);
      window[text.size() - 1] = char(c);
    }
    if (seen == text.size() && std::string_view(window.data(), seen) == text) return 0;
  }
}

u8 sym_read_hex(u8 c, u16& out) {
  u32 value = 0;
  while (c != ':' && c > 0x20) {
    if (sym_hex_digit(c, value) != 0) {
      SymText.Result = kLoadBadFormat;
      return kEnd;
    }
    value &= 0xFFFF;
    c = next_char();
  }
  out = u16(value);
  return c;
}

u8 sym_skip_blanks(u8 c) {
  while (c <= 0x20 && c != kEnd) c = next_char();
  return c;
}

u16 sym_load_lin_modules_kind16(const char* map_path) {
  const std::string_view map = path_text(map_path);
  const std::string_view folder = folder_of(map);
  const std::string_view extension = bounded(Sw.DefaultSourceExtension, kExtensionSize - 1);
  TextFile file(map);
  while (SymText.Result == kLoadDone && sym_scan_for(kModuleMark) == 0) {
    Token name;
    name.limit = kModuleNameSize - 1;
    read_token(next_char(), name, ">");
    char lin_path[kSymTextPathSize];
    char module[kModuleNameSize];
    const bool has_dot = name.view().find('.') != std::string_view::npos;
    if (name.cut || name.length == 0 || !join(lin_path, {folder, name.view(), ".lin"}) ||
        !join(module, {name.view(), has_dot ? std::string_view() : extension}))
      continue;  // too long to name its files: no lines for it
    const int handle = sup_file_open(lin_path, kFileModeRead);
    if (handle == -1) continue;  // no lines known for this module
    SupFileCloser closer(handle);
    u16 base1 = 0;
    u16 base2 = 0;
    if (!value_after_equals(base1) || !value_after_equals(base2)) break;
    SymText.Result = load_lin_module(handle, module, LinWord::Selector, base1, base2);
  }
  return SymText.Result;
}

u16 sym_load_obj_modules_kind2(const char* map_path) {
  const std::string_view map = path_text(map_path);
  const std::string_view folder = folder_of(map);
  TextFile file(map);
  if (sym_scan_for(kMachineMark) != 0) return SymText.Result;
  u8 c = skip_line(next_char());
  while (SymText.Result == kLoadDone && c != kEnd) {
    c = next_char();  // the first character of a line
    if (c <= 0x20) {  // a line that starts blank lists no object file
      c = skip_line(c);
      continue;
    }
    Token object;
    object.limit = kSymTextPathSize - 1;
    c = read_token(c, object);
    const std::string_view tail(object.tail, 3);
    if (tail != "obj" && tail != "OBJ") break;  // the list ends
    Token ignored;
    c = skip_spaces(read_token(skip_spaces(c), ignored));
    if (line_end(c) || ignored.length == 0) {
      SymText.Result = kLoadBadFormat;  // an object file without its base
      break;
    }
    u16 base = 0;
    c = skip_line(sym_read_hex(c, base));
    if (SymText.Result != kLoadDone) break;

    // The object's file name (its folder dropped) with "lin" and with "c" in
    // place of "obj".
    const std::string_view whole = object.view();
    std::string_view stem = whole.substr(file_part(whole));
    stem.remove_suffix(std::min<std::size_t>(stem.size(), 3));
    char lin_path[kSymTextPathSize];
    char module[kModuleNameSize];
    if (object.cut || !join(lin_path, {folder, stem, "lin"}) || !join(module, {stem, "c"}))
      continue;  // too long to name its files: no lines for it
    const int handle = sup_file_open(lin_path, kFileModeRead);
    if (handle == -1) continue;  // no lines known for this module
    SupFileCloser closer(handle);
    SymText.Result = load_lin_module(handle, module, LinWord::Whole, base, base);
  }
  return SymText.Result;
}

u16 sym_load_lin_text() {
  bool in_block = false;
  // The first character stands for the '*' that opens the first block.
  u8 c = next_char();
  bool star = true;
  while (c != kEnd && SymText.Result == kLoadDone) {
    if (star) {
      // A '*' at the start of a line ends the block; "*** " begins the next.
      if (in_block) sym_end_module();
      in_block = false;
      std::size_t matched = 0;
      c = next_char();
      while (matched < kLinBlockMark.size() && c == u8(kLinBlockMark[matched])) {
        if (++matched < kLinBlockMark.size()) c = next_char();
      }
      if (matched == kLinBlockMark.size()) {
        Token name;
        c = read_block_name(name);
        if (name.length > 0) {
          if (!begin_module(name.c_str())) {
            SymText.Result = kLoadFull;
            break;
          }
          in_block = true;
        }
      } else {
        c = skip_line(c);
      }
    } else if (in_block) {
      c = skip_line(read_lin_entry(c));
    } else {
      c = skip_line(c);
    }
    if (c == kEnd) break;
    c = next_char();  // the first character of the next line
    star = c == '*';
  }
  if (in_block) sym_end_module();
  return SymText.Result;
}

u16 sym_load_text_map(const char* path, u16 type) {
  const u16 kind = Sw.ToolchainKind;
  const u16 layout = type == kDebugSymbolFile ? kLayoutPlain
                     : kind == 1              ? kLayoutAfterTabs
                     : kind == 2              ? kLayoutTable
                                              : kLayoutPlain;
  const bool replace = !sym_is_empty();
  sym_close_source_files();
  SymText = SymTextState{};
  const u16 binary_read = SymSource.BinaryRead;
  SymSource.BinaryRead = 0;  // 0x1A ends a text

  const std::string_view name = path_text(path);
  {
    TextFile file(name);
    if (!file.is_open()) {
      SymSource.BinaryRead = binary_read;
      return kLoadNoDebugInfo;
    }
    read_symbols(layout, replace);
  }

  if (SymText.Result == kLoadDone) {
    SymFlag.CaseSensitive = type == kDebugSymbolFile ? 0 : 1;
    char companion[kSymTextPathSize];
    if (kind == 1) {
      if (with_extension(name, "LIN", companion)) {
        TextFile lin(companion);
        if (lin.is_open()) sym_load_lin_text();
      }
      dbi_define_helpers();
    } else if (kind == 2) {
      sym_load_obj_modules_kind2(path);
      // The step commands look the compiler's helpers ("ncsv", "csv",
      // "indir") up by name themselves; only the code range is kept.
      u16 low = 0;
      u16 high = 0;
      sym_lookup_value("__Ltext", low);
      sym_lookup_value("__Htext", high);
      SymFlag.CodeLow = low;
      SymFlag.CodeHigh = high;
    } else if (kind == 16) {
      if (with_extension(name, "MAP", companion)) sym_load_lin_modules_kind16(companion);
    }
  }
  SymSource.BinaryRead = binary_read;
  return SymText.Result;
}
