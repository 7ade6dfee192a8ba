#include "halv80/symbols/dbi_lsi.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/dbi_d01.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_file.h"

constinit LsiState Lsi;

namespace {

constexpr u8 kEndOfText = 0x1A;
constexpr std::size_t kItemFields = 7;     // fields of an "@@" record, six '@' between them
constexpr std::size_t kGlobalFields = 5;   // name, two unused, module, type
constexpr std::size_t kNameColumn = 5;     // a .lin "*" line's file name starts here
constexpr u16 kLastFunctionSize = 255;     // a function with no symbol above it
constexpr u32 kFunctionReturn = 0x85;      // functions made for item records return this
constexpr std::int64_t kDecimalMax = 0x7FFFFFFF;

enum class LineRead { Line, End, Bad };

// --- text helpers

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Exactly `digits` hexadecimal digits at the start of `text`.
bool hex_at(std::string_view text, std::size_t digits, u32& out) {
  if (text.size() < digits) return false;
  out = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const int d = hex_digit(text[i]);
    if (d < 0) return false;
    out = out << 4 | u32(d);
  }
  return true;
}

// A signed decimal at `at` ('+' or '-' allowed); `at` moves past it.
bool decimal(std::string_view text, std::size_t& at, std::int64_t& out) {
  std::size_t i = at;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t first = i;
  std::int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i++] - '0');
    if (value > kDecimalMax) return false;
  }
  if (i == first) return false;  // no digit
  at = i;
  out = negative ? -value : value;
  return true;
}

// The whole of `text` as a signed decimal.
bool decimal_only(std::string_view text, std::int64_t& out) {
  std::size_t at = 0;
  return decimal(text, at, out) && at == text.size();
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> out;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(separator, from);
    if (at == std::string_view::npos) {
      out.push_back(text.substr(from));
      return out;
    }
    out.push_back(text.substr(from, at - from));
    from = at + 1;
  }
}

// Four hexadecimal digits and a tab in column 4.
bool is_symbol_line(std::string_view line) {
  u32 ignored = 0;
  return line.size() >= 5 && line[4] == '\t' && hex_at(line, 4, ignored);
}

// A name, a tab and '=': a memory area.
bool is_area_line(std::string_view line) {
  const std::size_t tab = line.find('\t');
  return tab != std::string_view::npos && tab > 0 && tab + 1 < line.size() && line[tab + 1] == '=';
}

bool is_type_letter(char c) { return c == 'E' || c == 'T' || c == 'X' || c == 'Y'; }

// --- the line reader

class LineReader {
 public:
  // Reads the next line into `line`, without its end.
  LineRead next(std::string& line) {
    line.clear();
    if (ended_) return LineRead::End;
    dbi_buffer_refill();
    for (;;) {
      u8 c = 0;
      if (!dbi_read_u8(c)) return line.empty() ? LineRead::End : LineRead::Bad;  // a cut last line
      if (c == '\r') {
        if (dbi_buffer_ensure(1) && DbiBuf.Data[DbiBuf.Cursor] == '\n') DbiBuf.Cursor += 1;
        return LineRead::Line;
      }
      if (c == '\n') return LineRead::Line;
      if (c == kEndOfText) {
        ended_ = true;
        return line.empty() ? LineRead::End : LineRead::Line;
      }
      if (line.size() >= kLsiLineMax) return LineRead::Bad;
      line += char(c);
    }
  }
  // Starts again at file position `at`.
  bool start(int handle, u32 at) {
    ended_ = false;
    return dbi_buffer_start(handle, at);
  }
  u32 position() const { return dbi_buffer_position(); }

 private:
  bool ended_ = false;
};

struct Derivation {
  char kind;  // 'P', 'A' or 'F'
  u32 count;  // of an array
};

class LsiLoader {
 public:
  i16 load(const std::string& lsi_path) {
    {
      const SupFileCloser file(sup_file_open(lsi_path, kFileModeRead));
      if (file.handle == -1) return kLoadNoDebugInfo;
      handle_ = file.handle;
      if (!areas_pass() || !types_pass() || !symbols_pass() || !globals_pass()) return fail();
      handle_ = -1;
    }
    const std::size_t dot = lsi_path.rfind('.');
    const std::size_t name_start = lsi_path.find_last_of("\\/:");
    std::string lin_path = lsi_path;
    if (dot != std::string::npos && (name_start == std::string::npos || dot > name_start)) lin_path.erase(dot);
    lin_path += ".lin";
    const SupFileCloser lin(sup_file_open(lin_path, kFileModeRead));
    if (lin.handle == -1) return kLoadNoDebugInfo;
    handle_ = lin.handle;
    if (!lines_pass()) return fail();
    handle_ = -1;
    return kLoadDone;
  }

 private:
  i16 fail() {
    handle_ = -1;
    return result_ == kLoadDone ? kLoadBadFormat : result_;
  }
  bool bad() {
    if (result_ == kLoadDone) result_ = kLoadBadFormat;
    return false;
  }
  bool full() {
    if (result_ == kLoadDone) result_ = kLoadFull;
    return false;
  }

  // Reads the lines from file position `from` on; visit(line, position of
  // the line) returns false to fail, and `stop` at the line's position ends
  // the reading before it.
  template <typename Visit>
  bool each_line(u32 from, u32 stop, Visit visit) {
    LineReader reader;
    if (!reader.start(handle_, from)) return bad();
    std::string line;
    for (;;) {
      const u32 at = reader.position();
      if (at >= stop) return true;
      const LineRead r = reader.next(line);
      if (r == LineRead::End) return true;
      if (r == LineRead::Bad) return bad();
      if (!visit(line, at)) return false;
    }
  }

  static bool mapping_in_force() { return Cfg.MmuKind != kMmuNone && TgtMmu.DescriptorCount != 0; }

  // --- pass 1: memory areas, and where the type section starts

  bool areas_pass() {
    bool symbols_seen = false;
    int pending_logical = 0;  // 2: the area's logical start is on the line after next
    u32 area_start = 0, area_end = 0;
    return each_line(0, kNoStop, [&](const std::string& line, u32 at) {
      if (type_start_ != kNoStop) {
        if (!line.empty() && is_type_letter(line[0])) ++type_lines_;
        return true;
      }
      if (pending_logical != 0) {
        if (--pending_logical != 0) return true;
        // "= xxxx": the logical start of the area two lines above
        const std::size_t eq = line.find('=');
        u32 logical = 0;
        if (eq == std::string::npos || eq + 2 > line.size() || line[eq + 1] != ' ' ||
            !hex_at(std::string_view(line).substr(eq + 2), 4, logical))
          return bad();
        if (!tgt_add_bank_descriptor(area_start, u16(logical), u16(area_end - area_start + 1))) return full();
        return true;
      }
      if (is_symbol_line(line)) {
        symbols_seen = true;
        return true;
      }
      if (!symbols_seen && is_area_line(line)) return area(line, pending_logical, area_start, area_end);
      if (!line.empty() && (is_type_letter(line[0]) || line[0] == 'G')) {
        type_start_ = at;
        if (is_type_letter(line[0])) ++type_lines_;
      }
      return true;
    });
  }

  bool area(std::string_view line, int& pending_logical, u32& start, u32& end) {
    const std::size_t tab = line.find('\t');
    const std::string_view name = line.substr(0, tab);
    const std::string_view value = line.substr(tab + 1);  // "= ..."
    if (name == "CODE") return true;
    if (value.size() < 2 || value[1] != ' ') return bad();
    const std::string_view digits = value.substr(2);
    if (name == "DATA") {
      u32 data = 0;
      if (!hex_at(digits, 4, data)) return bad();
      Lsi.DataStart = u16(data);
      SymFlag.CodeHigh = data;
      return true;
    }
    // "= sssssssss-eeeeeeee", the '-' at its place
    if (digits.size() < 17 || digits[8] != '-' || !hex_at(digits, 8, start) || !hex_at(digits.substr(9), 8, end))
      return bad();
    if (end < start || end - start >= 0xFFFF) return bad();  // the size is 16-bit
    pending_logical = 2;
    return true;
  }

  // --- pass 2: type definitions

  // The type base of module `module` (the slot of its type number 0); false
  // when the module has no type lines.
  bool base_of(std::string_view module, std::int64_t& base) const {
    for (const auto& [b, name] : bases_)
      if (name == module) {
        base = b;
        return true;
      }
    return false;
  }

  bool types_pass() {
    if (type_start_ == kNoStop) return true;
    next_free_ = type_lines_;
    std::int64_t base = 0;
    std::string previous_module;
    bool first = true;
    u32 lines_read = 0;
    return each_line(type_start_, kNoStop, [&](const std::string& line, u32) {
      if (line.empty() || !is_type_letter(line[0])) return true;
      // "... @module@": the module comes first, for the type base
      if (line.size() < 2 || line.back() != '@') return bad();
      const std::size_t module_at = line.rfind('@', line.size() - 2);
      if (module_at == std::string::npos || module_at == 0) return bad();
      const std::string module = line.substr(module_at + 1, line.size() - module_at - 2);
      if (first || module != previous_module) {
        base = std::int64_t(lines_read) - 1;
        bases_.emplace_back(base, module);
        previous_module = module;
        first = false;
      }
      ++lines_read;
      return type_line(std::string_view(line).substr(0, module_at), base);
    });
  }

  // A user type number of the file as a type code: its slot must be one of
  // the type lines'.
  bool user_type(std::int64_t number, std::int64_t base, u32& code) const {
    const std::int64_t slot = number + base;
    if (slot < 0 || slot >= std::int64_t(type_lines_)) return false;
    code = u32(slot) + kFirstTypeIndex;
    return true;
  }

  // One 'E', 'T', 'X' or 'Y' line up to its module: the letter, the tag up to
  // '{' or '@', then the letter's fields.
  bool type_line(std::string_view text, std::int64_t base) {
    const char letter = text[0];
    const std::size_t tag_end = text.find_first_of("{@", 1);
    if (tag_end == std::string_view::npos) return bad();
    const std::string_view tag = text.substr(1, tag_end - 1);
    if (letter == 'T') {
      // skipped to its '@' and a type number; no record
      std::int64_t number = 0;
      std::size_t at = tag_end + 1;
      return (text[tag_end] == '@' && decimal(text, at, number)) || bad();
    }
    if (text[tag_end] != '{') return bad();
    const std::size_t close = text.find('}', tag_end);
    if (close == std::string_view::npos) return bad();
    const std::string_view body = text.substr(tag_end + 1, close - tag_end - 1);
    std::string_view rest = text.substr(close + 1);
    TypeBuilder builder;
    std::int64_t number = 0;
    if (letter == 'E') {
      if (!decimal_only(rest, number)) return bad();
      builder.enum_record(tag);
      if (!body.empty())
        for (std::string_view member : split_members(body)) {
          const std::size_t at = member.find('@');
          std::int64_t value = 0;
          if (at == std::string_view::npos || !decimal_only(member.substr(at + 1), value)) return bad();
          builder.put_name(member.substr(0, at));
          builder.put_number(u32(value));
        }
    } else {
      // size, one separator, type number
      std::size_t at = 0;
      std::int64_t size = 0;
      if (!decimal(rest, at, size) || size < 0 || size > kLsiSizeMax || at + 1 >= rest.size()) return bad();
      if (!decimal_only(rest.substr(at + 1), number)) return bad();
      struct Member {
        std::string_view name;
        u32 type;
        u32 offset;
      };
      std::vector<Member> members;
      if (!body.empty())
        for (std::string_view member : split_members(body)) {
          const std::vector<std::string_view> f = split(member, '@');
          std::int64_t offset = 0;
          u32 type = 0;
          if (f.size() != 3 || !decimal_only(f[2], offset) || offset < 0 || offset > kLsiSizeMax) return bad();
          if (!descriptor(f[1], base, true, type)) return false;
          members.push_back({f[0], type, u32(offset)});
        }
      if (members.size() > kLsiSizeMax) return bad();
      // 'y', the size in bits as 0x86 + u32, the count, the tag, the member
      // types, then the names with their offsets
      const u32 bits = u32(size) * 8;
      builder.put_byte(kKindStruct);
      builder.put_byte(kFieldWide32);
      for (int shift = 0; shift < 32; shift += 8) builder.put_byte(u8(bits >> shift));
      builder.put_count(u32(members.size()));
      builder.put_name(tag);
      for (const Member& m : members) builder.put_type(m.type);
      for (const Member& m : members) {
        builder.put_name(m.name);
        builder.put_number(m.offset);
      }
    }
    u32 code = 0;
    if (!user_type(number, base, code)) return bad();
    if (builder.failed() || !builder.define(code)) return full();
    return true;
  }

  // Members separated by ',' or '|'.
  static std::vector<std::string_view> split_members(std::string_view body) {
    std::vector<std::string_view> out;
    std::size_t from = 0;
    for (;;) {
      const std::size_t at = body.find_first_of(",|", from);
      out.push_back(body.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
      if (at == std::string_view::npos) return out;
      from = at + 1;
    }
  }

  // A type descriptor: base letters, user types 'X', 'Y', 'E' + number, and
  // the derivations 'P', 'A' + count and 'F' from the outside in. Derived
  // types are records in the free slots after the type lines. `has_base`
  // false: the module has no type lines, so user types cannot be named.
  bool descriptor(std::string_view text, std::int64_t base, bool has_base, u32& code) {
    std::vector<Derivation> derivations;
    bool is_unsigned = false;
    code = kNoType;
    for (std::size_t i = 0; i < text.size();) {
      const char c = text[i++];
      switch (c) {
        case 'U': is_unsigned = true; break;
        case 'c': code = is_unsigned ? 0x84 : 0x80; break;
        case 'i':
        case 's': code = is_unsigned ? 0x85 : 0x81; break;
        case 'l': code = is_unsigned ? 0x86 : 0x82; break;
        case 'f': code = 0x88; break;
        case 'd': code = 0x89; break;
        case 'r':
        case 'v': code = 0x85; break;
        case 'X':
        case 'Y':
        case 'E': {
          std::int64_t number = 0;
          if (!decimal(text, i, number) || !has_base || !user_type(number, base, code)) return bad();
          break;
        }
        case 'P': derivations.push_back({'P', 0}); break;
        case 'F': derivations.push_back({'F', 0}); break;
        case 'A': {
          std::int64_t count = 0;
          if (!decimal(text, i, count) || count < 0 || count > kLsiArrayMax) return bad();
          derivations.push_back({'A', u32(count)});
          break;
        }
        default:
          break;  // 'V', 'S', 'C' and letters of no known meaning ('T' among them) change nothing
      }
    }
    if (derivations.empty()) return true;
    if (derivations.size() == 1 && derivations[0].kind == 'P' && code != kNoType && code < 256) {
      code |= 0x40;  // a pointer to a base type needs no record
      return true;
    }
    if (next_free_ + derivations.size() > kTypeSlotLimit) return full();
    const u32 first = next_free_;
    next_free_ += u32(derivations.size());
    for (std::size_t k = 0; k < derivations.size(); ++k) {
      const u32 target = k + 1 < derivations.size() ? kFirstTypeIndex + first + u32(k) + 1 : code;
      TypeBuilder builder;
      if (derivations[k].kind == 'P') {
        builder.pointer_record('t', target);
      } else if (derivations[k].kind == 'A') {
        builder.put_byte(kKindArray);
        builder.put_size(derivations[k].count);
        builder.put_type(target);
      } else {
        builder.put_byte(kKindFunction);
        builder.put_byte(kFunctionMark);
        builder.put_type(target);
      }
      if (builder.failed() || !builder.define(kFirstTypeIndex + first + u32(k))) return full();
    }
    code = kFirstTypeIndex + first;
    return true;
  }

  // --- pass 3: symbols and item records

  // Where a symbol line's address lies: under the memory-management mapping
  // the physical address after a second tab; else through the current bank
  // window of the mapping table when it holds the address; else as listed.
  static u32 placed(u32 address, std::string_view after_name) {
    u32 physical = 0;
    if (mapping_in_force() && after_name.size() >= 9 && after_name[0] == '\t' && hex_at(after_name.substr(1), 8, physical))
      return physical;
    if (TgtMmu.DescriptorCount != 0 && TgtMmu.CurrentDescriptor < TgtMmu.DescriptorCount) {
      const BankDescriptor& d = TgtMmu.Descriptors[TgtMmu.CurrentDescriptor];
      if (address >= d.start && address - d.start < d.size) return d.base + (address - d.start);
    }
    return address;
  }

  bool symbols_pass() {
    bool sorted = false;
    return each_line(0, type_start_, [&](const std::string& line, u32) {
      if (!is_symbol_line(line)) return true;
      u32 address = 0;
      hex_at(line, 4, address);
      const std::string_view rest = std::string_view(line).substr(5);
      if (rest.starts_with("@@")) {
        if (!sorted) {
          sym_sort_symbols();  // the functions' ranges run to the next symbol
          sorted = true;
        }
        return item(address, rest.substr(2));
      }
      const std::size_t tab = rest.find('\t');
      const std::string_view name = rest.substr(0, tab);
      if (name.empty()) return true;  // nothing to look it up by
      const u32 value = name == "FRAMEPTR" ? address : placed(address, tab == std::string_view::npos ? "" : rest.substr(tab));
      return sym_add(name, value, kNoType) == 0 || full();
    });
  }

  ScopeRecord* scope(u16 index_plus_one) const {
    return index_plus_one ? sym_scope_record(u16(index_plus_one - 1u)) : nullptr;
  }

  // Value of the first symbol above `value`, or 0 with none.
  static bool next_symbol_above(u32 value, u32& above) {
    SymFlag.PhysicalAddress = 1;
    u16 position = sym_index_from_address(value);
    SymFlag.PhysicalAddress = 0;
    for (SymRecord* r = sym_record_sorted(position); r != nullptr; r = sym_record_sorted(++position)) {
      const u32 v = r->value.get();
      if (v > value && v != kSymDeleted) {
        above = v;
        return true;
      }
    }
    return false;
  }

  // An "@@" record: name, descriptor, storage, module, function, unused and
  // the optional physical address.
  bool item(u32 address, std::string_view text) {
    const std::vector<std::string_view> f = split(text, '@');
    if (f.size() != kItemFields) return bad();
    const std::string_view name = f[0], type_text = f[1], storage = f[2], module = f[3], function = f[4];
    if (!module_open_ || module != module_) {
      module_ = module;
      module_open_ = true;
      module_has_base_ = base_of(module, module_base_);
      if (dbi_add_scope(kScopeModule, kNoType, 0, module) != 0) return full();
      module_scope_ = SymScopes.ScopeCount;
      module_located_ = false;
      function_.clear();
    }
    if (!function.empty() && function != function_) {
      const u16 found = find_function(function, module);
      if (found == 0) return true;  // a function with no symbol: the line is left out
      function_ = function;
      if (!open_function(found, function)) return false;
    }
    u32 type = 0;
    if (!descriptor(type_text, module_base_, module_has_base_, type)) return false;
    if (storage == "S") {
      u32 physical = 0;
      const std::string_view extra = f[6];
      const u32 at = extra.size() >= 9 && extra[0] == '\t' && hex_at(extra.substr(1), 8, physical)
                         ? physical
                         : placed(address, "");
      return dbi_add_scope(kScopeStatic, type, at, name) == 0 || full();
    }
    const u32 offset = u32(i32(i16(u16(address))));  // a frame offset below the frame is negative
    return dbi_add_scope(kScopeFrame, type, offset, name) == 0 || full();
  }

  static u16 find_function(std::string_view function, std::string_view module) {
    const u16 found = sym_find_by_name(function, kSymFindTolerant);
    if (found != 0) return found;
    std::string local(function);
    local += '@';
    local += module;
    return sym_find_by_name(local, kSymFindTolerant);
  }

  // A new function of an item record: a function type, its static item (by
  // the record's function name) and its block, which runs to the next symbol
  // above it.
  bool open_function(u16 symbol, std::string_view name) {
    const u32 type = kFirstTypeIndex + next_free_;
    if (next_free_ + 1 > kTypeSlotLimit) return full();
    TypeBuilder builder;
    builder.put_byte(kKindFunction);
    builder.put_byte(kFunctionMark);
    builder.put_type(kFunctionReturn);
    if (builder.failed() || !builder.define(type)) return full();
    ++next_free_;
    SymRecord* r = sym_record(u16(symbol - 1));
    r->type.set(type);
    const u32 start = r->value.get();
    u32 above = 0;
    const u32 size = next_symbol_above(start, above) ? std::min<u32>(above - start, 0xFFFF) : kLastFunctionSize;
    if (dbi_add_scope(kScopeStatic, type, start, name) != 0) return full();
    sym_scope_record(u16(SymScopes.ScopeCount - 1))->size.set(u16(size));
    if (dbi_add_scope(kScopeBlock, kNoType, start, name) != 0) return full();
    sym_scope_record(u16(SymScopes.ScopeCount - 1))->size.set(u16(size));
    // the module's range grows to cover the block
    if (ScopeRecord* m = scope(module_scope_)) {
      const u32 low = module_located_ ? std::min(m->location.get(), start) : start;
      const u32 high = std::max(module_located_ ? m->location.get() + m->size.get() : 0, start + size);
      m->location.set(low);
      m->size.set(u16(std::min<u32>(high - low, 0xFFFF)));
      module_located_ = true;
    }
    return true;
  }

  // --- pass 4: global types

  bool globals_pass() {
    if (type_start_ == kNoStop) return true;
    return each_line(type_start_, kNoStop, [&](const std::string& line, u32) {
      if (line.empty() || line[0] != 'G') return true;
      const std::vector<std::string_view> f = split(std::string_view(line).substr(1), '@');
      if (f.size() < kGlobalFields) return bad();
      std::int64_t base = 0;
      const bool has_base = base_of(f[3], base);
      u32 type = 0;
      if (!descriptor(f[4], base, has_base, type)) return false;
      const u16 found = sym_find_by_name(f[0], kSymFindTolerant);
      if (found != 0) sym_record(u16(found - 1))->type.set(type);
      return true;
    });
  }

  // --- the .lin file

  bool lines_pass() {
    bool open = false;
    std::string pending;  // a "*" line's file, begun when its first line comes
    bool have_pending = false;
    const auto switch_module = [&]() {
      if (open) sym_end_module();
      open = false;
      if (sym_begin_module(pending.c_str()) != 0) return full();
      open = true;
      have_pending = false;
      Lst.ListingMode = kListingSource;
      return true;
    };
    const bool ok = each_line(0, kNoStop, [&](const std::string& line, u32) {
      if (line.empty()) return true;
      if (line[0] == '*') {
        // two "*" lines in a row: the first is skipped
        if (line.size() <= kNameColumn) return bad();  // no file name
        std::string_view file = std::string_view(line).substr(kNameColumn);
        while (!file.empty() && (file.back() == ' ' || file.back() == '\t')) file.remove_suffix(1);
        if (file.empty()) return bad();
        pending.assign(file);
        have_pending = true;
        return true;
      }
      if (have_pending && !switch_module()) return false;
      if (!open) return bad();  // lines belong to a file
      u32 address = 0;
      if (!hex_at(line, 4, address) || line.size() < 6) return bad();
      std::size_t at = 5;  // past the separator
      std::int64_t number = 0;
      if (!decimal(line, at, number)) return bad();
      if (mapping_in_force()) {
        const std::size_t paren = line.find('(', at);
        u32 physical = 0;
        if (paren != std::string::npos && hex_at(std::string_view(line).substr(paren + 1), 8, physical))
          address = physical;
      }
      if (number < 1 || number > kLineNumberMax) return true;  // no line the tables keep
      return sym_add_line(u32(number), address) != 1 || full();
    });
    const bool last = !ok || !have_pending || switch_module();
    if (open) sym_end_module();
    return ok && last;
  }

  static constexpr u32 kNoStop = 0xFFFFFFFF;

  int handle_ = -1;
  i16 result_ = kLoadDone;
  u32 type_start_ = kNoStop;  // file position of the type section; kNoStop: none
  u32 type_lines_ = 0;        // 'E', 'T', 'X' and 'Y' lines: their slots come first
  u32 next_free_ = 0;         // the next slot for a derived type
  std::vector<std::pair<std::int64_t, std::string>> bases_;  // (type base, module) in file order

  // the item records' module and function
  bool module_open_ = false;
  std::string module_;
  std::int64_t module_base_ = 0;
  bool module_has_base_ = false;
  u16 module_scope_ = 0;
  bool module_located_ = false;
  std::string function_;
};

}  // namespace

i16 dbi_load_lsi(const char* path) {
  if (dbi_buffer_init() < kDbiBufferMinimum) return kD01BufferTooSmall;
  sym_source_reset();
  Lsi = LsiState{};
  TgtMmu.DescriptorCount = 0;
  TgtMmu.CurrentDescriptor = 0;
  LsiLoader loader;
  const i16 result = loader.load(path ? path : "");
  DbiBuf.Handle = -1;
  if (Cfg.MmuKind != kMmuNone) tgt_refresh_windows();
  dbi_define_helpers();
  return result;
}
