// Source text access: the file name and where the file is found, random access
// through the line-offset index, the text rules of a line (length, tabs, line
// ends, the end of the file), the prefix and end mark of printed lines, the
// output modes, missing files, the line cache ring and the reader helpers.
// Each test has its own scratch folder as the program folder.
#include "halv80/symbols/sym_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/engine_state.h"
#include "halv80/engine/lst_commands.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/sup_host.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/symbols/sym_modules.h"
#include "halv80/symbols/sym_store.h"
#include "platform/host/host_file.h"
#include "platform/host/tests/scratch_dir.h"

namespace {

// "line 1\n" .. "line <count>\n"
std::string numbered_lines(u32 count) {
  std::string s;
  for (u32 i = 1; i <= count; ++i) s += "line " + std::to_string(i) + "\n";
  return s;
}

// Byte offset of line L (1-based) in numbered_lines.
u32 offset_of_line(u32 line) { return u32(numbered_lines(line - 1).size()); }

class SymSourceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    reset_all();
  }
  void TearDown() override {
    sym_close_source_files();
    Scan.OutputDiversion = 0;
  }
  // Start-up state with the scratch folder as program folder and console
  // output collected in printed_.
  void reset_all() {
    sym_close_source_files();
    reset_engine_state();
    sym_init();
    set_program_folder(dir_.system_path());
    printed_.clear();
    Scan.OutputDiversion = 1;
    Scan.DivertTo = [](void* context, u8 c) { static_cast<std::string*>(context)->push_back(char(c)); };
    Scan.DivertContext = &printed_;
  }
  static void set_program_folder(const std::string& folder) {
    snprintf(Sw.ProgramFolder, sizeof Sw.ProgramFolder, "%s", folder.c_str());
  }
  // A module of lines 1..highest, finished so that it has its index.
  static void add_module(const char* name, u32 highest) {
    ASSERT_EQ(sym_begin_module(name), 0);
    for (u32 line = 1; line <= highest; ++line) ASSERT_EQ(sym_add_line(line, 0x100 + line * 2), 0);
    ASSERT_EQ(sym_end_module(), 0);
    sym_finish_modules();
  }
  // Entry k of the index of module `name`; null when there is no such entry.
  static le32* index_slot(const char* name, u32 k) {
    char query[kModuleNameSize];
    snprintf(query, sizeof query, "%s", name);
    return sym_find_module(query, sizeof query, 0) ? sym_line_index_slot(k) : nullptr;
  }
  static long long index_entry(const char* name, u32 k) {
    const le32* slot = index_slot(name, k);
    return slot ? (long long)slot->get() : -1;
  }
  static std::string text() { return SymSource.Text; }

  ScratchDir dir_;
  std::string printed_;
};

TEST_F(SymSourceTest, NameWithoutDotGetsTheDefaultExtension) {
  const struct {
    const char* on_disk;
    const char* asked;
    const char* extension;
    const char* opened;
  } cases[] = {
      {"main.C", "main", ".C", "main.C"},
      {"util.h", "util.h", ".C", "util.h"},
      {"prog.SRC", "prog", ".SRC", "prog.SRC"},
      {"v1.2/app.C", "v1.2\\app", ".C", "v1.2\\app.C"},  // a '.' in a folder name is no extension
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    reset_all();
    snprintf(Sw.DefaultSourceExtension, sizeof Sw.DefaultSourceExtension, "%s", c.extension);
    dir_.write(c.on_disk, std::string("first of ") + c.on_disk + "\nsecond\n");
    SymSource.OutputMode = kSourceToText;
    ASSERT_EQ(sym_show_source_line(c.asked, 1), 1);
    EXPECT_EQ(text(), std::string("first of ") + c.on_disk);
    EXPECT_STREQ(SymSource.Name, c.opened);
  }
}

TEST_F(SymSourceTest, RandomAccessReadsFromTheNearestIndexedLineAndFillsTheIndex) {
  add_module("MAIN.C", 60);  // 3 index entries: lines 21, 41 and 61
  dir_.write("MAIN.C", numbered_lines(80));
  SymSource.OutputMode = kSourceToText;

  ASSERT_EQ(sym_show_source_line("MAIN.C", 45), 1);
  EXPECT_EQ(text(), "line 45");
  EXPECT_EQ(SymSource.IndexLimit, 60u);
  EXPECT_EQ(index_entry("MAIN.C", 0), (long long)offset_of_line(21));
  EXPECT_EQ(index_entry("MAIN.C", 1), (long long)offset_of_line(41));
  EXPECT_EQ(index_entry("MAIN.C", 2), 0);  // not below the limit: never filled

  // The next line comes straight from the reader.
  ASSERT_EQ(sym_show_source_line("MAIN.C", 46), 1);
  EXPECT_EQ(text(), "line 46");

  // Any other line seeks to the entry at or before it: a planted entry shows
  // that the reader starts there (7 lines after "line 51").
  le32* entry = index_slot("MAIN.C", 1);
  ASSERT_NE(entry, nullptr);
  entry->set(offset_of_line(51));
  ASSERT_EQ(sym_show_source_line("MAIN.C", 48), 1);
  EXPECT_EQ(text(), "line 58");
}

TEST_F(SymSourceTest, LineTextRules) {
  const std::string long_line(2000, 'x');
  const struct {
    std::string content;
    u16 tab_width;
    u16 line;
    std::string expected;
  } cases[] = {
      {long_line + "\nnext\n", 8, 1, std::string(1023, 'x')},  // the rest is dropped
      {long_line + "\nnext\n", 8, 2, "next"},                  // and the next line follows
      {"abc\td\n", 8, 1, "abc     d"},                         // tab at column 3: 5 blanks
      {"abc\td\n", 4, 1, "abc d"},
      {"\tx\n", 4, 1, "    x"},
      {"abcdefgh\tx\n", 8, 1, "abcdefgh        x"},              // at a tab stop: a whole tab
      {"one\r\ntwo\r\n", 8, 1, "one"},
      {"one\r\ntwo\r\n", 8, 2, "two"},
      {"one\rjunk\ntwo\n", 8, 1, "one"},                       // a CR ends the line, the rest is skipped
      {"one\rjunk\ntwo\n", 8, 2, "two"},
      {"one\ntwo", 8, 2, "two"},                               // no line end at the end
      {"ab\x1A" "cd\n", 8, 1, "ab"},                            // 0x1A ends the file
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.content.substr(0, 16) << " line " << c.line);
    reset_all();
    Sw.TabWidth = c.tab_width;
    dir_.write("T.C", c.content);
    SymSource.OutputMode = kSourceToText;
    ASSERT_EQ(sym_show_source_line("T", c.line), 1);
    EXPECT_EQ(text(), c.expected);
  }
}

TEST_F(SymSourceTest, Utf8FilesAreReadInTheDebuggersCharacterSet) {
  const struct {
    std::string content;
    u16 line;
    std::string expected;  // CP932
  } cases[] = {
      // UTF-8 (what sdcc users write): converted, tabs counted after it
      {"int x;\n// \xE6\x97\xA5\xE6\x9C\xAC\tz\n", 2, "// \x93\xFA\x96\x7B z"},
      {"/* \xEF\xBE\x80 */\n", 1, "/* \xC0 */"},                  // half-width kana: one byte
      {"a = '\xC3\xA9'; // \xF0\x9F\x98\x80\n", 1, "a = '?'; // ?"},  // CP932 lacks them
      // Shift-JIS (not valid UTF-8) as it is, and plain ASCII
      {"// \x93\xFA\x96\x7B\n", 1, "// \x93\xFA\x96\x7B"},
      {"// \xE6\x97\xA5\n// \x93\xFA\n", 1, "// \xE6\x97\xA5"},      // one Shift-JIS byte makes the file Shift-JIS
      {"plain\n", 1, "plain"},
      // 1,023 characters, counted after the conversion
      {[] {
         std::string e;
         for (int i = 0; i < 1100; ++i) e += "\xC3\xA9";
         return e + "\n";
       }(),
       1, std::string(1023, '?')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.content.substr(0, 24));
    reset_all();
    dir_.write("U.C", c.content);
    SymSource.OutputMode = kSourceToText;
    ASSERT_EQ(sym_show_source_line("U", c.line), 1);
    EXPECT_EQ(text(), c.expected);
  }
}

TEST_F(SymSourceTest, AMissingFileIsToldOnceBeforeThePrompt) {
  add_module("GONE.C", 40);
  SymSource.OutputMode = kSourcePrint;
  for (u16 line : {1, 2, 3}) sym_show_source_line("GONE.C", line);
  dir_.write("OTHER.C", "other\n");
  sym_show_source_line("OTHER.C", 1);
  sym_show_source_line("GONE.C", 4);  // asked again after another file: not told again
  SymSource.OutputMode = kSourceToText;  // the code pane's rows read so
  sym_show_source_line("SUB\\LOST.C", 1);
  const std::string told = std::string(sup_load_message(kMsgCannotOpen));
  EXPECT_EQ(Cmd.DeferredNotices, (std::vector<std::string>{told + " GONE.C", told + " SUB/LOST.C"}));
  // a new program: told again
  Cmd.DeferredNotices.clear();
  sym_reset();
  SymSource.OutputMode = kSourcePrint;
  sym_show_source_line("GONE.C", 1);
  EXPECT_EQ(Cmd.DeferredNotices.size(), 1u);
}

TEST_F(SymSourceTest, PastTheEndGivesNothingAndClosesTheFile) {
  const std::size_t open_before = host_file_open_count();
  dir_.write("T.C", "a\nb\n");
  SymSource.OutputMode = kSourceToText;
  ASSERT_EQ(sym_show_source_line("T", 1), 1);
  EXPECT_EQ(host_file_open_count(), open_before + 1);

  std::strcpy(SymSource.Text, "unchanged");
  EXPECT_EQ(sym_show_source_line("T", 5), 0);
  EXPECT_EQ(SymSource.EndLine, 2);
  EXPECT_EQ(SymSource.AtEnd, 1);
  EXPECT_EQ(host_file_open_count(), open_before);
  EXPECT_EQ(text(), "unchanged");

  // An earlier line opens the file again.
  ASSERT_EQ(sym_show_source_line("T", 2), 1);
  EXPECT_EQ(text(), "b");

  // The line after a last line without a line end: at the end already, so a
  // copy gives nothing.
  reset_all();
  dir_.write("U.C", "a\nb");
  SymSource.OutputMode = kSourceToText;
  ASSERT_EQ(sym_show_source_line("U", 2), 1);
  EXPECT_EQ(SymSource.EndLine, 2);
  EXPECT_EQ(sym_show_source_line("U", 3), 0);
}

TEST_F(SymSourceTest, PrintedLinesCarryTheirPrefix) {
  const u16 kNone = kListingNone;
  const u16 kSource = kListingSource;
  const struct {
    const char* label;
    u16 window;
    u16 listing;
    u16 mode;
    u16 width;
    std::string content;
    u16 line;
    std::string printed;
  } cases[] = {
      {"plain", 0, kNone, 0, 200, "x = 1;\ny\n", 1, "MAIN.C:0001:x = 1;"},
      {"window", 1, kNone, 0, 200, "x = 1;\ny\n", 1, "\xFFMAIN.C:0001:\xFEx = 1;"},
      {"window, last line", 1, kNone, 0, 200, "x = 1;\ny", 2, "\xFFMAIN.C:0002:\xFEy\xFF[EOF]\xFE"},
      {"no end mark outside a window", 0, kNone, 0, 200, "x = 1;\ny", 2, "MAIN.C:0002:y"},
      {"source listing", 0, kSource, 1, 200, "x = 1;\ny\n", 2, "0002y"},
      {"source listing, mode 0", 0, kSource, 0, 200, "x = 1;\ny\n", 2, "MAIN.C:0002:y"},
      {"clipped", 0, kNone, 0, 10, "abcdefghi\x88\x9F\n", 1, "MAIN.C:0001:abcdefghi"},  // the pair does not fit
      {"copied", 1, kNone, 2, 200, "x = 1;\ny\n", 1, ""},
      {"probe", 1, kNone, 3, 200, "x = 1;\ny\n", 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    reset_all();
    dir_.write("MAIN.C", c.content);
    CoreReq.InCoreRequest = c.window;
    Lst.ListingMode = c.listing;
    Con.Width = c.width;
    SymSource.OutputMode = c.mode;
    EXPECT_EQ(sym_show_source_line("MAIN.C", c.line), 1);
    EXPECT_EQ(printed_, c.printed);
    EXPECT_EQ(text(), c.mode == kSourceToText ? "x = 1;" : "");
  }
}

TEST_F(SymSourceTest, MissingFileIsNotSearchedAgainUntilAnotherFileIsAsked) {
  dir_.write("OTHER.C", "other\n");
  SymSource.OutputMode = kSourceToText;
  EXPECT_EQ(sym_show_source_line("gone", 1), 0);
  EXPECT_EQ(SymSource.NotFound, 1);

  dir_.write("gone.C", "here now\n");
  EXPECT_EQ(sym_show_source_line("gone", 1), 0);  // still known to be missing
  ASSERT_EQ(sym_show_source_line("OTHER", 1), 1);
  ASSERT_EQ(sym_show_source_line("gone", 1), 1);
  EXPECT_EQ(text(), "here now");
}

TEST_F(SymSourceTest, MissingFilePrintsEmptyLinesUpToItsIndexAndNineMore) {
  add_module("GONE.C", 40);  // 2 entries: lines 1..40, then 9 more
  const struct {
    u16 line;
    u16 result;
    const char* printed;
  } cases[] = {{1, 1, "GONE.C:0001:"}, {49, 1, "GONE.C:0049:"}, {50, 0, ""}, {3, 1, "GONE.C:0003:"}};
  SymSource.OutputMode = kSourcePrint;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    printed_.clear();
    EXPECT_EQ(sym_show_source_line("GONE.C", c.line), c.result);
    EXPECT_EQ(printed_, c.printed);
  }
  EXPECT_EQ(SymSource.IndexLimit, 49u);
}

TEST_F(SymSourceTest, SearchPathElementsAreTakenInTheProgramFolderUnlessAbsolute) {
  ScratchDir elsewhere;
  ASSERT_FALSE(elsewhere.path().empty());
  elsewhere.write("ABS.C", "absolute\n");
  dir_.write("src/REL.C", "relative\n");
  dir_.write("dot/DOT.C", "dotted\n");
  dir_.write("BOTH.C", "program folder\n");
  dir_.write("src/BOTH.C", "search path\n");
  Sw.SourceDirectoryOverride = "src;" + elsewhere.system_path() + ";.\\dot";  // answers QNSRC
  Sw.HasSourceDirectoryOverride = true;

  const struct {
    const char* file;
    const char* text;
  } cases[] = {{"REL", "relative"}, {"ABS", "absolute"}, {"DOT", "dotted"}, {"BOTH", "program folder"}};
  SymSource.OutputMode = kSourceToText;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_EQ(sym_show_source_line(c.file, 1), 1);
    EXPECT_EQ(text(), c.text);
  }
  EXPECT_EQ(sym_open_on_path("NONE.C", "QNSRC"), -1);

  Sw.HasSourceDirectoryOverride = false;
  unsetenv("HALV80_NO_SUCH_PATH");
  EXPECT_EQ(sym_open_on_path("REL.C", "HALV80_NO_SUCH_PATH"), -1);
}

TEST_F(SymSourceTest, CacheKeepsOneRunOfConsecutiveLines) {
  std::vector<u16> up_to_156;
  for (u16 i = 1; i <= 156; ++i) up_to_156.push_back(i);
  std::vector<u16> down_from_200;
  for (u16 i = 200; i >= 45; --i) down_from_200.push_back(i);
  const struct {
    const char* label;
    std::vector<u16> cached;
    u16 first;
    u16 last;
  } cases[] = {
      {"prepend", {10, 11, 12, 9}, 9, 12},
      {"restart", {10, 11, 12, 9, 50}, 50, 50},
      {"repeat", {10, 11, 10, 12}, 10, 12},
      {"append past the ring", up_to_156, 2, 156},
      {"prepend past the ring", down_from_200, 45, 199},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    reset_all();
    for (u16 line : c.cached) sym_cache_source_line(line, ("L" + std::to_string(line)).c_str());
    EXPECT_EQ(sym_source_cache_line(u16(c.first - 1)), nullptr);
    EXPECT_EQ(sym_source_cache_line(u16(c.last + 1)), nullptr);
    for (u32 line = c.first; line <= c.last; ++line) {
      const char* got = sym_source_cache_line(u16(line));
      ASSERT_NE(got, nullptr) << line;
      EXPECT_EQ(std::string(got), "L" + std::to_string(line));
    }
  }
}

TEST_F(SymSourceTest, PrintAndCacheModeKeepsLinesOfOneFile) {
  dir_.write("MAIN.C", "m1\nm2\n");
  dir_.write("SUB.C", "s1\n");
  SymSource.OutputMode = kSourcePrintAndCache;
  ASSERT_EQ(sym_show_source_line("MAIN", 1), 1);
  ASSERT_EQ(sym_show_source_line("MAIN", 2), 1);
  EXPECT_EQ(printed_, "MAIN.C:0001:m1MAIN.C:0002:m2");
  ASSERT_NE(sym_source_cache_line(1), nullptr);
  EXPECT_STREQ(sym_source_cache_line(1), "m1");
  EXPECT_STREQ(sym_source_cache_line(2), "m2");

  // Copies leave the cache alone; another file in this mode empties it.
  SymSource.OutputMode = kSourceToText;
  ASSERT_EQ(sym_show_source_line("SUB", 1), 1);
  EXPECT_STREQ(sym_source_cache_line(2), "m2");
  SymSource.OutputMode = kSourcePrintAndCache;
  ASSERT_EQ(sym_show_source_line("MAIN", 1), 1);  // the cache's own file again: kept
  EXPECT_STREQ(sym_source_cache_line(2), "m2");
  ASSERT_EQ(sym_show_source_line("SUB", 1), 1);
  EXPECT_EQ(sym_source_cache_line(2), nullptr);
  EXPECT_STREQ(sym_source_cache_line(1), "s1");
}

TEST_F(SymSourceTest, ClosedFilesOpenAgainWhenNeeded) {
  const std::size_t open_before = host_file_open_count();
  dir_.write("T.C", numbered_lines(5));
  SymSource.OutputMode = kSourceToText;
  ASSERT_EQ(sym_show_source_line("T", 2), 1);
  sym_close_source_files();
  EXPECT_EQ(host_file_open_count(), open_before);
  ASSERT_EQ(sym_show_source_line("T", 3), 1);
  EXPECT_EQ(text(), "line 3");
  sym_reset();
  EXPECT_EQ(host_file_open_count(), open_before);
  EXPECT_STREQ(SymSource.Name, "");
}

TEST_F(SymSourceTest, ReaderHelpers) {
  const struct {
    u8 c;
    u16 hex_result;
    u32 hex;
    u16 dec_result;
    u32 dec;
  } digits[] = {
      {'0', 0, 0x120, 0, 120}, {'9', 0, 0x129, 0, 129}, {'A', 0, 0x12A, 1, 12}, {'f', 0, 0x12F, 1, 12},
      {'G', 1, 0x12, 1, 12},   {'/', 1, 0x12, 1, 12},   {':', 1, 0x12, 1, 12},  {' ', 1, 0x12, 1, 12},
  };
  for (const auto& d : digits) {
    SCOPED_TRACE(d.c);
    u32 hex = 0x12;
    u32 dec = 12;
    EXPECT_EQ(sym_hex_digit(d.c, hex), d.hex_result);
    EXPECT_EQ(hex, d.hex);
    EXPECT_EQ(sym_dec_digit(d.c, dec), d.dec_result);
    EXPECT_EQ(dec, d.dec);
  }

  const std::size_t open_before = host_file_open_count();
  dir_.write("B.BIN", std::string("\x34\x12\x1A\x00\x7F", 5));
  const std::string path = dir_.system_path() + "\\B.BIN";
  for (u16 binary : {0, 1}) {
    SCOPED_TRACE(binary);
    const int h = sup_file_open(path, kFileModeRead);
    ASSERT_NE(h, -1);
    sym_reader_reset();
    SymSource.BinaryRead = binary;
    EXPECT_EQ(sym_read_u16(h), 0x1234);
    if (binary) {
      EXPECT_EQ(sym_read_u16(h), 0x001A);
      EXPECT_EQ(sym_read_char(h), 0x7F);
    }
    EXPECT_EQ(sym_read_char(h), kSourceEndOfFile);
    EXPECT_EQ(SymSource.AtEnd, 1);
    EXPECT_EQ(host_file_open_count(), open_before);  // the reader closed it
    EXPECT_EQ(sym_read_char(h), kSourceEndOfFile);
  }
}

}  // namespace
