// TMDIApp: the main window and the main menu's bar, layout and window commands.
#include "halv80/gui/app_mdi.h"

#include <string>

#include "halv80/gui/app_heartbeat.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/win_about.h"
#include "halv80/gui/win_code.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/res_menus.h"
#include "platform/host/host_dir.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_system.h"

namespace {

constexpr u32 kAppIcon = 100;

constexpr ResponseEntry kAppTable[] = {
    EvCommand<&TMDIApp::CmHint>(419),
    EvCommandEnable<&TMDIApp::CeHint>(419),
    EvCommand<&TMDIApp::CmToolBarDirection>(420),
    EvCommand<&TMDIApp::CmWindowBarDirection>(421),
    EvCommand<&TMDIApp::CmWindowResize>(405),
    EvCommandEnable<&TMDIApp::CeWindowResize>(405),
    EvCommand<&TMDIApp::CmLoadLayout1>(424),
    EvCommand<&TMDIApp::CmLoadLayout2>(425),
    EvCommand<&TMDIApp::CmLoadLayout3>(426),
    EvCommand<&TMDIApp::CmSaveLayout1>(427),
    EvCommand<&TMDIApp::CmSaveLayout2>(428),
    EvCommand<&TMDIApp::CmSaveLayout3>(429),
    EvCommand<&TMDIApp::CmForceBreak>(416),
    EvCommandEnable<&TMDIApp::CeForceBreak>(416),
    EvCommand<&TMDIApp::CmHeartbeatTimer>(401),
    EvCommand<&TMDIApp::CmAbout>(530),
    EvCommand<&TMDIApp::CmActivate<0>>(531),
    EvCommand<&TMDIApp::CmActivate<1>>(532),
    EvCommand<&TMDIApp::CmActivate<2>>(533),
    EvCommand<&TMDIApp::CmActivate<3>>(534),
    EvCommand<&TMDIApp::CmActivate<4>>(535),
    EvCommand<&TMDIApp::CmActivate<5>>(536),
    EvCommand<&TMDIApp::CmActivate<6>>(537),
    EvCommand<&TMDIApp::CmActivate<7>>(538),
    EvCommand<&TMDIApp::CmActivate<8>>(539),
    EvCommand<&TMDIApp::CmActivate<10>>(541),
    EvCommand<&TMDIApp::CmActivate<11>>(542),
    EvCommand<&TMDIApp::CmActivate<12>>(543),
};

TDecorationSpot bar_spot(u32 vertical) { return vertical ? TDecorationSpot::Left : TDecorationSpot::Top; }

}  // namespace

TMDIApp* app_current() { return dynamic_cast<TMDIApp*>(TApplication::Current()); }

const ResponseEntry* TMDIApp::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kAppTable, message, id)) return e;
  return QWinApp::Find(message, id);
}

void TMDIApp::AddEnablerIds(std::vector<u32>& ids) { owl_table_enabler_ids(kAppTable, ids); }

void TMDIApp::InitMainWindow() {
  EnableCtl3d(true);
  res_register_menus();
  client = new TMDICltNEW;
  frame = new QN_Frame(kInstanceName, kMenuMain, *client, true);
  SetMainWindow(frame);
  frame->SetMenuDescr(kMenuMain, kMainMenuGroups);
  frame->SetIcon(kAppIcon);
  hintMode = 2;

  // bits of ToolBarFlags: 0 and 1 the tool bar's shown and vertical, 2 and 3 the window bar's
  toolBarVertical() = (App.ToolBarFlags >> 1) & 1;
  windowBarVertical() = (App.ToolBarFlags >> 3) & 1;
  bars[0] = app_build_tool_bar(frame, toolBarVertical() != 0);
  bars[1] = app_build_window_bar(frame, windowBarVertical() != 0);
  for (int i = 0; i < 2; ++i) {
    frame->Insert(*bars[i], bar_spot(barVertical[i]));
    if (!(App.ToolBarFlags & (1u << (2 * i)))) bars[i]->ShowWindow(SW_HIDE);
  }

  auto* status = new TQNStatusBar(frame);
  App.StatusBar = status;
  if (App.StatusBarShown == 0) status->ShowWindow(SW_HIDE);
  frame->Insert(*status, TDecorationSpot::Bottom);

  openFileData.flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_SHOWHELP;
}

void TMDIApp::CmHint() {
  hintMode = hintMode == 1 ? 2 : 1;
  for (TControlBar* bar : bars)
    if (bar) bar->SetTipsShown(hintMode == 2);
  if (auto* status = dynamic_cast<TQNStatusBar*>(App.StatusBar); status && status->hintShowing)
    status->SetHintText({});
}

void TMDIApp::CeHint(TCommandEnabler& ce) { ce.SetCheck(hintMode == 2 ? 1 : 0); }

void TMDIApp::InsertBar(int bar) {
  if (bars[bar] && frame) frame->Insert(*bars[bar], bar_spot(barVertical[bar]));
}

void TMDIApp::ToggleBarDirection(int bar) {
  if (bar < 0 || bar > 1 || !bars[bar]) return;
  bool visible[2];
  for (int i = 0; i < 2; ++i) visible[i] = bars[i] && bars[i]->IsWindowVisible();
  barVertical[bar] ^= 1;
  bars[bar]->SetVertical(barVertical[bar] != 0);
  // each bar that was shown goes in again, the tool bar first
  for (int i = 0; i < 2; ++i)
    if (visible[i]) InsertBar(i);
}

void TMDIApp::CmWindowResize() {
  Frame.WindowResizeMode ^= 1;
  for (u16 i = 0; i < kChildCount; ++i) Frame.Children.layout[i].keepSize = 0;
}

void TMDIApp::CeWindowResize(TCommandEnabler& ce) { ce.SetCheck(Frame.WindowResizeMode & 1); }

void TMDIApp::CmForceBreak() { ui_post_run_action(RunAction::ForceBreak); }

void TMDIApp::CeForceBreak(TCommandEnabler& ce) {
  ce.Enable((::Run.ExecutionState & kExecRunning) != 0 || (Co.WaitKind & kWaitBitBusy) != 0);
  Hb.HeartbeatEnable = 1;  // the commands now match the engine's state
}

void TMDIApp::CmHeartbeatTimer() {
  auto* code = dynamic_cast<TCODEWindow*>(Frame.Children.windows[kChildCode]);
  if (!code) return;
  if (code->timerActive == 0) {
    code->SetTimer(kHeartbeatTimerId, kHeartbeatPeriodMs);
    code->timerActive = 1;
  } else {
    code->KillTimer(kHeartbeatTimerId);
    code->timerActive = 0;
  }
  Frame.HeartbeatRunning = code->timerActive;
}

void TMDIApp::CmAbout() {
  TAboutDlg about(frame, 100);
  about.Execute();
}

void app_load_program(std::string_view name, int flag) {
  const std::string text = sup_load_startup_program(name, flag != 0);
  if (text.empty()) return;
  host_message_box(host_utf8_to_cp932("ﾛｰﾄﾞｴﾗｰ"), text, kBoxIconExclamation | 0x2000);
}

bool app_start_setup_program(bool marker) {
  std::string project = host_current_dir();
  if (!project.empty() && project.back() != '\\') project += '\\';
  project += std::string(kProjectFileName);
  const std::string line = marker ? "RZ7SET.EXE /(80) \"" + project + "\"" : "RZ7SET.EXE \"" + project + "\"";
  return owl_start_process(line, Sw.ProgramFolder) > 0;
}
