// The fixture of the setup program's tests: all state reset, the registry
// store in a fresh folder, and message boxes recorded (and answered) instead
// of shown.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "platform/host/host_text.h"
#include "platform/host/host_ui.h"
#include "platform/host/tests/scratch_dir.h"
#include "rz7set/set_state.h"

struct RecordedBox {
  std::string title;
  std::string text;
  unsigned style;
};

inline std::vector<RecordedBox>& recorded_boxes() {
  static std::vector<RecordedBox> boxes;
  return boxes;
}
inline int& box_answer() {
  static int answer = kAnswerYes;
  return answer;
}

class SetupTest : public testing::Test {
 protected:
  void SetUp() override {
    set_reset_state();
    setenv("HALV80_REGISTRY_DIR", registry.path().c_str(), 1);
    recorded_boxes().clear();
    box_answer() = kAnswerYes;
    previous_sink = host_set_message_box_sink([](std::string_view title, std::string_view text, unsigned style) {
      recorded_boxes().push_back({std::string(title), std::string(text), style});
      return box_answer();
    });
  }
  void TearDown() override {
    host_set_message_box_sink(previous_sink);
    unsetenv("HALV80_REGISTRY_DIR");
  }
  // The text of message `id` as the current language shows it, formatted with `first`.
  static std::string message(u32 id, const char* first = nullptr) {
    const std::string text = set_res_string(id);
    return first ? set_format(text, first) : text;
  }
  // The texts of the boxes shown so far.
  static std::vector<std::string> box_texts() {
    std::vector<std::string> out;
    for (const RecordedBox& b : recorded_boxes()) out.push_back(b.text);
    return out;
  }

  ScratchDir registry;
  ScratchDir dir;
  HostMessageBoxSink previous_sink = nullptr;
};
