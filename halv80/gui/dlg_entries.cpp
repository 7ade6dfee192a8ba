// The dialogs behind the engine's requests.
#include "halv80/gui/dlg_entries.h"

#include "halv80/engine/cmd_core.h"
#include "halv80/gui/win_requests.h"
#include "platform/host/host_text.h"
#include "platform/owl/owl_app.h"

void dlg_register_services() {
  RequestHooks.moduleDialog = dlg_module_show;
  RequestHooks.optionsDialog = dlg_options_show;
  if (Cmd.LanguageJapanese)
    owl_set_box_button_texts(OwlBoxButtonTexts{"OK", host_utf8_to_cp932(kCancelText), host_utf8_to_cp932("はい(&Y)"),
                                               host_utf8_to_cp932("いいえ(&N)")});
  else
    owl_set_box_button_texts(OwlBoxButtonTexts{});
}
