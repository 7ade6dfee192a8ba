// Target control and status wrappers against the simulated emulator: the
// run-time text, the control registers, the power check, the event record
// handed to the library, the timer statistics, the trace frame range of a
// board without trace memory, and NMI samples of a running program.
#include "halv80/engine/emu_control.h"

#include <gtest/gtest.h>

#include "halv80/engine/engine_state.h"

#include "platform/host/host_card.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_monitor.h"
#include "halv80/engine/run_control.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/tests/emulator_fixture.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/device/dev_events.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_monitor.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/device/dev_sim_driver.h"
#include "rz7bios/rz7bios.h"

namespace {

using Bytes = std::vector<u8>;
using Kind = SimTranscriptEntry::Kind;

TEST(EmuRunTimeText, SplitsMicrosecondsIntoUnits) {
  const struct {
    u32 value;
    u16 runs;
    u32 overhead;
    const char* text;
  } cases[] = {
      {1'234'567'890, 0, 0, "1,234s567m890u"},
      {0, 0, 0, "0,000s000m000u"},
      {999, 0, 0, "0,000s000m999u"},
      {1'000, 0, 0, "0,000s001m000u"},
      {1'000'000, 0, 0, "0,001s000m000u"},
      {0xFFFFFFFF, 0, 0, "4,294s967m295u"},
      {1'000, 3, 300, "0,000s000m100u"},     // three runs' overhead taken off
      {1'000, 4, 300, "0,000s000m000u"},     // more overhead than time: 0
      {0xFFFFFFFF, 0xFFFF, 0xFFFFFFFF, "0,000s000m000u"},  // the product does not wrap
      {0xFFFFFFFF, 1, 0xFFFFFFFF, "0,000s000m000u"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    reset_engine_state();
    EmuCtl.LastRunTime = c.value;
    EmuCtl.RunCounter = c.runs;
    EmuCtl.RunOverhead = c.overhead;
    EXPECT_EQ(emu_run_time_text(), c.text);
    EXPECT_EQ(std::string(EmuCtl.TimeText), c.text);  // terminated in its buffer
  }
  reset_engine_state();
}

TEST(EmuTimerStatistics, AverageFollowsTheLastHundred) {
  reset_engine_state();
  for (u32 v : {30u, 10u, 20u}) emu_timer_record(v);
  EXPECT_EQ(EmuCtl.TimerLast, 20u);
  EXPECT_EQ(EmuCtl.TimerCount, 3);
  EXPECT_EQ(EmuCtl.TimerSum, 60u);
  EXPECT_EQ(EmuCtl.TimerAverage, 20u);
  EXPECT_EQ(EmuCtl.TimerMax, 30u);
  EXPECT_EQ(EmuCtl.TimerMin, 10u);

  // past 100 measurements each new one replaces an average one
  reset_engine_state();
  for (int i = 0; i < 100; ++i) emu_timer_record(100);
  EXPECT_EQ(EmuCtl.TimerSum, 10'000u);
  emu_timer_record(1'100);
  EXPECT_EQ(EmuCtl.TimerCount, 101);
  EXPECT_EQ(EmuCtl.TimerSum, 11'000u);
  EXPECT_EQ(EmuCtl.TimerAverage, 110u);

  // the count stops at its maximum
  EmuCtl.TimerCount = 0xFFFE;
  emu_timer_record(110);
  emu_timer_record(110);
  EXPECT_EQ(EmuCtl.TimerCount, 0xFFFF);
  EXPECT_EQ(EmuCtl.TimerAverage, 110u);
  reset_engine_state();
}

// The engine's work area handed to the library in front of a simulated
// emulator whose monitor has booted and said hello; the transcript starts empty.
class EmuControlTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    start_simulated_emulator(sim, DevFixture{});
    Boot();
    sim->ClearTranscript();
  }
  void TearDown() override {
    stop_simulated_emulator(sim);
    EngineTest::TearDown();
  }

  void Boot() {
    header = boot_simulated_monitor(DevFixture{});
    // the monitor's break and NMI vectors, as start-up writes them before a run
    const u16 brk = header.break_entry.get(), nmi = header.nmi_entry.get();
    emu_rom_write_block(0x38, Bytes{0xC3, u8(brk), u8(brk >> 8)});
    emu_rom_write_block(0x66, Bytes{0xC3, u8(nmi), u8(nmi >> 8)});
  }
  bool WaitForByte() {
    for (int polls = 0; !emu_rschk() && polls < 800; ++polls) _Q_wait(10);
    return emu_rschk();
  }
  // Starts the program at `pc` as run control does: registers loaded, the run
  // strobe, request 103, and the wait until it has started.
  void Go(u16 pc) {
    const auto words = [](MonitorRequest code, std::initializer_list<u16> w) {
      ASSERT_TRUE(emu_request(code));
      for (u16 v : w) emu_put_word(v);
      EXPECT_EQ(emu_getrs(), kMonitorAcknowledge);
    };
    words(MonitorRequest::PrepareRun, {});
    words(MonitorRequest::LoadSpPcAf, {kStack, pc, 0});
    words(MonitorRequest::LoadAltAfBcDe, {0, 0, 0});
    words(MonitorRequest::LoadAltHlIxIy, {0, 0, 0});
    words(MonitorRequest::LoadBcHlDe, {0, 0, 0});
    ASSERT_TRUE(emu_request(MonitorRequest::LoadInterrupts));
    emu_putrs(0);
    emu_putrs(0);
    EXPECT_EQ(emu_getrs(), kMonitorAcknowledge);
    emu_profiler_strobe();
    ASSERT_TRUE(emu_request(MonitorRequest::Run));
    for (int polls = 0; (_Q_chk_run() & 2) == 0 && polls < 100; ++polls) _Q_wait(1);
    ASSERT_NE(_Q_chk_run() & 2, 0) << "the program did not start";
  }

  static BiosWorkArea& Work() { return *SupHost.BiosWork; }
  std::size_t RequestCount(BiosRequest request) const {
    std::size_t n = 0;
    for (const SimTranscriptEntry& e : sim->Transcript())
      if (e.kind == Kind::Request && e.value == u32(request)) ++n;
    return n;
  }

  static constexpr u16 kStack = 0x9000;
  static constexpr u16 kLoop = 0x8200;
  MonitorFileHeader header{};
  std::unique_ptr<SimulatedDriver> sim;
};

TEST_F(EmuControlTest, RegisterWrappersChangeOnlyTheirBits) {
  const struct {
    const char* name;
    std::function<void()> run;
    u8 reg;
    u8 before, after;  // the board's register before and after the call
  } cases[] = {
      {"page bit on", [] { emu_set_page_bit(0x00, 1); }, 44, 0x15, 0x95},
      {"page bit off", [] { emu_set_page_bit(0xFF, 0); }, 44, 0x95, 0x15},  // only bit 7 is written
      {"break/trace control", [] { emu_set_break_trace_control(0x5A); }, 54, 0x00, 0x5A},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    _Q_wrreg1(c.reg, c.before);
    c.run();
    EXPECT_EQ(sim->Board().RegisterShadow(c.reg), c.after);
  }
  EXPECT_EQ(Work().get8<kWorkReg54Copy>(), 0x5A);  // kept for the library's set-up

  // The strobe clears the run-started latch, and the work area's copy of
  // register 7 forgets it, so a later masked write does not strobe again.
  Go(kLoop);
  ASSERT_NE(_Q_chk_run() & 2, 0);
  emu_profiler_strobe();
  EXPECT_EQ(_Q_chk_run() & 2, 0);
  EXPECT_EQ(Work().get8<kWorkRegisterShadow + 7>() & 0x10, 0);
}

TEST_F(EmuControlTest, ResetPulseRestartsTheMonitor) {
  ASSERT_FALSE(emu_rschk());
  emu_reset_pulse(1);
  EXPECT_EQ(RequestCount(BiosRequest::TargetReset), 1u);
  ASSERT_TRUE(WaitForByte());
  EXPECT_EQ(emu_getrs(), kMonitorHello);  // the cold start said hello again
}

TEST_F(EmuControlTest, PowerCheckAsksForTheSecondSupplyWhenTheBoardNeedsIt) {
  const struct {
    const char* name;
    u16 no_monitor;
    u16 organisation;
    bool upper_area;
    bool second_supply;
    u32 result;
  } cases[] = {
      {"one supply needed", 0, 0, false, false, 0},
      {"organisation 4", 0, 4, false, false, 2},
      {"upper area", 0, 0, true, false, 2},
      {"second supply on", 0, 4, true, true, 0},
      {"organisation 2", 0, 2, false, false, 0},
      {"no monitor", 1, 4, true, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sw.NoMonitorMode = c.no_monitor;
    EmuCtl.MemoryOrganisation = c.organisation;
    RomLayout layout;
    if (c.upper_area) {
      layout.urom1_start = 0x8000;
      layout.urom1_end = 0xFFFF;
    }
    emu_set_rom_layout(layout);
    sim->Board().SetSecondSupply(c.second_supply);
    Work().set16<kWorkStatus>(0);
    EXPECT_EQ(emu_check_target_vcc(), c.result);
    EXPECT_EQ(Work().get16<kWorkStatus>(), c.result ? kStatusPowerOff : 0);
  }
  // target power off
  Sw.NoMonitorMode = 0;
  EmuCtl.MemoryOrganisation = 0;
  emu_set_rom_layout(RomLayout{});
  sim->SetTargetPower(false);
  EXPECT_EQ(emu_check_target_vcc(), 1u);
}

TEST_F(EmuControlTest, NoTraceOrEventHardwareReportsNothingHit) {
  EXPECT_EQ(emu_trace_stopped(), 128);

  // register 55 bit 0 never sets: full once the grace rounds are used up,
  // or at once when a stop is on its way
  const struct {
    u16 countdown;
    u16 run_flags;
    std::vector<u16> results;
  } full_cases[] = {
      {0, 0, {128, 128}},
      {3, 0, {0, 0, 0, 128}},
      {3, 2, {128, 128}},
  };
  for (const auto& c : full_cases) {
    SCOPED_TRACE(testing::Message() << c.countdown << "/" << c.run_flags);
    EmuCtl.TraceFullCountdown = c.countdown;
    run_set_run_flags(c.run_flags);
    std::vector<u16> results;
    for (std::size_t i = 0; i < c.results.size(); ++i) results.push_back(emu_trace_full());
    EXPECT_EQ(results, c.results);
  }
  run_set_run_flags(0);

  const struct {
    u16 level;
    u16 suppress;
    std::size_t requests;  // of each: event status, event set
  } event_cases[] = {{0, 0, 0}, {0, 1, 0}, {1, 0, 1}, {2, 1, 1}};
  for (const auto& c : event_cases) {
    SCOPED_TRACE(testing::Message() << c.level << "/" << c.suppress);
    ::Run.TraceHwLevel = c.level;
    Work().set8<kWorkEventEnable>(0x07);
    sim->ClearTranscript();
    EXPECT_EQ(emu_event_status(), 0);
    emu_arm_run_events(c.suppress);
    EXPECT_EQ(RequestCount(BiosRequest::EventStatus), c.requests);
    EXPECT_EQ(RequestCount(BiosRequest::EventSet), c.requests);
    EXPECT_EQ(Work().get8<kWorkEventEnable>(), 0x07);  // restored after the call
  }
}

TEST_F(EmuControlTest, ProgramEventTranslatesAndMasksTheLibraryCopy) {
  struct Record {
    u32 start, end, address_mask, data, data_mask;
    u16 status, status_mask;
  };
  const auto put = [](std::size_t base, const Record& r) {
    BiosWorkArea& w = Work();
    for (std::size_t i = 0; i < kEventRecordSize; ++i) w.bytes[base + i] = u8(0xA0 + i);
    const u32 longs[] = {r.start, r.end, r.address_mask, r.data, r.data_mask};
    for (std::size_t k = 0; k < 5; ++k)
      for (std::size_t i = 0; i < 4; ++i) w.bytes[base + 4 + 4 * k + i] = u8(longs[k] >> (8 * i));
    for (std::size_t i = 0; i < 2; ++i) {
      w.bytes[base + 24 + i] = u8(r.status >> (8 * i));
      w.bytes[base + 26 + i] = u8(r.status_mask >> (8 * i));
    }
  };
  const struct {
    const char* name;
    u16 organisation;
    u32 size_units;
    Record user, library;
  } cases[] = {
      {"byte bus: masks only", 0, 0x1F,
       {0x1234, 0x5678, 0xFFFFFFFF, 0x1FF, 0x0F, 0xABCD, 0x00F0},
       {0x1234, 0x5678, 0xFFFFFFFF, 0x0F, 0x0F, 0x00C0, 0x00F0}},
      {"address don't care", 0, 0x1F,
       {0x1234, 0x5678, 0, 0x12, 0xFF, 0x33, 0xFF},
       {0, 0, 0, 0x12, 0xFF, 0x33, 0xFF}},
      // two bytes a bus word: the address halves inside the memory; the bit
      // just above it goes, the higher ones stay
      {"word bus", 2, 0x1F,
       {0x12345, 0x5FFFF, 0xFFFFFFFF, 0, 0, 0, 0},
       {0x091A2, 0x4FFFF, 0xFFFDFFFF, 0, 0, 0, 0}},
      {"shift mod 32", 66, 0x1F,
       {0x12345, 0x5FFFF, 0xFFFFFFFF, 0, 0, 0, 0},
       {0x091A2, 0x4FFFF, 0xFFFDFFFF, 0, 0, 0, 0}},
  };
  for (u16 n = 1; n <= 3; ++n) {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.name << ", event " << n);
      std::fill(Work().bytes.begin() + kWorkUserEvents, Work().bytes.begin() + kWorkEventEnable, u8(0));
      for (u16 k = 0; k < 3; ++k) put(kWorkUserEvents + kEventRecordSize * k, c.user);
      const auto before = Work().bytes;
      EmuCtl.MemoryOrganisation = c.organisation;
      EmuCtl.MemorySizeUnits = c.size_units;
      sim->ClearTranscript();
      emu_program_event(n);
      EXPECT_EQ(RequestCount(BiosRequest::TriggerSet), 1u);
      const auto made = Work().bytes;
      Work().bytes = before;  // expected: only library record n changed
      put(kWorkLibraryEvents + kEventRecordSize * (n - 1), c.library);
      EXPECT_EQ(made, Work().bytes);
    }
  }
  // any other event number goes to the library untouched
  for (u16 n : {0, 4}) {
    SCOPED_TRACE(n);
    const auto before = Work().bytes;
    sim->ClearTranscript();
    emu_program_event(n);
    EXPECT_EQ(RequestCount(BiosRequest::TriggerSet), 1u);
    EXPECT_EQ(Work().bytes, before);
  }
}

TEST_F(EmuControlTest, TimerReadNeedsBothTimerEvents) {
  u32 value = 77;
  EmuCtl.TimerCount = 5;
  EXPECT_EQ(emu_timer_read(value, 1), 0);
  EXPECT_EQ(RequestCount(BiosRequest::TimerStart), 1u);
  EXPECT_EQ(EmuCtl.TimerCount, 0);
  EXPECT_EQ(EmuCtl.TimerMin, 0xFFFFFFFFu);

  const struct {
    std::size_t set_a, set_b;  // offsets made non-zero (0: none)
    std::size_t reads;
  } cases[] = {
      {0, 0, 0}, {419, 0, 0}, {0, 457, 0}, {419, 449, 1}, {427, 457, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.set_a << "/" << c.set_b);
    for (std::size_t off : {419u, 427u, 449u, 457u}) Work().bytes[off] = 0;
    if (c.set_a) Work().bytes[c.set_a] = 1;
    if (c.set_b) Work().bytes[c.set_b] = 1;
    sim->ClearTranscript();
    EXPECT_EQ(emu_timer_read(value, 0), 0);  // this board's timer never finishes
    EXPECT_EQ(RequestCount(BiosRequest::TimerRead), c.reads);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(EmuCtl.TimerCount, 0);
  }
}

// The status bar's timer text stays empty where there is no timer to show;
// the timer is asked only where there is event hardware.
TEST_F(EmuControlTest, TimerStatusIsEmptyWithoutATimerToShow) {
  const struct {
    const char* what;
    u16 level;
    bool events;        // both timer events compare something
    std::size_t reads;  // timer reads asked for
  } cases[] = {
      {"no event hardware", 0, true, 0},
      {"timer events that compare nothing", 1, false, 0},
      {"a timer that is off (status 0)", 2, true, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ::Run.TraceHwLevel = c.level;
    for (std::size_t off : {419u, 449u}) Work().bytes[off] = c.events ? 1 : 0;
    sim->ClearTranscript();
    std::array<char, 16> text;
    text.fill('#');
    run_format_timer_status(text);
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[1], '#');
    EXPECT_EQ(RequestCount(BiosRequest::TimerRead), c.reads);
  }
  run_format_timer_status({});  // no room at all: nothing written
}

TEST_F(EmuControlTest, TraceRangeFollowsTheEndFrame) {
  // This board never records: its trace stops at frame 0, unwrapped, empty.
  trc_start();
  trc_stop();
  EXPECT_EQ(RequestCount(BiosRequest::TraceStop), 1u);
  EXPECT_EQ(EmuCtl.TraceFrameEnd, 0u);
  EXPECT_EQ(EmuCtl.TraceWrapped, 0u);
  u16 first = 0, last = 0;
  trc_read_trace_frames(first, last);
  EXPECT_EQ(first, 0xFFFF);
  EXPECT_EQ(last, 0xFFFF);
  // a stop with the end frame known asks the hardware nothing
  EmuCtl.TraceFrameEnd = 100;
  sim->ClearTranscript();
  trc_stop();
  EXPECT_EQ(RequestCount(BiosRequest::TraceStop), 0u);
  EXPECT_EQ(EmuCtl.TraceFrameEnd, 100u);

  const struct {
    u16 adjust;    // frames in groups of 16
    u16 end;       // the frame the trace stopped at
    u32 wrapped;
    u16 first, last;
  } cases[] = {
      {0, 100, 1, 101, 99},
      {0, 100, 0, 0, 99},
      {0, 0, 0, 0xFFFF, 0xFFFF},  // nothing recorded
      {0, 0, 1, 1, 0xFFFF},
      {1, 0x105, 1, 0x110, 0xFF},  // rounded down to a whole group
      {1, 0x105, 0, 0, 0xFF},
      {1, 0x005, 0, 0xFFFF, 0xFFFF},  // no whole group
      {1, 0xFFF5, 1, 0x0000, 0xFFEF},  // the first frame wraps to 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.adjust << "/" << c.end << "/" << c.wrapped);
    EmuCtl.TraceFrameAdjust = c.adjust;
    EmuCtl.TraceFrameEnd = c.end;
    EmuCtl.TraceWrapped = c.wrapped;
    trc_read_trace_frames(first, last);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(last, c.last);
  }
}

TEST_F(EmuControlTest, TraceFramesAreCutBelowLevelTwo) {
  // Frame 12 as the board's trace memory holds it: an address of all ones,
  // 80 T-states (10 us at 8 MHz and the board's 1 us timer unit) after frame 0.
  {
    auto held = sim->Hold();
    sim->Board().Events().SetFrame(0, DevTraceFrame{0x0200, 0x3E, 0x0B, 0, 0});
    sim->Board().Events().SetFrame(12, DevTraceFrame{0xFFFFFFFF, 0xFF, 0xFF, 0, 80});
  }
  const struct {
    u16 level;
    u8 timer_flags;  // bit 1: time stamps from 0
    TraceFrame frame;
  } cases[] = {
      {1, 0x00, {0xFFFFFF, 0xFF, 0xFF, 10}},  // stamp measured from the first frame's
      {2, 0x00, {0xFFFFFFFF, 0xFF, 0xFF, 10}},
      {1, 0x02, {0xFFFFFF, 0xFF, 0xFF, 10}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.level << "/" << int(c.timer_flags));
    ::Run.TraceHwLevel = c.level;
    Work().set8<kWorkTimerFlags>(c.timer_flags);
    EmuCtl.TraceFrameEnd = 40;
    EmuCtl.TraceWrapped = 0;
    u16 first = 0, last = 0;
    trc_read_trace_frames(first, last);
    ASSERT_EQ(first, 0);
    ASSERT_EQ(last, 39);
    const TraceFrame f = trc_read_frame(12);
    EXPECT_EQ(f.address, c.frame.address);
    EXPECT_EQ(f.data, c.frame.data);
    EXPECT_EQ(f.status, c.frame.status);
    EXPECT_EQ(f.time, c.frame.time);
    u32 address = 0;
    u16 status = 0;
    EXPECT_FALSE(trc_sample(address, status));  // nothing runs, nothing recorded: no sample
  }
}

TEST_F(EmuControlTest, ProfilerSamplesARunningLoop) {
  u8 sample[2] = {};
  EXPECT_EQ(emu_profiler_sample(sample), 3);  // nothing runs yet
  EXPECT_EQ(Work().get8<kWorkRegisterShadow + 7>() & 0x40, 0);

  emu_req_write_block(kLoop, Bytes{0x18, 0xFE});  // JR $
  EmuCtl.RunCounter = 4;
  emu_rtc_clear();
  EXPECT_EQ(EmuCtl.RunCounter, 0);
  Go(kLoop);
  EXPECT_EQ(emu_wait_run_or_data(), 0);  // it runs
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    emu_wait(5);
    sample[0] = sample[1] = 0;
    EXPECT_EQ(emu_profiler_sample(sample), 0);
    EXPECT_EQ(sample[0] | sample[1] << 8, kLoop);  // the PC the NMI interrupted
    EXPECT_EQ(Work().get8<kWorkRegisterShadow + 7>() & 0x40, 0);
    EXPECT_EQ(_Q_chk_run() & 1, 1);  // and the program goes on
  }
  const u32 run_time = emu_rtc_read();
  EXPECT_GE(run_time, 15'000u);  // at least the 15 ms waited, in microseconds
  EXPECT_EQ(EmuCtl.LastRunTime, run_time);

  // the program's own channel byte comes first: no sample
  ASSERT_TRUE(sim->Board().TargetSend(0x42));
  sim->ClearTranscript();
  EXPECT_EQ(emu_profiler_sample(sample), kProfilerChannelBusy);
  EXPECT_EQ(RequestCount(BiosRequest::ProfileNmi), 0u);
  EXPECT_EQ(emu_wait_run_or_data(), 0);  // it still runs
  EXPECT_EQ(emu_getrs(), 0x42);

  // a forced stop: the monitor has the target and the stop byte waits
  emu_nmi(0);
  ASSERT_TRUE(WaitForByte());
  EXPECT_EQ(emu_wait_run_or_data(), 1);
  EXPECT_NE(emu_getrs(), 0);  // stopped by the NMI, not the break
  EXPECT_EQ(Work().get16<kWorkStatus>(), 0);
}

TEST(EmuCardTest, CardDetectionGivesThePortOrTheStartUpError) {
  reset_engine_state();
  sup_init_bios_work_area();  // a work area to write the port base into
  ASSERT_NE(SupHost.BiosWork, nullptr);
  const struct {
    const char* what;
    bool device;
    std::vector<HostCardSlot> slots;
    u16 base_result;
    u16 port;
    u16 pc_card;
  } cases[] = {
      {"no detection device", false, {}, 22, 0, 1},
      {"no card in any slot", true, {}, 23, 0, 2},
      {"a PCI card", true, {{host_card_slot_record(0x30C, kInterfaceCardPciId), false}}, 0, 0x308, 2},
      {"a PC-Card", true, {{host_card_slot_record(0x240, "PCMCIA\\RZ7"), false}}, 23, 0, 0x240},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.device)
      host_card_install(c.slots);
    else
      host_card_remove();
    SupHost.BiosWork->set16<kWorkBasePort>(0);
    EXPECT_EQ(emu_detect_card_base(), c.base_result);
    EXPECT_EQ(SupHost.BiosWork->get16<kWorkBasePort>(), c.port);
    EXPECT_EQ(emu_detect_card(), c.pc_card);
  }
  host_card_remove();
  reset_engine_state();
}

}  // namespace
