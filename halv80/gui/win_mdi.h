// The MDI client and the small operations on the child-window table: the
// system's own tiling, cascade and proportional fit, activation by index, focus
// cycling, maximize, the run actions left as pending keys, and the Esc drain of
// a busy command side. Every operation skips table entries whose window was
// never created.
#pragma once

#include "halv80/engine/win_codes.h"
#include "platform/owl/owl_window.h"

class TMDICltNEW : public TMDIClient {
 public:
  TMDICltNEW() = default;
  const ResponseEntry* Find(u32 message, u32 id) override;

  // Keys typed while no child has the focus go to the active child.
  void EvKeyDown(u32 key, u32 repeat, u32 flags);
  void EvSysKeyDown(u32 key, u32 repeat, u32 flags);
  // The Window menu's arrangements (24362, 24361) and arrange-icons (24364).
  void CmTileChildren();
  void CmCascadeChildren();
  void CmArrangeIcons();
  // Scales the children to the client's new size (with WindowResizeMode on)
  // and records the frame's placement. Does nothing before the children exist.
  void FitChildrenToClient();
};

// The active child's index, taken from the client's active sub-window when
// that is a table entry; else the table's activeIndex as it stands.
u16 win_active_index();
// Child n: a minimized one is restored, the active one minimized, any other
// brought to the top. Nothing for a window never created.
void win_activate_child(u16 n);
// Brings the next (direction 0) or previous child to the top, skipping the
// inspect entry, minimized windows and windows never created.
void win_cycle_focus(u16 direction);
// Restores the active child when maximized, else maximizes it.
void win_toggle_maximize();
// Destroys the inspect windows unless one is in use (being opened, or holding
// the focus for an engine request).
void win_close_inspect_windows();
// Shift 1 | Alt 8 | Ctrl 16 from the current key states.
u16 win_modifier_mask();
// The run actions of the menus, tool bar and mouse, each left as the key that
// the engine binds to it.
enum class RunAction : u16 {
  Step = 1,           // F10
  Trace = 2,          // F8
  Go = 3,             // F5
  ForceBreak = 4,     // Esc
  Come = 5,           // F7
  Return = 6,         // Ctrl+F5
  SoftwareBreak = 7,  // F9
};
// Leaves run action `action` as the pending key and posts the code window a
// timer message with id 0, which enters the command side.
void ui_post_run_action(RunAction action);
// The same with pseudo-key `key` as the pending key.
void ui_post_pseudo_key(PseudoKey key);
// Records the placement of child `index` (showState 4) and moves the window
// to its record's rectangle unless it is minimized or maximized.
void win_record_placement(u16 index);
