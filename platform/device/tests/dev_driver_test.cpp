#include "platform/device/dev_driver.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <string>
#include <vector>

#include "platform/host/host_registry.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

struct EchoDriver : DeviceDriver {
  u32 last_code = 0;
  bool IoControl(u32 code, u8* block, std::size_t, std::size_t, u32& returned, u32& error) override {
    last_code = code;
    if (code == 0) {
      error = 1117;
      return false;
    }
    block[0] = 0xAA;
    returned = 1;
    return true;
  }
};

class DriverSeamTest : public testing::Test {
 protected:
  void SetUp() override { dev_reset_system(); }
  void TearDown() override { dev_reset_system(); }
  EchoDriver driver;
};

TEST_F(DriverSeamTest, DeviceOpensOnlyWhileTheServiceRuns) {
  DevSys.driver = &driver;
  EXPECT_EQ(dev_open_device(kDeviceName), kDevInvalidHandle);
  EXPECT_EQ(dev_last_error(), kErrorFileNotFound);
  const int manager = dev_open_service_manager();
  const int service = dev_open_service(manager, kServiceName);
  ASSERT_NE(service, 0);
  EXPECT_EQ(dev_open_service(manager, "OTHER"), 0);
  ASSERT_TRUE(dev_start_service(service));
  EXPECT_EQ(dev_open_device("\\\\.\\Other"), kDevInvalidHandle);
  const DevHandle h = dev_open_device(kDeviceName);
  ASSERT_NE(h, kDevInvalidHandle);

  u8 block[416]{};
  u32 returned = 0;
  ASSERT_TRUE(dev_io_control(h, 0x80002008, block, 416, 416, returned));
  EXPECT_EQ(driver.last_code, 0x80002008u);
  EXPECT_EQ(block[0], 0xAA);
  EXPECT_EQ(returned, 1u);
  EXPECT_FALSE(dev_io_control(h, 0, block, 416, 416, returned));
  EXPECT_EQ(dev_last_error(), 1117u);  // the driver's own error code
  // a closed or invented handle is refused while another one is open
  const DevHandle other = dev_open_device(kDeviceName);
  ASSERT_NE(other, kDevInvalidHandle);
  EXPECT_NE(other, h);
  EXPECT_TRUE(dev_close_device(h));
  EXPECT_FALSE(dev_io_control(h, 0x80002008, block, 416, 416, returned));
  EXPECT_EQ(dev_last_error(), kErrorInvalidHandle);
  EXPECT_FALSE(dev_close_device(h));
  EXPECT_FALSE(dev_io_control(other + 100, 0x80002008, block, 416, 416, returned));
  EXPECT_TRUE(dev_io_control(other, 0x80002008, block, 416, 416, returned));
  EXPECT_TRUE(dev_close_device(other));
}

TEST_F(DriverSeamTest, InjectedFailures) {
  DevSys.driver = &driver;
  DevSys.version_fails = true;
  u32 platform = 0;
  EXPECT_FALSE(dev_get_platform(platform));
  DevSys.manager_fails = true;
  EXPECT_EQ(dev_open_service_manager(), 0);
  DevSys.manager_fails = false;
  DevSys.service_start_fails = true;
  EXPECT_FALSE(dev_start_service(dev_open_service(dev_open_service_manager(), kServiceName)));
  DevSys.service_installed = false;
  EXPECT_EQ(dev_open_service(1, kServiceName), 0);
}

// The installation's entries in a registry of the test's own.
class DriverInstallTest : public testing::Test {
 protected:
  void SetUp() override { setenv(std::string(kHostRegFolderVariable).c_str(), dir_.path().c_str(), 1); }
  void TearDown() override { unsetenv(std::string(kHostRegFolderVariable).c_str()); }

  // The value's type and bytes; type 0 and no bytes when it is missing.
  static std::pair<u32, std::vector<u8>> value(std::string_view path, std::string_view name) {
    HostRegKey* key = nullptr;
    if (host_reg_open_key(HostRegRoot::LocalMachine, path, false, key) != kHostRegOk) return {};
    std::vector<u8> data(256);
    u32 type = 0;
    u32 size = 0;
    const bool found = host_reg_query_value(key, name, type, data, size) == kHostRegOk;
    host_reg_close_key(key);
    if (!found) return {};
    data.resize(size);
    return {type, data};
  }
  static std::pair<u32, std::vector<u8>> dword(u32 v) { return {kHostRegDword, {u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)}}; }
  static void set_dword(std::string_view path, std::string_view name, u32 v) {
    HostRegKey* key = nullptr;
    ASSERT_EQ(host_reg_create_key(HostRegRoot::LocalMachine, path, key), kHostRegOk);
    u8 bytes[4];
    store_le32(bytes, v);
    EXPECT_EQ(host_reg_set_value(key, name, kHostRegDword, bytes), kHostRegOk);
    host_reg_close_key(key);
  }
  // The resource list of one full descriptor that claims the card's 16 ports
  // at `port` on the ISA bus, for the device alone.
  static std::pair<u32, std::vector<u8>> port_list(u32 port) {
    return {kHostRegResourceList,
            {1, 0, 0, 0,  1, 0, 0, 0,  0, 0, 0, 0,  1, 0, 1, 0,  1, 0, 0, 0,  // list; ISA bus 0; version, revision, count
             1, 1, 1, 0,  u8(port), u8(port >> 8), u8(port >> 16), u8(port >> 24), 0, 0, 0, 0,  16, 0, 0, 0}};
  }

  ScratchDir dir_;
};

TEST_F(DriverInstallTest, WritesTheServiceKeyTheParametersAndThePortsResourceLists) {
  ASSERT_TRUE(dev_install_driver_parameters(0x300, 1));
  EXPECT_EQ(value(kDevServiceKey, "Type"), dword(1));
  EXPECT_EQ(value(kDevServiceKey, "Start"), dword(3));
  EXPECT_EQ(value(kDevServiceKey, "ErrorControl"), dword(1));
  const std::string image = std::string(kDevDriverImage) + '\0';
  EXPECT_EQ(value(kDevServiceKey, "ImagePath"), std::pair(kHostRegExpandString, std::vector<u8>(image.begin(), image.end())));
  EXPECT_EQ(value(kDevDriverParametersKey, kDevParamPort), dword(0x300));
  EXPECT_EQ(value(kDevDriverParametersKey, kDevParamKind), dword(1));
  EXPECT_EQ(value(kDevResourceMapKey, kDevResourceRaw), port_list(0x300));
  EXPECT_EQ(value(kDevResourceMapKey, kDevResourceTranslated), port_list(0x300));
}

TEST_F(DriverInstallTest, TheUsersValuesStayAndTheResourceListsFollowTheirPort) {
  set_dword(kDevServiceKey, "Start", 2);
  set_dword(kDevDriverParametersKey, kDevParamPort, 0x0D0);
  set_dword(kDevDriverParametersKey, kDevParamKind, 3);
  ASSERT_TRUE(dev_install_driver_parameters(0x300, 0));
  EXPECT_EQ(value(kDevServiceKey, "Start"), dword(2));
  EXPECT_EQ(value(kDevServiceKey, "Type"), dword(1));
  EXPECT_EQ(value(kDevDriverParametersKey, kDevParamPort), dword(0x0D0));
  EXPECT_EQ(value(kDevDriverParametersKey, kDevParamKind), dword(3));
  EXPECT_EQ(value(kDevResourceMapKey, kDevResourceRaw), port_list(0x0D0));
  // an address that is no number leaves the driver at its own
  HostRegKey* key = nullptr;
  ASSERT_EQ(host_reg_open_key(HostRegRoot::LocalMachine, kDevDriverParametersKey, true, key), kHostRegOk);
  EXPECT_EQ(host_reg_set_value(key, kDevParamPort, kHostRegString, std::array<u8, 2>{'1', 0}), kHostRegOk);
  host_reg_close_key(key);
  ASSERT_TRUE(dev_install_driver_parameters(0x300, 0));
  EXPECT_EQ(value(kDevResourceMapKey, kDevResourceTranslated), port_list(0x300));
}

}  // namespace
