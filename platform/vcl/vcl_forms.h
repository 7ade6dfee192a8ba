// The form framework layer: forms and the controls they hold, over Qt 6
// Widgets. Texts are CP932 on this side. A control's setters never raise its
// events: OnChange and OnClick fire for what the user does (and for the
// User* calls, which do what the user would), so a form can be filled from
// its model without its handlers running. Qt stays behind this header.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
class QDialog;
class QLabel;
class QLineEdit;
class QComboBox;
class QCheckBox;
class QGroupBox;
class QRadioButton;
class QPushButton;
class QStatusBar;
class QPlainTextEdit;
class QTimer;
class QMenuBar;
class QMenu;
class QAction;
class QListWidget;

// The form framework's classes live in their own namespace, apart from the
// window framework's (both have a TStatusBar).
namespace vcl {

using TNotifyEvent = std::function<void()>;

// Modal results, as the framework numbers them.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

class TForm;

class TControl {
 public:
  virtual ~TControl() = default;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  void SetBounds(int left, int top, int width, int height);
  void SetEnabled(bool enabled);
  bool Enabled() const;
  void SetVisible(bool visible);
  bool Visible() const;
  // The widget behind the control (the layer's and its tests' business).
  QWidget* Widget() const { return widget_; }

 protected:
  explicit TControl(QWidget* widget) : widget_(widget) {}
  QWidget* widget_;
};

class TLabel : public TControl {
 public:
  explicit TLabel(TForm* owner);
  void SetCaption(std::string_view text);  // "&" marks the mnemonic
  std::string Caption() const;
  // The control whose mnemonic this label carries.
  void SetFocusControl(TControl* control);
};

class TEdit : public TControl {
 public:
  explicit TEdit(TForm* owner);
  void SetText(std::string_view text);
  std::string Text() const;
  void SetReadOnly(bool read_only);
  bool ReadOnly() const;
  // The text in the colour of an inactive caption's text, or the normal one.
  void SetGrayed(bool grayed);
  // The text as the user leaves it after typing; raises OnChange.
  void UserText(std::string_view text);
  TNotifyEvent OnChange;

 private:
  QLineEdit* edit_;
};

// A drop-down list (no typed text).
class TComboBox : public TControl {
 public:
  explicit TComboBox(TForm* owner);
  void SetItems(const std::vector<std::string>& items);
  int ItemCount() const;
  std::string Item(int index) const;
  int ItemIndex() const;  // -1: none
  void SetItemIndex(int index);
  // The user picks item `index`; raises OnChange.
  void UserSelect(int index);
  TNotifyEvent OnChange;

 private:
  QComboBox* combo_;
};

class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TForm* owner);
  void SetCaption(std::string_view text);
  std::string Caption() const;
  bool Checked() const;
  void SetChecked(bool checked);
  // The user clicks it; raises OnClick.
  void UserClick();
  TNotifyEvent OnClick;

 private:
  QCheckBox* box_;
};

class TRadioGroup : public TControl {
 public:
  explicit TRadioGroup(TForm* owner);
  void SetCaption(std::string_view text);
  void SetItems(const std::vector<std::string>& items);
  int ItemIndex() const;  // -1: none
  void SetItemIndex(int index);
  // The user clicks item `index`; raises OnClick.
  void UserSelect(int index);
  TNotifyEvent OnClick;

 private:
  QGroupBox* group_;
  std::vector<QRadioButton*> buttons_;
};

// A button's picture: a small symbol (drawn by the layer from the desktop's
// style) over a short text, in place of a caption.
struct TGlyph {
  enum class Symbol { None, New, Open, Edit, Monitor, Build, Options, Entry, Run, Quit, Help };
  Symbol symbol = Symbol::None;
  std::string text;  // CP932
  bool operator==(const TGlyph&) const = default;
};

class TButton : public TControl {
 public:
  explicit TButton(TForm* owner);
  void SetCaption(std::string_view text);
  std::string Caption() const;
  void SetGlyph(const TGlyph& glyph);
  const TGlyph& Glyph() const { return glyph_; }
  // Takes no focus from the keyboard (a tool button).
  void SetTabStop(bool tab_stop);
  // A button with a modal result closes its form with it after OnClick.
  void SetModalResult(int result) { modal_result_ = result; }
  void SetDefault(bool is_default);
  void SetCancel(bool is_cancel) { cancel_ = is_cancel; }
  bool Cancel() const { return cancel_; }
  // The user clicks it: OnClick, then the modal result.
  void UserClick();
  TNotifyEvent OnClick;

 private:
  TForm* owner_;
  QPushButton* button_;
  TGlyph glyph_;
  int modal_result_ = mrNone;
  bool cancel_ = false;
};

class TStatusBar : public TControl {
 public:
  explicit TStatusBar(TForm* owner);
  void SetSimpleText(std::string_view text);
  std::string SimpleText() const;

 private:
  QStatusBar* bar_;
  std::string text_;
};

// A multi-line text, read-only or not, with both scroll bars. Its text is
// kept as given (CP932, lines ending in CR LF) and shown with one line break
// for each CR LF.
class TMemo : public TControl {
 public:
  explicit TMemo(TForm* owner);
  void SetText(std::string_view text);
  const std::string& Text() const { return text_; }
  // Adds `text` at the end, as the memo's selection would take it.
  void Append(std::string_view text);
  void SetReadOnly(bool read_only);
  void Clear() { SetText({}); }

 private:
  QPlainTextEdit* edit_;
  std::string text_;
};

// A timer: OnTimer every Interval milliseconds while it is enabled. Ticks
// arrive through the message loop (a modal form's too), never inside a
// handler that is running.
class TTimer : public TControl {
 public:
  explicit TTimer(TForm* owner);
  ~TTimer() override;
  void SetInterval(int milliseconds);
  int Interval() const { return interval_; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }
  TNotifyEvent OnTimer;

 private:
  std::unique_ptr<QTimer> timer_;
  int interval_ = 1000;
  bool enabled_ = false;
};

// A list of texts; the user's choice raises OnClick.
class TListBox : public TControl {
 public:
  explicit TListBox(TForm* owner);
  void SetItems(const std::vector<std::string>& items);
  int ItemCount() const;
  std::string Item(int index) const;
  int ItemIndex() const;  // -1: none
  void SetItemIndex(int index);
  // The user picks item `index`; raises OnClick.
  void UserSelect(int index);
  TNotifyEvent OnClick;

 private:
  QListWidget* list_;
};

// A menu item of a form's main menu: a drop-down menu (made by
// TMainMenu::AddMenu) or a command in one (made by TMenuItem::Add).
class TMenuItem {
 public:
  TMenuItem(const TMenuItem&) = delete;
  TMenuItem& operator=(const TMenuItem&) = delete;
  ~TMenuItem();
  void SetCaption(std::string_view text);  // "&" marks the mnemonic
  std::string Caption() const;
  void SetEnabled(bool enabled);
  bool Enabled() const;
  // A command in this drop-down menu.
  TMenuItem* Add();
  // The user chooses it (nothing when it is disabled); raises OnClick.
  void UserClick();
  TNotifyEvent OnClick;
  QAction* Action() const { return action_; }

 private:
  friend class TMainMenu;
  TMenuItem(QAction* action, QMenu* menu);
  QAction* action_;
  QMenu* menu_;  // null for a command
  std::vector<std::unique_ptr<TMenuItem>> items_;
};

// The menu bar at the top of a form.
class TMainMenu : public TControl {
 public:
  explicit TMainMenu(TForm* owner);
  ~TMainMenu() override;
  TMenuItem* AddMenu();
  int Height() const;

 private:
  QMenuBar* bar_;
  std::vector<std::unique_ptr<TMenuItem>> menus_;
};

// The file dialog: Execute shows it and returns true when a file was chosen
// (FileName is then its full path, in the system's form). The filter is the
// system's "Description|*.EXT|Description|*.*" text; its patterns match
// without regard to case.
class TOpenDialog {
 public:
  std::string Filter;
  std::string FileName;    // in: the name proposed; out: the chosen path
  std::string InitialDir;  // system form; empty: the current folder
  bool Execute();
  // Tests: what Execute does in place of showing the dialog; it returns the
  // chosen path (system form) or nothing for Cancel. An empty hook restores
  // the dialog.
  using Hook = std::function<bool(TOpenDialog& dialog, std::string& chosen)>;
  static void SetHook(Hook hook);
};

// The wait cursor over every window while it lives.
class TWaitCursor {
 public:
  TWaitCursor();
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
  // Whether a wait cursor is shown now (tests).
  static bool Active();
};

// A form: a top-level window holding controls it owns. Shown modally as a
// dialog (ShowModal) or as the main window (Show).
class TForm {
 public:
  TForm();
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  void SetCaption(std::string_view text);
  std::string Caption() const;
  void SetClientSize(int width, int height);
  // Shows the form modally: OnShow, then the user works until a button with a
  // modal result, Close or the window's close box ends it. Returns the result.
  int ShowModal();
  // Shows the form without waiting (the main form); OnShow runs.
  void Show();
  // Ends a modal show with `result`, or hides a shown form (OnClose runs).
  void SetModalResult(int result);
  int ModalResult() const { return modal_result_; }
  void Close();
  bool Showing() const;

  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
  // The form has become the active form: once at each show, after OnShow.
  TNotifyEvent OnActivate;

  // The controls the form owns; made through Add.
  template <class C>
  C* Add() {
    auto control = std::make_unique<C>(this);
    C* raw = control.get();
    controls_.push_back(std::move(control));
    return raw;
  }
  QWidget* Widget() const;
  QWidget* Client() const;  // where controls live

  // Tests: what ShowModal does in place of waiting for the user, once the form
  // is shown and OnShow has run; the form's modal result at its end is
  // ShowModal's. An empty hook restores the wait.
  using ModalHook = std::function<void(TForm& form)>;
  static void SetModalHook(ModalHook hook);

 private:
  friend class TButton;
  friend class TFormDialog;
  void CloseRequested();  // the window's close box
  std::unique_ptr<QDialog> dialog_;
  std::vector<std::unique_ptr<TControl>> controls_;
  int modal_result_ = mrNone;
  bool modal_ = false;
  bool closing_ = false;
};

}  // namespace vcl
