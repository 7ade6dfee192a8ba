// The new-project dialog, the folder picker and the template copy.
#include "rz7set/set_newprj.h"

#include <algorithm>

#include "platform/host/host_dir.h"
#include "platform/host/host_file.h"
#include "platform/owl/owl_system.h"
#include "rz7set/set_mainform.h"
#include "rz7set/set_project.h"
#include "rz7set/set_state.h"

using namespace vcl;

namespace {

constexpr u32 kHelpContext = 1;
constexpr u32 kNewProjectTopic = 4;

// Does something of this name exist (a file, a folder or anything else)?
bool exists(const std::string& path) {
  if (host_is_directory(path)) return true;
  const std::size_t cut = path.find_last_of('\\');
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  if (name.empty() || name.find_first_of("*?") != std::string::npos) return false;
  std::vector<HostDirEntry> entries;
  return host_list_directory(path, entries) && !entries.empty();
}

bool file_exists(const std::string& path) {
  const int file = host_file_open(path, kFileModeRead);
  if (file == kNoFile) return false;
  host_file_close(file);
  return true;
}

}  // namespace

TNewPrj::TNewPrj() {
  Lpn = Add<TLabel>();
  PrjNameE = Add<TEdit>();
  Lpi = Add<TLabel>();
  PrjDirE = Add<TEdit>();
  bBtn = Add<TButton>();
  OkBtn = Add<TButton>();
  CanBtn = Add<TButton>();
  HlpBtn = Add<TButton>();
  SetCaption(set_res_string(7035));
  Lpn->SetCaption(set_res_string(7037));
  Lpi->SetCaption(set_res_string(7038));
  OkBtn->SetCaption(set_res_string(7036));
  CanBtn->SetCaption(set_res_string(7001));
  HlpBtn->SetCaption(set_res_string(7002));
  bBtn->SetCaption("..");
  Lpn->SetFocusControl(PrjNameE);
  Lpi->SetFocusControl(PrjDirE);
  Lpn->SetBounds(12, 10, 300, 20);
  PrjNameE->SetBounds(12, 32, 300, 24);
  Lpi->SetBounds(12, 64, 300, 20);
  PrjDirE->SetBounds(12, 86, 300, 24);
  bBtn->SetBounds(318, 86, 30, 24);
  OkBtn->SetBounds(12, 124, 100, 28);
  CanBtn->SetBounds(128, 124, 100, 28);
  HlpBtn->SetBounds(244, 124, 100, 28);
  SetClientSize(360, 164);
  OkBtn->SetDefault(true);
  OkBtn->SetModalResult(mrOk);
  CanBtn->SetModalResult(mrCancel);
  CanBtn->SetCancel(true);
  OkBtn->OnClick = [this] { OkBtnClick(); };
  PrjNameE->OnChange = [this] { PrjNameEChange(); };
  PrjDirE->OnChange = [this] { PrjDirEExit(); };
  bBtn->OnClick = [this] { bBtnClick(); };
  HlpBtn->OnClick = [this] { HlpBtnClick(); };
  SetBase(MainSt.DefPrjDir);
  OkBtn->SetEnabled(false);
}

void TNewPrj::SetBase(const std::string& base) {
  PrjBase = base;
  PrjDirE->SetText(base);
}

void TNewPrj::PrjNameEChange() {
  const std::string name = PrjNameE->Text();
  OkBtn->SetEnabled(!name.empty());
  std::string folder = PrjBase;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  PrjDirE->SetText(folder + name);
}

void TNewPrj::PrjDirEExit() { PrjBase = PrjDirE->Text(); }

void TNewPrj::bBtnClick() {
  if (!host_is_directory(PrjBase)) PrjBase.clear();
  Forms.DirSel->SetDirectory(PrjBase);
  if (Forms.DirSel->ShowModal() != mrOk) return;
  SetBase(Forms.DirSel->DirEdit->Text());
}

void TNewPrj::HlpBtnClick() { owl_win_help(MainSt.HelpFile, kHelpContext, kNewProjectTopic); }

void TNewPrj::OkBtnClick() {
  const std::string folder = PrjDirE->Text();
  if (folder.empty()) {
    set_msg_box(5047, nullptr, nullptr, kMsgInfo);
    return;
  }
  if (!host_is_directory(folder)) {
    if (exists(folder)) {
      set_msg_box(5014, folder.c_str(), nullptr, kMsgError);
      return;
    }
    if (set_msg_box(5013, folder.c_str(), nullptr, kMsgQuestion) != kAnswerYes) return;
    if (!host_make_directory(folder)) {
      set_msg_box(5014, folder.c_str(), nullptr, kMsgError);
      return;
    }
  }
  MainSt.PrjDir = folder;
  MainSt.PrjFile.clear();  // the new project's file is the family's name in its folder
  const std::string name = PrjNameE->Text();
  prj_copy_templates(name);
  MainSt.PrjName = name;
  set_save_project();
}

void prj_copy_templates(const std::string& name) {
  bool failed = false;
  const std::vector<u32> ids = Setup.j_edition ? std::vector<u32>{11, 14} : std::vector<u32>{11, 12, 13, 14};
  for (const u32 id : ids) {
    const std::string file = set_res_string(id);
    const std::string source = MainSt.BinDir + "\\" + file;
    const std::string target = MainSt.PrjDir + "\\" + file;
    if (!file_exists(source)) {
      set_msg_box(5020, source.c_str(), nullptr, kMsgError);
      failed = true;
      continue;
    }
    if (host_copy_file(source, target, false)) continue;
    if (set_msg_box(5000, MainSt.PrjDir.c_str(), file.c_str(), kMsgQuestion) == kAnswerYes &&
        !host_copy_file(source, target, true))
      failed = true;
  }
  if (failed) {
    set_msg_box(5021, nullptr, nullptr, kMsgError);
    return;
  }
  // the directory entry is the new project's name
  SetTexts.PrjDirValue = name;
}

TDirSel::TDirSel() {
  DirEdit = Add<TEdit>();
  DrvCB = Add<TComboBox>();
  OkBtn = Add<TButton>();
  CanBtn = Add<TButton>();
  DirLB = Add<TListBox>();
  SetCaption(set_res_string(7033));
  OkBtn->SetCaption(set_res_string(7034));
  CanBtn->SetCaption(set_res_string(7001));
  DirEdit->SetBounds(12, 10, 300, 24);
  DrvCB->SetBounds(12, 40, 300, 24);
  DirLB->SetBounds(12, 70, 300, 180);
  OkBtn->SetBounds(12, 258, 100, 28);
  CanBtn->SetBounds(128, 258, 100, 28);
  SetClientSize(324, 296);
  OkBtn->SetDefault(true);
  OkBtn->SetModalResult(mrOk);
  CanBtn->SetModalResult(mrCancel);
  CanBtn->SetCancel(true);
  DirLB->OnClick = [this] { DirLBChange(); };
  DrvCB->OnChange = [this] { SetDirectory("\\"); };
  FormCreate();
}

void TDirSel::FormCreate() {
  DrvCB->SetItems({"\\"});  // one root here, where the system has drives
  DrvCB->SetItemIndex(0);
  SetDirectory({});
}

void TDirSel::SetDirectory(const std::string& folder) {
  directory_ = folder.empty() ? host_current_dir() : host_full_path(folder);
  std::vector<HostDirEntry> entries;
  std::vector<std::string> names;
  const std::string base = directory_ == "\\" ? std::string() : directory_;
  if (host_list_directory(base + "\\*", entries))
    for (const HostDirEntry& e : entries)
      if (e.is_directory && e.name != ".") names.push_back(e.name);
  DirLB->SetItems(names);
  DirEdit->SetText(directory_);
}

void TDirSel::DirLBChange() {
  const int index = DirLB->ItemIndex();
  if (index < 0) return;
  const std::string base = directory_ == "\\" ? std::string() : directory_;
  SetDirectory(base + "\\" + DirLB->Item(index));
}
