#include "platform/host/host_text.h"
#include "platform/host/host_text_table.h"

#include <gtest/gtest.h>

TEST(HostTextTest, Cp932RoundTripsAndKeepsBackslash) {
  const struct {
    const char* utf8;
    const char* cp932;
  } cases[] = {
      {"\\", "\x5C"},                                  // a backslash, not the yen sign
      {"コマンド", "\x83\x52\x83\x7D\x83\x93\x83\x68"},
      {"ﾀｰｹﾞｯﾄ", "\xC0\xB0\xB9\xDE\xAF\xC4"},          // half-width katakana: one byte each
      {"ＱＵＥＮＤＡＲ", "\x82\x70\x82\x74\x82\x64\x82\x6D\x82\x63\x82\x60\x82\x71"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(host_utf8_to_cp932(c.utf8), c.cp932);
    EXPECT_EQ(host_cp932_to_utf8(c.cp932), c.utf8);
  }
}

TEST(HostTextTest, BadBytesBecomeQuestionMarks) {
  EXPECT_EQ(host_cp932_to_utf8("A\x81"), "A?");       // a lead byte without its trail
  EXPECT_EQ(host_utf8_to_cp932("A\xE3\x82"), "A??");  // a cut UTF-8 sequence
}

namespace {

constexpr HostTextRow kRows[] = {{1, "one"}, {5, "ｱｾﾝﾌﾞﾗ"}, {70000, "far"}};
static_assert(host_text_ids_ascending(kRows));
constexpr HostTextRow kUnordered[] = {{2, "b"}, {1, "a"}};
static_assert(!host_text_ids_ascending(kUnordered));

TEST(HostTextTableTest, FindsTextsByIdInTheirCp932Form) {
  const HostTextTable table(kRows);
  EXPECT_EQ(table.find(1), "one");
  EXPECT_EQ(table.find(5), "\xB1\xBE\xDD\xCC\xDE\xD7");  // half-width kana, one byte each
  EXPECT_EQ(table.find(70000), "far");
  EXPECT_EQ(table.find(0), "");
  EXPECT_EQ(table.find(2), "");
  EXPECT_EQ(table.find(70001), "");
}

}  // namespace
