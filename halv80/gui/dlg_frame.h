// The frame every small dialog shares: centred on the main window, OK, Cancel
// and Help buttons (Enter and Esc work them), Japanese captions and labels
// whose "&" marks a mnemonic, the help call with the dialog's context, and the
// run-long combo-box histories (five global ones in Frame.Histories).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/owl/owl_controls.h"
#include "platform/owl/owl_window.h"

// The global history lists, by their index in Frame.Histories.
enum class DlgHistory : u8 { InspectChange = 0, InspectRange = 1, Expression = 2, BreakAddress = 3, Find = 4 };
std::vector<std::string>& dlg_history(DlgHistory which);

// Texts entered into a history combo box: at most 29 characters.
constexpr int kComboTextLimit = 30;
// The entries a history list keeps.
constexpr std::size_t kHistoryEntryMax = 30;

// Where a dialog of size (w, h) goes: centred on `frame` (halvings round
// toward zero), then moved to 0 on a side where it leaves the screen at the
// top or left, or flush with the far edge where it leaves it at the right or
// bottom.
TRect dlg_centred_rect(const TRect& dialog, const TRect& frame, TSize screen);
// Moves the dialog, size unchanged and without repainting, to the centre of
// the main frame (the dialog's parent's frame when there is no main frame).
void CentreOnMainWindow(TWindow& dialog);
// Where a dialog with outer rectangle `dialog` goes by the same rule.
TRect dlg_centre_on_main(const TRect& dialog);

// A text entered into a history list: at most 29 characters, moved to the
// top when it is there already, and at most 30 entries kept.
void win_push_history(std::vector<std::string>& history, std::string text);
// The combo box's text (at most 29 characters) into `buffer`; the entry with
// that text leaves the list, the list is cut below 30 entries, the text goes
// in as entry 0 and into the edit field again.
void PushComboHistory(TComboBox& combo, std::string& buffer);
// A history list into a combo box, and back.
void dlg_load_history(TComboBox& combo, const std::vector<std::string>& history);
void dlg_store_history(const TComboBox& combo, std::vector<std::string>& history);

// The dialog buttons' ids; a dialog run ends with the id of OK or Cancel.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdHelp = 9;

// Opens the help at a context (the dialog's help button, the help request).
void dlg_show_help(u32 context);

class TQNDialog : public TDialog {
 public:
  // caption: UTF-8 source text; client: the client area's size, button row
  // included; ok: the OK button's text (UTF-8). helpContext 0: no Help button.
  TQNDialog(TWindow* parent, std::string_view caption, u32 helpContext, TSize client, std::string_view ok = {});
  const ResponseEntry* Find(u32 message, u32 id) override;
  void SetupWindow() override;
  i64 DefWindowProc(OwlMessage& msg) override;
  // Runs the dialog modally: kIdOk or kIdCancel (or what CloseWindow gave).
  int RunModal();

  virtual void CmOk() { CloseWindow(kIdOk); }
  virtual void CmCancel() { CloseWindow(kIdCancel); }
  void CmHelp() { dlg_show_help(helpContext); }

  // A label (UTF-8, "&" for the mnemonic) for `buddy`, which is made first.
  TStatic* AddLabel(std::string_view text, const TRect& rect, TWindow* buddy = nullptr, u32 id = 0xFFFF);
  TGroupBox* AddGroup(u32 id, std::string_view text, const TRect& rect);
  TCheckBox* AddCheck(u32 id, std::string_view text, const TRect& rect);
  TRadioButton* AddRadio(u32 id, std::string_view text, const TRect& rect);
  // A history combo box with its label on the left.
  TComboBox* AddCombo(u32 id, std::string_view label, int top, int limit = kComboTextLimit);

  TButton* okButton = nullptr;
  TButton* cancelButton = nullptr;
  TButton* helpButton = nullptr;
  u32 helpContext;
  // The dialog being run (the innermost), or null.
  static inline TQNDialog* Running = nullptr;

 protected:
  TSize client_;
};

// The Japanese texts of the dialog buttons.
inline constexpr std::string_view kOkText = "了解";
inline constexpr std::string_view kCancelText = "ｷｬﾝｾﾙ";
inline constexpr std::string_view kHelpText = "ﾍﾙﾌﾟ(&H)";
