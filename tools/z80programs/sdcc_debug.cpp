// sdcc_debug FORMAT FOLDER NAME OUT: the debug information of an sdcc-built
// program (FOLDER/NAME.ihx and NAME.cdb) in one of the formats of the load
// command's loaders B, D and E, written next to OUT: "abs" OUT.abs (IEEE-695,
// code bytes included), "lsi" OUT.lsi and OUT.lin, "qor" OUT.qor (scrambled).
#include <fstream>
#include <iostream>
#include <string>

#include "halv80/symbols/tests/sdcc_formats.h"

namespace {

bool write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: sdcc_debug abs|lsi|qor FOLDER NAME OUT\n";
    return 2;
  }
  const std::string format = argv[1], out = argv[4];
  try {
    const sdcc::Program program = sdcc::read_program(argv[2], argv[3]);
    if (format == "abs") return write(out + ".abs", sdcc::AbsFromSdcc(program).bytes()) ? 0 : 1;
    if (format == "qor") return write(out + ".qor", sdcc::QorFromSdcc(program).bytes()) ? 0 : 1;
    if (format == "lsi") {
      const fixture::LsiWriter files = sdcc::LsiFromSdcc(program).files();
      return write(out + ".lsi", files.lsi()) && write(out + ".lin", files.lin()) ? 0 : 1;
    }
    std::cerr << "sdcc_debug: abs, lsi or qor, not " << format << '\n';
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "sdcc_debug: " << e.what() << '\n';
    return 1;
  }
}
