// The card-detection device: absent, or a fake one with the slot records that
// tests installed.
#include "platform/host/host_card.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr int kCardHandle = 7;  // the one handle the fake device gives out

struct CardDevice {
  bool present = false;
  std::vector<HostCardSlot> slots;  // slot n answers from slots[n]
  int open = 0;                     // handles open now
};
constinit CardDevice Card;

}  // namespace

int host_card_open(std::string_view name) {
  CardDevice& d = Card;
  if (!d.present || name != kCardDetectorDevice) return -1;
  ++d.open;
  return kCardHandle;
}

bool host_card_io_control(int handle, u32 code, u8* buffer, std::size_t in_length, std::size_t out_length,
                          u32& returned) {
  returned = 0;
  CardDevice& d = Card;
  if (handle != kCardHandle || d.open == 0 || code != kCardQuerySlot || in_length != 0 ||
      out_length != kCardSlotRecordSize || buffer == nullptr)
    return false;
  const std::size_t slot = buffer[kCardSlotPresent];
  if (slot < d.slots.size()) {
    if (d.slots[slot].call_fails) return false;
    std::memcpy(buffer, d.slots[slot].record.data(), kCardSlotRecordSize);
  } else {
    std::memset(buffer, 0, kCardSlotRecordSize);  // an empty slot
  }
  returned = u32(kCardSlotRecordSize);
  return true;
}

void host_card_close(int handle) {
  CardDevice& d = Card;
  if (handle == kCardHandle && d.open > 0) --d.open;
}

void host_card_install(std::vector<HostCardSlot> slots) {
  CardDevice& d = Card;
  d.present = true;
  d.slots = std::move(slots);
}

void host_card_remove() {
  CardDevice& d = Card;
  d.present = false;
  d.slots.clear();
  d.open = 0;
}

int host_card_open_count() { return Card.open; }

CardSlotRecord host_card_slot_record(u16 port, std::string_view hardware_id) {
  CardSlotRecord r{};
  r[kCardSlotPresent] = 1;
  store_le16(&r[kCardSlotPort], port);
  // the last byte stays the terminator
  const std::size_t n = std::min(hardware_id.size(), kCardSlotRecordSize - kCardSlotHardwareId - 1);
  std::memcpy(r.data() + kCardSlotHardwareId, hardware_id.data(), n);
  return r;
}
