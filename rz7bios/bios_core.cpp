// Library state, lock hooks and the request path.
#include "rz7bios/bios_core.h"

#include <cstdio>
#include <thread>

#include "platform/host/host_ui.h"

constinit BiosState Bios;

namespace {

// The default lock: a busy flag in the work area.
void default_lock() {
  if (!Bios.Work) return;
  while (Bios.Work->get32<kWorkBusy>() != 0) std::this_thread::yield();
  Bios.Work->set32<kWorkBusy>(1);
}

void default_unlock() {
  if (Bios.Work) Bios.Work->set32<kWorkBusy>(0);
}

}  // namespace

void bios_install_default_lock() {
  Bios.Lock = default_lock;
  Bios.Unlock = default_unlock;
}

void bios_reset_state() { Bios = BiosState{}; }

bool bios_driver_mode() { return Bios.Work && Bios.Work->get32<kWorkDriverMode>() != 0; }

LockScope::LockScope() {
  if (Bios.Lock) Bios.Lock();
}

LockScope::~LockScope() {
  if (Bios.Unlock) Bios.Unlock();
}

Packer::Packer() {
  for (std::size_t i = kArgInputs; i < kArgInputs + kArgInputSize; ++i) Bios.Block.bytes[i] = 0;
}

Packer& Packer::u8_(u8 v) {
  if (at_ + 1 <= kArgInputs + kArgInputSize) Bios.Block.bytes[at_++] = v;
  return *this;
}

Packer& Packer::u16_(u16 v) { return u8_(u8(v)).u8_(u8(v >> 8)); }

Packer& Packer::u32_(u32 v) { return u16_(u16(v)).u16_(u16(v >> 16)); }

bool bios_send(BiosRequest n) {
  u32 returned = 0;
  const bool ok = dev_io_control(Bios.Device, bios_ioctl_code(u32(n)), Bios.Block.bytes.data(), kArgBlockSize,
                                 kArgBlockSize, returned);
  if (Bios.Work) Bios.Work->set32<kWorkReturnedCount>(returned);
  return ok;
}

u32 bios_result() { return Bios.Block.get32<kArgResult>(); }

void bios_error_box(std::string_view op) {
  char title[64];
  std::snprintf(title, sizeof title, "\n******** ERROR(%.*s) ********", int(op.size()), op.data());
  const u32 error = dev_last_error();
  char text[64];
  std::snprintf(text, sizeof text, "ERROR NO [%08lX](%ld)", static_cast<unsigned long>(error), static_cast<long>(error));
  host_message_box(title, text, kBoxIconError);
}

u32 bios_call(BiosRequest n, std::string_view op) {
  if (bios_send(n)) return bios_result();
  bios_error_box(op);
  return 0;
}

void bios_message(std::string_view text) { host_message_box("RZ7DLL", text, kBoxIconError); }
