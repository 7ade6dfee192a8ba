// Target number formats against independent references (the host's 80-bit
// long double, printf), the character column's Shift-JIS pairs, and H.
#include "halv80/engine/fmt_numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"

namespace {

using FmtNumbersTest = EngineTest;

TempReal temp_real(u64 mantissa, u16 head) {
  TempReal t{};
  for (int i = 0; i < 8; ++i) t[i] = u8(mantissa >> (8 * i));
  t[8] = u8(head);
  t[9] = u8(head >> 8);
  return t;
}

std::string printf_text(const char* format, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, v);
  return buf;
}

TEST_F(FmtNumbersTest, TempRealMatchesTheHostsExtendedFormat) {
  if (LDBL_MANT_DIG != 64) {
    GTEST_SKIP() << "long double is not the 80-bit format here";
  }
  for (const double v : {1.0, -2.5, 3.141592653589793, 1e300, -1e-300, 6.02214076e23, 0.0}) {
    SCOPED_TRACE(v);
    TempReal ours{};
    fmt_double_to_temp_real(ours, v);
    const long double host = v;
    TempReal reference{};
    std::memcpy(reference.data(), &host, reference.size());
    if (v != 0.0) {
      EXPECT_EQ(ours, reference);  // a zero keeps its integer bit here
    }
    double back = -1.0;
    EXPECT_FALSE(fmt_temp_real_to_double(back, ours));
    EXPECT_EQ(std::bit_cast<u64>(back), std::bit_cast<u64>(v));
  }
}

TEST_F(FmtNumbersTest, TempRealToDouble) {
  const struct {
    TempReal in;
    bool overflow;
    double value;
  } cases[] = {
      {temp_real(0, 0x3FFF), false, 0.0},
      {temp_real(0, 0xFFFF), false, 0.0},                   // zero mantissa: +0.0 whatever the sign
      {temp_real(u64(1) << 63, 0x7FFE), true, 0.0},
      {temp_real(u64(1) << 63, 0x7FFF), true, 0.0},
      {temp_real(1, 0x3FFF + 63), false, 1.0},              // normalised by 63 shifts
      {temp_real(u64(3) << 62, 0xC000), false, -3.0},
      {temp_real(u64(1) << 63, 0x3FFF - 1023 - 1), false, 0.0},  // below a double: exponent 0
  };
  for (const auto& c : cases) {
    double v = -1.0;
    EXPECT_EQ(fmt_temp_real_to_double(v, c.in), c.overflow);
    EXPECT_EQ(std::bit_cast<u64>(v), std::bit_cast<u64>(c.value)) << v;
  }
  EXPECT_EQ(fmt_temp_real_text(temp_real(u64(1) << 63, 0x7FFE), kLongDigits), "      ???            ");
  EXPECT_EQ(fmt_temp_real_text(temp_real(u64(1) << 63, 0x3FFF), kLongDigits), "1.000000000000000e+000");
}

TEST_F(FmtNumbersTest, DoubleTextsFollowPrintf) {
  for (const double v : {1.0, -1.5, 0.0, 1e100, -2.5e-5, 123456.789, 1e-310}) {
    SCOPED_TRACE(v);
    EXPECT_EQ(fmt_double_text(v, kShortDigits), printf_text("%#12.6e", v));
    std::string long_form = printf_text("%#21.15e", v);
    // the long form's exponent has three digits
    if (long_form.size() == long_form.rfind('e') + 4) long_form.insert(long_form.rfind('e') + 2, "0");
    EXPECT_EQ(fmt_double_text(v, kLongDigits), long_form);
  }
  EXPECT_EQ(fmt_double_text(1.0, kLongDigits), "1.000000000000000e+000");
  EXPECT_EQ(fmt_double_text(-2.5e-5, kLongDigits), "-2.500000000000000e-005");
}

TEST_F(FmtNumbersTest, ParseFloatAndDecimalDoubles) {
  const struct {
    u16 toolchain;
    const char* text;
    bool ok;
    DoubleBytes bytes;
    const char* shown;  // fmt_float_text, 15 digits
  } cases[] = {
      {16, "1.0", true, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}, "1.000000000000000e+000"},
      {16, " +2.5 ", true, {0, 0, 0, 0, 0, 0, 0x04, 0x40}, "2.500000000000000e+000"},
      {16, "1.5x", false, {}, nullptr},
      {16, "", false, {}, nullptr},
      {16, "1e999", false, {}, nullptr},  // no finite double
      {4, "1.0", true, {0x41, 0x10, 0, 0, 0, 0, 0, 0}, "1.0000000000000e+00"},
      {4, "-123.456", true, {0xC3, 0x12, 0x34, 0x56, 0, 0, 0, 0}, "-1.2345600000000e+02"},
      {4, "0.00123", true, {0x3E, 0x12, 0x30, 0, 0, 0, 0, 0}, "1.2300000000000e-03"},
      {4, "0", true, {0x41, 0, 0, 0, 0, 0, 0, 0}, "0.0000000000000e+00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.toolchain << " " << c.text);
    Sw.ToolchainKind = c.toolchain;
    DoubleBytes out{};
    ASSERT_EQ(fmt_parse_float(out, c.text), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(out, c.bytes);
    EXPECT_EQ(fmt_float_text(out, kLongDigits), c.shown);
  }
}

TEST_F(FmtNumbersTest, AlternateSingle) {
  const struct {
    u32 ieee;
    u32 alt;
    u32 back;  // the IEEE single the alternate form converts back to
  } cases[] = {
      {0x3F800000, 0x41800000, 0x3F800000},  // 1.0
      {0xBF000000, 0xC0800000, 0xBF000000},  // -0.5
      {0x40490FDB, 0x42C90FDB, 0x40490FDB},  // pi
      {0x05000000, 0x00800000, 0x1F000000},  // too small: exponent 0
      {0x7F800000, 0x7F800000, 0x5E800000},  // too large: exponent 127
  };
  const auto bytes = [](u32 v) { return SingleBytes{u8(v), u8(v >> 8), u8(v >> 16), u8(v >> 24)}; };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.ieee);
    SingleBytes out{};
    fmt_alt_single(bytes(c.ieee), out, AltSingle::FromIeee);
    EXPECT_EQ(out, bytes(c.alt));
    fmt_alt_single(bytes(c.alt), out, AltSingle::ToIeee);
    EXPECT_EQ(out, bytes(c.back));
  }
}

TEST_F(FmtNumbersTest, PrintableColumnPairsShiftJis) {
  const struct {
    std::vector<u8> bytes;
    std::string shown;
  } cases[] = {
      {{0x41, 0x00, 0x7F, 0x20}, "A.. "},
      {{0xA0, 0xB1, 0xDF, 0xE0}, "\xA0\xB1\xDF."},
      {{0x82, 0xA0}, "\x82\xA0"},    // a pair stands in both places
      {{0x81, 0x81, 0x41}, "\x81\x81" "A"},
      {{0x82, 0x20, 0x82}, ". ."},   // no trail: the lead byte is dropped
      {{0x82, 0x7F}, ".."},
      {{0x41, 0x82}, "A."},          // a lead byte at the end stays "."
      {{0xFD, 0x40}, ".@"},          // not a lead byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    PrintableColumn column;
    for (const u8 b : c.bytes) fmt_printable(column, b);
    EXPECT_EQ(column.text, c.shown);
  }
  EXPECT_EQ(fmt_printable_word(0x82A0), "\x82\xA0");
  EXPECT_EQ(fmt_printable_long(0x4182A042), "A\x82\xA0" "B");
  EXPECT_EQ(fmt_printable_long(0x00004182), "..A.");
  EXPECT_EQ(fmt_printable_byte(0x82), ".");
}

TEST_F(FmtNumbersTest, OperandTextIsBounded) {
  const struct {
    std::string line;
    std::string text;
    std::size_t stop;
  } cases[] = {
      {", 1.5e3 ,2", "1.5e3 ", 8},
      {"abc", "abc", 3},
      {std::string(70, '9'), std::string(64, '9'), 64},
  };
  for (const auto& c : cases) {
    cmd_set_command_line(c.line);
    EXPECT_EQ(fmt_take_operand_text(), c.text);
    EXPECT_EQ(std::size_t(Cmd.ScannerCursor - Cmd.CommandLine), c.stop);
  }
}

TEST_F(FmtNumbersTest, CalculatorLines) {
  ScriptedWindowSide ws;
  ws.Start();
  const auto typed = [&](std::string_view line) {
    const std::size_t before = ws.Transcript().size();
    ws.Type(line);
    return ws.Transcript().substr(before);
  };
  const std::string heading = "\n          oct           dec       hex      asc      float";
  const auto single = [](u32 bits) { return printf_text("%#12.6e", std::bit_cast<float>(bits)); };
  const double pair = std::bit_cast<double>(u64(0x41) << 32 | 0x42);
  EXPECT_EQ(typed("H 41,42"), "H 41,42" + heading +
                                  "\n + :  00000000203          131  00000083  '....'  " + single(0x83) +
                                  "\n - :  37777777777           -1  FFFFFFFF  '....'  " + single(0xFFFFFFFF) +
                                  "\ndouble: " + printf_text("%#21.15e", pair) + "\n>");
  EXPECT_EQ(typed("H 3F800000"), "H 3F800000" + heading +
                                     "\n      07740000000   1065353216  3F800000  '?...'  1.000000e+00\n>");
  // the alternate single of ToolchainKind 2, and no double
  Sw.ToolchainKind = 2;
  EXPECT_EQ(typed("H 41800000,0"), "H 41800000,0" + heading +
                                       "\n + :  10140000000   1098907648  41800000  'A...'  1.000000e+00"
                                       "\n - :  10140000000   1098907648  41800000  'A...'  1.000000e+00\n>");
  // the line splitter refuses a dangling comma before H sees it
  EXPECT_EQ(typed("H 1,"), "H 1," + sjis("\n コマンドのフォーマットが不正です") + "\n>");
  for (const char* bad : {"H", "H 1,2,3", "H 1 2"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(typed(bad), std::string(bad) + sjis("\n データ指定が誤りです") + "\n>");
  }
}

}  // namespace
