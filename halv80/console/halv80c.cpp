// halv80c: the debugger without a display. Keys come from standard input, or
// from the file named as the first argument ("-": standard input); the command
// pane's output goes to standard output as UTF-8. The run ends at EXIT or at
// the end of the input. Further arguments are the debugger's start-up command
// line; a program file named there is loaded once the debugger is up.
//
// Standard input at a terminal: the console debugger a user sits at. The
// terminal is put into raw mode (restored on every way out), each key goes to
// the engine as it is pressed, so the line editor with its history, recall
// and ESC commands works, the line being edited is drawn as the engine edits
// it, and the command pane takes the terminal's rows and follows its size.
// Ctrl-C is ESC.
//
// Otherwise (a script): a line of text is typed when the debugger waits for a
// command; the command pane does not page; a line longer than the 255
// characters a command line holds is refused whole with a message. Control
// characters in a line are typed as the keys they are (Ctrl-S is the
// editor's cursor left, as at the keyboard); a control character (ESC among
// them, written as the byte 1B) that stands next in the input while a command
// is busy reaches it at once, as a key pressed while it runs. At the end of
// the input a busy command gets ESC and its output is printed before the
// program ends. A key journal named with -KEY is played back before the
// script's lines; -LOG records the keys typed.
//
// The simulated emulator stands where the interface card and its driver would
// be; its board runs beside the debugger on a thread of its own, at full speed
// unless HALV80_SIM_PACED=1 holds it to its clock. The program's folder (where
// rz7_00.hwf is looked for) is the folder of this executable; qqn80.cfg and
// MON80.QQN are looked for in the current folder and then along PATH.
//
// The start options that the setup program keeps in the project file
// qqn80.qpj in the current folder ("%OPT") come first on the start-up line,
// as the window program takes them; the switches given here follow them.
//
// -h or --help prints the usage. The run ends with status 1 when what it
// keeps could not be kept: ZER80.DAT not saved, or a redirect file not
// completed (the reason on standard error).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/console/console_startup.h"
#include "halv80/console/console_window_side.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/sym_state_file.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_file.h"
#include "platform/host/host_input.h"
#include "platform/host/host_terminal.h"
#include "platform/host/host_text.h"
#include "rz7bios/rz7bios.h"

namespace {

constexpr std::string_view kUsage =
    "usage: halv80c [SCRIPT | -] [SWITCH...] [PROGRAM]\n"
    "\n"
    "The debugger without a display. Command lines come from the file SCRIPT, or\n"
    "from standard input (\"-\", or no SCRIPT); the command pane is printed as\n"
    "UTF-8. EXIT or the end of the input ends the session.\n"
    "\n"
    "Start-up switches (in any case):\n"
    "  -X -XH -XI -XL -XL3 -XM -XM3  toolchain: which debug files L reads (-X: .sym)\n"
    "  -E ext                 extension of source files named without one\n"
    "  -SD dir | -SD \"dir\"    folder of the source files (in place of QNSRC)\n"
    "  -TAB n                 tab width of source lines (at most 16)\n"
    "  -KEY file              play a key journal before the script\n"
    "  -LOG file              record the keys typed into a key journal\n"
    "  -A8 | -AZ              8080 or Z80 mnemonics\n"
    "  -B x,y                 symbol area and macro store sizes, in units of 64\n"
    "  -J                     Japanese texts\n"
    "  -!                     start without the on-target monitor\n"
    "  -h | --help            this text\n"
    "PROGRAM, the first item that is no switch, is loaded once the debugger is up\n"
    "(\"L PROGRAM\"): demo.hex, or demo for demo.hex with its debug file.\n"
    "The start options of the project file qqn80.qpj in the current folder (its\n"
    "%OPT section, as rz7set writes it) come first; the switches given here follow.\n"
    "\n"
    "Environment:\n"
    "  QNSRC                folders searched for source files, separated by \";\"\n"
    "  LONGNAME             OFF: module and file names compare in 8.3 form\n"
    "  PATH                 qqn80.cfg and MON80.QQN are looked for in the current\n"
    "                       folder, then along PATH\n"
    "  HALV80_REGISTRY_DIR  the registry store (default ~/.config/halv80/registry)\n"
    "  HALV80_BACKEND       driver (default) or direct: the road to the simulated card\n"
    "  HALV80_SIM_PACED     1: the simulated target keeps to its clock\n";

// Files the engine keeps in the current folder, whose temporaries an older
// version named ".NAME.XXXXXX".
constexpr std::string_view kOwnFiles[] = {kStateFileName, kMemoFileName};

// The folder of this executable in the system's form ("\opt\halv80\bin").
std::string program_folder() {
  std::error_code ec;
  std::string folder = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
  for (char& c : folder)
    if (c == '/') c = '\\';
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
  }
  std::unique_ptr<HostInput> input;
  int first_switch = 1;
  bool from_standard_input = true;
  if (argc > 1 && std::string_view(argv[1]) == "-") {
    input = HostInput::FromStandardInput();
    first_switch = 2;
  } else if (argc > 1 && argv[1][0] != '-') {
    input = HostInput::FromFile(argv[1]);
    from_standard_input = false;
    if (!input) {
      std::cerr << "halv80c: cannot open " << argv[1] << '\n';
      return 2;
    }
    first_switch = 2;
  } else {
    input = HostInput::FromStandardInput();
  }
  // The start-up line: the project's start options (the "%OPT" section of
  // qqn80.qpj in the current folder), then the arguments, blank-separated
  // with a blank before and after, so that a switch given here comes after
  // the project's. The switches are read in any case; file names keep the
  // case they were given in, so that a file the debugger makes (-LOG) has
  // that name.
  const std::string startup =
      console_startup_line(console_read_project_options(), std::vector<std::string>(argv + first_switch, argv + argc));
  // temporary files that a killed run left in the current folder
  host_remove_stale_temporaries(".", kOwnFiles);

  DevProgramEmulator emulator;
  if (!emulator.Install("halv80c")) return 1;

  reset_engine_state();
  std::snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", program_folder().c_str());
  if (sup_init_bios_work_area() != 0) {
    std::cerr << "halv80c: the emulator's driver did not open\n";
    return 1;
  }
  Links.emulator_startup = emu_startup;
  sym_install_links();

  // at a terminal: raw keys until the run ends, however it ends
  std::unique_ptr<HostTerminal> terminal = from_standard_input ? HostTerminal::Open() : nullptr;
  ConsoleWindowSide window_side(std::cout);
  window_side.Start(startup);
  if (terminal)
    window_side.RunTerminal(*input, *terminal);
  else
    window_side.Run(*input);
  // A fatal error (the start-up failed, or INIT could not start the
  // emulator again) ends the run with its message on the error stream.
  const bool failed = Sup.StartupFailure != 0;
  // the frame closes: what is kept between runs is saved, and an open
  // redirect file completed; a failure of either ends the run with status 1
  int status = 0;
  const std::string redirect_name = Redir.Name;
  if (const u16 failure = redir_close()) {
    std::cerr << "halv80c: the redirect file " << host_map_path(redirect_name) << " could not be completed ("
              << (failure == kMsgDiskFull ? "disk full" : "it could not take its name") << ")\n";
    status = 1;
  }
  if (Links.state_file_save && !Links.state_file_save()) {
    const int error = errno;
    std::error_code ec;
    std::cerr << "halv80c: cannot save the session's state (the line history and the saved names) in "
              << (std::filesystem::current_path(ec) / kStateFileName).string() << ": " << std::strerror(error)
              << '\n';
    status = 1;
  }
  window_side.Finish();
  cmd_exit_cleanup();
  // the library lets go of the work area before the engine frees it
  _NT_setbioswork(nullptr);
  reset_engine_state();
  if (failed) {
    std::cerr << "halv80c: " << window_side.LastBox() << '\n';
    return 1;
  }
  return status;
}
