// Keys for a console program: the bytes of standard input or of a file, read
// as they come, with a wait that has a time-out, and Ctrl-C at a terminal
// taken as a key press rather than the end of the program.
#pragma once

#include <cassert>
#include <memory>
#include <string>

#include "platform/host/host_types.h"

class HostInput {
 public:
  enum class State : u8 {
    Ready,  // a byte is there to take
    Empty,  // nothing yet: the wait timed out or a signal ended it
    End,    // nothing more will come
  };

  // Standard input. At a terminal Ctrl-C is caught from here on (TakeInterrupt)
  // until the object goes.
  static std::unique_ptr<HostInput> FromStandardInput();
  // The file at `path` (host form), or null when it can't be opened.
  static std::unique_ptr<HostInput> FromFile(const std::string& path);
  // The bytes of `text`, then the end.
  static std::unique_ptr<HostInput> FromText(std::string text);
  ~HostInput();
  HostInput(const HostInput&) = delete;
  HostInput& operator=(const HostInput&) = delete;

  // Waits up to `ms` milliseconds (0: a look only) for a byte.
  State Wait(u32 ms);
  // The next byte, left in place; only after Wait said Ready.
  u8 Peek() const {
    assert(next_ < buffer_.size());
    return u8(buffer_[next_]);
  }
  u8 Take() {
    assert(next_ < buffer_.size());
    return u8(buffer_[next_++]);
  }
  // True once since each Ctrl-C at the terminal.
  bool TakeInterrupt();
  bool Terminal() const { return terminal_; }

 private:
  HostInput(int fd, bool owned, bool terminal);

  int fd_;           // -1: the text in buffer_ is all there is
  bool owned_;       // the descriptor is ours to close
  bool terminal_;    // standard input at a terminal: Ctrl-C is caught
  bool ended_ = false;
  std::string buffer_;   // bytes read and not yet taken, from next_ on
  std::size_t next_ = 0;
};
