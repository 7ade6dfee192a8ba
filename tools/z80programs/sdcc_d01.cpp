// sdcc_d01 FOLDER NAME OUT [FUNCTION=PARAMETERS...]: the loader-A debug file
// (.d01) of an sdcc-built program, from FOLDER/NAME.ihx and NAME.cdb, written
// to OUT; sdcc does not record parameter counts, so each C function's count
// is given on the command line.
#include "halv80/symbols/tests/sdcc_d01.h"

#include <fstream>
#include <iostream>
#include <map>
#include <string>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: sdcc_d01 FOLDER NAME OUT [FUNCTION=PARAMETERS...]\n";
    return 2;
  }
  std::map<std::string, u8> counts;
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos) {
      std::cerr << "sdcc_d01: FUNCTION=PARAMETERS expected, not " << arg << '\n';
      return 2;
    }
    counts[arg.substr(0, eq)] = u8(std::stoul(arg.substr(eq + 1)));
  }
  try {
    const sdcc::D01FromSdcc d01(argv[1], argv[2], counts);
    std::ofstream out(argv[3], std::ios::binary);
    out << d01.bytes();
    return out ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "sdcc_d01: " << e.what() << '\n';
    return 1;
  }
}
