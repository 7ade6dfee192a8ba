// D, E and the memory window's rows against a booted simulated target.
#include "halv80/engine/mem_dump.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"

namespace {

using MemDumpTest = MemSessionTest;

const std::string kAddressError = "\n アドレス指定が誤りです";
const std::string kDataError = "\n データ指定が誤りです";

// '0' .. '?' at 0x100, then 'P' .. '_' at 0x110 and so on.
void poke_text(MemSessionTest::Bytes& b, u8 first) {
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = u8(first + i);
}

TEST_F(MemDumpTest, ByteLinesAndThePlainContinuation) {
  Bytes text(64);
  poke_text(text, 0x30);
  poke(0x100, text);
  EXPECT_EQ(typed("DB 100"), "DB 100\n0100  30 31 32 33 34 35 36 37  38 39 3A 3B 3C 3D 3E 3F 0123456789:;<=>?\n>");
  // a plain D goes on with the same kind and radix
  EXPECT_EQ(typed("D"), "D\n0110  40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F @ABCDEFGHIJKLMNO\n>");
  // octal words, four to a line
  EXPECT_EQ(typed("DW 100,10F,/O"),
            "DW 100,10F,/O\n0100  030460 031462  032464 033466 01234567\n0108  034470 035472  036474 037476 89:;<=>?\n>");
  EXPECT_EQ(typed("D"), "D\n0110  040500 041502  042504 043506 @ABCDEFG\n>");
  EXPECT_EQ(typed("D ,,2,/H"), "D ,,2,/H\n0118  4948  4B4A HIJK\n>");
}

TEST_F(MemDumpTest, KindsAndRadixes) {
  poke(0x100, {0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x00, 0x64, 0x00, 0x9C, 0xFF, 0x02, 0x00});
  poke(0x200, {0x00, 0x00, 0x80, 0x3F, 0x82, 0xA0, 0x41, 0x42});
  poke(0x300, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
  poke(0x400, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0x40});
  const struct {
    const char* line;
    std::string out;
  } cases[] = {
      // signed decimal words, four to a line
      {"DW 100,10F,/D", "\n0100       1     -1   32767 -32768 ........"
                        "\n0108       0    100    -100      2 ..d....."},
      {"DB 100,107,/D", "\n0100     1    0   -1   -1    -1  127    0 -128 ........"},
      {"DD 200,,2,/H", "\n0200  3F80:0000  4241:A082 ...?\x82\xA0" "AB"},
      {"DD 100,,1,/D", "\n0100       -65535 ...."},
      {"DB 200,,4", "\n0200     0    0  -128   63 ...?"},  // the radix of the last display stays
      {"DA 200", "\n0200  ...?\x82\xA0" "AB" + std::string(24, '.')},
      {"DAA 200", "\n00000200  ...?\x82\xA0" "AB" + std::string(24, '.')},  // banked
      {"DS 200", "\n0200  1.000000e+00 00 00 80 3F "},
      {"DL 300", "\n0300  1.000000000000000e+000 00 00 00 00 00 00 F0 3F "},
      {"DT 400,413", "\n0400  1.000000000000000e+000 00 00 00 00 00 00 00 80 FF 3F "
                     "\n040A  2.000000000000000e+000 00 00 00 00 00 00 00 80 00 40 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(typed(c.line), c.line + c.out + "\n>");
  }
}

TEST_F(MemDumpTest, DisplayRefusals) {
  for (const char* line : {"DB 100,,33", "DB 100,,0", "DA 100,,129", "DB 100,FF", "DB 100,/X", "DB 100 200",
                           "DB 100,200,4,5"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(typed(line), line + sjis(kAddressError) + "\n>");
  }
  // the most a line takes
  EXPECT_EQ(typed("DB 100,,32").size(), std::string("DB 100,,32\n0100  ").size() + 32 * 3 + 1 + 32 + 2);
  EXPECT_EQ(typed("DA 100,,128").size(), std::string("DA 100,,128\n0100  ").size() + 128 + 2);
}

TEST_F(MemDumpTest, EditValueLists) {
  const struct {
    const char* line;
    Bytes bytes;  // from 0x100 (over 0xEE bytes)
  } cases[] = {
      {"EB 100,1,2,3", {1, 2, 3, 0xEE}},
      {"EB 100,'abcdefghijklmnop'", {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 0xEE}},
      {"EW 100,1234,5", {0x34, 0x12, 5, 0, 0xEE}},
      {"ED 100,12345678", {0x78, 0x56, 0x34, 0x12, 0xEE}},
      {"ES 100,1.5", {0, 0, 0xC0, 0x3F, 0xEE}},
      {"EL 100,2.5", {0, 0, 0, 0, 0, 0, 0x04, 0x40, 0xEE}},
      {"ET 100,-1", {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xBF, 0xEE}},
      {"E 8100,9", {9, 0xEE}},
      {"EBA 8100,5,6", {5, 6, 0xEE}},  // banked: a 20-bit address
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const u16 base = std::string_view(c.line).find(" 8") != std::string_view::npos ? 0x8100 : 0x0100;
    poke(base, Bytes(20, 0xEE));
    EXPECT_EQ(typed(c.line), std::string(c.line) + "\n>");
    EXPECT_EQ(peek(base, c.bytes.size()), c.bytes);
  }
  // E without an address goes on after what it stored
  poke(0x100, Bytes(8, 0xEE));
  typed("EB 100,1,2");
  typed("E ,3");
  EXPECT_EQ(peek(0x100, 4), Bytes({1, 2, 3, 0xEE}));
  for (const char* line : {"EB 100,'abcdefghijklmnopq'", "EB 100,1,", "ES 100,1.5x", "EW 100,'ab"}) {
    SCOPED_TRACE(line);
    poke(0x100, Bytes(20, 0xEE));
    // a dangling comma or an open quote is refused when the line is split
    const bool split_error = std::string_view(line).ends_with(",") || std::string_view(line).ends_with("'ab");
    EXPECT_EQ(typed(line), line + sjis(split_error ? "\n コマンドのフォーマットが不正です" : kDataError) + "\n>");
    EXPECT_EQ(peek(0x100, 20), Bytes(20, 0xEE));
  }
  EXPECT_EQ(typed("EB 100 1"), "EB 100 1" + sjis(kAddressError) + "\n>");
}

TEST_F(MemDumpTest, InteractiveEditSteps) {
  poke(0x100, Bytes(16, 0x00));
  poke(0x100, {0x41, 0x82});
  poke(0x200, {0xFF, 0xFF});
  const std::string head = "\naddr asc oct  dec hex data";
  const std::string at100 = "\n0100 'A' 101   65 41  ";
  const std::string at101 = "\n0101 '.' 202 -126 82  ";
  EXPECT_EQ(typed("EB 100"), "EB 100" + head + at100);
  EXPECT_EQ(typed(""), at101);
  EXPECT_EQ(typed("-"), "-" + at100);
  EXPECT_EQ(typed("."), ".\n>");
  EXPECT_EQ(peek(0x100, 3), Bytes({0x41, 0x82, 0x00}));

  // values, a jump, a bad jump and a bad value; the edit goes on after each
  typed("EW 100");
  EXPECT_EQ(typed("1234,5678"), "1234,5678\n0104 '..' 000000      0 0000  ");
  EXPECT_EQ(typed("/200"), "/200\n0200 '..' 177777     -1 FFFF  ");
  EXPECT_EQ(typed("/XYZ"), "/XYZ" + sjis(kAddressError) + "\n0200 '..' 177777     -1 FFFF  ");
  EXPECT_EQ(typed("1,"), "1," + sjis(kDataError) + "\n0200 '..' 177777     -1 FFFF  ");
  typed(".");
  EXPECT_EQ(peek(0x100, 4), Bytes({0x34, 0x12, 0x78, 0x56}));
  // a plain E takes up the element where the edit ended
  EXPECT_EQ(typed("E"), "E" + head + "\n0200 '.' 377   -1 FF  ");
  typed(".");

  poke(0x300, Bytes(16, 0x00));
  poke(0x300, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
  EXPECT_EQ(typed("EL 300"), "EL 300\naddr              float                data\n0300 1.000000000000000e+000  ");
  EXPECT_EQ(typed("-2"), "-2\n0308 0.000000000000000e+000  ");
  typed(".");
  EXPECT_EQ(peek(0x300, 8), Bytes({0, 0, 0, 0, 0, 0, 0, 0xC0}));
}

TEST_F(MemDumpTest, WindowRows) {
  Bytes text(32);
  poke_text(text, 0x30);
  poke(0x100, text);
  std::array<std::string, 2> rows;
  ASSERT_EQ(mem_dump_window_lines(0x100, 'B', kDumpHex, 0, rows), 2u);
  EXPECT_EQ(rows[0], "0100  30 31 32 33 34 35 36 37  38 39 3A 3B 3C 3D 3E 3F 0123456789:;<=>?");
  EXPECT_EQ(rows[1], "0110  40 41 42 43 44 45 46 47  48 49 4A 4B 4C 4D 4E 4F @ABCDEFGHIJKLMNO");
  EXPECT_EQ(Mem.WindowItems, 16);
  EXPECT_EQ(Mem.WindowFieldWidth, 2);
  ASSERT_EQ(mem_dump_window_lines(0x100, 'W', kDumpDecimal, 2, std::span(rows).first(1)), 1u);
  EXPECT_EQ(rows[0], "0100   12592   13106 0123");
  EXPECT_EQ(Mem.WindowFieldWidth, 6);
  ASSERT_EQ(mem_dump_window_lines(0x100, 'T', kDumpHex, 0, std::span(rows).first(1)), 1u);
  EXPECT_EQ(Mem.WindowFieldWidth, 23);
  // too many items: no rows, and the error waits for the window side
  EXPECT_EQ(mem_dump_window_lines(0x100, 'B', kDumpHex, 33, rows), 0u);
  EXPECT_EQ(Co.PendingError, 1);
  Co.PendingError = 0;
  // the display command's settings are its own
  EXPECT_EQ(Mem.DumpItems, 16);
}

}  // namespace

namespace {

// Operands are expressions over the program's symbols.
TEST_F(MemDumpTest, OperandsTakeSymbolsAndExpressions) {
  sym_reset();
  ASSERT_EQ(sym_add("table", 0x8800, 0), 0);
  sym_sort_symbols();
  typed("EB table+2,11,2*11,'A'");
  EXPECT_EQ(peek(0x8802, 3), (Bytes{0x11, 0x22, 0x41}));
  const std::string out = typed("DB table,table+7");
  EXPECT_NE(out.find("8800  00 00 11 22 41"), std::string::npos) << out;
  typed("F table,table+3,(1+2)*3");
  EXPECT_EQ(peek(0x8800, 4), (Bytes{9, 9, 9, 9}));
}

}  // namespace
