// The event and trace instruments through the engine: EV, BH, RTM and TM on
// the work area's records, a hardware break on a program, TD over its trace,
// the profiler on an sdcc program, and the texts the windows show.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/brk_events.h"
#include "halv80/engine/brk_hardware.h"
#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_control.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/prof_profiler.h"
#include "halv80/engine/run_exec.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/stk_backtrace.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/trc_display.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/device/dev_events.h"
#include "platform/host/host_text.h"
#include "platform/device/dev_layout.h"

#ifndef HALV80_TEST_PROGRAM_DIR
#error "HALV80_TEST_PROGRAM_DIR names the folder of the built Z80 programs"
#endif

namespace {

std::string utf8(std::string_view cp932) { return host_cp932_to_utf8(cp932); }

class HwEventsTest : public BootedSessionTest {
 protected:
  void SetUp() override {
    BootedSessionTest::SetUp();
    sup_set_message_line_observer(
        [](void* self, std::string_view text) { static_cast<HwEventsTest*>(self)->messages_.emplace_back(text); },
        this);
  }
  void TearDown() override {
    sup_set_message_line_observer(nullptr, nullptr);
    BootedSessionTest::TearDown();
  }
  std::string typed(std::string_view line) { return utf8(ws_->Typed(line)); }
  void copy_program(const char* folder, const char* name) {
    for (const char* ext : {".hex", ".sym"})
      std::filesystem::copy_file(std::filesystem::path(HALV80_TEST_PROGRAM_DIR) / folder / (std::string(name) + ext),
                                 std::filesystem::path(dir_.path()) / (std::string(name) + ext));
  }
  std::vector<std::string> messages_;
};

TEST_F(HwEventsTest, TheBoardHasTheBasicLogicAndTheConfigurationItsCycleKinds) {
  EXPECT_EQ(::Run.TraceHwLevel, 1);
  // the shipped configuration's kinds match the board's status lines
  const struct {
    u8 kind;
    u8 status;
  } matches[] = {{kKindInta, kDevStatusInta},     {kKindCf, kDevStatusFetch},      {kKindMr, kDevStatusMemRead},
                 {kKindMw, kDevStatusMemWrite},   {kKindIr, kDevStatusIoRead},     {kKindIw, kDevStatusIoWrite},
                 {kKindMem, kDevStatusFetch},     {kKindMem, kDevStatusMemWrite},  {kKindIo, kDevStatusIoRead}};
  for (const auto& m : matches) {
    SCOPED_TRACE(testing::Message() << kCycleKindNames[m.kind] << " " << int(m.status));
    EXPECT_NE(brk_cycle_kind_flags(m.status) & (1u << (m.kind - 1)), 0);
  }
  EXPECT_EQ(brk_cycle_kind_flags(kDevStatusFetch) & (1u << (kKindMr - 1)), 0);  // a fetch is no plain read
  EXPECT_EQ(brk_cycle_kind_flags(kDevStatusMemRead) & (1u << (kKindIo - 1)), 0);
}

TEST_F(HwEventsTest, EventFieldsAndTheirListing) {
  typed("EV 1,A=1000,D=4X");
  EventRecord e = brk_get_event(1);
  EXPECT_EQ(e.address_start, 0x1000u);
  EXPECT_EQ(e.address_end, 0x1000u);
  EXPECT_EQ(e.address_mask, 0xFFFFFFu);  // cut to 24 bits by the basic logic
  EXPECT_EQ(e.data_value, 0x40u);
  EXPECT_EQ(e.data_mask, 0xF0u);
  EXPECT_EQ(e.pass_count, 1);
  typed("EV 2,A=!2000,2FFF,S=MW,C=3");
  e = brk_get_event(2);
  EXPECT_EQ(e.address_negate, 1);
  EXPECT_EQ(e.address_end, 0x2FFFu);
  EXPECT_EQ(e.kind, kKindMw);
  EXPECT_EQ(e.status_value & e.status_mask, kDevStatusMemWrite);
  EXPECT_EQ(e.pass_count, 3);
  EXPECT_EQ(typed("EV 2"), "EV 2\n*** Event No. = 2 ***\n Address != 2000 ~ 2fff\n Data   = xx"
                           "\n Stat   = @xxxx_xxxx_0001_0010  <MW>\n Pass Count = 3\n>");
  typed("EV 1,D=");
  EXPECT_EQ(brk_get_event(1).data_mask, 0u);
  EXPECT_EQ(brk_event_data_text(1), "xx");
  EXPECT_EQ(brk_event_address_text(2), "! 2000 ~ 2FFF");
  // a failed line leaves the record as it was
  const struct {
    const char* line;
    const char* message;
  } refusals[] = {{"EV 2,A=3000,C=0", "データ指定が誤りです"},
                  {"EV 2,A=3000,Q=1", "コマンドのフォーマットが不正です"},
                  {"EV 2,A=3000,S!=MR", "コマンドのフォーマットが不正です"},
                  {"EV 2,A=3000,2000", "アドレス指定が誤りです"},
                  {"EV 2,S=XX", "データ指定が誤りです"},
                  {"EV 4", "データ指定が誤りです"}};
  for (const auto& r : refusals) {
    SCOPED_TRACE(r.line);
    EXPECT_NE(typed(r.line).find(r.message), std::string::npos);
    EXPECT_EQ(brk_get_event(2).address_start, 0x2000u);
    EXPECT_EQ(brk_get_event(2).pass_count, 3);
  }
}

TEST_F(HwEventsTest, MaskedTexts) {
  EXPECT_EQ(brk_masked_data_text(0x40, 0xF0, 8), "4x");
  EXPECT_EQ(brk_masked_data_text(0x41, 0xF3, 8), "@0100_xx01");
  EXPECT_EQ(brk_masked_status_text(0x0B, 0x1F), "@xxxx_xxxx_xxx0_1011");
  EXPECT_EQ(prof_share_text(3, 7), "42.8%");
  EXPECT_EQ(prof_share_text(7, 7), "100.%");
  // past 4.3 million samples part x 1000 needs more than 32 bits
  EXPECT_EQ(prof_share_text(4'000'000, 8'000'000), "50.0%");
  std::string name;
  EXPECT_STREQ(brk_stop_text(kSelEv3 | kSelExt1, name), "H/W_Brk=");
  EXPECT_EQ(name, "Ev.3");
  EXPECT_EQ(brk_stop_text(0, name), nullptr);
}

TEST_F(HwEventsTest, SelectionsOfTheBreakAndTheTrigger) {
  BiosWorkArea& w = *SupHost.BiosWork;
  typed("BH A=5");
  EXPECT_EQ(w.bytes[kWorkEventEnable], kSelAndSeq);
  EXPECT_EQ(w.bytes[kWorkEventEnable + 1], kSelAnd);
  EXPECT_EQ(w.get16_at(kWorkEventEnable + 2), 5);
  typed("BH 1");  // Ev.1 alone takes AND away
  EXPECT_EQ(w.bytes[kWorkEventEnable], kSelEv1);
  typed("BH T=20000000");
  EXPECT_EQ(w.get8<kWorkTimerStep>(), 2);
  EXPECT_EQ(w.get32<kWorkTimerPreset>(), 2'000'000u);
  EXPECT_EQ(w.get8<kWorkTimerFlags>() & 1, 1);
  // a refused time-out leaves the timer mode and count as they were
  EXPECT_NE(typed("BH T=167772151").find("データ指定が誤りです"), std::string::npos);
  EXPECT_EQ(w.get32<kWorkTimerPreset>(), 2'000'000u);
  EXPECT_EQ(w.get8<kWorkTimerFlags>() & 1, 1);
  EXPECT_EQ(typed("BH"), "BH\n Hardware Break = Ev.1 Ti.Out \nTime Out val= 020s000m000u\n>");
  typed("BHD *");
  EXPECT_EQ(w.bytes[kWorkEventEnable], 0);
  typed("RTM T/D=3 3");
  EXPECT_EQ(w.get16<kWorkTraceDelay>(), 8);
  EXPECT_EQ(w.bytes[kWorkTraceEventSetup], kSelEv3);
  EXPECT_EQ(w.get8<kWorkTraceMode>(), 0x10);
  // one source serves one consumer
  EXPECT_EQ(typed("BH 3"), "BH 3\nHardware Break & Realtime Trace used same EVENT\n>");
  EXPECT_EQ(w.bytes[kWorkEventEnable], 0);
  EXPECT_EQ(w.bytes[kWorkTraceEventSetup], kSelEv3);
  EXPECT_NE(typed("RTM S").find("Event not define!"), std::string::npos);
  EXPECT_EQ(w.bytes[kWorkTraceEventSetup], kSelEv3);  // restored
  typed("RTM F/B");
  EXPECT_EQ(w.bytes[kWorkEventEnable], kSelTraceEnd);
  EXPECT_EQ(typed("RTM"), "RTM\nTrace mode = Free RUN\nTrace CLK  = EXT\nTrace Full = Break\n>");
  // the break window's hardware rows
  typed("BH A=2");
  EXPECT_EQ(brk_window_row_count(), kBreakRowsEndInHardware | (1 + 3));
  EXPECT_EQ(brk_window_row_text(1), " BH    AND[2]");
  EXPECT_EQ(brk_window_row_text(2).substr(0, 10), "   AND EV1");
  EXPECT_EQ(brk_window_row_event(3), 1);

  // the break window's actions on its hardware rows (row 1 is the BH line);
  // the trace's end break set above stays
  const auto events = [&w] { return w.bytes[kWorkEventEnable] & ~kSelTraceEnd; };
  typed("BH 1");
  typed("BHE 2");
  ASSERT_EQ(events(), kSelEv1 | kSelEv2);
  brk_window_hardware_action(kBreakRowToggle, 1);  // the row of Ev.1 switches it out
  EXPECT_EQ(events(), kSelEv2);
  brk_window_hardware_action(kBreakRowDelete, 0);  // the BH line names no event
  EXPECT_EQ(events(), kSelEv2);
  brk_window_hardware_action(kBreakRowDeleteAll, 0);  // every event out
  EXPECT_EQ(events(), 0);
}

// A program in emulation ROM at 0100h writes 0..n to 9000h + n; a break on
// the write of 5 stops it after that instruction.
TEST_F(HwEventsTest, HardwareBreakStopsTheProgramAndNamesItsSource) {
  const std::vector<u8> code = {0x21, 0x00, 0x90,  // LD HL,9000h
                                0x7D,              // LD A,L
                                0x77,              // LD (HL),A
                                0x23,              // INC HL
                                0x18, 0xFB};       // JR 0103h
  tgt_write_block(code, 0x0100);
  typed("EV 1,D=05,S=MW");
  typed("BH 1");
  typed("RTM F");
  typed("G =100");
  await_stop();
  EXPECT_EQ(::Run.Regs.pc, 0x0105);
  EXPECT_EQ(::Run.Regs.hl, 0x9005);
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back(), "H/W_Brk=Ev.1");
  // the trace holds the run: the last write is the one of 5
  const std::string all = typed("TD");
  EXPECT_NE(all.find("Acq. Frames  =      0 to"), std::string::npos);
  const std::string found = typed("E D 05,MW");
  EXPECT_NE(found.find("9005 05  MW"), std::string::npos) << found;
  const std::string listing = typed("L 0,3");
  EXPECT_NE(listing.find("0100 21  CF\tLD\tHL,9000"), std::string::npos) << listing;
  EXPECT_NE(typed("Z").find("コマンド エラー"), std::string::npos);
  typed("Q");
  EXPECT_EQ(trc_view_active(), 0);
  // the history window's view of the same frames
  HistoryRequest r;
  EXPECT_GT(hist_trace_range(r), 4u);
  char text[600];
  r.text = text;
  r.text_size = sizeof text;
  r.has_range = 1;
  r.first = 0;
  r.last = 3;
  r.count = 4;
  r.kind = 1;
  hist_read_trace_block(r);
  EXPECT_EQ(r.count, 4u);
  EXPECT_NE(std::string(text).find("LD\tHL,9000"), std::string::npos) << text;
}

TEST_F(HwEventsTest, TimerMeasuresBetweenTwoEvents) {
  const std::vector<u8> code = {0x00,              // 0100 NOP
                                0x00,              // 0101 NOP
                                0x18, 0xFC};       // 0102 JR 0100h
  tgt_write_block(code, 0x0100);
  typed("EV 1,A=0100,S=CF");
  typed("EV 2,A=0101,S=CF");
  typed("EV 3,A=0102,S=CF,C=50");
  typed("BH 3");
  typed("TM 0");
  typed("G =100");
  await_stop();
  const std::string shown = typed("TM");
  // NOP: 4 T-states at 8 MHz, 0.5 us: five units of 0.1 us
  EXPECT_NE(shown.find("Measurment Time =  0s000m000u5    Acqs. = "), std::string::npos) << shown;
  EXPECT_GE(EmuCtl.TimerCount, 1);
}

// The text of screen row `row`, trailing blanks dropped.
std::string screen_row(u16 row) {
  const u8* cells = con_screen_row(row);
  std::string text;
  for (u16 c = 0; c < kScreenColumns; ++c) text += char(cells[c * 2] == 0 ? ' ' : cells[c * 2]);
  return text.substr(0, text.find_last_not_of(' ') + 1);
}

TEST_F(HwEventsTest, TimerDisplayFollowsTheRunningTargetUntilAKey) {
  const std::vector<u8> code = {0x00, 0x00, 0x18, 0xFC};  // NOP; NOP; JR 0100h
  tgt_write_block(code, 0x0100);
  typed("EV 1,A=0100,S=CF");
  typed("EV 2,A=0101,S=CF");
  typed("TM 0");
  // the code pane reaches below row 21
  Con.Geometry.command_first_row = 30;
  sup_split_screen_panes(kWindowIndexCommand);
  // not running: the display is shown once and the command ends
  const std::string once = typed("TM /C");
  EXPECT_NE(once.find("\nMeasurment Time = No Triger"), std::string::npos) << once;
  EXPECT_EQ(once.back(), '>');
  typed("G =100");
  ASSERT_EQ(::Run.ExecutionState, kExecRunning);
  const std::string shown = typed("TM /C");
  EXPECT_NE(shown.find("Resolution = 0.1 usec"), std::string::npos) << shown;
  // the command goes on: rows 20 and 21 of the code pane follow the timer
  for (int i = 0; i < 1000 && EmuCtl.TimerCount == 0; ++i) ws_->Pump();
  ASSERT_GE(EmuCtl.TimerCount, 1);
  ws_->Pump();
  EXPECT_EQ(screen_row(20).rfind("Measurment Time =  0s000m000u5    Acqs. = ", 0), 0u) << screen_row(20);
  EXPECT_EQ(screen_row(21).rfind(" MAX = 0s000m000u5   MIN = 0s000m000u5   Avg. = ", 0), 0u) << screen_row(21);
  EXPECT_EQ(Con.Window, kSlotCode);
  // a key ends it; the target runs on
  ws_->Key(' ');
  EXPECT_EQ(Con.Window, kSlotCommand);
  EXPECT_EQ(::Run.ExecutionState, kExecRunning);
  EXPECT_EQ(ws_->Transcript().back(), '>');
  typed("ESC");
  ws_->Type("");
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
}

TEST_F(HwEventsTest, HistoryRangeWithoutAMonitorReadsThePointersAfresh) {
  const std::vector<u8> code = {0x21, 0x00, 0x90, 0x7D, 0x77, 0x23, 0x18, 0xFB};  // as above
  tgt_write_block(code, 0x0100);
  typed("EV 1,D=05,S=MW");
  typed("BH 1");
  typed("RTM F");
  typed("G =100");
  await_stop();
  HistoryRequest with_monitor;
  const u32 frames = hist_trace_range(with_monitor);
  ASSERT_GT(frames, 4u);
  EXPECT_EQ(with_monitor.valid_count, with_monitor.valid_last - with_monitor.valid_first);
  EXPECT_EQ(with_monitor.valid_count + 1, frames);
  // an end frame kept from an earlier look is not taken without a monitor
  EmuCtl.TraceFrameEnd = 3;
  TrcView.Base = 7;
  Sw.NoMonitorMode = 1;
  HistoryRequest without;
  const u32 again = hist_trace_range(without);
  Sw.NoMonitorMode = 0;
  EXPECT_EQ(again, frames);
  EXPECT_EQ(TrcView.Base, 0);
  // with a monitor the kept end frame stands
  EmuCtl.TraceFrameEnd = 3;
  HistoryRequest stale;
  EXPECT_EQ(hist_trace_range(stale), 3u);
}

TEST_F(HwEventsTest, ProfilerFindsTheBusyFunction) {
  copy_program("prof", "prof");
  // each device call runs 10 ms of the target: a sample every 5 ms of target
  // time is due at every look
  sim->Clock().UseFixedBudget(80'000);
  // Beside the host (the card's ports) the board runs at full speed in slices
  // longer than the whole interval; held to its clock, the engine looks in
  // between as it would at a card.
  if (backend_ == DevBackend::Direct) sim->SetPacing(DevPacing::Clock);
  typed("L prof.hex");
  EXPECT_NE(typed("PROF ON RT,4").find("データ指定が誤りです"), std::string::npos);
  EXPECT_NE(typed("PROF").find("サンプリングされていません"), std::string::npos);
  for (const char* source : {"PROF ON RT,5", "PROF ON,5"}) {
    SCOPED_TRACE(source);
    typed("PROF CLR");
    typed(source);
    typed("G =start");
    // held to its clock, the run outlasts many looks
    await_stop();
    EXPECT_EQ(EmuCtl.ProfilerRunning, kProfilerOn);
    const std::string report = typed("PROF");
    EXPECT_GE(Prof.Total, 3u) << report;
    EXPECT_NE(report.find("  1. 0207 _busy"), std::string::npos) << report;
  }
  EXPECT_NE(typed("PROF RT").find("コマンドのフォーマットが不正です"), std::string::npos);
  EXPECT_EQ(EmuCtl.ProfilerRunning, kProfilerOff);
}

}  // namespace

namespace {

TEST_F(HwEventsTest, StackWindowWordLayoutFollowsTheRuler) {
  ::Run.Regs.sp = 0x9000;
  for (u16 i = 0; i < kStackRulerRows; ++i) tgt_write_word(u16(0x9000 + 2 * i), u16(0x1100 + i));
  const std::vector<std::string> rows = stk_stack_window_rows(1, 0);
  ASSERT_EQ(rows.size(), 23u);
  EXPECT_EQ(rows[0], "    SP : 1100");
  EXPECT_EQ(rows[1], "   +2  : 1101");
  EXPECT_EQ(rows[9], "   +12 : 1109");
  EXPECT_EQ(rows[22], "   +2C : 1116");
  EXPECT_TRUE(stk_stack_window_rows(0, 0).empty());  // no symbols: no backtrace
}

}  // namespace

namespace {

// The dialogs reach the same commands through the core requests, and
// set records and selections through the accessors.
TEST_F(HwEventsTest, DialogRequestsAndAccessors) {
  EXPECT_EQ(sup_run_core_request("1,A=1234,D=5X,C=2", CoreRequest::Event), 0);
  EventRecord e = brk_get_event(1);
  EXPECT_EQ(e.address_start, 0x1234u);
  EXPECT_EQ(e.data_value, 0x50u);
  EXPECT_EQ(e.data_mask, 0xF0u);
  EXPECT_EQ(e.pass_count, 2);
  EXPECT_EQ(sup_run_core_request("1,C=0", CoreRequest::Event), 1);  // refused: the record stays
  EXPECT_EQ(brk_get_event(1).pass_count, 2);
  Co.PendingError = 0;  // the window side showed it
  EXPECT_EQ(sup_run_core_request("A=4", CoreRequest::HardwareBreak), 0);
  EXPECT_EQ(SupHost.BiosWork->bytes[kWorkEventEnable], kSelAndSeq);
  EXPECT_EQ(sup_run_core_request("S 3", CoreRequest::TraceMode), 0);
  EXPECT_EQ(SupHost.BiosWork->bytes[kWorkTraceEventSetup], kSelEv3);
  const u32 words[7] = {0x00000100, 0x2000, 0x2000, 0xFFFFFFFF, 0x12, 0xFF, 0x001F0012};
  sup_set_event_record(2, words, 7);
  e = brk_get_event(3);
  EXPECT_EQ(e.address_negate, 1);
  EXPECT_EQ(e.address_start, 0x2000u);
  EXPECT_EQ(e.status_value, 0x12);
  EXPECT_EQ(e.status_mask, 0x1F);
  EXPECT_EQ(e.pass_count, 7);
  sup_set_event_enables(0x00050008u, 0, 0x04, 0);
  EXPECT_EQ(SupHost.BiosWork->bytes[kWorkEventEnable], 0x08);
  EXPECT_EQ(SupHost.BiosWork->get16_at(kWorkEventEnable + 2), 5);
  EXPECT_EQ(SupHost.BiosWork->bytes[kWorkTraceEventSetup], 0x04);
}

}  // namespace
