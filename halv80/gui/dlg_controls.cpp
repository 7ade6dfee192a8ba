// The dialogs' own controls.
#include "halv80/gui/dlg_controls.h"

u32 dlg_list_key(u32 vk, bool ctrl) {
  if (!ctrl) return vk;
  switch (vk) {
    case 'C': return VK_NEXT;
    case 'E': return VK_UP;
    case 'R': return VK_PRIOR;
    case 'X': return VK_DOWN;
    default: return vk;
  }
}

void TEditx::SetupWindow() {
  TEdit::SetupWindow();
  owl_enable_window(*this, enabled_);  // as set before the field was made
}
