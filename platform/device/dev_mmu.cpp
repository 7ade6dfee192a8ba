// The MMU model: address translation per kind and the register ports. Every
// physical address it gives is masked to the 20-bit space.
#include "platform/device/dev_mmu.h"

#include "platform/device/dev_fixture.h"

namespace {

constexpr u32 kPhysicalMask = kDevTargetSpace - 1;
static_assert((kDevTargetSpace & kPhysicalMask) == 0);  // a power of two: the mask wraps

constexpr std::size_t kBankRegisters = 3;  // CBR, BBR, CBAR
static_assert(kDevMmuBbrPort == kDevMmuCbrPort + 1 && kDevMmuCbarPort == kDevMmuCbrPort + 2);

}  // namespace

DevMmu::DevMmu(u16 kind, u16 io_base)
    : mode_((kind & kDevMmuWindows)                       ? Mode::Windows
            : kind == kDevMmuBank || kind == kDevMmuBankS ? Mode::Bank
                                                          : Mode::None),
      port_block_(u8((io_base & 0xC0) + kDevMmuCbrPort)) {}

void DevMmu::Reset() {
  bank_ = DevMmuBank{};
  windows_ = kDevMmuWindowsReset;
}

u32 DevMmu::TranslateMapped(u16 logical) const {
  switch (mode_) {
    case Mode::Bank:
      return TranslateBank(logical);
    case Mode::Windows:
      return TranslateWindows(logical);
    default:
      return logical;
  }
}

u32 DevMmu::TranslateBank(u16 logical) const {
  const u32 page = logical >> 12;
  if (page >= u32(bank_.cbar >> 4)) return (logical + (u32(bank_.cbr) << 12)) & kPhysicalMask;  // common area 1
  if (page >= u32(bank_.cbar & 0x0F)) return (logical + (u32(bank_.bbr) << 12)) & kPhysicalMask;  // bank area
  return logical;  // common area 0
}

// Window 4 first: the first window that is on and starts at or below the
// address maps it.
u32 DevMmu::TranslateWindows(u16 logical) const {
  for (std::size_t n = kDevMmuWindowBytes / 2; n-- > 0;) {
    const u8 lo = windows_[2 * n];
    if ((lo & 63) == kDevMmuWindowOff) continue;
    const u32 start = (u32(lo & 63) + 1) << 10;
    if (logical < start) continue;
    const u8 hi = n == 3 ? kDevMmuTopWindowPage : windows_[2 * n + 1];
    const u32 displacement = u32(hi) << 12 | u32(lo & 0xC0) << 4;
    return (logical + displacement) & kPhysicalMask;
  }
  return logical;  // below every window in use
}

int DevMmu::RegisterIndex(u16 port) const {
  const std::size_t count = mode_ == Mode::Bank ? kBankRegisters : mode_ == Mode::Windows ? kDevMmuWindowBytes : 0;
  const u8 index = u8(u8(port) - port_block_);  // the low 8 bits decide
  return index < count ? int(index) : -1;
}

bool DevMmu::IoRead(u16 port, u8& value) const {
  const int i = RegisterIndex(port);
  if (i < 0) return false;
  if (mode_ == Mode::Windows) {
    value = windows_[std::size_t(i)];
  } else {
    const u8 regs[kBankRegisters] = {bank_.cbr, bank_.bbr, bank_.cbar};
    value = regs[i];
  }
  return true;
}

bool DevMmu::IoWrite(u16 port, u8 value) {
  const int i = RegisterIndex(port);
  if (i < 0) return false;
  if (mode_ == Mode::Windows) {
    windows_[std::size_t(i)] = value;
  } else {
    u8* regs[kBankRegisters] = {&bank_.cbr, &bank_.bbr, &bank_.cbar};
    *regs[i] = value;
  }
  return true;
}
