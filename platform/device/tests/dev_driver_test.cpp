#include "platform/device/dev_driver.h"

#include <gtest/gtest.h>

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

}  // namespace
