// The scripted command side.
#include "halv80/gui/testing/scripted_command_side.h"

#include <cstring>

#include "halv80/engine/key_input.h"

namespace {

struct ScriptState {
  std::vector<ScriptStep> steps;
  std::vector<std::pair<u16, u16>> keys;
};
ScriptState Script;

void write_cells(const ScriptStep& s) {
  if (!Con.Screen || s.row >= kScreenRows || s.column >= kScreenColumns || s.text.empty()) return;
  const std::size_t room = kScreenColumns - s.column;
  const std::size_t n = std::min(room, s.text.size());
  u8* cell = Con.Screen.get() + std::size_t(s.row) * kScreenRowBytes + std::size_t(s.column) * 2;
  for (std::size_t i = 0; i < n; ++i) {
    cell[2 * i] = u8(s.text[i]);
    cell[2 * i + 1] = kAttrNormal;
  }
  lst_mark_dirty(s.column, s.row, u16(s.column + n - 1), s.row);
}

void wait_key() {
  co_wait_gui(kWaitKey);
  Script.keys.emplace_back(Keys.character, Keys.code);
}

}  // namespace

void gui_scripted_main() {
  for (const ScriptStep& s : Script.steps) {
    switch (s.kind) {
      case ScriptStep::Kind::Write: write_cells(s); break;
      case ScriptStep::Kind::Request:
        Co.Request.p1 = s.p1;
        Co.Request.p2 = s.p2;
        Co.Request.p3 = s.p3;
        Co.Request.p4 = s.p4;
        Co.Request.p5 = s.p5;
        co_post_request(s.code);
        break;
      case ScriptStep::Kind::WaitKey: wait_key(); break;
    }
  }
  for (;;) wait_key();
}

void gui_set_script(std::vector<ScriptStep> steps) {
  Script = ScriptState{std::move(steps), {}};
  con_screen_init();
}

void gui_start_script(std::vector<ScriptStep> steps) {
  gui_set_script(std::move(steps));
  co_start_command_side(gui_scripted_main);
}

const std::vector<std::pair<u16, u16>>& gui_script_keys() { return Script.keys; }
