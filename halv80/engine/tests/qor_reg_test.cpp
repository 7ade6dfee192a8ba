// The driver-parameter key: QorReg over the registry store, and the port and
// kind that ReadDriverParameters takes from it and from the driver.
#include "halv80/engine/qor_reg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "halv80/engine/tests/emulator_fixture.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/device/dev_sim_driver.h"
#include "platform/host/host_registry.h"
#include "platform/host/tests/scratch_dir.h"
#include "platform/device/dev_layout.h"

namespace {

// A value to store: its type and bytes.
struct Stored {
  u32 type;
  std::string data;
};
Stored dword(u32 v) {
  std::string d(4, '\0');
  store_le32(reinterpret_cast<u8*>(d.data()), v);
  return {kHostRegDword, d};
}

// The simulated driver with its status word replaced, so that its low half is
// a port that no other source gives.
class StatusDriver : public SimulatedDriver {
 public:
  explicit StatusDriver(u32 status) : status_(status) {}
  bool IoControl(u32 code, u8* block, std::size_t in_length, std::size_t out_length, u32& returned,
                 u32& error) override {
    const bool ok = SimulatedDriver::IoControl(code, block, in_length, out_length, returned, error);
    if (ok && code == bios_ioctl_code(u32(BiosRequest::DriverStatus))) store_le32(block + kArgResult, status_);
    return ok;
  }

 private:
  u32 status_;
};

class QorRegTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_FALSE(dir.path().empty());
    setenv("HALV80_REGISTRY_DIR", dir.path().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("HALV80_REGISTRY_DIR");
    EXPECT_EQ(host_reg_open_count(), 0u);
    EngineTest::TearDown();
  }
  // The driver's Parameters key with the values given (none missing).
  void write_parameters(const std::optional<Stored>& addr, const std::optional<Stored>& type) {
    HostRegKey* key = nullptr;
    ASSERT_EQ(host_reg_create_key(HostRegRoot::LocalMachine, kDriverParametersKey, key), kHostRegOk);
    for (const auto& [name, v] : {std::pair{"IF_addr", addr}, std::pair{"IF_type", type}}) {
      if (!v) continue;
      const std::span<const u8> bytes(reinterpret_cast<const u8*>(v->data.data()), v->data.size());
      EXPECT_EQ(host_reg_set_value(key, name, v->type, bytes), kHostRegOk);
    }
    host_reg_close_key(key);
  }
  ScratchDir dir;
};

TEST_F(QorRegTest, ReadDriverParametersNeedsBothNumbers) {
  const Stored text_one{kHostRegString, std::string("1\0", 2)};
  const struct {
    const char* what;
    bool key;
    std::optional<Stored> addr, type;
    int result;
    u32 port, kind;
  } cases[] = {
      {"both numbers", true, dword(0x300), dword(1), 1, 0x300, 1},
      {"kind 0 keeps the port", true, dword(0x1234), dword(0), 1, 0x1234, 0},
      {"kind 4 keeps the port", true, dword(0x1234), dword(4), 1, 0x1234, 4},
      {"kind 2, no driver: status 0", true, dword(0x300), dword(2), 1, 0, 2},
      {"IF_type as text", true, dword(0x300), text_one, 0, 0, 0},
      {"IF_addr as binary", true, Stored{kHostRegBinary, std::string("\x00\x03\x00\x00", 4)}, dword(1), 0, 0, 0},
      {"IF_type of two bytes", true, dword(0x300), Stored{kHostRegDword, std::string("\x01\x00", 2)}, 0, 0, 0},
      {"IF_addr missing", true, std::nullopt, dword(1), 0, 0, 0},
      {"IF_type missing", true, dword(0x300), std::nullopt, 0, 0, 0},
      {"no key", false, std::nullopt, std::nullopt, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(std::filesystem::path(dir.path()) / "HKEY_LOCAL_MACHINE.txt");
    if (c.key) write_parameters(c.addr, c.type);
    u32 port = 0, kind = 0;
    EXPECT_EQ(ReadDriverParameters(port, kind), c.result);
    if (c.result == 1) {
      EXPECT_EQ(port, c.port);
      EXPECT_EQ(kind, c.kind);
    }
  }
}

TEST_F(QorRegTest, KindsTwoAndThreeTakeThePortFromTheDriver) {
  std::unique_ptr<SimulatedDriver> sim;
  dev_reset_system();
  sim = std::make_unique<StatusDriver>(0x0100ABCD);
  DevSys.driver = sim.get();
  DevSys.service_running = true;
  ASSERT_EQ(sup_init_bios_work_area(), 0);
  const struct {
    u32 kind, port;
  } cases[] = {{1, 0x0300}, {2, 0xABCD}, {3, 0xABCD}, {4, 0x0300}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    write_parameters(dword(0x0300), dword(c.kind));
    u32 port = 0, kind = 0;
    EXPECT_EQ(ReadDriverParameters(port, kind), 1);
    EXPECT_EQ(port, c.port);
  }
  stop_simulated_emulator(sim);
}

TEST_F(QorRegTest, KeyAndCountLiveAsLongAsTheInstance) {
  write_parameters(dword(0x300), Stored{kHostRegString, "x"});
  const u32 before = QorReg::live_count();
  {
    u32 status = 0;
    QorReg missing("SYSTEM\\NoSuchKey", status, HostRegRoot::LocalMachine, false);
    EXPECT_EQ(status, kHostRegNotFound);
    u32 value = 7;
    EXPECT_EQ(missing.query_dword("IF_addr", value), kHostRegInvalidHandle);
    EXPECT_EQ(value, 7u);

    QorReg key(kDriverParametersKey, status, HostRegRoot::LocalMachine, true);
    EXPECT_EQ(status, kHostRegOk);
    EXPECT_EQ(QorReg::live_count(), before + 2);
    EXPECT_EQ(host_reg_open_count(), 1u);
    EXPECT_EQ(key.query_dword("if_type", value), kQorRegNotDword);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(key.query_dword("IF_kind", value), kHostRegNotFound);
    EXPECT_EQ(key.query_dword("IF_ADDR", value), 0u);
    EXPECT_EQ(value, 0x300u);
  }
  EXPECT_EQ(QorReg::live_count(), before);
  EXPECT_EQ(host_reg_open_count(), 0u);
}

}  // namespace
