// An sdcc-built program's debug information (sdcc_program.h) written in the
// formats of loaders B, D and E, as the toolchains of those formats would
// describe the same program: the IEEE-695 absolute file (code bytes
// included), the .lsi listing with its .lin line file, and the scrambled
// .qor file. Each carries the functions with their lines, the globals and
// the stack variables with their C types.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "halv80/symbols/tests/dbi_fixture_abs.h"
#include "halv80/symbols/tests/dbi_fixture_lsi.h"
#include "halv80/symbols/tests/dbi_fixture_qor.h"
#include "halv80/symbols/tests/sdcc_program.h"

namespace sdcc {

// sdcc's base types.
struct BaseType {
  const char* sdcc;
  u32 ieee;          // IEEE-695 type number
  const char* lsi;   // .lsi descriptor letters
  u16 code;          // base code of the type records
};
inline const BaseType* base_type(const std::string& type) {
  static const BaseType kTypes[] = {
      {"SC:S", 2, "c", 0x80},  {"SC:U", 3, "Uc", 0x84}, {"SI:S", 4, "i", 0x81}, {"SI:U", 5, "Ui", 0x85},
      {"SL:S", 6, "l", 0x82},  {"SL:U", 7, "Ul", 0x86}, {"SF:S", 10, "f", 0x88}, {"SV:S", 1, "v", 0x85},
  };
  for (const BaseType& t : kTypes)
    if (type == t.sdcc) return &t;
  return nullptr;
}

// --- IEEE-695

class AbsFromSdcc {
 public:
  explicit AbsFromSdcc(const Program& p) : p_(p) {}

  std::string bytes() {
    fixture::AbsWriter w;
    fixture::AbsPart& d = w.debug();
    fixture::AbsPart module;
    module.bb(3, p_.module);
    for (const Variable& g : p_.globals) {
      const u32 nn = next_nn_++;
      module.nn(nn, g.name).atn(nn, type(g.type), 8).asn(nn, u32(g.location));
      w.external().ni(nn, g.name).asi(nn, u32(g.location));
    }
    for (const Function& f : p_.functions) {
      module.bb_function(f.is_static ? 6 : 4, f.name, type(f.type), f.start);
      // sdcc's offsets count from IX; the frame base of this toolchain is
      // IX + 2, past the saved IX
      for (const Variable& v : f.locals) {
        const u32 nn = next_nn_++;
        module.nn(nn, v.name).atn(nn, type(v.type), 1).signed_number(v.location - 2);
      }
      module.be_function(f.end - 1);
      if (!f.is_static) {
        const u32 nn = next_nn_++;
        w.external().ni(nn, f.name).asi(nn, f.start);
      }
    }
    module.be();
    d.bb(1, p_.module).raw(types_.bytes()).be();
    d.raw(module.bytes());
    d.bb(5, p_.module + ".c");
    for (const auto& [address, line] : p_.lines) d.line(line, address);
    d.be();
    w.data().asp(p_.code_start).ld(p_.bytes(p_.code_start, p_.code_end)).asg(p_.code_start);
    return w.bytes();
  }

 private:
  // The type number of an sdcc type; its TY record (and an NN naming it) is
  // written the first time.
  u32 type(const std::string& t) {
    if (const BaseType* b = base_type(t)) return b->ieee;
    if (const auto it = numbers_.find(t); it != numbers_.end()) return it->second;
    const auto [head, rest] = type_parts(t);
    if (is_pointer(head)) {
      if (const BaseType* b = base_type(rest)) return numbers_[t] = 32 + b->ieee;
      const u32 target = type(rest);
      return define(t, "", 'P', [&](fixture::AbsPart& r) { r.number(target); });
    }
    if (is_array(head)) {
      const u32 element = type(rest);
      return define(t, "", 'Z', [&](fixture::AbsPart& r) { r.number(element).number(array_count(head) - 1); });
    }
    if (head == "DF") {
      const u32 returned = type(rest);
      return define(t, "", 'X', [&](fixture::AbsPart& r) { r.number(0).number(0).number(0).number(returned).number(0); });
    }
    const Struct& s = *p_.find_struct(struct_tag(head));
    std::map<std::string, u32> members;
    for (const Member& m : s.members) members[m.name] = type(m.type);
    return define(t, s.tag, 'S', [&](fixture::AbsPart& r) {
      r.number(s.size);
      for (const Member& m : s.members) r.name(m.name).number(members[m.name]).number(m.offset);
    });
  }
  template <typename Fields>
  u32 define(const std::string& t, const std::string& name, char letter, Fields fields) {
    const u32 number = next_type_++;
    numbers_[t] = number;
    const u32 nn = next_nn_++;
    types_.nn(nn, name).ty(number, nn, letter);
    fields(types_);
    return number;
  }

  const Program& p_;
  fixture::AbsPart types_;
  std::map<std::string, u32> numbers_;
  u32 next_type_ = 256;
  u32 next_nn_ = 32;
};

// --- .lsi and .lin

class LsiFromSdcc {
 public:
  explicit LsiFromSdcc(const Program& p) : p_(p) {}

  fixture::LsiWriter files() {
    const std::string source = p_.module + ".c";
    u32 data = 0xFFFF;
    for (const Variable& g : p_.globals) data = std::min(data, u32(g.location));
    fixture::LsiWriter w;
    w.lsi_line("LINK MAP OF " + p_.module).code_area(u16(p_.code_start)).data_area(u16(data));
    w.symbol(u16(p_.code_start), "start");
    // the toolchain lists C names with a trailing '_'; a static function as name@module
    for (const Function& f : p_.functions) w.symbol(u16(f.start), f.is_static ? f.name + "@" + source : f.name + "_");
    for (const Variable& g : p_.globals) w.symbol(u16(g.location), g.name + "_");
    std::string types, globals;
    for (const Variable& g : p_.globals) w.item(u16(g.location), g.name, descriptor(g.type), "S", source, "");
    for (const Function& f : p_.functions)
      for (const Variable& v : f.locals) w.item(u16(v.location), v.name, descriptor(v.type), "A", source, f.name);
    for (const Struct& s : p_.structs) {
      std::vector<fixture::LsiMember> members;
      for (const Member& m : s.members) members.push_back({m.name, descriptor(m.type), int(m.offset)});
      w.struct_type('X', s.tag, members, int(s.size), struct_number(s.tag), source);
    }
    for (const Variable& g : p_.globals) w.global(g.name, source, descriptor(g.type));
    w.file(source);
    for (const auto& [address, line] : p_.lines) w.line(u16(address), line);
    return w;
  }

 private:
  int struct_number(const std::string& tag) const {
    for (std::size_t i = 0; i < p_.structs.size(); ++i)
      if (p_.structs[i].tag == tag) return int(i) + 1;
    return 0;
  }
  std::string descriptor(const std::string& t) const {
    if (const BaseType* b = base_type(t)) return b->lsi;
    const auto [head, rest] = type_parts(t);
    if (is_pointer(head)) return "P" + descriptor(rest);
    if (is_array(head)) return "A" + std::to_string(array_count(head)) + descriptor(rest);
    if (head == "DF") return "F" + descriptor(rest);
    return "X" + std::to_string(struct_number(struct_tag(head)));
  }

  const Program& p_;
};

// --- the scrambled format

class QorFromSdcc {
 public:
  explicit QorFromSdcc(const Program& p) : p_(p) {}

  std::string bytes() {
    fixture::QorWriter w(true);
    w.file(p_.module + ".c").module(u16(p_.code_start), u16(p_.code_end - 1));
    std::vector<std::pair<std::string, u16>> symbols;
    for (const Variable& g : p_.globals) type(g.type);
    for (const Function& f : p_.functions) type(f.type);
    for (const std::string& record : records_) w.type(record);
    for (const auto& [address, line] : p_.lines) w.line(u16(address), line);
    w.end_records();
    w.symbol(kQorGlobal, u16(p_.code_start), 0, "start");  // the start-up code's entry, its first byte
    for (const Variable& g : p_.globals) w.symbol(kQorGlobal, u16(g.location), type(g.type), g.name);
    for (const Function& f : p_.functions) w.symbol(f.is_static ? 0 : kQorGlobal, u16(f.start), type(f.type), f.name);
    return w.end_block(true).bytes();
  }

 private:
  static std::string le32(u32 v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }
  static std::string type_field(u32 code) { return "\x83" + le32(code); }
  static std::string name_field(const std::string& n) { return "\x82" + std::string(1, char(n.size())) + n; }

  // The type code of an sdcc type: a base code, or 0x200 + the index of its
  // record, which is made the first time.
  u16 type(const std::string& t) {
    if (const BaseType* b = base_type(t)) return b->code;
    if (const auto it = codes_.find(t); it != codes_.end()) return it->second;
    const auto [head, rest] = type_parts(t);
    std::string record;
    if (is_pointer(head)) {
      const u16 target = type(rest);
      record = std::string("z\x74\x83", 3) + std::string{char(target), char(target >> 8)};  // widened on loading
    } else if (is_array(head)) {
      const u16 element = type(rest);
      record = std::string("x") + char(array_count(head) * element_size(rest) * 8) + type_field(element);
    } else if (head == "DF") {
      record = std::string("u\x80", 2) + type_field(type(rest)) + "c" + std::string(1, '\0');
    } else {
      const Struct& s = *p_.find_struct(struct_tag(head));
      std::string types, names;
      for (const Member& m : s.members) {
        types += type_field(type(m.type));
        names += name_field(m.name) + "\x88" + char(m.offset);
      }
      record = "y" + std::string(1, char(s.size * 8)) + char(s.members.size()) + name_field(s.tag) + types + names;
    }
    const u16 code = u16(0x200 + records_.size());
    codes_[t] = code;
    records_.push_back(record);
    return code;
  }
  static u32 element_size(const std::string& t) { return t.rfind("SC", 0) == 0 ? 1 : t.rfind("SL", 0) == 0 ? 4 : 2; }

  const Program& p_;
  std::vector<std::string> records_;
  std::map<std::string, u16> codes_;
};

}  // namespace sdcc
