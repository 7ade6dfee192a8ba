// Writers of the binary debug files for the tests, the fuzzer's seeds and the
// benchmark: loader A's tagged records (big-endian fields, length-prefixed
// names) and loader C's fixed tables under the 136-byte header. Each writes
// exactly the layout the loader reads, so a test can also cut or corrupt it.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

namespace fixture {

// One entry of a variable list: kind 4 a static item, kind 7 a frame variable.
struct D01Var {
  u8 kind = 7;
  u32 value = 0;
  std::string name;
  u16 type = 0;
};
struct D01Member {
  u32 offset = 0;  // unused for a union
  std::string name;
  u16 type = 0;
};

// Loader A's file, record by record.
class D01Writer {
 public:
  D01Writer& u8_(u8 v) {
    bytes_ += char(v);
    return *this;
  }
  D01Writer& be16(u16 v) { return u8_(u8(v >> 8)).u8_(u8(v)); }
  D01Writer& be32(u32 v) { return be16(u16(v >> 16)).be16(u16(v)); }
  D01Writer& name(std::string_view n) {
    u8_(u8(n.size()));
    bytes_.append(n.substr(0, 255));
    return *this;
  }
  D01Writer& fill(std::size_t n, u8 v = 0) {
    bytes_.append(n, char(v));
    return *this;
  }

  D01Writer& module_start(std::string_view module) { return u8_(0x01).fill(6).name(module); }
  D01Writer& module_end() { return u8_(0x00).fill(6).name("end"); }
  D01Writer& address(u32 at) { return u8_('Q').u8_(0).be32(at); }
  D01Writer& code(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 255) {
      const std::string_view piece = bytes.substr(at, 255);
      u8_('9').u8_(u8(piece.size()));
      bytes_.append(piece);
    }
    return *this;
  }
  // A line record; block_start adds the mark that makes the address a block's start.
  D01Writer& line(u16 number, bool block_start = false) {
    u8_('G').be16(number).fill(6);
    return block_start ? u8_(14) : *this;
  }
  D01Writer& vars(const std::vector<D01Var>& list) {
    be16(u16(list.size()));
    for (const D01Var& v : list) u8_(v.kind).fill(2).be32(v.value).name(v.name).be16(v.type);
    return *this;
  }
  D01Writer& function(std::string_view fn, const std::vector<D01Var>& list = {}) {
    return u8_('P').name(fn).fill(8).vars(list);
  }
  D01Writer& block_begin(const std::vector<D01Var>& list = {}) { return u8_('H').vars(list); }
  D01Writer& block_end() { return u8_('I'); }
  // kind 1 code, 2 data, 4 static item; others are skipped by the loader.
  D01Writer& symbol(u8 kind, u16 segment, u32 value, std::string_view sym, u16 type) {
    u8_('L').u8_(kind).be16(segment).be32(value).name(sym).be16(type);
    return kind == 1 || kind == 2 || kind == 4 ? *this : name("extra");
  }
  D01Writer& type_pointer(u16 number, u16 target) { return u8_('J').be16(number).u8_(15).be16(target); }
  D01Writer& type_array(u16 number, u16 element, u32 size) {
    return u8_('J').be16(number).u8_(16).be16(element).be32(size).fill(2);
  }
  D01Writer& type_struct(u16 number, std::string_view tag, u32 size, const std::vector<D01Member>& members) {
    u8_('J').be16(number).u8_(17).name(tag).be32(size).be16(u16(members.size()));
    for (const D01Member& m : members) be32(m.offset).name(m.name).be16(m.type);
    return *this;
  }
  D01Writer& type_union(u16 number, std::string_view tag, u16 size, const std::vector<D01Member>& members) {
    u8_('J').be16(number).u8_(18).name(tag).be16(size).be32(u32(members.size()));
    for (const D01Member& m : members) name(m.name).be16(m.type);
    return *this;
  }
  D01Writer& type_bit_field(u16 number, u8 width, u8 offset, u16 type) {
    return u8_('J').be16(number).u8_(19).u8_(width).u8_(offset).be16(type);
  }
  D01Writer& type_function(u16 number, u16 result, u8 params) {
    return u8_('J').be16(number).u8_(20).be16(result).u8_(0).u8_(params).fill(2u * params);
  }
  D01Writer& type_alias(u16 number, u16 target) { return u8_('J').be16(number).u8_(21).u8_(0).be16(target); }
  D01Writer& type_other(u16 number, u8 kind) { return u8_('J').be16(number).u8_(kind); }
  // The records the loader reads past.
  D01Writer& skipped() {
    u8_('=').fill(8).u8_('?').fill(2).u8_('M').fill(3).u8_('O').fill(2).u8_('R').fill(1).u8_('S').fill(2);
    return u8_('N').name("note").be16(3).fill(3);
  }
  D01Writer& end() { return u8_(0xFF); }

  const std::string& bytes() const { return bytes_; }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::string bytes_;
};

struct Db1Module {
  u32 start = 0, end = 0;
  std::string file;  // empty: an unused entry (start all ones, end 0)
  u32 first = 0, last = 0;
};
struct Db1Line {
  u16 line = 0;
  u32 address = 0;
};
struct Db1Symbol {
  std::string name;
  u32 value = 0;
  u16 flags = 1;
};

// Loader C's file: header, module table, line table (entry 0 unused, so that
// a first index of 0 means "no lines"), string area, symbol table.
inline std::string db1_file(const std::vector<Db1Module>& modules, const std::vector<Db1Line>& lines,
                            const std::vector<Db1Symbol>& symbols) {
  std::string out(136, '\0');
  const auto le16 = [&](std::size_t at, u16 v) {
    out[at] = char(v);
    out[at + 1] = char(v >> 8);
  };
  const auto le32 = [&](std::size_t at, u32 v) {
    le16(at, u16(v));
    le16(at + 2, u16(v >> 16));
  };
  const auto grow = [&](std::size_t n) {
    const std::size_t at = out.size();
    out.resize(at + n);
    return at;
  };

  std::string strings(1, '\0');  // offset 0: the empty name
  const auto intern = [&](std::string_view s) {
    const u32 at = u32(strings.size());
    strings.append(s);
    strings += '\0';
    return at;
  };
  const std::size_t module_table = grow(34 * modules.size());
  const std::size_t line_table = grow(8 * (lines.size() + 1));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    le16(line_table + 8 * (i + 1), lines[i].line);
    le32(line_table + 8 * (i + 1) + 4, lines[i].address);
  }
  for (std::size_t i = 0; i < modules.size(); ++i) {
    const Db1Module& m = modules[i];
    const std::size_t at = module_table + 34 * i;
    const bool unused = m.file.empty();
    le32(at, unused ? 0xFFFFFFFF : m.start);
    le32(at + 4, unused ? 0 : m.end);
    le32(at + 8, unused ? 0 : intern(m.file));
    le32(at + 16, m.first);
    le32(at + 20, m.last);
  }
  std::vector<u32> names;
  for (const Db1Symbol& s : symbols) names.push_back(intern(s.name));
  const std::size_t string_area = grow(strings.size());
  std::memcpy(out.data() + string_area, strings.data(), strings.size());
  const std::size_t symbol_table = grow(12 * symbols.size());
  for (std::size_t i = 0; i < symbols.size(); ++i) {
    le32(symbol_table + 12 * i, names[i]);
    le32(symbol_table + 12 * i + 4, symbols[i].value);
    le16(symbol_table + 12 * i + 8, symbols[i].flags);
  }
  le32(36, u32(modules.size()));
  le32(40, u32(module_table));
  le32(48, u32(line_table));
  le32(56, u32(string_area));
  le32(60, u32(symbols.size()));
  le32(64, u32(symbol_table));
  return out;
}

}  // namespace fixture
