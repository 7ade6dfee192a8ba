// The window side of the console runner: it types command lines into the
// engine and writes what the command pane shows to an output stream as UTF-8
// text. Error boxes and errors for the window side are printed in the
// transcript as "[title] text".
#pragma once

#include <ostream>
#include <string_view>

#include "halv80/engine/win_side.h"
#include "platform/host/host_ui.h"

class ConsoleWindowSide : public WindowSide {
 public:
  explicit ConsoleWindowSide(std::ostream& out);
  ~ConsoleWindowSide() override;

  // Starts the command side with a start-up command line and runs it until it
  // first waits.
  void Start(std::string_view startup_line);
  // Types one line (UTF-8) and CR; returns false once the engine cannot take
  // input any more (it exited, the window side closed or the start-up failed).
  bool TypeLine(std::string_view utf8_line);
  // Ends the command side and writes the unfinished last line.
  void Finish();

  void ServeRequest(RequestCode code) override;
  void ShowPendingError(u16 error) override;

 private:
  bool Done() const;
  bool Key(u8 character);
  void PrintBox(std::string_view title, std::string_view cp932_text);
  static void OnLine(void* self, std::string_view line);
  static int OnBox(std::string_view title, std::string_view text, unsigned style);

  std::ostream& out_;
  HostMessageBoxSink previous_sink_;
};
