// The driver seam: open devices are numbered handles onto DevSys.driver.
#include "platform/device/dev_driver.h"

#include "platform/host/host_registry.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>

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

u8 dev_port_in8(u16 port) { return DevSys.ports ? DevSys.ports->In8(port) : 0xFF; }

u16 dev_port_in16(u16 port) { return DevSys.ports ? DevSys.ports->In16(port) : 0xFFFF; }

void dev_port_out8(u16 port, u8 value) {
  if (DevSys.ports) DevSys.ports->Out8(port, value);
}

void dev_port_out16(u16 port, u16 value) {
  if (DevSys.ports) DevSys.ports->Out16(port, value);
}

void dev_port_out32(u16 port, u32 value) {
  if (DevSys.ports) DevSys.ports->Out32(port, value);
}

void dev_reset_system() {
  DevSys = DevSystem{};
  Seam = SeamState{};
}

namespace {

// Service types and start kinds of the service manager.
constexpr u32 kServiceKernelDriver = 1;
constexpr u32 kServiceDemandStart = 3;  // started by the library when it first opens the device
constexpr u32 kServiceErrorNormal = 1;

// A resource list of one full descriptor on the ISA bus that claims `count`
// I/O ports from `port` for this device alone. Layout: list count (32); bus
// type (32), bus number (32); version (16), revision (16), descriptor count
// (32); one descriptor: type (8), share disposition (8), flags (16), start
// (64), length (32).
std::array<u8, 36> port_resource_list(u32 port, u32 count) {
  constexpr u32 kBusIsa = 1;
  constexpr u8 kResourcePort = 1;
  constexpr u8 kShareDeviceExclusive = 1;
  constexpr u16 kPortIo = 1;  // the ports are I/O space, not memory
  std::array<u8, 36> list{};
  store_le32(&list[0], 1);
  store_le32(&list[4], kBusIsa);
  store_le32(&list[8], 0);
  store_le16(&list[12], 1);
  store_le16(&list[14], 1);
  store_le32(&list[16], 1);
  list[20] = kResourcePort;
  list[21] = kShareDeviceExclusive;
  store_le16(&list[22], kPortIo);
  store_le32(&list[24], port);  // start: the high 32 bits stay 0
  store_le32(&list[32], count);
  return list;
}

// An open key that closes itself.
struct OpenKey {
  HostRegKey* key = nullptr;
  OpenKey() = default;
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  ~OpenKey() {
    if (key) host_reg_close_key(key);
  }
};

bool value_missing(const HostRegKey* key, std::string_view name) {
  u32 type = 0;
  u32 size = 0;
  return host_reg_query_value(key, name, type, {}, size) == kHostRegNotFound;
}

// Sets a 32-bit value unless it is there already.
bool keep_or_set_dword(const HostRegKey* key, std::string_view name, u32 value) {
  if (!value_missing(key, name)) return true;
  u8 bytes[4];
  store_le32(bytes, value);
  return host_reg_set_value(key, name, kHostRegDword, bytes) == kHostRegOk;
}

// The service manager's part: the service key's own values.
bool install_service_key() {
  OpenKey service;
  if (host_reg_create_key(HostRegRoot::LocalMachine, kDevServiceKey, service.key) != kHostRegOk) return false;
  bool ok = keep_or_set_dword(service.key, "Type", kServiceKernelDriver) &&
            keep_or_set_dword(service.key, "Start", kServiceDemandStart) &&
            keep_or_set_dword(service.key, "ErrorControl", kServiceErrorNormal);
  if (ok && value_missing(service.key, "ImagePath")) {
    std::string image(kDevDriverImage);
    image.push_back('\0');  // a registry text keeps its terminating zero
    const auto bytes = std::span(reinterpret_cast<const u8*>(image.data()), image.size());
    ok = host_reg_set_value(service.key, "ImagePath", kHostRegExpandString, bytes) == kHostRegOk;
  }
  return ok;
}

// The parameters; `port` becomes the address they hold.
bool install_parameters(u32& port, u32 kind) {
  OpenKey parameters;
  if (host_reg_create_key(HostRegRoot::LocalMachine, kDevDriverParametersKey, parameters.key) != kHostRegOk)
    return false;
  if (value_missing(parameters.key, kDevParamPort) || value_missing(parameters.key, kDevParamKind)) {
    u8 bytes[4];
    store_le32(bytes, port);
    if (host_reg_set_value(parameters.key, kDevParamPort, kHostRegDword, bytes) != kHostRegOk) return false;
    store_le32(bytes, kind);
    return host_reg_set_value(parameters.key, kDevParamKind, kHostRegDword, bytes) == kHostRegOk;
  }
  // the user's address, when it is a number; otherwise the driver keeps its own
  u8 bytes[4];
  u32 type = 0;
  u32 size = 0;
  if (host_reg_query_value(parameters.key, kDevParamPort, type, bytes, size) == kHostRegOk &&
      type == kHostRegDword && size == 4)
    port = load_le32(bytes);
  return true;
}

// The driver's report of its ports at its start.
bool report_resources(u32 port) {
  OpenKey map;
  if (host_reg_create_key(HostRegRoot::LocalMachine, kDevResourceMapKey, map.key) != kHostRegOk) return false;
  const auto list = port_resource_list(port, kDevCardPortCount);
  return host_reg_set_value(map.key, kDevResourceRaw, kHostRegResourceList, list) == kHostRegOk &&
         host_reg_set_value(map.key, kDevResourceTranslated, kHostRegResourceList, list) == kHostRegOk;
}

}  // namespace

bool dev_install_driver_parameters(u32 port, u32 kind) {
  return install_service_key() && install_parameters(port, kind) && report_resources(port);
}
