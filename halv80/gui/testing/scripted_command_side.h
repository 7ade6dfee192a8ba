// A command side for window-side tests: in place of the command language it
// plays a script on the real command stack, step by step: it writes cells into
// the text screen and widens the dirty ranges as the engine does, posts
// requests with their parameters, and waits for keys. After the last step it
// waits for keys for good.
#pragma once

#include <string>
#include <vector>

#include "halv80/gui/gui_engine.h"

struct ScriptStep {
  enum class Kind { Write, Request, WaitKey };
  Kind kind = Kind::WaitKey;
  u16 column = 0;         // Write: first cell
  u16 row = 0;
  std::string text;       // Write: CP932 bytes, attribute 7
  RequestCode code = RequestCode::None;  // Request
  u32 p1 = 0, p2 = 0, p3 = 0, p4 = 0, p5 = 0;

  static ScriptStep Write(u16 column, u16 row, std::string cp932) {
    ScriptStep s;
    s.kind = Kind::Write;
    s.column = column;
    s.row = row;
    s.text = std::move(cp932);
    return s;
  }
  static ScriptStep Request(RequestCode code, u32 p1 = 0, u32 p2 = 0, u32 p3 = 0, u32 p4 = 0, u32 p5 = 0) {
    ScriptStep s;
    s.kind = Kind::Request;
    s.code = code;
    s.p1 = p1, s.p2 = p2, s.p3 = p3, s.p4 = p4, s.p5 = p5;
    return s;
  }
  static ScriptStep WaitKey() {
    ScriptStep s;
    s.kind = Kind::WaitKey;
    return s;
  }
};

// Sets the script and starts the command side on it (the screen is made
// first). The window side then enters it with co_enter_command_side.
void gui_start_script(std::vector<ScriptStep> steps);
// Sets the script without starting: whoever starts the command side gives
// gui_scripted_main as its entry.
void gui_set_script(std::vector<ScriptStep> steps);
void gui_scripted_main();
// The keys the script's waits received, as (character, key code) pairs.
const std::vector<std::pair<u16, u16>>& gui_script_keys();
