// Decoders of the full resource descriptor and the resource requirements list.
// A cursor reads the little-endian fields; a read that does not fit leaves
// the cursor where it is and makes the decoder print its note and stop.
#include "qorreg/reg_resource.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Appends printf-style text (numbers only: the buffer holds one short line).
[[gnu::format(printf, 2, 3)]] void put(std::string& out, const char* format, ...) {
  char line[128];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) out.append(line, std::size_t(n) < sizeof line ? std::size_t(n) : sizeof line - 1);
}

class FieldReader {
 public:
  explicit FieldReader(std::span<const u8> data) : data_(data) {}
  std::size_t remaining() const { return data_.size() - pos_; }
  std::size_t size() const { return data_.size(); }
  bool u8_at(u8& out) { return take(1, out); }
  bool u16_at(u16& out) { return take(2, out); }
  bool u32_at(u32& out) { return take(4, out); }
  bool u64_at(u64& out) { return take(8, out); }
  bool skip(std::size_t n) {
    if (remaining() < n) return false;
    pos_ += n;
    return true;
  }

 private:
  template <typename T>
  bool take(std::size_t width, T& out) {
    if (remaining() < width) return false;
    u64 v = 0;
    for (std::size_t i = width; i-- > 0;) v = v << 8 | data_[pos_ + i];
    out = T(v);
    pos_ += width;
    return true;
  }
  std::span<const u8> data_;
  std::size_t pos_ = 0;
};

// The note after the last field that fitted: the value's size and the size
// its header, or its descriptor count, calls for.
void put_short_note(std::string& out, std::size_t size, u64 needed) {
  put(out, "\n  [short value: %zu bytes, %llu needed]", size, static_cast<unsigned long long>(needed));
}

std::string unknown_name(u32 n) { return "Unknown(" + std::to_string(n) + ")"; }

// Bytes a list header plus `count` descriptors of `size` bytes need.
u64 bytes_for(std::size_t header, u32 count, std::size_t size) { return header + u64(count) * size; }

// Descriptors that fit in what is left of the value.
u32 descriptors_held(const FieldReader& r, u32 count, std::size_t size) {
  const std::size_t fit = r.remaining() / size;
  return count < fit ? count : u32(fit);
}

// One partial descriptor; the reader holds at least its 16 bytes.
void put_partial_descriptor(FieldReader& r, u32 index, std::string& out) {
  u8 type = 0, share = 0;
  u16 flags = 0;
  r.u8_at(type);
  r.u8_at(share);
  r.u16_at(flags);
  put(out, "\n    CM_PARTIAL_RESOURCE_DESCRIPTOR - [%d]", int(index));
  out += "\n      Type [" + reg_resource_type_name(type) + "]";
  out += "\n      ShareDisposition [" + reg_share_name(share) + "]";
  put(out, "\n      Flags [%04X]", unsigned(flags));
  if (type == kRegResourcePort) {
    u64 start = 0;
    u32 length = 0;
    r.u64_at(start);
    r.u32_at(length);
    out += "\n      Port";
    put(out, "\n        PADDRESS [%08lX]", static_cast<unsigned long>(u32(start)));
    put(out, "\n        Length [%08lX]", static_cast<unsigned long>(length));
  } else if (type == kRegResourceInterrupt) {
    u32 level = 0, vector = 0, affinity = 0;
    r.u32_at(level);
    r.u32_at(vector);
    r.u32_at(affinity);
    out += "\n      Interrupt";
    put(out, "\n        Level [%08lX]", static_cast<unsigned long>(level));
    put(out, "\n        Vector [%08lX]", static_cast<unsigned long>(vector));
    put(out, "\n        Affinity [%08lX]", static_cast<unsigned long>(affinity));
  } else {
    r.skip(12);
  }
}

// One requirement descriptor; the reader holds at least its 32 bytes.
void put_io_descriptor(FieldReader& r, u32 index, std::string& out) {
  u8 option = 0, type = 0, share = 0, spare8 = 0;
  u16 flags = 0, spare16 = 0;
  r.u8_at(option);
  r.u8_at(type);
  r.u8_at(share);
  r.u8_at(spare8);
  r.u16_at(flags);
  r.u16_at(spare16);
  put(out, "\n    IO_RESOURCE_DESCRIPTOR - [%d]", int(index));
  out += "\n      Option";
  if (option & 1) out += "\n        PREEFERRED";
  if (option & 2) out += "\n        DEFAULT";
  if (option & 8) out += "\n        ALTERNATIVE";
  out += "\n      Type [" + reg_resource_type_name(type) + "]";
  out += "\n      ShareDisposition [" + reg_share_name(share) + "]";
  put(out, "\n      Flags [%04X]", unsigned(flags));
  if (type == kRegResourcePort || type == kRegResourceMemory) {
    u32 length = 0, alignment = 0;
    u64 min = 0, max = 0;
    r.u32_at(length);
    r.u32_at(alignment);
    r.u64_at(min);
    r.u64_at(max);
    out += type == kRegResourcePort ? "\n      Port" : "\n      Memory";
    put(out, "\n        Length [%08lX]", static_cast<unsigned long>(length));
    put(out, "\n        Alignment [%08lX]", static_cast<unsigned long>(alignment));
    put(out, "\n        MinADDR [%08lX]", static_cast<unsigned long>(u32(min)));
    put(out, "\n        MaxADDR [%08lX]", static_cast<unsigned long>(u32(max)));
  } else if (type == kRegResourceInterrupt) {
    u32 min = 0, max = 0;
    r.u32_at(min);
    r.u32_at(max);
    r.skip(16);
    out += "\n      Interrupt";
    put(out, "\n        MinVector [%08lX]", static_cast<unsigned long>(min));
    put(out, "\n        MaxVector [%08lX]", static_cast<unsigned long>(max));
  } else {
    r.skip(24);
  }
}

}  // namespace

std::string reg_interface_type_name(u32 type) {
  if (type < kRegInterfaceTypeCount) return std::string(ResourceNameTable[type]);
  return type == 0xFFFFFFFF ? "Undefined" : unknown_name(type);
}

std::string reg_share_name(u8 disposition) {
  if (disposition < kRegShareCount) return std::string(ResourceNameTable[kRegShareNames + disposition]);
  return unknown_name(disposition);
}

std::string reg_resource_type_name(u8 type) {
  if (type < kRegResourceTypeCount) return std::string(ResourceNameTable[kRegResourceTypeNames + type]);
  return unknown_name(type);
}

void reg_print_full_resource(std::span<const u8> data, std::string& out) {
  FieldReader r(data);
  u32 interface_type = 0, bus = 0, count = 0;
  u16 version = 0, revision = 0;
  // the header, field by field, as far as the value goes
  if (!r.u32_at(interface_type)) return put_short_note(out, r.size(), kRegFullHeaderSize);
  out += "\n  InterfaceType [" + reg_interface_type_name(interface_type) + "]";
  if (!r.u32_at(bus)) return put_short_note(out, r.size(), kRegFullHeaderSize);
  put(out, "\n  BusNumber [%08lX]", static_cast<unsigned long>(bus));
  out += "\n  CM_PARTIAL_RESOURCE_LIST";
  if (!r.u16_at(version)) return put_short_note(out, r.size(), kRegFullHeaderSize);
  put(out, "\n    Version [%04X]", unsigned(version));
  if (!r.u16_at(revision)) return put_short_note(out, r.size(), kRegFullHeaderSize);
  put(out, "\n    Revision [%04X]", unsigned(revision));
  if (!r.u32_at(count)) return put_short_note(out, r.size(), kRegFullHeaderSize);
  put(out, "\n    Count [%04X]", unsigned(count));
  // the descriptors the count names, as many as the value holds
  const u32 held = descriptors_held(r, count, kRegPartialDescriptorSize);
  for (u32 i = 0; i < held; ++i) put_partial_descriptor(r, i + 1, out);
  if (held < count)
    put_short_note(out, r.size(), bytes_for(kRegFullHeaderSize, count, kRegPartialDescriptorSize));
}

void reg_print_requirements(std::span<const u8> data, std::string& out) {
  FieldReader r(data);
  u32 list_size = 0, interface_type = 0, bus = 0, slot = 0, alternatives = 0, count = 0;
  u32 reserved[3] = {};
  u16 version = 0, revision = 0;
  auto short_header = [&] { put_short_note(out, r.size(), kRegRequirementsHeaderSize); };
  if (!r.u32_at(list_size)) return short_header();
  put(out, "\n  ListSize [%08lX]", static_cast<unsigned long>(list_size));
  if (!r.u32_at(interface_type)) return short_header();
  out += "\n  InterfaceType [" + reg_interface_type_name(interface_type) + "]";
  if (!r.u32_at(bus)) return short_header();
  put(out, "\n  BusNumber [%08lX]", static_cast<unsigned long>(bus));
  if (!r.u32_at(slot)) return short_header();
  put(out, "\n  SlotNumber [%08lX]", static_cast<unsigned long>(slot));
  if (!r.u32_at(reserved[0]) || !r.u32_at(reserved[1]) || !r.u32_at(reserved[2])) return short_header();
  put(out, "\n  Reserved [%08lX,%08lX,%08lX]", static_cast<unsigned long>(reserved[0]),
      static_cast<unsigned long>(reserved[1]), static_cast<unsigned long>(reserved[2]));
  if (!r.u32_at(alternatives)) return short_header();
  put(out, "\n  AlternativeLists [%08lX]", static_cast<unsigned long>(alternatives));
  // only the first list, whatever the number of alternatives
  out += "\n  IO_RESOURCE_LIST";
  if (!r.u16_at(version)) return short_header();
  put(out, "\n    Version [%04X]", unsigned(version));
  if (!r.u16_at(revision)) return short_header();
  put(out, "\n    Revision [%04X]", unsigned(revision));
  if (!r.u32_at(count)) return short_header();
  put(out, "\n    Count [%08lX]", static_cast<unsigned long>(count));
  const u32 held = descriptors_held(r, count, kRegIoDescriptorSize);
  for (u32 i = 0; i < held; ++i) put_io_descriptor(r, i + 1, out);
  if (held < count) put_short_note(out, r.size(), bytes_for(kRegRequirementsHeaderSize, count, kRegIoDescriptorSize));
}
