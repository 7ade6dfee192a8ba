// The formatter: conversions, flags, width and precision, missing arguments,
// target-string mode, the bounded buffer front end and the digit writers.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/sup_format.h"
#include "halv80/engine/tests/engine_fixture.h"

using namespace std::string_view_literals;

namespace {

class SupFormatTest : public EngineTest {};

void append_to_string(void* context, u8 c) { static_cast<std::string*>(context)->push_back(char(c)); }

std::string format(std::string_view f, const std::vector<FmtArg>& args) {
  std::string out;
  sup_format(append_to_string, &out, f, args);
  return out;
}

TEST_F(SupFormatTest, ConversionsFlagsWidthAndPrecision) {
  const std::string owned = "xyz";  // outlives the table that points into it
  const struct {
    std::string_view format;
    std::vector<FmtArg> args;
    std::string_view expected;
  } cases[] = {
      {"%04x", {0x1F}, "001F"},
      {"%-6d|", {42}, "42    |"},
      {"%6ld", {-5}, "    -5"},
      {"%x", {0xFFFFFFFFu}, "FFFFFFFF"},
      {"%x %X", {0xabc, 0xabc}, "ABC ABC"},  // upper-case digits for both
      {"%u", {0xFFFFFFFFu}, "4294967295"},
      {"%d", {0x80000000u}, "-2147483648"},
      {"%d", {INT_MIN}, "-2147483648"},
      {"%o", {0xFFFFFFFFu}, "37777777777"},
      {"%u %x", {i8(-1), i16(-2)}, "4294967295 FFFFFFFE"},  // narrow signed: sign-extended
      {"%d", {u16(0xFFFF)}, "65535"},                     // narrow unsigned: not
      {"%d", {0}, "0"},
      {"%-05d|", {7}, "7    |"},  // the "0" after "-" is a width digit
      {"%05d", {-42}, "-0042"},   // the sign goes before the zeros; the width counts it
      {"%5d", {-42}, "  -42"},
      {"%-5d|", {-42}, "-42  |"},
      {"%05x", {0xAB}, "000AB"},
      {"%2d", {12345}, "12345"},  // the width never cuts
      {"%.2d", {12345}, "12"},    // the precision does, numbers too
      {"%.3s", {"abcdef"}, "abc"},
      {"%.*s", {2, "abcdef"}, "ab"},
      {"%8s|%-4s|", {"ab", "cd"}, "      ab|cd  |"},
      {"%s", {std::string_view("abcdef", 3)}, "abc"},  // a view's length bounds the text
      {"%s", {owned}, "xyz"},
      {"%c", {0x141}, "A"},
      {"[%c]", {0}, "[\0]"sv},
      {"%*d|", {5, 42}, "   42|"},
      {"%-*d|", {5, 42}, "42   |"},
      {"%*d|", {-3, 42}, "42|"},  // a negative width pads nothing
      {"%.*s|", {-1, "abc"}, "abc|"},  // a negative precision is no precision
      {"%%", {}, "%"},
      {"%q%d", {99}, "q99"},  // no argument consumed by "q"
      {"%lx", {255}, "FF"},
      {"[%d][%s][%x]", {7}, "[7][][0]"},  // missing arguments: 0 and empty text
      {"%s", {12}, ""},                  // a word is no text
      {"ab%", {1}, "ab"},                // a conversion cut off by the end prints nothing
      {"ab%-5", {1}, "ab"},
      {"ab\0%d"sv, {1}, "ab"},           // the format ends at a zero byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.format)));
    EXPECT_EQ(format(c.format, c.args), c.expected);
  }
  // A width typed beyond 16 bits is held at 32,767 columns.
  const std::string wide = format("%99999999d|", {1});
  EXPECT_EQ(wide.size(), 32768u);
  EXPECT_EQ(wide.substr(32764), "  1|");
}

TEST_F(SupFormatTest, ConsoleFrontEndPrintsThroughConPutc) {
  fresh_console();
  Co.OnCommandSide = 1;  // the command pane's output goes to the screen
  con_printf("%04x %s %c", 0x1F, "ok", '!');
  Co.OnCommandSide = 0;
  const u8* row = con_screen_row(kPaneTop);
  std::string text;
  for (u16 col = 0; col < 9; ++col) text.push_back(char(row[col * 2]));
  EXPECT_EQ(text, "001F ok !");
}

// Target memory for the target-string tests: a 4 KiB area, wrapping, that
// counts the bytes read.
std::array<u8, 4096> g_target{};
std::size_t g_reads = 0;
u8 read_fake_target(u32 address) {
  ++g_reads;
  return g_target[address % g_target.size()];
}

TEST_F(SupFormatTest, TargetStringModeReadsTargetMemoryUpTo1024Bytes) {
  g_target.fill(0);
  std::memcpy(&g_target[0x100], "HELLO", 6);
  std::memset(&g_target[0x400], 'A', 2000);  // no zero byte for 2,000 bytes
  Fmt.TargetStringMode = 1;
  Fmt.ReadTargetByte = read_fake_target;

  const struct {
    std::string_view format;
    std::vector<FmtArg> args;
    std::string expected;
    std::size_t reads;  // bytes read from the target
  } cases[] = {
      {"&s at &04x, %d%s", {0x100, 0x1F}, "HELLO at 001F, %d%s", 6},  // "%" is plain text
      {"&&", {}, "&", 0},
      {"[&-7s]", {0x100}, "[HELLO  ]", 6},
      {"[&.3s]", {0x100}, "[HEL]", 3},  // reads no more than it prints
      {"[&s]", {0x102}, "[LLO]", 4},
      {"&s", {0x400}, std::string(1024, 'A'), 1024},  // the cap, without a zero byte
      {"[&s]", {}, "[]", 1},                          // a missing address reads address 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.format)));
    g_reads = 0;
    EXPECT_EQ(format(c.format, c.args), c.expected);
    EXPECT_EQ(g_reads, c.reads);
  }

  // Without a reader the string is empty.
  Fmt.ReadTargetByte = nullptr;
  EXPECT_EQ(format("[&s]", {0x100}), "[]");
  // Back in normal mode "&" is plain text again.
  Fmt.TargetStringMode = 0;
  EXPECT_EQ(format("&s%s", {"x"}), "&sx");
}

TEST_F(SupFormatTest, SprintfCutsAtTheBufferSizeAndAlwaysTerminates) {
  const struct {
    std::size_t size;
    std::string_view text;  // what the buffer holds before the terminator
  } cases[] = {
      {0, ""},  // nothing written at all
      {1, ""},
      {7, "abcdef"},
      {8, "abcdef-"},
      {12, "abcdef-1234"},  // fits exactly
      {16, "abcdef-1234"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[20];
    std::memset(buffer, '#', sizeof buffer);
    const std::size_t n = sup_sprintf(std::span(buffer, c.size), "%s-%d", "abcdef", 1234);
    EXPECT_EQ(n, c.text.size());
    if (c.size > 0) {
      EXPECT_EQ(std::string_view(buffer, n), c.text);
      EXPECT_EQ(buffer[n], '\0');
    }
    for (std::size_t k = c.size; k < sizeof buffer; ++k)
      EXPECT_EQ(buffer[k], '#') << "byte " << k << " past the buffer was written";
  }
}

TEST_F(SupFormatTest, DigitWritersFillBackwardsFromEnd) {
  const struct {
    u32 value;
    u32 base;
    bool is_signed;
    std::string_view digits;
  } cases[] = {
      {0, 10, false, "0"},
      {0xFFFFFFFFu, 2, false, "11111111111111111111111111111111"},
      {0xFFFFFFFFu, 3, false, "102002022201221111210"},
      {100, 7, false, "202"},
      {0xFFFFFFFFu, 16, true, "-1"},
      {0x80000000u, 16, true, "-80000000"},
      {0x80000000u, 2, true, "-10000000000000000000000000000000"},  // the longest text
      {0x7FFFFFFFu, 10, true, "2147483647"},
      {255, 1, false, "255"},   // a base below 2 is taken as 10
      {255, 17, false, "255"},  // so is one above 16
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.value << " base " << c.base);
    char buffer[kDigitsMax + 2];
    std::memset(buffer, '#', sizeof buffer);
    char* const end = buffer + kDigitsMax + 1;
    const char* first = c.is_signed ? sup_digits(i32(c.value), c.base, end)
                                    : sup_digits_unsigned(c.value, c.base, end);
    EXPECT_EQ(std::string_view(first, std::size_t(end - first)), c.digits);
    EXPECT_EQ(*end, '#');  // nothing at end
    EXPECT_EQ(buffer[0], '#');
  }
}

}  // namespace
