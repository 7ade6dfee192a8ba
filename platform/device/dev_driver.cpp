// The driver seam: open devices are numbered handles onto DevSys.driver.
#include "platform/device/dev_driver.h"

#include "platform/host/host_registry.h"

#include <algorithm>
#include <array>

constinit DevSystem DevSys;

namespace {

constexpr std::size_t kOpenHandleLimit = 16;

struct SeamState {
  std::array<DevHandle, kOpenHandleLimit> open{};  // the open handles; 0 marks a free slot
  DevHandle next_handle = 3;                       // device handles are small positive numbers
};
constinit SeamState Seam;

// The slot holding `handle`, or nullptr when it is not an open handle.
DevHandle* open_slot(DevHandle handle) {
  if (handle <= 0) return nullptr;
  for (DevHandle& h : Seam.open)
    if (h == handle) return &h;
  return nullptr;
}

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
  DevHandle* slot = std::find(Seam.open.begin(), Seam.open.end(), 0);
  if (slot == Seam.open.end()) {
    fail(kErrorTooManyOpenFiles);
    return kDevInvalidHandle;
  }
  *slot = Seam.next_handle++;
  return *slot;
}

bool dev_close_device(DevHandle handle) {
  DevHandle* slot = open_slot(handle);
  if (slot == nullptr || DevSys.close_fails) return fail(kErrorInvalidHandle);
  *slot = 0;
  return true;
}

bool dev_io_control(DevHandle handle, u32 code, u8* block, std::size_t in_length, std::size_t out_length,
                    u32& returned) {
  returned = 0;
  if (open_slot(handle) == nullptr || DevSys.driver == nullptr)
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

bool dev_install_driver_parameters(u32 port, u32 kind) {
  HostRegKey* key = nullptr;
  if (host_reg_create_key(HostRegRoot::LocalMachine, kDevDriverParametersKey, key) != kHostRegOk) return false;
  u32 type = 0;
  u32 size = 0;
  const bool present = host_reg_query_value(key, kDevParamPort, type, {}, size) != kHostRegNotFound &&
                       host_reg_query_value(key, kDevParamKind, type, {}, size) != kHostRegNotFound;
  bool ok = true;
  if (!present) {
    u8 bytes[4];
    store_le32(bytes, port);
    ok = host_reg_set_value(key, kDevParamPort, kHostRegDword, bytes) == kHostRegOk;
    store_le32(bytes, kind);
    ok = ok && host_reg_set_value(key, kDevParamKind, kHostRegDword, bytes) == kHostRegOk;
  }
  host_reg_close_key(key);
  return ok;
}
