// String and block routines: overlap direction, bounded cut/insert/append,
// strides of the alternate-byte routines, segment:offset ordering and the
// 16-bit decimal writer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "halv80/engine/sup_string.h"

namespace {

TEST(SupStringTest, MoveIsOverlapSafeInBothDirections) {
  const struct {
    std::size_t src;
    std::size_t dst;
    std::size_t n;
    bool short_copy;  // through sup_copy
    std::string_view expected;
  } cases[] = {
      {0, 2, 6, false, "0101234589"},  // destination above the source
      {2, 0, 6, false, "2345676789"},  // below
      {3, 3, 4, false, "0123456789"},
      {0, 4, 6, true, "0123012345"},
      {4, 1, 6, true, "0456789789"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.src << " -> " << c.dst);
    char buffer[] = "0123456789";
    if (c.short_copy)
      sup_copy(buffer + c.src, buffer + c.dst, u16(c.n));
    else
      sup_memmove(buffer + c.src, buffer + c.dst, c.n);
    EXPECT_EQ(std::string_view(buffer), c.expected);
  }
}

TEST(SupStringTest, CutFrontRemovesAtMostTheWholeText) {
  const struct {
    const char* text;
    std::size_t n;
    std::string_view expected;
  } cases[] = {
      {"abcdef", 2, "cdef"}, {"abc", 0, "abc"}, {"abc", 3, ""}, {"abc", 10, ""}, {"", 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " " << c.n);
    char buffer[16] = {};
    std::strcpy(buffer, c.text);
    std::memset(buffer + std::strlen(c.text) + 1, '#', sizeof buffer - std::strlen(c.text) - 1);
    sup_str_cut_front(buffer, c.n);
    EXPECT_EQ(std::string_view(buffer), c.expected);
  }
}

TEST(SupStringTest, InsertFrontIsCutAtTheBufferEndAndStaysTerminated) {
  const struct {
    std::size_t size;
    const char* text;
    const char* prefix;
    std::string_view expected;
  } cases[] = {
      {16, "def", "abc", "abcdef"},
      {7, "def", "abc", "abcdef"},   // fits exactly
      {6, "def", "abc", "abcde"},    // the old text's end is cut
      {4, "def", "abcdef", "abc"},   // the prefix alone is cut
      {1, "", "abc", ""},
      {16, "def", "", "def"},
      {16, "", "abc", "abc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " " << c.prefix << "+" << c.text);
    char buffer[20];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, c.text, std::strlen(c.text) + 1);
    const std::size_t n = sup_str_insert_front(std::span(buffer, c.size), c.prefix);
    EXPECT_EQ(n, c.expected.size());
    EXPECT_EQ(std::string_view(buffer, n), c.expected);
    EXPECT_EQ(buffer[n], '\0');
    for (std::size_t k = std::max(c.size, std::strlen(c.text) + 1); k < sizeof buffer; ++k)
      EXPECT_EQ(buffer[k], '#') << "byte " << k << " past the buffer was written";
  }

  // An empty buffer is left alone.
  char untouched[2] = {'#', '#'};
  EXPECT_EQ(sup_str_insert_front(std::span(untouched, 0), "abc"), 0u);
  EXPECT_EQ(untouched[0], '#');

  // A prefix taken from the text itself.
  char path[16] = "path";
  EXPECT_EQ(sup_str_insert_front(path, path + 2), 6u);
  EXPECT_EQ(std::string_view(path), "thpath");
}

TEST(SupStringTest, StrcatAppendsOnlyWhatFits) {
  const struct {
    std::size_t size;
    const char* src;
    std::string_view expected;
    std::size_t copied;  // terminator included
  } cases[] = {
      {16, "def", "abcdef", 4},
      {6, "def", "abcde", 3},
      {4, "def", "abc", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[20];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, "abc", 4);
    EXPECT_EQ(sup_strcat(std::span(buffer, c.size), c.src), c.copied);
    EXPECT_EQ(std::string_view(buffer), c.expected);
    for (std::size_t k = c.size; k < sizeof buffer; ++k) EXPECT_EQ(buffer[k], '#');
  }
  char full[3] = {'a', 'b', 'c'};  // no terminator: nothing appended
  EXPECT_EQ(sup_strcat(full, "d"), 0u);
  EXPECT_EQ(std::string_view(full, 3), "abc");
}

TEST(SupStringTest, ComparisonsAreBytewiseAndUpperCaseAsciiOnly) {
  const struct {
    const char* a;
    const char* b;
    int sign;       // of sup_strcmp
    int sign_nocase;  // of sup_stricmp
  } cases[] = {
      {"abc", "abc", 0, 0},
      {"abc", "ABC", 1, 0},
      {"abc", "abd", -1, -1},
      {"ab", "abc", -1, -1},
      {"A", "\x82\xA0", -1, -1},   // CP932 lead bytes sort above ASCII
      {"\xE0", "\xC0", 1, 1},      // no case outside ASCII
      {"[", "a", -1, 1},           // "[" lies between the upper- and lower-case letters
  };
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
    EXPECT_EQ(sign(sup_strcmp(c.a, c.b)), c.sign);
    EXPECT_EQ(sign(sup_stricmp(c.a, c.b)), c.sign_nocase);
  }
}

TEST(SupStringTest, AlternateByteRoutinesKeepTheirStride) {
  u8 cells[10] = {};
  sup_fill_alternate(cells, 1, 3, 7);  // three attribute bytes
  EXPECT_EQ(std::string(cells, cells + 10), std::string("\0\7\0\7\0\7\0\0\0\0", 10));

  u8 words[6] = {};
  sup_fill_words(words, 2, 0x0720);  // blank in attribute 7, low byte first
  EXPECT_EQ(std::string(words, words + 6), std::string("\x20\x07\x20\x07\0\0", 6));

  const u8 text[3] = {'a', 'b', 'c'};
  u8 row[8];
  std::memset(row, 7, sizeof row);
  sup_interleave(text, row, 3);
  EXPECT_EQ(std::string(row, row + 8), std::string("a\7b\7c\7\7\7", 8));
  u8 back[4] = {0, 0, 0, '#'};
  sup_deinterleave(row, back, 3);
  EXPECT_EQ(std::string(back, back + 4), "abc#");
}

TEST(SupStringTest, SegmentOffsetOrderIsByParagraphThenLowNibble) {
  const struct {
    u32 a;
    u32 b;
    int expected;
  } cases[] = {
      {0x10000010, 0x10010000, 0},   // the same paragraph, two spellings
      {0x00000100, 0x000100F0, 0},
      {0x10000020, 0x10010000, 1},   // b below a
      {0x10000001, 0x10000002, -1},  // b above a
      {0x10010001, 0x10000012, -1},  // same paragraph, low nibbles decide
      {0x20000000, 0x10000FFF, 1},   // the paragraph outranks the low nibble
      {0xFFFFFFFF, 0x0000FFFF, 1},   // the top paragraph does not wrap
      {0x0000FFFF, 0xFFFFFFFF, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.a << " vs " << c.b);
    EXPECT_EQ(sup_compare_seg_offset(c.a, c.b), c.expected);
  }
  EXPECT_EQ(sup_seg_to_linear(0xFFFF, 0xFFFF), 0x10FFEFu);  // no 16-bit wrap
  EXPECT_EQ(sup_make_long(0x5678, 0x1234), 0x12345678u);
}

TEST(SupStringTest, U16DecimalHasNoLeadingZerosAndIsBounded) {
  const struct {
    u16 value;
    std::size_t size;
    std::string_view expected;
  } cases[] = {
      {0, 6, "0"}, {10005, 6, "10005"}, {65535, 6, "65535"}, {65535, 3, "65"}, {7, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " in " << c.size);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(fmt_u16_decimal(std::span(buffer, c.size), c.value), c.expected.size());
    EXPECT_EQ(std::string_view(buffer), c.expected);
    EXPECT_EQ(buffer[c.size], '#');
  }
}

}  // namespace
