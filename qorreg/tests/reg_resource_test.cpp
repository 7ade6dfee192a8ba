#include "qorreg/reg_resource.h"

#include <gtest/gtest.h>

#include "qorreg/tests/resource_bytes.h"

namespace {

TEST(ResourceNames, EachKindHasItsTextsAndNumbersBeyondThem) {
  EXPECT_EQ(reg_interface_type_name(0), "Internal");
  EXPECT_EQ(reg_interface_type_name(5), "PCIBus");
  EXPECT_EQ(reg_interface_type_name(15), "MaximumInterfaceType");
  EXPECT_EQ(reg_interface_type_name(16), "Unknown(16)");
  EXPECT_EQ(reg_interface_type_name(0xFFFFFFFF), "Undefined");
  EXPECT_EQ(reg_interface_type_name(0xFFFFFFFE), "Unknown(4294967294)");
  EXPECT_EQ(reg_share_name(0), "CmResourceShareUndetermined");
  EXPECT_EQ(reg_share_name(3), "CmResourceShareShared");
  EXPECT_EQ(reg_share_name(4), "Unknown(4)");
  EXPECT_EQ(reg_resource_type_name(0), "CmResourceTypeNull");
  EXPECT_EQ(reg_resource_type_name(6), "CmResourceTypeMaximum");
  EXPECT_EQ(reg_resource_type_name(7), "Unknown(7)");
  EXPECT_EQ(reg_resource_type_name(0x81), "Unknown(129)");
}

TEST(FullResource, PortAndInterruptDescriptorsPrintTheirFields) {
  auto v = ResourceBytes::full(1, 2, 3);
  v.partial(1, 1, 1, 0x1234'0000'0300ull, 16);               // port: the start's low 32 bits
  v.partial(2, 3, 0, 0x0000'0007'0000'0005ull, 0xFFFFFFFF);  // interrupt: level 5, vector 7
  v.partial(4, 2, 0x8000, ~0ull, ~0u);                       // DMA: nothing more
  std::string out;
  reg_print_full_resource(v.span(), out);
  EXPECT_EQ(out,
            "\n  InterfaceType [Isa]\n  BusNumber [00000002]\n  CM_PARTIAL_RESOURCE_LIST"
            "\n    Version [0001]\n    Revision [0001]\n    Count [0003]"
            "\n    CM_PARTIAL_RESOURCE_DESCRIPTOR - [1]"
            "\n      Type [CmResourceTypePort]\n      ShareDisposition [CmResourceShareDeviceExclusive]"
            "\n      Flags [0001]\n      Port\n        PADDRESS [00000300]\n        Length [00000010]"
            "\n    CM_PARTIAL_RESOURCE_DESCRIPTOR - [2]"
            "\n      Type [CmResourceTypeInterrupt]\n      ShareDisposition [CmResourceShareShared]"
            "\n      Flags [0000]\n      Interrupt\n        Level [00000005]\n        Vector [00000007]"
            "\n        Affinity [FFFFFFFF]"
            "\n    CM_PARTIAL_RESOURCE_DESCRIPTOR - [3]"
            "\n      Type [CmResourceTypeDma]\n      ShareDisposition [CmResourceShareDriverExclusive]"
            "\n      Flags [8000]");
}

TEST(Requirements, EachDescriptorPrintsItsOwnOptionFlags) {
  auto v = ResourceBytes::requirements(5, 2, 2);
  v.io(0x0B, 3, 0, 0, 0x1000, 0x100, 0x1'000D'0000ull, 0xDFFFF);  // memory, all three flags
  v.io(0x02, 2, 4, 0, 3, 15, 0, 0);                                // interrupt, DEFAULT only
  std::string out;
  reg_print_requirements(v.span(), out);
  EXPECT_EQ(out,
            "\n  ListSize [00000100]\n  InterfaceType [PCIBus]\n  BusNumber [00000000]\n  SlotNumber [00000007]"
            "\n  Reserved [00000011,00000022,00000033]\n  AlternativeLists [00000002]\n  IO_RESOURCE_LIST"
            "\n    Version [0001]\n    Revision [0001]\n    Count [00000002]"
            "\n    IO_RESOURCE_DESCRIPTOR - [1]\n      Option\n        PREEFERRED\n        DEFAULT\n        ALTERNATIVE"
            "\n      Type [CmResourceTypeMemory]\n      ShareDisposition [CmResourceShareUndetermined]"
            "\n      Flags [0000]\n      Memory\n        Length [00001000]\n        Alignment [00000100]"
            "\n        MinADDR [000D0000]\n        MaxADDR [000DFFFF]"
            "\n    IO_RESOURCE_DESCRIPTOR - [2]\n      Option\n        DEFAULT"
            "\n      Type [CmResourceTypeInterrupt]\n      ShareDisposition [Unknown(4)]"
            "\n      Flags [0000]\n      Interrupt\n        MinVector [00000003]\n        MaxVector [0000000F]");
}

// Every cut of a sound value prints a leading part of what the whole value
// prints, then the note with the cut's size; under AddressSanitizer this also
// proves that no cut is read past.
TEST(ShortValues, EveryCutPrintsWhatItHoldsThenTheNote) {
  using Printer = void (*)(std::span<const u8>, std::string&);
  auto full = ResourceBytes::full(0, 0, 2);
  full.partial(1, 1, 1, 0x300, 8).partial(2, 1, 0, 5, 5);
  auto req = ResourceBytes::requirements(1, 1, 2);
  req.io(1, 1, 1, 1, 8, 8, 0x300, 0x3FF).io(0, 2, 0, 0, 5, 7, 0, 0);
  const struct {
    const char* what;
    Printer print;
    std::span<const u8> value;
  } cases[] = {{"full resource", reg_print_full_resource, full.span()},
               {"requirements", reg_print_requirements, req.span()}};
  for (const auto& c : cases) {
    std::string whole;
    c.print(c.value, whole);
    ASSERT_EQ(whole.find("short value"), std::string::npos) << c.what;
    for (std::size_t n = 0; n < c.value.size(); ++n) {
      SCOPED_TRACE(testing::Message() << c.what << " cut to " << n);
      std::vector<u8> cut(c.value.begin(), c.value.begin() + std::ptrdiff_t(n));  // its own block: ASan sees its end
      std::string out;
      c.print(cut, out);
      const std::size_t note = out.rfind("\n  [short value: " + std::to_string(n) + " bytes, ");
      ASSERT_NE(note, std::string::npos) << out;
      EXPECT_EQ(whole.compare(0, note, out, 0, note), 0) << out;
    }
  }
}

TEST(ShortValues, ACountBeyondTheDataPrintsTheDescriptorsThereAndWhatTheCountNeeds) {
  auto full = ResourceBytes::full(1, 0, 0xFFFFFFFF);
  full.partial(1, 1, 1, 0x300, 16);
  std::string out;
  reg_print_full_resource(full.span(), out);
  EXPECT_NE(out.find("DESCRIPTOR - [1]"), std::string::npos);
  EXPECT_EQ(out.find("DESCRIPTOR - [2]"), std::string::npos);
  EXPECT_TRUE(out.ends_with("\n        Length [00000010]\n  [short value: 32 bytes, 68719476736 needed]")) << out;

  auto req = ResourceBytes::requirements(1, 1, 3);
  req.io(1, 1, 1, 1, 8, 8, 0x300, 0x3FF);
  req.b8(0);  // a stray byte is no descriptor
  out.clear();
  reg_print_requirements(req.span(), out);
  EXPECT_TRUE(out.ends_with("\n        MaxADDR [000003FF]\n  [short value: 73 bytes, 136 needed]")) << out;
}

}  // namespace
