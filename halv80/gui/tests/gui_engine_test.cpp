// The scripted command side that window-side tests run against: it talks to
// the window side through the engine's real hand-over and shared words.
#include <gtest/gtest.h>

#include <cstring>

#include "halv80/engine/engine_state.h"
#include "halv80/gui/testing/scripted_command_side.h"

namespace {

TEST(ScriptedCommandSide, WritesCellsPostsRequestsAndWaitsForKeys) {
  reset_engine_state();
  gui_start_script({
      ScriptStep::Write(2, 20, "A\x8a\xbf"),
      ScriptStep::Request(RequestCode::ScrollPane, 1, 3, 2, 10),
      ScriptStep::Write(198, 5, "XYZ"),  // cut at the row's end
      ScriptStep::WaitKey(),
  });

  co_enter_command_side();
  ASSERT_EQ(Co.Request.code, RequestCode::ScrollPane);
  EXPECT_EQ(Co.Request.p1, 1u);
  EXPECT_EQ(Co.Request.p4, 10u);
  const u8* row = con_screen_row(20);
  EXPECT_EQ(std::memcmp(row + 4, "A\x07\x8a\x07\xbf\x07", 6), 0);
  const PaneDirtyRange& command = Lst.Dirty[kDirtyCommand];
  EXPECT_EQ(command.first_row, 20);
  EXPECT_EQ(command.end_row, 21);
  EXPECT_EQ(command.first_column, 2);
  EXPECT_EQ(command.end_column, 5);

  // nothing more is entered until the window side clears the request
  Co.Request.code = RequestCode::None;
  co_enter_command_side();
  EXPECT_EQ(Co.WaitKind, kWaitKey);
  EXPECT_EQ(Lst.Dirty[kDirtyCode].end_column, 200);
  EXPECT_EQ(con_screen_row(5)[398], 'Y');

  Co.Key.character = 'x';
  co_enter_command_side();
  EXPECT_EQ(Co.WaitKind, kWaitKey);
  ASSERT_EQ(gui_script_keys().size(), 1u);
  EXPECT_EQ(gui_script_keys()[0], (std::pair<u16, u16>('x', 0)));
  co_end_command_side();
  reset_engine_state();
}

}  // namespace
