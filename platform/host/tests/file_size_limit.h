// A full disk for the tests of any component: while the object lives, this
// process cannot write a file beyond `bytes` (a write past it fails with
// EFBIG, as one on a full disk fails with ENOSPC). The limit and the signal
// the kernel would send are put back when the object goes.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstddef>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::size_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    saved_signal_ = signal(SIGXFSZ, SIG_IGN);  // the write fails instead of ending the process
    rlimit limit = saved_;
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, saved_signal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t saved_signal_ = SIG_DFL;
};
