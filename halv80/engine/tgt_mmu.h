// The memory-management model: the window table that maps the target's 16-bit
// logical addresses onto its 20-bit physical space, its copies for stops, runs
// and the temporary bank mapping, the bank descriptors, the translations both
// ways, and the MMU command. Owns TgtMmuState. With no MMU kind configured
// (Cfg.MmuKind 0) every translation leaves the address as it is.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "platform/host/host_types.h"

constexpr std::size_t kMmuWindowCount = 5;       // entry 0 common area 0, entries 1..4 the windows
constexpr std::size_t kMmuSnapshotWindows = 3;   // the snapshot keeps windows 1..3
constexpr std::size_t kBankDescriptorMax = 128;  // entries of a map file's mapping table
constexpr u32 kMmuPhysicalMask = 0xFFFFF;        // the 20-bit physical space wraps

constexpr u16 kMsgMonitorMapping = 117;  // "\nモニタのコード領域/データ領域のマッピングはできません。"

// One entry of the window table.
struct MmuWindow {
  u32 physical = 0;  // physical address of `start`
  u16 start = 0;     // first logical address
  u16 size = 0;      // bytes mapped; 0: the window maps nothing
  bool operator==(const MmuWindow&) const = default;
};
using MmuWindowTable = std::array<MmuWindow, kMmuWindowCount>;
static_assert(sizeof(MmuWindow) == 8 && sizeof(MmuWindowTable) == 40);

// A bank of a program's mapping table: banked addresses base..base + size - 1
// appear at logical addresses from `start` on while the bank is mapped.
struct BankDescriptor {
  u32 base = 0;
  u16 start = 0;
  u16 size = 0;
};

// The HD64180's on-chip MMU registers as the MMU command reads and sets them.
struct MmuCommandRecord {
  u8 cbr = 0;
  u8 bbr = 0;
  u8 cbar = 0;
  u16 ca = 0;           // common area 1 start: (CBAR & 0xF0) << 8
  u16 ba = 0;           // bank area start: (CBAR & 0x0F) << 12
  u32 common_base = 0;  // CBR * 4096
  u32 bank_base = 0;    // BBR * 4096
};

struct TgtMmuState {
  MmuWindowTable Windows{};       // the model as the target has it (or is about to)
  MmuWindowTable StopCopy{};      // Windows at the last stop
  MmuWindowTable RunCopy{};       // Windows at the last go, for the window side
  std::array<MmuWindow, kMmuSnapshotWindows> Snapshot{};  // windows 1..3 at the last stop
  MmuWindowTable SavedWindows{};  // Windows before the temporary bank mapping
  BankDescriptor SavedDescriptor{};                        // descriptor 0 before it
  u16 SavedDescriptorCount = 0;                            // DescriptorCount before it
  u16 BankMapSaved = 0;           // 1 while the temporary bank mapping is in force
  std::array<BankDescriptor, kBankDescriptorMax> Descriptors{};
  u16 DescriptorCount = 0;        // used entries of Descriptors
  u16 CurrentDescriptor = 0;      // the one searched first
  u16 BankWindow = 2;             // the bank window: 2..4
  u16 BankBase = 0;               // its logical start; 0: not chosen yet
  u16 HitWindow = 0;              // the window the last translation went through; 0: none
  MmuCommandRecord Command{};     // the registers as the MMU command last read them
  MmuCommandRecord Pushed{};      // kept by MMU PUSH
  u16 PushedValid = 0;            // 1 once MMU PUSH kept a copy
  u16 IoBase = 0;                 // internal I/O base: 0x00, 0x40, 0x80 or 0xC0
};
extern TgtMmuState TgtMmu;

// Start-up values: an empty table, no descriptors, no bank window chosen.
void tgt_mmu_reset();

// Start-up, once the monitor runs: an empty table pushed to the target (no
// window in use: every address maps to itself), and both copies the window
// side reads (StopCopy, RunCopy) made from it.
void tgt_reset_window_table();

// Reads the MMU registers (request 82, or 84/86 by kind) into Windows and
// picks the bank window among them. Can end the command on a time-out.
void tgt_refresh_windows();
// Sends Windows to the target (request 83, or 85/87 by kind) and clears the
// cached-mode word and the read cache. While the target runs: message 125 and
// false, nothing sent. Can end the command on a time-out.
bool tgt_push_windows();

// Run control at a stop, with an MMU kind set and outside no-monitor mode:
// refresh, then StopCopy and Snapshot taken; a temporary bank mapping left
// behind is forgotten; the bank window is chosen once.
void tgt_mmu_after_stop();
// Run control before a go: the stop-time map back on the target when windows
// 1..3 changed since the stop (pushed), then RunCopy := Windows.
void tgt_mmu_before_go();
// After a command line: the snapshot back on the target when windows 1..3
// changed since the stop (pushed).
void tgt_sync_map_snapshot();
// Makes the window of the last translation part of the stop-time map.
void tgt_keep_hit_window();

// Logical to physical through the current table; the address stays in
// TgtMem.LastLogical for the monitor requests and the window hit in HitWindow.
u32 tgt_logical_to_physical(u16 logical);
// The table maps `logical`: it lies in common area 0 or a window holds it.
// With no window in use common area 0 is the whole space, and without an
// MMU kind every address is its own. Changes nothing.
bool tgt_logical_mapped(u16 logical);
// A banked (20-bit) address to the logical one it has: through the bank
// window when that covers it, else through the descriptor holding it, whose
// base a window with its logical start then takes (pushed). Without
// descriptors, below common area 0's end, or with nothing holding it (and a
// toolchain with debug information): unchanged. While the target runs:
// message 125, unchanged.
u32 tgt_banked_to_logical(u32 banked);
// The forms the other areas call. tgt_to_physical: with an MMU kind the
// logical translation of the low 16 bits, else `logical` as it is.
// tgt_to_logical: tgt_banked_to_logical.
u32 tgt_to_physical(u32 logical);
u32 tgt_to_logical(u32 physical);

// Appends a descriptor; false when the table is full or the size is 0.
bool tgt_add_bank_descriptor(u32 base, u16 start, u16 size);

// Maps `base` at logical `start` for a banked access: the first time, the
// table and the first descriptor are saved; then common area 0 ends at start,
// window 1 maps start..FFFFH to base, windows 2..4 are emptied, descriptor 0
// is window 1 and the only one; pushed. False, with nothing changed, without
// an MMU kind or a start of 0; while the target runs also message 125.
bool tgt_map_bank_temporarily(u32 base, u16 start);
// Puts back what the temporary bank mapping saved, and pushes it; nothing
// when nothing was saved.
void tgt_restore_bank_map();
// The banked accesses' first step: the page (Cfg.PageMask) holding `banked`
// mapped at the bank window's start, and the logical address `banked` then
// has. When nothing could be mapped: its low 16 bits. tgt_restore_bank_map
// ends the access.
u16 tgt_bank_in(u32 banked);

// The MMU command. With an MMU kind set: the stop-time windows. Otherwise, on
// an HD64180: its CBR, BBR and CBAR through the I/O ports, shown, kept (PUSH),
// put back (POP), their I/O base (IO=) or set from a list of settings, each
// checked before any register is written.
void tgt_cmd_mmu();
// Window n (0..4) as the window side shows it: the run-time copy while the
// target runs, else the stop-time copy. Returns the length written into `out`
// (always terminated; 0 for n beyond the table).
std::size_t tgt_mmu_window_text(u16 n, std::span<char> out);
