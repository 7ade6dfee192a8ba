// The seam where the interface card's kernel driver sits: the system's version
// query, the driver service, and the device with its I/O-control requests. A
// DeviceDriver object answers the requests of the open device: the simulated
// emulator, or a test's fake. The set-up flags let tests fail each step the
// way the system can.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/host/host_types.h"

// Platform ids of the version query.
constexpr u32 kPlatformWin9x = 1;   // the library drives the card's ports itself
constexpr u32 kPlatformNt = 2;      // every operation goes to the driver

constexpr std::string_view kDeviceName = "\\\\.\\Rz7if0";
constexpr std::string_view kServiceName = "RZ7IF";

// System error codes the seam reports.
constexpr u32 kErrorFileNotFound = 2;
constexpr u32 kErrorTooManyOpenFiles = 4;
constexpr u32 kErrorAccessDenied = 5;
constexpr u32 kErrorInvalidHandle = 6;
constexpr u32 kErrorServiceDoesNotExist = 1060;
constexpr u32 kErrorServiceDisabled = 1058;
constexpr u32 kErrorGenFailure = 31;

using DevHandle = int;
constexpr DevHandle kDevInvalidHandle = -1;

class DeviceDriver {
 public:
  virtual ~DeviceDriver() = default;
  // Carries out request `code` on `block` (input of in_length bytes, output
  // of up to block.size() bytes). Returns false with `error` set on failure;
  // `returned` is the number of output bytes.
  virtual bool IoControl(u32 code, u8* block, std::size_t in_length, std::size_t out_length,
                         u32& returned, u32& error) = 0;
};

// The interface card's I/O ports, for the library's direct back end. This
// host gives a program no port I/O, so an object behind the seam answers them:
// the simulated card's port decoder, or a test's recording fake. There is no
// double-word input on the card's bus.
class DevicePorts {
 public:
  virtual ~DevicePorts() = default;
  virtual u8 In8(u16 port) = 0;
  virtual u16 In16(u16 port) = 0;
  virtual void Out8(u16 port, u8 value) = 0;
  virtual void Out16(u16 port, u16 value) = 0;
  virtual void Out32(u16 port, u32 value) = 0;
};

// The system around the driver, as tests and the program set it up.
struct DevSystem {
  u32 platform = kPlatformNt;       // what the version query reports
  bool version_fails = false;       // the version query itself fails
  bool manager_fails = false;       // the service manager cannot be opened
  bool service_installed = true;    // the driver service exists
  bool service_start_fails = false; // starting it fails
  bool service_running = false;     // the device opens only while it runs
  bool open_fails = false;          // opening the device fails even while it runs
  bool close_fails = false;         // closing the device fails
  DeviceDriver* driver = nullptr;   // answers the open device's requests
  DevicePorts* ports = nullptr;     // answers port I/O; none: reads float high, writes vanish
  u32 last_error = 0;               // the calling thread's last system error
};
extern DevSystem DevSys;

// Version query: the platform id, false when the query fails.
bool dev_get_platform(u32& platform);
// Opens the device by name; kDevInvalidHandle on failure (last error set).
DevHandle dev_open_device(std::string_view name);
bool dev_close_device(DevHandle handle);
// One I/O-control request on an open device; false on failure (last error set).
bool dev_io_control(DevHandle handle, u32 code, u8* block, std::size_t in_length, std::size_t out_length,
                    u32& returned);
// Service manager and service: handles are positive, 0 is failure.
int dev_open_service_manager();
int dev_open_service(int manager, std::string_view name);
bool dev_start_service(int service);
void dev_close_service_handle(int handle);
u32 dev_last_error();
// Port I/O through DevSys.ports.
u8 dev_port_in8(u16 port);
u16 dev_port_in16(u16 port);
void dev_port_out8(u16 port, u8 value);
void dev_port_out16(u16 port, u16 value);
void dev_port_out32(u16 port, u32 value);
// Back to a system with no driver running and no device open (tests).
void dev_reset_system();

// The driver's service key, as the service manager writes it at the
// driver's installation, and its parameters below it: where the installation
// leaves the card's port address and interface kind (32-bit numbers).
constexpr std::string_view kDevServiceKey = "SYSTEM\\CurrentControlSet\\Services\\RZ7IF";
constexpr std::string_view kDevDriverParametersKey = "SYSTEM\\CurrentControlSet\\Services\\RZ7IF\\Rz7if0\\Parameters";
constexpr std::string_view kDevParamPort = "IF_addr";
constexpr std::string_view kDevParamKind = "IF_type";
constexpr std::string_view kDevDriverImage = "\\SystemRoot\\System32\\drivers\\Rz7if.sys";
// The hardware the driver claims, as the system keeps it in its resource map:
// one resource list as the card's bus gives it and one as the processor sees
// it (the same for I/O ports on this machine). The card decodes 16 ports from
// its base.
constexpr std::string_view kDevResourceMapKey = "HARDWARE\\RESOURCEMAP\\OtherDrivers\\RZ7IF";
constexpr std::string_view kDevResourceRaw = "\\Device\\Rz7if0.Raw";
constexpr std::string_view kDevResourceTranslated = "\\Device\\Rz7if0.Translated";
constexpr u32 kDevCardPortCount = 16;
// What the driver's installation and start leave in the registry: the
// service key's values (type, start, error control, image path) where they
// are missing; the parameters, where the key lacks either value both are
// written, while values already there are the user's and stay; and the
// resource lists of the ports at the address the parameters give. False when
// the registry can't be written.
bool dev_install_driver_parameters(u32 port, u32 kind);
