// The scratch folder of a target that runs the engine's loaders on files:
// the engine's state is reset once, before the first input. The process
// ends when no folder could be made, since no input could then be tried.
#pragma once

#include <cstdlib>
#include <filesystem>

#include "fuzz/fuzz_scratch.h"
#include "halv80/engine/engine_state.h"

inline const FuzzScratch& fuzz_engine_scratch() {
  static const FuzzScratch folder;
  static const bool ready = [] {
    reset_engine_state();
    return !folder.path().empty();
  }();
  if (!ready) std::abort();
  return folder;
}

// Makes the engine's scratch folder the current folder while it lives (the
// readers take their files from there) and goes back at the end.
class FuzzInScratch {
 public:
  FuzzInScratch() {
    std::error_code ec;
    previous_ = std::filesystem::current_path(ec);
    std::filesystem::current_path(fuzz_engine_scratch().path(), ec);
    if (ec) std::abort();
  }
  ~FuzzInScratch() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }
  FuzzInScratch(const FuzzInScratch&) = delete;
  FuzzInScratch& operator=(const FuzzInScratch&) = delete;

 private:
  std::filesystem::path previous_;
};
