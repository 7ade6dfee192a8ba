// The start-option text on any bytes: the first byte picks the option set,
// the rest is read by that set's reader and then the common reader. What a
// text reads to must build a text that reads back, and soon builds to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rz7set/opt_options.h"

namespace {

bool read(OptSet set, std::string& text, FamilyOptions& family, CommonOptions& common) {
  return opt_family_parse(set, text, family) &&
         opt_parse_common(text, common.deb_size, common.mac_size, common.ext, common.tab, common.src_path,
                          common.force);
}

std::string build(OptSet set, const FamilyOptions& family, const CommonOptions& common) {
  return opt_family_build(set, family) + " " +
         opt_build_common(common.deb_size, common.mac_size, common.ext, common.tab, common.src_path, common.force);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const OptSet set = OptSet(data[0] % kOptSetCount);
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  FamilyOptions family;
  CommonOptions common;
  if (!read(set, text, family, common)) return 0;

  // What was read builds a text that reads. One round may still change it (an
  // empty debug-information size is written as none and reads as the
  // default); from then on a built text reads to values that build it again.
  std::string built = build(set, family, common);
  for (int round = 0; round < 2; ++round) {
    std::string again = built;
    if (!read(set, again, family, common)) std::abort();
    const std::string next = build(set, family, common);
    if (round == 1 && next != built) std::abort();
    built = next;
  }
  return 0;
}
