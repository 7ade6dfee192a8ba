// The command core: cmd_main (the command side's entry and its command loop),
// the CommandTable from command tokens 0xA0..0xEF to handlers, the dispatcher,
// and the reporting of failures by message number. Handlers take no arguments:
// they read their operands from CommandLine through ScannerCursor.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

constexpr std::size_t kCommandLineSize = 1024;
constexpr std::size_t kStartupArgsSize = 8192;
constexpr u8 kFirstCommandToken = 0xA0;
constexpr u8 kLastCommandToken = 0xEF;
constexpr u16 kNoToken = 0;  // dispatch of a line that matched no command word

constexpr u16 kMsgAddress = 0;          // "\n アドレス指定が誤りです"
constexpr u16 kMsgData = 1;             // "\n データ指定が誤りです"
constexpr u16 kMsgFormat = 2;           // "\n コマンドのフォーマットが不正です"
constexpr u16 kMsgChecksum = 3;         // "\n チェックサム エラー"
constexpr u16 kMsgVerify = 8;           // "\n Ｖｅｒｉｆｙエラー"
constexpr u16 kMsgCommandFormat = 16;   // "\n コマンドのフォーマットが不正です"
constexpr u16 kMsgNoFile = 35;          // "\n 指定ファイルがありません"
constexpr u16 kMsgFileFormat = 38;      // "\n ファイル フォーマットが不正です"
constexpr u16 kMsgCannotCreate = 39;    // "\n ファイルがクリエートできません"
constexpr u16 kMsgDiskFull = 40;        // "\n ディスクがいっぱいです"
constexpr u16 kMsgNoDebugInfo = 43;     // "\n デバッグ情報がありません"
constexpr u16 kMsgDebugFormat = 44;     // "\n デバッグ情報のフォーマットが不正です"
constexpr u16 kMsgStoreFull = 45;       // "\n デバッグ情報領域がいっぱいです（起動時の－Ｂオプション参照）"
constexpr u16 kMsgCommandError = 34;    // "\n コマンド エラー"
constexpr u16 kMsgInternalError = 114;  // "\nＱＵＥＮＤＡＲの内部エラー"

struct CmdState {
  char CommandLine[kCommandLineSize]{};  // the line being executed
  const char* ScannerCursor = nullptr;   // into CommandLine; set by cmd_reset_state()
  u16 AbortFlag = 0;                     // 1 after any reported error
  u16 PromptChar = '>';
  u16 Radix = 16;                        // 16 or 10
  u16 LastToken = 0;                     // the token dispatched last (the help key asks about it)
  u16 LanguageJapanese = 1;              // 1 Japanese texts, 0 English
  char StartupArgs[kStartupArgsSize]{};  // start-up command line, left by the window side
  char SwitchLine[kStartupArgsSize]{};   // its copy, where the switches are parsed
  char BannerName[64]{};                 // the three banner texts, left by the window side
  char BannerVersion[16]{};
  char BannerNotice[256]{};
  std::vector<std::string> DeferredNotices;  // shown before the next prompt (cmd_defer_notice)
};
extern CmdState Cmd;

// Notices that wait for the next prompt: at most this many.
constexpr std::size_t kDeferredNoticesMax = 8;

// What start-up calls beyond the command core: the emulator's start-up, the
// symbol store and the saved-state file, which live above the engine.
// The program fills them in before the command side starts; an empty entry
// is skipped (the command core's own tests run without an emulator).
struct CmdLinks {
  u16 (*emulator_startup)(u16 mode) = nullptr;  // 0, or the start-up failed
  void (*symbol_store_setup)() = nullptr;
  void (*state_file_load)() = nullptr;
  bool (*state_file_save)() = nullptr;    // false: the state could not be kept
};
extern CmdLinks Links;

// Start-up values of the command core (the links are emptied).
void cmd_reset_state();

// Makes `text` (cut to fit) the line being executed, with the scanner at its
// start.
void cmd_set_command_line(std::string_view text);

// The command side's entry: start-up, then the command loop forever.
void cmd_main();
// Runs one command token (kNoToken, or any token outside 0xA0..0xEF, answers
// message 34); nothing runs while CommandLine is empty.
void cmd_dispatch(u16 token);
// The handler of every unused slot: message 34.
void cmd_unknown();
// Reports message N and sets AbortFlag. On the window side it only leaves N + 1
// in PendingError. Returns.
void cmd_error(u16 n);
// Prints message N on the command side; nothing on the window side.
void cmd_message(u16 n);
// Keeps `text` (CP932, with its own line break) to be printed before the
// next prompt, for a fault found where nothing may be printed (while the
// code pane is drawn, or on the window side); beyond kDeferredNoticesMax
// waiting notices a new one is dropped.
void cmd_defer_notice(std::string_view text);
// Reports message N and ends the command. Does not return.
[[noreturn]] void cmd_fail(u16 n);
// cmd_fail(114) with output back in the command pane. Does not return.
[[noreturn]] void cmd_internal_error();
// The window side's last call when the frame closes: an open redirect file
// is closed (a new one takes its name), every breakpoint's address list is
// freed.
void cmd_exit_cleanup();
// Posts the exit request with wait kind 5, for good. Does not return.
[[noreturn]] void cmd_exit_forever();
// ON/OFF operand: end of line 2, "OFF" 0, "ON" 1; anything else message 2 and 0.
u16 cmd_parse_on_off();
// An empty routine that some commands call with 0 or 3.
void cmd_nop_hook(u16 n);
