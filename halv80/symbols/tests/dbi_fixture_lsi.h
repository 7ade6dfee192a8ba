// A writer of loader D's text pair for the tests, the fuzzer's seeds and the
// demo's conversion: the linker listing ".lsi" (memory areas, symbol lines,
// "@@" item records, then the type section) and the line file ".lin". Lines
// end in CR LF.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

namespace fixture {

struct LsiMember {
  std::string name;
  std::string type;  // a type descriptor
  int offset = 0;
};
struct LsiEnumerator {
  std::string name;
  int value = 0;
};

class LsiWriter {
 public:
  LsiWriter& lsi_line(std::string_view text) {
    lsi_.append(text);
    lsi_ += "\r\n";
    return *this;
  }
  LsiWriter& lin_line(std::string_view text) {
    lin_.append(text);
    lin_ += "\r\n";
    return *this;
  }

  // memory areas
  LsiWriter& code_area(u16 start) { return lsi_line("CODE\t= " + hex(start, 4)); }
  LsiWriter& data_area(u16 start) { return lsi_line("DATA\t= " + hex(start, 4)); }
  // a bank: physical start and end, and on the line after next its logical start
  LsiWriter& bank_area(std::string_view name, u32 start, u32 end, u16 logical) {
    lsi_line(std::string(name) + "\t= " + hex(start, 8) + "-" + hex(end, 8));
    lsi_line("\tsize " + hex(end - start + 1, 8));
    return lsi_line("\t= " + hex(logical, 4));
  }

  // symbols and item records
  LsiWriter& symbol(u16 address, std::string_view name) { return lsi_line(hex(address, 4) + "\t" + std::string(name)); }
  LsiWriter& symbol_banked(u16 address, std::string_view name, u32 physical) {
    return lsi_line(hex(address, 4) + "\t" + std::string(name) + "\t" + hex(physical, 8));
  }
  // storage "S" static, anything else frame-relative (the address is the offset)
  LsiWriter& item(u16 address, std::string_view name, std::string_view type, std::string_view storage,
                  std::string_view module, std::string_view function, std::string_view physical = {}) {
    std::string text = hex(address, 4) + "\t@@";
    for (std::string_view f : {name, type, storage, module, function, std::string_view()}) {
      text.append(f);
      text += '@';
    }
    if (!physical.empty()) text += "\t" + std::string(physical);
    return lsi_line(text);
  }

  // type section: 'X' struct, 'Y' union
  LsiWriter& struct_type(char letter, std::string_view tag, const std::vector<LsiMember>& members, int size,
                         int number, std::string_view module) {
    std::string text(1, letter);
    text.append(tag);
    text += '{';
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (i) text += ',';
      text += members[i].name + "@" + members[i].type + "@" + std::to_string(members[i].offset);
    }
    text += "}" + std::to_string(size) + "," + std::to_string(number) + "@" + std::string(module) + "@";
    return lsi_line(text);
  }
  LsiWriter& enum_type(std::string_view tag, const std::vector<LsiEnumerator>& members, int number,
                       std::string_view module) {
    std::string text = "E" + std::string(tag) + "{";
    for (std::size_t i = 0; i < members.size(); ++i) {
      if (i) text += '|';
      text += members[i].name + "@" + std::to_string(members[i].value);
    }
    text += "}" + std::to_string(number) + "@" + std::string(module) + "@";
    return lsi_line(text);
  }
  LsiWriter& typedef_type(std::string_view tag, int number, std::string_view module) {
    return lsi_line("T" + std::string(tag) + "@" + std::to_string(number) + "@" + std::string(module) + "@");
  }
  LsiWriter& global(std::string_view name, std::string_view module, std::string_view type) {
    return lsi_line("G" + std::string(name) + "@0@0@" + std::string(module) + "@" + std::string(type) + "@");
  }

  // the line file
  LsiWriter& file(std::string_view name) { return lin_line("*    " + std::string(name)); }
  LsiWriter& line(u16 address, int number) { return lin_line(hex(address, 4) + " " + std::to_string(number)); }
  LsiWriter& line_banked(u16 address, int number, u32 physical) {
    return lin_line(hex(address, 4) + " " + std::to_string(number) + " (" + hex(physical, 8) + ")");
  }

  const std::string& lsi() const { return lsi_; }
  const std::string& lin() const { return lin_; }

  static std::string hex(u32 v, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, v);
    return text;
  }

 private:
  std::string lsi_, lin_;
};

}  // namespace fixture
