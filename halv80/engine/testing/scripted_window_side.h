// A window side for tests: runs the command side through the pump, types keys
// and pseudo-keys, records every request with its parameters, every error it
// was asked to show and every message box, and answers the requests that want
// a reply (2, 4, 9, 11, 12) from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/win_side.h"
#include "platform/host/host_ui.h"

class ScriptedWindowSide : public WindowSide {
 public:
  struct Served {
    RequestCode code;
    u32 p1, p2, p3, p4, p5;
    std::string text;                 // request 11: the message buffer (CP932)
    std::vector<std::string> items;   // request 12: the entries the engine handed over
  };
  struct Box {
    std::string title;  // CP932
    std::string text;   // CP932
    unsigned style;
  };
  // A reply to one request: writes the answer into the request block.
  using Answer = std::function<void(RequestBlock&)>;

  ScriptedWindowSide();
  // Ends the command side and restores the message-box sink.
  ~ScriptedWindowSide() override;

  // Leaves `startup_line` as the start-up command line, allocates the command
  // stack and pumps until the command side first waits. `main` is where the
  // command side starts (tests of the coroutine give their own).
  void Start(std::string_view startup_line = {}, void (*main)() = cmd_main,
             std::size_t stack_size = kCommandStackSize);
  u16 Pump();
  // Pumps again while the command side only keeps the windows alive (wait
  // kind 9), as the window side's timer would, until it waits for a key,
  // exits or the window side closes.
  u16 Settle();
  // Leaves a key and pumps until the command side waits again.
  void Key(u16 character, u16 key_code = 0, u8 flags = 0);
  // Each byte of `text` as a typed character, then CR.
  void Type(std::string_view text);
  // Types a line and returns what it added to the transcript: its echo, the
  // output and the next prompt.
  std::string Typed(std::string_view line);
  // Presses pseudo-key `key` with the scroll-thumb position `thumb`.
  void PressPseudoKey(PseudoKey key, u16 thumb = 0);

  // Queues a reply for the next request `code`; unanswered requests get the
  // cancelling default (2: none chosen, 4: not found, 9: no, 12: cancelled).
  void Reply(RequestCode code, Answer answer) { answers_[code].push_back(std::move(answer)); }
  int box_answer = 1;         // what message boxes answer: 1 OK, 2 Cancel
  bool confirm_exit = true;   // the user agrees to close at the exit request

  // Completed command-pane lines (CP932, escapes kept) and the unfinished one.
  std::string Transcript() const;
  bool Exited() const { return win_command_side_exited(); }
  // Requests served with this code.
  std::vector<Served> RequestsOf(RequestCode code) const;

  std::vector<Served> requests;
  std::vector<u16> errors;
  std::vector<Box> boxes;
  std::vector<std::string> lines;

  void ServeRequest(RequestCode code) override;
  void ShowPendingError(u16 error) override;

 private:
  static void OnLine(void* self, std::string_view line);
  static int OnBox(std::string_view title, std::string_view text, unsigned style);
  bool TakeAnswer(RequestCode code, RequestBlock& block);

  std::map<RequestCode, std::deque<Answer>> answers_;
  HostMessageBoxSink previous_sink_;
};
