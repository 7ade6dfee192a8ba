// The pseudo-keys of the window side, each against a booted target whose
// code pane shows an assembly listing.
#include "halv80/engine/cmd_pseudo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_watch.h"
#include "halv80/engine/key_input.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/exp_show.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/sym_store.h"

namespace {

class PseudoKeyTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_reset();  // watch names live in the symbol store
    typed("U 100");
  }
  u32 top() const { return Lst.RowKey[lst_pane_top()]; }
  void press(PseudoKey key, u16 thumb = 0, u16 pane = 11) {
    Co.Key.source_window = pane;
    ws_->PressPseudoKey(key, thumb);
    ws_->Settle();
  }
  void key_text(const char* text) { std::snprintf(Keys.KeyText, sizeof Keys.KeyText, "%s", text); }
};

TEST_F(PseudoKeyTest, ListingMovesAndThumb) {
  ASSERT_EQ(Lst.PaneShows, kListingAssembly);
  ASSERT_EQ(top(), 0x100u);
  press(PseudoKey::PageDown);
  const u32 after_page = top();
  EXPECT_GT(after_page, 0x100u);
  press(PseudoKey::PageUp);
  EXPECT_EQ(top(), 0x100u);
  press(PseudoKey::LineDown);  // at the last row
  EXPECT_GT(top(), 0x100u);
  press(PseudoKey::LineUp);  // at the first row
  EXPECT_EQ(top(), 0x100u);
  press(PseudoKey::Top);
  EXPECT_EQ(top(), 0u);
  press(PseudoKey::Bottom);
  EXPECT_GT(top(), 0xFF00u);
  press(PseudoKey::ThumbPosition, 1000);  // the thumb at the end: FFF0 at most
  EXPECT_EQ(top(), 0xFFF0u);
  press(PseudoKey::ThumbPosition, 500);
  EXPECT_EQ(top(), 0x8000u);
  press(PseudoKey::ListingUpdate);  // the thumb follows
  EXPECT_FALSE(ws_->RequestsOf(RequestCode::ScrollThumb).empty());
  EXPECT_EQ(Co.Key.key_code, 0);
  EXPECT_EQ(Lst.CodeCursorMode, 0u);  // the cursor-mark state is put back
}

TEST_F(PseudoKeyTest, ClickInTheMarginTogglesABreakpoint) {
  const u16 row = u16(lst_pane_top() + 2);
  const u32 address = Lst.RowKey[row];
  Co.Request.view.click_column = 1;
  Co.Request.view.click_row = row;
  press(PseudoKey::Click);
  EXPECT_EQ(brk_find(tgt_to_physical(u16(address))), 0);  // it was there (and is deleted by the look)
  // a click on the text moves the cursor row only
  Co.Request.view.click_column = 10;
  Co.Request.view.click_row = u16(row + 1);
  press(PseudoKey::Click);
  EXPECT_EQ(Lst.CursorRow, row + 1);
  EXPECT_EQ(Brk.UsedCount, 0u);
  // while the target runs the margin does nothing
  run_set_execution_state(kExecRunning);
  Co.Request.view.click_column = 1;
  press(PseudoKey::Click);
  run_set_execution_state(kExecStopped);
  EXPECT_EQ(Brk.UsedCount, 0u);
}

TEST_F(PseudoKeyTest, TextsFromTheWindowSide) {
  key_text("(int)3");
  press(PseudoKey::ShowValue);
  ASSERT_EQ(ws_->RequestsOf(RequestCode::ShowValue).size(), 1u);
  EXPECT_NE(std::string(ExpShow.Request.Text).find("(int)3 = 3"), std::string::npos) << ExpShow.Request.Text;
  key_text("(char*)0x8100");
  press(PseudoKey::AddWatch);
  EXPECT_EQ(FmtRows.WatchCount, 1u);
  press(PseudoKey::AddWatch);  // the same again: not added, error 4 of kind 1
  EXPECT_EQ(FmtRows.WatchCount, 1u);
  EXPECT_EQ(ws_->errors.back(), kErrBusyBase + 4);
  key_text("R");
  press(PseudoKey::PrintText);
  EXPECT_NE(ws_->Transcript().find("\nR\n>"), std::string::npos);
}

TEST_F(PseudoKeyTest, BreakWindowActions) {
  brk_set(tgt_to_physical(0x8110), 1, false);
  brk_set(tgt_to_physical(0x8120), 1, false);
  const struct {
    u16 p1;
    u16 used;
    u8 second_state;
  } cases[] = {
      {kBreakRowToggle | 2, 2, kBreakDisabled},  // entry 2 toggled off
      {kBreakRowToggle | 2, 2, kBreakEnabled},   // and on again
      {kBreakRowToggle | 0, 2, kBreakEnabled},   // number 0: nothing, and no hardware break either
      {kBreakRowAdded, 2, kBreakEnabled},        // refresh only
      {kBreakRowToggle | 9, 2, kBreakEnabled},   // beyond the software entries: a hardware break's
      {kBreakRowDelete | 1, 1, kBreakFree},      // entry 1 deleted
      {kBreakRowDeleteAll, 0, kBreakFree},       // all deleted
  };
  static std::vector<std::pair<u16, u16>> hardware;
  hardware.clear();
  Pseudo.HardwareBreakAction = [](u16 kind, u16 index) { hardware.emplace_back(kind, index); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.p1);
    Co.Request.p1 = c.p1;
    press(PseudoKey::BreakWindowAction);
    EXPECT_EQ(Brk.UsedCount, c.used);
    if (c.used == 2) {
      EXPECT_EQ(Brk.Slots[1].state, c.second_state);
    }
  }
  Pseudo.HardwareBreakAction = nullptr;
  // row 9 with two software entries is hardware break 6; "all" clears them too
  EXPECT_EQ(hardware, (std::vector<std::pair<u16, u16>>{{kBreakRowToggle, 6}, {kBreakRowDeleteAll, 0}}));
}

TEST_F(PseudoKeyTest, JumpToAnAddressAndTheRest) {
  // ':' at the 20th character, a blank, then the address
  key_text("x                  : 1234 text");
  press(PseudoKey::JumpToPosition);
  EXPECT_EQ(top(), 0x1234u);
  // ':' elsewhere, or a text too short: nothing
  key_text("x :2000");
  press(PseudoKey::JumpToPosition);
  EXPECT_EQ(top(), 0x1234u);
  // words between the assigned ones do nothing, as do the keys that have
  // nothing to act on here
  const u16 unassigned_first = u16(key_word(PseudoKey::ListingUpdate) + 1);
  const u16 unassigned_last = u16(key_word(PseudoKey::Click) - 1);
  for (const PseudoKey key : {PseudoKey::ThumbTrack, PseudoKey(unassigned_first), PseudoKey(u16(unassigned_first + 1)),
                              PseudoKey(unassigned_last), PseudoKey::DoubleClick, PseudoKey::AssemblerView,
                              PseudoKey::SelectionEnded, PseudoKey::SelectionStarted}) {
    SCOPED_TRACE(key_word(key));
    press(key);
    EXPECT_EQ(Co.Key.key_code, 0);  // cleared
    EXPECT_EQ(top(), 0x1234u);      // nothing moved
  }
  press(PseudoKey::Exit);  // the frame is asked to close
  EXPECT_FALSE(ws_->RequestsOf(RequestCode::Exit).empty());
}

}  // namespace
