// RD, WR and the memory-image loader: the record decoders on good and bad
// records, then files made by the real tools (sdcc, objcopy, srec_cat)
// loaded into a booted simulated target and compared with what objcopy reads
// from the same files, WR's files read back by the tools and by RD, and the
// failures a user meets, each with its message and the abort flag.
#include "halv80/symbols/rd_program.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "halv80/engine/cfg_config.h"
#include "halv80/engine/cmd_core.h"
#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/co_coroutine.h"
#include "halv80/engine/con_scanner.h"
#include "halv80/engine/con_screen.h"
#include "halv80/engine/emu_access.h"
#include "halv80/engine/emu_startup.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/sup_panes.h"
#include "halv80/engine/sup_paths.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/engine/tgt_memory.h"
#include "halv80/engine/tgt_mmu.h"
#include "halv80/symbols/dbi_image.h"
#include "platform/device/dev_mmu.h"
#include "platform/device/dev_monitor_image.h"
#include "platform/host/tests/file_size_limit.h"

#ifndef HALV80_TEST_PROGRAM_DIR
#error "HALV80_TEST_PROGRAM_DIR names the folder of the sdcc test programs"
#endif

namespace {

using Bytes = std::vector<u8>;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

// ---------------------------------------------------------------------------
// The decoders, without a target.

class RdRecordTest : public EngineTest {};

TEST_F(RdRecordTest, HexRecordsDecodeByType) {
  const struct {
    const char* text;
    u16 kind;
    u32 address;
    Bytes data;
  } cases[] = {
      {":0300300002337A1E", kRdRecordData, 0x30, {0x02, 0x33, 0x7A}},  // sums to 0
      {":0300300002337a1e", kRdRecordData, 0x30, {0x02, 0x33, 0x7A}},  // either case
      {"junk :0300300002337A1E ;rest", kRdRecordData, 0x30, {0x02, 0x33, 0x7A}},
      {":02FFFE00AABB9C", kRdRecordData, 0xFFFE, {0xAA, 0xBB}},       // ends at 0xFFFF
      {":00000001FF", kRdRecordEnd, 0, {}},
      {":020000021000EC", kRdRecordBase, 0x10000, {0x10, 0x00}},      // segment 1000H x 16
      {":020000040001F9", kRdRecordBase, 0x10000, {0x00, 0x01}},      // linear 0001H << 16
      {":0400000300000100F8", kRdRecordStart, 0x0100, {0, 0, 1, 0}},  // CS 0000, IP 0100
      {":0400000312340100B2", kRdRecordStart, 0x0100, {0x12, 0x34, 1, 0}},  // IP, whatever CS
      {":0400000500000200F5", kRdRecordStart, 0x0200, {0, 0, 2, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RdRecord r;
    ASSERT_EQ(rd_parse_hex_record(c.text, r), RdStatus::Reading);
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.address, c.address);
    EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + r.count), c.data);
  }
}

TEST_F(RdRecordTest, SRecordsDecodeByType) {
  const struct {
    const char* text;
    RdStatus status;
    u16 kind;
    u32 address;
    Bytes data;
  } cases[] = {
      {"S1050100AABB94", RdStatus::Reading, kRdRecordData, 0x100, {0xAA, 0xBB}},
      {"S20500FFFFAA52", RdStatus::Reading, kRdRecordData, 0xFFFF, {0xAA}},
      {"S3080000810001020370", RdStatus::Reading, kRdRecordData, 0x8100, {1, 2, 3}},
      {"S9030205F5", RdStatus::Reading, kRdRecordEnd, 0x205, {}},
      {"S804000205F4", RdStatus::Reading, kRdRecordEnd, 0x205, {}},
      {"S0050000414277", RdStatus::Skipped, 0, 0, {}},  // header
      {"S5030003F9", RdStatus::Skipped, 0, 0, {}},      // record count
      {"", RdStatus::Skipped, 0, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RdRecord r;
    ASSERT_EQ(rd_parse_srec_record(c.text, r), c.status);
    if (c.status != RdStatus::Reading) continue;
    EXPECT_EQ(r.kind, c.kind);
    EXPECT_EQ(r.address, c.address);
    EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + r.count), c.data);
  }
}

TEST_F(RdRecordTest, MalformedRecordsAreRefused) {
  const struct {
    u16 form;
    const char* text;
  } cases[] = {
      {kRdIntelHex, ":0300300002337A1F"},      // checksum
      {kRdIntelHex, ":0400300002337A1E"},      // count one beyond the line
      {kRdIntelHex, ":FF00300002337A1E"},      // count far beyond it
      {kRdIntelHex, ":03003000023G7A1E"},      // no digit
      {kRdIntelHex, ":0300300002337A1"},       // checksum cut in half
      {kRdIntelHex, ":0300"},                  // head cut off
      {kRdIntelHex, ":"},
      {kRdIntelHex, ":0100000210ED"},          // segment base of 1 byte
      {kRdIntelHex, ":020000030100FA"},        // start address without CS
      {kRdIntelHex, ":0400000500010000F6"},    // linear start above 0xFFFF
      {kRdIntelHex, ":02FFFF00AABB9B"},        // passes 0xFFFF
      {kRdSRecord, "S1050100AABB93"},          // sum 0xFE
      {kRdSRecord, "S1020100FC"},              // count below the address + 1
      {kRdSRecord, "S1000100FC"},
      {kRdSRecord, "S1060100AABB94"},          // count beyond the line
      {kRdSRecord, "S1050100AAXB94"},          // no digit
      {kRdSRecord, "S4040100AA50"},            // S4 is no record
      {kRdSRecord, "S605000100AA4F"},          // nor S6
      {kRdSRecord, "SX050100AABB94"},          // type no digit
      {kRdSRecord, "S"},
      {kRdSRecord, "S205010000AA4F"},          // data at 0x10000
      {kRdSRecord, "S105FFFFAABB97"},          // passes 0xFFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RdRecord r;
    const RdStatus s = c.form == kRdIntelHex ? rd_parse_hex_record(c.text, r) : rd_parse_srec_record(c.text, r);
    EXPECT_EQ(s, RdStatus::BadRecord);
    // and through the decoder, as the only record of a file
    EXPECT_EQ(rd_check_records(c.form, bytes_of(std::string(c.text) + "\r\n")), RdStatus::BadRecord);
  }
}

TEST_F(RdRecordTest, HexRecordTypesBeyond05AreNotTaken) {
  // sound checksums: a format error, not a checksum error
  for (const char* text : {":00000006FA", ":020000060001F7", ":000000FF01"}) {
    SCOPED_TRACE(text);
    RdRecord r;
    EXPECT_EQ(rd_parse_hex_record(text, r), RdStatus::BadSegment);
    EXPECT_EQ(rd_check_records(kRdIntelHex, bytes_of(std::string(text) + "\r\n")), RdStatus::BadSegment);
  }
}

// Keeps what the decoder hands over.
class RecordList final : public RdRecordSink {
 public:
  RdStatus take(const RdRecord& r) override {
    records.emplace_back(r.kind, r.address);
    return RdStatus::Reading;
  }
  std::vector<std::pair<u16, u32>> records;
};

TEST_F(RdRecordTest, DecoderCutsLinesWhereverTheBytesArriveAndStopsAtTheEnd) {
  const std::string text =
      "; made by hand\r\n:0300300002337A1E\n\n:020000040001F9\r:00000001FF\r\n:0300300002337A1F\r\n";
  const std::vector<std::pair<u16, u32>> expected = {
      {kRdRecordData, 0x30}, {kRdRecordBase, 0x10000}, {kRdRecordEnd, 0}};
  for (std::size_t piece : {std::size_t(1), std::size_t(7), text.size()}) {
    SCOPED_TRACE(piece);
    RecordList sink;
    RdDecoder decoder(kRdIntelHex, sink);
    RdStatus s = RdStatus::Reading;
    for (std::size_t at = 0; at < text.size() && s == RdStatus::Reading; at += piece)
      s = decoder.feed(bytes_of(std::string_view(text).substr(at, piece)));
    EXPECT_EQ(s, RdStatus::Complete);  // the bad record after the end is never read
    EXPECT_EQ(decoder.finish(), RdStatus::Complete);
    EXPECT_EQ(sink.records, expected);
  }
  // no end record: the last line is still taken, and the input is short
  RecordList sink;
  RdDecoder decoder(kRdSRecord, sink);
  EXPECT_EQ(decoder.feed(bytes_of("S1050100AABB94")), RdStatus::Reading);
  EXPECT_EQ(decoder.finish(), RdStatus::NoEnd);
  EXPECT_EQ(sink.records.size(), 1u);
}

TEST_F(RdRecordTest, HexBasesAndOffsetsMustStayIn64KiBWithoutMemoryManagement) {
  const struct {
    const char* records;
    u32 offset;
    RdStatus status;
  } cases[] = {
      {":020000040000FA\n:02FFFE00AABB9C\n", 0, RdStatus::Complete},        // base 0
      {":020000040001F9\n:0300300002337A1E\n", 0, RdStatus::BadSegment},   // 10030H
      {":020000020FF0FD\n:01000F00559B\n", 0, RdStatus::Complete},          // FF00H + 0FH
      {":020000020FF0FD\n:0101000055A9\n", 0, RdStatus::BadSegment},        // FF00H + 100H
      {":0300300002337A1E\n", 0xFFC0, RdStatus::Complete},                  // FFF0H..FFF2H
      {":0300300002337A1E\n", 0xFFCE, RdStatus::BadOffset},                 // passes 0xFFFF
      {":0300300002337A1E\n", 0xFFFFFFF0, RdStatus::BadOffset},             // wraps the 32 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.records);
    EXPECT_EQ(rd_check_records(kRdIntelHex, bytes_of(std::string(c.records) + ":00000001FF\n"), c.offset), c.status);
  }
}

TEST_F(RdRecordTest, FormFollowsTheExtension) {
  const struct {
    const char* name;
    u16 form;
  } cases[] = {
      {"a.hex", kRdIntelHex}, {"A.HeX", kRdIntelHex}, {"a.s", kRdSRecord}, {"dir\\A.S", kRdSRecord},
      {"a.ihx", kRdBinary},   {"a.s19", kRdBinary},   {"a.bin", kRdBinary}, {"a", kRdBinary},
      {"d.hex\\a", kRdBinary},  // the dot belongs to a folder
      {"a.hex.bin", kRdBinary},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rd_file_form(c.name), c.form);
  }
}

// ---------------------------------------------------------------------------
// The commands against a booted target: emulation ROM below 8000H (monitor
// work bytes at 7F80H..7FFFH), target RAM above it through the monitor.

constexpr u16 kUnwound = 0xFFFF;
u16 LastAbort = 0;      // what the last command left in AbortFlag; kUnwound after an unwind
bool LineKept = false;  // "LOAD": the caller's line and scanner were its own afterwards

// The command side of these tests: each typed line run as the command loop
// runs one: "RD ...", "WR ...", "DB0 name" (the image loader) and "LOAD
// operand" (RD on an operand text, as the load command calls it).
bool program_file_line(std::string_view line) {
  LastAbort = kUnwound;
  if (line.starts_with("DB0 ")) {
    dbi_load_image(Cmd.CommandLine + 4);
  } else if (line.starts_with("LOAD ")) {
    const std::string before(line);
    const char* cursor = Cmd.ScannerCursor = Cmd.CommandLine + 5;
    rd_read_file(std::string(line.substr(5)));
    LineKept = before == Cmd.CommandLine && Cmd.ScannerCursor == cursor;
  } else {
    Cmd.ScannerCursor = Cmd.CommandLine + 2;  // behind the command word
    if (line.starts_with("WR"))
      wr_cmd_write();
    else
      rd_cmd_read();
  }
  LastAbort = Cmd.AbortFlag;
  return true;
}

void program_file_main() { test_command_loop(program_file_line); }

const std::string kMsgChecksumText = sjis("\n チェックサム エラー");
const std::string kMsgFormatText = sjis("\n コマンドのフォーマットが不正です");
const std::string kMsgNoFileText = sjis("\n 指定ファイルがありません");
const std::string kMsgFileFormatText = sjis("\n ファイル フォーマットが不正です");
const std::string kMsgMonitorAreaText = sjis("\n モニタ領域です");
const std::string kMsgAddressText = sjis("\n アドレス指定が誤りです");

class RdTargetTest : public MemSessionTest {
 protected:
  RdTargetTest() { command_main_ = program_file_main; }
  // A tool run in the test's folder; true when it succeeded.
  bool tool(const std::string& command) {
    const std::string line = "cd '" + dir_.path() + "' && { " + command + "; } >>tool.log 2>&1";
    return std::system(line.c_str()) == 0;
  }
  void copy_program(const char* from, const char* to) {
    std::filesystem::copy_file(std::filesystem::path(HALV80_TEST_PROGRAM_DIR) / from,
                               std::filesystem::path(dir_.path()) / to,
                               std::filesystem::copy_options::overwrite_existing);
  }
  Bytes file(std::string_view name) { return bytes_of(dir_.read(name)); }

  // What the tools read from a program file: objcopy's bytes and the address
  // ranges srec_info finds in them. False when a tool failed.
  struct Reference {
    std::vector<std::pair<u32, u32>> ranges;  // first and last address
    Bytes image;                              // from the first range's start on
  };
  bool reference_of(const std::string& name, const char* input, Reference& out) {
    if (!tool("z80-unknown-coff-objcopy -I " + std::string(input) + " -O ihex " + name + " ref.hex") ||
        !tool("z80-unknown-coff-objcopy -I ihex -O binary ref.hex ref.bin") ||
        !tool("srec_info ref.hex -intel > ref.txt"))
      return false;
    out = Reference{};
    out.image = file("ref.bin");
    std::istringstream info(dir_.read("ref.txt"));
    std::string word;
    while (info >> word && word != "Data:") {
    }
    u32 first = 0;
    bool have_first = false;
    // "first - last" pairs
    while (info >> word) {
      if (word.empty() || word.find_first_not_of("0123456789ABCDEF") != std::string::npos) continue;  // "-"
      const u32 v = u32(std::stoul(word, nullptr, 16));
      if (!have_first) {
        first = v;
        have_first = true;
      } else {
        out.ranges.emplace_back(first, v);
        have_first = false;
      }
    }
    return !out.ranges.empty();
  }
  // Every byte of the reference's ranges is in target memory.
  void expect_loaded(const Reference& ref) {
    const u32 base = ref.ranges.front().first;
    for (const auto& [first, last] : ref.ranges) {
      SCOPED_TRACE(testing::Message() << std::hex << first << "-" << last);
      ASSERT_LE(last + 1 - base, ref.image.size());
      const Bytes expected(ref.image.begin() + (first - base), ref.image.begin() + (last + 1 - base));
      EXPECT_EQ(peek(u16(first), expected.size()), expected);
    }
  }
  // Code area and data area of the demo program filled with a byte the
  // loads must overwrite.
  void clear_demo_areas() {
    poke(0x0200, Bytes(0x200, 0xEE));
    poke(0x9100, Bytes(0x100, 0xEE));
  }
};

TEST_F(RdTargetTest, SdccDemoProgramLoadsAsHexAndAsSRecords) {
  // RD takes "HEX" and "S" by extension: the linker's .ihx and .s19 renamed
  copy_program("demo.ihx", "demo.hex");
  copy_program("demo.s19", "demo.s");
  const struct {
    const char* name;
    const char* input;
  } cases[] = {{"demo.hex", "ihex"}, {"demo.s", "srec"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reference ref;
    ASSERT_TRUE(reference_of(c.name, c.input, ref)) << dir_.read("tool.log");
    clear_demo_areas();
    const std::string out = typed(std::string("RD ") + c.name);
    EXPECT_EQ(LastAbort, 0) << out;
    EXPECT_NE(out.find(std::string("\nRead ") + c.name), std::string::npos) << out;
    EXPECT_NE(out.find("\nComplete"), std::string::npos) << out;
    expect_loaded(ref);
  }
}

TEST_F(RdTargetTest, HexRunShownAndProgramCounterFromTheEndRecord) {
  copy_program("demo.ihx", "demo.hex");
  Reference ref;
  ASSERT_TRUE(reference_of("demo.hex", "ihex", ref)) << dir_.read("tool.log");
  ASSERT_EQ(ref.ranges.size(), 1u);
  ::Run.Regs.pc = 0x1234;
  char run[32];
  const auto [first, last] = ref.ranges[0];
  std::snprintf(run, sizeof run, "\n%04X - %04X\nComplete", unsigned(first), unsigned(last));
  EXPECT_NE(typed("RD demo.hex").find(run), std::string::npos);
  EXPECT_EQ(::Run.Regs.pc, 0x0000);  // sdcc's end record :00000001FF
}

TEST_F(RdTargetTest, ObjcopyAndSrecCatOutputsLoad) {
  copy_program("demo.ihx", "demo.ihx");
  ASSERT_TRUE(tool("z80-unknown-coff-objcopy -I ihex -O binary demo.ihx demo.bin")) << dir_.read("tool.log");
  const struct {
    const char* make;     // the tool's command line
    const char* load;     // RD's operand
    const char* input;    // objcopy's name of the form, for the reference
    u16 pc;               // the program counter afterwards; it was 1234H
  } cases[] = {
      // --set-start, then --change-addresses moves the start with the code
      {"z80-unknown-coff-objcopy -I ihex -O ihex --change-addresses 0x100 --set-start 0x0205 demo.ihx o.hex",
       "o.hex", "ihex", 0x0305},  // type 03 with CS:IP 0000:0305
      {"z80-unknown-coff-objcopy -I ihex -O srec --change-addresses 0x100 --set-start 0x0205 demo.ihx o.s",
       "o.s", "srec", 0x1234},  // S-record end records set nothing
      {"z80-unknown-coff-objcopy -I ihex -O srec demo.ihx o1.s", "o1.s", "srec", 0x1234},
      // no start record: the end record's address field
      {"z80-unknown-coff-objcopy -I ihex -O ihex demo.ihx o1.hex", "o1.hex", "ihex", 0},
      // a binary's start 0 moves with the code
      {"z80-unknown-coff-objcopy -I binary -O ihex --change-addresses 0x0200 demo.bin ob.hex", "ob.hex", "ihex",
       0x0200},
      // S2 with S8, S3 with S7
      {"srec_cat demo.ihx -intel -execution-start-address=0x200 -o s2.s -motorola -address-length=3", "s2.s",
       "srec", 0x1234},
      {"srec_cat demo.ihx -intel -execution-start-address=0x200 -o s3.s -motorola -address-length=4", "s3.s",
       "srec", 0x1234},
      // type 04 (base 0) and type 05
      {"srec_cat demo.ihx -intel -execution-start-address=0x203 -o l.hex -intel -address-length=4", "l.hex",
       "ihex", 0x0203},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.make);
    ASSERT_TRUE(tool(c.make)) << dir_.read("tool.log");
    Reference ref;
    ASSERT_TRUE(reference_of(c.load, c.input, ref)) << dir_.read("tool.log");
    clear_demo_areas();
    ::Run.Regs.pc = 0x1234;
    const std::string out = typed(std::string("RD ") + c.load);
    EXPECT_EQ(LastAbort, 0) << out;
    EXPECT_NE(out.find("\nComplete"), std::string::npos) << out;
    expect_loaded(ref);
    EXPECT_EQ(::Run.Regs.pc, c.pc);
  }
  // objcopy's binary, at an address given to RD
  clear_demo_areas();
  const std::string out = typed("RD demo.bin,0200");
  EXPECT_EQ(LastAbort, 0) << out;
  EXPECT_NE(out.find(" at 0200 - 029A\nComplete"), std::string::npos) << out;
  const Bytes bin = file("demo.bin");
  EXPECT_EQ(peek(0x0200, bin.size()), bin);
}

TEST_F(RdTargetTest, FileWithoutItsEndRecordKeepsWhatItLoadedAndFails) {
  copy_program("demo.ihx", "demo.ihx");
  // srec_cat writes no S9 when the input has no start address
  ASSERT_TRUE(tool("srec_cat demo.ihx -intel -o open.s -motorola")) << dir_.read("tool.log");
  ASSERT_EQ(dir_.read("open.s").find("S9"), std::string::npos);
  Reference ref;
  ASSERT_TRUE(reference_of("open.s", "srec", ref)) << dir_.read("tool.log");
  clear_demo_areas();
  const std::string out = typed("RD open.s");
  EXPECT_NE(out.find("\nformat error"), std::string::npos) << out;
  EXPECT_EQ(out.find("\nComplete"), std::string::npos) << out;
  EXPECT_EQ(LastAbort, 1);
  expect_loaded(ref);
}

TEST_F(RdTargetTest, LinearBaseAbove64KiBCannotBeHeldWithoutMemoryManagement) {
  copy_program("demo.ihx", "demo.ihx");
  ASSERT_TRUE(tool("srec_cat demo.ihx -intel -offset 0x12000 -o high.hex -intel -address-length=4"))
      << dir_.read("tool.log");
  ASSERT_NE(dir_.read("high.hex").find(":020000040001F9"), std::string::npos);
  clear_demo_areas();
  poke(0x2200, Bytes(4, 0xEE));
  const std::string out = typed("RD high.hex");
  EXPECT_NE(out.find(kMsgFileFormatText), std::string::npos) << out;
  EXPECT_EQ(LastAbort, 1);
  EXPECT_EQ(peek(0x2200, 4), Bytes(4, 0xEE)) << "nothing wrapped into 64 KiB";
  EXPECT_EQ(peek(0x0200, 4), Bytes(4, 0xEE));
}

TEST_F(RdTargetTest, RecordsGoWhereTheyAddressAndFailuresStopTheRead) {
  static const std::string kPageOfX(0x100, 'x');
  const struct {
    const char* operand;
    const char* content;
    const std::string* message;  // null: "\nComplete"
    const char* shown;           // shown on success; null: not checked
  } cases[] = {
      {"a.hex", ":0300300002337A1E\n:00000001FF\n", nullptr, "\n0030 - 0032\nComplete"},
      {"a.hex", ":10010000000102030405060708090A0B0C0D0E0F77\n:03011000101112B9\n:02020000C30039\n:00000001FF\n",
       nullptr, "\n0100 - 0112\n0200 - 0201\nComplete"},
      {"a.hex,/N", ":0300300002337A1E\n:00000001FF\n", nullptr, nullptr},
      {"a.hex,100", ":0300300002337A1E\n:00000001FF\n", nullptr, "\n0130 - 0132"},  // load offset
      {"a.hex", ":0300300002337A1E\n:0300330002337A1F\n:00000001FF\n", &kMsgChecksumText, nullptr},
      {"a.s", "S1050100AABB94\nS1050102AABB91\nS9030000FC\n", &kMsgChecksumText, nullptr},  // sum 0xFE
      {"a.hex", ":037F7E00010203FA\n:00000001FF\n", &kMsgMonitorAreaText, nullptr},  // into the monitor's bytes
      {"a.bin,7F00", kPageOfX.c_str(), &kMsgMonitorAreaText, nullptr},
      {"a.hex", ":00000006FA\n:00000001FF\n", &kMsgFileFormatText, nullptr},  // a type not taken
      {"a.hex,FFE0", ":0300300002337A1E\n:00000001FF\n", &kMsgAddressText, nullptr},  // offset beyond 64 KiB
      {"a.s,100", "S9030000FC\n", &kMsgFormatText, nullptr},  // S-records take no address
      {"a.bin", "x", &kMsgFormatText, nullptr},               // binary needs one
      {"a.bin,100,200", "x", &kMsgFormatText, nullptr},
      {"a.hex,", ":00000001FF\n", &kMsgFormatText, nullptr},
      {",100", "", &kMsgFormatText, nullptr},
      {"none.hex", nullptr, &kMsgNoFileText, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.operand << " " << (c.content ? c.content : "(no file)"));
    std::filesystem::remove(std::filesystem::path(dir_.path()) / "none.hex");
    const std::string name = std::string(c.operand).substr(0, std::string(c.operand).find(','));
    if (c.content) dir_.write(name.empty() ? "unused" : name, c.content);
    poke(0x0030, Bytes(3, 0xEE));
    poke(0x0100, Bytes(0x20, 0xEE));
    const std::string out = typed(std::string("RD ") + c.operand);
    if (c.message == nullptr) {
      EXPECT_EQ(LastAbort, 0) << out;
      EXPECT_NE(out.find("\nComplete"), std::string::npos) << out;
      if (c.shown) {
        EXPECT_NE(out.find(c.shown), std::string::npos) << out;
      }
    } else {
      EXPECT_EQ(LastAbort, 1) << out;
      EXPECT_NE(out.find(*c.message), std::string::npos) << out;
      EXPECT_EQ(out.find("\nComplete"), std::string::npos) << out;
    }
  }
  // what the first failing file wrote before its bad record stays
  dir_.write("b.hex", ":0300300002337A1E\n:0300330002337A1F\n:00000001FF\n");
  poke(0x0030, Bytes(6, 0xEE));
  typed("RD b.hex");
  EXPECT_EQ(peek(0x0030, 6), (Bytes{0x02, 0x33, 0x7A, 0xEE, 0xEE, 0xEE}));
  // a record that would reach the monitor's bytes is refused whole, before
  // its run is shown
  dir_.write("c.hex", ":0300300002337A1E\n:037F7E00010203FA\n:00000001FF\n");
  poke(0x7F7E, Bytes(2, 0xEE));
  const std::string out = typed("RD c.hex");
  EXPECT_NE(out.find("\n0030 - 0032" + kMsgMonitorAreaText), std::string::npos) << out;
  EXPECT_EQ(peek(0x7F7E, 2), Bytes(2, 0xEE));
}

TEST_F(RdTargetTest, AnOperandTextOfItsOwnReadsAsRdsAndLeavesTheCallersLine) {
  dir_.write("a.hex", ":0300300002337A1E\n:00000001FF\n");
  poke(0x0130, Bytes(3, 0xEE));
  LineKept = false;
  const std::string out = typed("LOAD a.hex,100");
  EXPECT_NE(out.find("\nRead a.hex\n0130 - 0132\nComplete"), std::string::npos) << out;
  EXPECT_EQ(LastAbort, 0);
  EXPECT_TRUE(LineKept);
  EXPECT_EQ(peek(0x0130, 3), (Bytes{0x02, 0x33, 0x7A}));
}

TEST_F(RdTargetTest, StartRecordsSetTheProgramCounter) {
  const struct {
    const char* content;
    u16 pc;
  } cases[] = {
      {":0400000300000100F8\n:00000001FF\n", 0x0100},        // IP, not CS
      {":0400000312340100B2\n:00000001FF\n", 0x0100},
      {":0400000500000200F5\n:00000001FF\n", 0x0200},
      {":00020001FD\n", 0x0200},                              // the end record's address field
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    dir_.write("s.hex", c.content);
    ::Run.Regs.pc = 0x1234;
    typed("RD s.hex");
    EXPECT_EQ(LastAbort, 0);
    EXPECT_EQ(::Run.Regs.pc, c.pc);
  }
  // a linear start above 0xFFFF is refused and leaves the counter alone
  dir_.write("s.hex", ":0400000500010000F6\n:00000001FF\n");
  ::Run.Regs.pc = 0x1234;
  EXPECT_NE(typed("RD s.hex").find(kMsgChecksumText), std::string::npos);
  EXPECT_EQ(::Run.Regs.pc, 0x1234);
}

TEST_F(RdTargetTest, BinaryStopsAtTheTopOfMemory) {
  Bytes data(600);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = u8(i * 7 + 1);
  dir_.write("a.bin", std::string(data.begin(), data.end()));
  const Bytes low_before = peek(0x0000, 16);
  poke(0xFFE0, Bytes(0x20, 0xEE));
  const std::string out = typed("RD a.bin,FFF0");
  EXPECT_NE(out.find("\n Memmory Over ! at FFF0 - FFFF"), std::string::npos) << out;
  EXPECT_EQ(out.find("\nComplete"), std::string::npos) << out;
  EXPECT_EQ(LastAbort, 1);
  EXPECT_EQ(peek(0xFFF0, 16), Bytes(data.begin(), data.begin() + 16));
  EXPECT_EQ(peek(0xFFE0, 16), Bytes(16, 0xEE));
  EXPECT_EQ(peek(0x0000, 16), low_before) << "nothing wrapped to 0";
  // a file that just fills the top is complete
  dir_.write("b.bin", std::string(data.begin(), data.begin() + 16));
  const std::string fits = typed("RD b.bin,FFF0");
  EXPECT_NE(fits.find(" at FFF0 - FFFF\nComplete"), std::string::npos) << fits;
  EXPECT_EQ(LastAbort, 0);
}

// The bytes WR writes from `at` on in the tests below: 00 01 02 ...
Bytes counting(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = u8(i);
  return b;
}

TEST_F(RdTargetTest, WrWritesItsRecordsByteForByte) {
  poke(0x0100, counting(0x20));
  const struct {
    const char* operand;
    const char* file;
    const char* shown;
    std::string content;
  } cases[] = {
      {"a.s,100,11F", "a.s", " at 0100-011F",
       "S1230100000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1FEB\r\nS9030000FC\r\n"},
      {"a.s,100,105", "a.s", " at 0100-0105",  // padded with 26 zero bytes
       "S12301000001020304050000000000000000000000000000000000000000000000000000CC\r\nS9030000FC\r\n"},
      {"a.hex,100,112", "a.hex", " at 0100-0112",
       ":10010000000102030405060708090A0B0C0D0E0F77\r\n:03011000101112B9\r\n:00000001FF\r\n\x1A"},
      {"a.bin,100,104", "a.bin", " at 0100-0104", std::string("\x00\x01\x02\x03\x04", 5)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operand);
    const std::string out = typed(std::string("WR ") + c.operand);
    EXPECT_EQ(LastAbort, 0) << out;
    EXPECT_NE(out.find(std::string("\nWrite ") + c.file + c.shown), std::string::npos) << out;
    EXPECT_EQ(dir_.read(c.file), c.content);
  }
}

TEST_F(RdTargetTest, WrRefusesIncompleteOrEmptyRanges) {
  for (const char* operand : {"a.hex,100,100", "a.hex,101,100", "a.hex,100", "a.hex", "a.hex,100,200,300",
                              "a.hex,100,200 x", ",100,200", "a.hex 100,200"}) {
    SCOPED_TRACE(operand);
    const std::string out = typed(std::string("WR ") + operand);
    EXPECT_EQ(LastAbort, 1) << out;
    EXPECT_NE(out.find(sjis("\n コマンドのフォーマットが不正です")), std::string::npos) << out;
    EXPECT_FALSE(dir_.exists("a.hex"));
  }
}

TEST_F(RdTargetTest, WrReplacesTheOldFileOnlyWhenTheNewOneIsComplete) {
  const auto hidden = [&] {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      if (e.path().filename().string().starts_with(".")) names.push_back(e.path().filename());
    return names;
  };
  poke(0x0100, counting(0x20));
  dir_.write("a.hex", "the old file");
  // a full disk: message 40, and the old file stays whole
  std::string out;
  {
    const FileSizeLimit full_disk(4096);
    out = typed("WR a.hex,0,FFFF");
  }
  EXPECT_EQ(LastAbort, 1);
  EXPECT_NE(out.find(sjis("\n ディスクがいっぱいです")), std::string::npos) << out;
  EXPECT_EQ(dir_.read("a.hex"), "the old file");
  EXPECT_EQ(hidden(), std::vector<std::string>{});
  // a file that cannot be made: message 39
  out = typed("WR nofolder\\a.hex,100,11F");
  EXPECT_NE(out.find(sjis("\n ファイルがクリエートできません")), std::string::npos) << out;
  // written whole, it takes the name
  typed("WR a.hex,100,10F");
  EXPECT_EQ(LastAbort, 0);
  EXPECT_EQ(dir_.read("a.hex"), ":10010000000102030405060708090A0B0C0D0E0F77\r\n:00000001FF\r\n\x1A");
  EXPECT_EQ(hidden(), std::vector<std::string>{});
}

TEST_F(RdTargetTest, FileNamesAreShownWithTheHostsSeparator) {
  poke(0x0100, counting(0x20));
  std::filesystem::create_directory(std::filesystem::path(dir_.path()) / "sub");
  const std::string folder = dir_.system_path();
  std::string out = typed("WR " + folder + "\\sub\\a.bin,100,10F");
  EXPECT_NE(out.find("\nWrite " + dir_.path() + "/sub/a.bin at 0100-010F"), std::string::npos) << out;
  out = typed("RD " + folder + "\\sub\\a.bin,100");
  EXPECT_NE(out.find("\nRead " + dir_.path() + "/sub/a.bin at 0100 - 010F"), std::string::npos) << out;
  // a "\" that is the second byte of a double-byte character stays
  EXPECT_EQ(sup_path_for_display("\\a\x95\x5C\\b"), "/a\x95\x5C/b");
}

TEST_F(RdTargetTest, WrFilesAreReadByTheToolsAndByRd) {
  copy_program("demo.ihx", "demo.hex");
  typed("RD demo.hex");
  ASSERT_EQ(LastAbort, 0);
  const Bytes code = peek(0x0200, 0x9B);  // 0200..029A
  const struct {
    const char* write;
    const char* input;  // objcopy's name of the form
    std::size_t zeros;  // S1 padding after the code
  } cases[] = {
      {"w.s,200,29A", "srec", 5},
      {"w.hex,200,29A", "ihex", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.write);
    typed(std::string("WR ") + c.write);
    ASSERT_EQ(LastAbort, 0);
    const std::string name = std::string(c.write).substr(0, std::string(c.write).find(','));
    EXPECT_TRUE(tool("srec_info " + name + (c.input == std::string("ihex") ? " -intel" : ""))) << dir_.read("tool.log");
    ASSERT_TRUE(tool("z80-unknown-coff-objcopy -I " + std::string(c.input) + " -O binary " + name + " back.bin"))
        << dir_.read("tool.log");
    Bytes expected = code;
    expected.insert(expected.end(), c.zeros, 0x00);
    EXPECT_EQ(file("back.bin"), expected);
  }
  typed("WR w.bin,200,29A");
  EXPECT_EQ(file("w.bin"), code);
}

TEST_F(RdTargetTest, WrThenRdRoundTripsInEveryForm) {
  // target RAM through the monitor, and up to the last address
  Bytes data(0x133);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = u8(i * 13 + 5);
  const struct {
    const char* write;
    const char* read;
    u16 at;
  } cases[] = {
      {"r.hex,8100,8232", "r.hex", 0x8100},
      {"r.s,8100,8232", "r.s", 0x8100},
      {"r.bin,8100,8232", "r.bin,8100", 0x8100},
      {"t.hex,FECD,FFFF", "t.hex", 0xFECD},
      {"t.s,FECD,FFFF", "t.s", 0xFECD},  // the last S1 record is not padded past FFFFH
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.write);
    poke(c.at, data);
    typed(std::string("WR ") + c.write);
    ASSERT_EQ(LastAbort, 0);
    poke(c.at, Bytes(data.size(), 0));
    const std::string out = typed(std::string("RD ") + c.read);
    EXPECT_EQ(LastAbort, 0) << out;
    EXPECT_EQ(peek(c.at, data.size()), data);
  }
}

// An HD64180 whose monitor manages its MMU: LROM1 0000H..1FFFH with the
// monitor at 1F80H, its stack and data below 3000H; at the stop CBAR E4H,
// BBR 10H, CBR 20H, so common area 0 is 0000H..3FFFH and the bank window
// (common area 1) starts at E000H.
class RdMmuTest : public RdTargetTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    stop_simulated_emulator(sim);
    board_.lrom1 = DevRomArea{0x0000, 0x1FFF, 0};
    board_.monitor_code_address = 0x1F80;
    board_.mmu_kind = kDevMmuBank;
    board_.mmu_io_base = 0x38;
    start_simulated_emulator(sim, board_);
    dir_.write("qqn80.cfg",
               "PORT ADDRESS 300\r\nROM1 TYPE 2764\r\nLROM1 ADDRESS 0,1FFF,0\r\nBANK MODE 64180R\r\n"
               "MONITOR INIT. STACK 3000\r\nSOFT BP(RST?) 38\r\n");
    Bytes monitor = dev_monitor_file(board_);
    monitor[offsetof(MonitorFileHeader, cpu_family)] = kCpu64180;
    dir_.write("MON80.QQN", std::string(monitor.begin(), monitor.end()));
    ASSERT_EQ(emu_startup_sequence(0), 0);
    ASSERT_EQ(Cfg.MmuKind, kMmuBank);
    sim->Clock().UseFixedBudget(400);
    sim->Board().Mmu().SetBank(kAtStop);
    tgt_mmu_after_stop();
    ASSERT_EQ(TgtMmu.BankBase, 0xE000);
    ws_ = std::make_unique<ScriptedWindowSide>();
    ws_->Start({}, command_main_);
  }
  static constexpr DevMmuBank kAtStop{0x20, 0x10, 0xE4};
};

TEST_F(RdMmuTest, HexBasesAreMappedThroughTheBankWindow) {
  const struct {
    const char* what;
    const char* operand;
    const char* records;  // before the end record
    u16 toolchain;
    const std::string* message;  // null: complete
    const char* shown;
    u32 physical;        // where E100H..E102H or 3800H..3802H went; 0: nowhere
  } cases[] = {
      {"linear base 50000H", "m.hex", ":020000040005F5\n:03E1000001020316\n", 16, nullptr,
       "\nE100 - E102 (0005E100-0005E102)\nComplete", 0x5E100},
      {"segment base 5000H x 16", "m.hex", ":020000025000AC\n:03E1000001020316\n", 16, nullptr,
       "\nE100 - E102 (0005E100-0005E102)\nComplete", 0x5E100},
      {"a load offset is the first base", "m.hex,50000", ":03E1000001020316\n", 16, nullptr,
       "\nE100 - E102 (0005E100-0005E102)\nComplete", 0x5E100},
      {"a record that follows on stays in the run", "m.hex", ":020000040005F5\n:03E1000001020316\n:02E10300040511\n",
       16, nullptr, "\nE100 - E104 (0005E100-0005E104)\nComplete", 0x5E100},
      {"base 0 below the window is cancelled", "m.hex", ":020000040000FA\n:03380000010203BF\n", 16, nullptr,
       "\n3800 - 3802\nComplete", 0x3800},
      {"another base below the window", "m.hex", ":020000040005F5\n:03380000010203BF\n", 16,
       &kMsgFileFormatText, nullptr, 0},
      {"a gap after a mapped start, kind 16", "m.hex", ":020000040005F5\n:03E1000001020316\n:02E20000040513\n", 16,
       &kMsgFileFormatText, nullptr, 0x5E100},
      {"the same gap, kind 1", "m.hex", ":020000040005F5\n:03E1000001020316\n:02E20000040513\n", 1, nullptr,
       "\nE100 - E102 (0005E100-0005E102)\nE200 - E201 (0005E200-0005E201)\nComplete", 0x5E100},
      {"past the 1 MiB space", "m.hex", ":020000040010EA\n:03E1000001020316\n", 16, &kMsgChecksumText, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.write("m.hex", std::string(c.records) + ":00000001FF\n");
    Sw.ToolchainKind = c.toolchain;
    for (u32 p : {0x5E100u, 0x3800u}) sim->Board().PokeTarget(p, 0xEE);
    const std::string out = typed(std::string("RD ") + c.operand);
    if (c.message == nullptr) {
      EXPECT_EQ(LastAbort, 0) << out;
      EXPECT_NE(out.find(c.shown), std::string::npos) << out;
    } else {
      EXPECT_EQ(LastAbort, 1) << out;
      EXPECT_NE(out.find(*c.message), std::string::npos) << out;
    }
    if (c.physical != 0) {
      for (u32 i = 0; i < 3; ++i) EXPECT_EQ(sim->Board().PeekTarget(c.physical + i), i + 1);
    } else {
      EXPECT_EQ(sim->Board().PeekTarget(0x5E100), 0xEE);
    }
    // the map of the stop is back, on the target and in the model
    EXPECT_EQ(sim->Board().Mmu().Bank(), kAtStop);
    EXPECT_EQ(TgtMmu.BankMapSaved, 0);
  }
}

// A memory image: records of a head (kind byte, address, length) and code.
Bytes image(std::initializer_list<std::pair<u32, Bytes>> records, bool end = true) {
  Bytes out;
  auto head = [&](u8 kind, u32 address, u32 length) {
    out.push_back(kind);
    for (u32 v : {address, length})
      for (int i = 0; i < 4; ++i) out.push_back(u8(v >> (8 * i)));
  };
  for (const auto& [address, code] : records) {
    head(0, address, u32(code.size()));
    out.insert(out.end(), code.begin(), code.end());
  }
  if (end) head(0, 0, 0);
  return out;
}

TEST_F(RdTargetTest, MemoryImagesLoadAndTheirFaultsAreReported) {
  Bytes cut_head = image({{0x0100, {1, 2}}}, false);
  cut_head.insert(cut_head.end(), {0, 0, 1});  // a head of 3 bytes
  Bytes cut_code = image({{0x0100, Bytes(2000, 0x5A)}}, false);
  cut_code.resize(9 + 1500);  // the second piece is short
  Bytes odd_kind = image({{0x0100, {1, 2}}});
  odd_kind[0] = 1;
  Bytes long_length = image({}, false);
  long_length.insert(long_length.end(), {0, 0xF0, 0xFF, 0, 0, 0x20, 0, 0, 0});  // FFF0H, 20H bytes
  constexpr DbiImageStatus kDone = DbiImageStatus::Done;
  constexpr DbiImageStatus kCut = DbiImageStatus::BadFormat;
  constexpr DbiImageStatus kOutside = DbiImageStatus::BadAddress;
  const struct {
    const char* what;
    Bytes content;
    const std::string* message;  // null: nothing shown
    Bytes at_0100;               // 0100..0103 afterwards
    DbiImageStatus walk;         // what the walk alone finds, without a target
  } cases[] = {
      {"two records", image({{0x0100, {1, 2}}, {0x0102, {3, 4}}}), nullptr, {1, 2, 3, 4}, kDone},
      {"an empty record is skipped", image({{0x0200, {}}, {0x0100, {9}}}), nullptr, {9, 0xEE, 0xEE, 0xEE}, kDone},
      {"only the end", image({}), nullptr, Bytes(4, 0xEE), kDone},
      {"no end record", image({{0x0100, {1, 2}}}, false), &kMsgFileFormatText, {1, 2, 0xEE, 0xEE}, kCut},
      {"a head cut off", cut_head, &kMsgFileFormatText, {1, 2, 0xEE, 0xEE}, kCut},
      {"code cut off", cut_code, &kMsgFileFormatText, Bytes(4, 0x5A), kCut},  // the first piece stays
      {"first byte not 0", odd_kind, &kMsgFileFormatText, Bytes(4, 0xEE), kCut},
      {"past 64 KiB", long_length, &kMsgChecksumText, Bytes(4, 0xEE), kOutside},
      {"at 10000H", image({{0x10000, {1}}}), &kMsgChecksumText, Bytes(4, 0xEE), kOutside},
      // only the target knows its monitor
      {"in the monitor's bytes", image({{0x7F7E, {1, 2, 3}}}), &kMsgChecksumText, Bytes(4, 0xEE), kDone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.write("p.db0", std::string(c.content.begin(), c.content.end()));
    poke(0x0100, Bytes(0x800, 0xEE));
    poke(0xFFF0, Bytes(0x10, 0xEE));
    const std::string out = typed("DB0 p.db0");
    if (c.message == nullptr) {
      EXPECT_EQ(LastAbort, 0) << out;
      EXPECT_EQ(out, "DB0 p.db0");  // the echo; nothing shown
    } else {
      EXPECT_EQ(LastAbort, 1) << out;
      EXPECT_NE(out.find(*c.message), std::string::npos) << out;
    }
    EXPECT_EQ(peek(0x0100, 4), c.at_0100);
    EXPECT_EQ(peek(0xFFF0, 0x10), Bytes(0x10, 0xEE));
    EXPECT_EQ(dbi_check_image(c.content), c.walk);
  }
  const std::string out = typed("DB0 none.db0");
  EXPECT_NE(out.find(kMsgNoFileText), std::string::npos) << out;
  EXPECT_EQ(LastAbort, 1);
}

}  // namespace
