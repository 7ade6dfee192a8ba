// The scratch folder of a target that runs the engine's loaders on files:
// the engine's state is reset once, before the first input. The process
// ends when no folder could be made, since no input could then be tried.
#pragma once

#include <cstdlib>

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
