// A loader-A file made from a program that sdcc built with --debug: the code
// bytes of NAME.ihx, and from NAME.cdb the functions with their line records,
// the stack variables, the globals and the C types (structs, pointers, arrays,
// functions). The start-up code before the first C function becomes the
// module "CSTARTUP", so that the load sets the program counter to it. sdcc
// does not record parameter counts; the caller gives them per function.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "halv80/symbols/tests/dbi_fixture.h"
#include "platform/host/host_types.h"

namespace sdcc {

struct Function {
  std::string name;
  u32 start = 0, end = 0;
  u16 type = 0;
  std::vector<fixture::D01Var> vars;
};

class D01FromSdcc {
 public:
  D01FromSdcc(const std::filesystem::path& folder, const std::string& name,
              const std::map<std::string, u8>& parameter_counts)
      : counts_(parameter_counts) {
    read_hex(folder / (name + ".ihx"));
    std::ifstream cdb(folder / (name + ".cdb"));
    for (std::string line; std::getline(cdb, line);) records_.push_back(line);
    module_ = name;
    build();
  }
  const std::string& bytes() const { return out_.bytes(); }

 private:
  void read_hex(const std::filesystem::path& path) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
      if (line.size() < 11 || line[0] != ':') continue;
      const auto byte = [&](std::size_t i) { return u8(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16)); };
      const u32 count = byte(0), address = u32(byte(1)) << 8 | byte(2);
      if (byte(3) != 0) continue;
      for (u32 i = 0; i < count; ++i) code_[address + i] = byte(4 + i);
    }
  }

  // A type of the debug records, "DG,STpoint:S" and the like, as a type
  // number of the file; user types are written as they are first needed.
  u16 type(const std::string& spec, const std::string& function = {}) {
    const std::size_t comma = spec.find(',');
    const std::string head = comma == std::string::npos ? spec : spec.substr(0, comma);
    const std::string rest = comma == std::string::npos ? std::string() : spec.substr(comma + 1);
    if (head == "DG" || head == "DP" || head == "DC") {
      const std::string key = "*" + rest;
      if (!numbers_.count(key)) types_.type_pointer(numbers_[key] = next_++, type(rest));
      return numbers_[key];
    }
    if (head.size() > 2 && head[0] == 'D' && head[1] == 'A') {
      const u32 count = u32(std::stoul(head.substr(2)));
      const std::string key = head + "," + rest;
      if (!numbers_.count(key)) {
        const u16 element = type(rest);
        types_.type_array(numbers_[key] = next_++, element, count * size_of(rest));
      }
      return numbers_[key];
    }
    if (head == "DF") {
      const std::string key = "F:" + function;
      const u16 result = type(rest);
      if (!numbers_.count(key)) types_.type_function(numbers_[key] = next_++, result, counts_.at(function));
      return numbers_[key];
    }
    if (head.rfind("ST", 0) == 0) return numbers_.at("struct " + head.substr(2, head.find(':') - 2));
    static const std::map<std::string, u16> base = {{"SC:U", 1}, {"SC:S", 2}, {"SI:S", 4}, {"SI:U", 5},
                                                    {"SL:S", 8}, {"SL:U", 7}, {"SV:S", 0}, {"SF:S", 9}};
    return base.at(head);
  }
  static u32 size_of(const std::string& spec) {
    if (spec.rfind("SC", 0) == 0) return 1;
    if (spec.rfind("SL", 0) == 0 || spec.rfind("SF", 0) == 0) return 4;
    return 2;
  }

  static u32 hex(const std::string& text) { return u32(std::stoul(text, nullptr, 16)); }

  void build() {
    static const std::regex struct_re(R"(^T:F\w+\$(\w+)\[(.*)\]$)");
    static const std::regex member_re(R"(\(\{(\d+)\}S:S\$(\w+)\$[^(]*\(\{(\d+)\}([^)]*)\))");
    static const std::regex symbol_re(R"(^S:(G|F\w+|L\w+\.(\w+))\$(\w+)\$[^(]*\(\{(\d+)\}([^)]*)\),(\w),\d+,(-?\d+))");
    static const std::regex address_re(R"(^L:(X?)(G|F\w+)\$(\w+)\$0(?:_0)?\$0:([0-9A-Fa-f]+)$)");
    static const std::regex line_re(R"(^L:C\$[^$]+\$(\d+)\$[^:]*:([0-9A-Fa-f]+)$)");
    std::smatch m;
    // structs first: pointers and symbols refer to them by name
    for (const std::string& r : records_) {
      if (!std::regex_match(r, m, struct_re)) continue;
      const std::string tag = m[1], body = m[2];
      std::vector<std::pair<std::string, std::string>> raw;
      std::vector<u32> offsets;
      u32 size = 0;
      for (std::sregex_iterator it(body.begin(), body.end(), member_re), end; it != end; ++it) {
        offsets.push_back(u32(std::stoul((*it)[1])));
        raw.emplace_back((*it)[2], (*it)[4]);
        size = std::max(size, offsets.back() + u32(std::stoul((*it)[3])));
      }
      const u16 number = numbers_["struct " + tag] = next_++;
      std::vector<fixture::D01Member> members;
      for (std::size_t i = 0; i < raw.size(); ++i) members.push_back({offsets[i], raw[i].first, type(raw[i].second)});
      types_.type_struct(number, tag, size, members);
    }
    std::map<std::string, u32> addresses, ends;
    std::multimap<u32, u16> lines;
    for (const std::string& r : records_) {
      if (std::regex_match(r, m, address_re)) (m[1] == "X" ? ends : addresses)[m[3]] = hex(m[4]);
      if (std::regex_match(r, m, line_re)) lines.emplace(hex(m[2]), u16(std::stoul(m[1])));
    }
    std::vector<Function> functions;
    for (const std::string& r : records_) {
      if (!std::regex_match(r, m, symbol_re)) continue;
      const std::string scope = m[1], name = m[3], spec = m[5];
      if (scope[0] == 'L' || !addresses.count(name)) continue;  // locals below
      if (spec.rfind("DF", 0) == 0) {
        if (std::none_of(functions.begin(), functions.end(), [&](const Function& f) { return f.name == name; }))
          functions.push_back({name, addresses[name], 0, type(spec, name), {}});
      } else {
        globals_.push_back({2, addresses[name], name, type(spec)});
      }
    }
    std::sort(functions.begin(), functions.end(),
              [](const Function& a, const Function& b) { return a.start < b.start; });
    const u32 code_end = code_.empty() ? 0 : code_.rbegin()->first + 1;
    for (std::size_t i = 0; i < functions.size(); ++i)
      functions[i].end = i + 1 < functions.size() ? functions[i + 1].start : code_end;
    // locals on the stack (storage B) are frame variables at their offset
    for (const std::string& r : records_) {
      if (!std::regex_match(r, m, symbol_re) || std::string(m[1])[0] != 'L' || m[6] != "B") continue;
      for (Function& f : functions)
        if (f.name == m[2] && std::none_of(f.vars.begin(), f.vars.end(), [&](const auto& v) { return v.name == m[3]; }))
          f.vars.push_back({7, u32(std::stol(m[7])), m[3], type(m[5])});
    }

    out_ = types_;
    const u32 first = functions.empty() ? code_end : functions.front().start;
    out_.module_start("CSTARTUP").address(code_.empty() ? 0 : code_.begin()->first);
    emit_code(code_.empty() ? 0 : code_.begin()->first, first);
    out_.module_end().module_start(module_);
    for (const Function& f : functions) out_.symbol(1, 1, f.start, f.name, f.type);
    for (const fixture::D01Var& g : globals_) out_.symbol(2, 2, g.value, g.name, g.type);
    out_.address(first);
    for (const Function& f : functions) {
      const auto [low, high] = lines.equal_range(f.start);
      bool marked = false;
      for (auto it = low; it != high; ++it) out_.line(it->second, !marked), marked = true;
      if (!marked) out_.line(1, true);
      out_.function(f.name, f.vars);
      u32 at = f.start;
      while (at < f.end) {
        u32 next = f.end;
        const auto after = lines.upper_bound(at);
        if (after != lines.end() && after->first < next) next = after->first;
        emit_code(at, next);
        at = next;
        if (at < f.end)
          for (auto [l, h] = lines.equal_range(at); l != h; ++l) out_.line(l->second);
      }
      out_.block_end();
    }
    out_.module_end().end();
  }

  void emit_code(u32 from, u32 to) {
    std::string bytes;
    for (u32 a = from; a < to; ++a) bytes += char(code_.count(a) ? code_[a] : 0);
    out_.code(bytes);
  }

  std::map<std::string, u8> counts_;
  std::map<u32, u8> code_;
  std::vector<std::string> records_;
  std::string module_;
  std::map<std::string, u16> numbers_;
  u16 next_ = 100;
  fixture::D01Writer types_;
  fixture::D01Writer out_;
  std::vector<fixture::D01Var> globals_;
};

}  // namespace sdcc
