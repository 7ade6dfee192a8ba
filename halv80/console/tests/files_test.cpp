// halv80c and the files it keeps, tried as a user would: killed in the middle
// of a write, on a full disk, with a folder it may not write, with a broken
// registry store; and its usage text and the names it creates. Every run has
// a fresh folder and a registry store of its own; a run is waited for by its
// exit, a write in progress by the file system's own events, never by time.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A full run waits at most this long for halv80c; no test waits on it.
constexpr int kRunGuardMs = 60'000;

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void write_file(const fs::path& p, std::string_view bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// The hidden names in a folder (temporary files), sorted.
std::vector<std::string> hidden_in(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().filename().string().starts_with(".")) out.push_back(e.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

struct Finished {
  int status = -1;  // the exit status; 128 + n after signal n
  std::string out;
  std::string err;
};

class FilesTest : public testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/halv80c-files-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    folder_ = templ;
    fs::create_directories(run_dir());
  }
  void TearDown() override {
    for (const pid_t pid : running_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  fs::path run_dir() const { return folder_ / "run"; }
  fs::path registry() const { return folder_ / "registry"; }

  // Starts halv80c in the run folder with `args`; its output goes to
  // out.txt and err.txt beside that folder. A `file_limit` caps what it may
  // write to a file, as a full disk would; its output then comes through
  // pipes, which the limit does not touch, and Wait collects it.
  pid_t Start(const std::vector<std::string>& args, long file_limit = -1) {
    const std::string runner = HALV80C_PATH;
    const std::string path = fs::path(runner).parent_path().string() + ":" + std::getenv("PATH");
    int pipes[2][2] = {{-1, -1}, {-1, -1}};
    if (file_limit >= 0 && (pipe2(pipes[0], O_CLOEXEC) != 0 || pipe2(pipes[1], O_CLOEXEC) != 0)) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(run_dir().c_str()) != 0) _exit(127);
      const int out = file_limit >= 0 ? pipes[0][1] : open((folder_ / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = file_limit >= 0 ? pipes[1][1] : open((folder_ / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int in = open("/dev/null", O_RDONLY);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      setenv("PATH", path.c_str(), 1);
      setenv("HALV80_REGISTRY_DIR", registry().c_str(), 1);
      if (file_limit >= 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{rlim_t(file_limit), rlim_t(file_limit)};
        setrlimit(RLIMIT_FSIZE, &limit);
      }
      std::vector<char*> argv{const_cast<char*>(runner.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(runner.c_str(), argv.data());
      _exit(127);
    }
    if (pid > 0) running_.push_back(pid);
    if (file_limit >= 0) {
      close(pipes[0][1]);
      close(pipes[1][1]);
      out_pipe_ = pipes[0][0];
      err_pipe_ = pipes[1][0];
    }
    return pid;
  }
  Finished Wait(pid_t pid) {
    Finished f;
    std::string piped[2];
    // the pipes to their end: the run closes them when it ends
    for (int open_pipes = out_pipe_ >= 0 ? 2 : 0; open_pipes > 0;) {
      pollfd p[2] = {{out_pipe_, POLLIN, 0}, {err_pipe_, POLLIN, 0}};
      if (poll(p, 2, kRunGuardMs) <= 0) break;
      for (int i = 0; i < 2; ++i) {
        if (p[i].fd < 0 || p[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(p[i].fd, buffer, sizeof buffer);
        if (n > 0) {
          piped[i].append(buffer, std::size_t(n));
          continue;
        }
        close(p[i].fd);
        (i == 0 ? out_pipe_ : err_pipe_) = -2;  // poll passes over a negative descriptor
        --open_pipes;
      }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    running_.erase(std::remove(running_.begin(), running_.end(), pid), running_.end());
    f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (out_pipe_ == -1) {
      f.out = read_file(folder_ / "out.txt");
      f.err = read_file(folder_ / "err.txt");
    } else {
      f.out = piped[0];
      f.err = piped[1];
    }
    out_pipe_ = err_pipe_ = -1;
    return f;
  }
  // Runs a script (the lines, each ended by a line break) to its end.
  Finished RunScript(std::string_view script, std::vector<std::string> switches = {}, long file_limit = -1) {
    write_file(folder_ / "script.txt", script);
    std::vector<std::string> args{(folder_ / "script.txt").string()};
    args.insert(args.end(), switches.begin(), switches.end());
    return Wait(Start(args, file_limit));
  }

  // Runs `script` again and again, killing each run in the middle of
  // writing `file`: after the k-th change of its temporary file, k stepping
  // through the write (or as soon as the temporary file takes its name). The
  // file must always be the old one or the whole new one, never a part.
  // Returns the runs killed while the file was being written.
  int KillLoop(const std::string& script, const std::string& file, const std::string& old_bytes,
               const std::string& new_bytes) {
    write_file(folder_ / "script.txt", script);
    int killed = 0;
    for (int round = 0; round < 12; ++round) {
      SCOPED_TRACE(round);
      write_file(run_dir() / file, old_bytes);
      const int watch = inotify_init1(IN_CLOEXEC);
      EXPECT_GE(watch, 0);
      EXPECT_GE(inotify_add_watch(watch, run_dir().c_str(), IN_CREATE | IN_MODIFY | IN_MOVED_FROM), 0);
      const pid_t pid = Start({(folder_ / "script.txt").string()});
      const std::string temp_prefix = "." + file + ".halv80-";
      const int changes = 1 + round * 17;  // where in the write the kill lands
      int seen = 0;
      bool done = false;
      while (!done) {
        pollfd p{watch, POLLIN, 0};
        if (poll(&p, 1, kRunGuardMs) <= 0) {
          ADD_FAILURE() << "no write of " << file << " came";
          break;
        }
        alignas(inotify_event) char buffer[4096];
        const ssize_t n = read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
          const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
          // (a reader that falls behind sees several writes as one change)
          if (e->len > 0 && std::string(e->name).starts_with(temp_prefix) &&
              (++seen >= changes || (e->mask & IN_MOVED_FROM) != 0))
            done = true;
          at += ssize_t(sizeof(inotify_event) + e->len);
        }
      }
      kill(pid, SIGKILL);
      Wait(pid);
      close(watch);
      if (!hidden_in(run_dir()).empty()) ++killed;  // its temporary file was left
      const std::string after = read_file(run_dir() / file);
      EXPECT_TRUE(after == old_bytes || after == new_bytes)
          << file << " is " << after.size() << " bytes: neither the old file nor the new one";
    }
    return killed;
  }

  fs::path folder_;
  std::vector<pid_t> running_;
  int out_pipe_ = -1;  // the run's output when it comes through pipes; -2 once ended
  int err_pipe_ = -1;
};

TEST_F(FilesTest, HelpGivesTheUsage) {
  for (const char* switch_text : {"-h", "--help"}) {
    SCOPED_TRACE(switch_text);
    const Finished f = Wait(Start({switch_text}));
    EXPECT_EQ(f.status, 0);
    for (const char* part : {"usage: halv80c", "-LOG file", "-X", "QNSRC", "HALV80_REGISTRY_DIR", "PROGRAM"})
      EXPECT_NE(f.out.find(part), std::string::npos) << part << "\n" << f.out;
    EXPECT_EQ(f.out.find("不正なオプション指定"), std::string::npos);
  }
}

TEST_F(FilesTest, AFileNamedByASwitchKeepsItsCase) {
  const Finished f = RunScript("H 1\nEXIT\n", {"-LOG", "rec.bin"});
  EXPECT_EQ(f.status, 0) << f.err;
  EXPECT_TRUE(fs::exists(run_dir() / "rec.bin"));
  EXPECT_FALSE(fs::exists(run_dir() / "REC.BIN"));
}

// The start options that the setup program keeps in the project file come
// before the switches of the command line: a key journal named there is
// recorded, and an option the debugger refuses there stops the start.
TEST_F(FilesTest, TheProjectsStartOptionsComeFirst) {
  const std::string tail = "%DIR\r\n@Current\r\n%PRJ\r\nP1\r\n%CPU\r\n(80)\r\n%END\r\n\x1A";
  write_file(run_dir() / "qqn80.qpj", "%SYS\r\n%OPT\r\n -X -LOG fromprj.bin -TAB8\r\n" + tail);
  Finished f = RunScript("H 1\nEXIT\n", {"-TAB4"});
  EXPECT_EQ(f.status, 0) << f.err;
  EXPECT_TRUE(fs::exists(run_dir() / "fromprj.bin"));

  write_file(run_dir() / "qqn80.qpj", "%OPT\r\n -X -U\r\n" + tail);
  f = RunScript("H 1\nEXIT\n");
  EXPECT_EQ(f.status, 1);
  EXPECT_NE(f.err.find("halv80c: "), std::string::npos) << f.err;
}

// A start option of the project in effect: the source folder that the setup
// program wrote is where the stop's source line is found; without the
// project the same session finds no source.
TEST_F(FilesTest, TheProjectsSourceFolderIsUsed) {
  const fs::path lines = HALV80_LINES_DIR;
  for (const char* name : {"demo.hex", "demo.sym", "demo.lin", "demo.MAP"})
    fs::copy_file(lines / name, run_dir() / name);
  fs::create_directories(folder_ / "sources");
  fs::copy_file(lines / "demo.src", folder_ / "sources" / "demo.src");
  std::string sources = (folder_ / "sources").string();
  for (char& c : sources)
    if (c == '/') c = '\\';
  const std::string script = "L demo.hex\nBP main\nG =start,/W\nEXIT\n";
  const std::string line = "=> DEMO.SRC:27:    origin.x = 0;";
  Finished f = RunScript(script);
  EXPECT_EQ(f.status, 0) << f.err;
  EXPECT_EQ(f.out.find(line), std::string::npos) << f.out;
  write_file(run_dir() / "qqn80.qpj", "%OPT\r\n -SP -X  -B4096,64 -EC -TAB4 -SD\"" + sources +
                                           "\"\r\n%DIR\r\n@Current\r\n%PRJ\r\nDEMO\r\n%END\r\n\x1A");
  f = RunScript(script);
  EXPECT_EQ(f.status, 0) << f.err;
  EXPECT_NE(f.out.find(line), std::string::npos) << f.out;
}

// WR of the whole address space, killed again and again while the file is
// written: the old file or the new one, whole.
TEST_F(FilesTest, WrKilledMidWriteNeverLeavesAPartialFile) {
  ASSERT_EQ(RunScript("WR big.hex,0,FFFF\nEXIT\n").status, 0);
  const std::string whole = read_file(run_dir() / "big.hex");
  ASSERT_GT(whole.size(), 100'000u);
  const std::string old = ":0400000001020304F2\r\n:00000001FF\r\n\x1A";
  EXPECT_GT(KillLoop("WR big.hex,0,FFFF\nEXIT\n", "big.hex", old, whole), 0);
  // the next start removes what the killed runs left behind
  ASSERT_EQ(RunScript("EXIT\n").status, 0);
  EXPECT_EQ(hidden_in(run_dir()), std::vector<std::string>{});
}

// A redirect file, killed while the output goes into it.
TEST_F(FilesTest, RedirectKilledMidWriteNeverLeavesAPartialFile) {
  const std::string script = "> r.txt\nD 0,FFFF\n>\nEXIT\n";
  ASSERT_EQ(RunScript(script).status, 0);
  const std::string whole = read_file(run_dir() / "r.txt");
  ASSERT_TRUE(whole.ends_with("\x1A"));
  EXPECT_GT(KillLoop(script, "r.txt", "the old log\r\n\x1A", whole), 0);
  ASSERT_EQ(RunScript("EXIT\n").status, 0);
  EXPECT_EQ(hidden_in(run_dir()), std::vector<std::string>{});
  // a redirect file left open at the end is completed
  ASSERT_EQ(RunScript("> open.txt\nH 1\nEXIT\n").status, 0);
  const std::string open = read_file(run_dir() / "open.txt");
  EXPECT_NE(open.find("00000001"), std::string::npos) << open;
  EXPECT_TRUE(open.ends_with(">EXIT\x1A")) << open;
}

// A small file system that fills up: WR and ">" say so, and the old files
// stay whole. Needs a mount namespace of its own (skipped without one).
TEST_F(FilesTest, OnAFullDiskTheOldFilesStayAndTheUserIsTold) {
  const fs::path disk = folder_ / "disk";
  fs::create_directories(disk);
  const std::string old_hex = ":0400000001020304F2\r\n:00000001FF\r\n\x1A";
  fs::create_directories(folder_ / "seed");
  write_file(folder_ / "seed" / "big.hex", old_hex);
  write_file(folder_ / "seed" / "r.txt", "the old log\r\n");
  write_file(folder_ / "script.txt", "WR big.hex,0,FFFF\n> r.txt\nD 0,FFFF\n>\nEXIT\n");
  const std::string runner = HALV80C_PATH;
  const std::string path = fs::path(runner).parent_path().string() + ":" + std::getenv("PATH");
  // in the namespace: a 96 KiB file system holding the old files, the run,
  // and a copy of what is left on it taken out before the namespace goes
  const std::string inner =
      "mount -t tmpfs -o size=96k halv80-test \"$1\" || exit 77\n"
      "cp \"$2/seed/big.hex\" \"$2/seed/r.txt\" \"$1/\"\n"
      "cd \"$1\" && PATH=\"$3\" HALV80_REGISTRY_DIR=\"$4\" \"$5\" \"$2/script.txt\" > \"$2/out.txt\" 2> \"$2/err.txt\"\n"
      "echo $? > \"$2/status\"\n"
      "mkdir \"$2/after\" && cp -a \"$1/.\" \"$2/after/\"\n";
  const std::string command = "unshare --user --map-root-user --mount sh -c '" + inner + "' sh '" + disk.string() +
                              "' '" + folder_.string() + "' '" + path + "' '" + registry().string() + "' '" +
                              runner + "' 2>>'" + (folder_ / "unshare.txt").string() + "'";
  // The sh quoting above keeps the script in single quotes: it holds none.
  ASSERT_EQ(inner.find('\''), std::string::npos);
  const int status = std::system(command.c_str());
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !fs::exists(folder_ / "after"))
    GTEST_SKIP() << "no mount namespace here: " << read_file(folder_ / "unshare.txt");
  const std::string out = read_file(folder_ / "out.txt");
  EXPECT_EQ(read_file(folder_ / "status"), "0\n") << read_file(folder_ / "err.txt");
  // both writes were told the disk is full
  const std::string full = "ディスクがいっぱいです";
  const std::size_t first = out.find(full);
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find(full, first + 1), std::string::npos) << out;
  EXPECT_EQ(read_file(folder_ / "after" / "big.hex"), old_hex);
  EXPECT_EQ(read_file(folder_ / "after" / "r.txt"), "the old log\r\n");
  EXPECT_EQ(hidden_in(folder_ / "after"), std::vector<std::string>{});
}

// The session's state cannot be saved (no room at all for a file): the run
// says so and ends with status 1. The registry store, complete, is not
// written again, so this does not stop the start.
TEST_F(FilesTest, AStateThatCannotBeKeptIsReportedAndFailsTheRun) {
  ASSERT_EQ(RunScript("EXIT\n").status, 0);
  const std::string state = read_file(run_dir() / "ZER80.DAT");
  ASSERT_FALSE(state.empty());
  const fs::path store = registry() / "HKEY_LOCAL_MACHINE.txt";
  const auto store_time = fs::last_write_time(store);
  const Finished f = RunScript("H 1\nEXIT\n", {}, 0);
  EXPECT_EQ(f.status, 1);
  EXPECT_NE(f.out.find("00000001"), std::string::npos) << f.out;  // the session ran
  EXPECT_NE(f.err.find("ZER80.DAT"), std::string::npos) << f.err;
  EXPECT_EQ(read_file(run_dir() / "ZER80.DAT"), state);
  EXPECT_EQ(fs::last_write_time(store), store_time);
  EXPECT_EQ(hidden_in(run_dir()), std::vector<std::string>{});
  EXPECT_EQ(hidden_in(registry()), std::vector<std::string>{});
  // a redirect file that cannot be written: told at once, and nothing is left
  const Finished r = RunScript("> r.txt\nH 1\nEXIT\n", {}, 0);
  EXPECT_NE(r.out.find("ディスクがいっぱいです"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(run_dir() / "r.txt"));
  EXPECT_EQ(hidden_in(run_dir()), std::vector<std::string>{});
}

TEST_F(FilesTest, ABrokenRegistryStoreIsNamedWithItsLine) {
  fs::create_directories(registry());
  write_file(registry() / "HKEY_LOCAL_MACHINE.txt", "halv80 registry 1\n[SYSTEM]\nIF_addr=300\n");
  const Finished f = RunScript("EXIT\n");
  EXPECT_NE(f.status, 0);
  EXPECT_NE(f.err.find(registry().string() + "/HKEY_LOCAL_MACHINE.txt: line 3: "), std::string::npos) << f.err;
  EXPECT_EQ(f.err.find("cannot write"), std::string::npos) << f.err;
}

TEST_F(FilesTest, TemporariesOfKilledRunsGoAtTheNextStart) {
  ASSERT_EQ(RunScript("EXIT\n").status, 0);
  for (const char* name : {".ZER80.DAT.Ab12Cd", ".ZER80.DAT.halv80-Ab12Cd", ".r.txt.halv80-x9Y8z7"})
    write_file(run_dir() / name, "left by a killed run");
  write_file(run_dir() / ".notes.Ab12Cd", "the user's own");
  write_file(registry() / ".HKEY_LOCAL_MACHINE.txt.halv80-Qw3rTy", "left");
  write_file(registry() / ".HKEY_LOCAL_MACHINE.txt.Qw3rTy", "left by an older version");
  ASSERT_EQ(RunScript("EXIT\n").status, 0);
  EXPECT_EQ(hidden_in(run_dir()), std::vector<std::string>{".notes.Ab12Cd"});
  EXPECT_EQ(hidden_in(registry()), std::vector<std::string>{});
}

}  // namespace
