// Memory blocks, file and folder wrappers over platform/host, time, the delay
// calibration, the interface-card detector and the work-area set-up.
#include "halv80/engine/sup_host.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/sup_paths.h"
#include "platform/host/host_card.h"
#include "platform/host/host_clock.h"
#include "platform/host/host_file.h"
#include "platform/host/host_time.h"
#include "rz7bios/rz7bios.h"

constinit SupHostState SupHost;

namespace {

void* allocate(u32 size, bool zeroed) {
  void* block = nullptr;
  if (size <= kGlobalBlockLimit) {
    const std::size_t n = size == 0 ? 1 : size;  // a block of no bytes is still a block
    block = zeroed ? std::calloc(n, 1) : std::malloc(n);
  }
  if (block == nullptr) sup_show_error_box(0, kMemoryFullText);
  return block;
}

// Copies `text` and its terminator into `out` when they fit.
bool copy_text(std::span<char> out, std::string_view text) {
  if (text.size() >= out.size()) return false;
  std::memcpy(out.data(), text.data(), text.size());
  out[text.size()] = '\0';
  return true;
}

bool card_matches(u16 kind, const CardSlotRecord& record) {
  const u8* id = record.data() + kCardSlotHardwareId;
  static_assert(kCardSlotHardwareId + kPciIdCompared <= kCardSlotRecordSize);
  switch (kind) {
    case kCardKindPci:
      return std::memcmp(id, kInterfaceCardPciId.data(), kPciIdCompared) == 0;
    case kCardKindPcCard:
      return std::memcmp(id, kPcCardIdPrefix.data(), kPcCardIdPrefix.size()) == 0;
    default:
      return false;
  }
}

}  // namespace

void BiosWorkAreaFree::operator()(BiosWorkArea* area) const { sup_global_free(area); }

void* sup_global_alloc(u32 size) { return allocate(size, false); }

void sup_global_free(void* block) { std::free(block); }

void* sup_fixed_alloc(u32 size) { return allocate(size, true); }

void sup_fixed_free(void* block) { std::free(block); }

int sup_file_open(std::string_view name, int mode) { return host_file_open(name, mode); }

int sup_file_create(std::string_view name) { return host_file_create(name); }

int sup_file_create_replacement(std::string_view name) { return host_file_create_replacement(name); }

int sup_file_commit(int handle) { return host_file_commit(handle); }

int sup_file_close(int handle) { return host_file_close(handle); }

i32 sup_file_read(int handle, void* buffer, u32 count) { return host_file_read(handle, buffer, count); }

i32 sup_file_write(int handle, const void* buffer, u16 count) { return host_file_write(handle, buffer, count); }

i32 sup_file_seek(int handle, i32 offset, int origin) { return host_file_seek(handle, offset, origin); }

int sup_file_rename(std::string_view from, std::string_view to) { return host_file_rename(from, to); }

int sup_file_delete(std::string_view name) { return host_file_delete(name); }

bool sup_file_write_atomic(std::string_view name, std::span<const u8> bytes) {
  return host_write_file_atomic(name, bytes);
}

void sup_sleep(u32 ms) { host_sleep_ms(ms); }

u32 sup_tick_count() { return host_tick_ms(); }

u32 sup_start_time_stamp() {
  SupHost.StartTick = host_tick_ms();
  return SupHost.StartTick;
}

std::string sup_path_beside_program(std::string_view name) {
  std::string path(Sw.ProgramFolder, strnlen(Sw.ProgramFolder, sizeof Sw.ProgramFolder));
  if (!path.empty() && !sup_ends_in_backslash(path)) path += '\\';
  path += name;
  return path;
}

int sup_open_beside_program(std::string_view name) { return host_file_open(sup_path_beside_program(name), kFileModeRead); }

bool sup_set_current_dir(std::string_view path) { return host_set_current_dir(path); }

bool sup_get_current_dir(std::span<char> out) {
  const std::string dir = host_current_dir();
  return !dir.empty() && copy_text(out, dir);
}

bool sup_is_directory(std::string_view path) { return host_is_directory(path); }

bool sup_full_path_in_place(std::span<char> path) {
  const std::size_t length = strnlen(path.data(), path.size());
  if (length == path.size()) return false;  // no terminator
  const std::string full = host_full_path(std::string_view(path.data(), length));
  return !full.empty() && copy_text(path, full);
}

std::string sup_full_path(std::string_view path) { return host_full_path(path); }

bool sup_list_directory(std::string_view pattern, std::vector<HostDirEntry>& out) {
  return host_list_directory(pattern, out);
}

u32 sup_calibrate_delay() {
  const u32 start = host_tick_ms();
  // the counter value at which counting gives up: never on the real clock
  const u32 floor = host_clock_is_fake() ? 0xFFFFFFFFu - kCalibrateFakeRounds : 0;
  volatile u32 counter = 0xFFFFFFFFu;  // volatile: the rounds are the point
  for (;;) {
    counter = counter - 1;
    if ((counter & 0xFF) != 0) continue;
    if (u32(host_tick_ms() - start) >= 100 || counter <= floor) break;
  }
  SupHost.DelayRoundsPer100ms = 0xFFFFFFFFu - counter;
  return SupHost.DelayRoundsPer100ms;
}

u16 DetectInterfaceCard(u16 kind) {
  const int device = host_card_open(kCardDetectorDevice);
  if (device < 0) return kCardDeviceAbsent;
  u16 result = kCardNotFound;
  for (u8 slot = 0; slot < kCardSlotCount; ++slot) {
    CardSlotRecord record{};
    record[kCardSlotPresent] = slot;
    u32 returned = 0;
    // a slot counts when the call succeeds with a whole record that says "card here"
    if (!host_card_io_control(device, kCardQuerySlot, record.data(), 0, record.size(), returned) ||
        returned != kCardSlotRecordSize || record[kCardSlotPresent] != 1)
      continue;
    if (card_matches(kind, record)) {
      result = load_le16(&record[kCardSlotPort]);
      break;
    }
  }
  host_card_close(device);
  return result;
}

int sup_init_bios_work_area() {
  void* block = sup_global_alloc(u32(sizeof(BiosWorkArea)));
  if (block == nullptr) return -1;
  std::unique_ptr<BiosWorkArea, BiosWorkAreaFree> area(new (block) BiosWorkArea{});  // zero-filled
  area->set8<kWorkStartupSwitch>(u8(Sw.BootSwitchB));
  const int result = _NT_setbioswork(area.get());
  // the library holds the new area now; the old one may go
  SupHost.BiosWork = std::move(area);
  if (result != -1) {
    SupHost.LibraryVersion = _NT_getver();
    SupHost.LibraryMajor = u16((SupHost.LibraryVersion >> 8) & 0xFF);
  }
  return result;
}
