// The menu-entry dialog and the ".desktop" entry it writes.
#include "rz7set/set_entdlg.h"

#include "platform/host/host_dir.h"
#include "platform/host/host_env.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_system.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_state.h"

using namespace vcl;

namespace {

constexpr u32 kHelpContext = 1;
constexpr u32 kEntryTopic = 9;

// The first folder of a ":"-separated list in `variable`, else `fallback`.
std::string first_of(std::string_view variable, std::string_view fallback) {
  const auto value = host_env_lookup(variable);
  std::string folder = value && !value->empty() ? *value : std::string(fallback);
  const std::size_t colon = folder.find(':');
  if (colon != std::string::npos) folder.resize(colon);
  return folder;
}

// Makes `folder` (system form) and the folders above it that are missing.
bool make_folders(const std::string& folder) {
  if (host_is_directory(folder)) return true;
  const std::size_t cut = folder.find_last_of('\\');
  if (cut != std::string::npos && cut > 0 && !make_folders(folder.substr(0, cut))) return false;
  return host_make_directory(folder) || host_is_directory(folder);
}

// A part of a menu path as the user typed it: no folder of its own may leave
// the menu folder, and no control character may break the entry's lines.
bool sound_part(std::string_view text, bool may_hold_folders) {
  if (text.empty()) return false;
  for (const char c : text)
    if (u8(c) < 0x20 || c == 0x7F || c == '/' || (!may_hold_folders && c == '\\')) return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t cut = text.find('\\', start);
    const std::string_view part = text.substr(start, cut == std::string_view::npos ? std::string_view::npos : cut - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (cut == std::string_view::npos) return true;
    start = cut + 1;
  }
}

// One argument of the entry's Exec key: quoted when it holds a reserved
// character, with the quoting's own characters escaped.
std::string exec_argument(std::string_view arg) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string out;
  if (arg.find_first_of(kReserved) == std::string_view::npos) {
    out = arg;
  } else {
    out = "\"";
    for (const char c : arg) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  // the value is a string of the entry: "%" is a field code, "\" its escape
  std::string value;
  for (const char c : out) {
    if (c == '%') value += '%';
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

// A string value of the entry, its backslashes escaped.
std::string entry_string(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

bool write_entry(const std::string& programs, std::string_view group, std::string_view name) {
  const std::string group_folder = programs + "\\" + std::string(group);
  if (!make_folders(group_folder)) return false;
  const std::string file = group_folder + "\\" + std::string(name) + ".desktop";
  host_file_delete(file);
  const std::string program = owl_host_program(MainSt.BinDir + "\\" + set_res_string(16));
  const std::string text = lnk_desktop_entry(host_cp932_to_utf8(name), program, host_map_path(MainSt.PrjDir));
  if (!host_write_file_atomic(file, std::span<const u8>(reinterpret_cast<const u8*>(text.data()), text.size())))
    return false;
  owl_start_process("xdg-open \"" + group_folder + "\"", {});
  return true;
}

}  // namespace

std::string lnk_all_users_programs() {
  return host_system_path(first_of("XDG_DATA_DIRS", "/usr/local/share:/usr/share") + "/applications");
}

std::string lnk_user_programs() {
  const auto data_home = host_env_lookup("XDG_DATA_HOME");
  if (data_home && !data_home->empty()) return host_system_path(*data_home + "/applications");
  const auto home = host_env_lookup("HOME");
  return host_system_path((home ? *home : std::string()) + "/.local/share/applications");
}

std::string lnk_desktop_entry(std::string_view name, std::string_view program, std::string_view folder) {
  std::string text = "[Desktop Entry]\n";
  text += "Type=Application\n";
  text += "Version=1.0\n";
  text += "Name=" + entry_string(name) + "\n";
  text += "Exec=" + exec_argument(program) + "\n";
  text += "Path=" + entry_string(folder) + "\n";
  text += "Terminal=false\n";
  text += "Categories=Development;Debugger;\n";
  return text;
}

bool lnk_create(std::string_view group, std::string_view name) {
  if (!sound_part(group, true) || !sound_part(name, false)) return false;
  // the menu for all users first; where it may not be written, the user's own
  if (write_entry(lnk_all_users_programs(), group, name)) return true;
  return write_entry(lnk_user_programs(), group, name);
}

TEntDlg::TEntDlg() {
  GrpE = Add<TEdit>();
  GrpLB = Add<TListBox>();
  OkBtn = Add<TButton>();
  CanBtn = Add<TButton>();
  HlpBtn = Add<TButton>();
  IconE = Add<TEdit>();
  Lshortcut = Add<TLabel>();
  Lfolder = Add<TLabel>();
  SetCaption(set_res_string(7005));
  Lshortcut->SetCaption(set_res_string(7006));
  Lfolder->SetCaption(set_res_string(7007));
  OkBtn->SetCaption(set_res_string(7008));
  CanBtn->SetCaption(set_res_string(7001));
  HlpBtn->SetCaption(set_res_string(7002));
  Lshortcut->SetFocusControl(IconE);
  Lfolder->SetFocusControl(GrpE);
  Lshortcut->SetBounds(12, 10, 300, 20);
  IconE->SetBounds(12, 32, 300, 24);
  Lfolder->SetBounds(12, 64, 300, 20);
  GrpE->SetBounds(12, 86, 300, 24);
  GrpLB->SetBounds(12, 116, 300, 140);
  OkBtn->SetBounds(12, 266, 96, 28);
  CanBtn->SetBounds(114, 266, 96, 28);
  HlpBtn->SetBounds(216, 266, 96, 28);
  SetClientSize(324, 304);
  OkBtn->SetDefault(true);
  OkBtn->SetModalResult(mrOk);
  CanBtn->SetModalResult(mrCancel);
  CanBtn->SetCancel(true);
  GrpE->SetText(Setup.j_edition ? "QUENDAR-J" : "QUENDAR-RZ7");
  OnShow = [this] { FormShow(); };
  OkBtn->OnClick = [this] { OkBtnClick(); };
  GrpLB->OnClick = [this] { GrpLBClick(); };
  HlpBtn->OnClick = [this] { HlpBtnClick(); };
}

void TEntDlg::FormShow() {
  IconE->SetText(MainSt.PrjName);
  GrpE->SetText(Setup.j_edition ? "QUENDAR-J" : "QUENDAR-RZ7");
  std::vector<std::string> groups;
  std::vector<HostDirEntry> entries;
  const std::string programs = Setup.windows_nt ? lnk_all_users_programs() : lnk_user_programs();
  if (host_list_directory(programs + "\\*", entries))
    for (const HostDirEntry& e : entries)
      if (e.is_directory && e.name != "." && e.name != "..") groups.push_back(e.name);
  GrpLB->SetItems(groups);
}

void TEntDlg::GrpLBClick() {
  const int index = GrpLB->ItemIndex();
  if (index >= 0) GrpE->SetText(GrpLB->Item(index));
}

void TEntDlg::OkBtnClick() { lnk_create(GrpE->Text(), IconE->Text()); }

void TEntDlg::HlpBtnClick() { owl_win_help(MainSt.HelpFile, kHelpContext, kEntryTopic); }
