// The monitor build dialog: prepares a build each time it becomes active,
// runs the whole build on its timer's first tick (mon_build.h), shows what
// happened in its memo, and offers the monitor source's editor after a
// failure and the listing afterwards.
#pragma once

#include "platform/vcl/vcl_forms.h"

class TMkMonDlg : public vcl::TForm {
 public:
  TMkMonDlg();

  vcl::TButton* OkBtn;
  vcl::TMemo* Mes;
  vcl::TTimer* ChkTim;
  vcl::TButton* EBtn;
  vcl::TButton* LBtn;

  // The main form's edit-monitor command; the program sets it when it makes
  // its forms.
  vcl::TNotifyEvent OnEditMonitor;

  void FormActivate();
  void ChkTimTimer();
  void EBtnClick();
  void LBtnClick();
  // The command line that opens the listing in the user's editor.
  static std::string ListingCommand();
};

// The timer's interval, milliseconds.
constexpr int kMkMonTick = 50;
