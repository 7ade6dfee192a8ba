// qorreg: prints the registry entries of the emulator's interface drivers to
// standard output. It takes no arguments; a root whose store file can't be
// read is named on standard error.
#include <cstdio>
#include <string>

#include "qorreg/reg_dump.h"

int main() {
  std::string out;
  std::string faults;
  const int status = reg_dump_main(out, faults);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  if (!faults.empty()) std::fputs(faults.c_str(), stderr);
  return status;
}
