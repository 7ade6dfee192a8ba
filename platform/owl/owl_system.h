// What the window side asks of the system besides windows: the single-instance
// lock, starting programs, the clipboard, the beep and the help viewer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

enum class OwlLock { Created, Exists, Failed };

// The named lock that marks a running instance: an exclusive flock on the lock
// file for `name` in the lock folder (HALV80_LOCK_DIR, else XDG_RUNTIME_DIR,
// else /tmp). The file is opened close-on-exec, so programs started meanwhile
// do not keep it. Created: this process holds it until owl_release_lock or its
// end. Exists: another holder has it. Failed: no lock file could be opened.
OwlLock owl_create_lock(std::string_view name);
void owl_release_lock(std::string_view name);
// The lock file of `name` (host path).
std::string owl_lock_path(std::string_view name);

// Splits a command line as the system does: blanks separate, double quotes
// group (and are dropped).
std::vector<std::string> owl_split_command_line(std::string_view line);
// Starts the program of `command_line` (CP932, the system's path form) in
// `folder` (empty: the current one) and does not wait for it. A bare program
// name is looked up along PATH; the system's "NAME.EXE" names the host's
// program "name". An argument that begins with "\" is a full path in the
// system's form and is passed as the host's path. The process id, or -1 when
// it could not be started.
int owl_start_process(std::string_view command_line, std::string_view folder);
// The host path of the program file `system_path` names: the file itself when
// it exists, else for "FOLDER\NAME.EXE" the program "name" in that folder.
std::string owl_host_program(std::string_view system_path);

// The clipboard's text. Set: the CP932 text as Unicode, each CR LF as one
// line end. Get: the clipboard's text as CP932 (empty when it holds none).
void owl_set_clipboard_text(std::string_view cp932);
std::string owl_clipboard_text();

// The default beep; counted for tests.
void owl_beep();
u32 owl_beep_count();

// A help call: file (CP932), command and data are recorded. The help is a
// page of HTML: with the context command (1) it opens at the section whose
// id is "ctx-" and the context number, and at its top when the page has no
// such section. The page is shown with the desktop's viewer when it exists
// and viewing is on.
struct OwlHelpCall {
  std::string file;
  u32 command = 0;
  u32 data = 0;
  std::string section;  // the section opened; empty: the top
};
void owl_win_help(std::string_view file, u32 command, u32 data);
// The section of `page` (HTML text) for help context `context`, or empty.
std::string owl_help_section(std::string_view page, u32 context);
const std::vector<OwlHelpCall>& owl_help_calls();
void owl_help_reset(bool open_viewer);
