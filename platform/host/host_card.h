// The seam of the interface-card detector: the card-detection device, which
// answers device control code 1 with one 534-byte record per slot. No such
// device exists on this host; tests install the records of a fake one. The
// default is "device absent".
//
// Slot record: OFFSET SIZE MEANING
//              0      1    in: slot index; out: 1 when a card sits in the slot
//              18     2    the card's I/O port address (little endian)
//              22     512  the card's hardware id text, zero-terminated
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

constexpr std::string_view kCardDetectorDevice = "\\\\.\\de_do";
constexpr u32 kCardQuerySlot = 1;  // device control code: fill the record of a slot
constexpr std::size_t kCardSlotRecordSize = 534;
constexpr std::size_t kCardSlotPresent = 0;
constexpr std::size_t kCardSlotPort = 18;
constexpr std::size_t kCardSlotHardwareId = 22;
static_assert(kCardSlotHardwareId < kCardSlotRecordSize);

using CardSlotRecord = std::array<u8, kCardSlotRecordSize>;

// A slot of the fake device: the record it answers with, or a failing call.
struct HostCardSlot {
  CardSlotRecord record{};
  bool call_fails = false;
};

// Opens the device by name; -1 when it is absent.
int host_card_open(std::string_view device);
// One device control request: `in_length` bytes in from `buffer`, at most
// `out_length` bytes out into it; false when the request fails.
bool host_card_io_control(int handle, u32 code, u8* buffer, std::size_t in_length, std::size_t out_length,
                          u32& returned);
void host_card_close(int handle);

// The fake device (tests): present with these slots (slot n answers from
// slots[n]; a slot beyond them is empty), or absent again.
void host_card_install(std::vector<HostCardSlot> slots);
void host_card_remove();
// Handles of the device open now.
int host_card_open_count();
// A slot record with a card: present, `port`, and `hardware_id` cut to fit.
CardSlotRecord host_card_slot_record(u16 port, std::string_view hardware_id);
