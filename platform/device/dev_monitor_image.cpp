// The monitor program file: built from a board description, and read back by
// the monitor model from the monitor memory the engine wrote.
#include "platform/device/dev_monitor_image.h"

#include <algorithm>
#include <cstring>

namespace {

// Where chunk `chunk` of the image lies in the file.
std::size_t chunk_offset(std::size_t chunk) { return kMonitorImageOffset + chunk * kDevMonitorBankSize; }

}  // namespace

std::vector<u8> dev_monitor_file(const DevFixture& fixture) {
  std::vector<u8> file(kDevMonitorFileSize, 0);
  const u32 code = fixture.monitor_code_address;

  MonitorFileHeader h{};
  h.format = kMonitorFileFormat;
  h.cpu_family = kDevMonitorCpuZ80;
  h.code_address.set(code);
  h.nmi_slot.set(u16(kDevTopBank * kDevMonitorBankSize + kDevMonitorNmiSlotByte));
  h.nmi_entry.set(u16(code + kDevMonitorBankSize + kDevMonitorNmiEntryByte));
  h.break_entry.set(u16(code + kDevMonitorBankSize + kDevMonitorBreakEntryByte));
  h.position.set(kDevMonitorPosition);
  h.handshake_mode = 0;
  std::memcpy(file.data(), &h, sizeof h);

  std::fill(file.begin() + kMonitorImageOffset, file.end(), kDevMonitorFill);

  // chunk 0: the descriptor in bank 127
  u8* top = file.data() + chunk_offset(0);
  std::copy(kDevMonitorMagic.begin(), kDevMonitorMagic.end(), top + kDevDescMagic);
  top[kDevDescVersion] = kDevMonitorVersion;
  top[kDevDescBreakEntry] = u8(kDevMonitorBankSize + kDevMonitorBreakEntryByte);
  top[kDevDescNmiEntry] = u8(kDevMonitorBankSize + kDevMonitorNmiEntryByte);
  top[kDevMonitorServiceByte] = 0xFF;  // RST 38H until the engine puts its own break in

  // chunks 1..125: the tags of banks 2..126
  for (std::size_t chunk = 1; chunk < kDevMonitorChunks; ++chunk) {
    u8* bank = file.data() + chunk_offset(chunk);
    const u8 number = u8(chunk + kDevFirstImageBank - 1);
    std::copy(kDevMonitorTagMagic.begin(), kDevMonitorTagMagic.end(), bank);
    bank[kDevMonitorTagMagic.size()] = number;
    bank[kDevMonitorTagMagic.size() + 1] = u8(~number);
  }
  return file;
}

bool dev_monitor_entries(std::span<const u8> top_bank, DevMonitorEntries& out) {
  if (top_bank.size() < kDevMonitorBankSize) return false;
  if (!std::equal(kDevMonitorMagic.begin(), kDevMonitorMagic.end(), top_bank.begin() + kDevDescMagic)) return false;
  if (top_bank[kDevDescVersion] != kDevMonitorVersion) return false;
  const u8 brk = top_bank[kDevDescBreakEntry];
  const u8 nmi = top_bank[kDevDescNmiEntry];
  // An entry in the lower half would move with the selected bank.
  if (brk < kDevMonitorBankSize || brk >= kDevMonitorBlock) return false;
  if (nmi < kDevMonitorBankSize || nmi >= kDevMonitorBlock) return false;
  if (brk == nmi) return false;  // a stop must tell break from NMI
  out.break_entry = brk;
  out.nmi_entry = nmi;
  return true;
}

bool dev_monitor_bank_tagged(std::span<const u8> bank, int bank_number) {
  if (bank.size() < kDevMonitorTagSize) return false;
  if (bank_number < kDevFirstImageBank || bank_number >= kDevTopBank) return false;  // banks the image never tags
  const std::size_t m = kDevMonitorTagMagic.size();
  return std::equal(kDevMonitorTagMagic.begin(), kDevMonitorTagMagic.end(), bank.begin()) &&
         bank[m] == u8(bank_number) && bank[m + 1] == u8(~bank_number);
}
