// One session through both of the library's roads to the simulated board,
// the driver entry and the card's ports: start-up, memory, run, step,
// breakpoints, events and trace must show the same screen and exchange the
// same bytes with the monitor, byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/emu_areas.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/startup_fixture.h"
#include "halv80/symbols/sym_symbols.h"

#ifndef HALV80_TEST_PROGRAM_DIR
#error "HALV80_TEST_PROGRAM_DIR names the folder of the built Z80 programs"
#endif

namespace {

// The bytes that went over the channel in each direction.
struct ChannelRecord {
  std::vector<u8> to_target;
  std::vector<u8> from_target;
  std::string text;  // the channel's entries in order, for a failure's output
  bool operator==(const ChannelRecord& other) const {
    return to_target == other.to_target && from_target == other.from_target;
  }
};

// What a session showed and what went over the channel, at start-up and after.
struct SessionRecord {
  std::vector<std::string> screens;  // the output of each line typed
  ChannelRecord startup;
  ChannelRecord session;
};

// The channel entries of the transcript so far.
ChannelRecord channel_record(SimulatedDriver& sim) {
  ChannelRecord r;
  auto held = sim.Hold();
  for (const SimTranscriptEntry& e : sim.Transcript()) {
    if (e.kind == SimTranscriptEntry::Kind::Request) continue;
    const bool to_target = e.kind == SimTranscriptEntry::Kind::ToTarget;
    (to_target ? r.to_target : r.from_target).push_back(u8(e.value));
    r.text += (to_target ? "TX " : "RX ") + std::to_string(e.value) + "\n";
  }
  sim.ClearTranscript();
  return r;
}

// Empty lines are typed while a run goes on until it stops; this only ends
// the test of a run that never does.
constexpr auto kRunLimit = std::chrono::minutes(2);
// T-states the target runs inside each driver request.
constexpr u64 kDriverBudget = 80'000;

// The start-up fixture run as one session, outside the test framework's own
// set-up, so that one test can hold a session of each back end.
class BackendSession : public StartupTest {
 public:
  explicit BackendSession(DevBackend backend) {
    backend_ = backend;  // through the ports the board runs beside the host
  }
  void TestBody() override {}

  SessionRecord Run(const std::vector<const char*>& lines) {
    SessionRecord record;
    SetUp();
    if (!HasFatalFailure()) {
      for (const char* ext : {".hex", ".sym"})
        std::filesystem::copy_file(std::filesystem::path(HALV80_TEST_PROGRAM_DIR) / "load" / (std::string("demo") + ext),
                                   std::filesystem::path(dir_.path()) / (std::string("demo") + ext));
      // Through the driver the target runs inside the requests: a fixed
      // share each, as the engine's tests run it.
      if (backend_ == DevBackend::Driver) sim->Clock().UseFixedBudget(kDriverBudget);
      sym_init();
      Links.emulator_startup = emu_startup;
      auto ws = std::make_unique<ScriptedWindowSide>();
      ws->Start();
      EXPECT_EQ(EmuArea.MonitorRunning, 1);
      record.startup = channel_record(*sim);
      for (const char* line : lines) {
        std::string screen;
        if (line[0] != 'G') {
          screen = ws->Typed(line);
        } else {
          // A run: until the stop, whose report the next prompts bring. How
          // many empty lines that takes is the host's business, not the
          // board's: the prompts are left out.
          const std::size_t before = ws->Transcript().size();
          ws->Type(line);
          const auto give_up = std::chrono::steady_clock::now() + kRunLimit;
          while (::Run.ExecutionState != kExecStopped && std::chrono::steady_clock::now() < give_up) ws->Type("");
          ws->Type("");
          screen = ws->Transcript().substr(before);
          for (std::size_t at; (at = screen.find("\n>")) != std::string::npos;) screen.erase(at, 2);
          // an empty line typed while the target still runs is echoed as a
          // line end of its own: those are left out too
          for (std::size_t at; (at = screen.find("\n\n")) != std::string::npos;) screen.erase(at, 1);
          if (!screen.empty() && screen.back() == '\n') screen.pop_back();
        }
        // the session's folder is its own (shown with the host's "/")
        const std::string folder = dir_.path();
        for (std::size_t at; (at = screen.find(folder)) != std::string::npos;) screen.replace(at, folder.size(), "<run>");
        record.screens.push_back(screen);
      }
      record.session = channel_record(*sim);
      ws.reset();
      sym_init();
    }
    TearDown();
    return record;
  }
};

TEST(BackendsTest, DriverAndPortsShowTheSameAndExchangeTheSameBytes) {
  const std::vector<const char*> lines = {
      // a program, a breakpoint and its trace
      "L demo.hex", "BP 0218", "RTM F", "G =start", "TD", "D 0,8", "L 0,14", "E A 9100 MW", "E 10,D 21,CF", "N 4",
      "P", "-B", "Q",
      // events: a hardware break after three passes, timed
      "BC *", "EV 1,A=910C,S=MW", "EV 2,A=add_point,S=CF", "EV 3,A=add_point,S=CF,C=3", "BH 3", "TM 0", "G =start",
      "R", "TM", "BH",
      // memory and steps
      "RTC OFF", "EB 100,3E,05,3C,00,18,FA", "DB 100,10F", "G =100,103", "R", "T", "R A", "S 100,10F,3C",
      "C 100,103,104"};
  const SessionRecord driver = BackendSession(DevBackend::Driver).Run(lines);
  const SessionRecord direct = BackendSession(DevBackend::Direct).Run(lines);
  ASSERT_EQ(driver.screens.size(), lines.size());
  ASSERT_EQ(direct.screens.size(), lines.size());
  // the runs stopped where they must: at the breakpoint, and on the event
  EXPECT_NE(driver.screens[3].find("Real Time Count = 0,000s000m035u"), std::string::npos) << driver.screens[3];
  EXPECT_NE(driver.screens[20].find("P=020E"), std::string::npos) << driver.screens[20];
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(direct.screens[i], driver.screens[i]) << lines[i];

  // Through the ports, _Q_init's sweep of registers 0..58 writes 0 to the
  // send register; the FIFO reset that ends it drops the byte before the
  // monitor runs. It is the first byte of the start-up.
  ChannelRecord direct_startup = direct.startup;
  ASSERT_FALSE(direct_startup.to_target.empty());
  EXPECT_EQ(direct_startup.to_target.front(), 0);
  direct_startup.to_target.erase(direct_startup.to_target.begin());
  EXPECT_FALSE(driver.startup.to_target.empty());
  EXPECT_TRUE(direct_startup == driver.startup) << "--- driver\n" << driver.startup.text << "--- direct\n"
                                                << direct.startup.text;
  EXPECT_FALSE(driver.session.to_target.empty());
  EXPECT_TRUE(direct.session == driver.session) << "--- driver\n" << driver.session.text << "--- direct\n"
                                                << direct.session.text;
}

}  // namespace
