#include "platform/host/host_input.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/host/tests/scratch_dir.h"

namespace {

// Every byte of a file comes once, in order, and then the end, which stays.
TEST(HostInputTest, AFileGivesItsBytesThenTheEnd) {
  ScratchDir dir;
  ASSERT_FALSE(dir.path().empty());
  const std::string path = dir.path() + "/keys.txt";
  const std::string bytes("R\r\n\x1b" "G ,/W\n", 11);
  std::ofstream(path, std::ios::binary) << bytes;
  const auto input = HostInput::FromFile(path);
  ASSERT_NE(input, nullptr);
  EXPECT_FALSE(input->Terminal());
  std::string seen;
  while (input->Wait(0) == HostInput::State::Ready) {
    const u8 peeked = input->Peek();
    const u8 taken = input->Take();
    EXPECT_EQ(peeked, taken);
    seen += char(taken);
  }
  EXPECT_EQ(seen, bytes);
  EXPECT_EQ(input->Wait(0), HostInput::State::End);
  EXPECT_EQ(input->Wait(10), HostInput::State::End);
  EXPECT_FALSE(input->TakeInterrupt());
}

TEST(HostInputTest, ATextGivesItsBytesThenTheEnd) {
  const auto input = HostInput::FromText("G\n");
  ASSERT_EQ(input->Wait(0), HostInput::State::Ready);
  EXPECT_EQ(input->Take(), 'G');
  ASSERT_EQ(input->Wait(50), HostInput::State::Ready);
  EXPECT_EQ(input->Take(), '\n');
  EXPECT_EQ(input->Wait(50), HostInput::State::End);
}

TEST(HostInputTest, AMissingFileOpensNothing) {
  EXPECT_EQ(HostInput::FromFile("/nonexistent/halv80/keys.txt"), nullptr);
}

}  // namespace
