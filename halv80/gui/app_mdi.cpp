// TMDIApp: the main window and the main menu's message map.
#include "halv80/gui/app_mdi.h"

#include "halv80/gui/app_main.h"

namespace {

constexpr u32 kMainMenu = 100;
constexpr u32 kAppIcon = 100;
// Menu descriptor groups: File, Edit, Container, Object, Window, Help.
constexpr int kMainMenuGroups[6] = {1, 2, 2, 0, 2, 1};

}  // namespace

void TMDIApp::InitMainWindow() {
  EnableCtl3d(true);
  client = new TMDICltNEW;
  frame = new QN_Frame(kInstanceName, kMainMenu, *client, true);
  SetMainWindow(frame);
  frame->SetMenuDescr(kMainMenu, kMainMenuGroups);
  frame->SetIcon(kAppIcon);
  hintMode = 2;

  // bits of ToolBarFlags: 0 and 1 the tool bar's shown and vertical, 2 and 3 the window bar's
  toolBarVertical() = (App.ToolBarFlags >> 1) & 1;
  windowBarVertical() = (App.ToolBarFlags >> 3) & 1;
  for (int i = 0; i < 2; ++i) {
    bars[i] = new TControlBar(frame, barVertical[i] != 0);
    frame->Insert(*bars[i], barVertical[i] ? TDecorationSpot::Left : TDecorationSpot::Top);
    if (!(App.ToolBarFlags & (1u << (2 * i)))) bars[i]->ShowWindow(SW_HIDE);
  }

  auto* status = new TStatusBar(frame);
  App.StatusBar = status;
  if (App.StatusBarShown == 0) status->ShowWindow(SW_HIDE);
  frame->Insert(*status, TDecorationSpot::Bottom);

  openFileData.flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_SHOWHELP;
}
