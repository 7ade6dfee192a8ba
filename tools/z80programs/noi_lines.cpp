// noi_lines NOI MODULE OUT_FOLDER: the compiler's line records of a program
// ("DEF C$<module>.c$<line>$... 0x<address>" lines of the linker's .noi list)
// as the line files the debugger reads for toolchain kind 16: <module>.lin,
// 4-byte entries (address, line; little-endian) in address order, the larger
// line where two share an address, and <module>.MAP naming the module with
// both address bases 0.
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: noi_lines NOI MODULE OUT_FOLDER\n";
    return 2;
  }
  std::ifstream noi(argv[1]);
  if (!noi) {
    std::cerr << "noi_lines: cannot read " << argv[1] << '\n';
    return 1;
  }
  const std::string module = argv[2];
  const std::string prefix = "C$" + module + ".c$";
  std::map<unsigned, unsigned> lines;
  std::string def, name, value;
  while (noi >> def >> name >> value) {
    if (def != "DEF" || name.rfind(prefix, 0) != 0) continue;
    unsigned address = 0, line = 0;
    try {
      address = unsigned(std::stoul(value, nullptr, 16)) & 0xFFFF;
      line = unsigned(std::stoul(name.substr(prefix.size())));
    } catch (const std::exception&) {
      continue;  // not a line record after all
    }
    if (line == 0 || line > 0x3FFF) continue;
    unsigned& kept = lines[address];
    if (line > kept) kept = line;
  }
  const std::string folder = argv[3];
  std::ofstream lin(folder + "/" + module + ".lin", std::ios::binary);
  for (const auto& [address, line] : lines) {
    const char entry[4] = {char(address & 0xFF), char(address >> 8), char(line & 0xFF), char(line >> 8)};
    lin.write(entry, sizeof entry);
  }
  std::ofstream map(folder + "/" + module + ".MAP", std::ios::binary);
  map << "Module  <" << module << ">  code base =0000  data base =0000\r\n";
  return lin && map ? 0 : 1;
}
