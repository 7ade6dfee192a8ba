// A loader-A file made from a program that sdcc built with --debug
// (sdcc_program.h): the code bytes, and the functions with their line
// records, the stack variables, the globals and the C types (structs,
// pointers, arrays, functions). The start-up code before the first C function
// becomes the module "CSTARTUP", so that the load sets the program counter to
// it. sdcc does not record parameter counts; the caller gives them per
// function.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "halv80/symbols/tests/dbi_fixture.h"
#include "halv80/symbols/tests/sdcc_program.h"
#include "platform/host/host_types.h"

namespace sdcc {

class D01FromSdcc {
 public:
  D01FromSdcc(const std::filesystem::path& folder, const std::string& name,
              const std::map<std::string, u8>& parameter_counts)
      : counts_(parameter_counts), p_(read_program(folder, name)) {
    build();
  }
  const std::string& bytes() const { return out_.bytes(); }

 private:
  // A type of the debug records, "DG,STpoint:S" and the like, as a type
  // number of the file; user types are written as they are first needed.
  u16 type(const std::string& spec, const std::string& function = {}) {
    const auto [head, rest] = type_parts(spec);
    if (is_pointer(head)) {
      const std::string key = "*" + rest;
      if (!numbers_.count(key)) types_.type_pointer(numbers_[key] = next_++, type(rest));
      return numbers_[key];
    }
    if (is_array(head)) {
      const std::string key = head + "," + rest;
      if (!numbers_.count(key)) {
        const u16 element = type(rest);
        types_.type_array(numbers_[key] = next_++, element, array_count(head) * size_of(rest));
      }
      return numbers_[key];
    }
    if (head == "DF") {
      const std::string key = "F:" + function;
      const u16 result = type(rest);
      if (!numbers_.count(key)) types_.type_function(numbers_[key] = next_++, result, counts_.at(function));
      return numbers_[key];
    }
    if (is_struct(head)) return numbers_.at("struct " + struct_tag(head));
    static const std::map<std::string, u16> base = {{"SC:U", 1}, {"SC:S", 2}, {"SI:S", 4}, {"SI:U", 5},
                                                    {"SL:S", 8}, {"SL:U", 7}, {"SV:S", 0}, {"SF:S", 9}};
    return base.at(head);
  }
  static u32 size_of(const std::string& spec) {
    if (spec.rfind("SC", 0) == 0) return 1;
    if (spec.rfind("SL", 0) == 0 || spec.rfind("SF", 0) == 0) return 4;
    return 2;
  }

  void build() {
    // structs first: pointers and symbols refer to them by name
    for (const Struct& s : p_.structs) {
      const u16 number = numbers_["struct " + s.tag] = next_++;
      std::vector<fixture::D01Member> members;
      for (const Member& m : s.members) members.push_back({m.offset, m.name, type(m.type)});
      types_.type_struct(number, s.tag, s.size, members);
    }
    std::vector<fixture::D01Var> globals;
    for (const Variable& g : p_.globals) globals.push_back({2, u32(g.location), g.name, type(g.type)});
    std::vector<u16> function_types;
    std::vector<std::vector<fixture::D01Var>> locals;
    for (const Function& f : p_.functions) {
      function_types.push_back(type(f.type, f.name));
      locals.emplace_back();
      // locals on the stack are frame variables at their offset
      for (const Variable& v : f.locals) locals.back().push_back({7, u32(v.location), v.name, type(v.type)});
    }

    out_ = types_;
    const u32 first = p_.functions.empty() ? p_.code_end : p_.functions.front().start;
    out_.module_start("CSTARTUP").address(p_.code_start);
    out_.code(p_.bytes(p_.code_start, first));
    out_.module_end().module_start(p_.module);
    for (std::size_t i = 0; i < p_.functions.size(); ++i)
      out_.symbol(1, 1, p_.functions[i].start, p_.functions[i].name, function_types[i]);
    for (const fixture::D01Var& g : globals) out_.symbol(2, 2, g.value, g.name, g.type);
    out_.address(first);
    for (std::size_t i = 0; i < p_.functions.size(); ++i) {
      const Function& f = p_.functions[i];
      const auto [low, high] = p_.lines.equal_range(f.start);
      bool marked = false;
      for (auto it = low; it != high; ++it) out_.line(it->second, !marked), marked = true;
      if (!marked) out_.line(1, true);
      out_.function(f.name, locals[i]);
      u32 at = f.start;
      while (at < f.end) {
        u32 next = f.end;
        const auto after = p_.lines.upper_bound(at);
        if (after != p_.lines.end() && after->first < next) next = after->first;
        out_.code(p_.bytes(at, next));
        at = next;
        if (at < f.end)
          for (auto [l, h] = p_.lines.equal_range(at); l != h; ++l) out_.line(l->second);
      }
      out_.block_end();
    }
    out_.module_end().end();
  }

  std::map<std::string, u8> counts_;
  Program p_;
  std::map<std::string, u16> numbers_;
  u16 next_ = 100;
  fixture::D01Writer types_;
  fixture::D01Writer out_;
};

}  // namespace sdcc
