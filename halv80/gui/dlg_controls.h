// The dialogs' own controls: a list box that understands the control-key
// cursor commands used throughout the debugger, and a check box and an edit
// field that can be locked disabled, so that a dialog's later enabling logic
// cannot turn them on again. Dialogs enable and disable these only through
// Enable; a lock is one-way.
#pragma once

#include "platform/owl/owl_controls.h"
#include "platform/owl/owl_edit.h"

// The control-key cursor commands of a list: Ctrl+C page down, Ctrl+E up,
// Ctrl+R page up, Ctrl+X down; other keys, and keys without Ctrl, unchanged.
u32 dlg_list_key(u32 vk, bool ctrl);

class QNListBox : public TListBox {
 public:
  using TListBox::TListBox;
  u32 TranslateKey(u32 vk, bool ctrl) override { return dlg_list_key(vk, ctrl); }
};

class TCheckBox2 : public TCheckBox {
 public:
  TCheckBox2(TWindow* parent, u32 id, std::string_view text, const TRect& rect) : TCheckBox(parent, id, text, rect) {}
  // The group box the box belongs to (it only frames it).
  TCheckBox2(TWindow* parent, u32 id, std::string_view text, const TRect& rect, TGroupBox* group)
      : TCheckBox(parent, id, text, rect), group_(group) {}
  // Enables or disables the box; a locked box is always disabled.
  virtual void Enable(bool enable) { EnableWindow(enable && !locked_); }
  void Lock() {
    locked_ = 1;
    EnableWindow(false);
  }
  bool IsLocked() const { return locked_ != 0; }
  void UncheckUnlessLocked() {
    if (!locked_) SetCheck(BF_UNCHECKED);
  }
  TGroupBox* Group() const { return group_; }

 private:
  u32 locked_ = 0;
  TGroupBox* group_ = nullptr;
};

// A one-line edit field with no text limit of its own.
class TEditx : public TEdit {
 public:
  TEditx(TWindow* parent, u32 id, int x, int y, int w, int h) : TEdit(parent, id, {}, x, y, w, h) { singleLine = true; }
  virtual void Enable(bool enable) {
    enabled_ = enable;
    owl_enable_window(*this, enable);
  }
  bool IsEnabled() const { return enabled_; }

 protected:
  void SetupWindow() override;

 private:
  bool enabled_ = true;
};

class TEdit2 : public TEditx {
 public:
  using TEditx::TEditx;
  // As TEditx, but a locked field is always disabled.
  void Enable(bool enable) override { TEditx::Enable(enable && !locked_); }
  void Lock() {
    locked_ = 1;
    TEditx::Enable(false);
  }
  bool IsLocked() const { return locked_ != 0; }

 private:
  u32 locked_ = 0;
};
