// The single-instance lock, program starts, the beep and help calls.
#include "platform/owl/owl_system.h"

#include "platform/owl/owl_qt.h"

#include <cctype>
#include <fcntl.h>
#include <strings.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QUrl>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

extern char** environ;

namespace {

constexpr std::size_t kLockNameMax = 128;  // longer names are refused

struct SystemState {
  std::map<std::string, int, std::less<>> locks;  // held lock files by name
  std::vector<pid_t> started;                      // children not yet reaped
  u32 beeps = 0;
  std::vector<OwlHelpCall> help;
  bool open_viewer = true;
};
SystemState Sys;

// Children that have ended are reaped, so none stays a zombie.
void reap_children() {
  std::vector<pid_t> running;
  for (pid_t pid : Sys.started)
    if (waitpid(pid, nullptr, WNOHANG) == 0) running.push_back(pid);
  Sys.started.swap(running);
}

}  // namespace

std::string owl_lock_path(std::string_view name) {
  const char* dir = std::getenv("HALV80_LOCK_DIR");
  if (!dir || !*dir) dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || !*dir) dir = "/tmp";
  std::string path = std::string(dir) + "/halv80-";
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (char ch : name) {
    const u8 c = u8(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '(' || c == ')' || c == '-' || c == '.' || c == '_';
    if (plain) {
      path += ch;
    } else {
      path += '%';
      path += kHex[c >> 4];
      path += kHex[c & 15];
    }
  }
  return path + ".lock";
}

OwlLock owl_create_lock(std::string_view name) {
  if (name.empty() || name.size() > kLockNameMax) return OwlLock::Failed;
  if (Sys.locks.find(name) != Sys.locks.end()) return OwlLock::Exists;
  const std::string path = owl_lock_path(name);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return OwlLock::Failed;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    close(fd);
    return err == EWOULDBLOCK ? OwlLock::Exists : OwlLock::Failed;
  }
  Sys.locks.emplace(std::string(name), fd);
  return OwlLock::Created;
}

void owl_release_lock(std::string_view name) {
  auto it = Sys.locks.find(name);
  if (it == Sys.locks.end()) return;
  close(it->second);
  Sys.locks.erase(it);
}

std::vector<std::string> owl_split_command_line(std::string_view line) {
  std::vector<std::string> out;
  std::string current;
  bool in_word = false;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) out.push_back(current);
      current.clear();
      in_word = false;
    } else {
      current += c;
      in_word = true;
    }
  }
  if (in_word) out.push_back(current);
  return out;
}

std::string owl_host_program(std::string_view system_path) {
  std::string path = host_map_path(system_path);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return path;
  // "FOLDER\NAME.EXE" is the host's program "name" in that folder
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  if (path.size() - name > 4 && strcasecmp(path.c_str() + path.size() - 4, ".exe") == 0) {
    path.resize(path.size() - 4);
    for (std::size_t i = name; i < path.size(); ++i) path[i] = char(std::tolower(static_cast<unsigned char>(path[i])));
    path = host_map_path(host_system_path(path));
  }
  return path;
}

int owl_start_process(std::string_view command_line, std::string_view folder) {
  reap_children();
  const std::vector<std::string> words = owl_split_command_line(command_line);
  if (words.empty()) return -1;
  std::vector<std::string> args;
  for (const std::string& w : words) args.push_back(host_cp932_to_utf8(w));
  // a name with a folder is a path; a bare name is looked up along PATH, and
  // the system's "NAME.EXE" is the host's program "name"
  if (words[0].find_first_of("\\/:") != std::string::npos) {
    args[0] = owl_host_program(words[0]);
  } else if (args[0].size() > 4 && strcasecmp(args[0].c_str() + args[0].size() - 4, ".exe") == 0) {
    args[0].resize(args[0].size() - 4);
    for (char& c : args[0]) c = char(std::tolower(static_cast<unsigned char>(c)));
  }
  // an argument that is a full path in the system's form is the host's path
  for (std::size_t i = 1; i < words.size(); ++i)
    if (words[i].size() > 1 && words[i][0] == '\\') args[i] = host_map_path(words[i]);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  std::string dir;
  if (!folder.empty()) {
    dir = host_map_path(folder);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  }
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  Sys.started.push_back(pid);
  return int(pid);
}

void owl_beep() {
  ++Sys.beeps;
  if (qApp) QApplication::beep();
}

u32 owl_beep_count() { return Sys.beeps; }

std::string owl_help_section(std::string_view page, u32 context) {
  const std::string id = "ctx-" + std::to_string(context);
  for (const char* quote : {"\"", "'"}) {
    if (page.find("id=" + std::string(quote) + id + quote) != std::string_view::npos) return id;
  }
  return {};
}

void owl_win_help(std::string_view file, u32 command, u32 data) {
  constexpr u32 kContextCommand = 1;
  constexpr std::uintmax_t kPageMax = 4u << 20;  // a help page is read whole only up to this size
  const std::string path = host_map_path(file);
  OwlHelpCall call{std::string(file), command, data, {}};
  std::error_code ec;
  const bool exists = std::filesystem::is_regular_file(path, ec);
  if (exists && command == kContextCommand && std::filesystem::file_size(path, ec) <= kPageMax && !ec) {
    std::ifstream in(path, std::ios::binary);
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    call.section = owl_help_section(page, data);
  }
  Sys.help.push_back(call);
  if (!Sys.open_viewer || !exists) return;
  QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
  if (!call.section.empty()) url.setFragment(QString::fromStdString(call.section));
  QDesktopServices::openUrl(url);
}

const std::vector<OwlHelpCall>& owl_help_calls() { return Sys.help; }

void owl_help_reset(bool open_viewer) {
  Sys.help.clear();
  Sys.open_viewer = open_viewer;
}

void owl_set_clipboard_text(std::string_view cp932) {
  std::string text;
  text.reserve(cp932.size());
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    if (cp932[i] == '\r' && i + 1 < cp932.size() && cp932[i + 1] == '\n') continue;  // CR LF: one line end
    text += cp932[i];
  }
  QApplication::clipboard()->setText(owl_qstring(text));
}

std::string owl_clipboard_text() { return owl_cp932(QApplication::clipboard()->text()); }
