// Programs run to their end: started in a folder with their arguments, waited
// for, and their standard output and error read while they run. Arguments are
// given in the host's form (UTF-8 paths with "/"); the caller maps the
// system's paths first.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

struct HostRunResult {
  bool started = false;     // the program could be started
  int error = 0;            // errno of a failed start (ENOENT: no such program)
  bool pipe_failed = false; // the output pipe could not be made (nothing started)
  int exit_status = -1;     // the exit code, or -1 when it ended by a signal
  std::string output;       // the first `keep` bytes of standard output and error
};

// Starts `argv[0]` (a path; no search along PATH) with `argv` in `folder`
// (empty: the current one) and waits for it, without a time limit. With
// `capture`, standard output and error share one pipe that is drained while
// the program runs, so a talkative program never blocks on it; the first
// `keep` bytes are kept. Without it the program shares ours. The program
// inherits the environment as it is now.
HostRunResult host_run_and_wait(std::span<const std::string> argv, std::string_view folder, bool capture,
                                std::size_t keep);

// The first regular file named `name` in the folders of the host's PATH (the
// environment as it is now); empty when none holds it.
std::string host_find_on_path(std::string_view name);
