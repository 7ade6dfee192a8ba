// Dialog controls: static texts, push buttons, check boxes, radio buttons,
// group boxes, editable combo boxes and list boxes. Each is a child window of
// a dialog at a rectangle in the dialog's client coordinates. Texts are CP932;
// "&" in a caption marks the mnemonic, shown underlined, and a static text's
// mnemonic moves the focus to the control it labels. What the user does
// reaches the parent as WM_COMMAND with the control's id (a click, a choice,
// Enter in a combo box's edit field) or, for a list box's double click, as
// the command the list names (see TListBox::doubleClickCommand).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/owl/owl_window.h"

class QAbstractButton;
class QWidget;

class TControl : public TWindow {
 public:
  TControl(TWindow* parent, u32 id, std::string_view text, const TRect& rect);
  // The caption (a button's or label's text); an edit field's text for a combo box.
  virtual void SetText(std::string_view cp932);
  virtual std::string GetText() const;
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;

 protected:
  // Places `widget` at the control's rectangle in the parent's client area.
  void Place(QWidget* widget);
  std::string text_;
  TRect rect_;
  bool enabled_ = true;
};

class TStatic : public TControl {
 public:
  using TControl::TControl;
  // The control whose focus the label's mnemonic gives: a control made
  // before the label (set before Create).
  void SetBuddy(TWindow* buddy) { buddy_ = buddy; }
  void SetText(std::string_view cp932) override;

 protected:
  void CreateQt() override;

 private:
  TWindow* buddy_ = nullptr;
};

class TButton : public TControl {
 public:
  TButton(TWindow* parent, u32 id, std::string_view text, const TRect& rect, bool isDefault = false);
  void SetText(std::string_view cp932) override;
  // What a click does: the parent's WM_COMMAND with the id.
  void Click();

 protected:
  void CreateQt() override;

 private:
  bool default_;
};

constexpr int BF_UNCHECKED = 0;
constexpr int BF_CHECKED = 1;

class TCheckBox : public TControl {
 public:
  using TControl::TControl;
  int GetCheck() const { return check_; }
  void SetCheck(int state);
  // What a click does: toggles (a radio button: checks), then the parent's WM_COMMAND.
  virtual void Click();

 protected:
  void CreateQt() override;
  // Shows the state on the button widget and has its clicks reach Click.
  void Wire(QAbstractButton* button);
  int check_ = BF_UNCHECKED;
};

// A radio button: checked by a click; the dialog unchecks the others of its group.
class TRadioButton : public TCheckBox {
 public:
  using TCheckBox::TCheckBox;
  void Click() override;

 protected:
  void CreateQt() override;
};

class TGroupBox : public TControl {
 public:
  using TControl::TControl;

 protected:
  void CreateQt() override;
};

// An editable combo box: an edit field over a list of earlier texts.
class TComboBox : public TControl {
 public:
  // textLimit counts the terminating zero of the system's limit: 30 admits 29 characters.
  TComboBox(TWindow* parent, u32 id, const TRect& rect, int textLimit);
  void SetText(std::string_view cp932) override;
  std::string GetText() const override;
  int GetCount() const { return int(items_.size()); }
  std::string GetString(int index) const;
  void AddString(std::string_view cp932);
  void InsertString(std::string_view cp932, int index);
  void DeleteString(int index);
  void ClearList();
  // The entries as they stand, and all of them at once.
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  int TextLimit() const { return limit_; }
  // Enter in the edit field: the parent's WM_COMMAND 1 (OK).
  void Enter();

 protected:
  void CreateQt() override;

 private:
  void Refill();
  int limit_;
  std::vector<std::string> items_;
};

// A list box with one selection. Keys reach TranslateKey before the list
// moves its selection; a double click runs doubleClickCommand on the parent.
class TListBox : public TControl {
 public:
  TListBox(TWindow* parent, u32 id, const TRect& rect);
  int GetCount() const { return int(items_.size()); }
  std::string GetString(int index) const;
  int AddString(std::string_view cp932, i64 data = 0);
  void InsertString(std::string_view cp932, int index, i64 data = 0);
  void DeleteString(int index);
  void ClearList();
  i64 GetItemData(int index) const;
  // -1: nothing selected.
  int GetSelIndex() const { return selected_; }
  void SetSelIndex(int index);
  // A key pressed in the list: `vk` with Ctrl held or not. Returns the key
  // the list acts on (0: the key is consumed).
  virtual u32 TranslateKey(u32 vk, bool ctrl) { (void)ctrl; return vk; }
  // What the list does with a key (after TranslateKey): moves the selection.
  void KeyDown(u32 vk, bool ctrl);
  void DoubleClick();
  // Rows that fit the list's height (at least 1).
  int PageRows() const;
  u32 doubleClickCommand = 1;  // 0: none

 protected:
  void CreateQt() override;

 private:
  void Refill();
  struct Item {
    std::string text;
    i64 data;
  };
  std::vector<Item> items_;
  int selected_ = -1;
};

// The screen's size in pixels (the primary screen; 1024 x 768 without one).
TSize owl_screen_size();

// Enables or disables any window's input (a control made or not yet made:
// the state is applied when it is created).
void owl_enable_window(TWindow& window, bool enable);
bool owl_is_window_enabled(const TWindow& window);

class QFileDialog;

// The file-open common dialog over the data record: the filter's
// "text|pattern|" pairs, the start folder and file name. On IDOK (1) the
// record's fileName holds the chosen file in the system's path form; Cancel
// gives IDCANCEL (2).
class TFileOpenDialog {
 public:
  TFileOpenDialog(TWindow* parent, TOpenSaveData& data, std::string_view title = {});
  virtual ~TFileOpenDialog();
  TFileOpenDialog(const TFileOpenDialog&) = delete;
  TFileOpenDialog& operator=(const TFileOpenDialog&) = delete;
  int Execute();
  // While it runs, what the user would do: pick a file (a host path) and
  // accept, or cancel.
  void Choose(std::string_view host_path);
  void Cancel();
  // The dialog's outer rectangle in screen coordinates, and a move that
  // keeps its size.
  TRect GetWindowRect() const;
  void MoveWindow(const TRect& rect);
  // The dialog being run (the innermost), or null.
  static inline TFileOpenDialog* Running = nullptr;

 protected:
  // Runs when the dialog is about to show, before its own set-up.
  virtual void EvInitDialog() {}

 private:
  TWindow* parent_;
  TOpenSaveData& data_;
  std::string title_;
  QFileDialog* dialog_ = nullptr;
};
