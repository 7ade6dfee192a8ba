// The module dialog.
#include "halv80/gui/dlg_module.h"

#include <algorithm>

#include "halv80/gui/gui_engine.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"

namespace {

constexpr u32 kIdList = 100;
constexpr u32 kHelpModule = 650;
constexpr u32 kChoiceCountMax = 0xFFFF;

// The module's file name as the store keeps it; empty when there is none.
std::string module_name(u16 m) {
  const ModuleRecord* r = sym_module_record(m);
  if (r == nullptr) return {};
  char name[kModuleNameSize];
  const std::size_t n = sym_name_text(r->file_name.get(), name, sizeof name);
  return std::string(name, std::min(n, sizeof name - 1));
}

}  // namespace

ModuleDialog::ModuleDialog(TWindow* parent) : TQNDialog(parent, "ﾓｼﾞｭｰﾙ", kHelpModule, TSize{360, 300}) {
  list = new QNListBox(this, kIdList, TRect{10, 30, 350, 250});
  AddLabel("ﾓｼﾞｭｰﾙ名(&M)", TRect{10, 8, 350, 28}, list);
  RequestBlock& r = Co.Request;
  const u32 count = std::min<u32>(r.p1 & 0xFFFF, kChoiceCountMax);
  const u16* order = static_cast<const u16*>(r.p2_ptr);
  for (u32 i = 0; order && i < count; ++i) list->AddString(module_name(order[i]), order[i]);
  const u32 current = r.p1 >> 16;
  list->SetSelIndex(current < count ? int(current) : 0);
  r.p1 = (r.p1 & 0xFFFF) | u32(kNoChoice) << 16;  // what Cancel leaves
}

void ModuleDialog::SetupWindow() {
  TQNDialog::SetupWindow();
  list->SetFocus();
}

void ModuleDialog::CmOk() {
  const int chosen = list->GetSelIndex();
  if (chosen < 0) return;
  RequestBlock& r = Co.Request;
  r.p1 = (r.p1 & 0xFFFF) | u32(u16(chosen)) << 16;
  CloseWindow(kIdOk);
}

void dlg_module_show(TWindow& parent) {
  ModuleDialog dialog(&parent);
  dialog.RunModal();
}
