// Primary operands, register names, source-line references and cast type
// names. Every reader works at Exp.Cursor inside the evaluator's own text
// copy and stops at its terminator; nothing here writes into the text.
#include "halv80/symbols/exp_operand.h"

#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_eval.h"
#include "halv80/symbols/exp_types.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_text.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_word_char(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool is_blank(char c) { return c == ' ' || c == '\t'; }
const char* skip_spaces(const char* p) {
  while (is_blank(*p)) ++p;
  return p;
}

void fail(u16 code = kExpSyntax) {
  if (Exp.AbortWord == 0) Exp.AbortWord = code;
}

// A computed scalar: class 0, flags 0x80, no bit field.
void set_computed(ExprValue& item, u32 value) {
  item.storage_class = kStorageComputed;
  item.flags = kValueScalar;
  item.bit_field.set(0);
  item.value.set(value);
}

// --- Registers and built-in values --------------------------------------------

// "_" and a register name that ends exactly where the name ends: the
// register's value as unsigned int. The register command's name parser reads
// at the scanner cursor, which is lent to it for the one call.
bool register_operand(ExprValue& item) {
  const char* end = exp_token_end(Exp.Cursor);
  const char* saved = Cmd.ScannerCursor;
  Cmd.ScannerCursor = Exp.Cursor + 1;
  const int n = reg_match_name(true);
  const char* after = Cmd.ScannerCursor;
  Cmd.ScannerCursor = saved;
  if (n < 0 || after != end) return false;
  set_computed(item, reg_get(n));
  item.type.set(kTypeUInt);
  Exp.Cursor += end - Exp.Cursor;
  return true;
}

// The timer's counts are in 0.1 us units at resolution 0; the engine keeps no
// other resolution, so they are taken as they are.
u32 builtin_error() { return u32(i32(i16(Mac.LineError))); }
u32 builtin_run() { return Run.ExecutionState; }
u32 builtin_rtc() { return EmuCtl.LastRunTime; }
u32 builtin_timer_max() { return EmuCtl.TimerMax; }
u32 builtin_timer_min() { return EmuCtl.TimerMin; }
u32 builtin_timer_average() { return EmuCtl.TimerAverage; }
u32 builtin_timer_count() { return EmuCtl.TimerCount; }
u32 builtin_timer_last() { return EmuCtl.TimerLast; }

struct Builtin {
  std::string_view text;
  u32 (*value)();
};
// Matched in this order, any case, as a prefix of the operand.
constexpr Builtin kBuiltins[] = {
    {"__ERR__", builtin_error},           // the last command line's error state, signed
    {"__RUN__", builtin_run},             // ExecutionState
    {"__RTC_DATA__", builtin_rtc},        // the real-time count last read
    {"__TI_MAX__", builtin_timer_max},
    {"__TI_MIN__", builtin_timer_min},
    {"__TI_AVG__", builtin_timer_average},
    {"__TI_ACQ__", builtin_timer_count},  // acquisitions, unscaled
    {"__TI_DATA__", builtin_timer_last},
};

bool builtin_operand(ExprValue& item) {
  for (const Builtin& b : kBuiltins) {
    const char* after = sup_match_prefix_nocase(b.text, Exp.Cursor);
    if (after == nullptr) continue;
    set_computed(item, b.value());
    Exp.Cursor += after - Exp.Cursor;
    return true;
  }
  return false;
}

// --- Names ---------------------------------------------------------------------

// The scope record of a local (innermost block outward) or else a static item
// of the scope's module; null when there is none.
const ScopeRecord* find_variable(std::string_view name) {
  u16 index = sym_find_local(name, Exp.ScopeAddress);
  if (index == 0) index = sym_find_static(name, Exp.ScopeAddress);
  return index == 0 ? nullptr : sym_scope_record(index);
}

void item_from_scope(ExprValue& item, const ScopeRecord& record) {
  exp_value_from_scope(item, record);
  // the scopes keep physical addresses; the evaluator works on logical ones
  if (item.storage_class == kStorageStatic) item.location.set(tgt_to_logical(item.location.get()));
}

// The symbol of a C identifier: stored with its toolchain's prefix first
// ("_name", "?@name"), else under the name itself.
SymRecord* find_symbol(std::string_view name) {
  u16 index = sym_find_by_name(name, kSymFindIdentifier);
  if (index == 0) index = sym_find_by_name(name, kSymFindExact);
  return index == 0 ? nullptr : sym_record(u16(index - 1));
}

// Modes 0 and 1: the value of a variable in scope (an item without a value
// gives its address), else a global symbol's address.
bool command_name(std::string_view name, u32& value) {
  if (const ScopeRecord* record = find_variable(name)) {
    ExprValue v{};
    item_from_scope(v, *record);
    exp_load_value(v);
    if ((v.flags & (kValueScalar | kValueAddress)) != 0) {
      value = v.value.get();
    } else {
      u32 register_value = 0;
      bool is_register = false;
      const u32 address = exp_value_address(v, register_value, is_register);
      value = is_register ? register_value : address;
    }
    return true;
  }
  u16 address = 0;
  if (sym_lookup_value(name, address) == 0) return false;
  value = address;
  return true;
}

// Modes 2 and 3: local, static, global symbol, then (toolchain kind 16) a
// register; found items are loaded.
bool typed_name(ExprValue& item, std::string_view name) {
  if (const ScopeRecord* record = find_variable(name)) {
    item_from_scope(item, *record);
  } else if (SymRecord* symbol = find_symbol(name);
             symbol != nullptr && !(Sw.ToolchainKind == 16 && symbol->type.get() == kNoType)) {
    item.storage_class = kStorageSymbol;
    item.flags = 0;
    item.location.set(tgt_to_logical(symbol->value.get()) & 0xFFFF);
    item.type.set(symbol->type.get());
    item.bit_field.set(0);
    item.value.set(0);
  } else if (const u16 reg = Sw.ToolchainKind == 16 ? exp_find_register(name) : 0; reg != 0) {
    item.storage_class = kStorageRegister;
    item.flags = 0;
    item.location.set((reg & 0x0FFF) - 1u);
    item.type.set((reg & kExpRegisterWord) != 0 ? 0x81 : 0x80);
    item.bit_field.set(0);
    item.value.set(0);
  } else {
    return false;
  }
  // a function has no value of its own: only a call may follow
  if (exp_type_size(item.type.get()) == 0)
    fail(kExpFunctionName);
  else
    exp_load_value(item);
  return true;
}

// --- Numbers -------------------------------------------------------------------

int digit_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

u32 number_at_cursor(u16 radix) {
  const char* p = Exp.Cursor;
  const u32 value = exp_parse_number(p, radix);
  Exp.Cursor += p - Exp.Cursor;
  return value;
}

// A decimal (or "0X" hexadecimal) count up to `limit` for a declarator or a
// line; false when there is no digit or it is larger.
bool bounded_number(const char*& p, u32 limit, u32& out) {
  u32 radix = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    radix = 16;
    p += 2;
  }
  u32 value = 0;
  bool any = false;
  for (int d; (d = digit_value(*p)) < int(radix); ++p) {
    value = value * radix + u32(d);
    if (value > limit) return false;
    any = true;
  }
  out = value;
  return any;
}

// '?' and a digit d: the d-th word above the frame of the current function,
// as the call-stack walker reads it; the walk must show more than d + 1
// entries (the return address and d words).
u32 frame_word() {
  ++Exp.Cursor;  // the '?'
  if (!is_digit(*Exp.Cursor)) {
    fail();
    return 0;
  }
  const u16 d = u16(*Exp.Cursor++ - '0');
  if ((Run.ExecutionState & kExecRunning) != 0 || stk_one_step(kWalkSilent) <= d + 1) {
    fail();
    return 0;
  }
  return stk_frame_word(d);
}

// '.' and a source-line reference: the first address of that line.
u32 line_address() {
  ++Exp.Cursor;
  const char* p = Exp.Cursor;
  u16 line = 0;
  if (exp_parse_line_spec(p, line) != 0) {
    fail();
    return 0;
  }
  Exp.Cursor += p - Exp.Cursor;
  if (line == 0) line = 1;
  u16 address = 0;
  const i32 found = sym_address_from_line(Exp.LineFile, line, address);
  if (found < 0 || found == kNoLine) fail();
  return address;
}

// --- Cast type names --------------------------------------------------------------

// ORDER CAST: a keyword's number is its position + 1.
constexpr std::string_view kCastKeywords[] = {
    "unsigned", "signed", "short", "long", "register",  // modifiers
    "void", "char", "int", "float", "double", "struct", "union", "uchar", "uint", "ulong",
};
constexpr int kFirstTypeKeyword = 6;  // "void"
constexpr int kKeywordUnsigned = 1, kKeywordLong = 4, kKeywordChar = 7, kKeywordInt = 8;
constexpr int kKeywordFloat = 9, kKeywordDouble = 10, kKeywordStruct = 11, kKeywordUnion = 12;
// Size classes of the keywords from "void" on (struct and union have none).
constexpr u8 kKeywordClass[] = {1, 2, 4, 14, 15, 0, 0, 8, 10, 12};
static_assert(std::size(kKeywordClass) == std::size(kCastKeywords) - kFirstTypeKeyword + 1);
// The size class of each base nibble; a base code is 0x80 | the nibble.
constexpr u8 kNibbleClass[16] = {2, 4, 6, 7, 8, 10, 12, 13, 14, 15, 0, 0, 0, 0, 3, 1};
constexpr u8 kClassInt = 4;

int keyword_number(std::string_view word) {
  for (std::size_t i = 0; i < std::size(kCastKeywords); ++i)
    if (kCastKeywords[i] == word) return int(i + 1);
  return 0;
}

std::string_view read_word(const char*& p) {
  const char* start = p;
  while (is_word_char(*p)) ++p;
  return {start, std::size_t(p - start)};
}

u32 base_code_of_class(u8 size_class) {
  if (size_class != 0)
    for (u32 nibble = 0; nibble < 16; ++nibble)
      if (kNibbleClass[nibble] == size_class) return 0x80 | nibble;
  return 0x81;  // int
}

// The struct or union record whose tag is `tag`; 0 none.
u32 find_struct(std::string_view tag) {
  for (u32 slot = 0; slot < Types.SlotCount; ++slot) {
    const u32 code = kFirstTypeIndex + slot;
    std::span<const u8> record;
    if (!sym_type_record(code, record) || (record[0] != kKindStruct && record[0] != kKindUnion)) continue;
    TypeFieldReader r(record, 1);
    u32 bytes = 0;
    u32 count = 0;
    std::span<const u8> name;
    if (!r.size(bytes) || !r.count(count) || !r.name(name)) continue;
    if (name.size() == tag.size() && std::memcmp(name.data(), tag.data(), tag.size()) == 0) return code;
  }
  return kNoType;
}

// An array record of `count` elements of `element`; 0 when it is too large
// to describe or the store is full.
u32 make_array_type(u32 count, u32 element) {
  const u64 size = u64(count) * exp_type_size(element);
  if (size > 0x1FFFFFFF) return kNoType;  // its size field would not hold it
  u8 record[1 + kSizeFieldMax + kTypeFieldSize];
  std::size_t n = 0;
  record[n++] = kKindArray;
  n += sym_type_put_size(std::span(record).subspan(n), sym_array_holds_count() ? count : u32(size));
  n += sym_type_put_type(std::span(record).subspan(n), element);
  return exp_add_type_record(std::span(record, n));
}

// The modifier list from its first word on: the size class, or 0 when a word
// that is no type follows. `p` stays before a word that is not taken.
u8 modifier_class(int keyword, const char*& p) {
  u8 size_class = kClassInt;
  bool made_unsigned = false;
  for (;;) {
    if (keyword == kKeywordUnsigned) {
      made_unsigned = true;
      if (size_class < 10) size_class = u8(size_class + 6);
    } else if (keyword == kKeywordLong) {
      if (size_class % 6 != 0) size_class = u8(size_class + 2);
    }
    const char* next = skip_spaces(p);
    const char* after = next;
    const std::string_view word = read_word(after);
    if (word.empty()) return size_class;  // no further word: the text is left unread
    keyword = keyword_number(word);
    if (keyword == kKeywordChar) {
      p = after;
      return made_unsigned ? 8 : 2;
    }
    if (keyword == kKeywordInt) {
      p = after;
      return size_class;
    }
    if (keyword < 1 || keyword >= kFirstTypeKeyword) return 0;
    p = after;
  }
}

// "[n]" up to kExpCastDimensions times (only the first may be empty), built
// from the innermost dimension outward; an empty first dimension makes a
// pointer. False for a bad declarator.
bool array_declarator(const char*& p, u32& type, u8& flags) {
  u32 counts[kExpCastDimensions]{};
  bool first_empty = false;
  int dimensions = 0;
  while (*p == '[') {
    if (dimensions == kExpCastDimensions) return false;  // one dimension too many
    p = skip_spaces(p + 1);
    u32 count = 0;
    if (*p == ']') {
      if (dimensions != 0) return false;
      first_empty = true;
    } else if (!bounded_number(p, 0xFFFF, count)) {
      return false;
    }
    p = skip_spaces(p);
    if (*p != ']') return false;
    counts[dimensions++] = count;
    p = skip_spaces(p + 1);
  }
  if (*p != ')') return false;
  for (int i = dimensions - 1; i >= 0; --i) {
    if (i == 0 && first_empty) {
      type = exp_make_pointer_type(type, kPointerNear);
      flags = kValueAddress;
    } else {
      type = make_array_type(counts[i], type);
    }
    if (type == kNoType) return false;
  }
  return true;
}

}  // namespace

// --- Public readers -----------------------------------------------------------------

u32 exp_parse_number(const char*& cursor, u16 radix) {
  u32 value = 0;
  bool any = false;
  for (;; ++cursor) {
    const char c = *cursor;
    if (c == '_' && any && (radix == 16 || radix == 2)) continue;
    const int d = digit_value(c);
    if (d >= radix) break;
    value = value * radix + u32(d);  // wraps at 32 bits
    any = true;
  }
  if (!any) fail();
  return value;
}

u32 exp_char_constant() {
  const char* p = Exp.Cursor + 1;  // after the apostrophe
  u32 value = 0;
  bool any = false;
  while (*p != '\'' && u8(*p) >= 32) {
    u32 c = u8(*p++);
    if (c == '\\' && u8(*p) >= 32) {
      const char e = *p++;
      constexpr std::string_view kEscapes = "abtnvfr";
      if (const std::size_t at = kEscapes.find(e); at != std::string_view::npos)
        c = u32(7 + at);
      else if (e == 'x' || e == 'X')
        c = exp_parse_number(p, 16);
      else if (e >= '0' && e <= '7')
        c = exp_parse_number(--p, 8);
      else
        c = u8(e);
    }
    value = value * 256 + c;
    any = true;
  }
  if (*p == '\'') ++p;
  if (!any) fail();  // an empty constant
  Exp.Cursor += p - Exp.Cursor;
  return value;
}

const char* exp_token_end(const char* text) {
  const char* p = text;
  for (;;) {
    const char c = *p;
    if (c == '\0') return p;
    if (c == ':' && p[1] == ':') {  // part of a qualified name
      p += 2;
      continue;
    }
    if (host_cp932_lead(u8(c))) {
      p += p[1] != '\0' ? 2 : 1;  // a lead byte at the very end is one unit
      continue;
    }
    if (std::strchr(kExpOperatorChars, c) != nullptr) return p;
    // only toolchain kind 16 takes '?' into its names
    if (c == '?' && Sw.ToolchainKind != 16) return p;
    ++p;
  }
}

u16 exp_find_register(std::string_view name) {
  if (name.empty() || name.size() > 2) return 0;
  for (int i = 0; i < kRegCount; ++i) {
    const std::string_view entry = RegisterTable[i].name;
    if (entry.size() != name.size()) continue;
    bool equal = true;
    for (std::size_t k = 0; k < name.size(); ++k)
      if (host_ascii_upper(name[k]) != entry[k]) equal = false;
    if (equal) return u16((i + 1) | (RegisterTable[i].size == kRegWord ? kExpRegisterWord : 0));
  }
  return 0;
}

namespace {

constexpr u16 kHeaderSearchLines = 40;

// The file name of module `index` into `out`; false when there is none.
bool module_file_name(u16 index, char (&out)[kModuleNameSize]) {
  const ModuleRecord* m = sym_module_record(index);
  if (m == nullptr) return false;
  sym_name_text(m->file_name.get(), out, sizeof out);
  return out[0] != '\0';
}

// Does `text` begin, after blanks and '*' characters, with `name` followed by
// '(' (blanks allowed between)?
bool starts_function_header(const char* text, std::string_view name) {
  while (*text == ' ' || *text == '\t' || *text == '*') ++text;
  if (std::strncmp(text, name.data(), name.size()) != 0) return false;
  text += name.size();
  while (*text == ' ' || *text == '\t') ++text;
  return *text == '(';
}

// Searches the source of the module that holds the nearest line after the
// last failed sym_line_from_address backwards from that line, at most 40
// lines, for the header of function `name`; its file into `file` and its
// line into `line`. False when there is no such line or no source.
bool find_function_header(std::string_view name, char (&file)[kModuleNameSize], u16& line) {
  if (SymModules.NearestModule == kNoModule || SymModules.NearestLine == 0) return false;
  if (!module_file_name(SymModules.NearestModule, file)) return false;

  const u16 saved_mode = SymSource.OutputMode;
  SymSource.OutputMode = kSourceToText;
  bool found = false;
  u32 n = SymModules.NearestLine;
  for (u16 tries = 0; n >= 1 && tries < kHeaderSearchLines; --n, ++tries) {
    if (sym_show_source_line(file, u16(n)) == 0) continue;  // past the end, or no source
    if (starts_function_header(SymSource.Text, name)) {
      found = true;
      break;
    }
  }
  SymSource.OutputMode = saved_mode;
  if (found) line = u16(n);
  return found;
}

}  // namespace

bool exp_shown_source_file(char (&out)[kModuleNameSize]) {
  return Lst.ListingMode == kListingSource && SymModules.HasCurrent != 0 &&
         module_file_name(SymModules.Current, out);
}

u16 exp_parse_line_spec(const char*& cursor, u16& line) {
  const char* p = cursor;
  if (*p == ':') return 1;
  const char* q = p;
  while (*q != '\0') {
    if (*q == ':') {
      if (q[1] != ':') break;
      q += 2;
      continue;
    }
    if (host_cp932_lead(u8(*q))) {
      q += q[1] != '\0' ? 2 : 1;
      continue;
    }
    if (*q != '.' && std::strchr(kExpOperatorChars, *q) != nullptr) break;
    ++q;
  }
  const std::size_t length = std::size_t(q - p);

  if (*q == ':') {  // file:line
    if (length >= sizeof Exp.LineFile) return 1;
    for (std::size_t i = 0; i < length; ++i) Exp.LineFile[i] = host_ascii_upper(p[i]);
    Exp.LineFile[length] = '\0';
    q = skip_spaces(q + 1);
    u32 number = 0;
    if (is_digit(*q) && !bounded_number(q, 0xFFFF, number)) return 1;
    line = u16(number);
    cursor = q;
    return 0;
  }
  // A line number alone names a line of the file the code window shows.
  if (is_digit(*p)) {
    if (!exp_shown_source_file(Exp.LineFile)) return 1;
    u32 number = 0;
    if (!bounded_number(q = p, 0xFFFF, number)) return 1;
    line = u16(number);
    cursor = q;
    return 0;
  }

  u32 address = Run.Regs.pc;  // an empty reference is the PC
  if (length != 0) {
    u16 value = 0;
    if (sym_lookup_value(std::string_view(p, length), value) == 0) return 1;
    address = value;
  }
  u16 found = 0;
  const char* file = sym_line_from_address(address, found);
  char header_file[kModuleNameSize];
  if (file == nullptr) {
    // No line starts there (a function's code often begins before its first
    // line record): take the function's header line in the source above the
    // nearest following line.
    if (length == 0 || !find_function_header(std::string_view(p, length), header_file, found))
      return 1;
    file = header_file;
  }
  const std::size_t file_length = strnlen(file, kModuleNameSize);
  if (file_length >= sizeof Exp.LineFile) return 1;
  std::memcpy(Exp.LineFile, file, file_length);
  Exp.LineFile[file_length] = '\0';

  i32 number = found;
  if ((*q == '+' || *q == '-') && is_digit(q[1])) {
    const bool minus = *q == '-';
    ++q;
    u32 offset = 0;
    if (!bounded_number(q, 0xFFFF, offset)) return 1;
    number += minus ? -i32(offset) : i32(offset);
    if (number < 0 || number > 0xFFFF) return 1;
  }
  line = u16(number);
  cursor = q;
  return 0;
}

const char* exp_parse_cast_type(ExprValue& item, const char* text) {
  const char* p = skip_spaces(text);
  const int keyword = keyword_number(read_word(p));
  if (keyword == 0) return nullptr;
  u8 flags = kValueScalar;
  u32 type = kNoType;
  if (keyword == kKeywordStruct || keyword == kKeywordUnion) {
    p = skip_spaces(p);
    type = find_struct(read_word(p));
    if (type == kNoType) return nullptr;
    flags = 0;
  } else if (keyword >= kFirstTypeKeyword) {
    type = base_code_of_class(kKeywordClass[keyword - kFirstTypeKeyword]);
    if (keyword == kKeywordFloat || keyword == kKeywordDouble) flags = 0;
  } else {
    const u8 size_class = modifier_class(keyword, p);
    if (size_class == 0) return nullptr;
    type = base_code_of_class(size_class);
  }

  for (;;) {
    p = skip_spaces(p);
    if (*p == ')') break;
    if (*p == '*') {
      type = exp_make_pointer_type(type, kPointerNear);
      if (type == kNoType) return nullptr;
      flags = kValueAddress;
      ++p;
    } else if (*p == '[') {
      if (!array_declarator(p, type, flags)) return nullptr;
    } else {
      return nullptr;
    }
  }
  item.type.set(type);
  item.flags = flags;
  return p + 1;
}

u32 exp_add_type_record(std::span<const u8> record) {
  // above every slot in use: loaded types are never overwritten
  const u32 index = kFirstTypeIndex + Types.SlotCount;
  if (Types.SlotCount >= kTypeSlotLimit || !sym_type_define_bytes(index, record)) {
    Exp.AbortWord = kExpTypeStoreFull;
    return kNoType;
  }
  return index;
}

u32 exp_make_pointer_type(u32 target, u8 pointer_kind) {
  u8 record[2 + kTypeFieldSize] = {kKindPointer, pointer_kind};
  sym_type_put_type(std::span(record).subspan(2), target);
  return exp_add_type_record(record);
}

void exp_primary(ExprValue& item) {
  const i16 mode = Exp.Mode;
  const bool typed = mode >= kExpModeTyped;
  if (mode != kExpModeAssembler && *Exp.Cursor == '_' && register_operand(item)) return;
  if (mode == kExpModeCommand && builtin_operand(item)) return;

  item.type.set(kTypeUntyped);
  const char c = *Exp.Cursor;
  const char next = c != '\0' ? Exp.Cursor[1] : '\0';
  u32 value = 0;
  bool number = false;  // a number, which may carry the 'L' suffix
  if (!typed && c == '@') {
    ++Exp.Cursor;
    value = number_at_cursor(2);
    number = true;
  } else if (!typed && c == '\\') {
    ++Exp.Cursor;
    value = number_at_cursor(8);
    number = true;
  } else if (!typed && c == '_' && is_digit(next)) {
    ++Exp.Cursor;
    value = number_at_cursor(10);
    number = true;
  } else if (!typed && c == '?') {
    value = frame_word();
  } else if (!typed && c == '$') {
    ++Exp.Cursor;
    value = number_at_cursor(16);
    number = true;
  } else if (!typed && c == '.') {
    value = line_address();
  } else if (c == '\'') {
    value = exp_char_constant();
  } else if (c == '0' && (next == 'x' || next == 'X')) {
    Exp.Cursor += 2;
    value = number_at_cursor(16);
    number = true;
  } else if (typed && c == '0') {
    value = number_at_cursor(8);
    number = true;
  } else if (is_digit(c)) {
    value = number_at_cursor(typed ? 10 : Cmd.Radix);
    number = true;
  } else {
    // a name, looked up with its end as a limit
    const char* end = exp_token_end(Exp.Cursor);
    const std::string_view name(Exp.Cursor, std::size_t(end - Exp.Cursor));
    if (!name.empty()) {
      if (typed) {
        if (typed_name(item, name)) {
          Exp.Cursor += end - Exp.Cursor;
          return;
        }
      } else if (command_name(name, value)) {
        Exp.Cursor += end - Exp.Cursor;
        set_computed(item, value);
        return;
      }
    }
    // no such name: a number from its first character
    value = number_at_cursor(typed ? 10 : Cmd.Radix);
    number = true;
  }
  if (number && (*Exp.Cursor == 'L' || *Exp.Cursor == 'l')) {
    ++Exp.Cursor;
    item.type.set(kTypeLong);
  }
  set_computed(item, value);
}
