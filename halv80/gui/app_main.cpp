// app_main and the response file. The command line arrives as argv; the
// Windows-style argument text is rebuilt from it by quoting the elements that
// hold blanks, then parsed as one text: upper-cased, the first "-D" and the
// first "@" taken off and blanked. StartupArgs keeps at most 8,191 bytes: what
// does not fit is cut at a character boundary.
#include "halv80/gui/app_main.h"

#include <cstring>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/gui/app_heartbeat.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/dlg_entries.h"
#include "halv80/gui/win_code.h"
#include "halv80/gui/win_console.h"
#include "platform/host/host_dir.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_system.h"

constinit AppState App;

void app_reset_state() {
  App = AppState{};
  app_heartbeat_reset();
  win_cells_reset_state();
}

namespace {

constexpr u32 kResponseSizeMask = 0xFFFF;  // only the low 16 bits of the length count
constexpr char kCtrlZ = 0x1A;

// Appends to StartupArgs what fits, never half a double-byte character.
void startup_append(std::string_view text) {
  char* args = Cmd.StartupArgs;
  std::size_t used = std::strlen(args);
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = host_cp932_unit_length(text, i);
    if (used + n >= kStartupArgsSize) break;
    std::memcpy(args + used, text.data() + i, n);
    used += n;
    i += n;
  }
  args[used] = '\0';
}

void stop_box(std::string_view caption, std::string_view text) {
  host_message_box(caption, text, MB_ICONSTOP | MB_TASKMODAL);
}

// The argument text after the program name, as the system would pass it.
std::string argument_text(int argc, char** argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] ? argv[i] : "";
    if (i > 1) text += ' ';
    if (arg.find_first_of(" \t") != std::string_view::npos) {
      text += '"';
      text += arg;
      text += '"';
    } else {
      text += arg;
    }
  }
  return text;
}

// ProgramFolder: the program path up to its last '\', ':' or '/'. A trail
// byte equal to '\' is part of its character. A folder too long for the field
// is left out rather than cut.
void set_program_folder(std::string_view program) {
  std::size_t cut = 0;
  for (std::size_t i = 0; i < program.size();) {
    const std::size_t n = host_cp932_unit_length(program, i);
    if (n == 1 && (program[i] == '\\' || program[i] == ':' || program[i] == '/')) cut = i + 1;
    i += n;
  }
  Sw.ProgramFolder[0] = '\0';
  if (cut < kProgramFolderSize) {
    std::memcpy(Sw.ProgramFolder, program.data(), cut);
    Sw.ProgramFolder[cut] = '\0';
  }
}

// Upper-cases the ASCII letters, stepping over double-byte characters.
void upper_case(std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = host_cp932_unit_length(text, i);
    if (n == 1) text[i] = host_ascii_upper(text[i]);
    i += n;
  }
}

// Takes the value of the option whose letters end just before `start` and
// which begins at `option`: quoted up to the next double quote, else up to the
// first byte that is 0x20 or less as a signed byte. The option and its value
// become blanks. False when a quote is not closed.
bool take_value(std::string& text, std::size_t option, std::size_t start, std::string& value) {
  std::size_t end;  // first byte after what is blanked
  if (start < text.size() && text[start] == '"') {
    const std::size_t close = text.find('"', start + 1);
    if (close == std::string::npos) return false;
    value = text.substr(start + 1, close - start - 1);
    end = close + 1;
  } else {
    end = start;
    while (end < text.size() && i8(text[end]) > 0x20) ++end;
    value = text.substr(start, end - start);
  }
  text.replace(option, end - option, end - option, ' ');
  return true;
}

// The first '@' that is a character of its own (a trail byte may be 0x40).
std::size_t find_at_sign(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = host_cp932_unit_length(text, i);
    if (n == 1 && text[i] == '@') return i;
    i += n;
  }
  return std::string_view::npos;
}

}  // namespace

int app_main(int argc, char** argv) {
  TMDIApp app(kAppName);
  set_program_folder(argc > 0 && argv[0] ? argv[0] : "");

  // another instance running? (no lock file at all: go on unguarded)
  if (owl_create_lock(kInstanceName) == OwlLock::Exists) {
    stop_box("QUENDAR ERROR", host_utf8_to_cp932("すでにQUENDARが起動しています"));
    return -1;
  }

  Cmd.StartupArgs[0] = '\0';
  std::string text = argument_text(argc, argv);
  if (!text.empty()) {
    upper_case(text);
    const std::string as_given = text;

    if (const std::size_t d = text.find("-D"); d != std::string::npos) {
      std::string folder;
      if (!take_value(text, d, d + 2, folder)) {
        stop_box("OPTION ERROR", as_given);
        return -1;
      }
      if (!folder.empty()) host_set_current_dir(folder);  // a folder that is not there is ignored
    }

    bool response = false;
    std::string response_name;
    if (const std::size_t at = find_at_sign(text); at != std::string::npos) {
      if (!take_value(text, at, at + 1, response_name)) {
        stop_box("OPTION ERROR", as_given);
        return -1;
      }
      response = true;
    }

    startup_append(" ");
    startup_append(text);
    startup_append(" ");
    if (response) app_read_response_file(response_name);
  }
  // the memo and the console windows: the command pane and the code pane
  for (u16 i : {kChildMemo, kChildCommand, kChildCode, kChildCode1})
    if (!win_child_factory(i)) win_set_child_factory(i, make_code_window);
  dlg_register_services();
  // the main menu's dialogs that exist
  AppDialogs.loadDialog = [](TWindow& parent, TOpenSaveData& data) { return dlg_load_show(&parent, data); };
  AppDialogs.toolBarDialog = [](TWindow& parent) { return dlg_toolbar_show(&parent); };
  return app.Run();
}

void app_read_response_file(std::string_view name) {
  const int file = host_file_open(name, kFileModeRead);
  if (file == kNoFile) {
    stop_box("QUENDAR ERROR", "Can't Open " + std::string(name));
    return;
  }
  const i32 length = host_file_seek(file, 0, kSeekEnd);
  host_file_seek(file, 0, kSeekSet);
  const u32 size = length > 0 ? u32(length) & kResponseSizeMask : 0;
  std::string buffer(size, '\0');
  const i32 got = size ? host_file_read(file, buffer.data(), size) : 0;
  host_file_close(file);
  buffer.resize(got > 0 ? std::size_t(got) : 0);

  if (!buffer.empty() && buffer.back() == kCtrlZ) buffer.pop_back();
  for (std::size_t i = 0; i + 1 < buffer.size(); ++i)
    if (buffer[i] == '\r' && buffer[i + 1] == '\n') buffer[i] = buffer[i + 1] = ' ';
  // the text ends at its first NUL byte, as any text does
  const std::size_t nul = buffer.find('\0');
  if (nul != std::string::npos) buffer.resize(nul);
  startup_append(buffer);
  startup_append(" ");
}
