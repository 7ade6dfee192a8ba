// Line down at the newest line of the command pane's log: the memory display
// that the last command left open goes on by one line, in place of the bare
// prompt, exactly as D from that address prints it; any other line or a typed
// key ends it.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/mem_dump.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tests/screen_text.h"

namespace {

class LogContinueTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    Bytes text(0x40);
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = u8(0x30 + i);
    poke(0x100, text);
  }
  // The key reader runs the view actions on the command side, while the
  // command line waits for a key. The test takes its place between two keys:
  // output goes to the screen and the log as it would there.
  static void line_down() {
    Co.OnCommandSide = 1;
    con_view_line_down();
    Co.OnCommandSide = 0;
  }
  // The line D prints for `line` ("D 110" gives "0110  ..."), without its
  // line breaks.
  std::string displayed(std::string_view line) {
    const std::string out = typed(line);
    const std::size_t first = line.size() + 1;  // past the echo and the line break
    const std::size_t end = out.rfind("\n>");
    return end != std::string::npos && end > first ? out.substr(first, end - first) : out;
  }
};

TEST_F(LogContinueTest, LineDownAtTheNewestLinePrintsTheDisplaysNextLine) {
  const std::string line_110 = displayed("D 110");
  const std::string line_120 = displayed("D 120");
  ASSERT_EQ(line_110.substr(0, 6), "0110  ");
  ASSERT_EQ(line_120.substr(0, 6), "0120  ");

  typed("D 100");
  const std::string shown = ws_->Transcript();
  ASSERT_EQ(shown.back(), '>');
  line_down();
  line_down();
  // the lines take the prompt's place, and the prompt comes back below them
  EXPECT_EQ(ws_->Transcript(), shown.substr(0, shown.size() - 1) + line_110 + "\n" + line_120 + "\n>");
  const u16 last = u16(Con.Bottom - 1);
  EXPECT_EQ(screen_row_text(last), ">");
  EXPECT_EQ(screen_row_text(u16(last - 1)), line_120);
  EXPECT_EQ(screen_row_text(u16(last - 2)), line_110);
  EXPECT_EQ(Con.Column, 1);
  EXPECT_EQ(Mem.DumpNext, 0x130u);
  // a plain D goes on from there
  EXPECT_EQ(displayed("D").substr(0, 4), "0130");
}

TEST_F(LogContinueTest, AnotherLineOrATypedKeyEndsTheContinuation) {
  const struct {
    const char* what;
    void (*between)(ScriptedWindowSide&);
    bool continues;
  } cases[] = {
      {"nothing", [](ScriptedWindowSide&) {}, true},
      {"a key typed and taken back", [](ScriptedWindowSide& ws) {
         ws.Key('x');
         ws.Key(8);
       }, false},
      {"a D that failed", [](ScriptedWindowSide& ws) { ws.Type("D 100,FF"); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    typed("D 100");
    c.between(*ws_);
    const std::string before = ws_->Transcript();
    const std::size_t lines = ws_->lines.size();
    line_down();
    if (c.continues) {
      ASSERT_EQ(ws_->lines.size(), lines + 1);
      EXPECT_EQ(ws_->lines.back().substr(0, 6), "0110  ");
    } else {
      EXPECT_EQ(ws_->Transcript(), before);
    }
  }
}

}  // namespace
