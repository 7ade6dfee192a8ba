// What a window does with the input queue during a long operation on the
// window thread, and the pointer's look meanwhile: a watch that notes the
// Escape key while other input waits, the wait cursor, and context menus
// tracked at a point of a window.
#pragma once

#include <memory>

#include "platform/owl/owl_window.h"

// Watches for Escape while the window thread is busy. Each Poll delivers what
// waits in the queue: an Escape press is noted, other key and mouse input is
// dropped (the user waits for the operation), and posted messages and timer
// ticks are delivered as usual. One watch at a time.
class OwlEscapeWatch {
 public:
  // tickWindow: the window whose timer ticks Poll counts (may be null).
  explicit OwlEscapeWatch(const TWindow* tickWindow);
  ~OwlEscapeWatch();
  OwlEscapeWatch(const OwlEscapeWatch&) = delete;
  OwlEscapeWatch& operator=(const OwlEscapeWatch&) = delete;
  // Runs the queue once; true when Escape has been pressed since the watch
  // began. A tick of tickWindow's timers waiting before the run counts one.
  bool Poll();
  // Ticks counted by the polls so far.
  u32 Ticks() const;

 private:
  struct Filter;
  std::unique_ptr<Filter> filter_;
  const TWindow* tickWindow_;
  u32 ticks_ = 0;
};

// The wait cursor over every window while on; off restores the cursor before.
void owl_set_wait_cursor(bool on);
bool owl_wait_cursor_shown();

// Shows popup `menu` at `point` (client coordinates of `owner`). Its commands
// go the way the frame's menu commands go: the active child first. The menu
// stays open until a choice or a click elsewhere; the call returns at once.
void owl_track_popup(const TMenu& menu, const TWindow& owner, const TPoint& point);

// The thread's last popup shown by owl_track_popup while it is still open, or
// a menu holding nothing (tests).
TMenu owl_open_popup();
