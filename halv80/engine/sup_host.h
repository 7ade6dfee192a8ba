// The host services of the engine: memory blocks, files and folders, time,
// the busy-loop calibration, the interface-card detector and the set-up of the
// BiosWorkArea shared with the interface library. SupHostState owns the work
// area; a reset frees it, so the library must be handed a new one (start-up
// does) before its next call. Paths are the system's (CP932, "\").
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_dir.h"
#include "platform/host/host_types.h"
#include "platform/device/dev_layout.h"

constexpr std::string_view kMemoryFullText = "WINDOWS ERROR Memory full";
// A block the system's 32-bit address space could never hold is refused at once.
constexpr u32 kGlobalBlockLimit = 0x7FFFFFFF;

// Our interface card's PCI hardware id (vendor 1172, device 7A10): the
// simulated card reports it. Its first 20 characters are compared.
constexpr std::string_view kInterfaceCardPciId = "PCI\\VEN_1172&DEV_7A10";
constexpr std::size_t kPciIdCompared = 20;
constexpr std::string_view kPcCardIdPrefix = "PCMCIA";
constexpr u16 kCardKindPci = 1;
constexpr u16 kCardKindPcCard = 2;
constexpr u16 kCardDeviceAbsent = 1;  // DetectInterfaceCard: the detector device is missing
constexpr u16 kCardNotFound = 2;      // DetectInterfaceCard: no slot holds a matching card
constexpr u8 kCardSlotCount = 8;

// On the fake tick clock time does not pass by itself; the calibration then
// stops after this many rounds.
constexpr u32 kCalibrateFakeRounds = 0x10000;

struct BiosWorkAreaFree {
  void operator()(BiosWorkArea* area) const;
};

struct SupHostState {
  std::unique_ptr<BiosWorkArea, BiosWorkAreaFree> BiosWork;  // handed to the library; null before set-up
  int LibraryVersion = 0;        // _NT_getver after the set-up
  u16 LibraryMajor = 0;          // its bits 8-15
  u32 StartTick = 0;             // tick count of the start time stamp
  u32 DelayRoundsPer100ms = 0;   // busy-loop rounds in 100 ms (sup_calibrate_delay)
};
extern SupHostState SupHost;

// A movable block of `size` bytes (locked); on failure the error box shows
// "WINDOWS ERROR Memory full" and the result is null. On the command side the
// box yields to the window side.
void* sup_global_alloc(u32 size);
// Frees a block of sup_global_alloc; null is ignored.
void sup_global_free(void* block);
// A fixed, zero-filled block; fails as sup_global_alloc does.
void* sup_fixed_alloc(u32 size);
// Frees a block of sup_fixed_alloc; null is ignored.
void sup_fixed_free(void* block);

// Files (host_file.h): handles are never 0; -1 is failure.
int sup_file_open(std::string_view name, int mode);  // mode 0 read, 1 write, 2 read/write; else -1
int sup_file_create(std::string_view name);           // always created, read/write
// A new file that takes the place of `name` only when sup_file_commit
// completes it (host_file_create_replacement): a failure or a crash before
// then leaves the old file as it was. Closing the handle discards the new file.
int sup_file_create_replacement(std::string_view name);
// kCommitDone, kCommitUnwritten (the bytes did not reach the disk) or
// kCommitNotPlaced (the file could not take its name); the handle is closed.
int sup_file_commit(int handle);
int sup_file_close(int handle);                       // 0 or -1
i32 sup_file_read(int handle, void* buffer, u32 count);        // bytes read or -1
i32 sup_file_write(int handle, const void* buffer, u16 count); // count or -1
i32 sup_file_seek(int handle, i32 offset, int origin);         // new position or -1
int sup_file_rename(std::string_view from, std::string_view to);  // 0 or -1
int sup_file_delete(std::string_view name);                       // 0 or -1
// Closes a handle (-1: nothing) on every way out of a scope.
struct SupFileCloser {
  explicit SupFileCloser(int h) : handle(h) {}
  int handle;
  ~SupFileCloser() {
    if (handle != -1) sup_file_close(handle);
  }
  SupFileCloser(const SupFileCloser&) = delete;
  SupFileCloser& operator=(const SupFileCloser&) = delete;
};
// Writes `bytes` to a temporary file in the same folder and renames it over
// `name`, so that a crash leaves either the old file or the new one.
bool sup_file_write_atomic(std::string_view name, std::span<const u8> bytes);
void sup_sleep(u32 ms);
u32 sup_tick_count();
// Keeps the tick count now in SupHost.StartTick and returns it.
u32 sup_start_time_stamp();
// Opens `name` for reading in the program's folder (Sw.ProgramFolder, which
// the window side leaves; "\" put between unless it ends in one).
int sup_open_beside_program(std::string_view name);
// The path sup_open_beside_program opens for `name`.
std::string sup_path_beside_program(std::string_view name);

// Folders. Texts come back terminated in the caller's buffer (256 bytes for
// the system's paths); one that would not fit leaves the buffer unchanged and
// gives false.
bool sup_set_current_dir(std::string_view path);
bool sup_get_current_dir(std::span<char> out);
bool sup_is_directory(std::string_view path);
// Replaces the name in `path` by its full path (host_full_path).
bool sup_full_path_in_place(std::span<char> path);
// `path` made absolute against the current directory; empty when the current
// directory is unknown.
std::string sup_full_path(std::string_view path);
// The entries that match `pattern` ("folder\*.*"), sorted; false when the
// folder cannot be read.
bool sup_list_directory(std::string_view pattern, std::vector<HostDirEntry>& out);

// Counts busy-loop rounds down from 0xFFFFFFFF, reading the tick count only
// when the low byte of the counter is 0, until 100 ms have passed; keeps the
// rounds in SupHost.DelayRoundsPer100ms and returns them.
u32 sup_calibrate_delay();
// Looks for the interface card through the card-detection device: kind 1 PCI
// (hardware id kInterfaceCardPciId), 2 PC-Card (id beginning "PCMCIA"). The
// port address of the first matching card of slots 0..7; 1 when the device is
// absent; 2 when no slot matches. The device is closed on every path.
u16 DetectInterfaceCard(u16 kind);
// Allocates the zero-filled BiosWorkArea, sets its start-up-switch flag from
// Sw.BootSwitchB and hands it to the library; unless that gives -1, keeps the
// library version and its major number. Returns _NT_setbioswork's result, or
// -1 when the area could not be allocated.
int sup_init_bios_work_area();
