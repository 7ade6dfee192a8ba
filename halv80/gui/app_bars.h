// The frame's decorations: the tool bar (window id 32041) with the user's
// button list, the window bar (32042) with a button per child window, and the
// status bar (32040) with the run-address, timer and message fields.
#pragma once

#include <string_view>

#include "platform/owl/owl_window.h"

constexpr u32 kStatusFieldMessage = 0;
constexpr u32 kStatusFieldAddress = 1;
constexpr u32 kStatusFieldTimer = 2;

// statusState: the message field's colours.
constexpr u32 kStatusNormal = 0;
constexpr u32 kStatusAlert = 1;    // white on red
constexpr u32 kStatusNotice = 2;   // blue on yellow

class TQNStatusBar : public TStatusBar {
 public:
  // The run-address field (four "D"s wide), the timer field (twelve), then
  // the message field, as wide as it can be.
  explicit TQNStatusBar(TWindow* parent);
  // The message field's text and colours.
  void SetStatus(std::string_view cp932, u32 state);
  // A menu or button hint in the message field.
  void SetHintText(std::string_view cp932);

  u32 statusState = kStatusNormal;
  u32 hintShowing = 0;

 private:
  void ApplyMessageColours();
};

// The tool bar: one gadget per entry of Frame.ToolBarButtons (-1 a separator).
TControlBar* app_build_tool_bar(TWindow* parent, bool vertical);
// Fills a tool bar again from Frame.ToolBarButtons.
void app_fill_tool_bar(TControlBar& bar);
// The window bar: 421, separator, 542, 541, 531 .. 539, separator, 543.
TControlBar* app_build_window_bar(TWindow* parent, bool vertical);
