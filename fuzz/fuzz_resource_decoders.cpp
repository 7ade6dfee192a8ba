// The registry dump's value printers on any bytes: the full resource
// descriptor and the resource requirements list decoders, and the printer of
// a value of any type. A decoder prints no more descriptors than the value
// holds whole, and a value that ends early ends its lines with the note.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "qorreg/reg_dump.h"
#include "qorreg/reg_resource.h"

namespace {

std::size_t count_of(const std::string& text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Descriptors the value can hold after its header.
std::size_t room_for(std::size_t size, std::size_t header, std::size_t descriptor) {
  return size < header ? 0 : (size - header) / descriptor;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const u8> value(data, size);

  std::string full;
  reg_print_full_resource(value, full);
  if (count_of(full, "CM_PARTIAL_RESOURCE_DESCRIPTOR - [") > room_for(size, kRegFullHeaderSize, kRegPartialDescriptorSize))
    std::abort();
  if (size < kRegFullHeaderSize && count_of(full, "[short value: ") != 1) std::abort();

  std::string requirements;
  reg_print_requirements(value, requirements);
  if (count_of(requirements, "IO_RESOURCE_DESCRIPTOR - [") >
      room_for(size, kRegRequirementsHeaderSize, kRegIoDescriptorSize))
    std::abort();
  if (size < kRegRequirementsHeaderSize && count_of(requirements, "[short value: ") != 1) std::abort();

  // the first byte picks the value's type, the rest is its data
  if (size > 0) {
    std::string line;
    reg_print_value("QOR fuzz", data[0] % 12, value.subspan(1), line);
    if (line.empty()) std::abort();
  }
  return 0;
}
