#include "platform/host/host_card.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class HostCardTest : public testing::Test {
 protected:
  void TearDown() override { host_card_remove(); }
};

TEST_F(HostCardTest, AbsentUntilInstalled) {
  EXPECT_EQ(host_card_open(kCardDetectorDevice), -1);
  host_card_install({});
  EXPECT_EQ(host_card_open("\\\\.\\other"), -1);
  const int h = host_card_open(kCardDetectorDevice);
  ASSERT_NE(h, -1);
  EXPECT_EQ(host_card_open_count(), 1);
  host_card_close(h);
  EXPECT_EQ(host_card_open_count(), 0);
  host_card_remove();
  EXPECT_EQ(host_card_open(kCardDetectorDevice), -1);
}

TEST_F(HostCardTest, SlotQueriesAnswerWithTheInstalledRecords) {
  HostCardSlot failing;
  failing.call_fails = true;
  host_card_install({HostCardSlot{host_card_slot_record(0x1234, "PCI\\VEN_X"), false}, failing});
  const int h = host_card_open(kCardDetectorDevice);
  const struct {
    u8 slot;
    u32 code;
    std::size_t in_length, out_length;
    bool ok;
    u8 present;
  } cases[] = {
      {0, kCardQuerySlot, 0, kCardSlotRecordSize, true, 1},
      {1, kCardQuerySlot, 0, kCardSlotRecordSize, false, 0},  // the slot's call fails
      {2, kCardQuerySlot, 0, kCardSlotRecordSize, true, 0},   // beyond the list: empty
      {255, kCardQuerySlot, 0, kCardSlotRecordSize, true, 0},
      {0, 2, 0, kCardSlotRecordSize, false, 0},                // another code
      {0, kCardQuerySlot, 0, kCardSlotRecordSize - 1, false, 0},
      {0, kCardQuerySlot, 1, kCardSlotRecordSize, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.slot) << " code " << c.code);
    CardSlotRecord r{};
    r[0] = c.slot;
    u32 returned = 99;
    ASSERT_EQ(host_card_io_control(h, c.code, r.data(), c.in_length, c.out_length, returned), c.ok);
    EXPECT_EQ(returned, c.ok ? kCardSlotRecordSize : 0u);
    if (!c.ok) continue;
    EXPECT_EQ(r[kCardSlotPresent], c.present);
    if (c.present) {
      EXPECT_EQ(r[kCardSlotPort] | r[kCardSlotPort + 1] << 8, 0x1234);
      EXPECT_STREQ(reinterpret_cast<const char*>(r.data() + kCardSlotHardwareId), "PCI\\VEN_X");
    }
  }
  u32 returned = 0;
  CardSlotRecord r{};
  EXPECT_FALSE(host_card_io_control(h + 1, kCardQuerySlot, r.data(), 0, kCardSlotRecordSize, returned));
  host_card_close(h);
  EXPECT_FALSE(host_card_io_control(h, kCardQuerySlot, r.data(), 0, kCardSlotRecordSize, returned));  // closed
}

TEST_F(HostCardTest, SlotRecordCutsALongIdAndKeepsItsTerminator) {
  const CardSlotRecord r = host_card_slot_record(0xABCD, std::string(600, 'I'));
  EXPECT_EQ(r[kCardSlotPresent], 1);
  EXPECT_EQ(r[kCardSlotPort], 0xCD);
  EXPECT_EQ(r[kCardSlotPort + 1], 0xAB);
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(r.data() + kCardSlotHardwareId)),
            kCardSlotRecordSize - kCardSlotHardwareId - 1);
}

}  // namespace
