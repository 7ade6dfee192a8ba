// The demo program that sdcc builds for the tests (tools/z80programs/demo.c):
// its files, its symbols as a symbol file, its line records, and the files a
// test folder needs to load it with L, with or without line tables.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/host_types.h"
#include "platform/host/tests/scratch_dir.h"

#ifndef HALV80_TEST_PROGRAM_DIR
#error "HALV80_TEST_PROGRAM_DIR names the folder of the sdcc-built test programs"
#endif

namespace demo {

inline const std::filesystem::path kPrograms = HALV80_TEST_PROGRAM_DIR;
inline const std::filesystem::path kSources = HALV80_TEST_PROGRAM_SOURCE_DIR;

inline std::string file_bytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The symbols as a symbol file: "value name" lines made from the linker's
// "DEF name 0xvalue" list.
inline std::string symbol_file_from_noi() {
  std::istringstream noi(file_bytes(kPrograms / "demo.noi"));
  std::string out, def, name, value;
  while (noi >> def >> name >> value)
    if (def == "DEF" && value.rfind("0x", 0) == 0) out += value.substr(2) + " " + name + "\r\n";
  return out;
}

// The compiler's line records ("C$demo.c$<line>$..." symbols): address ->
// line, the larger line where two share an address.
inline std::map<u16, u16> lines() {
  std::istringstream noi(file_bytes(kPrograms / "demo.noi"));
  std::map<u16, u16> out;
  std::string def, name, value;
  const std::string prefix = "C$demo.c$";
  while (noi >> def >> name >> value) {
    if (def != "DEF" || name.rfind(prefix, 0) != 0) continue;
    u16& kept = out[u16(std::stoul(value, nullptr, 16))];
    kept = std::max(kept, u16(std::stoul(name.substr(prefix.size()))));
  }
  return out;
}

// The lines of demo.c, counted from 1 (entry 0 is empty).
inline std::vector<std::string> source_lines() {
  std::istringstream in(file_bytes(kSources / "demo.c"));
  std::vector<std::string> out{""};
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// demo.hex and demo.sym in `dir`; with line tables also the map naming the
// module, its binary line file, and the source under the name the module
// takes with toolchain kind 16's default extension (`source_name`).
inline void place(const ScratchDir& dir, bool with_lines, const char* source_name = "demo.c") {
  dir.write("demo.hex", file_bytes(kPrograms / "demo.ihx"));
  dir.write("demo.sym", symbol_file_from_noi());
  if (!with_lines) return;
  std::string lin;
  for (const auto& [address, line] : lines())
    for (u16 word : {address, line}) lin += {char(word & 0xFF), char(word >> 8)};
  dir.write("demo.lin", lin);
  dir.write("demo.MAP", "Module  <demo>  code base =0000  data base =0000\r\n");
  dir.write(source_name, file_bytes(kSources / "demo.c"));
}

}  // namespace demo
