// HostInput over a file descriptor: poll with a time-out, read what is there,
// and a SIGINT handler that only sets a flag.
#include "platform/host/host_input.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// Set by the signal handler; taken by TakeInterrupt.
volatile sig_atomic_t Interrupted = 0;
struct sigaction PreviousInterrupt {};

extern "C" void on_interrupt(int) { Interrupted = 1; }

constexpr std::size_t kReadChunk = 4096;

}  // namespace

std::unique_ptr<HostInput> HostInput::FromStandardInput() {
  const bool terminal = isatty(STDIN_FILENO) != 0;
  return std::unique_ptr<HostInput>(new HostInput(STDIN_FILENO, false, terminal));
}

std::unique_ptr<HostInput> HostInput::FromFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<HostInput>(new HostInput(fd, true, false));
}

std::unique_ptr<HostInput> HostInput::FromText(std::string text) {
  std::unique_ptr<HostInput> input(new HostInput(-1, false, false));
  input->buffer_ = std::move(text);
  return input;
}

HostInput::HostInput(int fd, bool owned, bool terminal) : fd_(fd), owned_(owned), terminal_(terminal) {
  if (!terminal_) return;
  Interrupted = 0;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a wait ends on Ctrl-C
  sigaction(SIGINT, &action, &PreviousInterrupt);
}

HostInput::~HostInput() {
  if (terminal_) sigaction(SIGINT, &PreviousInterrupt, nullptr);
  if (owned_) close(fd_);
}

HostInput::State HostInput::Wait(u32 ms) {
  if (next_ < buffer_.size()) return State::Ready;
  buffer_.clear();
  next_ = 0;
  if (ended_ || fd_ < 0) return State::End;
  pollfd p{fd_, POLLIN, 0};
  const int ready = poll(&p, 1, ms > 0x7FFFFFFF ? 0x7FFFFFFF : int(ms));
  if (ready == 0 || (ready < 0 && errno == EINTR)) return State::Empty;
  if (ready < 0) {
    ended_ = true;
    return State::End;
  }
  char chunk[kReadChunk];
  const ssize_t n = read(fd_, chunk, sizeof chunk);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return State::Empty;
  if (n <= 0) {
    // the end of the input, or an input that can't be read any more
    ended_ = true;
    return State::End;
  }
  buffer_.assign(chunk, std::size_t(n));
  return State::Ready;
}

bool HostInput::TakeInterrupt() {
  if (!Interrupted) return false;
  Interrupted = 0;
  return true;
}
