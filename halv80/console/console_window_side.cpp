// The console runner's window side.
#include "halv80/console/console_window_side.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/version.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_text.h"

namespace {


ConsoleWindowSide* Current = nullptr;  // receives the message boxes

constexpr u8 kEscape = 0x1B;
constexpr u32 kInterruptAfterMs = 2000;  // a command busy this long with input waiting gets ESC

// A console line as plain text: colour escapes and attribute resets dropped.
std::string plain_text(std::string_view cp932) {
  std::string text;
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const u8 c = u8(cp932[i]);
    if (c == 0xFF) {
      // an escape takes the next byte with it when that is a colour code
      if (i + 1 < cp932.size() && u8(cp932[i + 1]) >= 1 && u8(cp932[i + 1]) <= 7) ++i;
      continue;
    }
    if (c == 0xFE) continue;
    text += char(c);
  }
  return host_cp932_to_utf8(text);
}

}  // namespace

ConsoleWindowSide::ConsoleWindowSide(std::ostream& out)
    : out_(out), previous_sink_(host_set_message_box_sink(&ConsoleWindowSide::OnBox)) {
  Current = this;
  con_log_set_observer(&ConsoleWindowSide::OnLine, this);
}

ConsoleWindowSide::~ConsoleWindowSide() {
  co_end_command_side();
  con_log_set_observer(nullptr, nullptr);
  host_set_message_box_sink(previous_sink_);
  Current = nullptr;
}

void ConsoleWindowSide::OnLine(void* self, std::string_view line) {
  static_cast<ConsoleWindowSide*>(self)->out_ << plain_text(line) << '\n';
}

int ConsoleWindowSide::OnBox(std::string_view title, std::string_view text, unsigned) {
  if (Current) Current->PrintBox(title, text);
  return kBoxAnswerOk;
}

void ConsoleWindowSide::PrintBox(std::string_view title, std::string_view cp932_text) {
  out_ << '[' << plain_text(title) << "] " << plain_text(cp932_text) << '\n';
}

void ConsoleWindowSide::Start(std::string_view startup_line) {
  std::snprintf(Cmd.BannerName, sizeof Cmd.BannerName, "%s", kProductName);
  std::snprintf(Cmd.BannerVersion, sizeof Cmd.BannerVersion, "%s", kProductVersion);
  std::snprintf(Cmd.BannerNotice, sizeof Cmd.BannerNotice, "%s", kLegalCopyright);
  win_set_startup_line(startup_line);
  co_start_command_side();
  win_pump(*this);
}

bool ConsoleWindowSide::Done() const {
  return closing || win_command_side_exited() || Sup.StartupFailure != 0;
}

bool ConsoleWindowSide::Key(u8 character) {
  // Keys are taken only while the command side waits for one. A command that
  // keeps busy that long with input waiting (a repeating PI or PO, a run
  // that waits for its stop) is what a user stops with ESC: it gets one, and
  // another after as long again.
  u32 busy_since = host_tick_ms();
  while (!Done() && Co.WaitKind != kWaitKey) {
    if (Co.WaitKind == kWaitBusy && u32(host_tick_ms() - busy_since) >= kInterruptAfterMs) {
      Co.Key.character = kEscape;
      Co.Key.key_code = 0;
      Co.Key.flags = 0;
      ++Co.Request.key_input;
      busy_since = host_tick_ms();  // and again while it stays busy
    }
    win_pump(*this);
  }
  if (Done()) return false;
  // One tick without a key first, as the window side's timer gives one
  // between keys: a wait that only lets the windows live ends on it.
  Co.Key.character = 0;
  win_pump(*this);
  while (!Done() && Co.WaitKind != kWaitKey) win_pump(*this);
  if (Done()) return false;
  Co.Key.character = character;
  Co.Key.key_code = 0;
  Co.Key.flags = (character >= 1 && character <= 26 && character != 8 && character != 9 && character != 13)
                     ? kKeyCtrl
                     : 0;
  ++Co.Request.key_input;
  win_pump(*this);
  return true;
}

bool ConsoleWindowSide::TypeLine(std::string_view utf8_line) {
  const std::string line = host_utf8_to_cp932(utf8_line);
  for (const char c : line)
    if (!Key(u8(c))) return false;
  return Key(13);
}

void ConsoleWindowSide::Finish() {
  std::string rest;
  if (Log.Bytes)
    for (u16 p = Log.Newest; p != Log.WriteEnd; p = u16((p + 1) % kLogRingSize)) rest += char(Log.Bytes[p]);
  co_end_command_side();
  if (!rest.empty()) out_ << plain_text(rest) << '\n';
  out_.flush();
}

void ConsoleWindowSide::ServeRequest(RequestCode code) {
  switch (code) {
    case RequestCode::ErrorBox:
      sup_error_box_window_side();
      break;
    case RequestCode::Exit:
      // nobody to ask: the console closes at once
      closing = true;
      break;
    default:
      break;
  }
}

void ConsoleWindowSide::ShowPendingError(u16 error) { PrintBox("QUENDAR ERROR", sup_pending_error_text(error)); }
