// TMDIApp: the main window and the main menu's bar, layout and window commands.
#include "halv80/gui/app_mdi.h"

#include <string>

#include "halv80/gui/app_heartbeat.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/win_about.h"
#include "halv80/gui/win_code.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/res_menus.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_requests.h"
#include "halv80/symbols/dbi_load.h"
#include "platform/host/host_dir.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_system.h"

AppDialogHooks AppDialogs;

namespace {

constexpr u32 kAppIcon = 100;
constexpr u32 kOfnLongNames = 0x00200000;  // the open dialog's long-file-names flag
// The help engine's commands.
constexpr u32 kHelpContext = 1;
constexpr u32 kHelpOnHelp = 4;
constexpr u32 kHelpPartialKey = 0x105;
constexpr u32 kHelpContentsContext = 1;
constexpr unsigned kBoxIconQuestion = 0x20;

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
    EvCommand<&TMDIApp::CmLoad>(406),
    EvCommandEnable<&TMDIApp::CeLoad>(406),
    EvCommand<&TMDIApp::CmReload>(407),
    EvCommandEnable<&TMDIApp::CeReload>(407),
    EvCommand<&TMDIApp::CmGo>(411),
    EvCommandEnable<&TMDIApp::CeRun>(411),
    EvCommand<&TMDIApp::CmCome>(412),
    EvCommandEnable<&TMDIApp::CeRunAtCursor>(412),
    EvCommand<&TMDIApp::CmTrace>(413),
    EvCommandEnable<&TMDIApp::CeRun>(413),
    EvCommand<&TMDIApp::CmStep>(414),
    EvCommandEnable<&TMDIApp::CeRun>(414),
    EvCommand<&TMDIApp::CmReturn>(415),
    EvCommandEnable<&TMDIApp::CeRun>(415),
    EvCommand<&TMDIApp::CmSoftwareBreak>(417),
    EvCommandEnable<&TMDIApp::CeRunAtCursor>(417),
    EvCommand<&TMDIApp::CmEventSetting>(510),
    EvCommandEnable<&TMDIApp::CeEventSetting>(510),
    EvCommand<&TMDIApp::CmHardwareBreak>(465),
    EvCommandEnable<&TMDIApp::CeHardwareBreak>(465),
    EvCommand<&TMDIApp::CmTraceMode>(481),
    EvCommandEnable<&TMDIApp::CeTraceMode>(481),
    EvCommand<&TMDIApp::CmEnvironmentSetup>(511),
    EvCommand<&TMDIApp::CmColour>(400),
    EvCommandEnable<&TMDIApp::CeColour>(400),
    EvCommand<&TMDIApp::CmToolBarSettings>(402),
    EvCommandEnable<&TMDIApp::CeToolBarSettings>(402),
    EvCommand<&TMDIApp::CmFont>(403),
    EvCommandEnable<&TMDIApp::CeFont>(403),
    EvCommand<&TMDIApp::CmOptions>(404),
    EvCommandEnable<&TMDIApp::CeOptions>(404),
    EvCommand<&TMDIApp::CmHelpContents>(486),
    EvCommand<&TMDIApp::CmHelpKeyword>(487),
    EvCommand<&TMDIApp::CmHelpOnHelp>(488),
    EvCommand<&TMDIApp::CmForceBreak>(416),
    EvCommandEnable<&TMDIApp::CeForceBreak>(416),
    EvCommand<&TMDIApp::CmHeartbeatTimer>(401),
    EvCommand<&TMDIApp::CmAbout>(530),
    EvCommand<&TMDIApp::CmActivate<0>>(531),
    EvCommandEnable<&TMDIApp::CeActivate<0>>(531),
    EvCommand<&TMDIApp::CmActivate<1>>(532),
    EvCommandEnable<&TMDIApp::CeActivate<1>>(532),
    EvCommand<&TMDIApp::CmActivate<2>>(533),
    EvCommandEnable<&TMDIApp::CeActivate<2>>(533),
    EvCommand<&TMDIApp::CmActivate<3>>(534),
    EvCommandEnable<&TMDIApp::CeActivate<3>>(534),
    EvCommand<&TMDIApp::CmActivate<4>>(535),
    EvCommandEnable<&TMDIApp::CeActivate<4>>(535),
    EvCommand<&TMDIApp::CmActivate<5>>(536),
    EvCommandEnable<&TMDIApp::CeActivate<5>>(536),
    EvCommand<&TMDIApp::CmActivate<6>>(537),
    EvCommandEnable<&TMDIApp::CeActivate<6>>(537),
    EvCommand<&TMDIApp::CmActivate<7>>(538),
    EvCommandEnable<&TMDIApp::CeActivate<7>>(538),
    EvCommand<&TMDIApp::CmActivate<8>>(539),
    EvCommandEnable<&TMDIApp::CeActivate<8>>(539),
    EvCommand<&TMDIApp::CmActivate<10>>(541),
    EvCommandEnable<&TMDIApp::CeActivate<10>>(541),
    EvCommand<&TMDIApp::CmActivate<11>>(542),
    EvCommandEnable<&TMDIApp::CeActivate<11>>(542),
    EvCommand<&TMDIApp::CmActivate<12>>(543),
    EvCommandEnable<&TMDIApp::CeActivate<12>>(543),
};

TDecorationSpot bar_spot(u32 vertical) { return vertical ? TDecorationSpot::Left : TDecorationSpot::Top; }

// Neither is the target running nor is the command side busy.
bool engine_free() { return (::Run.ExecutionState & kExecRunning) == 0 && (Co.WaitKind & kWaitBitBusy) == 0; }

bool is_code_window(u16 index) { return index == kChildCode || index == kChildCode1; }

TCODEWindow* code_window(u16 index) { return dynamic_cast<TCODEWindow*>(Frame.Children.windows[index]); }

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

void TMDIApp::CmLoad() {
  win_close_inspect_windows();
  if (!AppDialogs.loadDialog || !frame) return;
  openFileData.fileName.clear();
  if (Sw.LongNames) openFileData.flags |= kOfnLongNames;
  const u16 filter = Sw.ToolchainKind == 3 ? 1 : Sw.ToolchainKind == 4 ? 2 : 0;
  openFileData.filter = std::string(res_string(u16(kStrLoadFilter + filter)));
  if (Sw.CurrentDirectory[0] != '\0') openFileData.initialDir = Sw.CurrentDirectory;
  // the dialog may move the current folder; the engine's names are relative to it
  const std::string folder = host_current_dir();
  const bool ok = AppDialogs.loadDialog(*frame, openFileData);
  host_set_current_dir(folder);
  if (ok && !openFileData.fileName.empty()) app_load_program(openFileData.fileName, 0);
}

void TMDIApp::CmReload() {
  win_close_inspect_windows();
  if (Dbi.ProgramName[0] == '\0') return;
  app_load_program(std::string(Dbi.ProgramName), 1);
}

void TMDIApp::CeLoad(TCommandEnabler& ce) { ce.Enable(engine_free() && AppDialogs.loadDialog != nullptr); }

void TMDIApp::CeReload(TCommandEnabler& ce) { ce.Enable(engine_free() && Dbi.ProgramName[0] != '\0'); }

void TMDIApp::CeRun(TCommandEnabler& ce) {
  ce.Enable(Sw.NoMonitorMode == 0 && engine_free() && Frame.Children.inspectChainHead == nullptr);
}

void TMDIApp::CeRunAtCursor(TCommandEnabler& ce) {
  ce.Enable(Sw.NoMonitorMode == 0 && engine_free() && Frame.Children.inspectChainHead == nullptr &&
            is_code_window(win_active_index()));
}

void TMDIApp::CmEventSetting() {
  if (!AppDialogs.eventDialog || !frame || !AppDialogs.eventDialog(*frame)) return;
  Co.Request.p1 = kBreakRowNoChange;  // nothing changes; the break list is redrawn
  ui_post_pseudo_key(PseudoKey::BreakWindowAction);
}

void TMDIApp::CeEventSetting(TCommandEnabler& ce) {
  ce.Enable(::Run.TraceHwLevel != 0 && AppDialogs.eventDialog != nullptr);
}

bool TMDIApp::ChildAnswers(u16 index, u32 id) {
  TMDIChild* w = Frame.Children.windows[index];
  return w && w->Find(WM_COMMAND, id) != nullptr;
}

void TMDIApp::ForwardToChild(u16 index, u32 id) {
  TMDIChild* w = Frame.Children.windows[index];
  if (!w) return;
  if (const ResponseEntry* e = w->Find(WM_COMMAND, id)) {
    OwlMessage m{WM_COMMAND, id, 0};
    e->dispatch(*w, m);
  }
}

void TMDIApp::CmEnvironmentSetup() {
  if (host_message_box("QUENDAR", res_string(kStrSetupQuestion), kBoxIconQuestion | kBoxOkCancel | kTaskModal) !=
      kBoxAnswerOk)
    return;
  Frame.ExitWithoutAsking = 1;
  sup_set_confirm_flag(1);
  if (frame) frame->PostMessage(WM_CLOSE);
}

void TMDIApp::CmColour() {
  if (AppDialogs.colourDialog && frame) AppDialogs.colourDialog(*frame);
}

void TMDIApp::CmToolBarSettings() {
  if (!AppDialogs.toolBarDialog || !frame || !AppDialogs.toolBarDialog(*frame)) return;
  if (toolBar()) {
    app_fill_tool_bar(*toolBar());
    toolBar()->Invalidate(true);
  }
}

void TMDIApp::CmFont() {
  TMDIChild* active = Frame.Children.windows[win_active_index()];
  if (!AppDialogs.fontDialog || !frame || !active) return;
  AppDialogs.fontDialog(*frame, *active);
}

void TMDIApp::CeFont(TCommandEnabler& ce) {
  ce.Enable(AppDialogs.fontDialog != nullptr && Frame.Children.windows[win_active_index()] != nullptr);
}

void TMDIApp::CmOptions() {
  if (RequestHooks.optionsDialog && frame) RequestHooks.optionsDialog(frame);
}

void TMDIApp::CeOptions(TCommandEnabler& ce) { ce.Enable(RequestHooks.optionsDialog != nullptr); }

void TMDIApp::CmHelpContents() { owl_win_help(Frame.HelpFilePath, kHelpContext, kHelpContentsContext); }

void TMDIApp::CmHelpKeyword() { owl_win_help(Frame.HelpFilePath, kHelpPartialKey, 0); }

// There is no help viewer's own help here: the debugger's help page opens at its top.
void TMDIApp::CmHelpOnHelp() { owl_win_help(Frame.HelpFilePath, kHelpOnHelp, 0); }

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
  if (!text.empty()) host_message_box(res_string(kStrLoadErrorCaption), text, kBoxIconExclamation | kTaskModal);
  // loaded or not, the code windows start over on the engine's new listing:
  // the primary one shows the pane live, neither keeps a fix mode
  TCODEWindow* primary = code_window(kChildCode);
  if (primary && !primary->IsCurrent()) primary->MakeCurrent();
  if (primary) primary->ProgramLoaded();
  ui_post_pseudo_key(PseudoKey::ListingUpdate);
  for (u16 i : {kChildCode, kChildCode1})
    if (TCODEWindow* w = code_window(i)) w->RepaintAll();
}

bool app_start_setup_program(bool marker) {
  std::string project = host_current_dir();
  if (!project.empty() && project.back() != '\\') project += '\\';
  project += std::string(kProjectFileName);
  const std::string line = marker ? "RZ7SET.EXE /(80) \"" + project + "\"" : "RZ7SET.EXE \"" + project + "\"";
  return owl_start_process(line, Sw.ProgramFolder) > 0;
}
