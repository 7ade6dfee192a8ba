#include "halv80/symbols/dbi_d01.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/reg_registers.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_file.h"

constinit D01State D01;

namespace {

// Record tags.
constexpr u8 kTagModuleEnd = 0x00;
constexpr u8 kTagModuleStart = 0x01;
constexpr u8 kTagCode = '9';
constexpr u8 kTagSkip8 = '=';
constexpr u8 kTagSkip2a = '?';
constexpr u8 kTagLine = 'G';
constexpr u8 kTagBlockBegin = 'H';
constexpr u8 kTagBlockEnd = 'I';
constexpr u8 kTagType = 'J';
constexpr u8 kTagSymbol = 'L';
constexpr u8 kTagSkip3 = 'M';
constexpr u8 kTagSkipNamed = 'N';
constexpr u8 kTagSkip2b = 'O';
constexpr u8 kTagFunction = 'P';
constexpr u8 kTagAddress = 'Q';
constexpr u8 kTagSkip1 = 'R';
constexpr u8 kTagSkip2c = 'S';
constexpr u8 kTagEnd = 0xFF;

constexpr u8 kBlockStartMark = 14;  // after a line record: the address starts a block

// Type-definition kinds.
constexpr u8 kTypePointer = 15;
constexpr u8 kTypeArray = 16;
constexpr u8 kTypeStruct = 17;
constexpr u8 kTypeUnion = 18;
constexpr u8 kTypeBitField = 19;
constexpr u8 kTypeFunction = 20;
constexpr u8 kTypeAlias = 21;

// Symbol and variable kinds.
constexpr u8 kSymCode = 1;
constexpr u8 kSymData = 2;
constexpr u8 kSymStatic = 4;
constexpr u8 kVarFrame = 7;

constexpr u16 kFirstUserNumber = 100;
constexpr std::array<u8, 13> kBaseCodes = {0x85, 0x84, 0x80, 0x85, 0x81, 0x85, 0x81,
                                           0x86, 0x82, 0x88, 0x88, 0x85, 0x85};
constexpr u32 kOtherBaseCode = 0x85;

using Name = char[kDbiNameMax + 1];

// A struct whose bit-field members wait for their kind-19 details: the record
// and, per placeholder, where its member type and its bit-field bytes lie.
struct D01WaitingStruct {
  u16 number = 0;  // the file's type number
  NameHandle record = kNoName;
  struct Slot {
    u32 type_at;
    u32 bits_at;
  };
  std::vector<Slot> slots;  // in member order
  std::size_t next = 0;     // the placeholder the next kind-19 record patches
};

// What one load collects on the way and drops at its end.
struct D01Work {
  std::unordered_map<u32, u32> symbol_types;  // symbol value -> type, from the first segment-1 symbol on
  std::deque<D01WaitingStruct> waiting;       // oldest first
};
constinit D01Work* Work = nullptr;  // the load running now

// Each reader returns false after setting the abort code; the record loop
// stops on the code.
bool fail(i16 code) {
  if (D01.Abort == 0) D01.Abort = code;
  return false;
}
bool bad() { return fail(kLoadBadFormat); }
bool full() { return fail(kLoadFull); }

bool u8_(u8& v) { return dbi_read_u8(v) || bad(); }
bool u16_(u16& v) { return dbi_read_be16(v) || bad(); }
bool u32_(u32& v) { return dbi_read_be32(v) || bad(); }
bool skip(u32 n) { return dbi_skip(n) || bad(); }
bool name_(Name& out) { return dbi_copy_name(out) || bad(); }
bool skip_name() {
  Name ignored;
  return name_(ignored);
}

u32 type_of(u16 number) { return dbi_d01_type_code(number); }

void write_code(u16 address, std::span<const u8> bytes) {
  if (D01.CodeWriter)
    D01.CodeWriter(address, bytes);
  else
    tgt_write_block(bytes, address);
}

void end_line_module() {
  if (D01.Pending & kD01LineModuleOpen) sym_end_module();
  D01.Pending &= u16(~kD01LineModuleOpen);
}

ScopeRecord* scope(u16 index_plus_one) { return index_plus_one ? sym_scope_record(u16(index_plus_one - 1u)) : nullptr; }

bool add_scope(u16 kind, u32 type, u32 location, std::string_view name) {
  return dbi_add_scope(kind, type, location, name) == 0 || full();
}

bool record_module_end() {
  end_line_module();
  u8 head[7];
  for (u8& b : head)
    if (!u8_(b)) return false;
  if (!skip(head[6])) return false;
  D01.Pending = 0;
  D01.InModule = false;
  D01.ModuleScope = 0;
  return true;
}

bool record_module_start() {
  end_line_module();
  if (!skip(6) || !name_(D01.ModuleName)) return false;
  D01.InModule = true;
  if (!D01.WithSymbols) return true;
  if (std::strcmp(D01.ModuleName, "CSTARTUP") == 0) D01.StartUp = true;
  D01.Pending = kD01ModuleNeedsStart | kD01LineModuleDue;
  if (!add_scope(kScopeModule, kNoType, 0, D01.ModuleName)) return false;
  D01.ModuleScope = SymScopes.ScopeCount;
  return true;
}

bool record_code() {
  u8 count = 0;
  if (!u8_(count) || !dbi_buffer_ensure(count)) return bad();
  std::array<u8, 255> bytes{};
  for (u8 i = 0; i < count; ++i) dbi_read_u8(bytes[i]);
  if (D01.StartUp) {
    reg_set(kRegPC, u16(D01.Address));
    D01.StartUp = false;
  }
  const u16 at = u16(D01.Address);
  if (!D01.CodeWriter && tgt_range_meets_monitor(at, count)) return fail(kD01MonitorArea);
  // split where the 16-bit address wraps
  const u32 first = std::min<u32>(count, 0x10000u - at);
  if (first) write_code(at, std::span<const u8>(bytes.data(), first));
  if (count > first) write_code(0, std::span<const u8>(bytes.data() + first, count - first));
  D01.Address += count;
  return true;
}

bool record_line() {
  u16 line = 0;
  if (!D01.InModule) return bad();  // lines belong to a module
  if (!u16_(line) || !skip(6)) return false;
  if (D01.WithSymbols) {
    if (D01.Pending & kD01LineModuleDue) {
      const std::string file = std::string(D01.ModuleName) + Sw.DefaultSourceExtension;
      if (sym_begin_module(file.c_str()) != 0) return full();
      D01.Pending = u16((D01.Pending & ~kD01LineModuleDue) | kD01LineModuleOpen);
    }
    if (sym_add_line(line, D01.Address) == 1) return full();
    Lst.ListingMode = kListingSource;
  }
  // a following byte 14 marks the address as a block's start
  if (dbi_buffer_ensure(1) && DbiBuf.Data[DbiBuf.Cursor] == kBlockStartMark) {
    DbiBuf.Cursor += 1;
    D01.BlockStart = D01.Address;
  }
  return true;
}

// u16 count; per entry kind, 2 bytes, u32 value, name, u16 type.
bool variable_list() {
  u16 count = 0;
  if (!u16_(count)) return false;
  for (u16 i = 0; i < count; ++i) {
    u8 kind = 0;
    u32 value = 0;
    u16 type = 0;
    Name name;
    if (!u8_(kind) || !skip(2) || !u32_(value) || !name_(name) || !u16_(type)) return false;
    if (!D01.WithSymbols) continue;
    if (kind == kSymStatic && !add_scope(kScopeStatic, type_of(type), value, name)) return false;
    if (kind == kVarFrame && !add_scope(kScopeFrame, type_of(type), value, name)) return false;
  }
  return true;
}

bool record_block_begin() {
  if (!variable_list()) return false;
  D01.Depth = u16(D01.Depth + 1);
  return true;
}

bool record_block_end() {
  if (D01.Depth > 0) {
    D01.Depth = u16(D01.Depth - 1);
    return true;
  }
  if (!(D01.Pending & kD01FunctionOpen)) return bad();  // no function to end
  D01.Pending &= u16(~kD01FunctionOpen);
  if (!D01.WithSymbols) return true;
  for (ScopeRecord* r : {scope(D01.FunctionStatic), scope(D01.FunctionBlock)})
    if (r && D01.Address >= r->location.get()) r->size.set(u16(D01.Address - r->location.get()));
  SymFlag.CodeHigh = std::max(SymFlag.CodeHigh, D01.Address);
  // the module's range reaches to the end of its last function
  if (ScopeRecord* m = scope(D01.ModuleScope); m && D01.Address > m->location.get())
    m->size.set(u16(std::max<u32>(m->size.get(), D01.Address - m->location.get())));
  return true;
}

bool record_function() {
  Name name;
  if (!name_(name)) return false;
  const u32 start = D01.BlockStart;
  if (D01.WithSymbols && D01.InModule) {
    if (D01.Pending & kD01ModuleNeedsStart) {
      if (ScopeRecord* m = scope(D01.ModuleScope)) m->location.set(start);
      D01.Pending &= u16(~kD01ModuleNeedsStart);
    }
    const auto typed = Work->symbol_types.find(start);
    if (!add_scope(kScopeStatic, typed != Work->symbol_types.end() ? typed->second : kNoType, start, name))
      return false;
    D01.FunctionStatic = SymScopes.ScopeCount;
    if (!add_scope(kScopeBlock, kNoType, start, name)) return false;
    D01.FunctionBlock = SymScopes.ScopeCount;
    if (!D01.HaveCodeLow || start < SymFlag.CodeLow) SymFlag.CodeLow = start;
    D01.HaveCodeLow = true;
  } else {
    D01.FunctionStatic = D01.FunctionBlock = 0;
  }
  D01.Pending |= kD01FunctionOpen;
  D01.Depth = 0;
  return skip(8) && variable_list();
}

bool record_address() { return skip(1) && u32_(D01.Address); }

bool record_symbol() {
  u8 kind = 0;
  if (!u8_(kind)) return false;
  if (kind != kSymCode && kind != kSymData && kind != kSymStatic) {
    // the same layout (10 bytes and a name), then one more name
    u8 head[7];  // the last one is the name's length
    for (u8& b : head)
      if (!u8_(b)) return false;
    return skip(u32(head[6]) + 2) && skip_name();
  }
  u16 segment = 0, type = 0;
  u32 value = 0;
  Name name;
  if (!u16_(segment) || !u32_(value) || !name_(name) || !u16_(type)) return false;
  if (!D01.WithSymbols) return true;
  const u32 code = D01.InModule ? type_of(type) : kNoType;  // no type outside a module
  if (kind == kSymStatic) return name[0] == '?' || add_scope(kScopeStatic, code, value, name);
  if (segment == 1) D01.SegmentOneSeen = true;
  if (sym_add(std::string("_") + name, value, code) != 0) return full();
  if (D01.SegmentOneSeen) Work->symbol_types.emplace(value, code);
  return true;
}

// --- type definitions

bool define_type(u32 index, TypeBuilder& builder) {
  if (builder.failed() || !builder.define(index)) return full();
  return true;
}

struct MemberIn {
  u32 offset = 0;
  Name name{};
  u32 type = 0;
};

// struct: name, u32 size, u16 count, per member u32 offset, name, u16 type.
// union: name, u16 size, u32 count, per member name, u16 type.
bool type_struct(u16 number, u32 index, bool is_union) {
  Name tag;
  u32 size = 0, count = 0;
  if (!name_(tag)) return false;
  if (is_union) {
    u16 size16 = 0;
    if (!u16_(size16) || !u32_(count)) return false;
    size = size16;
  } else {
    u16 count16 = 0;
    if (!u32_(size) || !u16_(count16)) return false;
    count = count16;
  }
  // a member takes at least 3 (union) or 7 bytes: a count beyond what the
  // file can hold fails at its end, never in memory first
  std::vector<MemberIn> members;
  members.reserve(std::min<u32>(count, 4096));
  for (u32 i = 0; i < count; ++i) {
    MemberIn m;
    u16 type = 0;
    if (!is_union && !u32_(m.offset)) return false;
    if (!name_(m.name) || !u16_(type)) return false;
    m.type = type_of(type);
    members.push_back(m);
  }
  if (!D01.WithSymbols) return true;

  // members sharing an offset with another are bit fields, detailed later
  std::vector<bool> shared(members.size(), false);
  if (!is_union) {
    std::unordered_map<u32, std::size_t> first_at;
    for (std::size_t i = 0; i < members.size(); ++i) {
      const auto [it, fresh] = first_at.emplace(members[i].offset, i);
      if (!fresh) shared[i] = shared[it->second] = true;
    }
  }
  TypeBuilder builder;
  builder.put_byte(kKindStruct);
  builder.put_size(size);
  builder.put_count(count);
  builder.put_name(tag);
  D01WaitingStruct waiting;
  waiting.number = number;
  std::vector<u32> type_at(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    type_at[i] = u32(builder.built());
    builder.put_type(members[i].type);
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    builder.put_name(members[i].name);
    if (shared[i]) {
      waiting.slots.push_back({type_at[i], u32(builder.built())});
      builder.put_bit_field(0, 0);
    } else {
      builder.put_number(is_union ? 0 : members[i].offset);
    }
  }
  const NameHandle record = builder.failed() ? kNoName : builder.finish();
  if (record == kNoName || !sym_type_define(index, record)) return full();
  if (!waiting.slots.empty()) {
    waiting.record = record;
    Work->waiting.push_back(std::move(waiting));
  }
  return true;
}

// One bit-field member of the oldest waiting struct: width, offset, u16 type.
bool type_bit_field(u16 number) {
  u8 width = 0, offset = 0;
  u16 type = 0;
  if (!u8_(width) || !u8_(offset) || !u16_(type)) return false;
  if (!D01.WithSymbols) return true;
  if (Work->waiting.empty() || Work->waiting.front().number != number) return bad();
  D01WaitingStruct& w = Work->waiting.front();
  std::size_t length = 0;
  u8* prefix = sym_store_ptr(w.record);
  if (prefix == nullptr) return bad();
  u8* bytes = prefix + (sym_store_read_length(prefix, length) - prefix);  // past the length prefix
  const D01WaitingStruct::Slot slot = w.slots[w.next];
  if (slot.type_at + 5 > length || slot.bits_at + 3 > length) return bad();
  const u32 code = type_of(type);
  for (int i = 0; i < 4; ++i) bytes[slot.type_at + 1 + i] = u8(code >> (8 * i));
  bytes[slot.bits_at + 1] = width;
  bytes[slot.bits_at + 2] = offset;
  if (++w.next == w.slots.size()) Work->waiting.pop_front();
  return true;
}

bool record_type() {
  u16 number = 0;
  u8 kind = 0;
  if (!u16_(number) || !u8_(kind)) return false;
  if (number < kFirstUserNumber) return bad();  // below the first user type
  const u32 index = u32(number) - kFirstUserNumber + kFirstTypeIndex;
  TypeBuilder builder;
  switch (kind) {
    case kTypePointer: {
      u16 target = 0;
      if (!u16_(target)) return false;
      if (!D01.WithSymbols) return true;
      builder.pointer_record(kPointerNear, type_of(target));
      return define_type(index, builder);
    }
    case kTypeArray: {
      u16 element = 0;
      u32 size = 0;
      if (!u16_(element) || !u32_(size) || !skip(2)) return false;
      if (!D01.WithSymbols) return true;
      builder.put_byte(kKindArray);
      builder.put_size(size);
      builder.put_type(type_of(element));
      return define_type(index, builder);
    }
    case kTypeStruct: return type_struct(number, index, false);
    case kTypeUnion: return type_struct(number, index, true);
    case kTypeBitField: return type_bit_field(number);
    case kTypeFunction: {
      u16 result = 0;
      u8 params = 0;
      if (!u16_(result) || !skip(1) || !u8_(params) || !skip(2u * params)) return false;
      if (!D01.WithSymbols) return true;
      builder.function_record(type_of(result), params);
      return define_type(index, builder);
    }
    case kTypeAlias: {
      u16 target = 0;
      if (!skip(1) || !u16_(target)) return false;
      if (!D01.WithSymbols) return true;
      builder.alias_record(type_of(target));
      return define_type(index, builder);
    }
    default: {
      if (!D01.WithSymbols) return true;
      const NameHandle empty = sym_store_bytes(0, "");
      if (empty == kNoName || !sym_type_define(index, empty)) return full();
      return true;
    }
  }
}

// One record; false when the load ends (the end record, or the abort code set).
bool record() {
  u8 tag = 0;
  if (!dbi_read_u8(tag)) return bad();  // the file ends before its end record
  switch (tag) {
    case kTagModuleEnd: return record_module_end();
    case kTagModuleStart: return record_module_start();
    case kTagCode: return record_code();
    case kTagSkip8: return skip(8);
    case kTagSkip2a:
    case kTagSkip2b:
    case kTagSkip2c: return skip(2);
    case kTagLine: return record_line();
    case kTagBlockBegin: return record_block_begin();
    case kTagBlockEnd: return record_block_end();
    case kTagType: return record_type();
    case kTagSymbol: return record_symbol();
    case kTagSkip3: return skip(3);
    case kTagSkipNamed: {
      u16 n = 0;
      return skip_name() && u16_(n) && skip(n);
    }
    case kTagFunction: return record_function();
    case kTagAddress: return record_address();
    case kTagSkip1: return skip(1);
    case kTagEnd: return false;
    default: return fail(kD01UnknownRecord);
  }
}

u16 helper(std::string_view name, u16 otherwise) {
  u16 address = 0;
  return sym_lookup_value(name, address) != 0 ? address : otherwise;
}

void find_helpers() {
  D01Helpers& h = D01.Helpers;
  h.Entry01 = helper("_?ENT01_L11", 0);
  h.Entry11 = helper("_?ENT11_L11", 0);
  h.Entry10 = helper("_?ENT10_L11", 0);
  h.StoreBitsC = helper("_?STORE_BITS_C_L04", h.StoreBitsC);
  h.StoreBitsE = helper("_?STORE_BITS_E_L04", h.StoreBitsE);
  h.LoadBits = helper("_?LOAD_BITS_L04", h.LoadBits);
  h.SwitchC = helper("_?VC_SWITCH_L05", h.SwitchC);
  h.SwitchI = helper("_?VI_SWITCH_L05", h.SwitchI);
}

}  // namespace

void dbi_d01_reset() {
  const D01CodeWriter writer = D01.CodeWriter;
  D01 = D01State{};
  D01.CodeWriter = writer;
}

u32 dbi_d01_type_code(u16 number) {
  if (number >= kFirstUserNumber) return u32(number) - kFirstUserNumber + kFirstTypeIndex;
  return number < kBaseCodes.size() ? kBaseCodes[number] : kOtherBaseCode;
}

u16 dbi_add_scope(u16 kind, u32 type, u32 location, std::string_view name) {
  ScopeRecord r{};
  r.kind.set(kind);
  r.location.set(location);
  r.type.set(type);
  const NameHandle handle = sym_intern_name(name);
  if (handle == kNoName && !name.empty()) return 1;
  r.name.set(handle);
  return sym_add_scope(r);
}

i16 dbi_load_d01(const char* path, bool with_symbols) {
  const SupFileCloser file(sup_file_open(path ? path : "", kFileModeRead));
  if (file.handle == -1) return kD01FileMissing;
  if (dbi_buffer_init() < kDbiBufferMinimum) return kD01BufferTooSmall;

  const D01Helpers helpers = D01.Helpers;
  dbi_d01_reset();
  D01.Helpers = helpers;
  D01.WithSymbols = with_symbols;

  D01Work work;
  Work = &work;
  sym_source_reset();
  if (!dbi_buffer_start(file.handle, 0)) D01.Abort = kLoadBadFormat;
  while (D01.Abort == 0 && record()) dbi_buffer_refill();
  if (with_symbols) end_line_module();
  if (D01.Abort == 0 && with_symbols) find_helpers();
  const i16 result = D01.Abort;
  Work = nullptr;
  DbiBuf.Handle = -1;
  return result;
}
