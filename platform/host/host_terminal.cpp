// HostTerminal over termios: the saved settings are put back by the
// destructor, an atexit handler and the handlers of the ending signals.
#include "platform/host/host_terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>

namespace {

struct termios Saved {};
volatile sig_atomic_t Raw = 0;        // 1 while the saved settings must come back
volatile sig_atomic_t Resized = 0;    // set by SIGWINCH
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction PreviousEnding[sizeof kEndingSignals / sizeof kEndingSignals[0]]{};
struct sigaction PreviousResize {};
bool AtExitInstalled = false;

void restore() {
  if (!Raw) return;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &Saved);
  Raw = 0;
}

extern "C" void restore_at_exit() { restore(); }

extern "C" void on_ending_signal(int sig) {
  restore();
  // the signal's own action, now that the terminal is back
  signal(sig, SIG_DFL);
  raise(sig);
}

extern "C" void on_resize(int) { Resized = 1; }

}  // namespace

std::unique_ptr<HostTerminal> HostTerminal::Open() {
  if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &Saved) != 0) return nullptr;
  struct termios raw = Saved;
  raw.c_iflag &= ~tcflag_t(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
  raw.c_lflag &= ~tcflag_t(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (!AtExitInstalled) {
    std::atexit(restore_at_exit);
    AtExitInstalled = true;
  }
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = on_ending_signal;
    sigemptyset(&action.sa_mask);
    sigaction(kEndingSignals[i], &action, &PreviousEnding[i]);
  }
  struct sigaction resize {};
  resize.sa_handler = on_resize;
  sigemptyset(&resize.sa_mask);
  resize.sa_flags = SA_RESTART;
  sigaction(SIGWINCH, &resize, &PreviousResize);
  Raw = 1;
  if (tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw) != 0) {
    Raw = 0;
    return nullptr;
  }
  Resized = 0;
  return std::unique_ptr<HostTerminal>(new HostTerminal());
}

HostTerminal::~HostTerminal() {
  restore();
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) sigaction(kEndingSignals[i], &PreviousEnding[i], nullptr);
  sigaction(SIGWINCH, &PreviousResize, nullptr);
}

u16 HostTerminal::Rows() const {
  struct winsize w {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) != 0 && ioctl(STDIN_FILENO, TIOCGWINSZ, &w) != 0) return 24;
  return w.ws_row ? w.ws_row : 24;
}

u16 HostTerminal::Columns() const {
  struct winsize w {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &w) != 0 && ioctl(STDIN_FILENO, TIOCGWINSZ, &w) != 0) return 80;
  return w.ws_col ? w.ws_col : 80;
}

bool HostTerminal::TakeResize() {
  if (!Resized) return false;
  Resized = 0;
  return true;
}
