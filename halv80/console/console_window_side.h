// The window side of the console runner: it types the input into the engine
// as keys and writes what the command pane shows to an output stream as UTF-8
// text. Lines of text are typed when the engine waits for a key; a control
// character (ESC among them) next in the input reaches a command that is busy
// at once, taking its own line end with it; between keys the engine gets the
// idle ticks of the window side's timer. Message
// boxes and the message line (the stop reason) are printed on lines of their
// own where they happen: a box as "[title] text". A box that asks (Yes and
// No, OK and Cancel) is printed with "(Y/N) " and answered from the input.
#pragma once

#include <deque>
#include <ostream>
#include <string>
#include <string_view>

#include "halv80/engine/win_side.h"
#include "platform/host/host_input.h"
#include "platform/host/host_terminal.h"
#include "platform/host/host_ui.h"

class ConsoleWindowSide : public WindowSide {
 public:
  // The timer's tick: the engine's idle ticks come this far apart while it
  // waits for input.
  static constexpr u32 kTickMs = 55;
  // At the end of the input a busy command gets ESC for at most this long,
  // and at most this many times (a tick clock that stands still).
  static constexpr u32 kEscapeUntilIdleMs = 10000;
  static constexpr u32 kEscapeUntilIdlePresses = 10000;
  // A line longer than this is read in pieces of this length, as its keys
  // come; a line longer than the editor takes is not typed at all.
  static constexpr std::size_t kLinePieceLimit = 4096;
  static constexpr std::size_t kLineLimit = 255;  // characters (CP932 bytes) a command line holds
  // After ESC, the rest of a key's escape sequence comes within this time.
  static constexpr u32 kEscapeSequenceMs = 30;
  // The command pane at a terminal: at most this many rows, so that the code
  // pane above it gets as many.
  static constexpr u16 kPaneRowsMax = 78;

  explicit ConsoleWindowSide(std::ostream& out);
  ~ConsoleWindowSide() override;

  // Starts the command side with a start-up command line and runs it until it
  // first waits; then loads the program the line names, if any.
  void Start(std::string_view startup_line);
  // Loads a program through the engine's load request ("L name"); a failure
  // is printed as the load-error box.
  void LoadProgram(std::string_view name);
  // Types `input` into the engine until the input ends, the engine exits, the
  // window side closes or the start-up failed. At the end of the input a
  // command that is still busy gets ESC until it ends. The command pane does
  // not page: nothing would answer its prompts but the next line. Each line
  // is typed whole: a running target's stop shows before or after it; a "!"
  // recall at its end runs the line recalled, or is dropped when it found
  // none.
  void Run(HostInput& input);
  // The console debugger at a terminal in raw mode: each key goes to the
  // engine as it is pressed (escape sequences become the special keys), the
  // line being edited is shown as the engine edits it, and the command pane
  // takes the terminal's rows and follows its size.
  void RunTerminal(HostInput& input, HostTerminal& terminal);
  // Ends the command side and writes the unfinished last line.
  void Finish();
  // The engine takes no more input: it exited, the window side closed or the
  // start-up failed.
  bool Closed() const { return Done(); }
  // The text of the last error box shown (UTF-8): after a fatal error, its
  // message.
  const std::string& LastBox() const { return last_box_; }

  void ServeRequest(RequestCode code) override;
  void ShowPendingError(u16 error) override;

 private:
  bool Done() const;
  // One entry without a key, as a tick of the timer.
  void Tick();
  // One key, and the entry that delivers it.
  void Press(u8 character);
  // A key with its key code and modifiers (Shift 1, Ctrl 16).
  void PressKey(u8 character, u16 key_code, u8 flags);
  // The next key of the terminal's input; false when none came.
  bool ReadTerminalKey(HostInput& input);
  // The command pane at the terminal's size.
  void ApplySize(u16 rows, u16 columns);
  // The line being edited, drawn over the terminal's current line with the
  // cursor at the caret.
  void RenderUnfinished();
  // A pick list: its entries are shown; nothing is chosen.
  void ShowPickList();
  // Queues the next line of the input (UTF-8, up to and with its line end)
  // as CP932 keys, waiting up to `wait_ms` for it. False at the end of the
  // input with nothing queued.
  bool QueueLine(HostInput& input, u32 wait_ms);
  // ESC to the busy command until it waits for a key again (bounded).
  void EscapeUntilIdle();

  // The code pane's row at the program counter (the highlighted row) as text,
  // a source row with its file and line; empty when the pane shows none.
  std::string PcRowText() const;
  // Prints that row as "=> text", as the code window moves to it after a stop
  // or a step, once for each row a command line stops at (not after a listing
  // command, whose page is printed whole).
  void ShowPcRow();
  // The code pane, when it changed: after a listing command (U, V, UPUSH,
  // UPOP, UEND) its rows are printed, the program counter's marked "=> ";
  // otherwise its change is only taken as shown.
  void ShowCodePane();
  // A line is typed: its command word is kept.
  void NewLine(std::string_view utf8_line);

  // Output: completed lines, and the unfinished line printed ahead of a box
  // or a message (only its part not printed yet).
  void PrintLine(std::string_view cp932_line);
  void FlushUnfinished();
  void PrintBox(std::string_view title, std::string_view cp932_text);
  static void OnLine(void* self, std::string_view line);
  static void OnMessage(void* self, std::string_view text);
  static int OnBox(std::string_view title, std::string_view text, unsigned style);

  // A question of the debugger (style kBoxYesNo or kBoxOkCancel): printed as
  // a box followed by "(Y/N) " and the answer. In a script the next line
  // answers when it begins with Y (yes, OK) or N (no, Cancel) and is taken;
  // at a terminal the keys Y and N answer, Enter gives the default button and
  // ESC no. Without an answer (another line, the end of the input) a Yes/No
  // question is answered No and an OK/Cancel one OK, the choice that ends a
  // wait no one would end. kBoxAnswer*.
  int Ask(std::string_view title, std::string_view cp932_text, unsigned style);
  // The hung target's question, asked again while a re-initialisation the
  // user chose fails the same way; a failed start-up closes the window side.
  void AskToReinitialise(u16 error);

  std::ostream& out_;
  HostMessageBoxSink previous_sink_;
  std::deque<u8> keys_;        // keys of the line being typed (CP932)
  std::string pending_text_;   // input read up to a line end not yet seen (UTF-8)
  bool ticked_ = false;        // a tick was given since the last key
  std::string printed_;        // the part of the unfinished line already printed (UTF-8)
  std::string last_word_;      // the command word of the line typed last (upper case)
  std::string last_pc_row_;    // the program counter's row printed last for that line
  bool terminal_ = false;      // at a terminal: the unfinished line is drawn live
  std::string rendered_;       // what was drawn of it last
  bool discarding_ = false;    // the line being read is too long: its rest is dropped
  u32 line_number_ = 0;        // lines read from the input
  HostInput* input_ = nullptr; // where the answers to questions come from, while Run or RunTerminal runs
  std::string last_box_;       // the text of the last box shown
};
