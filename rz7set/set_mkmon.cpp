// The monitor build dialog.
#include "rz7set/set_mkmon.h"

#include "platform/owl/owl_system.h"
#include "rz7set/mon_build.h"
#include "rz7set/set_state.h"

using namespace vcl;

namespace {
constexpr std::string_view kCrLf = "\r\n";
constexpr u32 kMonitorImageId = 13;
}  // namespace

TMkMonDlg::TMkMonDlg() {
  OkBtn = Add<TButton>();
  Mes = Add<TMemo>();
  ChkTim = Add<TTimer>();
  EBtn = Add<TButton>();
  LBtn = Add<TButton>();
  SetCaption(set_res_string(7025));
  OkBtn->SetCaption(set_res_string(7054));
  OkBtn->SetDefault(true);
  OkBtn->SetModalResult(mrOk);
  OkBtn->SetEnabled(false);
  Mes->SetReadOnly(true);
  ChkTim->SetInterval(kMkMonTick);
  ChkTim->SetEnabled(false);
  EBtn->SetCaption("&Edit");
  EBtn->SetVisible(false);
  LBtn->SetCaption(set_res_string(5029));

  Mes->SetBounds(12, 12, 456, 220);
  OkBtn->SetBounds(12, 244, 120, 28);
  EBtn->SetBounds(236, 244, 112, 28);
  LBtn->SetBounds(356, 244, 112, 28);
  SetClientSize(480, 284);

  OnActivate = [this] { FormActivate(); };
  ChkTim->OnTimer = [this] { ChkTimTimer(); };
  EBtn->OnClick = [this] { EBtnClick(); };
  LBtn->OnClick = [this] { LBtnClick(); };
}

void TMkMonDlg::FormActivate() {
  OkBtn->SetEnabled(false);
  OkBtn->SetCaption(set_res_string(7054));
  EBtn->SetVisible(false);
  LBtn->SetVisible(false);
  mon_choose_mode();
  const std::string image = set_res_string(kMonitorImageId);
  Mes->SetText(set_format(set_res_string(5004), image) + std::string(kCrLf));
  ChkTim->SetEnabled(true);
}

void TMkMonDlg::ChkTimTimer() {
  ChkTim->SetEnabled(false);
  if (!Showing()) return;  // closed before its first tick: nothing is built
  std::string memo;
  const bool built = mon_build(memo);
  const std::string image = set_res_string(kMonitorImageId);
  OkBtn->SetEnabled(true);
  memo += kCrLf;
  if (built) {
    memo += set_format(set_res_string(5006), image);
    OkBtn->SetCaption(set_res_string(7026));
  } else {
    memo += set_format(set_res_string(5012), image);
    OkBtn->SetCaption(set_res_string(5005));
    EBtn->SetVisible(true);
  }
  Mes->Append(memo);
  LBtn->SetVisible(true);
}

void TMkMonDlg::EBtnClick() {
  if (OnEditMonitor) OnEditMonitor();
}

std::string TMkMonDlg::ListingCommand() {
  const std::string editor = MainSt.EditorName.empty() ? std::string("notepad.exe") : MainSt.EditorName;
  return set_format(MainSt.EditorFmt, editor, MainSt.PrjDir, mon_listing_name());
}

void TMkMonDlg::LBtnClick() {
  const std::string command = ListingCommand();
  if (owl_start_process(command, {}) < 0) set_msg_box(5003, command.c_str(), nullptr, kMsgError);
}
