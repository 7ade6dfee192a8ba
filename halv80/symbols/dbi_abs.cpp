#include "halv80/symbols/dbi_abs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/dbi_d01.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_file.h"

constinit AbsState Abs;

namespace {

// Encodings of numbers and names.
constexpr u8 kNumberLast = 0x7F;   // a number up to this is the byte itself
constexpr u8 kOmitted = 0x80;      // an optional number left out
constexpr u8 kNumberWide = 0x88;   // 0x81..0x88: that many bytes follow
constexpr u8 kNameLong = 0xDE;     // a name with a one-byte length
constexpr u8 kNameLonger = 0xDF;   // a name with a two-byte length
constexpr u8 kRecordFirst = 0xE0;  // record codes from here up

// Record codes.
constexpr u8 kModuleBegin = 0xE0;  // MB
constexpr u8 kModuleEnd = 0xE1;    // ME
constexpr u8 kAssign = 0xE2;       // AS, followed by its variable letter
constexpr u8 kSectionBegin = 0xE5; // SB
constexpr u8 kInternalName = 0xE8; // NI
constexpr u8 kExternalName = 0xE9; // NX
constexpr u8 kAddressDesc = 0xEC;  // AD
constexpr u8 kLoad = 0xED;         // LD
constexpr u8 kName = 0xF0;         // NN
constexpr u8 kAttribute = 0xF1;    // AT, followed by its variable letter
constexpr u8 kType = 0xF2;         // TY
constexpr u8 kRepeat = 0xF7;       // RE
constexpr u8 kBlockBegin = 0xF8;   // BB
constexpr u8 kBlockEnd = 0xF9;     // BE

// Variable letters and brackets of expressions.
constexpr u8 kVarG = 0xC7;  // the start address
constexpr u8 kVarI = 0xC9;  // a public name's value
constexpr u8 kVarN = 0xCE;  // a local name's value or attribute
constexpr u8 kVarP = 0xD0;  // a section's load address
constexpr u8 kVarW = 0xD7;  // a part's file position
constexpr u8 kVarFirst = 0xC0, kVarLast = 0xDA;
constexpr u8 kOpen = 0xBE, kClose = 0xBF;
constexpr u8 kOrderLow = 0xCC, kOrderHigh = 0xCD;  // AD's byte order: L or M

// Parts named by the header's W variables.
constexpr std::size_t kPartCount = 8;
constexpr std::size_t kExternalPart = 3;
constexpr std::size_t kDebugPart = 4;
constexpr std::size_t kDataPart = 5;

// Block types of BB records.
constexpr u32 kBlockTypes = 1;
constexpr u32 kBlockGlobals = 2;
constexpr u32 kBlockModule = 3;
constexpr u32 kBlockFunction = 4;
constexpr u32 kBlockLines = 5;
constexpr u32 kBlockLocalFunction = 6;
constexpr u32 kBlockAssembler = 10;
constexpr u32 kBlockSection = 11;

// Attributes of ATN records.
constexpr u32 kAttrAuto = 1;
constexpr u32 kAttrRegister = 2;
constexpr u32 kAttrStatic = 3;
constexpr u32 kAttrExternal = 5;
constexpr u32 kAttrLine = 7;
constexpr u32 kAttrGlobal = 8;
constexpr u32 kAttrLockedRegister = 10;
constexpr std::size_t kAtnOptionalMax = 5;  // numbers after the three an ATN always has

constexpr std::size_t kNameKept = 255;
constexpr u32 kFirstUserNumber = 256;
constexpr u32 kPointerNumbers = 32;  // 32..57: pointers to the base types 0..25
constexpr u32 kFrameShiftVariant3 = 2;  // -XM3 stores frame offsets this much lower

// Type numbers 0..25 of the file as base codes.
constexpr std::array<u8, 26> kBaseCodes = {0x85, 0x85, 0x80, 0x84, 0x81, 0x85, 0x82, 0x86, 0x85,
                                           0x85, 0x88, 0x89, 0x85, 0x85, 0x85, 0x85, 0x81, 0x85,
                                           0x81, 0x80, 0x82, 0x81, 0x85, 0x81, 0x81, 0x89};
constexpr u32 kPointerToBase = 0x40;

// The letters of TY records.
struct BuiltinLetter {
  u8 letter;
  u8 code;
};
constexpr BuiltinLetter kBuiltinLetters[] = {
    {'B', 0x80}, {'C', 0x84}, {'H', 0x81}, {'L', 0x82}, {'M', 0x86}, {'F', 0x88}, {'D', 0x89},
    {'?', 0x85}, {'I', 0x85}, {'J', 0x85}, {'K', 0x85}, {'Q', 0x85}, {'V', 0x85}, {'W', 0x85},
    {'Y', 0x85},
};

// --- reading

bool peek(u8& b) {
  if (!dbi_buffer_ensure(1)) return false;
  b = DbiBuf.Data[DbiBuf.Cursor];
  return true;
}

bool number(u32& out) {
  u8 b = 0;
  if (!dbi_read_u8(b)) return false;
  if (b <= kNumberLast) {
    out = b;
    return true;
  }
  if (b <= kOmitted || b > kNumberWide) return false;  // no number
  u64 value = 0;
  for (u8 n = u8(b - kOmitted); n > 0; --n) {
    u8 c = 0;
    if (!dbi_read_u8(c)) return false;
    value = value << 8 | c;
    if (value > 0xFFFFFFFF) return false;  // wider than any address or index here
  }
  out = u32(value);
  return true;
}

// A number that may be left out (0x80) or be absent (a record code or any
// other byte follows): `present` tells. False only at the file's end or for a
// malformed number.
bool optional_number(u32& out, bool& present) {
  u8 b = 0;
  present = false;
  if (!peek(b)) return false;
  if (b == kOmitted) {
    DbiBuf.Cursor += 1;
    return true;
  }
  if (b > kNumberWide) return true;
  present = true;
  return number(out);
}

// Up to `max` optional numbers, read and dropped.
bool skip_optional_numbers(std::size_t max) {
  for (std::size_t i = 0; i < max; ++i) {
    u32 ignored = 0;
    bool present = false;
    u8 b = 0;
    if (!peek(b)) return false;
    if (b > kNumberWide) return true;
    if (!optional_number(ignored, present)) return false;
  }
  return true;
}

bool name(std::string& out) {
  u8 b = 0;
  u32 length = 0;
  if (!dbi_read_u8(b)) return false;
  if (b <= kNumberLast) {
    length = b;
  } else if (b == kNameLong) {
    u8 n = 0;
    if (!dbi_read_u8(n)) return false;
    length = n;
  } else if (b == kNameLonger) {
    u16 n = 0;
    if (!dbi_read_be16(n)) return false;
    length = n;
  } else {
    return false;  // no name
  }
  const u32 kept = std::min<u32>(length, kNameKept);
  if (!dbi_buffer_ensure(kept)) return false;
  out.assign(reinterpret_cast<const char*>(DbiBuf.Data.get() + DbiBuf.Cursor), kept);
  DbiBuf.Cursor += kept;
  return dbi_skip(length - kept);
}

bool expect(u8 wanted) {
  u8 b = 0;
  return dbi_read_u8(b) && b == wanted;
}

bool has_lower_case(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

class AbsLoader {
 public:
  explicit AbsLoader(bool with_symbols) : with_symbols_(with_symbols) {}

  i16 load(int handle) {
    const i32 size = sup_file_seek(handle, 0, kSeekEnd);
    if (size < 0) return kLoadBadFormat;
    file_size_ = u32(size);
    handle_ = handle;
    if (!header()) return kLoadBadFormat;
    if (const i16 r = data_part()) return r;
    if (!with_symbols_) return kLoadDone;
    if (parts_[kExternalPart] != 0)
      if (const i16 r = external_part()) return r;
    sym_sort_symbols();  // the debug part looks symbols up by address
    if (parts_[kDebugPart] != 0) return debug_part();
    return kLoadDone;
  }

 private:
  bool start_at(u32 position) { return dbi_buffer_start(handle_, position); }

  // MB, AD and the eight ASW records, all in the first 1,023 bytes.
  bool header() {
    std::string ignored;
    u32 value = 0;
    if (!start_at(0) || !expect(kModuleBegin) || !name(ignored) || !name(ignored)) return false;
    if (!expect(kAddressDesc) || !number(value) || !number(value)) return false;
    u8 b = 0;
    if (!peek(b)) return false;
    if (b == kOrderLow || b == kOrderHigh) DbiBuf.Cursor += 1;
    for (u32 n = 0; n < kPartCount; ++n) {
      u32 index = 0;
      if (!expect(kAssign) || !expect(kVarW) || !number(index) || index != n || !number(parts_[n])) return false;
    }
    if (dbi_buffer_position() > kAbsHeaderLimit) return false;
    // a part that starts past the file's end belongs to a longer file
    for (std::size_t p : {kExternalPart, kDebugPart, kDataPart})
      if (parts_[p] >= file_size_ && parts_[p] != 0) return false;
    return true;
  }

  // --- data part: the code bytes

  i16 data_part() {
    if (parts_[kDataPart] == 0) return kLoadDone;
    if (!start_at(parts_[kDataPart])) return kAbsPartFormat;
    u32 repeat = 1;
    for (;;) {
      dbi_buffer_refill();
      u8 code = 0;
      if (!dbi_read_u8(code)) return kAbsPartFormat;  // the part ends before its ME
      switch (code) {
        case kModuleEnd:
          return flush();
        case kSectionBegin: {
          u32 section = 0;
          if (!number(section)) return kAbsPartFormat;
          break;
        }
        case kAssign: {
          u8 variable = 0;
          u32 value = 0;
          if (!dbi_read_u8(variable)) return kAbsPartFormat;
          if (variable == kVarP) {
            u32 section = 0;
            if (!number(section) || !number(value) || value >= kAbsAddressSpace) return kAbsPartFormat;
            if (value != address_) {
              if (const i16 r = flush()) return r;
              address_ = value;
            }
          } else if (variable == kVarG) {
            if (!expect(kOpen) || !number(value) || !expect(kClose) || value >= kAbsAddressSpace)
              return kAbsPartFormat;
            reg_set(kRegPC, u16(value));
          } else {
            return kAbsPartFormat;
          }
          break;
        }
        case kRepeat:
          if (!number(repeat)) return kAbsPartFormat;
          break;
        case kLoad: {
          u32 count = 0;
          if (!number(count) || count > kAbsLoadMax || !dbi_buffer_ensure(count)) return kAbsPartFormat;
          std::array<u8, kAbsLoadMax> bytes{};
          std::memcpy(bytes.data(), DbiBuf.Data.get() + DbiBuf.Cursor, count);
          DbiBuf.Cursor += count;
          // the repeated bytes must fit the address space from here on
          if (u64(repeat) * count > kAbsAddressSpace - address_) return kAbsPartFormat;
          for (u32 r = 0; count != 0 && r < repeat; ++r)
            if (const i16 e = collect(std::span<const u8>(bytes.data(), count))) return e;
          repeat = 1;
          break;
        }
        default:
          return kAbsPartFormat;
      }
    }
  }

  i16 collect(std::span<const u8> bytes) {
    if (collected_.size() + bytes.size() > kAbsCollectSize - kAbsCollectSlack)
      if (const i16 r = flush()) return r;
    if (collected_.empty()) collect_start_ = address_;
    collected_.insert(collected_.end(), bytes.begin(), bytes.end());
    address_ += u32(bytes.size());
    return kLoadDone;
  }

  i16 flush() {
    if (collected_.empty()) return kLoadDone;
    const std::span<const u8> bytes(collected_);
    const u16 at = u16(collect_start_);
    if (Abs.CodeWriter) {
      Abs.CodeWriter(at, bytes);
    } else {
      if (tgt_range_meets_monitor(at, u32(bytes.size()))) return kAbsMonitorArea;
      tgt_write_block(bytes, at);
    }
    collected_.clear();
    return kLoadDone;
  }

  // --- external part: the public names

  // The external part runs to the next part's start (or the file's end), or
  // to the first record that is none of its own.
  i16 external_part() {
    if (!start_at(parts_[kExternalPart])) return kAbsPartFormat;
    const u32 end = part_end(kExternalPart);
    std::string kept;
    u32 kept_index = 0;
    bool have_name = false;
    for (;;) {
      dbi_buffer_refill();
      if (dbi_buffer_position() >= end) return kLoadDone;
      u8 code = 0;
      if (!peek(code)) return kAbsPartFormat;  // the file ends inside the part
      u32 index = 0, value = 0;
      std::string text;
      switch (code) {
        case kInternalName:
          DbiBuf.Cursor += 1;
          if (!number(kept_index) || !name(kept)) return kAbsPartFormat;
          have_name = true;
          break;
        case kAssign: {
          DbiBuf.Cursor += 1;
          // an ASI gives the value of the NI just read
          if (!expect(kVarI) || !number(index) || !number(value)) return kAbsPartFormat;
          if (!have_name || index != kept_index) return kAbsPartFormat;
          have_name = false;
          if (const i16 r = add_public(kept, value)) return r;
          break;
        }
        case kExternalName:
        case kName:
          DbiBuf.Cursor += 1;
          if (!number(index) || !name(text)) return kAbsPartFormat;
          break;
        case kAttribute: {
          DbiBuf.Cursor += 1;
          u8 variable = 0;
          if (!dbi_read_u8(variable) || variable < kVarFirst || variable > kVarLast) return kAbsPartFormat;
          for (int i = 0; i < 3; ++i)
            if (!number(value)) return kAbsPartFormat;
          if (!skip_optional_numbers(kAtnOptionalMax)) return kAbsPartFormat;
          break;
        }
        default:
          return kLoadDone;  // the next part begins
      }
    }
  }

  // A public name as a symbol: names with a leading '_' as they are, names
  // with a lower-case letter get one, capitals stay, "MAIN_" is left out.
  static i16 add_public(const std::string& text, u32 value) {
    if (text.empty() || text == "MAIN_") return kLoadDone;
    const std::string symbol = text[0] != '_' && has_lower_case(text) ? "_" + text : text;
    return sym_add(symbol, value, kNoType) == 0 ? kLoadDone : kLoadFull;
  }

  // --- debug information part

  // Where part `p` ends: at the next part's start, or the file's end.
  u32 part_end(std::size_t p) const {
    u32 end = file_size_;
    for (u32 w : parts_)
      if (w > parts_[p] && w < end) end = w;
    return end;
  }

  // The debug part runs to the next part's start (or the file's end) and
  // holds BB blocks only.
  i16 debug_part() {
    if (!start_at(parts_[kDebugPart])) return kLoadBadFormat;
    const u32 end = part_end(kDebugPart);
    for (;;) {
      dbi_buffer_refill();
      if (dbi_buffer_position() >= end) return result_;
      u8 code = 0;
      if (!peek(code) || code != kBlockBegin) return kLoadBadFormat;
      if (!block(1, false)) return result_ != kLoadDone ? result_ : kLoadBadFormat;
    }
  }

  bool bad() {
    if (result_ == kLoadDone) result_ = kLoadBadFormat;
    return false;
  }
  bool full() {
    if (result_ == kLoadDone) result_ = kLoadFull;
    return false;
  }

  bool type_code(u32 number_in_file, u32& code) const {
    return dbi_abs_type_code(number_in_file, type_base_, code);
  }

  // The name of NN record `index`, which must have been read.
  bool name_of(u32 index, const std::string*& out) const {
    const auto it = names_.find(index);
    if (it == names_.end()) return false;
    out = &it->second;
    return true;
  }

  struct Block {
    u32 type = 0;
    std::string name;
    u16 scope = 0;       // index + 1 of its block record (functions); 0 none
    u16 function = 0;    // index + 1 of its function's static item; 0 none
    u32 start = 0;       // a function's address
  };

  // One BB ... BE block, nested ones within. `skipping`: read for its form
  // only (a line-number block inside another one).
  bool block(int depth, bool skipping) {
    if (depth > kAbsBlockDepthMax) return bad();
    DbiBuf.Cursor += 1;  // BB
    Block b;
    u32 size = 0;
    if (!number(b.type) || !number(size) || !name(b.name)) return bad();
    if (!block_head(b, skipping)) return false;
    for (;;) {
      dbi_buffer_refill();
      u8 code = 0;
      if (!peek(code)) return bad();
      if (code == kBlockEnd) {
        DbiBuf.Cursor += 1;
        return block_end(b, skipping);
      }
      bool ok = false;
      switch (code) {
        case kBlockBegin:
          // a line-number block inside another one is read past whole
          ok = block(depth + 1, skipping || (b.type == kBlockLines && next_block_is_lines()));
          break;
        case kName: {
          DbiBuf.Cursor += 1;
          u32 index = 0;
          std::string text;
          if (!number(index) || !name(text)) return bad();
          names_[index] = std::move(text);
          ok = true;
          break;
        }
        case kType:
          if (b.type != kBlockTypes && b.type != kBlockGlobals) return bad();
          ok = type_record(skipping);
          break;
        case kAttribute:
          ok = attribute(b, skipping);
          break;
        default:
          return bad();  // no record of a block
      }
      if (!ok) return result_ != kLoadDone ? false : bad();
    }
  }

  // Does the BB record at the cursor open a line-number block?
  bool next_block_is_lines() {
    if (!dbi_buffer_ensure(2)) return false;
    return DbiBuf.Data[DbiBuf.Cursor + 1] == kBlockLines;
  }

  bool block_head(Block& b, bool skipping) {
    switch (b.type) {
      case kBlockTypes:
        if (!skipping) type_base_ = type_count_;  // a module's types start after the ones before
        return true;
      case kBlockGlobals:
        return true;
      case kBlockModule:
        if (!skipping) {
          module_name_ = b.name;
          module_scope_ = 0;
        }
        return true;
      case kBlockFunction:
      case kBlockLocalFunction: {
        u32 stack = 0, type = 0;
        if (!number(stack) || !number(type) || !number(b.start)) return bad();
        u32 code = 0;
        if (!type_code(type, code) || b.start >= kAbsAddressSpace) return bad();
        if (!skipping) return function_begin(b, code);
        return true;
      }
      case kBlockLines:
        if (!skip_optional_numbers(6)) return bad();  // the file's date and time
        if (!skipping) {
          if (sym_begin_module(b.name.c_str()) != 0) return full();
          lines_open_ = true;
        }
        return true;
      case kBlockAssembler:
      case kBlockSection:
        return skip_optional_numbers(kAtnOptionalMax) || bad();
      default:
        return bad();  // no such block type
    }
  }

  bool block_end(Block& b, bool skipping) {
    if (b.type == kBlockFunction || b.type == kBlockLocalFunction) {
      u32 end = 0;
      bool present = false;
      if (!optional_number(end, present)) return bad();
      if (skipping) return true;
      // the BE of a function gives the address of its last byte
      if (present) {
        if (end < b.start || end >= kAbsAddressSpace) return bad();
        function_end(b, end + 1);
      }
      return true;
    }
    if (b.type == kBlockSection && !skip_optional_numbers(1)) return bad();
    if (b.type == kBlockLines && !skipping && lines_open_) {
      sym_end_module();
      lines_open_ = false;
    }
    if (b.type == kBlockModule && !skipping) module_name_.clear();
    return true;
  }

  // The module record of the module block being read, added when its first
  // item comes, so that a module with none leaves no record.
  bool ensure_module() {
    if (module_scope_ != 0 || module_name_.empty()) return true;
    if (dbi_add_scope(kScopeModule, kNoType, 0, module_name_) != 0) return full();
    module_scope_ = SymScopes.ScopeCount;
    module_located_ = false;
    return true;
  }

  ScopeRecord* scope(u16 index_plus_one) const {
    return index_plus_one ? sym_scope_record(u16(index_plus_one - 1u)) : nullptr;
  }

  bool function_begin(Block& b, u32 type) {
    if (!ensure_module()) return false;
    if (ScopeRecord* m = scope(module_scope_); m && !module_located_) {
      m->location.set(b.start);  // the module starts at its first function
      module_located_ = true;
    }
    if (!b.name.empty()) {
      const std::string_view shown = b.name[0] == '.' ? std::string_view(b.name).substr(1) : std::string_view(b.name);
      type_symbols_at(b.start, type);
      if (dbi_add_scope(kScopeStatic, type, b.start, shown) != 0) return full();
      b.function = SymScopes.ScopeCount;
    }
    if (dbi_add_scope(kScopeBlock, kNoType, b.start, b.name) != 0) return full();
    b.scope = SymScopes.ScopeCount;
    if (!have_code_low_ || b.start < SymFlag.CodeLow) SymFlag.CodeLow = b.start;
    have_code_low_ = true;
    return true;
  }

  void function_end(const Block& b, u32 end) {
    const u16 size = u16(std::min<u32>(end - b.start, 0xFFFF));
    for (ScopeRecord* r : {scope(b.scope), scope(b.function)})
      if (r) r->size.set(size);
    SymFlag.CodeHigh = std::max(SymFlag.CodeHigh, end);
    if (ScopeRecord* m = scope(module_scope_); m && end > m->location.get())
      m->size.set(u16(std::max<u32>(m->size.get(), std::min<u32>(end - m->location.get(), 0xFFFF))));
  }

  // Every symbol whose value is `address` gets the type.
  static void type_symbols_at(u32 address, u32 type) {
    SymFlag.PhysicalAddress = 1;
    u16 position = sym_index_from_address(address);
    SymFlag.PhysicalAddress = 0;
    while (position > 0) {
      SymRecord* r = sym_record_sorted(u16(position - 1));
      if (r == nullptr || r->value.get() != address) break;
      r->type.set(type);
      --position;
    }
  }

  // The public symbol of a name: a leading '.' read as '_'; else the name
  // as it is, then with a '_' in front.
  static void type_symbol_named(const std::string& text, u32 type) {
    u16 found = 0;
    if (!text.empty() && text[0] == '.') {
      found = sym_find_by_name("_" + text.substr(1), kSymFindExact);
    } else {
      found = sym_find_by_name(text, kSymFindExact);
      if (found == 0) found = sym_find_by_name("_" + text, kSymFindExact);
    }
    if (found != 0) sym_record(u16(found - 1))->type.set(type);
  }

  // ATN: name index, type, attribute and up to five numbers; the ASN of the
  // same index after it gives a value.
  bool attribute(const Block& b, bool skipping) {
    DbiBuf.Cursor += 1;
    u32 index = 0, type = 0, attr = 0;
    if (!expect(kVarN) || !number(index) || !number(type) || !number(attr)) return bad();
    std::array<u32, kAtnOptionalMax> x{};
    std::size_t count = 0;
    for (; count < x.size(); ++count) {
      bool present = false;
      u8 next = 0;
      if (!peek(next)) return bad();
      if (next > kNumberWide) break;
      if (!optional_number(x[count], present)) return bad();
    }
    u32 value = 0;
    bool has_value = false;
    u8 next = 0;
    if (dbi_buffer_ensure(2) && DbiBuf.Data[DbiBuf.Cursor] == kAssign && DbiBuf.Data[DbiBuf.Cursor + 1] == kVarN) {
      DbiBuf.Cursor += 2;
      u32 assigned = 0;
      if (!number(assigned) || assigned != index || !number(value)) return bad();
      has_value = true;
    } else if (!peek(next)) {
      return bad();
    }
    if (skipping) return true;

    u32 code = 0;
    if (!type_code(type, code)) return bad();
    if (attr == kAttrLine) {
      if (b.type != kBlockLines) return true;
      if (!has_value || count < 1) return bad();  // a line needs its number and address
      if (!lines_open_) return true;
      if (sym_add_line(x[0], value) == 1) return full();
      Lst.ListingMode = kListingSource;
      return true;
    }
    const std::string* item = nullptr;
    const bool named = attr == kAttrAuto || attr == kAttrRegister || attr == kAttrStatic ||
                       attr == kAttrExternal || attr == kAttrGlobal || attr == kAttrLockedRegister;
    if (named && !name_of(index, item)) return bad();  // no NN record of that index
    const bool in_function = b.type == kBlockFunction || b.type == kBlockLocalFunction;
    if (in_function) {
      switch (attr) {
        case kAttrAuto: {
          if (count < 1) return bad();
          const u32 offset = x[0] - (Sw.ToolchainVariant == 3 ? kFrameShiftVariant3 : 0);
          return dbi_add_scope(kScopeFrame, code, offset, *item) == 0 || full();
        }
        case kAttrRegister:
        case kAttrLockedRegister:
          if (count < 1) return bad();
          return dbi_add_scope(kScopeRegister, code, x[0], *item) == 0 || full();
        case kAttrStatic:
          if (!has_value) return bad();
          return dbi_add_scope(kScopeStatic, code, value, *item) == 0 || full();
        case kAttrGlobal:
          if (Sw.ToolchainVariant != 3) type_symbol_named(*item, code);
          return true;
        case kAttrExternal:
          type_symbol_named(*item, code);
          return true;
        default:
          return true;
      }
    }
    if (b.type == kBlockModule || b.type == kBlockTypes || b.type == kBlockGlobals) {
      if (attr == kAttrGlobal && has_value) type_symbols_at(value, code);
      if (attr == kAttrStatic && b.type == kBlockModule) {
        if (!has_value) return bad();
        if (!ensure_module()) return false;
        return dbi_add_scope(kScopeStatic, code, value, *item) == 0 || full();
      }
    }
    return true;
  }

  // --- type records

  struct Member {
    std::string name;
    u32 type = 0;
    u32 offset = 0;   // bytes, or bits for a bit field
    u32 width = 0;    // bits of a bit field; 0 none
  };

  // Are there more fields in the record (no record code follows)?
  bool more_fields(bool& more) {
    u8 b = 0;
    if (!peek(b)) return false;
    more = b < kRecordFirst;
    return true;
  }

  // TY: type index, N and the NN index that names it, the type letter and
  // the letter's fields.
  bool type_record(bool skipping) {
    DbiBuf.Cursor += 1;
    u32 index = 0, nn = 0, letter = 0;
    if (!number(index) || !expect(kVarN) || !number(nn) || !number(letter)) return bad();
    u32 code = 0;
    const std::string* tag = nullptr;
    if (index < kFirstUserNumber || !type_code(index, code) || !name_of(nn, tag)) return bad();
    TypeBuilder builder;
    bool define = true;
    switch (letter) {
      case 'S':
      case 'U':
      case 'G':
        if (!struct_fields(builder, u8(letter), *tag)) return false;
        break;
      case 'N':
        if (!enum_fields(builder, *tag)) return false;
        break;
      case 'P': {
        u32 target = 0, target_code = 0;
        if (!number(target) || !type_code(target, target_code)) return bad();
        builder.pointer_record(kPointerFar, target_code);
        break;
      }
      case 'Z': {
        u32 element = 0, element_code = 0, high = 0;
        if (!number(element) || !type_code(element, element_code) || !number(high)) return bad();
        if (high >= kAbsAddressSpace - 1) return bad();  // no array is larger than the address space
        builder.put_byte(kKindArray);
        builder.put_size(high + 1);  // the element count
        builder.put_type(element_code);
        break;
      }
      case 'T': {
        u32 target = 0, target_code = 0;
        if (!number(target) || !type_code(target, target_code)) return bad();
        builder.alias_record(target_code);
        break;
      }
      case 'X':
      case 'x':
        if (!function_fields(builder)) return false;
        break;
      case 'g': {
        u32 is_signed = 0, width = 0;
        if (!number(is_signed) || !number(width)) return bad();
        builder.put_byte(kKindBitFieldType);
        builder.put_number(is_signed);
        builder.put_number(width);
        break;
      }
      case 'p':
      case 's':
        return bad();
      default: {
        const auto* builtin = std::find_if(std::begin(kBuiltinLetters), std::end(kBuiltinLetters),
                                           [&](const BuiltinLetter& l) { return l.letter == letter; });
        if (builtin != std::end(kBuiltinLetters)) {
          builder.alias_record(builtin->code);
        } else {
          define = false;  // a letter this reader does not know: its fields are passed over
        }
        break;
      }
    }
    if (!skip_numbers_to_record()) return bad();
    if (skipping || !define) return true;
    type_count_ = std::max(type_count_, code - kFirstTypeIndex + 1);
    if (builder.failed() || !builder.define(code)) return full();
    return true;
  }

  // Numbers up to the next record code, read and dropped.
  bool skip_numbers_to_record() {
    for (;;) {
      u8 b = 0;
      if (!peek(b)) return false;
      if (b >= kRecordFirst) return true;
      u32 ignored = 0;
      if (b == kOmitted)
        DbiBuf.Cursor += 1;
      else if (!number(ignored))
        return false;  // no number where only numbers may stand
    }
  }

  // S and U: size, then name, type and byte offset per member. G: size, then
  // name, type, bit offset and bit width per member (width 0: a whole member
  // at bit offset / 8).
  bool struct_fields(TypeBuilder& builder, u8 letter, const std::string& tag) {
    u32 size = 0;
    if (!number(size)) return bad();
    std::vector<Member> members;
    for (;;) {
      bool more = false;
      if (!more_fields(more)) return bad();
      if (!more) break;
      Member m;
      u32 type = 0;
      if (!name(m.name) || !number(type) || !type_code(type, m.type) || !number(m.offset)) return bad();
      if (letter == 'G' && !number(m.width)) return bad();
      if (m.width > 0xFF || (m.width != 0 && m.offset > 0xFF)) return bad();  // a bit field's bytes hold no more
      if (members.size() >= kAbsMemberMax) return bad();
      members.push_back(std::move(m));
    }
    builder.put_byte(kKindStruct);
    builder.put_size(size);
    builder.put_count(u32(members.size()));
    builder.put_name(tag);
    for (const Member& m : members) builder.put_type(m.type);
    for (const Member& m : members) {
      builder.put_name(m.name);
      if (m.width != 0)
        builder.put_bit_field(u8(m.width), u8(m.offset));
      else
        builder.put_number(letter == 'G' ? m.offset / 8 : m.offset);
    }
    return true;
  }

  // N: name and value per member.
  bool enum_fields(TypeBuilder& builder, const std::string& tag) {
    builder.enum_record(tag);
    u32 count = 0;
    for (;;) {
      bool more = false;
      if (!more_fields(more)) return bad();
      if (!more) return true;
      std::string member;
      u32 value = 0;
      if (!name(member) || !number(value) || ++count > kAbsMemberMax) return bad();
      builder.put_name(member);
      builder.put_number(value);
    }
  }

  // X and x: attributes, frame type, push mask, return type, parameter
  // count, then one type per parameter; further numbers are passed over.
  bool function_fields(TypeBuilder& builder) {
    u32 attributes = 0, frame = 0, mask = 0, returned = 0, count = 0, returned_code = 0;
    if (!number(attributes) || !number(frame) || !number(mask) || !number(returned) ||
        !type_code(returned, returned_code) || !number(count) || count > 0xFF)
      return bad();
    for (u32 i = 0; i < count; ++i) {
      u32 parameter = 0, parameter_code = 0;
      if (!number(parameter) || !type_code(parameter, parameter_code)) return bad();
    }
    builder.function_record(returned_code, u8(count));
    return true;
  }

  bool with_symbols_;
  int handle_ = -1;
  u32 file_size_ = 0;
  std::array<u32, kPartCount> parts_{};
  i16 result_ = kLoadDone;

  // the data part
  u32 address_ = 0;
  u32 collect_start_ = 0;
  std::vector<u8> collected_;

  // the debug information part
  std::unordered_map<u32, std::string> names_;  // NN records by index
  u32 type_base_ = 0;   // type slot of the current module's first type
  u32 type_count_ = 0;  // type slots used
  std::string module_name_;  // of the module block being read; empty outside one
  u16 module_scope_ = 0;     // index + 1 of its record; 0 until its first item
  bool module_located_ = false;
  bool lines_open_ = false;
  bool have_code_low_ = false;
};

}  // namespace

bool dbi_abs_type_code(u32 number_in_file, u32 type_base, u32& code) {
  if (number_in_file < kBaseCodes.size()) {
    code = kBaseCodes[number_in_file];
    return true;
  }
  if (number_in_file >= kPointerNumbers && number_in_file < kPointerNumbers + kBaseCodes.size()) {
    code = kBaseCodes[number_in_file - kPointerNumbers] | kPointerToBase;
    return true;
  }
  if (number_in_file < kFirstUserNumber) return false;
  const u64 slot = u64(number_in_file) - kFirstUserNumber + type_base;
  if (slot >= kTypeSlotLimit) return false;
  code = u32(slot) + kFirstTypeIndex;
  return true;
}

i16 dbi_load_abs(const char* path, bool with_symbols) {
  const SupFileCloser file(sup_file_open(path ? path : "", kFileModeRead));
  if (file.handle == -1) return kAbsFileMissing;
  if (dbi_buffer_init() < kDbiBufferMinimum) return kAbsBufferTooSmall;
  if (with_symbols) sym_source_reset();
  AbsLoader loader(with_symbols);
  const i16 result = loader.load(file.handle);
  DbiBuf.Handle = -1;
  return result;
}
