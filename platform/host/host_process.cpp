// Programs run to their end, with their output read through a pipe.
#include "platform/host/host_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

namespace {

// Keeps the first `keep` bytes of what arrives; reads everything.
void drain(int fd, std::string& out, std::size_t keep, bool& open) {
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n > 0) {
      const std::size_t room = keep > out.size() ? keep - out.size() : 0;
      out.append(buffer, std::min(room, std::size_t(n)));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) open = false;  // every writer has closed it
    return;                    // EAGAIN: nothing more for now
  }
}

int exit_code(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace

HostRunResult host_run_and_wait(std::span<const std::string> argv, std::string_view folder, bool capture,
                                std::size_t keep) {
  HostRunResult result;
  if (argv.empty()) {
    result.error = ENOENT;
    return result;
  }
  int pipe_fds[2] = {-1, -1};
  if (capture && pipe2(pipe_fds, O_CLOEXEC) != 0) {
    result.pipe_failed = true;
    result.error = errno;
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (capture) {
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
  }
  const std::string dir(folder);
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<char*> args;
  std::vector<std::string> copies(argv.begin(), argv.end());
  for (std::string& a : copies) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (capture) close(pipe_fds[1]);
  if (rc != 0) {
    if (capture) close(pipe_fds[0]);
    result.error = rc;
    return result;
  }
  result.started = true;

  int status = 0;
  if (capture) {
    // Read while it runs. A program that leaves a child holding the pipe
    // still ends the wait: once it has ended, what is there is read and the
    // rest is not waited for.
    fcntl(pipe_fds[0], F_SETFL, O_NONBLOCK);
    bool open = true;
    bool ended = false;
    while (open && !ended) {
      pollfd p{pipe_fds[0], POLLIN, 0};
      poll(&p, 1, 100);
      drain(pipe_fds[0], result.output, keep, open);
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) ended = true;
    }
    drain(pipe_fds[0], result.output, keep, open);
    close(pipe_fds[0]);
    if (ended) {
      result.exit_status = exit_code(status);
      return result;
    }
  }
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exit_status = exit_code(status);
  return result;
}

std::string host_find_on_path(std::string_view name) {
  if (name.empty() || name.find('/') != std::string_view::npos) return {};
  const char* path = getenv("PATH");
  if (path == nullptr) return {};
  std::string_view rest = path;
  while (true) {
    const std::size_t cut = rest.find(':');
    std::string folder(rest.substr(0, cut));
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + std::string(name);
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return candidate;
    if (cut == std::string_view::npos) return {};
    rest.remove_prefix(cut + 1);
  }
}
