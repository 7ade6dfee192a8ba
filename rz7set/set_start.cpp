// Start-up of the setup program: language, switches, versions, the project of
// the command line.
#include "rz7set/set_start.h"

#include "halv80/version.h"
#include "platform/host/host_dir.h"
#include "platform/host/host_env.h"
#include "platform/host/host_text.h"
#include "rz7set/set_project.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_state.h"

namespace {

constexpr std::size_t kVersionTextMax = 63;  // a version text's buffer holds 64 bytes

// Trimmed of leading and trailing blanks.
std::string trimmed(std::string_view arg) {
  const std::size_t first = arg.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::string();
  const std::size_t last = arg.find_last_not_of(" \t");
  return std::string(arg.substr(first, last - first + 1));
}

// Trimmed of leading and trailing blanks, then upper-cased (ASCII only).
std::string normalised(std::string_view arg) {
  std::string out = trimmed(arg);
  for (std::size_t i = 0; i < out.size(); i += host_cp932_unit_length(out, i)) out[i] = host_ascii_upper(out[i]);
  return out;
}

bool is_switch(std::string_view arg) { return !arg.empty() && arg[0] == '/' && arg.find('/', 1) == std::string_view::npos; }

std::string cut(std::string_view text) { return std::string(text.substr(0, kVersionTextMax)); }

}  // namespace

bool set_detect_platform() {
  Setup.windows_nt = true;
  std::string lang;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const auto value = host_env_lookup(name);
    if (value && !value->empty()) {
      lang = *value;
      break;
    }
  }
  return lang.rfind("ja", 0) != 0;
}

void set_prescan_language() {
  SetTexts.AppTitle = "RZ7SET";
  for (const std::string& arg : SetTexts.Args) {
    const std::string a = normalised(arg);
    if (a == "/J") Setup.english_ui = false;
    if (a == "/U") Setup.english_ui = true;
  }
}

bool set_parse_switches() {
  SetTexts.AppTitle = "RZ7SET";
  if (SetTexts.Args.empty()) {
    set_msg_box(5026, nullptr, nullptr, kMsgError);
    return false;
  }
  bool family_given = false;
  for (const std::string& arg : SetTexts.Args) {
    std::string a = normalised(arg);
    if (a == "/J") {
      Setup.english_ui = false;
    } else if (a == "/U") {
      Setup.english_ui = true;
    } else if (a == "/QNJ") {
      Setup.j_edition = true;
    } else if (a == "/NW") {
      Setup.network_host = true;
    } else if (is_switch(a)) {
      if (const CpuAlias* row = set_find_alias(std::string_view(a).substr(1))) {
        Setup.cpu_family = row->family;
        set_read_settings();
        family_given = true;
      } else if (Setup.cpu_family == 0) {
        set_msg_box(5022, nullptr, nullptr, kMsgError);
        return false;
      }
    } else {
      for (char& c : a)
        if (c == '/') c = '\\';
      SetTexts.CmdPrjPath = a;
      // the file opened is the one named, case kept: of "qqn80.qpj" and
      // "QQN80.QPJ" side by side, the name as given wins
      std::string given = trimmed(arg);
      for (char& c : given)
        if (c == '/') c = '\\';
      SetTexts.CmdPrjGiven = given;
      MainSt.AutoOption = family_given;
    }
  }
  return true;
}

void set_read_version() {
  SetTexts.ProductName = cut(kProductName);
  SetTexts.ProductVersion = cut(kProductVersion);
  SetTexts.LegalCopyright = cut(kLegalCopyright);
}

void set_save_cwd() { SetTexts.SavedCwd = host_current_dir(); }
void set_restore_cwd() {
  if (!SetTexts.SavedCwd.empty()) host_set_current_dir(SetTexts.SavedCwd);
}

std::string set_folder_part(std::string_view path) {
  const std::size_t cut_at = path.find_last_of("\\:");
  return std::string(cut_at == std::string_view::npos ? std::string_view() : path.substr(0, cut_at));
}

bool set_open_command_line_project() {
  const std::string& path = SetTexts.CmdPrjGiven.empty() ? SetTexts.CmdPrjPath : SetTexts.CmdPrjGiven;
  if (!prj_load(path)) return false;
  std::string folder = set_folder_part(path);
  if (folder.empty()) folder = MainSt.PrjDir;  // a bare file name: the project is in the current folder
  if (prj_check_files(folder) != kAnswerYes) return false;
  MainSt.PrjOpen = true;
  return true;
}
