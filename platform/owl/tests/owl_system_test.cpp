// The single-instance lock, program starts and help calls.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/owl/owl_system.h"

#include <QApplication>
#include <QClipboard>

#include "platform/host/host_text.h"
#include "platform/owl/tests/owl_test_app.h"

namespace {

constexpr const char* kName = "QUENDAR-RZ7(80)/W32";

class OwlSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/owl_system_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    setenv("HALV80_LOCK_DIR", dir.c_str(), 1);
  }
  void TearDown() override {
    owl_release_lock(kName);
    std::filesystem::remove_all(dir);
  }
  // Can a separate open of the lock file take the lock now?
  bool LockIsFree() {
    const int fd = open(owl_lock_path(kName).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return true;
    const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
    close(fd);
    return free;
  }
  std::string dir;
};

TEST_F(OwlSystemTest, TheLockFileIsNamedAfterTheLockInTheLockFolder) {
  EXPECT_EQ(owl_lock_path(kName), dir + "/halv80-QUENDAR-RZ7(80)%2FW32.lock");
  EXPECT_EQ(owl_create_lock(std::string(129, 'x')), OwlLock::Failed);
  EXPECT_EQ(owl_create_lock(""), OwlLock::Failed);
}

TEST_F(OwlSystemTest, ASecondCreateFindsTheLockHeld) {
  EXPECT_TRUE(LockIsFree());
  EXPECT_EQ(owl_create_lock(kName), OwlLock::Created);
  EXPECT_EQ(owl_create_lock(kName), OwlLock::Exists);
  EXPECT_FALSE(LockIsFree());
  owl_release_lock(kName);
  EXPECT_TRUE(LockIsFree());
  EXPECT_EQ(owl_create_lock(kName), OwlLock::Created);
}

TEST_F(OwlSystemTest, AnotherProcessHoldingTheLockMeansExists) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(owl_lock_path(kName).c_str(), O_RDWR | O_CREAT, 0600);
    flock(fd, LOCK_EX);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(owl_create_lock(kName), OwlLock::Exists);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(owl_create_lock(kName), OwlLock::Created);
}

TEST_F(OwlSystemTest, ProgramsStartedMeanwhileDoNotKeepTheLock) {
  ASSERT_EQ(owl_create_lock(kName), OwlLock::Created);
  const int pid = owl_start_process("sleep 5", "");
  ASSERT_GT(pid, 0);
  owl_release_lock(kName);
  // an inherited descriptor would still hold the lock
  EXPECT_TRUE(LockIsFree());
  kill(pid, SIGKILL);
}

TEST(OwlCommandLine, QuotesGroupAndAreDropped) {
  const struct {
    const char* line;
    std::vector<std::string> words;
  } cases[] = {
      {"", {}},
      {"  RZ7SET.EXE  /(80) ", {"RZ7SET.EXE", "/(80)"}},
      {"RZ7SET.EXE /(80) \"\\my dir\\qqn80.qpj\"", {"RZ7SET.EXE", "/(80)", "\\my dir\\qqn80.qpj"}},
      {"a\"b c\"d\te", {"ab cd", "e"}},
      {"\"\" x", {"", "x"}},
      {"\"open", {"open"}},  // an unclosed quote runs to the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(owl_split_command_line(c.line), c.words);
  }
}

TEST_F(OwlSystemTest, AProgramStartsInItsFolderWithoutBeingWaitedFor) {
  const std::string system_dir = [&] {
    std::string d = dir;
    for (char& ch : d)
      if (ch == '/') ch = '\\';
    return d;
  }();
  const int pid = owl_start_process("\\bin\\sh -c \"pwd > where.txt\"", system_dir);
  ASSERT_GT(pid, 0);
  std::string where;
  for (int i = 0; i < 200 && where.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(dir + "/where.txt");
    std::getline(in, where);
  }
  EXPECT_EQ(where, dir);
  EXPECT_EQ(owl_start_process("\\no\\such\\program", ""), -1);
  EXPECT_EQ(owl_start_process("   ", ""), -1);
  // the system's program names: "TRUE.EXE" is the host's "true"
  EXPECT_GT(owl_start_process("TRUE.EXE", ""), 0);
  EXPECT_EQ(owl_start_process("NO-SUCH-PROGRAM.EXE", ""), -1);
}

TEST(OwlHelp, CallsAreRecorded) {
  owl_help_reset(false);
  owl_win_help("wqqn80.hlp", 1, 42);
  ASSERT_EQ(owl_help_calls().size(), 1u);
  EXPECT_EQ(owl_help_calls()[0].file, "wqqn80.hlp");
  EXPECT_EQ(owl_help_calls()[0].command, 1u);
  EXPECT_EQ(owl_help_calls()[0].data, 42u);
}

}  // namespace

TEST(OwlClipboard, TextGoesOutAsUnicodeWithPlainLineEnds) {
  owl_test_app();
  const std::string kanji = host_utf8_to_cp932("漢字ｶﾅ");
  owl_set_clipboard_text("A\r\n" + kanji + "\r\n");
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "A\n漢字ｶﾅ\n");
  EXPECT_EQ(owl_clipboard_text(), "A\n" + kanji + "\n");
}
