// PRMPT, N, VER, EXIT, TIME, CD and DIR.
#include "halv80/engine/cmd_small.h"

#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_paths.h"
#include "halv80/engine/win_codes.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_text.h"
#include "platform/host/host_time.h"

constinit LapState Lap;

namespace {

constexpr u16 kMsgSubProcess = 19;   // "\tサブ プロセス セグメント 　＝"
constexpr u16 kMsgNoDirectory = 103; // "\n ディレクトリの指定が違います"

// A UTF-8 text of this file as the CP932 bytes the console shows.
std::string sjis(std::string_view utf8) { return host_utf8_to_cp932(utf8); }

bool word_ends(char c) { return u8(c) <= 0x20; }

// The rest of the line after blanks, without trailing blanks.
std::string_view operand_text() {
  cmd_skip_blanks();
  std::string_view text = Cmd.ScannerCursor;
  while (!text.empty() && u8(text.back()) <= 0x20) text.remove_suffix(1);
  return text;
}

}  // namespace

void ensure_current_directory() {
  if (Sw.CurrentDirectory[0] != '\0') return;
  if (!sup_get_current_dir(Sw.CurrentDirectory)) Sw.CurrentDirectory[0] = '\0';
}

namespace {

// The path an operand names: as it is when it has a drive or starts at the
// root (there are no drive letters here), else below the engine's directory.
std::string form_path(std::string_view operand) {
  if ((operand.size() >= 2 && operand[1] == ':') || operand.starts_with("\\")) return std::string(operand);
  std::string path = Sw.CurrentDirectory;
  if (!sup_ends_in_backslash(path)) path += '\\';
  path += operand;
  return path;
}

}  // namespace

void cmd_set_prompt() {
  cmd_skip_blanks();
  if (u8(*Cmd.ScannerCursor) > 0x20) Cmd.PromptChar = u8(*Cmd.ScannerCursor);
}

void cmd_radix() {
  cmd_skip_blanks();
  const char* p = Cmd.ScannerCursor;
  u16 radix = 0;
  if (p[0] == '1' && p[1] == '6' && word_ends(p[2])) radix = 16;
  if (p[0] == '1' && p[1] == '0' && word_ends(p[2])) radix = 10;
  if (radix == 0) {
    cmd_error(kMsgData);
    return;
  }
  Cmd.Radix = radix;
  con_request_refresh();
  key_post_cursor_hint();
}

void cmd_version() {
  con_printf("\n\n%s %s %s\n", Cmd.BannerName, Cmd.BannerVersion, Cmd.BannerNotice);
  if (Sw.SubProcessKbytes != 0) {
    con_puts(sup_load_message(kMsgSubProcess));
    con_printf(" %04xH ( %d Kbyte )\n", 0, Sw.SubProcessKbytes / 64);
  }
  const u32 megabits = 1u << (EmuInfo.MemorySizeCode & 31);
  const u32 banks = Run.TraceHwLevel == 2 ? 4 : 2;
  if (Cmd.LanguageJapanese) {
    con_printf(sjis("\tＱＵＥＮＤＡＲ-ＲＺ７ Model%d   (Mem= %dMbit X %d)"), EmuInfo.Model, megabits, banks);
    con_printf(sjis("\n\tモニタ コード領域=%04xH   サイズ=%04xH(%d)"), EmuInfo.MonitorCodeAddress,
               EmuInfo.MonitorSize, EmuInfo.MonitorSize);
    con_printf(sjis("\n\tモニタ イニシャルスタック=%04x\n"), EmuInfo.MonitorStack);
  } else {
    con_printf("\tQUENDAR-RZ7 Model%d  (Mem= %dMbit X %d)", EmuInfo.Model, megabits, banks);
    con_printf("\n\tCode area for monitor=%04xH   size=%04xH(%d)", EmuInfo.MonitorCodeAddress,
               EmuInfo.MonitorSize, EmuInfo.MonitorSize);
    con_printf("\n\tInit. Stack for monitor=%04x\n", EmuInfo.MonitorStack);
  }
}

void cmd_exit() {
  cmd_skip_blanks();
  Co.Request.p1 = kExitAsk;
  if (*Cmd.ScannerCursor == '!') {
    ++Cmd.ScannerCursor;
    Co.Request.p1 = kExitWithoutAsking;
  }
  co_post_request(RequestCode::Exit);
}

void PrintTimeStamp(u16 reset) {
  const HostLocalTime t = host_local_time();
  // the lap runs on the monotonic tick: it never goes back at midnight
  const u32 now = host_tick_ms();
  if (reset || !Lap.HasLapBase) {
    Lap.LapBase = now;
    Lap.HasLapBase = 1;
  }
  const u32 lap = now - Lap.LapBase;
  con_printf("\n%02d:%02d:%02d.%03d", t.hour, t.minute, t.second, t.millisecond);
  con_printf("  (LapTime= %d.%03d sec)", lap / 1000, lap % 1000);
}

void cmd_time() {
  cmd_skip_blanks();
  PrintTimeStamp(cmd_match_keyword("CLR") == 0 ? 1 : 0);
}

void cmd_cd() {
  ensure_current_directory();
  const std::string_view operand = operand_text();
  if (!operand.empty()) {
    const std::string path = form_path(operand);
    if (!sup_is_directory(path) || !sup_canonical_dir(path)) {
      cmd_error(kMsgNoDirectory);
      return;
    }
  }
  con_printf("\n%s", sup_path_for_display(Sw.CurrentDirectory).c_str());
}

void cmd_dir() {
  ensure_current_directory();
  const std::string_view operand = operand_text();
  std::string pattern = operand.empty() ? std::string(Sw.CurrentDirectory) : form_path(operand);
  if (sup_is_directory(pattern)) {
    if (!sup_ends_in_backslash(pattern)) pattern += '\\';
    pattern += "*.*";
  }
  con_printf("\n ## %s", sup_path_for_display(pattern).c_str());
  std::vector<HostDirEntry> entries;
  if (!sup_list_directory(pattern, entries)) return;
  Paging.ListingLineCount = 1;
  for (const HostDirEntry& e : entries) {
    if (con_line_break_paged()) break;
    con_printf("%-14s", e.name);
    if (e.is_directory) con_puts(" <DIR>");
  }
}
