// The terminal a console program sits at: raw keys (no line editing, no
// echo, no signals from Ctrl-C, Ctrl-Z or Ctrl-S), the terminal's size and
// its changes. The terminal's settings come back
// when the object goes, at exit and on the signals that end the program, so
// that every way out leaves the terminal as it was.
#pragma once

#include <memory>

#include "platform/host/host_types.h"

class HostTerminal {
 public:
  // Raw mode on standard input when it is a terminal; null otherwise.
  static std::unique_ptr<HostTerminal> Open();
  ~HostTerminal();
  HostTerminal(const HostTerminal&) = delete;
  HostTerminal& operator=(const HostTerminal&) = delete;

  // The terminal's size (at least 1 by 1).
  u16 Rows() const;
  u16 Columns() const;
  // True once after every change of the size.
  bool TakeResize();

 private:
  HostTerminal() = default;
};
