// Set-up and driver control: binding the work area, opening and closing the
// driver, its status and version, the size and function-set queries, and the
// start command.
#include "platform/device/dev_monitor_protocol.h"
#include "platform/device/dev_tokens.h"
#include "platform/host/host_clock.h"
#include "rz7bios/bios_core.h"
#include "rz7bios/rz7bios.h"

namespace {

constexpr u32 kFunctionSet = 1;  // the library's function-set number

// _NT_open_driver's codes.
constexpr int kOpenReady = 0;
constexpr int kOpenNoManager = 1;
constexpr int kOpenNoService = 2;
constexpr int kOpenServiceNotStarted = 3;
constexpr int kOpenNoDevice = 4;
constexpr int kOpenWorkAreaSize = 5;
constexpr int kOpenArgBlockSize = 6;
constexpr int kOpenNoVersion = 7;
constexpr int kOpenUnsupported = 8;

// Starts the driver service; 0 when it runs, else the open code of the step
// that failed. Both handles are closed on every path.
int start_driver_service() {
  const int manager = dev_open_service_manager();
  if (manager == 0) return kOpenNoManager;
  const int service = dev_open_service(manager, kServiceName);
  int code = kOpenReady;
  if (service == 0)
    code = kOpenNoService;
  else if (!dev_start_service(service))
    code = kOpenServiceNotStarted;
  if (service != 0) dev_close_service_handle(service);
  dev_close_service_handle(manager);
  return code;
}

}  // namespace

extern "C" {

int _NT_setbioswork(void* work) {
  if (Bios.WorkToken) dev_token_release(Bios.WorkToken);
  Bios.Work = static_cast<BiosWorkArea*>(work);
  Bios.WorkToken = dev_token_register(work, kWorkAreaSize);
  Bios.Block.set32<kArgWorkArea>(Bios.WorkToken);
  bios_install_default_lock();
  if (Bios.Work) {
    // A caller's own lock pair, when the record carries the tag.
    const u32 record_token = Bios.Work->get32<kWorkLockRecord>();
    const auto* record = static_cast<const LockHookRecord*>(dev_token_resolve(record_token, sizeof(LockHookRecord)));
    if (record && record->tag == kLockHookTag && record->lock && record->unlock) {
      Bios.Lock = record->lock;
      Bios.Unlock = record->unlock;
      Bios.Work->set32<kWorkLockRecord>(0);
    }
  }
  return _NT_open_driver();
}

int _NT_open_driver(void) {
  u32 platform = 0;
  if (!dev_get_platform(platform)) return kOpenNoVersion;
  if (platform == kPlatformWin9x) {
    if (Bios.Work) Bios.Work->set32<kWorkDriverMode>(0);
    return kOpenReady;
  }
  if (platform != kPlatformNt) return kOpenUnsupported;
  if (Bios.Work) Bios.Work->set32<kWorkDriverMode>(1);
  if (Bios.Device != kDevInvalidHandle) return kOpenReady;

  Bios.Device = dev_open_device(kDeviceName);
  if (Bios.Device == kDevInvalidHandle) {
    if (const int code = start_driver_service(); code != kOpenReady) return code;
    Bios.Device = dev_open_device(kDeviceName);
    if (Bios.Device == kDevInvalidHandle) return kOpenNoDevice;
  }
  // The size query; a failing request is left to the function-set check.
  if (!bios_send(BiosRequest::FunctionSet)) return kOpenReady;
  if (Bios.Block.get32<kArgSizeWorkArea>() != kWorkAreaSize) return kOpenWorkAreaSize;
  if (Bios.Block.get32<kArgSizeArgBlock>() != kArgBlockSize) return kOpenArgBlockSize;
  return kOpenReady;
}

int _NT_close_driver(void) {
  if (!bios_driver_mode() || Bios.Device == kDevInvalidHandle) return 0;
  if (!dev_close_device(Bios.Device)) return -1;
  // A closed handle must not make a later open look done.
  Bios.Device = kDevInvalidHandle;
  return 0;
}

uint32_t _NT_driver_status(void) {
  if (!bios_driver_mode() || Bios.Device == kDevInvalidHandle) return 0;
  Packer();
  return bios_send(BiosRequest::DriverStatus) ? bios_result() : 0;
}

int _NT_getver(void) { return int((_NT_driver_status() >> 24) << 8 | 0x10); }

int _NT_get_bios_workp_size(void) { return int(kWorkAreaSize); }

int _NT_get_rz7arg_size(void) { return int(kArgBlockSize); }

int _Q_get_qn_func(void) {
  LockScope lock;
  if (!bios_driver_mode()) return 1;
  Packer();
  if (!bios_send(BiosRequest::FunctionSet)) {
    bios_error_box("get_qn_func");
    return 0;
  }
  return bios_result() == kFunctionSet ? 1 : -1;
}

uint32_t _Q_if_lap_time(void) { return host_tick_ms(); }

void _nt_STARTCMD(uint16_t code) {
  if (!bios_driver_mode()) return;
  bool ok;
  {
    LockScope lock;
    Packer().u16_(code == kMonitorBank127 ? kMonitorBank127Code : code);
    ok = bios_send(BiosRequest::StartCommand);
    if (ok) Bios.Work->set32<kWorkStartCmdMark>(0);
  }
  if (!ok) bios_error_box("STARTCMD");
}

}  // extern "C"
