// Every core request 0..20 with its argument text against a booted target,
// and the small commands W, Y, OPTION and INS typed at the prompt.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/sym_store.h"

namespace {

class CoreRequestTableTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_reset();  // the saved-breakpoint text and watch names live in the symbol store
  }
};

// A watch entry over one byte, as W makes it.
void add_memory_watch(u32 address) {
  WatchEntry& e = FmtRows.Watches[FmtRows.WatchCount++];
  e = WatchEntry{};
  e.low.set(address);
  e.high.set(address + 1);
  e.element_size.set(1);
}

// The operand text each watch entry was made from.
std::string watch_text(u16 i) {
  char text[256];
  sym_name_text(FmtRows.Watches[i].name.get(), text, sizeof text);
  return text;
}

// The numbers after the profiler's sample are taken and do nothing.
constexpr CoreRequest after_profile(u16 n) { return CoreRequest(u16(CoreRequest::ProfileSample) + n); }

TEST_F(CoreRequestTableTest, EveryRequestWithItsArgument) {
  using R = CoreRequest;
  const struct {
    const char* name;
    CoreRequest request;
    const char* argument;
    std::function<void()> before;
    u16 result;
    u16 error;  // the pending error word afterwards
    std::function<bool()> after;
  } cases[] = {
      {"0 sets a breakpoint", R::SetBreak, "8100", [] {}, 0, 0, [] { return Brk.UsedCount == 1; }},
      {"0 with a bad address", R::SetBreak, "zz", [] {}, 1, 1, [] { return Brk.UsedCount == 0; }},
      {"1 applies the hardware-break dialog", R::HardwareBreak, "", [] {}, 0, 0, [] { return true; }},
      {"3 deletes watch 2", R::CancelWatch, "2", [] { for (u32 a : {1u, 2u, 3u}) add_memory_watch(a); }, 0, 0,
       [] { return FmtRows.WatchCount == 2 && FmtRows.Watches[1].low.get() == 3; }},
      {"3 refuses watch 0", R::CancelWatch, "0", [] { add_memory_watch(1); }, 1, 14, [] { return FmtRows.WatchCount == 1; }},
      {"4 evaluates", R::Evaluate, "10,10", [] {}, 0, 0, [] { return Co.Request.p1 == 0x10 && Co.Request.p2 == 10; }},
      {"5 stores a word", R::WriteMemory, "AB",
       [] {
         Co.Request.p1 = 0x8100;
         Co.Request.p2 = 16;
         Co.Request.p3 = 'W';
       },
       0, 0,
       [] {
         u8 b[2];
         tgt_read_block(b, 0x8100);
         return b[0] == 0xAB && b[1] == 0 && Co.Request.p4 == 2;
       }},
      {"5 in decimal", R::WriteMemory, "18",
       [] {
         Co.Request.p1 = 0x8102;
         Co.Request.p2 = 10;
         Co.Request.p3 = 'b';
       },
       0, 0,
       [] {
         u8 b[1];
         tgt_read_block(b, 0x8102);
         return b[0] == 18 && Co.Request.p4 == 1;
       }},
      {"5 with no display kind", R::WriteMemory, "1", [] { Co.Request.p3 = 'Q'; }, 1, 2, [] { return true; }},
      {"7 shows the PC", R::CodeToPc, "", [] {}, 0, 0, [] { return Lst.PaneShows == kListingAssembly && Lst.RowKey[lst_pane_top()] == ::Run.Regs.pc; }},
      {"8 goes to an address", R::CodeGoTo, "200", [] { Lst.ListingMode = kListingAssembly; }, 0, 0,
       [] { return Lst.RowKey[lst_pane_top()] == 0x200; }},
      {"8 with a bad address", R::CodeGoTo, "zz", [] { Lst.ListingMode = kListingAssembly; }, 1, 1, [] { return true; }},
      {"9 applies the saved breakpoints", R::LoadBreaks, "",
       [] { sup_project_break_text("E 0x8110,1\r\nE 0x8120,2\r\n"); }, 0, 0, [] { return Brk.UsedCount == 2; }},
      {"9 without saved breakpoints", R::LoadBreaks, "", [] {}, 0, 0, [] { return Brk.UsedCount == 0; }},
      {"10 saves quietly", R::SaveBreaks, "", [] { brk_set(0x8130, 1, false); }, 0, 0,
       [] { return SymStore.SavedBreakpoints != kNoName; }},
      {"11 redraws the code window", R::RedrawCode, "", [] {}, 0, 0, [] { return true; }},
      {"12 sets the trace mode", R::TraceMode, "", [] {}, 0, 0, [] { return true; }},
      {"13 toggles the trace", R::TraceToggle, "", [] {}, 0, 0, [] { return true; }},
      {"14 reports the profile", R::ProfileSample, "", [] {}, 0, 0, [] { return true; }},
      {"15", after_profile(1), "x", [] {}, 0, 0, [] { return true; }},
      {"16", after_profile(2), "", [] {}, 0, 0, [] { return true; }},
      {"17", after_profile(3), "", [] {}, 0, 0, [] { return true; }},
      {"18", after_profile(4), "", [] {}, 0, 0, [] { return true; }},
      {"19", after_profile(5), "", [] {}, 0, 0, [] { return true; }},
      {"20 refuses a bad event line", R::Event, "EV", [] {}, 1, 2, [] { return true; }},
      {"21 is no request", CoreRequest(kCoreRequestCount), "", [] {}, 1, 35, [] { return true; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (u16 slot = 0; slot < kBreakSlots; ++slot) brk_delete(slot);
    SymStore.SavedBreakpoints = kNoName;
    FmtRows.WatchCount = 0;
    Co.Request.p1 = Co.Request.p2 = Co.Request.p3 = Co.Request.p4 = 0;
    c.before();
    EXPECT_EQ(sup_run_core_request(c.argument, c.request), c.result);
    // a request that posts a window request on this side is told so (error 8 of kind 1)
    const u16 error = Co.PendingError == 8 + kErrBusyBase ? 0 : Co.PendingError;
    EXPECT_EQ(error, c.error);
    Co.PendingError = 0;
    EXPECT_TRUE(c.after());
  }
}

TEST_F(CoreRequestTableTest, ProjectBreakTextRoundTrip) {
  brk_set(0x8140, 3, false);
  const std::string saved = sup_project_break_text("");
  EXPECT_NE(saved.find("8140"), std::string::npos) << saved;
  for (u16 slot = 0; slot < kBreakSlots; ++slot) brk_delete(slot);
  sup_project_break_text(saved);
  EXPECT_EQ(Brk.UsedCount, 0u);  // stored, not applied
  EXPECT_EQ(sup_run_core_request("", CoreRequest::LoadBreaks), 0);
  EXPECT_EQ(Brk.UsedCount, 1u);
}

TEST_F(CoreRequestTableTest, HelpTakesTheCommandsTopic) {
  const struct {
    const char* line;
    u32 topic;
  } cases[] = {{"HELP", 0}, {"HELP BP", 0xA1 - 0x80}, {"HELP d", 0xA3 - 0x80}, {"HELP NOSUCH", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    typed(c.line);
    const auto served = ws_->RequestsOf(RequestCode::Help);
    ASSERT_FALSE(served.empty());
    EXPECT_EQ(served.back().p1, c.topic);
  }
}

TEST_F(CoreRequestTableTest, WatchLimitsAndDuplicates) {
  for (int i = 0; i < 16; ++i) typed("W " + std::to_string(8100 + i * 2));
  EXPECT_EQ(FmtRows.WatchCount, 16u);
  EXPECT_NE(typed("W 8200").find(sjis("ウォッチの設定ができません")), std::string::npos);
  typed("Y 16");
  EXPECT_NE(typed("W 8100").find(sjis("ウォッチ指定が重複しています")), std::string::npos);
  EXPECT_EQ(FmtRows.WatchCount, 15u);
  EXPECT_FALSE(ws_->RequestsOf(RequestCode::WatchListChanged).empty());
}

TEST_F(CoreRequestTableTest, YDeletesEachNumberOnceAndKeepsTheOrder) {
  for (int i = 0; i < 5; ++i) typed("W " + std::to_string(8100 + i * 2));
  typed("Y 2,2");
  ASSERT_EQ(FmtRows.WatchCount, 4u);
  typed("Y 3,2");
  ASSERT_EQ(FmtRows.WatchCount, 2u);
  EXPECT_EQ(watch_text(0), "8100");
  EXPECT_EQ(watch_text(1), "8108");
  EXPECT_NE(typed("Y 0").find(sjis("\n")), std::string::npos);
  EXPECT_EQ(FmtRows.WatchCount, 2u);
  typed("Y");
  EXPECT_EQ(FmtRows.WatchCount, 0u);
}

TEST_F(CoreRequestTableTest, OptionPositions) {
  Option.DisplayAvailable = 1;
  Sw.ToolchainKind = 16;
  const struct {
    const char* line;
    bool error;
    u16 mode, display, cased;
  } cases[] = {
      {"OPTION ,ON", false, 0, 1, 1},  {"OPTION 2", false, 2, 1, 1}, {"OPTION 1,,OFF", false, 1, 1, 0},
      {"OPTION", true, 1, 1, 0},       {"OPTION 3", true, 1, 1, 0},  {"OPTION ,MAYBE", true, 1, 1, 0},
      {"OPTION 0,OFF,ON", false, 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string out = typed(c.line);
    EXPECT_EQ(out.find(sjis("データ指定が誤りです")) != std::string::npos, c.error) << out;
    EXPECT_EQ(::Run.RunModeWord & 0x0F, c.mode);
    EXPECT_EQ(Option.RegisterMemoryDisplay, c.display);
    EXPECT_EQ(SymFlag.CaseSensitive, c.cased);
  }
  // modes 1 and 2 do not exist for toolchain kind 3
  Sw.ToolchainKind = 3;
  typed("OPTION 2");
  EXPECT_EQ(::Run.RunModeWord & 0x0F, 0);
}

// INS inspects an expression with an address range in the scope of its
// ",address" (the PC without one); anything else is message 1, on the
// command pane.
TEST_F(CoreRequestTableTest, InsShowsTheValueOfAnExpressionWithAnAddress) {
  const struct {
    const char* line;
    const char* shown;  // nullptr: message 1
  } cases[] = {
      {"INS *(int *)9100", "(int )*(int *)9100 = "},
      {"INS *(int *)9100,200", "(int )*(int *)9100 = "},
      {"INS *(int *)9100,ZZZ", nullptr},  // a scope address that does not evaluate
      {"INS 1+", nullptr},                // no expression
      {"INS (int)3", nullptr},            // a value without an address
      {"INS", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::size_t shown_before = ws_->RequestsOf(RequestCode::ShowValue).size();
    const std::size_t errors_before = ws_->errors.size();
    const std::string out = typed(c.line);
    EXPECT_EQ(ws_->errors.size(), errors_before);  // no error box
    if (c.shown == nullptr) {
      EXPECT_NE(out.find(sjis("データ指定が誤りです")), std::string::npos) << out;
      EXPECT_EQ(ws_->RequestsOf(RequestCode::ShowValue).size(), shown_before);
      continue;
    }
    // the value goes to the window side's value window (request 1)
    EXPECT_EQ(ws_->RequestsOf(RequestCode::ShowValue).size(), shown_before + 1);
    EXPECT_NE(std::string(ExpShow.Request.Text).find(c.shown), std::string::npos) << ExpShow.Request.Text;
  }
}

}  // namespace
