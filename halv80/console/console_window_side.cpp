// The console runner's window side.
#include "halv80/console/console_window_side.h"

#include <algorithm>
#include <cstdio>
#include <vector>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_editor.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_paging.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/key_journal.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/version.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_text.h"

namespace {

ConsoleWindowSide* Current = nullptr;  // receives the message boxes

constexpr u8 kEscape = 0x1B;
constexpr u8 kCarriageReturn = 13;
constexpr u8 kClearLine = 0x15;  // Ctrl-U: the editor empties its line
// The engine looks at a target running free at every fourth idle poll; so
// many ticks before a line let it look once.
constexpr int kTicksBeforeLine = 4;

// A console line as plain text: colour escapes and attribute resets dropped.
// A line with carriage returns as the pane shows it: text after a CR is
// written over the line from its first column (tabs to multiples of 8).
std::string overlay_returns(const std::string& bytes) {
  if (bytes.find('\r') == std::string::npos) return bytes;
  std::string line;
  std::size_t column = 0;
  const auto put = [&](char c) {
    if (column < line.size()) line[column] = c;
    else line += c;
    ++column;
  };
  for (const char c : bytes) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\t') {
      do put(' '); while (column % 8 != 0);
    } else {
      put(c);
    }
  }
  return line;
}

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
  return host_cp932_to_utf8(overlay_returns(text));
}

// The newest line of the log ring, not finished yet.
std::string unfinished_line() {
  std::string line;
  if (Log.Bytes)
    for (u16 p = Log.Newest; p != Log.WriteEnd; p = u16((p + 1) % kLogRingSize)) line += char(Log.Bytes[p]);
  return line;
}

// A key that reaches a busy command at once: a control character other than
// the line ends and TAB, which belong to the text of the next line.
bool presses_at_once(u8 c) { return c < 0x20 && c != '\n' && c != '\r' && c != '\t'; }

}  // namespace

ConsoleWindowSide::ConsoleWindowSide(std::ostream& out)
    : out_(out), previous_sink_(host_set_message_box_sink(&ConsoleWindowSide::OnBox)) {
  Current = this;
  con_log_set_observer(&ConsoleWindowSide::OnLine, this);
  sup_set_message_line_observer(&ConsoleWindowSide::OnMessage, this);
}

ConsoleWindowSide::~ConsoleWindowSide() {
  co_end_command_side();
  sup_set_message_line_observer(nullptr, nullptr);
  con_log_set_observer(nullptr, nullptr);
  host_set_message_box_sink(previous_sink_);
  Current = nullptr;
}

// --- Output ------------------------------------------------------------------

void ConsoleWindowSide::PrintLine(std::string_view cp932_line) {
  const std::string line = plain_text(cp932_line);
  if (terminal_) {
    // the line drawn while it was being edited is written over
    out_ << "\r\x1b[K" << line << '\n';
    printed_.clear();
    rendered_.clear();
    return;
  }
  // Its beginning printed already, ahead of a box or a message? Only the
  // rest follows, but a line typed at a prompt that stood alone is printed
  // whole, prompt and all, after what came between.
  const bool lone_prompt = printed_.size() == 1 && u8(printed_[0]) == Cmd.PromptChar;
  if (!printed_.empty() && line.compare(0, printed_.size(), printed_) == 0) {
    if (line.size() > printed_.size()) out_ << (lone_prompt ? line : line.substr(printed_.size())) << '\n';
  } else {
    out_ << line << '\n';
  }
  printed_.clear();
}

void ConsoleWindowSide::FlushUnfinished() {
  const std::string line = plain_text(unfinished_line());
  if (terminal_) {
    if (!line.empty()) out_ << "\r\x1b[K" << line << '\n';
    rendered_.clear();
    return;
  }
  if (line.empty() || line == printed_) return;
  if (!printed_.empty() && line.compare(0, printed_.size(), printed_) == 0)
    out_ << line.substr(printed_.size()) << '\n';
  else
    out_ << line << '\n';
  printed_ = line;
}

void ConsoleWindowSide::OnLine(void* self, std::string_view line) {
  static_cast<ConsoleWindowSide*>(self)->PrintLine(line);
}

void ConsoleWindowSide::OnMessage(void* self, std::string_view text) {
  auto* side = static_cast<ConsoleWindowSide*>(self);
  side->FlushUnfinished();
  side->out_ << plain_text(text) << '\n';
}

int ConsoleWindowSide::OnBox(std::string_view title, std::string_view text, unsigned style) {
  if (!Current) return kBoxAnswerOk;
  if ((style & (kBoxYesNo | kBoxOkCancel)) != 0) return Current->Ask(title, text, style);
  Current->PrintBox(title, text);
  return kBoxAnswerOk;
}

int ConsoleWindowSide::Ask(std::string_view title, std::string_view cp932_text, unsigned style) {
  const bool yes_no = (style & kBoxYesNo) != 0;
  const int yes = yes_no ? kBoxAnswerYes : kBoxAnswerOk;
  const int no = yes_no ? kBoxAnswerNo : kBoxAnswerCancel;
  const int unanswered = yes_no ? kBoxAnswerNo : kBoxAnswerOk;
  const int by_default = (style & kBoxDefaultButton2) != 0 ? no : yes;
  PrintBox(title, cp932_text);
  out_ << "(Y/N) ";
  out_.flush();
  int answer = unanswered;
  for (bool waiting = input_ != nullptr; waiting;) {
    const HostInput::State state = input_->Wait(kTickMs);
    if (state == HostInput::State::Empty) continue;
    if (state == HostInput::State::End) break;
    const u8 c = input_->Peek();
    const bool y = c == 'Y' || c == 'y', n = c == 'N' || c == 'n';
    if (!terminal_) {
      // a line that begins with Y or N is the answer; any other is left for the prompt
      waiting = false;
      if (!y && !n) break;
      answer = y ? yes : no;
      while (input_->Wait(kTickMs) == HostInput::State::Ready && input_->Take() != '\n') {
      }
      continue;
    }
    input_->Take();
    if (y || n) answer = y ? yes : no;
    else if (c == '\r' || c == '\n') answer = by_default;
    else if (c == kEscape || c == 3) answer = no;  // ESC, or Ctrl-C as the terminal sends it
    else continue;  // no key of the question
    waiting = false;
  }
  out_ << ((answer == kBoxAnswerYes || answer == kBoxAnswerOk) ? 'Y' : 'N') << '\n';
  return answer;
}

void ConsoleWindowSide::AskToReinitialise(u16 error) {
  // the target hung up: may the emulator be initialised again?
  const std::string text = sup_pending_error_text(error);
  for (;;) {
    Co.PendingError = 0;
    if (Ask("System Error", text, kBoxYesNo | kBoxIconExclamation) != kBoxAnswerYes) return;
    sup_restart_emulator();
    if (Sup.StartupFailure != 0) {
      closing = true;  // the emulator did not start again: the run ends
      return;
    }
    if ((Co.PendingError & kErrCodeMask) != kErrorTargetHung) return;
  }
}

void ConsoleWindowSide::PrintBox(std::string_view title, std::string_view cp932_text) {
  FlushUnfinished();
  last_box_ = plain_text(cp932_text);
  out_ << '[' << plain_text(title) << "] " << last_box_ << '\n';
}

// --- Input ------------------------------------------------------------------

void ConsoleWindowSide::Start(std::string_view startup_line) {
  std::snprintf(Cmd.BannerName, sizeof Cmd.BannerName, "%s", kProductName);
  std::snprintf(Cmd.BannerVersion, sizeof Cmd.BannerVersion, "%s", kProductVersion);
  std::snprintf(Cmd.BannerNotice, sizeof Cmd.BannerNotice, "%s", kLegalCopyright);
  // a start-up macro file in the current folder is run first, as the frame allows
  Keys.InitMacroAllowed = 1;
  win_set_startup_line(startup_line);
  co_start_command_side();
  win_pump(*this);
  // as the frame does: a program named on the start-up line is loaded as soon
  // as the engine is up
  if (!Done() && Sw.StartupProgramGiven != 0) LoadProgram(Sw.StartupProgram);
}

void ConsoleWindowSide::LoadProgram(std::string_view name) {
  const std::string text = sup_load_startup_program(name, false);
  if (text.empty()) return;
  PrintBox(host_utf8_to_cp932("ﾛｰﾄﾞｴﾗｰ"), text);
}

bool ConsoleWindowSide::Done() const {
  return closing || win_command_side_exited() || Sup.StartupFailure != 0;
}

void ConsoleWindowSide::Tick() {
  Co.Key.character = 0;
  ++Co.Request.key_input;  // the timer's tick: a journal being played back counts it
  win_pump(*this);
}

void ConsoleWindowSide::Press(u8 character) {
  const bool ctrl = character >= 1 && character <= 26 && character != 8 && character != 9 && character != 13;
  PressKey(character, 0, ctrl ? kKeyCtrl : 0);
}

void ConsoleWindowSide::PressKey(u8 character, u16 key_code, u8 flags) {
  Co.Key.character = character;
  Co.Key.key_code = key_code;
  Co.Key.flags = flags;
  ++Co.Request.key_input;
  win_pump(*this);
}

bool ConsoleWindowSide::QueueLine(HostInput& input, u32 wait_ms) {
  for (;;) {
    const HostInput::State state = input.Wait(wait_ms);
    if (state == HostInput::State::Empty) return true;
    const bool ended = state == HostInput::State::End;
    if (!ended) {
      const u8 c = input.Take();
      if (c != '\r') pending_text_ += char(c);  // CR LF ends a line as LF does
      if (c != '\n' && pending_text_.size() < kLinePieceLimit) {
        wait_ms = 0;  // the rest of the line is read as it is there
        continue;
      }
    }
    if (pending_text_.empty()) return !ended;
    // a whole line, or the unfinished last one at the end of the input
    const bool line_end = pending_text_.back() == '\n';
    if (line_end) pending_text_.pop_back();
    const std::string utf8 = std::move(pending_text_);
    const std::string keys = host_utf8_to_cp932(utf8);
    const bool whole = line_end || ended;
    pending_text_.clear();
    if (discarding_) {
      // the rest of a line refused already
      if (whole) discarding_ = false;
      return true;
    }
    ++line_number_;
    if (!whole || keys.size() > kLineLimit) {
      // longer than a command line: refused whole, never typed in two parts
      FlushUnfinished();
      out_ << "halv80c: line " << line_number_ << " has more than " << kLineLimit
           << " characters and is not typed\n";
      discarding_ = !whole;
      return true;
    }
    NewLine(utf8);
    for (const char c : keys) keys_.push_back(u8(c));
    if (line_end) keys_.push_back(kCarriageReturn);
    return true;
  }
}

void ConsoleWindowSide::EscapeUntilIdle() {
  const u32 since = host_tick_ms();
  for (u32 presses = 0; presses < kEscapeUntilIdlePresses && !Done() && Co.WaitKind != kWaitKey &&
                        u32(host_tick_ms() - since) < kEscapeUntilIdleMs;
       ++presses)
    Press(kEscape);
}

void ConsoleWindowSide::Run(HostInput& input) {
  Paging.NoPages = 1;
  input_ = &input;
  bool ended = false;
  while (!Done()) {
    // a key journal being played back types first; the timer gives it its ticks
    if (key_journal_playing()) {
      Tick();
      continue;
    }
    // Ctrl-C at the terminal is ESC, to the running command or at the prompt
    if (input.TakeInterrupt()) {
      Press(kEscape);
      continue;
    }
    if (Co.WaitKind != kWaitKey) {
      // Busy: the command runs on, with its turns as the timer would give
      // them; a control key next in the input stops or steers it.
      if (ended) {
        EscapeUntilIdle();
        if (!Done() && Co.WaitKind != kWaitKey) break;  // it would not stop
        continue;
      }
      if (keys_.empty() && pending_text_.empty()) {
        const HostInput::State state = input.Wait(0);
        if (state == HostInput::State::Ready && presses_at_once(input.Peek())) {
          const u8 key = input.Take();
          // the key's own line end goes with it: ESC may stand on a line of its own
          if (input.Wait(0) == HostInput::State::Ready && input.Peek() == '\r') input.Take();
          if (input.Wait(0) == HostInput::State::Ready && input.Peek() == '\n') input.Take();
          Press(key);
          continue;
        }
        if (state == HostInput::State::End) ended = true;
      }
      Tick();
      continue;
    }
    // Waiting for a key: the next key of the line being typed, after a tick
    // as the timer gives one between keys; without input, idle ticks.
    if (keys_.empty()) {
      ShowCodePane();
      out_.flush();  // what the last command printed is seen before the next input
      if (ended || !QueueLine(input, kTickMs)) {
        ended = true;
        if (keys_.empty()) break;
      }
      if (keys_.empty()) {
        Tick();
        continue;
      }
      // A line is to be typed while the target runs free: the engine looks
      // at it first, so that a stop it has made by now shows before the line.
      for (int i = 0; i < kTicksBeforeLine && ::Run.ExecutionState == kExecRunning && !Done() &&
                      Co.WaitKind == kWaitKey;
           ++i)
        Tick();
      if (Co.WaitKind != kWaitKey) continue;
    }
    if (!ticked_) {
      Tick();
      ticked_ = true;
      continue;
    }
    const u8 key = keys_.front();
    keys_.pop_front();
    ticked_ = false;
    // A line is typed whole: while its keys go in, the engine does not look
    // at a running target (a stop found then would end the line half typed
    // and give the rest to the next prompt). After its last key it looks
    // again, before the line runs or after.
    RunCtl.IdleCheckSuppress = keys_.empty() ? 0 : 1;
    Press(key);
    if (key == kCarriageReturn && keys_.empty() && !Done() && Co.WaitKind == kWaitKey) {
      // A "!" recall took the line back into the editor instead of running
      // it: the recalled line runs, and a recall that found nothing (its
      // message is shown) is dropped, so that the next line of the input
      // starts on an empty line.
      if (Editor.Recall == kRecallFound) keys_.push_back(kCarriageReturn);
      if (Editor.Recall == kRecallNotFound) keys_.push_back(kClearLine);
    }
  }
  RunCtl.IdleCheckSuppress = 0;
  input_ = nullptr;
}

// --- At a terminal ---------------------------------------------------------------

namespace {

// The key code of an escape sequence's final byte and number; 0 none.
u16 sequence_key(u8 final, u32 number) {
  switch (final) {
    case 'A': return kKeyUp;
    case 'B': return kKeyDown;
    case 'C': return kKeyRight;
    case 'D': return kKeyLeft;
    case 'H': return kKeyHome;
    case 'F': return kKeyEnd;
    case 'P': case 'Q': case 'R': case 'S': return u16(kKeyF1 + (final - 'P'));  // F1..F4
    case '~':
      switch (number) {
        case 1: case 7: return kKeyHome;
        case 2: return kKeyInsert;
        case 3: return kKeyDelete;
        case 4: case 8: return kKeyEnd;
        case 5: return kKeyPageUp;
        case 6: return kKeyPageDown;
        case 11: case 12: case 13: case 14: return u16(kKeyF1 + (number - 11));  // F1..F4
        case 15: return kKeyF5;
        case 17: case 18: case 19: case 20: case 21: return u16(kKeyF6 + (number - 17));  // F6..F10
        default: return 0;
      }
    default: return 0;
  }
}

}  // namespace

bool ConsoleWindowSide::ReadTerminalKey(HostInput& input) {
  if (input.Wait(0) != HostInput::State::Ready) return false;
  u8 c = input.Take();
  if (c == kEscape) {
    // a lone ESC is the key; ESC [ or ESC O begins a special key's sequence
    if (input.Wait(kEscapeSequenceMs) != HostInput::State::Ready || (input.Peek() != '[' && input.Peek() != 'O')) {
      PressKey(kEscape, 0, 0);
      return true;
    }
    input.Take();
    u32 numbers[2] = {0, 0};
    std::size_t field = 0, length = 0;
    u8 final = 0;
    while (length++ < 16 && input.Wait(kEscapeSequenceMs) == HostInput::State::Ready) {
      const u8 b = input.Take();
      if (b >= 0x40 && b <= 0x7E) {
        final = b;
        break;
      }
      if (b == ';' && field < 1) ++field;
      else if (b >= '0' && b <= '9' && numbers[field] < 1000) numbers[field] = numbers[field] * 10 + (b - '0');
    }
    const u16 code = sequence_key(final, numbers[0]);
    if (code == 0) return true;  // a sequence no key of the debugger has
    // the modifier number: 1 + Shift 1, Alt 2, Ctrl 4
    const u32 m = numbers[1] > 1 ? numbers[1] - 1 : 0;
    u8 flags = u8(((m & 1) ? kKeyShift : 0) | ((m & 2) ? kKeyAlt : 0) | ((m & 4) ? kKeyCtrl : 0));
    // The terminal shows no scrolled log: its plain Up and Down recall the
    // history (the debugger's Shift+Up and Shift+Down), and with Shift they
    // move the view.
    if (code == kKeyUp || code == kKeyDown) flags ^= kKeyShift;
    PressKey(0, code, flags);
    return true;
  }
  if (c == 127) c = 8;          // the terminal's backspace
  if (c == 3) c = kEscape;      // Ctrl-C stops what runs, as ESC
  Press(c);
  return true;
}

void ConsoleWindowSide::ApplySize(u16 rows, u16 columns) {
  const u16 pane = std::clamp<u16>(rows, 2, kPaneRowsMax);
  Con.Geometry.command_rows = pane;
  Con.Geometry.command_first_row = u16(pane + 2);  // the code pane above it as high
  Con.Geometry.command_columns = std::min<u16>(columns, kScreenColumns);
  Con.Geometry.code_columns = std::clamp<u16>(columns, 11, kScreenColumns);
  sup_split_screen_panes(kWindowIndexCommand);
  // the prompt stands on the pane's last row
  if (Con.Window == kSlotCommand && Con.Bottom > Con.Top) con_set_cursor(Con.Column, u16(Con.Bottom - 1));
}

void ConsoleWindowSide::RenderUnfinished() {
  std::string drawn = "\r\x1b[K" + plain_text(unfinished_line()) + '\r';
  if (Con.CaretColumn != 0xFFFF && Con.CaretColumn != 0) drawn += "\x1b[" + std::to_string(Con.CaretColumn) + 'C';
  if (drawn == rendered_) return;  // unchanged since the last draw
  out_ << drawn;
  rendered_ = drawn;
}

void ConsoleWindowSide::ShowPickList() {
  // the entries come one by one in the edit buffer; the console chooses none
  RequestBlock& r = Co.Request;
  const u32 count = r.p2;
  r.code = RequestCode::None;
  FlushUnfinished();
  for (u32 i = 0; i < count && !Done(); ++i) {
    co_enter_command_side();
    if (r.p3_ptr) out_ << "  " << plain_text(static_cast<const char*>(r.p3_ptr)) << '\n';
  }
  r.p3_ptr = nullptr;
}

void ConsoleWindowSide::RunTerminal(HostInput& input, HostTerminal& terminal) {
  terminal_ = true;
  input_ = &input;
  Paging.NoPages = 0;
  ApplySize(terminal.Rows(), terminal.Columns());
  while (!Done()) {
    if (terminal.TakeResize()) ApplySize(terminal.Rows(), terminal.Columns());
    if (key_journal_playing()) {
      // the journal types; keys pressed meanwhile wait
      input.Wait(kTickMs);
      Tick();
      continue;
    }
    if (Co.WaitKind == kWaitKey) {
      ShowCodePane();
      RenderUnfinished();
    }
    out_.flush();
    const HostInput::State state = input.Wait(kTickMs);
    if (state == HostInput::State::End) {
      EscapeUntilIdle();
      break;
    }
    if (state == HostInput::State::Empty) {
      Tick();
      continue;
    }
    ReadTerminalKey(input);
  }
  out_ << "\r\x1b[K";
  out_.flush();
  terminal_ = false;
  input_ = nullptr;
  printed_ = plain_text(unfinished_line());  // drawn already: not printed again
}

void ConsoleWindowSide::Finish() {
  const std::string rest = unfinished_line();
  co_end_command_side();
  if (!rest.empty()) {
    const std::string line = plain_text(rest);
    if (line != printed_) {
      const bool continues = !printed_.empty() && line.compare(0, printed_.size(), printed_) == 0;
      out_ << (continues ? line.substr(printed_.size()) : line) << '\n';
    }
  }
  printed_.clear();
  out_.flush();
}

// --- The code pane's program-counter row ---------------------------------------

std::string ConsoleWindowSide::PcRowText() const {
  if (Lst.PaneShows == kListingNone) return {};
  // the row painted for the program counter: its source line's row, or its
  // instruction row
  u16 row = kNoRow;
  for (u16 r = lst_pane_top(); r < lst_pane_bottom() && row == kNoRow; ++r) {
    if (Lst.PaneShows == kListingSource ? (Lst.RowKey[r] & 0xFFFF) == Lst.TargetLine
                                        : Lst.RowKind[r] == kRowInstruction && u16(Lst.RowKey[r]) == ::Run.Regs.pc)
      row = r;
  }
  const u8* cells = row == kNoRow ? nullptr : con_screen_row(row);
  if (cells == nullptr) return {};
  // the row's text as the pane shows it, without the trailing blanks
  const u16 width = std::min<u16>(Con.Geometry.code_columns, kScreenColumns);
  std::string text;
  bool highlighted = false;
  for (u16 c = 0; c < width; ++c) {
    text += cells[c * 2] == 0 ? ' ' : char(cells[c * 2]);
    if (cells[c * 2 + 1] == kAttrPcRow) highlighted = true;
  }
  if (!highlighted) return {};
  text.erase(text.find_last_not_of(' ') + 1);
  if (Lst.PaneShows != kListingSource) return plain_text(text);
  // a source row: the program counter's line, its number and text, with the
  // file it belongs to
  u16 pc_line = 0;
  if (sym_line_from_address(::Run.Regs.pc, pc_line) == nullptr || pc_line != (Lst.RowKey[row] & 0xFFFF)) return {};
  const std::size_t number_end = std::min<std::size_t>(text.size(), kSourceMarginCells);
  return plain_text(std::string(Lst.TitleText) + ":" + std::to_string(Lst.RowKey[row] & 0xFFFF) + ":" +
                    text.substr(number_end));
}

namespace {

// Commands whose work is the code pane's page: after them it is printed whole.
bool lists_code(std::string_view word) {
  for (std::string_view w : {"U", "V", "UPUSH", "UPOP", "UEND"})
    if (word == w) return true;
  return false;
}

}  // namespace

void ConsoleWindowSide::NewLine(std::string_view utf8_line) {
  const std::size_t first = utf8_line.find_first_not_of(" \t");
  const std::string_view rest = first == std::string_view::npos ? std::string_view() : utf8_line.substr(first);
  last_word_.clear();
  for (char c : rest.substr(0, rest.find_first_of(" \t,.")))
    last_word_ += host_ascii_upper(c);
  last_pc_row_.clear();
  // what was left to redraw belongs to the commands before
  RunCtl.DisplayUpdate = 0;
}

void ConsoleWindowSide::ShowCodePane() {
  PaneDirtyRange& dirty = Lst.Dirty[kDirtyCode];
  if (dirty.end_row == 0) return;
  dirty = PaneDirtyRange{};  // painted, as a window would
  if (!lists_code(last_word_) || Lst.PaneShows == kListingNone) return;
  const u16 width = std::min<u16>(Con.Geometry.code_columns, kScreenColumns);
  std::vector<std::string> rows;
  for (u16 row = lst_pane_top(); row < lst_pane_bottom(); ++row) {
    const u8* cells = con_screen_row(row);
    std::string text;
    for (u16 c = 0; cells != nullptr && c < width; ++c) text += cells[c * 2] == 0 ? ' ' : char(cells[c * 2]);
    text.erase(text.find_last_not_of(' ') + 1);
    rows.push_back((row == Lst.FoundRow ? "=> " : "   ") + plain_text(text));
  }
  while (!rows.empty() && rows.back().find_first_not_of(' ') == std::string::npos) rows.pop_back();
  FlushUnfinished();
  for (const std::string& row : rows) out_ << row << '\n';
}

void ConsoleWindowSide::ShowPcRow() {
  // a listing command prints its page whole, the program counter's row marked
  if (lists_code(last_word_)) return;
  const std::string text = PcRowText();
  // once for each place one command line stops at (a breakpoint's passes
  // stop at the same row again)
  if (text.empty() || text == last_pc_row_) return;
  last_pc_row_ = text;
  FlushUnfinished();
  out_ << "=> " << text << '\n';
}

void ConsoleWindowSide::ServeRequest(RequestCode code) {
  switch (code) {
    case RequestCode::Refresh:
    case RequestCode::ScrollThumb:
      // the windows redraw: after a stop or a step the code window shows the PC
      if (RunCtl.DisplayUpdate != 0) {
        RunCtl.DisplayUpdate = 0;
        ShowPcRow();
      }
      ShowCodePane();
      break;
    case RequestCode::CodeToPc:
      // as the code window does: it asks the engine to go to the PC
      sup_run_core_request("", CoreRequest::CodeToPc);
      RunCtl.DisplayUpdate = 0;
      ShowPcRow();
      ShowCodePane();
      break;
    case RequestCode::ErrorBox:
      sup_error_box_window_side();
      break;
    case RequestCode::PickList:
      ShowPickList();
      break;
    case RequestCode::ShowValue:
      // the value window's row, on a line of its own
      if (Co.Request.p3_ptr != nullptr) {
        FlushUnfinished();
        out_ << plain_text(static_cast<const char*>(Co.Request.p3_ptr)) << '\n';
      }
      break;
    case RequestCode::Exit:
      // nobody to ask: the console closes at once
      closing = true;
      break;
    default:
      break;
  }
}

void ConsoleWindowSide::ShowPendingError(u16 error) {
  if ((error & kErrCodeMask) == kErrorTargetHung) {
    AskToReinitialise(error);
    return;
  }
  // as a box shows it: without the line break and blanks the message starts with
  const std::string text = sup_pending_error_text(error);
  PrintBox("QUENDAR ERROR", std::string_view(text).substr(std::min(text.size(), text.find_first_not_of("\n "))));
}
