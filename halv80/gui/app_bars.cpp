// The tool bar, the window bar and the status bar. A button shows its tool
// tip text as its face (there are no button bitmaps); its status-bar hint and
// tip are the command's string.
#include "halv80/gui/app_bars.h"

#include <string>

#include "halv80/gui/res_menus.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_frame.h"
#include "platform/host/host_text.h"

namespace {

constexpr u32 kWindowBarButtons[] = {421, 0, 542, 541, 531, 532, 533, 534, 535, 536, 537, 538, 539, 0, 543};

void add_command_button(TControlBar& bar, u32 id) {
  std::string_view tip = res_command_tip(u16(id));
  std::string face(tip);
  if (face.empty()) face = std::to_string(id);
  bar.AddButton(id, face, tip);
}

// A window-bar button's face is its tip without "ｳｲﾝﾄﾞｳ" ("ｺｰﾄﾞｳｲﾝﾄﾞｳ1"
// shows "ｺｰﾄﾞ1"), so that the bar fits the frame's default width.
void add_window_button(TControlBar& bar, u32 id) {
  static const std::string word = host_utf8_to_cp932("ｳｲﾝﾄﾞｳ");
  const std::string_view tip = res_command_tip(u16(id));
  std::string face(tip);
  if (const std::size_t at = face.find(word); at != std::string::npos && face.size() > word.size())
    face.erase(at, word.size());
  if (face.empty()) face = std::to_string(id);
  bar.AddButton(id, face, tip);
}

}  // namespace

TQNStatusBar::TQNStatusBar(TWindow* parent) : TStatusBar(parent) {
  SetId(kIdStatusBar);
  // The fields are as wide as four and twelve "D"s whatever the language: a
  // run address has four digits.
  AddField(kStatusFieldAddress, 4, true);
  AddField(kStatusFieldTimer, 12, true);
  AddField(kStatusFieldMessage, 0, false);
  SetFieldColours(kStatusFieldAddress, 0x000000, 0xFFFFFF);
  SetFieldColours(kStatusFieldTimer, 0x000000, 0xFFFFFF);
  ApplyMessageColours();
}

void TQNStatusBar::ApplyMessageColours() {
  // an empty message shows the button face whatever the state
  if (statusState == kStatusNormal || GetFieldText(kStatusFieldMessage).empty())
    SetFieldColours(kStatusFieldMessage, 0, 0, true);
  else if (statusState == kStatusAlert)
    SetFieldColours(kStatusFieldMessage, 0xFFFFFF, 0x0000FF);  // white on red (0x00BBGGRR)
  else
    SetFieldColours(kStatusFieldMessage, 0xFF0000, 0x00FFFF);  // blue on yellow
}

void TQNStatusBar::SetStatus(std::string_view cp932, u32 state) {
  SetFieldText(kStatusFieldMessage, cp932);
  statusState = state;
  ApplyMessageColours();
}

void TQNStatusBar::SetHintText(std::string_view cp932) {
  hintShowing = cp932.empty() ? 0 : 1;
  SetFieldText(kStatusFieldMessage, cp932);
  ApplyMessageColours();
}

void app_fill_tool_bar(TControlBar& bar) {
  bar.RemoveAll();
  for (i32 id : Frame.ToolBarButtons) {
    if (id == kToolBarEnd) break;
    if (id == kToolBarSeparator) bar.AddButton(0, {});
    else if (id > 0) add_command_button(bar, u32(id));
  }
}

TControlBar* app_build_tool_bar(TWindow* parent, bool vertical) {
  auto* bar = new TControlBar(parent, vertical);
  bar->SetId(kIdToolBar);
  app_fill_tool_bar(*bar);
  return bar;
}

TControlBar* app_build_window_bar(TWindow* parent, bool vertical) {
  auto* bar = new TControlBar(parent, vertical);
  bar->SetId(kIdWindowBar);
  for (u32 id : kWindowBarButtons) {
    if (id == 0) bar->AddButton(0, {});
    else if (id == 421) add_command_button(*bar, id);
    else add_window_button(*bar, id);
  }
  return bar;
}
