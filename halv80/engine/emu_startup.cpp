// Start-up error texts and their report.
#include "halv80/engine/emu_startup.h"

#include <iterator>
#include <string_view>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/sup_messages.h"
#include "platform/host/host_text.h"

StartupState Startup;
constinit EmulatorInfo EmuInfo;

namespace {

struct StartupErrorText {
  u16 number;
  const char* english;
  const char* japanese;  // nullptr: as the English one
};

// ORDER: error number. Numbers not listed have no text.
constexpr StartupErrorText kStartupErrors[] = {
    {0, "\nWrong configuration file(QQN%s.CFG) format\nQQN%s.CFG:",
     "\n環境ファイル(QQN%s.CFG)のフォーマットが異常です\nQQN%s.CFG:"},
    {1, "\nNot found Configuration file(QQN%s.CFG)", "\n環境ファイル(QQN%s.CFG)が見つかりません"},
    {2, "\nOverlap monitor stack area and ROM area", "\nモニタが使用するスタックの初期値がＲＯＭ領域と重複しています"},
    {3, "\nCan't use USER NMI with SHADOW MODE", "\nシャドウモードではユーザーＮＭＩは使用できません"},
    {4, "\nOverlap ROMs area", "\nＲＯＭ領域が重複しています"},
    {5, "\nWrong monitor code address", "\nモニタのコードアドレスの指定が間違いです"},
    {6, "\nIllegal monitor file(MON%s.QQN)", "\nモニタファイル(MON%s.QQN)が異常です"},
    {7, "\nThe CPU specified with MON80.ASM and BANK(QQN80.CFG) is different",
     "\nターゲットCPUのタイプとBANK指定されたCPUが違います"},
    {12, "\nMonitor program (MON80.QQN) not found!", "\nモニタプログラム(MON80.QQN)が見つかりません！"},
    {13, "\nWait Monitor(CPU) RUN!", nullptr},
    {14, "\nMonitor Boot Error!", nullptr},
    {19, "\nExt-emulation RAM INVALID", "\n拡張エミュレーションRAMの設定が不正です"},
    {20, "\nHardware trouble. Please check DIPSW,CABLE,CONNECTOR and etc.",
     "\nハードウェアが異常です。ディップスイッチ，ケーブル等を調べてください！"},
    {21, "\nIllegal Option : ", "\n不正なオプション指定 : "},
    {22, "\n PC-Card Driver not found", "\n PC-カード ドライバが見つかりません"},
    {23, "\n PC-Card is not inserted", "\n PC-カードが挿入されていません"},
    {24, "\n Failure PC-Card IRQ configuration", "\n PC-カードの割り込みが使用できません"},
    {25, "\n Can't use only UROM-probe without LROM-probe", "\n LROMプローブなしで、UROMプローブだけの使用はできません"},
    {26, "\n File <rz7_00.hwf> can't open!", "\n <rz7_00.hwf> がオープンできません"},
    {27, "\n PCI-I/F Driver is not found", "\n PCI-I/F ドライバが見つかりません"},
    {28, "\n PCI-I/F Card is not found", "\n PCI-I/F カードが見つかりません"},
    {29, "\n Check JTAG-CN conection and target power", "\n JTAG-CN 接続　および　ターゲット電源をチェックしてください"},
    {30, "\n Not definition ROM1 TYPE", "\n ROM1 TYPEが定義されていません"},
    {31, "\n Registry Error", "\n レジストリエラー"},
    {32, "\n Not support specified CPU", "\n 指定したCPUはサポートされていません"},
};

}  // namespace

std::string emu_startup_error_text(u16 n) {
  for (const StartupErrorText& e : kStartupErrors) {
    if (e.number != n) continue;
    const char* utf8 = (Cmd.LanguageJapanese && e.japanese) ? e.japanese : e.english;
    std::string text;
    for (std::string_view rest = utf8; !rest.empty();) {
      if (rest.starts_with("%s")) {
        text += "80";
        rest.remove_prefix(2);
      } else {
        text += rest.front();
        rest.remove_prefix(1);
      }
    }
    return host_utf8_to_cp932(text);
  }
  return {};
}

void emu_startup_error(u16 n, u16) {
  std::string text = emu_startup_error_text(n);
  Sup.StartupFailure = 1;
  Startup.Failed = 1;
  if (n == 0) text += Startup.ConfigLine;
  if (n == 13) Sup.StartupFailure = 2;  // the user may wait for the monitor
  if (n == 20) Startup.DriverDialog = 1;
  if (n == kStartupErrorIllegalOption)
    for (const char* p = Cmd.ScannerCursor; p && u8(*p) >= 0x21; ++p) text += *p;
  sup_show_error_box(0, text);
}
