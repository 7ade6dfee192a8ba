// The TypeTable, the field coders and the record builder. Slot pages come from
// the symbol store and are freed with it by sym_reset; this file only forgets
// the pointers.
#include "halv80/symbols/sym_types.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/cmd_switches.h"

constinit TypeTableState Types;

namespace {

// A tag byte followed by a u16 or a u32, for the wide forms of the fields.
std::size_t put_tagged(std::span<u8> out, u8 tag, u32 value, bool wide) {
  const std::size_t n = wide ? 5 : 3;
  if (out.size() < n) return 0;
  out[0] = tag;
  if (wide)
    store_le32(&out[1], value);
  else
    store_le16(&out[1], u16(value));
  return n;
}

}  // namespace

bool sym_array_holds_count() { return Sw.ToolchainKind == 4 || Sw.ToolchainKind == 5; }

u32* sym_type_slot(u32 index) {
  if (index < kFirstTypeIndex) return nullptr;
  const u32 slot = index - kFirstTypeIndex;
  if (slot >= kTypeSlotLimit) return nullptr;  // beyond the last page
  u32* page = Types.Pages[slot / kTypeSlotsPerPage];
  if (page == nullptr) return nullptr;  // no type was ever defined there
  return page + slot % kTypeSlotsPerPage;
}

u32* sym_type_slot_make(u32 index) {
  if (index < kFirstTypeIndex || index - kFirstTypeIndex >= kTypeSlotLimit) return nullptr;
  const u32 slot = index - kFirstTypeIndex;
  u32*& page = Types.Pages[slot / kTypeSlotsPerPage];
  if (page == nullptr) {
    // A fresh page reads as 8,192 undefined types.
    u8* bytes = sym_page_alloc_zeroed();
    if (bytes == nullptr) return nullptr;
    page = reinterpret_cast<u32*>(bytes);
  }
  return page + slot % kTypeSlotsPerPage;
}

bool sym_type_define(u32 index, NameHandle record) {
  u32* slot = sym_type_slot_make(index);
  if (slot == nullptr) return false;
  *slot = record;
  Types.SlotCount = std::max(Types.SlotCount, index - kFirstTypeIndex + 1);
  return true;
}

bool sym_type_define_bytes(u32 index, std::span<const u8> record) {
  // The slot first: a record stored for a slot that cannot exist would be lost.
  if (sym_type_slot_make(index) == nullptr) return false;
  // A null data pointer would only reserve space: an empty record still needs its prefix.
  static constexpr u8 kEmpty = 0;
  const NameHandle handle =
      sym_store_bytes(record.size(), record.empty() ? &kEmpty : record.data());
  if (handle == kNoName) return false;
  return sym_type_define(index, handle);
}

bool sym_type_record(u32 code, std::span<const u8>& record) {
  const u32* slot = sym_type_slot(code);
  if (slot == nullptr || *slot == kNoName) return false;
  const u8* prefix = sym_store_ptr(*slot);
  if (prefix == nullptr) return false;  // a handle that names no stored string
  std::size_t length = 0;
  const u8* data = sym_store_read_length(prefix, length);
  if (data == nullptr || length == 0) return false;  // an empty record has no kind
  record = std::span<const u8>(data, length);
  return true;
}

void sym_reset_types() { Types = TypeTableState{}; }

std::size_t sym_type_put_size(std::span<u8> out, u32 bytes) {
  if (bytes < 32) {
    if (out.empty()) return 0;
    out[0] = u8(bytes * 8);
    return 1;
  }
  if (bytes < 8192) return put_tagged(out, kFieldWide16, bytes * 8, false);
  // Beyond 512 MiB the bits no longer fit 32 bits: the largest size is kept.
  const u32 bits = bytes < 0x20000000 ? bytes * 8 : 0xFFFFFFF8;
  return put_tagged(out, kFieldWide32, bits, true);
}

std::size_t sym_type_put_count(std::span<u8> out, u32 count) {
  // A single byte of 0x80 or more would read as a field tag.
  if (count < 0x80) {
    if (out.empty()) return 0;
    out[0] = u8(count);
    return 1;
  }
  return put_tagged(out, kFieldWide16, std::min<u32>(count, 0xFFFF), false);
}

std::size_t sym_type_put_number(std::span<u8> out, u32 value) {
  if (value < 256) {
    if (out.size() < 2) return 0;
    out[0] = kFieldNumber8;
    out[1] = u8(value);
    return 2;
  }
  if (value < 65536) return put_tagged(out, kFieldNumber16, value, false);
  return put_tagged(out, kFieldNumber32, value, true);
}

std::size_t sym_type_put_name(std::span<u8> out, std::string_view name) {
  const std::size_t length = std::min(name.size(), kNameMax);
  if (out.size() < length + 2) return 0;
  out[0] = kFieldName;
  out[1] = u8(length);
  if (length != 0) std::memcpy(&out[2], name.data(), length);
  return length + 2;
}

std::size_t sym_type_put_type(std::span<u8> out, u32 code) {
  if (out.size() < kTypeFieldSize) return 0;
  out[0] = kFieldType;
  store_le32(&out[1], code);
  return kTypeFieldSize;
}

bool TypeFieldReader::byte(u8& out) {
  if (remaining() < 1) return false;
  out = data_[pos_++];
  return true;
}

bool TypeFieldReader::u16le(u16& out) {
  if (remaining() < 2) return false;
  out = load_le16(&data_[pos_]);
  pos_ += 2;
  return true;
}

bool TypeFieldReader::u32le(u32& out) {
  if (remaining() < 4) return false;
  out = load_le32(&data_[pos_]);
  pos_ += 4;
  return true;
}

bool TypeFieldReader::count(u32& out) {
  const std::size_t start = pos_;
  u8 tag = 0;
  if (!byte(tag)) return false;
  bool ok = true;
  if (tag == kFieldWide16 || tag == kFieldAlt16) {
    u16 v = 0;
    ok = u16le(v);
    out = v;
  } else if (tag == kFieldWide32 || tag == kFieldAlt32) {
    ok = u32le(out);
  } else {
    out = tag;  // any other byte is the value itself
  }
  if (!ok) pos_ = start;
  return ok;
}

bool TypeFieldReader::size(u32& bytes) {
  u32 bits = 0;
  if (!count(bits)) return false;
  bytes = bits / 8;
  return true;
}

bool TypeFieldReader::number(u32& out) {
  const std::size_t start = pos_;
  u8 tag = 0;
  if (!byte(tag)) return false;
  bool ok = false;
  if (tag == kFieldNumber8) {
    u8 v = 0;
    ok = byte(v);
    out = v;
  } else if (tag == kFieldNumber16) {
    u16 v = 0;
    ok = u16le(v);
    out = v;
  } else if (tag == kFieldNumber32) {
    ok = u32le(out);
  }
  if (!ok) pos_ = start;  // also for a byte that is no number tag
  return ok;
}

bool TypeFieldReader::name(std::span<const u8>& name) {
  if (remaining() < 2 || data_[pos_] != kFieldName) return false;
  const std::size_t length = data_[pos_ + 1];
  if (length > remaining() - 2) return false;  // name runs past the record
  name = data_.subspan(pos_ + 2, length);
  pos_ += 2 + length;
  return true;
}

bool TypeFieldReader::type(u32& code) {
  if (remaining() < kTypeFieldSize || data_[pos_] != kFieldType) return false;
  ++pos_;
  return u32le(code);
}

bool TypeFieldReader::position_field(u32& offset, u16& bit_field) {
  if (remaining() >= 1 && data_[pos_] == kFieldBitField) {
    if (remaining() < 3) return false;
    bit_field = u16(data_[pos_ + 1] << 8 | data_[pos_ + 2]);
    offset = 0;  // a bit field's place is all in bit_field
    pos_ += 3;
    return true;
  }
  if (!number(offset)) return false;
  bit_field = 0;
  return true;
}

bool TypeBuilder::flush() {
  if (fill_ == 0) return true;
  // The first part stored is either the whole record or more than 1,700 bytes,
  // so it has the two-byte prefix that lets sym_store_append grow it.
  const NameHandle handle = sym_store_append(stored_, fill_, buf_);
  if (handle == kNoName) {
    failed_ = true;
    return false;
  }
  stored_ = handle;
  fill_ = 0;
  return true;
}

bool TypeBuilder::room(std::size_t n) {
  if (failed_) return false;
  if (fill_ > kTypeBuildFlush || n > kTypeBuildSize - fill_) return flush();
  return true;
}

bool TypeBuilder::put(const u8* bytes, std::size_t n) {
  if (!room(n)) return false;
  std::memcpy(buf_ + fill_, bytes, n);
  fill_ += n;
  total_ += n;
  return true;
}

bool TypeBuilder::put_byte(u8 value) { return put(&value, 1); }

bool TypeBuilder::put_size(u32 bytes) {
  u8 field[kSizeFieldMax];
  return put(field, sym_type_put_size(field, bytes));
}

bool TypeBuilder::put_count(u32 count) {
  u8 field[kSizeFieldMax];
  return put(field, sym_type_put_count(field, count));
}

bool TypeBuilder::put_number(u32 value) {
  u8 field[kNumberFieldMax];
  return put(field, sym_type_put_number(field, value));
}

bool TypeBuilder::put_name(std::string_view name) {
  u8 field[kNameFieldMax];
  return put(field, sym_type_put_name(field, name));
}

bool TypeBuilder::put_type(u32 code) {
  u8 field[kTypeFieldSize];
  return put(field, sym_type_put_type(field, code));
}

bool TypeBuilder::put_bit_field(u8 width, u8 offset) {
  const u8 field[3] = {kFieldBitField, width, offset};
  return put(field, sizeof field);
}

bool TypeBuilder::struct_record(u8 kind, u32 size_bytes, std::string_view tag,
                                std::span<const TypeMember> members) {
  put_byte(kind);
  put_size(size_bytes);
  put_count(u32(members.size()));
  put_name(tag);
  for (const TypeMember& m : members) put_type(m.type);
  for (const TypeMember& m : members) {
    put_name(m.name);
    if (m.bit_field)
      put_bit_field(m.bit_width, m.bit_offset);
    else
      put_number(m.offset);
  }
  return !failed_;
}

bool TypeBuilder::array_record(u32 element_count, u32 element_type, u32 element_size) {
  put_byte(kKindArray);
  put_size(sym_array_holds_count() ? element_count : element_count * element_size);
  put_type(element_type);
  return !failed_;
}

bool TypeBuilder::pointer_record(u8 pointer_kind, u32 target) {
  put_byte(kKindPointer);
  put_byte(pointer_kind);
  put_type(target);
  return !failed_;
}

bool TypeBuilder::enum_record(std::string_view tag) {
  put_byte(kKindEnum);
  put_name(tag);
  return !failed_;
}

bool TypeBuilder::function_record(u32 return_type, u8 parameter_count) {
  put_byte(kKindFunction);
  put_byte(kFunctionMark);
  put_type(return_type);
  put_byte(kFunctionParams);
  put_byte(parameter_count);
  return !failed_;
}

bool TypeBuilder::alias_record(u32 target) {
  u8 field[kTypeFieldSize];
  sym_type_put_type(field, target);  // the alias kind byte is the type tag itself
  return put(field, sizeof field);
}

NameHandle TypeBuilder::finish() {
  if (failed_ || !flush()) return kNoName;
  return stored_;
}

bool TypeBuilder::define(u32 index) {
  // The slot first: a record stored for a slot that cannot exist would be lost.
  if (failed_ || sym_type_slot_make(index) == nullptr) return false;
  const NameHandle handle = finish();
  return handle != kNoName && sym_type_define(index, handle);
}
