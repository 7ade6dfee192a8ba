// The tool-bar settings dialog.
#include "halv80/gui/dlg_toolbar.h"

#include <algorithm>

#include "halv80/engine/cmd_core.h"
#include "halv80/gui/res_strings.h"
#include "halv80/gui/win_frame.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_system.h"

namespace {

constexpr u32 kIdDescription = 100;
constexpr u32 kIdCatalogue = 101;
constexpr u32 kIdDefinition = 102;
constexpr u32 kIdReset = 103;
constexpr u32 kIdAdd = 104;
constexpr u32 kIdDelete = 105;
constexpr u32 kIdUp = 106;
constexpr u32 kIdDown = 107;
constexpr u32 kHelpToolBar = 655;

// The names of the catalogue's commands (the strings 1000 + id).
struct ToolName {
  i32 id;
  const char* text;
};
constexpr ToolName kToolNames[] = {
    {406, "ﾛｰﾄﾞ"},       {407, "再ﾛｰﾄﾞ"},      {411, "実行"},        {413, "ﾄﾚｰｽ"},       {414, "ｽﾃｯﾌﾟ"},
    {415, "ﾘﾀｰﾝ"},       {416, "ﾌﾞﾚｰｸ"},       {422, "ｳｫｯﾁ"},        {423, "ｲﾝｽﾍﾟｸﾄ"},    {419, "ﾋﾝﾄ"},
    {420, "ﾊﾞｰ位置"},    {400, "色設定"},      {403, "ﾌｫﾝﾄ選択"},    {482, "検索"},       {483, "次を検索"},
    {447, "ﾓｼﾞｭｰﾙ"},     {424, "ﾕｰｻﾞ位置1"},   {425, "ﾕｰｻﾞ位置2"},   {426, "ﾕｰｻﾞ位置3"},  {24361, "ｶｽｹｰﾄﾞ"},
    {24362, "ﾀｲﾙ"},      {409, "貼り付け"},    {410, "ｺﾋﾟｰ"},        {402, "ﾂｰﾙﾊﾞｰ設定"}, {405, "ﾘｻｲｽﾞ"},
    {445, "切り替え"},   {486, "ﾍﾙﾌﾟ"},        {24310, "終了"},
};

constexpr ResponseEntry kCustomTable[] = {
    EvCommand<&TCustomDialog::CmReset>(kIdReset),   EvCommand<&TCustomDialog::CmAdd>(kIdAdd),
    EvCommand<&TCustomDialog::CmDelete>(kIdDelete), EvCommand<&TCustomDialog::CmUp>(kIdUp),
    EvCommand<&TCustomDialog::CmDown>(kIdDown),     EvCommand<&TCustomDialog::CmCatalogue>(kIdCatalogue),
    EvCommand<&TCustomDialog::CmDefinition>(kIdDefinition),
};

}  // namespace

std::size_t tool_catalog_index(i32 id) {
  const auto at = std::find(kToolButtonCatalog.begin(), kToolButtonCatalog.end(), id);
  return at == kToolButtonCatalog.end() ? 1 : std::size_t(at - kToolButtonCatalog.begin());
}

std::string dlg_tool_text(i32 id) {
  if (id == kToolBarSeparator) return host_utf8_to_cp932(Cmd.LanguageJapanese ? "- ｾﾊﾟﾚｰﾀ -" : "- Separator -");
  for (const ToolName& n : kToolNames)
    if (n.id == id) return host_utf8_to_cp932(n.text);
  // an id from a hand-edited project file: shown by its number
  return std::to_string(id);
}

u32 TToolListBox::TranslateKey(u32 vk, bool ctrl) {
  if (ctrl && vk == 'G') vk = VK_DELETE;
  else vk = QNListBox::TranslateKey(vk, ctrl);
  if (vk == VK_DELETE) {
    if (isDefinitionList && GetCount() > 0 && Parent()) Parent()->SendMessage(WM_COMMAND, kIdDelete);
    return 0;
  }
  return vk;
}

TCustomDialog::TCustomDialog(TWindow* parent) : TQNDialog(parent, "ﾂｰﾙﾊﾞｰの設定", kHelpToolBar, TSize{520, 400}) {
  catalogue = new TToolListBox(this, kIdCatalogue, TRect{10, 30, 190, 290}, 0);
  AddLabel("ﾎﾞﾀﾝﾘｽﾄ(&L)", TRect{10, 8, 190, 28}, catalogue);
  definition = new TToolListBox(this, kIdDefinition, TRect{330, 30, 510, 290}, 1);
  AddLabel("ﾂｰﾙﾊﾞｰ定義(&T)", TRect{330, 8, 510, 28}, definition);
  add = new TButton(this, kIdAdd, host_utf8_to_cp932("追加 →(&A)"), TRect{205, 40, 315, 66});
  del = new TButton(this, kIdDelete, host_utf8_to_cp932("← 削除(&D)"), TRect{205, 74, 315, 100});
  up = new TButton(this, kIdUp, host_utf8_to_cp932("上へ(&U)"), TRect{205, 120, 315, 146});
  down = new TButton(this, kIdDown, host_utf8_to_cp932("下へ(&W)"), TRect{205, 154, 315, 180});
  new TButton(this, kIdReset, host_utf8_to_cp932("ﾘｾｯﾄ(&R)"), TRect{205, 200, 315, 226});
  description = new TStatic(this, kIdDescription, host_utf8_to_cp932("説明"), TRect{10, 298, 510, 350});
  for (i32 id : kToolButtonCatalog) catalogue->AddString(dlg_tool_text(id), id);
  for (i32 id : Frame.ToolBarButtons) {
    if (id == kToolBarEnd) break;
    definition->AddString(dlg_tool_text(id), id);
  }
  catalogue->SetSelIndex(0);
  definition->SetSelIndex(definition->GetCount() > 0 ? 0 : -1);
  FollowCatalogue();
}

const ResponseEntry* TCustomDialog::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kCustomTable, message, id)) return e;
  return TQNDialog::Find(message, id);
}

void TCustomDialog::Describe(const TListBox& list) {
  const int i = list.GetSelIndex();
  if (i < 0) return;
  const i32 id = i32(list.GetItemData(i));
  if (id == kToolBarSeparator) description->SetText(host_utf8_to_cp932(Cmd.LanguageJapanese ? "ｾﾊﾟﾚｰﾀ" : "Separator"));
  else description->SetText(res_string(u16(id)));
}

void TCustomDialog::FollowCatalogue() {
  add->EnableWindow(true);
  del->EnableWindow(false);
  up->EnableWindow(false);
  down->EnableWindow(false);
  Describe(*catalogue);
}

void TCustomDialog::FollowDefinition() {
  const int i = definition->GetSelIndex();
  add->EnableWindow(false);
  del->EnableWindow(i >= 0);
  up->EnableWindow(i > 0);
  down->EnableWindow(i >= 0 && i + 1 < definition->GetCount());
  Describe(*definition);
}

void TCustomDialog::CmCatalogue() { FollowCatalogue(); }

void TCustomDialog::CmDefinition() { FollowDefinition(); }

void TCustomDialog::Append(i32 id) { definition->AddString(dlg_tool_text(id), id); }

void TCustomDialog::CmAdd() {
  const int from = catalogue->GetSelIndex();
  if (from < 0) return;
  if (std::size_t(definition->GetCount()) >= kToolBarDefinitionMax) {
    owl_beep();  // the project file keeps no more
    return;
  }
  const i32 id = i32(catalogue->GetItemData(from));
  const int at = definition->GetSelIndex();
  const int to = at < 0 ? definition->GetCount() : at + 1;
  definition->InsertString(dlg_tool_text(id), to, id);
  definition->SetSelIndex(to);
}

void TCustomDialog::CmDelete() {
  const int at = definition->GetSelIndex();
  if (definition->GetCount() == 1 || at < 0) return;  // the last entry stays
  definition->DeleteString(at);
  definition->SetSelIndex(std::min(at, definition->GetCount() - 1));
  FollowDefinition();
}

void TCustomDialog::CmUp() {
  const int at = definition->GetSelIndex();
  if (at <= 0) return;
  const i32 id = i32(definition->GetItemData(at));
  definition->DeleteString(at);
  definition->InsertString(dlg_tool_text(id), at - 1, id);
  definition->SetSelIndex(at - 1);
  FollowDefinition();
}

void TCustomDialog::CmDown() {
  const int at = definition->GetSelIndex();
  if (at < 0 || at + 1 >= definition->GetCount()) return;
  const i32 id = i32(definition->GetItemData(at));
  definition->DeleteString(at);
  definition->InsertString(dlg_tool_text(id), at + 1, id);
  definition->SetSelIndex(at + 1);
  FollowDefinition();
}

void TCustomDialog::CmReset() {
  definition->ClearList();
  for (i32 id : kDefaultToolBarButtons) Append(id);
  definition->SetSelIndex(0);
  FollowDefinition();
}

void TCustomDialog::CmOk() {
  std::vector<i32>& buttons = Frame.ToolBarButtons;
  buttons.clear();
  for (int i = 0; i < definition->GetCount(); ++i) buttons.push_back(i32(definition->GetItemData(i)));
  buttons.push_back(kToolBarEnd);
  CloseWindow(kIdOk);
}

bool dlg_toolbar_show(TWindow* parent) {
  TCustomDialog dialog(parent);
  return dialog.RunModal() == kIdOk;
}
