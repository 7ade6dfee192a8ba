// The operand fetchers and the console sink's diversions.
#include "halv80/engine/con_scanner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_log.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/sup_host.h"
#include "platform/host/host_file.h"
#include "halv80/engine/tests/engine_fixture.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

using ScannerTest = EngineTest;

void set_line(const char* text) {
  std::snprintf(Cmd.CommandLine, sizeof Cmd.CommandLine, "%s", text);
  Cmd.ScannerCursor = Cmd.CommandLine;
}

std::size_t cursor() { return std::size_t(Cmd.ScannerCursor - Cmd.CommandLine); }

TEST_F(ScannerTest, OperandsSplitAtTopLevelSeparators) {
  const struct {
    const char* line;
    u16 radix;
    std::vector<u32> values;  // read with cmd_get_value_after_comma
    u16 abort;
    std::size_t stop;         // cursor after the last operand
  } cases[] = {
      {"100,200", 16, {0x100, 0x200}, 0, 7},
      {"100,200", 10, {100, 200}, 0, 7},
      {"  1F , 2", 16, {0x1F, 2}, 0, 8},
      {"100/H", 16, {0x100}, 0, 3},          // "/H" ends the operand
      {"100/h,5", 16, {0x100}, 0, 3},
      {"100/X", 16, {0}, 1, 0},              // "/X" belongs to the operand: not a number
      {"'a,b'", 16, {0x2C62}, 0, 5},          // a quoted comma is part of the operand
      {"X(1,2),3", 16, {0}, 1, 0},           // one operand up to the bracket's end
      {"(1,2", 16, {0}, 1, 0},               // the line ends inside brackets
      {"'ab", 16, {0}, 1, 0},                // the line ends inside quotes
      {"$FF,@101,\\17,_99,0x10", 10, {255, 5, 15, 99, 16}, 0, 21},
      {"FF", 16, {255}, 0, 2},               // a word that is a number in the radix
      {"12 34", 16, {0x12, 0x34}, 0, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    reset_engine_state();
    set_line(c.line);
    Cmd.Radix = c.radix;
    std::vector<u32> got;
    for (std::size_t i = 0; i < c.values.size(); ++i) got.push_back(cmd_get_value_after_comma());
    EXPECT_EQ(Cmd.AbortFlag, c.abort);
    if (!c.abort) {
      EXPECT_EQ(got, c.values);
      EXPECT_EQ(cursor(), c.stop);
    }
  }
}

TEST_F(ScannerTest, FetchersDoNothingOnceAborted) {
  set_line("zz,12");
  EXPECT_EQ(cmd_get_value(), 0u);
  ASSERT_EQ(Cmd.AbortFlag, 1);
  const std::size_t at = cursor();
  EXPECT_EQ(cmd_get_value_after_comma(), 0u);
  EXPECT_EQ(cmd_get_long_after_comma(), 0u);
  double d = 7;
  cmd_get_float(d);
  EXPECT_EQ(d, 7);
  EXPECT_EQ(cursor(), at);
}

TEST_F(ScannerTest, ValuesAreCutTo16BitsUnlessLong) {
  set_line("12345678,12345678");
  EXPECT_EQ(cmd_get_value(), 0x5678u);
  Scan.LongOperands = 1;
  EXPECT_EQ(cmd_get_value_after_comma(), 0x12345678u);
}

TEST_F(ScannerTest, DecimalOperandKeepsRadixPrefixes) {
  const struct {
    const char* line;
    u32 value;
  } cases[] = {{"10", 10}, {"$10", 16}, {"@10", 2}, {"0x10", 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    reset_engine_state();
    set_line(c.line);
    EXPECT_EQ(cmd_get_number_decimal(), c.value);
    EXPECT_EQ(Cmd.Radix, 16);  // restored
  }
}

TEST_F(ScannerTest, SizeLetters) {
  const struct {
    const char* text;
    u16 toolchain;
    u16 letter;
    std::size_t consumed;
  } cases[] = {
      {"b", 16, 'B', 1}, {"w", 16, 'W', 1}, {"D", 16, 'D', 1}, {"f", 16, 'F', 1},
      {"L", 16, 'L', 1}, {"L", 3, 'S', 1},  {"S", 16, 'S', 1}, {"S", 4, 'L', 1},
      {"T", 16, 'T', 1}, {"T", 3, 'S', 1},  {"T", 4, 'L', 1},
      {" 100", 16, 'B', 0},  // no letter: nothing consumed
      {"", 16, 'B', 0},      {"X", 16, 'B', 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " kind " << c.toolchain);
    reset_engine_state();
    Sw.ToolchainKind = c.toolchain;
    set_line(c.text);
    cmd_get_size_letter();
    EXPECT_EQ(Scan.SizeLetter, c.letter);
    EXPECT_EQ(cursor(), c.consumed);
  }
}

TEST_F(ScannerTest, SizeKindOfTheCommandWord) {
  const struct {
    const char* line;
    std::size_t word, base;
    u16 kind;
  } cases[] = {
      {"DW 100", 2, 1, 'W'}, {"D 100", 1, 1, 0}, {"DD", 2, 1, 'D'}, {"PIW 40", 3, 2, 'W'},
      {"PI 40", 2, 2, 0},    {"ET 100", 2, 1, 'T'}, {"DX", 2, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    reset_engine_state();
    set_line(c.line);
    Cmd.ScannerCursor = Cmd.CommandLine + c.word;
    EXPECT_EQ(cmd_command_size_kind(c.base), c.kind);
    EXPECT_EQ(cursor(), c.word);  // the operands start where they did
    if (c.kind != 0) {
      EXPECT_EQ(Scan.SizeLetter, c.kind);
    }
  }
}

TEST_F(ScannerTest, FloatLiterals) {
  const struct {
    const char* text;
    double value;
    u16 abort;
  } cases[] = {{"1.5", 1.5, 0}, {"+2E3,", 2000, 0}, {"-0.25)", -0.25, 0}, {"1.5x", 0, 1}, {"", 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    reset_engine_state();
    set_line(c.text);
    double d = 0;
    cmd_get_float(d);
    EXPECT_EQ(Cmd.AbortFlag, c.abort);
    if (!c.abort) {
      EXPECT_DOUBLE_EQ(d, c.value);
    }
  }
}

TEST_F(ScannerTest, KeywordsMatchInAnyCaseWithoutTouchingTheLine) {
  for (const char* text : {"clr", "CLR", "Clr x"}) {
    SCOPED_TRACE(text);
    set_line(text);
    EXPECT_EQ(cmd_match_keyword("CLR"), 0);
    EXPECT_EQ(cursor(), 3u);
    EXPECT_EQ(std::string(Cmd.CommandLine).substr(0, 3), std::string(text).substr(0, 3));
  }
  set_line("CL");
  EXPECT_EQ(cmd_match_keyword("CLR"), 1);
  EXPECT_EQ(cursor(), 0u);
  // a constant text can be scanned: nothing is written into it
  static const char constant[] = "off";
  Cmd.ScannerCursor = constant;
  EXPECT_EQ(cmd_match_keyword("OFF"), 0);
}

TEST_F(ScannerTest, CaptureKeepsTheFirst199Characters) {
  char buffer[256];
  con_capture_begin(buffer);
  for (int i = 0; i < 300; ++i) con_putc('a');
  con_capture_end();
  EXPECT_EQ(std::string(buffer), std::string(199, 'a'));
  char small[4];
  con_capture_begin(small);
  con_puts("abcdef");
  con_capture_end();
  EXPECT_EQ(std::string(small), "abc");  // never past the caller's buffer
}

TEST_F(ScannerTest, ScreenOutputOffReachesNothing) {
  con_screen_init();
  Scan.LastChar = 'x';
  Scan.ScreenOutput = 0;
  Co.OnCommandSide = 1;  // as on the command side: the screen and the log
  con_puts("hidden\n");
  Co.OnCommandSide = 0;
  EXPECT_EQ(Scan.LastChar, 'x');
  EXPECT_EQ(Log.TotalLines, 0);
  EXPECT_EQ(Log.WriteEnd, Log.Oldest);
}

TEST_F(ScannerTest, RedirectFileGetsCrLfLinesAndIsClosedByReset) {
  con_screen_init();
  ScratchDir dir;
  const std::string path = dir.path() + "/redirect.txt";
  Redir.Handle = sup_file_create(path);
  ASSERT_GE(Redir.Handle, 0);
  const int open_before = host_file_open_count();
  Co.OnCommandSide = 1;
  con_puts("ab\n\xFF\x03" "c\xFE");  // colour bytes stay out of the file
  Co.OnCommandSide = 0;
  reset_engine_state();
  EXPECT_EQ(host_file_open_count(), open_before - 1);
  EXPECT_EQ(Redir.Handle, -1);
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes, "ab\r\nc");
}

TEST_F(ScannerTest, TextFromAColumnNeverShowsHalfACharacter) {
  con_screen_init();
  char buffer[64];
  const std::string text = "A" + sjis("漢") + "B";  // A, a pair, B
  const struct {
    std::size_t from;
    std::string shown;
  } cases[] = {{0, text}, {1, sjis("漢") + "B"}, {2, " B"}, {3, "B"}, {4, ""}, {9, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from);
    con_capture_begin(buffer);
    con_puts_from_column(text, c.from);
    con_capture_end();
    EXPECT_EQ(std::string(buffer), c.shown);
  }
  con_capture_begin(buffer);
  con_put_indented("x");
  con_put_indented("-y");
  con_put_hex16(0x1F);
  con_capture_end();
  EXPECT_EQ(std::string(buffer), "     x    -y001F ");
}

TEST_F(ScannerTest, Number4WritesFourDigitsInItsAttributeAndRestoresTheOld) {
  con_screen_init();
  con_switch_window(Con.Window, kSlotCode);  // cells are stored directly
  const struct {
    u16 value;
    const char* digits;
  } cases[] = {{0, "0000"}, {7, "0007"}, {1234, "1234"}, {32767, "2767"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Con.Attribute = 0x20;
    con_set_cursor(0, 1);
    con_put_number4(c.value, 6);
    con_putc('x');
    const u8* row = con_screen_row(1);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(row[i * 2], u8(c.digits[i])) << i;
      EXPECT_EQ(row[i * 2 + 1], 6) << i;
    }
    EXPECT_EQ(row[8], 'x');
    EXPECT_EQ(row[9], 0x20);  // the attribute from before
  }
}

}  // namespace
