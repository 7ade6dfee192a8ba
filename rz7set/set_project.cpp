// Project file: the setup sections. The text is read whole and ends at its
// first zero byte; the head before the first "%OPT" belongs to the debugger
// and is written back byte for byte through a temporary file and a rename.
#include "rz7set/set_project.h"

#include "platform/host/host_dir.h"
#include "platform/host/host_file.h"
#include "platform/host/host_project.h"
#include "rz7set/opt_forms.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_state.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";

// The text up to its first zero byte.
std::string_view text_part(const std::string& bytes) {
  const std::size_t nul = bytes.find('\0');
  return std::string_view(bytes).substr(0, nul);
}

// Reads the file; on failure shows the message of the failed step.
bool read_project(std::string_view path, std::string& bytes, unsigned open_message) {
  const std::string p(path);
  switch (project_read(path, bytes)) {
    case ProjectReadStatus::ok:
      return true;
    case ProjectReadStatus::open_failed:
      set_msg_box(open_message, p.c_str(), nullptr, kMsgError);
      return false;
    case ProjectReadStatus::size_failed:
      set_msg_box(5009, nullptr, nullptr, kMsgError);
      return false;
    case ProjectReadStatus::read_failed:
      set_msg_box(5008, p.c_str(), nullptr, kMsgError);
      return false;
  }
  return false;
}

// The value of section `marker`; `found` tells whether the marker is there.
std::string section_value(std::string_view text, std::string_view marker, bool& found) {
  const std::size_t at = project_find(text, marker);
  found = at != std::string_view::npos;
  return found ? std::string(project_line_after(text, at, marker.size())) : std::string();
}

bool file_exists(const std::string& path) {
  const int file = host_file_open(path, kFileModeRead);
  if (file == kNoFile) return false;
  host_file_close(file);
  return true;
}

// The file to rewrite: the one that was read when it is in the project
// folder, else the family's file name in that folder (a new project).
std::string save_path() {
  if (!MainSt.PrjFile.empty() && prj_folder_of(MainSt.PrjFile) == MainSt.PrjDir) return MainSt.PrjFile;
  return MainSt.PrjDir + "\\" + prj_file_name();
}

}  // namespace

std::string prj_file_name() { return set_res_string(14); }

std::string prj_folder_of(std::string_view path) {
  std::string full = host_full_path(path);
  const std::size_t cut = full.find_last_of('\\');
  if (cut == std::string::npos) return std::string();
  full.resize(cut == 0 ? 1 : cut);  // a file in the root keeps the root
  return full;
}

bool prj_save() {
  if (MainSt.PrjDir.empty()) return true;
  const std::string path = save_path();
  if (SetTexts.PrjDirValue.empty()) SetTexts.PrjDirValue = "@Current";
  if (Opt.OptDlg.opt_text.empty()) Opt.OptDlg.opt_text = "-TAB8";
  const std::string& name = MainSt.PrjName.empty() ? std::string("PRJNAME") : MainSt.PrjName;
  std::string tail;
  tail.append("%OPT").append(kCrLf).append(Opt.OptDlg.opt_text).append(kCrLf);
  tail.append("%DIR").append(kCrLf).append(SetTexts.PrjDirValue).append(kCrLf);
  tail.append("%PRJ").append(kCrLf).append(name);
  if (!SetTexts.PrjCpuValue.empty()) tail.append(kCrLf).append("%CPU").append(kCrLf).append(SetTexts.PrjCpuValue);
  tail.append(kCrLf).append("%END").append(kCrLf);
  // The head is copied a piece at a time: a large file takes the time its
  // bytes take, never all of the memory.
  switch (project_rewrite_tail(path, "%OPT", tail)) {
    case ProjectTailStatus::ok:
      return true;
    case ProjectTailStatus::open_failed:
      set_msg_box(5001, path.c_str(), nullptr, kMsgError);
      return false;
    case ProjectTailStatus::read_failed:
      set_msg_box(5008, path.c_str(), nullptr, kMsgError);
      return false;
    case ProjectTailStatus::no_marker:
      set_msg_box(5009, nullptr, nullptr, kMsgError);
      return false;
    case ProjectTailStatus::write_failed:
      set_msg_box(5016, path.c_str(), nullptr, kMsgError);
      return false;
  }
  return false;
}

bool prj_load(std::string_view path) {
  std::string bytes;
  if (!read_project(path, bytes, 5007)) return false;
  const std::string_view text = text_part(bytes);
  bool found = false;
  const std::string options = section_value(text, "%OPT", found);
  const std::string dir = section_value(text, "%DIR", found);
  const bool dir_found = found;
  const std::string name = section_value(text, "%PRJ", found);
  const std::string cpu = section_value(text, "%CPU", found);

  const CpuAlias* row = set_find_alias(cpu);
  if (row && Setup.cpu_family == 0) {
    Setup.cpu_family = row->family;
    set_read_settings();
  } else if (row && row->family != Setup.cpu_family) {
    set_msg_box(5028, nullptr, nullptr, kMsgError);
    return false;
  } else if (!row && Setup.cpu_family == 0) {
    set_msg_box(5027, nullptr, nullptr, kMsgError);
    return false;
  }

  OptSet set;
  if (!opt_set_of(Setup.cpu_family, set)) return false;  // every family of the table has a set
  std::string work = options;
  FamilyOptions family;
  CommonOptions common;
  if (!opt_family_parse(set, work, family) ||
      !opt_parse_common(work, common.deb_size, common.mac_size, common.ext, common.tab, common.src_path,
                        common.force)) {
    const std::string p(path);
    set_msg_box(5015, p.c_str(), nullptr, kMsgError);
    return false;
  }
  opt_make_saved(common);  // the dialog shows what the next save writes
  OptFormModel& form = opt_form(set);
  form.family = family;
  form.common = common;
  opt_copy_common_to_base(set);
  opt_update_option(set);

  if (dir_found) SetTexts.PrjDirValue = dir;  // a missing %DIR keeps the earlier entry
  MainSt.PrjName = name;
  MainSt.PrjDir = prj_folder_of(path);
  MainSt.PrjFile = host_full_path(path);
  return true;
}

int prj_check_files(std::string_view folder) {
  Setup.no_monitor_source = false;
  bool error = false;
  const std::string base = std::string(folder) + "\\";
  for (u32 id : {11u, 12u, 13u, 14u}) {
    const std::string path = base + set_res_string(id);
    if (file_exists(path)) continue;
    if (id == 12) {
      Setup.no_monitor_source = true;
      continue;
    }
    if (id == 13 && Setup.no_monitor_source) continue;
    set_msg_box(5020, path.c_str(), nullptr, kMsgError);
    error = true;
  }
  if (Setup.j_edition) Setup.no_monitor_source = true;
  if (error) return set_msg_box(5024, nullptr, nullptr, kMsgErrorYesNo);
  return kAnswerYes;
}
