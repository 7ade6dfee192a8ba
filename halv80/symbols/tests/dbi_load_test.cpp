// The load commands against a booted simulated target: a real program built
// by sdcc loads with its symbols, the extension and the files beside the
// program choose what is read, a loader's failure keeps the program bytes and
// is still the command's failure, and the window side's load request runs the
// same command.
#include "halv80/symbols/dbi_load.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/brk_table.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/lst_listing.h"
#include "halv80/engine/mac_lines.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_core_request.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/symbols/fmt_rows.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "halv80/symbols/tests/demo_program.h"

namespace {

using demo::file_bytes;
using demo::kPrograms;
using demo::symbol_file_from_noi;

class DbiLoadTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
    // the program's bytes as the linker placed them, from 0200H on
    const std::string image = scratch("demo.bin");
    ASSERT_EQ(std::system(("z80-unknown-coff-objcopy -I ihex -O binary " + (kPrograms / "demo.ihx").string() + " " +
                           image).c_str()),
              0);
    binary_ = file_bytes(image);
    ASSERT_FALSE(binary_.empty());
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
  std::string scratch(std::string_view name) const { return (std::filesystem::path(dir_.path()) / name).string(); }
  // The demo program beside the debugger as demo.hex, with its symbol file
  // unless `with_symbols` is false.
  void place_demo(bool with_symbols = true) const {
    dir_.write("demo.hex", file_bytes(kPrograms / "demo.ihx"));
    if (with_symbols) dir_.write("demo.sym", symbol_file_from_noi());
  }
  bool program_in_memory() {
    const Bytes memory = peek(0x0200, binary_.size());
    return std::equal(memory.begin(), memory.end(), binary_.begin(), binary_.end(),
                      [](u8 a, char b) { return a == u8(b); });
  }
  void clear_program() { poke(0x0200, Bytes(binary_.size(), 0)); }
  static u16 value_of(std::string_view name) {
    u16 v = 0;
    return sym_lookup_value(name, v) ? v : 0xFFFF;
  }

  std::string binary_;
};

TEST_F(DbiLoadTest, AProgramBuiltBySdccLoadsWithItsSymbols) {
  place_demo();
  ASSERT_TRUE(sym_add("stale", 0x1234, 0) == 0);
  typed("BP 0210");
  ASSERT_EQ(Brk.UsedCount, 1);

  const std::string out = typed("L demo.hex");
  EXPECT_NE(out.find("Complete"), std::string::npos) << out;
  EXPECT_TRUE(program_in_memory());
  // the new symbols replace the old ones, sorted and found by their C names
  EXPECT_EQ(value_of("stale"), 0xFFFF);
  EXPECT_EQ(value_of("main"), value_of("_main"));
  EXPECT_NE(value_of("_add_point"), 0xFFFF);
  EXPECT_EQ(Sym.SortState, kSymSorted);
  // breakpoints are cleared, and kept as the saved text that BL reads back
  EXPECT_EQ(Brk.UsedCount, 0);
  EXPECT_NE(SymStore.SavedBreakpoints, kNoName);
  EXPECT_EQ(Mac.LineError, 0);
  EXPECT_EQ(ws_->RequestsOf(RequestCode::ReloadCodeWindows).size(), 1u);
  // the program's folder is the file's folder
  EXPECT_EQ(std::filesystem::path(Sw.ProgramFolder), std::filesystem::path(dir_.system_path()));

  // without an operand the last name is offered again; Y loads it
  clear_program();
  ws_->Type("L");
  EXPECT_NE(ws_->Transcript().find("Sure ? (Y/N) "), std::string::npos);
  ws_->Key('n');
  EXPECT_FALSE(program_in_memory());
  ws_->Type("L");
  ws_->Key('Y');
  EXPECT_TRUE(program_in_memory());
}

TEST_F(DbiLoadTest, ALoaderFailureKeepsTheProgramAndFailsTheCommand) {
  place_demo(false);
  const std::string out = typed("L demo");
  EXPECT_TRUE(program_in_memory());
  EXPECT_NE(out.find(sjis("\n デバッグ情報がありません")), std::string::npos) << out;
  // the later steps ran, and the failure stays visible to __ERR__
  EXPECT_EQ(ws_->RequestsOf(RequestCode::ReloadCodeWindows).size(), 1u);
  EXPECT_EQ(Mac.LineError, 1);

  dir_.write("demo.sym", "0100 _main\r\n12G4 broken\r\n");
  EXPECT_NE(typed("L demo").find(sjis("\n デバッグ情報のフォーマットが不正です")), std::string::npos);
  EXPECT_EQ(value_of("main"), 0x0100);  // what was read before the fault stays
  EXPECT_EQ(Mac.LineError, 1);
}

TEST_F(DbiLoadTest, TheExtensionAndTheFilesBesideTheProgramChooseWhatIsRead) {
  place_demo();
  dir_.write("other.sym", "4000 _only_symbols\r\n");
  struct Case {
    u16 kind;
    const char* line;
    bool program_loads;
    const char* message;  // UTF-8; empty: none
  } cases[] = {
      {16, "L other.SYM", false, ""},
      {16, "L demo.map", false, "\n データ指定が誤りです"},  // kind 16 reads no maps
      {16, "L demo.txt", false, "\n データ指定が誤りです"},
      {16, "L nosuch", false, "\n 指定ファイルがありません"},
      {16, "L .hex", false, "\n コマンドのフォーマットが不正です"},
      {16, "L demo.HEX", true, ""},
      {16, "L demo", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Sw.ToolchainKind = c.kind;
    clear_program();
    const std::string out = typed(c.line);
    EXPECT_EQ(program_in_memory(), c.program_loads);
    if (*c.message != '\0') {
      EXPECT_NE(out.find(sjis(c.message)), std::string::npos) << out;
    }
    EXPECT_EQ(Mac.LineError, *c.message != '\0' ? 1 : 0);
  }
  // a symbol file alone replaced the symbols and loaded no bytes
  typed("L other.sym");
  EXPECT_EQ(value_of("only_symbols"), 0x4000);
  EXPECT_EQ(value_of("main"), 0xFFFF);
}

TEST_F(DbiLoadTest, KindSixteenPrefersItsBinaryDebugFiles) {
  place_demo();
  // a .db1 beside the program wins over the .sym, even one too short for its header
  dir_.write("demo.db1", "x");
  EXPECT_NE(typed("L demo").find(sjis("\n ファイル フォーマットが不正です")), std::string::npos);
  EXPECT_EQ(value_of("main"), 0xFFFF);
  std::filesystem::remove(scratch("demo.db1"));
  typed("L demo");
  EXPECT_NE(value_of("main"), 0xFFFF);
}

TEST_F(DbiLoadTest, LpWritesOnlyTheBytesAndLaAddsNothingButWhatItLoads) {
  place_demo();
  typed("L demo");
  const u16 main_address = value_of("main");
  ASSERT_NE(main_address, 0xFFFF);
  std::filesystem::remove(scratch("demo.sym"));
  clear_program();
  typed("LP demo");
  EXPECT_TRUE(program_in_memory());
  EXPECT_EQ(value_of("main"), main_address);  // the database stays as it was
  EXPECT_TRUE(ws_->RequestsOf(RequestCode::ReloadCodeWindows).size() == 1u);
}

TEST_F(DbiLoadTest, MemoryImagesLoadRecordByRecord) {
  const auto record = [](u32 address, const Bytes& data) {
    std::string r(1, '\0');
    for (int i = 0; i < 4; ++i) r += char(address >> (8 * i));
    for (int i = 0; i < 4; ++i) r += char(data.size() >> (8 * i));
    r.append(data.begin(), data.end());
    return r;
  };
  const std::string end = record(0, {});
  dir_.write("image.db0", record(0x0300, {1, 2, 3}) + record(0x0500, {}) + record(0x0400, {9}) + end);
  dir_.write("empty.db0", end);
  typed("L image");
  Bytes got(3);
  tgt_read_block(got, 0x0300);
  EXPECT_EQ(got, (Bytes{1, 2, 3}));
  EXPECT_EQ(tgt_read_byte(0x0400), 9);

  const std::string out = typed("L empty");
  EXPECT_EQ(out.find(sjis("\n 指定ファイルがありません")), std::string::npos);
  EXPECT_EQ(out.find(sjis("\n ファイル フォーマットが不正です")), std::string::npos);
}

TEST_F(DbiLoadTest, TheWindowSidesLoadRequestRunsTheLoadCommand) {
  place_demo();
  EXPECT_EQ(sup_run_core_request("L " + scratch("demo.hex"), CoreRequest::Load), 0);
  EXPECT_TRUE(program_in_memory());
  EXPECT_NE(value_of("main"), 0xFFFF);

  std::filesystem::remove(scratch("demo.sym"));
  EXPECT_EQ(sup_run_core_request("L " + scratch("demo.hex"), CoreRequest::Load), 1);
  EXPECT_EQ(sup_run_core_request("L " + scratch("nosuch.hex"), CoreRequest::Load), 1);
}

// A program with line information: the map names the module, whose binary
// line file gives each line's address. After L the code window shows source,
// T steps one source line at a time, and ".N" finds a line's address.
TEST_F(DbiLoadTest, LineTablesFromTheMapServeTheSourceStepAndLineExpressions) {
  place_demo();
  const std::map<u16, u16> lines = demo::lines();
  ASSERT_GT(lines.size(), 5u);
  demo::place(dir_, true);

  typed("L demo");
  ASSERT_EQ(Mac.LineError, 0);
  EXPECT_EQ(Lst.ListingMode, kListingSource);
  EXPECT_EQ(Dbi.SourceAvailable, 1);

  // ".N" is the first address of line N of the current file
  const auto first_address_of = [&](u16 line) {
    for (const auto& [address, l] : lines)
      if (l == line) return address;
    return u16(0xFFFF);
  };
  const u16 main_line = lines.at(value_of("_main"));
  typed("R _HL=." + std::to_string(main_line));
  EXPECT_EQ(::Run.Regs.hl, first_address_of(main_line));

  typed("BP main");
  typed("G =start");
  ASSERT_EQ(::Run.Regs.pc, value_of("_main"));
  typed("BC *");
  // each T ends at the first address of a later line of main
  u16 previous = main_line;
  for (int step = 0; step < 3; ++step) {
    SCOPED_TRACE(step);
    typed("T");
    const auto at = lines.find(::Run.Regs.pc);
    ASSERT_NE(at, lines.end()) << std::hex << ::Run.Regs.pc;
    EXPECT_GT(at->second, previous);
    previous = at->second;
  }
}

// A load starts the new program afresh: no watch of the old one stays (L and
// LA), and the code window shows the main file from its first line.
TEST_F(DbiLoadTest, ALoadEmptiesTheWatchListAndShowsTheMainFileFromLineOne) {
  demo::place(dir_, true, "demo.src");
  const auto top_line = [] { return Lst.RowKey[lst_pane_top()] & 0xFFFF; };
  for (const char* reload : {"L demo", "LA demo"}) {
    SCOPED_TRACE(reload);
    typed("L demo");
    typed("W 9100");
    ASSERT_EQ(FmtRows.WatchCount, 1);
    typed("V 20");
    ASSERT_EQ(top_line(), 20u);
    typed(reload);
    EXPECT_EQ(FmtRows.WatchCount, 0);
    const std::string out = typed("W 9100");  // not a duplicate now
    EXPECT_EQ(out.find(sjis("\n ウォッチ指定が重複しています")), std::string::npos) << out;
    if (std::string_view(reload) == "L demo") {
      EXPECT_EQ(Lst.ListingMode, kListingSource);
      EXPECT_EQ(Lst.PaneShows, kListingSource);
      EXPECT_EQ(top_line(), 1u);
      // V goes on from the page below
      const std::string v = typed("V");
      EXPECT_EQ(v.find(sjis("\n データ指定が誤りです")), std::string::npos) << v;
    }
    typed("Y");
  }
  // a program without lines: the reset leaves no source view behind
  place_demo();
  std::filesystem::remove(scratch("demo.lin"));
  std::filesystem::remove(scratch("demo.MAP"));
  typed("L demo");
  EXPECT_NE(Lst.ListingMode, kListingSource);
}

}  // namespace
