// What the text screen shows, for the tests of the panes: a row's characters
// and text compared without regard to how blanks and tabs were laid out; and
// engine code run from a test as the window side runs it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"

// The characters of a screen row, trailing blanks cut (NUL cells read as
// blanks).
inline std::string screen_row_text(u16 row) {
  const u8* cells = con_screen_row(row);
  std::string text;
  for (u16 c = 0; c < kScreenColumns; ++c) text += char(cells[c * 2] == 0 ? ' ' : cells[c * 2]);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// Blanks and tabs collapsed to one blank: the screen expands tabs, the
// disassembler's text does not.
inline std::string squeezed(const std::string& text) {
  std::string out;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\t';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Runs engine code from the test the way the window side does.
template <class Fn>
void guarded(Fn&& fn) {
  ASSERT_TRUE(co_call_guarded(fn));
}
