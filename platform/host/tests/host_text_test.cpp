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
  // a character CP932 lacks is one "?", whatever its length
  EXPECT_EQ(host_utf8_to_cp932("a\xF0\x9F\x98\x80" "b\xC3\xA9" "c"), "a?b?c");
}

TEST(HostTextTest, Utf8CheckTakesWellFormedTextInAnyPieces) {
  const struct {
    const char* text;
    bool valid;
    bool non_ascii;
  } cases[] = {
      {"int x; /* plain */", true, false},
      {"// \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", true, true},  // 日本語
      {"\xF0\x9F\x98\x80", true, true},
      {"// \x93\xFA\x96\x7B", false, true},  // the same words in Shift-JIS
      {"\xC0\xAF", false, true},              // an overlong form
      {"\xED\xA0\x80", false, true},          // a surrogate
      {"\xF4\x90\x80\x80", false, true},      // above U+10FFFF
      {"\xE6\x97", false, true},              // cut at the end
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string_view text = c.text;
    for (std::size_t piece = 1; piece <= text.size(); ++piece) {
      HostUtf8Check check;
      for (std::size_t at = 0; at < text.size(); at += piece) check.feed(text.substr(at, piece));
      EXPECT_EQ(check.valid(), c.valid) << piece;
      EXPECT_EQ(check.non_ascii(), c.non_ascii) << piece;
    }
  }
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
