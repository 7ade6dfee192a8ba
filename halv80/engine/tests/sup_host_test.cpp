#include "halv80/engine/sup_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "platform/device/dev_driver.h"
#include "platform/device/dev_tokens.h"
#include "platform/host/host_card.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_file.h"
#include "platform/host/tests/scratch_dir.h"
#include "rz7bios/rz7bios.h"

namespace {

class SupHostTest : public EngineTest {
 protected:
  void TearDown() override {
    host_card_remove();
    EngineTest::TearDown();
    EXPECT_EQ(host_file_open_count(), 0u);
  }
};

TEST_F(SupHostTest, BlocksAndTheMemoryFullBox) {
  ScriptedWindowSide ws;  // records the boxes of the window side
  auto* fixed = static_cast<u8*>(sup_fixed_alloc(4096));
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(std::count(fixed, fixed + 4096, 0), 4096);
  sup_fixed_free(fixed);
  void* block = sup_global_alloc(0);  // a block of no bytes is still a block
  EXPECT_NE(block, nullptr);
  sup_global_free(block);
  sup_global_free(nullptr);
  EXPECT_TRUE(ws.boxes.empty());

  EXPECT_EQ(sup_global_alloc(0x80000000u), nullptr);
  EXPECT_EQ(sup_fixed_alloc(0xFFFFFFFFu), nullptr);
  ASSERT_EQ(ws.boxes.size(), 2u);
  for (const auto& box : ws.boxes) {
    EXPECT_EQ(box.title, "QUENDAR ERROR");
    EXPECT_EQ(box.text, "WINDOWS ERROR Memory full");
  }
}

TEST_F(SupHostTest, FileWrappersRoundTrip) {
  ScratchDir dir;
  const std::string name = dir.system_path() + "\\Out.BIN";
  EXPECT_EQ(sup_file_open(name, 3), -1);  // no such mode
  const int h = sup_file_create(name);
  ASSERT_GT(h, 0);
  EXPECT_EQ(sup_file_write(h, "0123456789", 10), 10);
  EXPECT_EQ(sup_file_seek(h, -4, kSeekEnd), 6);
  char b[8] = {};
  EXPECT_EQ(sup_file_read(h, b, sizeof b), 4);
  EXPECT_STREQ(b, "6789");
  EXPECT_EQ(sup_file_close(h), 0);
  EXPECT_EQ(sup_file_close(h), -1);
  EXPECT_EQ(sup_file_rename(dir.system_path() + "\\out.bin", dir.system_path() + "\\Moved.bin"), 0);
  EXPECT_EQ(dir.read("Moved.bin"), "0123456789");
  EXPECT_EQ(sup_file_delete(dir.system_path() + "\\MOVED.BIN"), 0);
  EXPECT_EQ(sup_file_delete(dir.system_path() + "\\MOVED.BIN"), -1);
}

TEST_F(SupHostTest, TimeFollowsTheTickClock) {
  EXPECT_EQ(sup_tick_count(), 100000u);
  sup_sleep(250);
  EXPECT_EQ(sup_tick_count(), 100250u);
  EXPECT_EQ(sup_start_time_stamp(), 100250u);
  EXPECT_EQ(SupHost.StartTick, 100250u);
}

TEST_F(SupHostTest, DelayCalibrationEndsOnBothClocks) {
  // the fake clock never moves by itself: the count stops at the first clock
  // read past the limit
  const u32 fake_rounds = sup_calibrate_delay();
  EXPECT_GE(fake_rounds, kCalibrateFakeRounds);
  EXPECT_LT(fake_rounds, kCalibrateFakeRounds + 256);
  EXPECT_EQ(SupHost.DelayRoundsPer100ms, fake_rounds);
  host_clock_use_real();
  const u32 start = host_tick_ms();
  const u32 rounds = sup_calibrate_delay();
  EXPECT_GE(u32(host_tick_ms() - start), 100u);
  EXPECT_GT(rounds, kCalibrateFakeRounds);  // far more than the fake limit in 100 ms
  EXPECT_EQ(rounds & 0xFF, 0xFFu);          // the clock is read when the counter's low byte is 0
}

TEST_F(SupHostTest, OpensFilesBesideTheProgram) {
  ScratchDir dir;
  dir.write("QQN80.CFG", "cfg");
  const struct {
    std::string folder;
    const char* name;
    bool opens;
  } cases[] = {
      {dir.system_path(), "qqn80.cfg", true},
      {dir.system_path() + "\\", "QQN80.CFG", true},
      {dir.system_path(), "mon80.qqn", false},
      {dir.system_path() + "\\nofolder", "QQN80.CFG", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder + " + " + c.name);
    std::strcpy(Sw.ProgramFolder, c.folder.c_str());
    const int h = sup_open_beside_program(c.name);
    EXPECT_EQ(h > 0, c.opens);
    if (h > 0) {
      char b[4] = {};
      EXPECT_EQ(sup_file_read(h, b, 3), 3);
      EXPECT_STREQ(b, "cfg");
      EXPECT_EQ(sup_file_write(h, "x", 1), -1);  // opened for reading
      sup_file_close(h);
    }
  }
}

TEST_F(SupHostTest, DirectoryTextsStayInTheirBuffers) {
  ScratchDir dir;
  std::filesystem::create_directories(dir.path() + "/Work");
  const std::filesystem::path before = std::filesystem::current_path();
  ASSERT_TRUE(sup_set_current_dir(dir.system_path() + "\\work"));
  std::string cwd = std::filesystem::canonical(dir.path() + "/Work").string();
  for (char& ch : cwd)
    if (ch == '/') ch = '\\';

  char text[kDirectorySize];
  ASSERT_TRUE(sup_get_current_dir(text));
  EXPECT_EQ(text, cwd);
  std::vector<char> small(cwd.size(), '#');  // no room for the terminator
  EXPECT_FALSE(sup_get_current_dir(small));
  EXPECT_EQ(small, std::vector<char>(cwd.size(), '#'));

  std::strcpy(text, "sub\\..\\a.c");
  ASSERT_TRUE(sup_full_path_in_place(text));
  EXPECT_EQ(text, cwd + "\\a.c");
  std::vector<char> tight(cwd.size() + 4, '\0');  // one byte short of the full path
  std::strcpy(tight.data(), "a.c");
  EXPECT_FALSE(sup_full_path_in_place(tight));
  EXPECT_STREQ(tight.data(), "a.c");

  EXPECT_TRUE(sup_is_directory("."));
  EXPECT_FALSE(sup_is_directory("missing"));
  dir.write("Work/b.c", "");
  std::vector<HostDirEntry> entries;
  ASSERT_TRUE(sup_list_directory("*.C", entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "b.c");
  std::filesystem::current_path(before);
}

TEST_F(SupHostTest, DetectsTheInterfaceCard) {
  const auto card = [](u16 port, std::string_view id) { return HostCardSlot{host_card_slot_record(port, id), false}; };
  HostCardSlot empty;  // no card: byte 0 stays 0
  HostCardSlot failing;
  failing.call_fails = true;
  HostCardSlot not_flagged = card(0x0500, kInterfaceCardPciId);
  not_flagged.record[kCardSlotPresent] = 2;  // only 1 means "card here"
  const std::vector<HostCardSlot> seven_empty(7, empty);
  std::vector<HostCardSlot> eighth = seven_empty;
  eighth.push_back(card(0x0380, kInterfaceCardPciId));
  std::vector<HostCardSlot> ninth = eighth;
  ninth[7] = empty;
  ninth.push_back(card(0x0390, kInterfaceCardPciId));  // slot 8 is never asked
  const struct {
    const char* what;
    bool present;
    std::vector<HostCardSlot> slots;
    u16 kind, result;
  } cases[] = {
      {"device absent", false, {}, kCardKindPci, kCardDeviceAbsent},
      {"no slots", true, {}, kCardKindPci, kCardNotFound},
      {"PCI in slot 2", true, {empty, failing, card(0x0300, kInterfaceCardPciId)}, kCardKindPci, 0x0300},
      {"first match wins", true, {card(0x0310, kInterfaceCardPciId), card(0x0320, kInterfaceCardPciId)}, kCardKindPci, 0x0310},
      {"20 characters compared", true, {card(0x0330, "PCI\\VEN_1172&DEV_7A1F")}, kCardKindPci, 0x0330},
      {"19 match", true, {card(0x0340, "PCI\\VEN_1172&DEV_7B10")}, kCardKindPci, kCardNotFound},
      {"short id", true, {card(0x0350, "PCI\\VEN_1172")}, kCardKindPci, kCardNotFound},
      {"flag other than 1", true, {not_flagged}, kCardKindPci, kCardNotFound},
      {"PC-Card", true, {card(0x0360, kInterfaceCardPciId), card(0x0240, "PCMCIA\\QUENDAR")}, kCardKindPcCard, 0x0240},
      {"PC-Card wanted, PCI found", true, {card(0x0360, kInterfaceCardPciId)}, kCardKindPcCard, kCardNotFound},
      {"unknown kind", true, {card(0x0360, kInterfaceCardPciId)}, 3, kCardNotFound},
      {"slot 7", true, eighth, kCardKindPci, 0x0380},
      {"slot 8", true, ninth, kCardKindPci, kCardNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    host_card_remove();
    if (c.present) host_card_install(c.slots);
    EXPECT_EQ(DetectInterfaceCard(c.kind), c.result);
    EXPECT_EQ(host_card_open_count(), 0);  // closed on every path
  }
}

// A driver that answers every request: the sizes the library checks, and a
// status word whose top byte is the version's major number.
struct VersionDriver : DeviceDriver {
  u32 last_work_token = 0;
  bool IoControl(u32, u8* block, std::size_t, std::size_t out_length, u32& returned, u32&) override {
    const auto put32 = [&](std::size_t at, u32 v) {
      for (int i = 0; i < 4; ++i) block[at + i] = u8(v >> (8 * i));
    };
    last_work_token = u32(block[kArgWorkArea] | block[kArgWorkArea + 1] << 8 | block[kArgWorkArea + 2] << 16 |
                          u32(block[kArgWorkArea + 3]) << 24);
    put32(kArgResult, 0x03000000);
    put32(kArgSizeWorkArea, kWorkAreaSize);
    put32(kArgSizeArgBlock, kArgBlockSize);
    returned = u32(out_length);
    return true;
  }
};

// The library keeps the area it was handed; before the reset frees ours, it is
// closed and handed none, so that no later test finds it pointing at freed memory.
void detach_library() {
  _NT_close_driver();
  dev_reset_system();
  _NT_setbioswork(nullptr);  // its open attempt fails: no driver
  dev_reset_system();
}

class SupBiosWorkTest : public SupHostTest {
 protected:
  void TearDown() override {
    detach_library();
    SupHostTest::TearDown();
  }
};

TEST_F(SupBiosWorkTest, HandsTheAreaToTheLibraryAndKeepsItsVersion) {
  VersionDriver driver;
  DevSys.driver = &driver;
  DevSys.service_running = true;
  Sw.BootSwitchB = 1;
  EXPECT_EQ(sup_init_bios_work_area(), 0);
  ASSERT_NE(SupHost.BiosWork, nullptr);
  EXPECT_EQ(SupHost.BiosWork->get8<kWorkStartupSwitch>(), 1);
  // the library's requests carry the token of our area
  EXPECT_EQ(dev_token_resolve(driver.last_work_token, kWorkAreaSize), SupHost.BiosWork.get());
  EXPECT_EQ(SupHost.LibraryVersion, 0x0310);
  EXPECT_EQ(SupHost.LibraryMajor, 3);
  // everything but the flag and what the library set itself is zero
  BiosWorkArea expected{};
  expected.set8<kWorkStartupSwitch>(1);
  expected.set32<kWorkDriverMode>(1);
  expected.set32<kWorkReturnedCount>(kArgBlockSize);  // the last request's reply
  EXPECT_EQ(SupHost.BiosWork->bytes, expected.bytes);
}

TEST_F(SupBiosWorkTest, WithoutTheDriverTheOpenCodeComesBack) {
  EXPECT_EQ(sup_init_bios_work_area(), 4);  // the device never opens
  ASSERT_NE(SupHost.BiosWork, nullptr);
  EXPECT_EQ(SupHost.BiosWork->get8<kWorkStartupSwitch>(), 0);
  EXPECT_EQ(SupHost.LibraryVersion, 0x0010);
  EXPECT_EQ(SupHost.LibraryMajor, 0);
  // a second set-up hands over a new area; the reset frees it
  EXPECT_EQ(sup_init_bios_work_area(), 4);
  detach_library();
  reset_engine_state();
  EXPECT_EQ(SupHost.BiosWork, nullptr);
}

}  // namespace
