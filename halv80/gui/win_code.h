// The code windows: the engine's code pane in one of two windows. The frame's
// consoleWindow shows the pane live; the other code window paints the
// snapshot of what it showed last and keeps its own copy of the engine's
// code-view state, put back when it becomes current again. Fix modes make one
// window keep to a file or function while the other takes every position
// outside it, or make the two alternate. The primary window (11) carries the
// heartbeat's timer and closes the emulator driver when it is destroyed.
#pragma once

#include <string>
#include <vector>

#include "halv80/engine/sup_code_view.h"
#include "halv80/gui/win_console.h"
#include "halv80/engine/win_codes.h"

// fixMode values; 0x8000 marks the window that takes what lies outside.
constexpr u16 kFixNone = 0;
constexpr u16 kFixFile = 1;
constexpr u16 kFixFunction = 2;
constexpr u16 kFixFlip = 3;
constexpr u16 kFixOther = 0x8000;

class TCODEWindow : public TMainWindow {
 public:
  // "コード" or "Code" make the primary window (11), any other title 12.
  TCODEWindow(TMDIClient& client, std::string_view title);
  ~TCODEWindow() override;
  const ResponseEntry* Find(u32 message, u32 id) override;

  // The other code window, or null.
  TCODEWindow* OtherCodeWindow() const;
  bool IsCurrent() const { return Frame.Children.consoleWindow == this; }
  // Makes this window the consoleWindow: the old one keeps a snapshot and its
  // code-view state, this one gets its own state back and the pane redrawn.
  void MakeCurrent() override;
  // Request 9: 1 when the other code window should show the position.
  u16 MayShowPosition(u32 otherFile, u32 nesting, u32 pc) const;
  // The same for the request block's P1 to P3 (P3 the logical PC).
  u32 MayShowPosition() const override;
  // Request 21: both windows drop their fix modes; the other forgets its view.
  void ProgramLoaded();
  // Request 21 for this window alone: no fix mode; a window that is not
  // current forgets its saved view and is repainted.
  void DropFixModes() override;
  // The caption from the engine's CodeTitle (or the last one), the fix
  // suffix and "-1" for the second window; clears CodeTitle.
  using TWindow::SetCaption;
  void SetCaption() override;

  void Refresh() override;
  void UpdateLayout(u32 sizeType, const TSize& size) override;
  void HandleKey() override;
  // F6 and Ctrl+I (inspect) while no inspect window can open, Ctrl+W (watch)
  // while there is no watch window.
  bool KeyRefused(u32 key, u16 character, u8 modifiers) const override;

  void EvSetFocus(TWindow* other);
  void EvTimer(u32 id);
  void EvDestroy();
  void EvLButtonDown(u32 modifiers, const TPoint& point);
  void EvLButtonUp(u32 modifiers, const TPoint& point);
  void EvLButtonDblClk(u32 modifiers, const TPoint& point);
  void EvRButtonDown(u32 modifiers, const TPoint& point);
  void EvRButtonDblClk(u32 modifiers, const TPoint& point);
  void EvInitMenuPopup(TMenu& popup, u32 index, bool systemMenu);

  void CmToggleView();
  void CmModule();
  void CmTop();
  void CmBottom();
  void CmPcPosition() override;
  void CmFixFile() { FixRange(kFixFile); }
  void CmFixFunction() { FixRange(kFixFunction); }
  void CmFlip();
  // 446 and request 23: the line-number dialog.
  void CmLineNumber() override;
  // 422, 423: the word at the engine's cursor, else the expression dialog,
  // asked again while the engine rejects the text.
  void CmWatch() { WatchOrInspect(0); }
  void CmInspect() { WatchOrInspect(1); }
  void CeToggleView(TCommandEnabler& ce);
  void CeSourceNotBusy(TCommandEnabler& ce);
  void CePcPosition(TCommandEnabler& ce);
  void CeLineNumber(TCommandEnabler& ce);
  void CeFixFile(TCommandEnabler& ce) { CeFix(ce, kFixFile); }
  void CeFixFunction(TCommandEnabler& ce) { CeFix(ce, kFixFunction); }
  void CeFlip(TCommandEnabler& ce);
  void CeWatch(TCommandEnabler& ce);
  void CeInspect(TCommandEnabler& ce);

  u16 timerActive = 0;
  CodeViewSnapshot viewSnapshot{};
  u16 fixMode = kFixNone;
  u32 fixStart = 0, fixEnd = 0;
  std::string fixSuffix;
  std::string captionBase;

 private:
  // Runs the base class's handler of `message`, else the framework's.
  i64 ForwardToBase(u32 message, u64 wParam, i64 lParam);
  // Copies the visible rows of the code pane into the base's snapshot arrays.
  void TakeSnapshot();
  void FixRange(u16 mode);
  void CeFix(TCommandEnabler& ce, u16 mode);
  // The click cell into the request block, then pseudo-key `key`.
  void SendClick(PseudoKey key, const TPoint& point);
  // Ctrl+W or Ctrl+I with the error suppressed: the engine takes the word at
  // its cursor. True when it failed.
  bool KeyAction(u16 character);
  void WatchOrInspect(u16 inspect);
  bool ShiftClick(u32 modifiers) const;
};

// The console windows and the memo of the window program, by child index.
TMDIChild* make_code_window(TMDICltNEW& client, u16 index, std::string_view title);
