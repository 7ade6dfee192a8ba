// halv80c: the debugger without a display. Command lines come from standard
// input, or from the file named as the first argument; the command pane's
// output goes to standard output as UTF-8. The run ends at EXIT or at the end
// of the input. Further arguments are the debugger's start-up command line.
#include <fstream>
#include <iostream>
#include <string>

#include "halv80/console/console_window_side.h"
#include "halv80/engine/engine_state.h"
#include "platform/host/host_text.h"

int main(int argc, char** argv) {
  std::ifstream file;
  std::istream* in = &std::cin;
  int first_switch = 1;
  if (argc > 1 && argv[1][0] != '-') {
    file.open(argv[1], std::ios::binary);
    if (!file) {
      std::cerr << "halv80c: cannot open " << argv[1] << '\n';
      return 2;
    }
    in = &file;
    first_switch = 2;
  }
  // The start-up line as the window side hands it over: blank-separated
  // arguments, upper-cased, with a blank before and after.
  std::string startup = " ";
  for (int i = first_switch; i < argc; ++i) {
    for (const char* p = argv[i]; *p; ++p) startup += host_ascii_upper(*p);
    startup += ' ';
  }

  reset_engine_state();
  ConsoleWindowSide window_side(std::cout);
  window_side.Start(startup);
  std::string line;
  while (std::getline(*in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!window_side.TypeLine(line)) break;
  }
  window_side.Finish();
  return 0;
}
