// A writer of IEEE-695 absolute files as loader B reads them, for the tests,
// the fuzzer's seeds and the demo's conversion: the header (MB, AD and the
// eight ASW records), then the external part, the debug information part and
// the data part, which ends with the module's ME. Each part is built record
// by record; bytes() puts them together with their positions in the header.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

namespace fixture {

// The records of one part. Numbers take the standard's shortest form (0x84 +
// four bytes for a two's complement negative one).
class AbsPart {
 public:
  AbsPart& byte(u8 v) {
    bytes_ += char(v);
    return *this;
  }
  AbsPart& raw(std::string_view records) {
    bytes_.append(records);
    return *this;
  }
  AbsPart& number(u32 v) {
    if (v <= 0x7F) return byte(u8(v));
    int n = v > 0xFFFFFF ? 4 : v > 0xFFFF ? 3 : v > 0xFF ? 2 : 1;
    byte(u8(0x80 + n));
    while (n-- > 0) byte(u8(v >> (8 * n)));
    return *this;
  }
  AbsPart& signed_number(i32 v) { return v < 0 ? byte(0x84).byte(u8(u32(v) >> 24)).byte(u8(u32(v) >> 16)).byte(u8(u32(v) >> 8)).byte(u8(v)) : number(u32(v)); }
  AbsPart& name(std::string_view n) {
    if (n.size() > 0xFF) byte(0xDF).byte(u8(n.size() >> 8)).byte(u8(n.size()));
    else if (n.size() > 0x7F) byte(0xDE).byte(u8(n.size()));
    else byte(u8(n.size()));
    bytes_.append(n);
    return *this;
  }

  // external part
  AbsPart& ni(u32 index, std::string_view n) { return byte(0xE8).number(index).name(n); }
  AbsPart& asi(u32 index, u32 value) { return byte(0xE2).byte(0xC9).number(index).number(value); }
  AbsPart& nx(u32 index, std::string_view n) { return byte(0xE9).number(index).name(n); }
  AbsPart& ati(u32 index, u32 type, u32 attr) { return byte(0xF1).byte(0xC9).number(index).number(type).number(attr); }

  // debug information part
  AbsPart& bb(u32 type, std::string_view n) { return byte(0xF8).number(type).number(0).name(n); }
  // a function block: stack space, type, address
  AbsPart& bb_function(u32 type, std::string_view n, u32 function_type, u32 address) {
    return bb(type, n).number(0).number(function_type).number(address);
  }
  AbsPart& be() { return byte(0xF9); }
  AbsPart& be_function(u32 last_address) { return byte(0xF9).number(last_address); }
  AbsPart& nn(u32 index, std::string_view n) { return byte(0xF0).number(index).name(n); }
  // TY: type index, N + NN index, the letter; its fields follow with number() and name()
  AbsPart& ty(u32 index, u32 nn_index, char letter) {
    return byte(0xF2).number(index).byte(0xCE).number(nn_index).number(u8(letter));
  }
  // ATN: name index, type, attribute; its numbers follow with number()
  AbsPart& atn(u32 index, u32 type, u32 attr) { return byte(0xF1).byte(0xCE).number(index).number(type).number(attr); }
  AbsPart& asn(u32 index, u32 value) { return byte(0xE2).byte(0xCE).number(index).number(value); }
  AbsPart& line(u32 number_of_line, u32 address) { return atn(0, 0, 7).number(number_of_line).number(0).asn(0, address); }

  // data part
  AbsPart& sb(u32 section) { return byte(0xE5).number(section); }
  AbsPart& asp(u32 address) { return byte(0xE2).byte(0xD0).number(0).number(address); }
  AbsPart& asg(u32 address) { return byte(0xE2).byte(0xC7).byte(0xBE).number(address).byte(0xBF); }
  AbsPart& re(u32 count) { return byte(0xF7).number(count); }
  AbsPart& ld(std::string_view data) {
    for (std::size_t at = 0; at < data.size(); at += 128) {
      const std::string_view piece = data.substr(at, 128);
      byte(0xED).number(u32(piece.size()));
      bytes_.append(piece);
    }
    return *this;
  }

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class AbsWriter {
 public:
  AbsPart& external() { return external_; }
  AbsPart& debug() { return debug_; }
  AbsPart& data() { return data_; }
  const AbsPart& data() const { return data_; }

  // The whole file: W3, W4, W5 at the three parts (0 for an empty one), W7 at
  // the ME that ends the data part.
  std::string bytes() const {
    AbsPart head;
    head.byte(0xE0).name("Z80").name("demo").byte(0xEC).number(8).number(2).byte(0xCC);
    const std::size_t asw_size = 8 * 8;  // E2 D7 n 0x84 + four bytes each
    u32 at = u32(head.bytes().size() + asw_size);
    std::array<u32, 8> w{};
    for (int p : {3, 4, 5}) {
      const AbsPart& part = p == 3 ? external_ : p == 4 ? debug_ : data_;
      if (p != 5 && part.bytes().empty()) continue;
      w[std::size_t(p)] = at;
      at += u32(part.bytes().size());
    }
    w[7] = at;  // the ME
    for (u8 n = 0; n < 8; ++n)
      head.byte(0xE2).byte(0xD7).byte(n).byte(0x84).byte(u8(w[n] >> 24)).byte(u8(w[n] >> 16)).byte(u8(w[n] >> 8)).byte(
          u8(w[n]));
    return head.bytes() + external_.bytes() + debug_.bytes() + data_.bytes() + "\xE1";
  }

 private:
  AbsPart external_, debug_, data_;
};

}  // namespace fixture
