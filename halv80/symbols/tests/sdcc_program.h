// What sdcc recorded about a program built with --debug, read from NAME.ihx
// (the code bytes) and NAME.cdb (structs, functions with their ranges and
// stack variables, globals, line records), as a plain model that the writers
// of the debug formats turn into their own records. Types stay in sdcc's
// notation ("SI:S", "DG,STpoint:S", "DA8d,SC:U", "DF,SV:S"); type_parts splits
// one into its outermost part and the rest.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "platform/host/host_types.h"

namespace sdcc {

struct Member {
  std::string name;
  u32 offset = 0;
  std::string type;
};
struct Struct {
  std::string tag;
  u32 size = 0;
  std::vector<Member> members;
};
struct Variable {
  std::string name;
  i32 location = 0;  // address of a global, frame offset of a stack variable
  std::string type;
};
struct Function {
  std::string name;
  bool is_static = false;
  u32 start = 0, end = 0;  // end: the first address after it
  std::string type;        // "DF,<return type>"
  std::vector<Variable> locals;  // on the stack
};

struct Program {
  std::string module;             // the source's base name
  std::map<u32, u8> code;         // by address
  std::vector<Struct> structs;
  std::vector<Function> functions;  // by start address
  std::vector<Variable> globals;
  std::multimap<u32, u16> lines;  // address -> line, in the order sdcc wrote them
  u32 code_start = 0, code_end = 0;

  // The code bytes of [from, to), 0 where the program has none.
  std::string bytes(u32 from, u32 to) const {
    std::string out;
    for (u32 a = from; a < to; ++a) {
      const auto it = code.find(a);
      out += char(it == code.end() ? 0 : it->second);
    }
    return out;
  }
  const Struct* find_struct(const std::string& tag) const {
    for (const Struct& s : structs)
      if (s.tag == tag) return &s;
    return nullptr;
  }
};

// "DG,STpoint:S" -> ("DG", "STpoint:S"); "SI:S" -> ("SI:S", "").
inline std::pair<std::string, std::string> type_parts(const std::string& type) {
  const std::size_t comma = type.find(',');
  if (comma == std::string::npos) return {type, ""};
  return {type.substr(0, comma), type.substr(comma + 1)};
}
inline bool is_pointer(const std::string& head) { return head == "DG" || head == "DP" || head == "DC"; }
inline bool is_array(const std::string& head) { return head.size() > 2 && head[0] == 'D' && head[1] == 'A'; }
inline u32 array_count(const std::string& head) { return u32(std::stoul(head.substr(2))); }
inline bool is_struct(const std::string& head) { return head.rfind("ST", 0) == 0; }
inline std::string struct_tag(const std::string& head) { return head.substr(2, head.find(':') - 2); }

inline Program read_program(const std::filesystem::path& folder, const std::string& name) {
  Program p;
  p.module = name;
  {
    std::ifstream in(folder / (name + ".ihx"));
    for (std::string line; std::getline(in, line);) {
      if (line.size() < 11 || line[0] != ':') continue;
      const auto byte = [&](std::size_t i) { return u8(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16)); };
      const u32 count = byte(0), address = u32(byte(1)) << 8 | byte(2);
      if (byte(3) != 0) continue;
      for (u32 i = 0; i < count; ++i) p.code[address + i] = byte(4 + i);
    }
  }
  if (!p.code.empty()) {
    p.code_start = p.code.begin()->first;
    p.code_end = p.code.rbegin()->first + 1;
  }
  std::vector<std::string> records;
  {
    std::ifstream cdb(folder / (name + ".cdb"));
    for (std::string line; std::getline(cdb, line);) records.push_back(line);
  }
  static const std::regex struct_re(R"(^T:F\w+\$(\w+)\[(.*)\]$)");
  static const std::regex member_re(R"(\(\{(\d+)\}S:S\$(\w+)\$[^(]*\(\{(\d+)\}([^)]*)\))");
  static const std::regex symbol_re(R"(^S:(G|F\w+|L\w+\.(\w+))\$(\w+)\$[^(]*\(\{(\d+)\}([^)]*)\),(\w),\d+,(-?\d+))");
  static const std::regex address_re(R"(^L:(X?)(G|F\w+)\$(\w+)\$0(?:_0)?\$0:([0-9A-Fa-f]+)$)");
  static const std::regex line_re(R"(^L:C\$[^$]+\$(\d+)\$[^:]*:([0-9A-Fa-f]+)$)");
  std::smatch m;
  std::map<std::string, u32> starts;
  for (const std::string& r : records) {
    if (std::regex_match(r, m, struct_re)) {
      Struct s;
      s.tag = m[1];
      const std::string body = m[2];
      for (std::sregex_iterator it(body.begin(), body.end(), member_re), end; it != end; ++it) {
        s.members.push_back({(*it)[2], u32(std::stoul((*it)[1])), (*it)[4]});
        s.size = std::max(s.size, s.members.back().offset + u32(std::stoul((*it)[3])));
      }
      p.structs.push_back(s);
    } else if (std::regex_match(r, m, address_re)) {
      if (m[1] != "X") starts[m[3]] = u32(std::stoul(m[4], nullptr, 16));
    } else if (std::regex_match(r, m, line_re)) {
      p.lines.emplace(u32(std::stoul(m[2], nullptr, 16)), u16(std::stoul(m[1])));
    }
  }
  for (const std::string& r : records) {
    if (!std::regex_match(r, m, symbol_re)) continue;
    const std::string scope = m[1], symbol = m[3], type = m[5];
    if (scope[0] == 'L' || !starts.count(symbol)) continue;  // locals below
    if (type.rfind("DF", 0) == 0) {
      if (std::none_of(p.functions.begin(), p.functions.end(), [&](const Function& f) { return f.name == symbol; }))
        p.functions.push_back({symbol, scope[0] == 'F', starts[symbol], 0, type, {}});
    } else {
      p.globals.push_back({symbol, i32(starts[symbol]), type});
    }
  }
  std::sort(p.functions.begin(), p.functions.end(), [](const Function& a, const Function& b) { return a.start < b.start; });
  for (std::size_t i = 0; i < p.functions.size(); ++i)
    p.functions[i].end = i + 1 < p.functions.size() ? p.functions[i + 1].start : p.code_end;
  // stack variables (storage B) at their frame offset
  for (const std::string& r : records) {
    if (!std::regex_match(r, m, symbol_re) || std::string(m[1])[0] != 'L' || m[6] != "B") continue;
    for (Function& f : p.functions)
      if (f.name == m[2] && std::none_of(f.locals.begin(), f.locals.end(), [&](const Variable& v) { return v.name == m[3]; }))
        f.locals.push_back({m[3], i32(std::stol(m[7])), m[5]});
  }
  return p;
}

}  // namespace sdcc
