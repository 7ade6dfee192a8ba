// A writer of loader E's scrambled files for the tests, the fuzzer's seeds and
// the demo's conversion: blocks of part-one records (length byte, tag) and
// part-two symbols, in plain text; bytes() puts the header in front and
// scrambles the body with the format's keystream, computed here on its own.
#pragma once

#include <string>
#include <string_view>

#include "halv80/symbols/dbi_qor.h"
#include "platform/host/host_types.h"

namespace fixture {

class QorWriter {
 public:
  // variant 1 ("IA80") holds one block, variant 2 ("IRLN") several
  explicit QorWriter(bool several_blocks, u8 seed = 0x37) : several_(several_blocks), seed_(seed) {}

  QorWriter& raw(std::string_view bytes) {
    body_.append(bytes);
    return *this;
  }
  QorWriter& byte(u8 v) {
    body_ += char(v);
    return *this;
  }
  QorWriter& le16(u16 v) { return byte(u8(v)).byte(u8(v >> 8)); }

  // part one
  QorWriter& record(u8 tag, std::string_view rest) {
    byte(u8(rest.size() + 2)).byte(tag);
    return raw(rest);
  }
  QorWriter& file(std::string_view name) { return record(kQorFile, std::string(name) + '\0'); }
  QorWriter& module(u16 first, u16 last) {
    return record(kQorModule, std::string{char(first), char(first >> 8), char(last), char(last >> 8)});
  }
  QorWriter& line(u16 address, u16 number) {
    return record(kQorLine, std::string{char(address), char(address >> 8), char(number), char(number >> 8)});
  }
  // a type record: its bytes from the kind byte on
  QorWriter& type(std::string_view record_bytes) {
    byte(u8(record_bytes.size() + 1));
    return raw(record_bytes);
  }
  QorWriter& end_records() { return byte(kQorPartEnd); }

  // part two
  QorWriter& symbol(u8 flag, u16 address, u16 type_code, std::string_view name) {
    byte(flag).le16(address).le16(type_code).raw(name);
    return byte(0);
  }
  // the end of the symbols, the four unused bytes, and for the last block the end mark
  QorWriter& end_block(bool last) {
    byte(kQorPartEnd).raw(std::string_view("\x01\x02\x03\x04", 4));
    return last ? byte(kQorFileEnd) : *this;
  }

  const std::string& plain() const { return body_; }
  std::string header() const {
    std::string h = several_ ? "IRLN" : "IA80";
    h += char(seed_);
    return h;
  }
  std::string bytes() const { return header() + scrambled(body_, seed_); }

  static std::string scrambled(std::string body, u8 seed) {
    u16 s = u16(seed ^ kQorSeedConstant);
    for (char& c : body) {
      s = u16(s * kQorMultiplier + kQorIncrement);
      c = char(u8(c) ^ u8(s & 0xFF));
    }
    return body;
  }

 private:
  bool several_;
  u8 seed_;
  std::string body_;
};

}  // namespace fixture
