// Debug types: the TypeTable of slots from type index 512 up, each holding the
// NameHandle of a byte-coded TypeRecord in the name store, and the coders and
// the record builder that the debug-information loaders write records with.
// Every field read from a record is checked against the record's stored length;
// a type that cannot be read is "no type" (code 0) to every reader.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "halv80/symbols/sym_store.h"
#include "platform/host/host_types.h"

// Type codes. 1..255: base types (bits 0-3 the base type, bits 5-6 a pointer to
// it, bit 7 set by the loaders); 512 and up: TypeTable indexes.
constexpr u32 kNoType = 0;
constexpr u32 kFirstTypeIndex = 512;
constexpr u32 kTypeEnumClass = 0xFFFFFFFE;      // never a slot: the class of enum records
constexpr u32 kTypeFunctionClass = 0xFFFFFFFF;  // never a slot: the class of function records
constexpr u32 kBasePointerBits = 0x60;
constexpr u32 kBaseMark = 0x80;

constexpr u32 kTypeSlotsPerPage = 8192;
constexpr u32 kTypeSlotLimit = kTypeSlotsPerPage * kTypeSlotPages;  // 1,048,576 slots
static_assert(kTypeSlotsPerPage * sizeof(u32) == kSymPageSize);

// Aliases, sizes and nested element types are followed at most this deep; a
// deeper chain (or one that refers to itself) is "no type".
constexpr int kTypeDepthLimit = 32;

// Record kinds: the first byte of a TypeRecord.
constexpr u8 kKindArray = 'x';        // size field, 0x83 + element type
constexpr u8 kKindStruct = 'y';       // size, count, tag, member types, member names and positions
constexpr u8 kKindUnion = '|';        // as struct
constexpr u8 kKindPointer = 'z';      // pointer kind byte, 0x83 + target type
constexpr u8 kKindEnum = '{';         // tag, then name + number field per member
constexpr u8 kKindFunction = 'u';     // 0x80, 0x83 + return type, 'c', parameter count; size 0
constexpr u8 kKindNoStorage = '\\';   // size 0; also the kind of a bit-field record
constexpr u8 kKindAlias = 0x83;       // u32 aliased type code
constexpr u8 kKindBitFieldType = 'g'; // IEEE-695 bit-field type: number fields signedness, width; read as kKindNoStorage

// Tagged fields inside a record.
constexpr u8 kFieldName = 0x82;       // length byte, then the characters (no NUL)
constexpr u8 kFieldType = 0x83;       // u32 type code
constexpr u8 kFieldWide16 = 0x85;     // size field or member count: u16 follows
constexpr u8 kFieldWide32 = 0x86;     // size field or member count: u32 follows
constexpr u8 kFieldAlt16 = 0x89;      // size field: u16 follows (readers only)
constexpr u8 kFieldAlt32 = 0x8A;      // size field: u32 follows (readers only)
constexpr u8 kFieldNumber8 = 0x88;    // number field: u8 follows
constexpr u8 kFieldNumber16 = 0x89;   // number field: u16 follows
constexpr u8 kFieldNumber32 = 0x90;   // number field: u32 follows
constexpr u8 kFieldBitField = '\\';   // member position of a bit field: width byte, offset byte
constexpr u8 kFunctionMark = 0x80;    // second byte of a function record
constexpr u8 kFunctionParams = 'c';   // before a function record's parameter count

// Pointer kinds: 't' and above a 2-byte pointer, below a 4-byte one.
constexpr u8 kPointerNearFirst = 't';
constexpr u8 kPointerNear = 'w';      // what casts make
constexpr u8 kPointerFar = 's';       // what '&' and pointer arithmetic make

// The largest encodings of each field, for callers that size buffers.
constexpr std::size_t kSizeFieldMax = 5;
constexpr std::size_t kNumberFieldMax = 5;
constexpr std::size_t kNameFieldMax = 257;
constexpr std::size_t kTypeFieldSize = 5;
constexpr std::size_t kNameMax = 255;   // longer names are cut to this

// Array size fields. With toolchain kinds 4 and 5 the size field of an array
// record holds the element count, coded as if the count were a size in bytes
// (so the field's bits are count x 8 and exp_type_size_field reads the count
// back); the size is count x element size. With every other toolchain kind the
// size field holds the array's whole size in bytes.
bool sym_array_holds_count();

struct TypeTableState {
  u32* Pages[kTypeSlotPages]{};  // slot pages from the symbol store; null until first used
  u32 SlotCount = 0;             // highest defined slot + 1
};
extern TypeTableState Types;

// The slot of type `index`, or null when the index is below 512, beyond the
// table, or its page was never taken. Changes nothing.
u32* sym_type_slot(u32 index);
// The slot of type `index`, taking its page (zero-filled) when it does not
// exist yet; null when the index is out of range or no page is to be had.
u32* sym_type_slot_make(u32 index);
// Defines type `index` as the stored record `record`: takes the slot's page
// first, then writes the handle. False when the slot cannot be had.
bool sym_type_define(u32 index, NameHandle record);
// Stores `record` in the name store and defines type `index` with it. False
// when the slot or the store space cannot be had (nothing is defined then).
bool sym_type_define_bytes(u32 index, std::span<const u8> record);
// The bytes of the record of user type `code`; false (no type) when the code is
// no table index, its slot is out of range, unset or empty, or the record is empty.
bool sym_type_record(u32 code, std::span<const u8>& record);
// Empties the type table; sym_reset calls it before the pages are freed.
void sym_reset_types();

// Field coders. Each writes one field at the start of `out` and returns the
// number of bytes written; 0 when `out` is too short (nothing is written).
// Size field from a size in bytes: below 32 one byte (bytes x 8), below 8,192
// 0x85 + u16 bits, else 0x86 + u32 bits.
std::size_t sym_type_put_size(std::span<u8> out, u32 bytes);
// Member count: below 0x80 one byte, else 0x85 + u16 (counts above 65,535 are cut).
std::size_t sym_type_put_count(std::span<u8> out, u32 count);
// Number field: below 256 0x88 + u8, below 65,536 0x89 + u16, else 0x90 + u32.
std::size_t sym_type_put_number(std::span<u8> out, u32 value);
// Name field: 0x82, length byte, the characters (at most 255).
std::size_t sym_type_put_name(std::span<u8> out, std::string_view name);
// Type field: 0x83 + u32.
std::size_t sym_type_put_type(std::span<u8> out, u32 code);

// Reads the fields of one record in order. A read that does not fit leaves the
// position alone and returns false.
class TypeFieldReader {
 public:
  explicit TypeFieldReader(std::span<const u8> record, std::size_t position = 0)
      : data_(record), pos_(position <= record.size() ? position : record.size()) {}
  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }
  bool byte(u8& out);
  bool u16le(u16& out);
  bool u32le(u32& out);
  // A size field; `bytes` = its bits / 8.
  bool size(u32& bytes);
  // A member count: one byte, or 0x85 / 0x89 + u16, or 0x86 / 0x8A + u32.
  bool count(u32& out);
  // A number field (0x88, 0x89, 0x90).
  bool number(u32& out);
  // A name field; `name` points into the record.
  bool name(std::span<const u8>& name);
  // A type field (0x83 + u32).
  bool type(u32& code);
  // A member position: a number field (bit_field 0), or a bit field
  // (offset 0, bit_field = width << 8 | bit offset).
  bool position_field(u32& offset, u16& bit_field);

 private:
  std::span<const u8> data_;
  std::size_t pos_ = 0;
};

// One member of a struct or union built by the builder's struct helper.
struct TypeMember {
  std::string_view name;
  u32 type = 0;
  u32 offset = 0;       // byte offset; unused for a bit field
  bool bit_field = false;
  u8 bit_width = 0;
  u8 bit_offset = 0;
};

constexpr std::size_t kTypeBuildSize = 2048;   // the build buffer
constexpr std::size_t kTypeBuildFlush = 1920;  // past this the built part goes to the store

// Builds one record. Each put checks the room for its whole entry first; when
// the buffer holds more than 1,920 bytes, or the entry would not fit, the built
// part is stored (the first time) or appended to the stored record, and
// building goes on. Any failure (store full, record beyond one page) is sticky:
// every later put and finish report it.
class TypeBuilder {
 public:
  bool put_byte(u8 value);
  bool put_size(u32 bytes);
  bool put_count(u32 count);
  bool put_number(u32 value);
  bool put_name(std::string_view name);
  bool put_type(u32 code);
  bool put_bit_field(u8 width, u8 offset);  // the backslash, width, offset

  // Whole records. struct_record takes kKindStruct or kKindUnion.
  bool struct_record(u8 kind, u32 size_bytes, std::string_view tag,
                     std::span<const TypeMember> members);
  // The size field follows the array convention above (sym_array_holds_count).
  bool array_record(u32 element_count, u32 element_type, u32 element_size);
  bool pointer_record(u8 pointer_kind, u32 target);
  // Enum head; then put_name and put_number for each member.
  bool enum_record(std::string_view tag);
  bool function_record(u32 return_type, u8 parameter_count);
  bool alias_record(u32 target);

  // Stores what is left and returns the record's handle; 0 on failure or when
  // nothing was built.
  NameHandle finish();
  // finish, then defines type `index` with the record.
  bool define(u32 index);
  bool failed() const { return failed_; }
  std::size_t built() const { return total_; }  // bytes put so far, stored or not

 private:
  bool room(std::size_t n);
  bool flush();
  bool put(const u8* bytes, std::size_t n);

  u8 buf_[kTypeBuildSize]{};
  std::size_t fill_ = 0;
  std::size_t total_ = 0;
  NameHandle stored_ = kNoName;
  bool failed_ = false;
};
