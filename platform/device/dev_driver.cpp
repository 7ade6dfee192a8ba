// The driver seam: open devices are numbered handles onto DevSys.driver.
#include "platform/device/dev_driver.h"

constinit DevSystem DevSys;

namespace {

struct SeamState {
  int open_devices = 0;   // how many handles are open
  int next_handle = 3;    // device handles are small positive numbers
};
constinit SeamState Seam;

bool fail(u32 error) {
  DevSys.last_error = error;
  return false;
}

}  // namespace

bool dev_get_platform(u32& platform) {
  if (DevSys.version_fails) return fail(kErrorGenFailure);
  platform = DevSys.platform;
  return true;
}

DevHandle dev_open_device(std::string_view name) {
  if (name != kDeviceName || !DevSys.service_installed || !DevSys.service_running || DevSys.driver == nullptr) {
    fail(kErrorFileNotFound);
    return kDevInvalidHandle;
  }
  if (DevSys.open_fails) {
    fail(kErrorAccessDenied);
    return kDevInvalidHandle;
  }
  ++Seam.open_devices;
  return Seam.next_handle++;
}

bool dev_close_device(DevHandle handle) {
  if (handle == kDevInvalidHandle || Seam.open_devices == 0) return fail(kErrorInvalidHandle);
  if (DevSys.close_fails) return fail(kErrorInvalidHandle);
  --Seam.open_devices;
  return true;
}

bool dev_io_control(DevHandle handle, u32 code, u8* block, std::size_t in_length, std::size_t out_length,
                    u32& returned) {
  returned = 0;
  if (handle == kDevInvalidHandle || Seam.open_devices == 0 || DevSys.driver == nullptr)
    return fail(kErrorInvalidHandle);
  u32 error = 0;
  if (!DevSys.driver->IoControl(code, block, in_length, out_length, returned, error))
    return fail(error ? error : kErrorGenFailure);
  return true;
}

int dev_open_service_manager() {
  if (DevSys.manager_fails) {
    fail(kErrorAccessDenied);
    return 0;
  }
  return 1;
}

int dev_open_service(int manager, std::string_view name) {
  if (manager == 0 || name != kServiceName || !DevSys.service_installed) {
    fail(kErrorServiceDoesNotExist);
    return 0;
  }
  return 2;
}

bool dev_start_service(int service) {
  if (service == 0 || DevSys.service_start_fails) return fail(kErrorServiceDisabled);
  DevSys.service_running = true;
  return true;
}

void dev_close_service_handle(int) {}

u32 dev_last_error() { return DevSys.last_error; }

void dev_reset_system() {
  DevSys = DevSystem{};
  Seam = SeamState{};
}
