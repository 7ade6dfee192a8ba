// The menu entry for a project: a freedesktop ".desktop" entry in a folder of
// the desktop's application menu that starts the family's debugger in the
// project folder.
#pragma once

#include <string>
#include <string_view>

#include "platform/vcl/vcl_forms.h"

class TEntDlg : public vcl::TForm {
 public:
  TEntDlg();
  vcl::TEdit* GrpE;
  vcl::TListBox* GrpLB;
  vcl::TButton* OkBtn;
  vcl::TButton* CanBtn;
  vcl::TButton* HlpBtn;
  vcl::TEdit* IconE;
  vcl::TLabel* Lshortcut;
  vcl::TLabel* Lfolder;

  void FormShow();
  void OkBtnClick();
  void GrpLBClick();
  void HlpBtnClick();
};

// The menu folders: the one for all users first ($XDG_DATA_DIRS' first
// folder + "/applications"), the user's own second ($XDG_DATA_HOME, else
// ~/.local/share, + "/applications"). System form.
std::string lnk_all_users_programs();
std::string lnk_user_programs();
// The entry's text: runs `program` (host path) in `folder` (host path) with
// no arguments, named `name` (UTF-8).
std::string lnk_desktop_entry(std::string_view name, std::string_view program, std::string_view folder);
// Makes the entry `name` in the menu folder `group` (CP932) and opens the
// group's folder with xdg-open. True when the entry was written. A name or
// group that would leave the menu folder is refused.
bool lnk_create(std::string_view group, std::string_view name);
