// Binding the work area, opening and closing the driver, the lock hooks and
// the version and function-set queries.
#include <gtest/gtest.h>

#include "platform/device/dev_tokens.h"
#include "platform/host/host_ui.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/tests/export_cases.h"
#include "rz7bios/tests/fake_driver.h"

namespace {

int Boxes = 0;
int count_box(std::string_view, std::string_view, unsigned) {
  ++Boxes;
  return kBoxAnswerOk;
}

class BiosDriverTest : public testing::Test {
 protected:
  void SetUp() override {
    bios_reset_state();
    dev_reset_system();
    dev_token_reset();
    Boxes = 0;
    previous_ = host_set_message_box_sink(count_box);
  }
  void TearDown() override {
    host_set_message_box_sink(previous_);
    bios_reset_state();
    dev_reset_system();
    dev_token_reset();
  }
  HostMessageBoxSink previous_ = nullptr;
};

TEST_F(BiosDriverTest, OpenCodes) {
  const struct {
    const char* what;
    std::function<void(FakeDriver&)> fault;
    int code;
    u32 mode;  // work offset 539 afterwards
  } cases[] = {
      {"device already running", [](FakeDriver&) { DevSys.service_running = true; }, 0, 1},
      {"service started first", [](FakeDriver&) {}, 0, 1},
      {"direct-port platform", [](FakeDriver&) { DevSys.platform = kPlatformWin9x; }, 0, 0},
      {"no service manager", [](FakeDriver&) { DevSys.manager_fails = true; }, 1, 1},
      {"no driver service", [](FakeDriver&) { DevSys.service_installed = false; }, 2, 1},
      {"service does not start", [](FakeDriver&) { DevSys.service_start_fails = true; }, 3, 1},
      {"device does not open", [](FakeDriver&) { DevSys.open_fails = true; }, 4, 1},
      {"work-area size", [](FakeDriver& d) { d.work_size = 1044; }, 5, 1},
      {"argument-block size", [](FakeDriver& d) { d.arg_size = 400; }, 6, 1},
      {"no version", [](FakeDriver&) { DevSys.version_fails = true; }, 7, 0},
      {"unknown platform", [](FakeDriver&) { DevSys.platform = 3; }, 8, 0},
      // a size query that fails is left to the function-set check
      {"size query fails", [](FakeDriver& d) { d.failing.insert(u32(BiosRequest::FunctionSet)); }, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bios_reset_state();
    dev_reset_system();
    FakeDriver driver;
    DevSys.driver = &driver;
    c.fault(driver);
    BiosWorkArea work{};
    EXPECT_EQ(_NT_setbioswork(&work), c.code);
    EXPECT_EQ(work.get32<kWorkDriverMode>(), c.mode);
    EXPECT_EQ(Boxes, 0);
  }
}

TEST_F(BiosDriverTest, SecondOpenWithTheDeviceOpenAsksNothing) {
  BiosRig rig;
  ASSERT_EQ(rig.open_code, 0);
  EXPECT_EQ(_NT_open_driver(), 0);
  EXPECT_TRUE(rig.driver.calls.empty());
}

TEST_F(BiosDriverTest, CloseForgetsTheHandleSoTheNextOpenReallyOpens) {
  BiosRig rig;
  EXPECT_EQ(_NT_close_driver(), 0);
  EXPECT_EQ(Bios.Device, kDevInvalidHandle);
  // with the service gone, a reopen must fail rather than reuse the closed handle
  DevSys.service_running = false;
  DevSys.service_installed = false;
  EXPECT_EQ(_NT_open_driver(), 2);
  DevSys.service_installed = true;
  EXPECT_EQ(_NT_open_driver(), 0);
  EXPECT_EQ(rig.driver.Requests(), std::vector<u32>{u32(BiosRequest::FunctionSet)});
  DevSys.close_fails = true;
  EXPECT_EQ(_NT_close_driver(), -1);
}

TEST_F(BiosDriverTest, VersionAndFunctionSet) {
  {
    BiosRig rig;
    rig.driver.result = 0x03000000;
    EXPECT_EQ(_NT_driver_status(), 0x03000000u);
    EXPECT_EQ(_NT_getver(), 0x0310);
    rig.driver.failing.insert(u32(BiosRequest::DriverStatus));
    EXPECT_EQ(_NT_getver(), 0x0010);
    EXPECT_EQ(Boxes, 0);  // the status query shows no box
    const struct {
      u32 reply;
      bool fails;
      int result;
    } sets[] = {{1, false, 1}, {2, false, -1}, {1, true, 0}};
    for (const auto& s : sets) {
      rig.driver.function_set = s.reply;
      rig.driver.failing.clear();
      if (s.fails) rig.driver.failing.insert(u32(BiosRequest::FunctionSet));
      EXPECT_EQ(_Q_get_qn_func(), s.result);
    }
    EXPECT_EQ(Boxes, 1);  // only the failed function-set request
  }
  DevSys.platform = kPlatformWin9x;
  BiosWorkArea work{};
  EXPECT_EQ(_NT_setbioswork(&work), 0);
  EXPECT_EQ(_NT_getver(), 0x0010);
  EXPECT_EQ(_Q_get_qn_func(), 1);
  EXPECT_EQ(_NT_get_bios_workp_size(), 1046);
  EXPECT_EQ(_NT_get_rz7arg_size(), 416);
}

// The lock pair of a caller's record, counting calls; the driver checks that
// every request runs inside the lock.
int Locks = 0, Unlocks = 0;
bool Held = false;
void test_lock() {
  ++Locks;
  EXPECT_FALSE(Held);
  Held = true;
}
void test_unlock() {
  ++Unlocks;
  Held = false;
}

TEST_F(BiosDriverTest, LockHooksWrapEveryOperation) {
  LockHookRecord record{kLockHookTag, 1000, test_lock, test_unlock};
  ScopedToken record_token(&record, sizeof record);
  for (const ExportCase& c : export_cases()) {
    SCOPED_TRACE(c.name);
    BiosRig rig;
    bios_reset_state();
    rig.work.set32<kWorkLockRecord>(record_token.token());
    ASSERT_EQ(_NT_setbioswork(&rig.work), 0);
    EXPECT_EQ(rig.work.get32<kWorkLockRecord>(), 0u);  // taken over and cleared
    rig.driver.on_request = [](u32, u8*) { EXPECT_TRUE(Held); };
    Locks = Unlocks = 0;
    c.call();
    EXPECT_EQ(Locks, 1);
    EXPECT_EQ(Unlocks, 1);
  }
  BiosRig rig;
  bios_reset_state();
  rig.work.set32<kWorkLockRecord>(record_token.token());
  _NT_setbioswork(&rig.work);
  Locks = Unlocks = 0;
  _Q_putrs(1);  // kept in the channel buffer, still under the lock
  _nt_STARTCMD(3);
  _Q_get_qn_func();
  EXPECT_EQ(Locks, 3);
  // the set-up and query calls that may run before or beside others take no lock
  Locks = 0;
  _NT_driver_status();
  _NT_getver();
  _NT_open_driver();
  _Q_if_lap_time();
  _NT_get_bios_workp_size();
  _NT_get_rz7arg_size();
  _NT_close_driver();
  EXPECT_EQ(Locks, 0);
}

TEST_F(BiosDriverTest, RecordWithoutTheTagKeepsTheDefaultLock) {
  LockHookRecord record{0x12345678, 1000, test_lock, test_unlock};
  ScopedToken record_token(&record, sizeof record);
  BiosRig rig;
  bios_reset_state();
  rig.work.set32<kWorkLockRecord>(record_token.token());
  ASSERT_EQ(_NT_setbioswork(&rig.work), 0);
  EXPECT_EQ(rig.work.get32<kWorkLockRecord>(), record_token.token());  // left as it was
  Locks = 0;
  // the default lock: the busy flag is set while a request runs
  rig.driver.on_request = [&](u32, u8*) { EXPECT_EQ(rig.work.get32<kWorkBusy>(), 1u); };
  _Q_rdreg(1);
  EXPECT_EQ(Locks, 0);
  EXPECT_EQ(rig.work.get32<kWorkBusy>(), 0u);
}

}  // namespace
