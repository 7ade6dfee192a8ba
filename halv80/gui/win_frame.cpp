// QN_Frame: start-up checks, the command side's start-up, the child windows
// from the saved layout, the heartbeat, the exit question, the layout save and
// the command side's exit path.
#include "halv80/gui/win_frame.h"

#include <algorithm>
#include <cstring>

#include "halv80/engine/emu_startup.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/win_side.h"
#include "halv80/gui/app_main.h"
#include "halv80/gui/app_bars.h"
#include "halv80/gui/app_mdi.h"
#include "halv80/gui/gui_engine.h"
#include "halv80/gui/prj_layout.h"
#include "halv80/gui/res_menus.h"
#include "halv80/gui/res_strings.h"
#include "halv80/version.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/owl/owl_app.h"
#include "rz7bios/rz7bios.h"

FrameState Frame;
FrameHooks FrameStartHooks;

namespace {

constexpr u32 kHeartbeatTimer = 1;
constexpr u32 kHeartbeatMs = 55;
constexpr int kExitPathEntries = 10;
constexpr std::string_view kHelpFile = "halv80_help.html";  // the help page, shipped beside the program
constexpr std::size_t kHelpPathMax = 255;
constexpr int kBiosWorkSize = 1046;
constexpr int kDriverArgSize = 416;
constexpr u16 kMsgBiosWorkBase = 850;

ChildFactory Factories[kChildCount]{};

constexpr ResponseEntry kFrameTable[] = {
    EvMessage<WM_SIZE, &QN_Frame::EvSize>(),
    EvMessage<WM_PAINT, &QN_Frame::EvPaint>(),
    EvMessage<WM_INITMENUPOPUP, &QN_Frame::EvInitMenuPopup>(),
    EvMessage<WM_DESTROY, &QN_Frame::EvDestroy>(),
    EvMessage<kFirstPaintMessage, &QN_Frame::EvFirstPaint>(),
    EvMessage<WM_MENUSELECT, &QN_Frame::EvMenuSelect>(),
};

void error_box(std::string_view text, unsigned style = kBoxIconError | kTaskModal) {
  host_message_box("QUENDAR ERROR", text, style);
}

// The library's checks on this platform: always the driver path of the
// NT family, which the simulated card's driver serves. 0 when they pass.
u16 check_library() {
  const int r = sup_init_bios_work_area();
  if (r != 0) return r >= 1 && r <= 8 ? u16(kMsgBiosWorkBase + r) : kMsgBiosWorkBase + 4;
  if (_NT_get_bios_workp_size() != kBiosWorkSize) return 859;
  if (_NT_get_rz7arg_size() != kDriverArgSize) return 860;
  const int f = _Q_get_qn_func();
  if (f == -1) return 807;
  if (f != 1) return 808;
  return 0;
}

// The message shown for an error the command side left: the message buffer
// without its leading line feed and blanks.
std::string startup_message_text() {
  std::string_view text;
  std::string pending;
  if (Co.PendingError != 0 && Co.Request.code != RequestCode::ErrorBox) {
    pending = sup_pending_error_text(Co.PendingError);
    text = pending;
  } else {
    text = Sup.MessageBuffer;
  }
  if (!text.empty() && text.front() == '\n') text.remove_prefix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return std::string(text);
}

// Normalises the ranks of records 0..12 and gives each window a creation
// slot (1..12). The inspect record never takes one: inspect windows are made
// on demand only, and both code windows must get a slot.
std::array<int, kHighestRank + 1> creation_order() {
  auto& layout = Frame.Children.layout;
  bool any_rank = false;
  for (u16 i = 0; i < kChildCount; ++i)
    if (i != kChildInspect && layout[i].activationRank != 0) any_rank = true;
  if (!any_rank) prj_apply_default_layout();  // no layout stored: the default one
  for (u16 i = 0; i < kChildCount; ++i) {
    if (i == kChildInspect) continue;
    if (layout[i].activationRank == 0) layout[i] = layout[kChildWatch];
    if (layout[i].activationRank > kHighestRank) layout[i].activationRank = kHighestRank;
  }
  std::array<int, kHighestRank + 1> slot;
  slot.fill(-1);
  // a window moved to a later slot is not moved again when that rank comes
  std::array<bool, kChildCount> placed{};
  for (u16 rank = 1; rank <= kHighestRank; ++rank)
    for (u16 i = 0; i < kChildCount; ++i) {
      if (i == kChildInspect || placed[i] || layout[i].activationRank != rank) continue;
      placed[i] = true;
      u16 q = rank;
      if (slot[q] != -1) {
        q = 1;
        while (q <= kHighestRank && slot[q] != -1) ++q;
        if (q > kHighestRank) continue;  // no free slot
        layout[i].activationRank = u8(q);
      }
      slot[q] = i;
    }
  return slot;
}

}  // namespace

void frame_reset_state() {
  Frame = FrameState{};
}

void win_set_child_factory(u16 index, ChildFactory factory) {
  if (index < kChildCount) Factories[index] = factory;
}

ChildFactory win_child_factory(u16 index) { return index < kChildCount ? Factories[index] : nullptr; }

QN_Frame::QN_Frame(std::string_view title, u32 menu_resource, TMDICltNEW& client, bool trackMenuSelection)
    : QMDIFrame(title, menu_resource, client, trackMenuSelection), client_(client) {
  // the help file: the current folder's, else the program folder's
  Frame.HelpFilePath = std::string(kHelpFile);
  const int help = host_file_open(kHelpFile, kFileModeRead);
  if (help == kNoFile) {
    Frame.HelpFilePath = std::string(Sw.ProgramFolder) + std::string(kHelpFile);
    if (Frame.HelpFilePath.size() > kHelpPathMax) Frame.HelpFilePath.resize(kHelpPathMax);
  } else {
    host_file_close(help);
  }
  Frame.ChildrenCreated = 0;
  prj_read_section(kSectionSys);
  if (Sup.StartupFailure == 0) prj_read_section(kSectionOption);

  if (Sup.StartupFailure == 0) {
    const WindowLayoutRecord& f = Frame.Children.layout[kRecordFrame];
    int x = f.left, y = f.top, cx = f.right - f.left, cy = f.bottom - f.top;
    if (f.showState == kShowMaximized) {
      maximized_ = true;
      x = f.backgroundColour;  // the restored left and right edges
      cx = f.textColour - f.backgroundColour;
    }
    if (cx > 0 && cy > 0) {
      const TRect screen = owl_screen_work_area();
      const int m = 2 * owl_caption_button_height();
      if (f.right < m || x > screen.Width() - m) x = 0;
      if (f.top < 0 || y > screen.Height() - m) y = 0;
      cx = std::min(cx, screen.Width());
      cy = std::min(cy, screen.Height());
      placement_ = TRect{x, y, x + cx, y + cy};
    }
    if (maximized_) {
      if (TApplication* app = GetApplication()) app->nCmdShow = SW_SHOWMAXIMIZED;
    } else if (f.showState == kShowMinimized) {
      if (TApplication* app = GetApplication()) app->nCmdShow = SW_SHOWMINIMIZED;
    }
  }
  Frame.SharedRowText.assign(kSharedRowSize, 0);
  Frame.SharedRowAttributes.assign(kSharedRowSize, 0);
}

QN_Frame::~QN_Frame() {
  // a frame that never saw its WM_DESTROY still lets go of the command side
  co_end_command_side();
  if (Frame.Children.mainFrame == this) Frame.Children = ChildWindowTable{};
}

const ResponseEntry* QN_Frame::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kFrameTable, message, id)) return e;
  return QMDIFrame::Find(message, id);
}

void QN_Frame::SetupWindow() {
  // the banner texts of the command side
  std::snprintf(Cmd.BannerName, sizeof Cmd.BannerName, "%s", kProductName);
  std::snprintf(Cmd.BannerVersion, sizeof Cmd.BannerVersion, "%s", kProductVersion);
  std::snprintf(Cmd.BannerNotice, sizeof Cmd.BannerNotice, "%s", kLegalCopyright);
  MoveWindow(placement_, false);

  if (Sup.StartupFailure == 0) {
    // the command side's stack, preset to start at the command loop
    co_start_command_side(FrameStartHooks.commandMain ? FrameStartHooks.commandMain : cmd_main);
    const u16 failure = FrameStartHooks.checkLibrary ? FrameStartHooks.checkLibrary() : check_library();
    if (failure != 0) {
      Sup.StartupFailure = 1;
      sup_set_message_buffer(res_string(failure));
      error_box(Sup.MessageBuffer);
    } else {
      RunStartup();
    }
  }
  Frame.Children.mainFrame = this;
  QMDIFrame::SetupWindow();
}

void QN_Frame::RunStartup() {
  for (;;) {
    co_enter_command_side();
    if (Co.Request.code == RequestCode::ErrorBox || Co.PendingError != 0) {
      std::string text = startup_message_text();
      text += '\n';
      text += sup_string_resource(kStrMayQuit);
      const u16 before = Sup.StartupFailure;  // read before it is cleared
      Sup.StartupFailure = 0;
      Run.ConfirmFlag = 0;
      Co.PendingError = 0;
      unsigned style = kBoxIconError | kTaskModal;
      if (before != 1) style |= kBoxOkCancel | kBoxDefaultButton2;
      // the driver settings dialog stands in the same box here
      const int answer = host_message_box("QUENDAR ERROR", text, style);
      Startup.DriverDialog = 0;
      if (answer == kBoxAnswerOk) {
        Sup.StartupFailure = 1;
        Run.ConfirmFlag = 1;
        Co.Request.code = RequestCode::None;
        break;
      }
    }
    Co.Request.code = RequestCode::None;
    if (Co.WaitKind & kWaitBitWaiting) break;
  }
}

void QN_Frame::EvPaint() {
  // the children are made once, after the paint that found them missing
  if (!firstPaintPosted_ && Frame.ChildrenCreated == 0) {
    firstPaintPosted_ = true;
    PostMessage(kFirstPaintMessage);
  }
  DefaultProcessing();
}

i64 QN_Frame::EvFirstPaint(u64, i64) {
  if (Frame.ChildrenCreated != 0) return 0;
  if (Sup.StartupFailure != 0) {
    if (Sup.StartupFailure == 1) CloseWindow();
    return 0;
  }
  CreateChildren();
  return 0;
}

void QN_Frame::CreateChildren() {
  TMDIApp* app = app_current();
  // bars whose shown bit is clear start hidden
  if (app) {
    if (!(App.ToolBarFlags & 1) && app->bars[0]) app->bars[0]->ShowWindow(SW_HIDE);
    if (!(App.ToolBarFlags & 4) && app->bars[1]) app->bars[1]->ShowWindow(SW_HIDE);
  }
  const std::array<int, kHighestRank + 1> slot = creation_order();
  ChildWindowTable& t = Frame.Children;
  // The records as the project file gave them. Creating a window sends it
  // size and move messages that record where the framework put it, over the
  // rectangle and show state still to be applied; each window is placed from
  // this copy.
  const std::array<WindowLayoutRecord, kLayoutRecordCount> saved = t.layout;
  const auto place = [&](TMDIChild* w) {
    const u16 i = u16(std::find(t.windows.begin(), t.windows.end(), w) - t.windows.begin());
    if (i >= kChildCount) return;
    WindowLayoutRecord& r = t.layout[i];
    r.left = saved[i].left;
    r.top = saved[i].top;
    r.right = saved[i].right;
    r.bottom = saved[i].bottom;
    r.showState = kShowNormal;
    win_record_placement(i);
  };
  TMDIChild* previous = nullptr;
  for (u16 p = 1; p <= kHighestRank; ++p) {
    const int i = slot[p];
    if (i < 0 || i == kChildInspect || i >= kChildCount) continue;
    ChildFactory make = Factories[i];
    if (!make) continue;  // its window class is not there: the entry stays empty
    TMDIChild* w = make(client_, u16(i), res_string(u16(kStrChildTitleBase + i)));
    if (!w) continue;
    t.windows[std::size_t(i)] = w;
    // its menu merges into the bar while it is active; the icon of the same number
    w->SetMenuDescr(kMenuChildBase + u32(i), i == kChildMemo ? kMemoMenuGroups : kChildMenuGroups);
    w->SetIcon(kMenuChildBase + u32(i));
    // each window appears when the next is made, so they come up in rank order
    if (previous) {
      previous->Create();
      place(previous);
    }
    previous = w;
  }
  t.commandWindow = t.windows[kChildCommand];
  if (previous) {
    previous->Create();
    place(previous);
  }
  // minimized and maximized windows as saved
  for (u16 i = 0; i < kChildCount; ++i) {
    TMDIChild* w = t.windows[i];
    if (!w) continue;
    if (saved[i].showState == kShowMinimized) w->ShowWindow(SW_MINIMIZE);
    else if (saved[i].showState == kShowMaximized) w->ShowWindow(SW_SHOWMAXIMIZED);
  }
  if (previous) previous->BringWindowToTop();
  // the heartbeat: timer 1 of the code window
  if (TMDIChild* code = t.windows[kChildCode]) {
    if (!t.consoleWindow) t.consoleWindow = code;
    code->SetTimer(kHeartbeatTimer, kHeartbeatMs);
    Frame.HeartbeatRunning = 1;
  }
  Frame.ChildrenCreated = 1;
  client_.FitChildrenToClient();
  for (auto& h : Frame.Histories) {
    h.clear();
    h.reserve(10);
  }
  Frame.HistoriesCreated = true;

  prj_read_section(kSectionBreak);
  prj_read_section(kSectionDirectory);
  prj_read_section(kSectionProject);
  if (Frame.ViewOptionWords[4] & 1) Cmd.Radix = 10;
  if (app) {
    app->hintMode = Frame.SavedHintValue != 0 ? 2 : 1;
    app->CmHint();  // switches it over and applies it to the bars
    if (Sw.StartupProgramGiven != 0) app_load_program(Sw.StartupProgram, 0);
  }
  Invalidate();
  if (Sup.StartupFailure == 1) CloseWindow();
}

void QN_Frame::EvSize(u32, const TSize&) {
  DefaultProcessing();
  if (Frame.ChildrenCreated == 1) client_.FitChildrenToClient();
}

void QN_Frame::EvInitMenuPopup(TMenu& popup, u32, bool systemMenu) {
  if (!systemMenu) {
    const u16 active = win_active_index();
    if ((active == kChildCode || active == kChildCode1) && Frame.Children.windows[active]) {
      const bool source = Lst.ListingMode == 2;
      popup.ModifyMenuText(445, res_string(source ? kStrAssemblerItem : kStrSourceItem));
      popup.ModifyMenuText(446, res_string(source ? kStrLineItem : kStrAddressItem));
    }
  }
  DefaultProcessing();
}

i64 QN_Frame::EvMenuSelect(u64 id, i64) {
  if (auto* status = dynamic_cast<TQNStatusBar*>(App.StatusBar))
    status->SetHintText(id != 0 ? res_command_hint(u16(id)) : std::string_view());
  return 0;
}

bool QN_Frame::CanClose() {
  if (Frame.ChildrenCreated == 1 && Sup.StartupFailure == 0) {
    if (Frame.ExitWithoutAsking == 0 &&
        host_message_box("Exit QUENDAR", res_string(kStrExitQuestion), 0x20 | kBoxOkCancel | kTaskModal) !=
            kBoxAnswerOk)
      return false;
    SaveLayout();
  }
  cmd_exit_cleanup();
  return true;
}

void QN_Frame::SaveLayout() {
  WindowLayoutRecord& f = Frame.Children.layout[kRecordFrame];
  if (f.showState == kShowNormal) {
    const TRect r = GetWindowRect();
    f.left = r.left;
    f.top = r.top;
    f.right = r.right;
    f.bottom = r.bottom;
  }
  for (u16 n : {kSectionSys, kSectionBreak, kSectionOption, kSectionDirectory, kSectionProject, kSectionCpu,
                kSectionEnd})
    if (!prj_write_section(n)) break;  // one box is enough
}

void QN_Frame::EvDestroy() {
  ChildWindowTable& t = Frame.Children;
  if (TMDIChild* code = t.windows[kChildCode]; code && Frame.HeartbeatRunning) code->KillTimer(kHeartbeatTimer);
  Frame.HeartbeatRunning = 0;
  if (Co.PendingError == 0 && Sup.StartupFailure == 0 && co_command_side_started()) {
    // the command side's exit path
    bool exited = false;
    for (int k = 0; k < kExitPathEntries && !exited; ++k) {
      if (Co.Request.code == RequestCode::Exit || win_command_side_exited()) {
        exited = true;
        break;
      }
      Co.Key.key_code = key_word(PseudoKey::Exit);
      co_enter_command_side();
    }
    // the command side did not take the exit key: what it keeps between runs
    // is saved here, as its exit path would
    if (!exited && Links.state_file_save) Links.state_file_save();
  }
  co_end_command_side();
  Frame.SharedRowText.clear();
  Frame.SharedRowAttributes.clear();
  for (auto& h : Frame.Histories) h.clear();
  Frame.HistoriesCreated = false;
  Frame.HelpFilePath.clear();
  Frame.KeptOptionText.clear();
  Frame.KeptProjectText.clear();
  // the setup program, when asked for
  const bool marker = Run.ConfirmFlag != 0 && Sup.StartupFailure == 0;
  const bool plain = Sw.StartedBySetup != 0 && Run.ConfirmFlag != 0 && Sup.StartupFailure != 0;
  if ((marker || plain) && !app_start_setup_program(marker))
    host_message_box("QUENDAR ERROR", res_string(kStrSetupNotStarted), kBoxIconError);
  for (TMDIChild*& w : t.windows) w = nullptr;
  t.inspectChainHead = t.commandWindow = t.consoleWindow = nullptr;
  t.mainFrame = nullptr;
}
