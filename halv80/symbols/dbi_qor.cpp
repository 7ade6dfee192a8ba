#include "halv80/symbols/dbi_qor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_host.h"
#include "halv80/symbols/dbi_buffer.h"
#include "halv80/symbols/dbi_d01.h"
#include "halv80/symbols/dbi_load.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_scopes.h"
#include "halv80/symbols/sym_source.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/sym_types.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

constinit QorState Qor;

namespace {

constexpr std::string_view kMagicOneBlock = "IA80";
constexpr std::string_view kMagicBlocks = "IRLN";
constexpr std::size_t kModuleRecordMin = 6;   // length, tag, first, last
constexpr std::size_t kFileRecordMin = 3;     // length, tag, at least the NUL
constexpr std::size_t kLineRecordMin = 6;     // length, tag, address, line
constexpr std::size_t kTypeRecordMin = 2;     // length and the kind byte
constexpr u8 kWidenedLength = 6;              // a record of this length carries a u16 type to widen

// The kinds a type record may have.
constexpr u8 kTypeKinds[] = {kKindArray, kKindStruct, kKindUnion, kKindPointer,
                             kKindEnum,  kKindFunction, kKindNoStorage, kKindAlias};

u16 le16(const u8* p) { return u16(p[0] | p[1] << 8); }

class QorLoader {
 public:
  explicit QorLoader(bool one_block) : one_block_(one_block) {}

  i16 load() {
    for (;;) {
      if (!part_one() || !part_two()) return result_ == kLoadDone ? kLoadBadFormat : result_;
      // four bytes nobody reads, then the end mark, or the next block
      u8 next = 0;
      if (!dbi_skip(kQorSkippedAfterSymbols) || !dbi_buffer_ensure(1)) return kLoadBadFormat;
      next = DbiBuf.Data[DbiBuf.Cursor];
      if (next == kQorFileEnd || one_block_) return kLoadDone;
      dbi_buffer_refill();
    }
  }

 private:
  bool bad() {
    if (result_ == kLoadDone) result_ = kLoadBadFormat;
    return false;
  }
  bool full() {
    if (result_ == kLoadDone) result_ = kLoadFull;
    return false;
  }

  // Records of a length byte (counting itself) and a tag, up to a length 0xFF.
  bool part_one() {
    for (;;) {
      dbi_buffer_refill();
      u8 length = 0;
      if (!dbi_read_u8(length)) return bad();  // the part ends before its end mark
      if (length == kQorPartEnd) break;
      if (length < kTypeRecordMin || !dbi_buffer_ensure(length - 1u)) return bad();
      const u8* r = DbiBuf.Data.get() + DbiBuf.Cursor;
      if (!record(r, std::size_t(length))) return false;
      DbiBuf.Cursor += length - 1u;
    }
    close_module();
    return true;
  }

  void close_module() {
    if (module_open_) sym_end_module();
    module_open_ = false;
  }

  // One part-one record: `r` points at its tag, `length` counts the length byte too.
  bool record(const u8* r, std::size_t length) {
    switch (r[0]) {
      case kQorModule: {
        if (length < kModuleRecordMin) return bad();
        const u32 first = le16(r + 1), last = le16(r + 3);
        if (last < first) return bad();
        if (dbi_add_scope(kScopeModule, kNoType, first, file_) != 0) return full();
        sym_scope_record(u16(SymScopes.ScopeCount - 1))->size.set(u16(std::min<u32>(last - first + 1, 0xFFFF)));
        if (!have_range_ || first < SymFlag.CodeLow) SymFlag.CodeLow = first;
        if (!have_range_ || last + 1 > SymFlag.CodeHigh) SymFlag.CodeHigh = last + 1;
        have_range_ = true;
        type_base_ = type_count_;
        return true;
      }
      case kQorFile: {
        // the name ends inside the record
        if (length < kFileRecordMin) return bad();
        const u8* end = static_cast<const u8*>(std::memchr(r + 1, 0, length - 2));
        if (end == nullptr) return bad();
        file_.assign(reinterpret_cast<const char*>(r + 1), std::size_t(end - (r + 1)));
        close_module();
        if (sym_begin_module(file_.c_str()) != 0) return full();
        module_open_ = true;
        return true;
      }
      case kQorLine: {
        if (length < kLineRecordMin) return bad();
        if (!module_open_) return bad();  // a line before any file
        if (sym_add_line(le16(r + 3), le16(r + 1)) == 1) return full();
        Lst.ListingMode = kListingSource;
        return true;
      }
      default:
        return type_record(r, length - 1);
    }
  }

  // The record's bytes, kind byte first, into the next type slot; a 5-byte
  // record's u16 type (bytes 3 and 4) is widened to a u32.
  bool type_record(const u8* r, std::size_t size) {
    if (std::find(std::begin(kTypeKinds), std::end(kTypeKinds), r[0]) == std::end(kTypeKinds)) return bad();
    if (type_count_ >= kTypeSlotLimit) return full();
    std::array<u8, 256> bytes{};
    std::memcpy(bytes.data(), r, size);
    if (size + 1 == kWidenedLength) {
      const u16 type = le16(r + 3);
      bytes[3] = u8(type);
      bytes[4] = u8(type >> 8);
      bytes[5] = 0;
      bytes[6] = 0;
      size = 7;
    }
    if (!sym_type_define_bytes(kFirstTypeIndex + type_count_, std::span<const u8>(bytes.data(), size))) return full();
    ++type_count_;
    return true;
  }

  // Symbols: flag byte (0xFF ends the part), u16 address, u16 type and a
  // zero-ended name each.
  bool part_two() {
    for (;;) {
      dbi_buffer_refill();
      u8 flag = 0;
      u16 address = 0, type = 0;
      if (!dbi_read_u8(flag)) return bad();
      if (flag == kQorPartEnd) return true;
      std::string name;
      if (!dbi_read_le16(address) || !dbi_read_le16(type) || !zero_ended(name)) return bad();
      u32 code = type;
      if (type >= kQorBlockTypes) {
        code = u32(type) + type_base_;
        // only types stored so far: a later block's types have a base of their own
        if (code - kFirstTypeIndex >= type_count_) return bad();
      } else if (type >= 256) {
        return bad();  // neither a base type nor one of the block's
      }
      if ((flag & kQorGlobal) != 0 || one_block_) {
        if (sym_add("_" + name, address, code) != 0) return full();
      } else if (name.empty() || name[0] != '~') {
        if (dbi_add_scope(kScopeStatic, code, address, upper_case(name)) != 0) return full();
      }
    }
  }

  // A static item's name as the lookups of this case-blind format compare
  // it: upper-cased (ASCII; a double-byte character stays as it is).
  static std::string upper_case(std::string name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (host_cp932_lead(u8(name[i])))
        ++i;
      else
        name[i] = char(host_ascii_upper(u8(name[i])));
    }
    return name;
  }

  // A name up to its NUL, at most 255 characters; the file must hold the NUL.
  static bool zero_ended(std::string& out) {
    for (;;) {
      u8 c = 0;
      if (!dbi_read_u8(c)) return false;
      if (c == 0) return true;
      if (out.size() >= kQorNameMax) return false;
      out += char(c);
    }
  }

  bool one_block_;
  i16 result_ = kLoadDone;
  std::string file_;          // of the last 0xFC record: a module record's name
  bool module_open_ = false;  // a line module is open
  u32 type_count_ = 0;        // type records stored
  u32 type_base_ = 0;         // slot of the current module's first type
  bool have_range_ = false;
};

}  // namespace

void dbi_unscramble_start(u8 seed) { Qor.Key = u16(seed ^ kQorSeedConstant); }

void dbi_unscramble(std::span<u8> data) {
  u16 s = Qor.Key;
  for (u8& b : data) {
    s = u16(s * kQorMultiplier + kQorIncrement);
    b ^= u8(s);
  }
  Qor.Key = s;
}

i16 dbi_load_format_e(const char* path) {
  const SupFileCloser file(sup_file_open(path ? path : "", kFileModeRead));
  if (file.handle == -1) return kD01FileMissing;
  if (dbi_buffer_init() < kDbiBufferMinimum) return kD01BufferTooSmall;
  sym_source_reset();
  SymFlag.CaseSensitive = 0;  // names of this format are matched without regard to case

  std::array<u8, kQorHeaderSize> header{};
  if (sup_file_read(file.handle, header.data(), u32(header.size())) != i32(header.size())) return kLoadBadFormat;
  const std::string_view magic(reinterpret_cast<const char*>(header.data()), 4);
  if (magic != kMagicOneBlock && magic != kMagicBlocks) return kLoadBadFormat;

  dbi_unscramble_start(header[4]);
  DbiBuf.Descramble = dbi_unscramble;
  i16 result = kLoadBadFormat;
  if (dbi_buffer_start(file.handle, kQorHeaderSize)) {
    QorLoader loader(magic == kMagicOneBlock);
    result = loader.load();
  }
  DbiBuf.Descramble = nullptr;
  DbiBuf.Handle = -1;
  return result;
}
