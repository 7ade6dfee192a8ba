// The core-request dispatcher: its save and restore frame and its results.
#include "halv80/engine/sup_core_request.h"

#include <gtest/gtest.h>

#include <cstring>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"

namespace {

using CoreRequestTest = EngineTest;

TEST_F(CoreRequestTest, EvaluateTakesHexThenDecimal) {
  EXPECT_EQ(sup_run_core_request("10,10", CoreRequest::Evaluate), 0);
  EXPECT_EQ(Co.Request.p1, 0x10u);
  EXPECT_EQ(Co.Request.p2, 10u);
  EXPECT_EQ(Co.PendingError, 0);
  EXPECT_EQ(sup_run_core_request("FF", CoreRequest::Evaluate), 0);
  EXPECT_EQ(Co.Request.p1, 0xFFu);
}

TEST_F(CoreRequestTest, FailureGives1AndRestoresTheCommandsWords) {
  std::snprintf(Cmd.CommandLine, sizeof Cmd.CommandLine, "D 100,200");
  Cmd.ScannerCursor = Cmd.CommandLine + 2;
  Cmd.Radix = 10;
  Cmd.AbortFlag = 1;
  Co.Request.code = RequestCode::Refresh;
  EXPECT_EQ(sup_run_core_request("zz", CoreRequest::Evaluate), 1);
  EXPECT_EQ(Co.PendingError, 1);  // message 0 (address) for the window side
  EXPECT_EQ(Cmd.ScannerCursor, Cmd.CommandLine + 2);
  EXPECT_EQ(Cmd.Radix, 10);
  EXPECT_EQ(Cmd.AbortFlag, 1);
  EXPECT_EQ(Co.Request.code, RequestCode::Refresh);
  EXPECT_STREQ(Cmd.CommandLine, "D 100,200");
}

TEST_F(CoreRequestTest, RequestsWithNothingToDoSucceed) {
  // the numbers between the profiler's sample and the event line
  for (u16 r = u16(CoreRequest::ProfileSample) + 1; r < u16(CoreRequest::Event); ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(sup_run_core_request("", CoreRequest(r)), 0);
    EXPECT_EQ(Co.PendingError, 0);
  }
}

TEST_F(CoreRequestTest, LoadRequestKeepsTheWholeLineOfTheCommandInProgress) {
  std::string line(1000, 'x');
  std::memcpy(Cmd.CommandLine, line.c_str(), line.size() + 1);
  EXPECT_EQ(sup_run_core_request("L prog.s", CoreRequest::Load), 1);  // ".s" names no program file
  EXPECT_EQ(std::string(Cmd.CommandLine), line);
  EXPECT_EQ(Co.PendingError, 2);  // message 1 for the window side
}

TEST_F(CoreRequestTest, LeftoverRequestIsBusyError8) {
  // a request whose work asks the window side for something nobody serves
  sup_core_request_handler(CoreRequest::TraceToggle) = [](const char*) { co_post_request(RequestCode::Refresh); };
  Co.Request.code = RequestCode::CaretHint;  // the command side's own request, waiting
  EXPECT_EQ(sup_run_core_request("", CoreRequest::TraceToggle), 0);
  EXPECT_EQ(Co.PendingError, 8 + kErrBusyBase);
  EXPECT_EQ(Co.Request.code, RequestCode::CaretHint);  // put back
}

TEST_F(CoreRequestTest, ARequestBeyondTheTableAnswersAsUnknown) {
  EXPECT_EQ(sup_run_core_request("", CoreRequest(kCoreRequestCount)), 1);
  EXPECT_EQ(Co.PendingError, 35);
}

}  // namespace

namespace {

TEST_F(CoreRequestTest, CommandsThatNeedAStoppedTargetAreRefusedWhileItRuns) {
  EXPECT_EQ(sup_check_not_running(), 1);
  EXPECT_EQ(Co.PendingError, 0);
  run_set_execution_state(kExecRunning);
  EXPECT_EQ(sup_check_not_running(), 0);  // returns: the busy kind does not unwind
  EXPECT_EQ(Co.PendingError, 7 + kErrBusyBase);
}

}  // namespace
