// The tool-bar settings dialog (resource 112, "ﾂｰﾙﾊﾞｰの設定"): the catalogue
// of buttons beside the tool bar's definition, with Add, Delete, Up, Down and
// Reset. OK writes the definition into Frame.ToolBarButtons; the caller then
// fills the tool bar again, and the next layout save puts it into the
// project file's "Tool Bar" entry.
#pragma once

#include <array>
#include <string>

#include "halv80/gui/dlg_controls.h"
#include "halv80/gui/dlg_frame.h"

// The buttons on offer, -1 a separator, in the order listed.
inline constexpr std::array<i32, 29> kToolButtonCatalog = {
    -1,  406, 407, 411, 413, 414, 415, 416, 422, 423,   419,   420, 400, 403, 482,
    483, 447, 424, 425, 426, 24361, 24362, 409, 410, 402, 405, 445, 486, 24310};
// The tool bar Reset gives.
inline constexpr std::array<i32, 15> kDefaultToolBarButtons = {406, 407, -1,  411, 413, 414, 415, 416,
                                                               -1,  422, 423, -1,  419, -1,  420};
// The definition holds at most this many entries (the project file's limit).
constexpr std::size_t kToolBarDefinitionMax = 63;

// The catalogue position of a command id; 1 (the first command) when it is not there.
std::size_t tool_catalog_index(i32 id);
// A list entry's text (CP932): the command's name, or the separator's.
std::string dlg_tool_text(i32 id);

class TToolListBox : public QNListBox {
 public:
  TToolListBox(TWindow* parent, u32 id, const TRect& rect, u32 definition)
      : QNListBox(parent, id, rect), isDefinitionList(definition) {}
  // As QNListBox, and Ctrl+G is Delete; Delete in the definition list runs
  // the dialog's Delete command.
  u32 TranslateKey(u32 vk, bool ctrl) override;
  u32 isDefinitionList;
};

class TCustomDialog : public TQNDialog {
 public:
  explicit TCustomDialog(TWindow* parent);
  const ResponseEntry* Find(u32 message, u32 id) override;
  void CmOk() override;
  void CmReset();
  void CmAdd();
  void CmDelete();
  void CmUp();
  void CmDown();
  void CmCatalogue();   // the catalogue's selection changed or it was clicked
  void CmDefinition();  // the same for the definition list

  TToolListBox* catalogue;   // 101
  TToolListBox* definition;  // 102
  TButton* add;
  TButton* del;
  TButton* up;
  TButton* down;
  TStatic* description;      // 100

 private:
  // Button states for the list the user works in, and the selected entry's description.
  void FollowCatalogue();
  void FollowDefinition();
  void Describe(const TListBox& list);
  void Append(i32 id);
};

// Runs the dialog over `parent`: true on OK, with Frame.ToolBarButtons
// rewritten (the caller fills the tool bar again).
bool dlg_toolbar_show(TWindow* parent);
