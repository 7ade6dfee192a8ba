// halv80c at a terminal: the runner is started on a pseudo-terminal of 20
// rows, typed at as a user would, and the terminal's settings are checked
// after it ended.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr unsigned short kRows = 20;

class TerminalTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("halv80c_terminal_" + std::to_string(getpid()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_ / "run");
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    slave_name_ = ptsname(master_);
    // kept open here too, so that its settings can be read after the run
    slave_ = open(slave_name_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave_, 0);
    const winsize size{kRows, 80, 0, 0};
    ioctl(slave_, TIOCSWINSZ, &size);
    ASSERT_EQ(tcgetattr(slave_, &before_), 0);
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    std::filesystem::remove_all(folder_);
  }

  void Launch() {
    const std::string runner = HALV80C_PATH;
    const std::string path = std::filesystem::path(runner).parent_path().string() + ":" + std::getenv("PATH");
    const std::string registry = (folder_ / "registry").string();
    const std::string run = (folder_ / "run").string();
    child_ = fork();
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      setsid();
      const int tty = open(slave_name_.c_str(), O_RDWR);
      ioctl(tty, TIOCSCTTY, 0);
      dup2(tty, 0);
      dup2(tty, 1);
      dup2(tty, 2);
      if (chdir(run.c_str()) != 0) _exit(127);
      setenv("PATH", path.c_str(), 1);
      setenv("HALV80_REGISTRY_DIR", registry.c_str(), 1);
      execl(runner.c_str(), runner.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  // Reads what the runner writes until `text` has come (or 10 s passed);
  // everything read so far is in output_.
  bool ReadUntil(const std::string& text) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (output_.find(text, seen_) == std::string::npos) {
      if (std::chrono::steady_clock::now() > until) return false;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) return false;
      output_.append(buffer, std::size_t(n));
    }
    seen_ = output_.find(text, seen_) + text.size();
    return true;
  }
  void Send(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
  static std::size_t Count(const std::string& in, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = in.find(what); at != std::string::npos; at = in.find(what, at + 1)) ++n;
    return n;
  }

  std::filesystem::path folder_;
  int master_ = -1, slave_ = -1;
  std::string slave_name_;
  termios before_{};
  pid_t child_ = -1;
  std::string output_;
  std::size_t seen_ = 0;
};

TEST_F(TerminalTest, PromptEchoRecallPaneHeightAndTheTerminalRestored) {
  Launch();
  // the prompt is drawn before anything is typed
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  // a typed line is shown once as a finished line: no echo of the terminal's own
  Send("N 10\r");
  ASSERT_TRUE(ReadUntil(">N 10\r\n")) << output_;
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  EXPECT_EQ(Count(output_, "N 10\r\n"), 1u);
  // the up arrow recalls it, Enter runs it again
  Send("\x1b[A");
  ASSERT_TRUE(ReadUntil(">N 10")) << output_;
  Send("\r");
  ASSERT_TRUE(ReadUntil(">N 10\r\n")) << output_;
  EXPECT_EQ(Count(output_, ">N 10\r\n"), 2u);
  // The command pane is the terminal's height: a listing pages after the
  // pane's rows - 1 lines. 25 breakpoints, then their list.
  for (int i = 0; i < 25; ++i) Send("BP " + std::to_string(1000 + 2 * i) + "\r");
  ASSERT_TRUE(ReadUntil(">BP 1048\r\n")) << output_;
  const std::size_t list_start = output_.size();
  Send("BP\r");
  const std::string prompt = "\xe4\xb8\xad\xe6\x96\xad";  // "中断", the page prompt's first word
  ASSERT_TRUE(ReadUntil(prompt)) << output_;
  const std::string page = output_.substr(list_start, output_.find(prompt, list_start) - list_start);
  EXPECT_EQ(Count(page, "  E  "), kRows - 2u) << page;  // the header and 18 entries make 19 lines
  Send("\x1b");  // stop the listing
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  // the pane follows the terminal's new size
  const winsize smaller{12, 80, 0, 0};
  ioctl(slave_, TIOCSWINSZ, &smaller);
  // (the signal of the change is sent at once; the runner takes it before its next key)
  const std::size_t second_start = output_.size();
  Send("BP\r");
  ASSERT_TRUE(ReadUntil(prompt)) << output_;
  const std::string second = output_.substr(second_start, output_.find(prompt, second_start) - second_start);
  EXPECT_EQ(Count(second, "  E  "), 12 - 2u) << second;
  Send("\x1b");
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  Send("EXIT !\r");
  int status = 0;
  ASSERT_EQ(waitpid(child_, &status, 0), child_);
  child_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // raw mode is gone again
  termios after{};
  ASSERT_EQ(tcgetattr(slave_, &after), 0);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), before_.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_EQ(after.c_iflag & (IXON | ICRNL), before_.c_iflag & (IXON | ICRNL));
}

// A program that writes over the monitor hangs the target: the debugger's
// question is shown with its keys, Y has the emulator initialised again.
TEST_F(TerminalTest, AQuestionIsAnsweredByAKey) {
  Launch();
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  Send("EB 100,21,80,7F,11,81,7F,01,7F,00,36,00,ED,B0,FF\r");  // LDIR zeros over 7F80..7FFF, RST 38
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  Send("G =100\r");
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  Send("R\r");
  ASSERT_TRUE(ReadUntil("(Y/N) ")) << output_;
  Send("x");  // no key of the question
  Send("y");
  ASSERT_TRUE(ReadUntil("Y\r\n")) << output_;
  EXPECT_EQ(Count(output_, "(Y/N) Y\r\n"), 1u);
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  Send("R\r");
  ASSERT_TRUE(ReadUntil("S=8080 P=0000")) << output_;  // the monitor answers again
  Send("EXIT !\r");
  int status = 0;
  ASSERT_EQ(waitpid(child_, &status, 0), child_);
  child_ = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(TerminalTest, AnEndingSignalRestoresTheTerminal) {
  Launch();
  ASSERT_TRUE(ReadUntil("\x1b[K>")) << output_;
  kill(child_, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(child_, &status, 0), child_);
  child_ = -1;
  EXPECT_TRUE(WIFSIGNALED(status));
  termios after{};
  ASSERT_EQ(tcgetattr(slave_, &after), 0);
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), before_.c_lflag & (ICANON | ECHO | ISIG));
}

}  // namespace
