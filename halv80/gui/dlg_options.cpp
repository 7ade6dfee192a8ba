// The options dialog.
#include "halv80/gui/dlg_options.h"

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/symbols/sym_store.h"

namespace {

constexpr u32 kIdModeGroup = 100;
constexpr u32 kIdMode2 = 101;
constexpr u32 kIdMode1 = 102;
constexpr u32 kIdMode0 = 103;
constexpr u32 kIdRegMem = 104;
constexpr u32 kIdCase = 105;
constexpr u32 kHelpOptions = 509;

constexpr ResponseEntry kOptTable[] = {
    EvCommand<&TOptDlg::CmMode0>(kIdMode0),
    EvCommand<&TOptDlg::CmMode1>(kIdMode1),
    EvCommand<&TOptDlg::CmMode2>(kIdMode2),
};

// The register/memory choice exists on Z80 targets only.
bool reg_mem_offered() { return Cfg.CpuType == kCpuZ80; }

}  // namespace

TOptDlg::TOptDlg(TWindow* parent) : TQNDialog(parent, "各種状態の設定", kHelpOptions, TSize{380, 200}) {
  AddGroup(kIdModeGroup, "実行ﾓｰﾄﾞ(&M)", TRect{10, 8, 370, 64});
  mode[0] = AddRadio(kIdMode0, "ﾓｰﾄﾞ0(&0)", TRect{20, 28, 130, 54});
  mode[1] = AddRadio(kIdMode1, "ﾓｰﾄﾞ1(&1)", TRect{135, 28, 245, 54});
  mode[2] = AddRadio(kIdMode2, "ﾓｰﾄﾞ2(&2)", TRect{250, 28, 360, 54});
  regMem = AddCheck(kIdRegMem, "ﾚｼﾞｽﾀ/ﾒﾓﾘ選択(&R)", TRect{20, 72, 360, 96});
  caseSense = AddCheck(kIdCase, "大文字/小文字判別(&C)", TRect{20, 100, 360, 124});
  const u16 m = ::Run.RunModeWord & kExecModeMask;
  if (m <= 2) mode[m]->SetCheck(BF_CHECKED);
  regMem->EnableWindow(reg_mem_offered());
  regMem->SetCheck(reg_mem_offered() && Option.RegisterMemoryDisplay ? BF_CHECKED : BF_UNCHECKED);
  caseSense->SetCheck(SymFlag.CaseSensitive ? BF_CHECKED : BF_UNCHECKED);
}

const ResponseEntry* TOptDlg::Find(u32 message, u32 id) {
  if (const ResponseEntry* e = owl_search_table(kOptTable, message, id)) return e;
  return TQNDialog::Find(message, id);
}

void TOptDlg::Choose(int m) {
  for (int i = 0; i < 3; ++i) mode[i]->SetCheck(i == m ? BF_CHECKED : BF_UNCHECKED);
}

void TOptDlg::CmOk() {
  for (u16 i = 0; i < 3; ++i) {
    // the upper bits of the word are kept; with no radio checked the mode stays
    if (mode[i]->GetCheck() == BF_CHECKED) ::Run.RunModeWord = u16((::Run.RunModeWord & ~kExecModeMask) | i);
  }
  if (reg_mem_offered()) Option.RegisterMemoryDisplay = regMem->GetCheck() == BF_CHECKED ? 1 : 0;
  SymFlag.CaseSensitive = caseSense->GetCheck() == BF_CHECKED ? 1 : 0;
  CloseWindow(kIdOk);
}

void dlg_options_show(TWindow* parent) {
  TOptDlg dialog(parent);
  dialog.RunModal();
}
