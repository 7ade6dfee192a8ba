// Start-up error texts and their report.
#include "halv80/engine/emu_startup.h"

#include <array>
#include <iterator>
#include <string_view>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_boot.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_hardware.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tgt_mmu.h"
#include "platform/host/host_file.h"
#include "platform/host/host_text.h"
#include "rz7bios/rz7bios.h"

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

namespace {

constexpr u16 kResetKindBoot = 5;
constexpr u16 kResetKindHold = 1;       // no-monitor RESET: hold the target in reset...
constexpr u16 kResetKindRelease = 85;   // ...and let it go again
constexpr u8 kRegTraceFrameLow = 56;    // non-zero once the trace hardware runs again
constexpr u32 kTraceRestartWaitMs = 3000;
constexpr u16 kResetDelayUnitMs = 17;
constexpr u8 kOpcodeRet = 0xC9;


// The configuration file, once per program run. 0, or the error reported.
u16 read_configuration() {
  if (Startup.ConfigRead) return 0;
  emu_set_rom_layout(RomLayout{});  // every field undefined
  const u16 toolchain = Sw.ToolchainKind;
  Sw.ToolchainKind = 16;
  const u16 n = cfg_read_config(CpuConfigFile);
  Sw.ToolchainKind = toolchain;
  // a format error is error 0: the failure mark tells it from success
  if (n != 0 || Startup.Failed) return n;
  Startup.ConfigRead = 1;
  return 0;
}

// Reports start-up error n and returns it.
u16 fail(u16 n, u16 mode) {
  emu_startup_error(n, mode);
  return n;
}

}  // namespace

int emu_open_board_file(std::string& kept, std::string_view path) {
  if (!kept.empty()) return sup_file_open(kept, kFileModeRead);
  if (path.empty()) return -1;
  const int handle = sup_file_open(path, kFileModeRead);
  if (handle != -1) kept = sup_full_path(path);
  return handle;
}

u16 emu_startup_sequence(u16 mode) {
  Startup.InProgress = 1;
  Startup.Failed = 0;
  EmuArea.MonitorRunning = 0;
  Run.TargetRun = 0;
  run_set_execution_state(kExecStopped);

  if (const u16 n = read_configuration(); n != 0 || Startup.Failed) return n;

  const SupFileCloser monitor{emu_open_board_file(
      Startup.MonitorFile, Startup.MonitorFile.empty() ? emu_find_on_path(kMonitorFileName) : std::string())};
  if (monitor.handle == -1) return fail(kErrMonitorNotFound, mode);
  if (const u16 n = emu_check_monitor_header(monitor.handle); n != 0) return fail(n, mode);
  EmuInfo.MonitorCodeAddress = u16(EmuArea.Layout.monitor_code_address);
  EmuInfo.MonitorSize = u16(kMonitorBlockSize * Cfg.DataBusWidth);
  EmuInfo.MonitorStack = Cfg.MonitorInitStack;
  if (emu_init_library() != 0) return fail(kErrHardware, mode);

  const u16 debug_mode = EmuArea.SystemDebugMode;
  EmuArea.SystemDebugMode = 1;
  if (emu_write_monitor_image(monitor.handle) != 0) {
    EmuArea.SystemDebugMode = debug_mode;
    return fail(kErrHardware, mode);
  }

  // While the monitor boots, the target's reset vector jumps to it. The
  // user's three bytes there are kept and put back once it answers.
  const u32 code = EmuArea.Layout.monitor_code_address;
  std::array<u8, kResetVectorBytes> saved{};
  const bool patch = emu_area_span(0).kind != kAreaNone && code != 0;
  if (patch) {
    for (u16 i = 0; i < kResetVectorBytes; ++i) saved[i] = emu_area_read_byte(i);
    emu_area_write_byte(0, kOpcodeJp);
    emu_area_write_byte(1, u8(code));
    emu_area_write_byte(2, u8(code >> 8));
    // an NMI while the monitor boots returns at once
    emu_area_write_byte(Cfg.CpuType != kCpu8080 ? kNmiVectorZ80 : kNmiVector8080, kOpcodeRet);
  }
  emu_monitor_bracket(kBracketAfter);
  emu_mon_enable(1);
  EmuArea.SystemDebugMode = debug_mode;

  if (const u16 n = emu_boot_monitor(mode); n != 0) return n;

  Co.PendingError = 0;
  if (Sw.NoMonitorMode != 0) emu_wait(kNoMonitorSettleMs);
  EmuArea.SystemDebugMode = 1;
  if (patch && (Sw.NoMonitorMode == 0 || (Sw.NoMonitorOption & 1) != 0))
    for (u16 i = 0; i < kResetVectorBytes; ++i) emu_area_write_byte(i, saved[i]);
  EmuArea.SystemDebugMode = debug_mode;

  Run.Regs.pc = 0;
  Run.Regs.sp = Cfg.MonitorInitStack;
  if (Sw.NoMonitorMode == 0) {
    emu_req_set_stack(Cfg.MonitorInitStack);
    EmuArea.MonitorRunning = 1;
  }
  Startup.InProgress = 0;
  if (Cfg.MmuKind != kMmuNone) {
    tgt_reset_window_table();
    Startup.FirstFreeAddress = (code + kMonitorBlockSize + Cfg.PageMask) & ~u32(Cfg.PageMask);
  }
  // what a go and stop add to the run-time counter, which every run's count
  // leaves out (nothing is measured without a monitor)
  emu_measure_overhead();
  return 0;
}

u16 emu_startup(u16 mode) {
  const u16 n = emu_startup_sequence(mode);
  if (Startup.Failed && n != kErrMonitorNotRunning && n != kErrMonitorBoot) cmd_exit_forever();
  return n;
}

void sup_restart_emulator() {
  run_set_execution_state(kExecStopped);
  Cmd.AbortFlag = 0;
  co_call_guarded([] {
    if (Sup.StartupFailure != 0) return;
    sup_watchdog_limit(kMonitorReplyLimitMs);
    emu_setup_hardware();
    emu_startup_sequence(1);
  });
}

void cmd_init() {
  emu_setup_hardware();
  Run.StopPending = 0;
  sup_watchdog_limit(kMonitorReplyLimitMs);
  Co.PendingError = 0;
  Cmd.Radix = 16;
  emu_startup(1);
  con_reset_window();
  con_request_refresh();
}

void cmd_reset() {
  if (Sw.NoMonitorMode == 0 && Run.TargetRun == 0) {
    cmd_init();
    return;
  }
  cmd_skip_blanks();
  if (*Cmd.ScannerCursor == '\0') {
    if (Sw.NoMonitorMode != 0 && (Sw.NoMonitorOption & 1) == 0) {
      _Q_trg_rst(kResetKindHold, 1);
      emu_wait(10);
      emu_channel_reset();
      _Q_trg_rst(kResetKindRelease, 1);
      if (Run.TraceHwLevel != 0) {
        const u32 start = sup_tick_count();
        while (_Q_rdreg(kRegTraceFrameLow) == 0 && sup_tick_count() - start < kTraceRestartWaitMs) emu_wait(1);
        Run.ResetTick = sup_tick_count();
        Run.DisplayRefresh |= kRefreshRunStatus;
      }
    } else {
      _Q_trg_rst(kResetKindBoot, 0);
    }
    return;
  }
  const u32 delay = cmd_get_number_decimal();
  u32 kind = kResetKindBoot;
  if (!Cmd.AbortFlag && *Cmd.ScannerCursor == ',') {
    ++Cmd.ScannerCursor;
    kind = cmd_get_number_decimal();
  }
  cmd_skip_blanks();
  if (Cmd.AbortFlag || *Cmd.ScannerCursor != '\0' || delay > 0xFFFF || kind > 0xFFFF) {
    cmd_error(kMsgData);
    return;
  }
  // Pulses until a key is pressed: for watching the target's reset on a scope.
  do {
    _Q_trg_rst(u16(kind), 0);
    if (delay != 0) emu_wait(u16(delay * kResetDelayUnitMs > 0xFFFF ? 0xFFFF : delay * kResetDelayUnitMs));
  } while (key_poll() == 0);
}

void cmd_system_debug_mode() {
  const u16 on = cmd_parse_on_off();
  if (Cmd.AbortFlag) return;
  if (on != 2) EmuArea.SystemDebugMode = on;
  con_puts("\nSystem Debug Mode = O");
  con_puts(EmuArea.SystemDebugMode ? "N" : "FF");
}
