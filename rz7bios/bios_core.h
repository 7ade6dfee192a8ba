// The library's own state and the request path that every export takes in
// driver mode: the lock hooks, packing inputs into the argument block, one
// I/O-control request, the result at offset 256, and the error box.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/device/dev_driver.h"
#include "platform/device/dev_layout.h"

struct BiosState {
  BiosWorkArea* Work = nullptr;          // the caller's work area
  u32 WorkToken = 0;                     // its token, also at block offset 260
  DriverArgBlock Block{};                // one argument block for the process
  DevHandle Device = kDevInvalidHandle;  // the open driver device
  void (*Lock)() = nullptr;              // the lock pair in use
  void (*Unlock)() = nullptr;
  // The JTAG port's write room as last seen, in bytes. It starts at 0, so the
  // first write asks the board for room before it sends anything: a FIFO
  // whose room is unknown is never overrun.
  u16 JtagCredit = 0;
};
extern BiosState Bios;

// Back to the state before _NT_setbioswork (tests).
void bios_reset_state();

// The busy-flag lock pair of the work area.
void bios_install_default_lock();
// True when the work area says driver mode.
bool bios_driver_mode();

// Runs the lock hook for the lifetime of the object.
class LockScope {
 public:
  LockScope();
  ~LockScope();
  LockScope(const LockScope&) = delete;
  LockScope& operator=(const LockScope&) = delete;
};

// Packs a request's inputs from offset 0 of the argument block, without padding.
class Packer {
 public:
  Packer();  // clears the input bytes
  Packer& u8_(u8 v);
  Packer& u16_(u16 v);
  Packer& u32_(u32 v);

 private:
  std::size_t at_ = kArgInputs;
};

// Sends request n with the argument block as input and output; the returned
// byte count goes to work offset 963. False when the request failed.
bool bios_send(BiosRequest n);
// The result word at offset 256.
u32 bios_result();
// The operation's error box: title "\n******** ERROR(op) ********", the last
// system error in the text.
void bios_error_box(std::string_view op);
// bios_send; on success the result word, on failure the error box and 0.
u32 bios_call(BiosRequest n, std::string_view op);
// The library's own messages, titled "RZ7DLL".
void bios_message(std::string_view text);
