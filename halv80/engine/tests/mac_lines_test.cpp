// The macro language as a user types it, against the booted simulated
// target: definitions and calls, arguments, control structures, assignment
// lines, breakpoint command texts, redirect and input files, PRINTF.
#include "halv80/engine/mac_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "halv80/engine/mac_store.h"
#include "halv80/engine/redir_file.h"
#include "halv80/engine/run_state.h"
#include "halv80/engine/tests/mem_fixture.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/tests/file_size_limit.h"

namespace {

const std::string kMsg2 = sjis("\n コマンドのフォーマットが不正です");
const std::string kMsg6 = sjis("\n マクロ名が内部コマンドと重複しています");
const std::string kMsg11 = sjis("\n マクロが１６レベル以上入れ子になっています");
const std::string kMsg34 = sjis("\n コマンド エラー");

class MacroTest : public MemSessionTest {
 protected:
  void SetUp() override {
    MemSessionTest::SetUp();
    sym_init();
  }
  void TearDown() override {
    MemSessionTest::TearDown();
    sym_init();
  }
  // Types each line; the transcript they add.
  std::string lines(std::initializer_list<std::string_view> text) {
    std::string out;
    for (std::string_view line : text) out += typed(line);
    return out;
  }
  // The texts PRINTF printed that begin with "#", in order.
  static std::vector<std::string> marks(const std::string& transcript) {
    std::vector<std::string> out;
    std::istringstream in(transcript);
    for (std::string line; std::getline(in, line);)
      if (line.starts_with("#")) out.push_back(line);
    return out;
  }
  // MLIST's names, listed into a redirect file (which has no pages).
  std::vector<std::string> listed() {
    lines({"> mlist.txt", "MLIST", ">"});
    std::vector<std::string> out;
    std::istringstream in(file_text("mlist.txt"));
    std::string line;
    bool started = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line == ">MLIST") {
        started = true;
        continue;
      }
      if (started && !line.empty() && line.front() != '>') out.push_back(line);
    }
    return out;
  }
  std::string file_text(const std::string& name) {
    std::ifstream in(std::filesystem::path(dir_.path()) / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  void write_file(const std::string& name, std::string_view bytes) {
    std::ofstream(std::filesystem::path(dir_.path()) / name, std::ios::binary) << bytes;
  }
  // The hidden names in the test's folder (temporary files), sorted.
  std::vector<std::string> hidden_names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      if (e.path().filename().string().starts_with(".")) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// --- The store against a model ------------------------------------------------

TEST_F(MacroTest, StoreFollowsAModelThroughDefinitionsKillsCallsAndCutDefinitions) {
  // names that begin with no built-in's name, among them a kana and a
  // double-byte name
  const std::vector<std::string> names = {"ZA", "ZAB", "ZB", "JX", "IQ", "\xB1Z", "\x88\x9F", "OX9"};
  std::map<std::string, int> model;  // name -> the mark its body prints
  std::mt19937 random(12345);
  for (int op = 0; op < 160; ++op) {
    const std::string& name = names[random() % names.size()];
    const int mark = op;
    SCOPED_TRACE(testing::Message() << "op " << op << " name " << name);
    switch (random() % 5) {
      case 0:
      case 1: {  // define or replace
        ws_->Type("{" + name);
        ws_->Type("PF '#" + std::to_string(mark) + "'");
        ws_->Type("}");
        model[name] = mark;
        break;
      }
      case 2: {  // KILL
        const std::string out = typed("KILL " + name);
        EXPECT_EQ(out.find(sjis("は登録されていません")) != std::string::npos, !model.count(name)) << out;
        model.erase(name);
        break;
      }
      case 3: {  // a definition cut short by an error in its body
        ws_->Type("{" + name);
        ws_->Type("PF '#cut'");
        EXPECT_NE(typed("PF 'open").find(kMsg2), std::string::npos);
        break;
      }
      default: {  // a call
        // the longest defined name that begins the line runs ("ZA" for "ZAB")
        const std::string* runs = nullptr;
        for (const auto& [n, m] : model)
          if (name.starts_with(n) && (runs == nullptr || n.size() > runs->size())) runs = &n;
        const std::vector<std::string> got = marks(typed(name));
        if (runs != nullptr)
          EXPECT_EQ(got, std::vector<std::string>{"#" + std::to_string(model[*runs])});
        else
          EXPECT_TRUE(got.empty());
        break;
      }
    }
    if (op % 16 == 15) {
      std::vector<std::string> expected = {"Q"};
      for (const auto& [n, m] : model) expected.push_back(n);
      std::sort(expected.begin(), expected.end(),
                [](const std::string& a, const std::string& b) {
                  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                      [](char x, char y) { return u8(x) < u8(y); });
                });
      EXPECT_EQ(listed(), expected);
    }
  }
  // packed without dead text: the write pointer stands at the entries' end
  EXPECT_EQ(Store.WritePos, Store.EntriesEnd);
  std::size_t bytes = 0;
  for (int i = 0; i < Store.Count; ++i)
    bytes += std::strlen(mac_entry_name(i)) + std::strlen(mac_entry_body(i)) + 2;
  EXPECT_EQ(bytes, Store.EntriesEnd);
}

TEST_F(MacroTest, RedefiningOverAndOverNeverFillsTheStore) {
  const std::string body = "* " + std::string(200, 'x');
  for (int i = 0; i < 400; ++i) {
    ws_->Type("{ZZ");
    ws_->Type(body);
    ws_->Type("}");
    ASSERT_EQ(Mac.LineError, 0) << i;
  }
  EXPECT_EQ(listed(), (std::vector<std::string>{"Q", "ZZ"}));
}

TEST_F(MacroTest, BuiltInNamesAndKillStar) {
  EXPECT_NE(typed("{G").find(kMsg6), std::string::npos);
  lines({"{DX", "PF '#dx'", "}"});
  // the longer name wins over D
  EXPECT_EQ(marks(typed("DX")), std::vector<std::string>{"#dx"});
  EXPECT_EQ(marks(typed("dx 100")), std::vector<std::string>{"#dx"});
  lines({"KILL *"});
  EXPECT_EQ(listed(), std::vector<std::string>{"Q"});
  // every built-in is back: D dumps again
  EXPECT_NE(typed("DB 100,101").find("0100 "), std::string::npos);
}

// --- Arguments and expansion ----------------------------------------------------

TEST_F(MacroTest, ArgumentsSubstituteWithBracketsDroppedAndPercentDoubled) {
  lines({"{ARGS", "* %0|%1|%2|%%|%9|%5", "}"});
  const struct {
    const char* call;
    const char* echo;
  } cases[] = {
      {"ARGS a,[b,c],'d,e'", "* a|b,c|'d,e'|%||"},
      {"ARGS 0,1,2,3,4,5,6,7,8,9,10", "* 0|1|2|%|9|5"},  // an eleventh is not an argument
      {"ARGS", "* |||%||"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_NE(typed(c.call).find(std::string(">") + c.echo), std::string::npos);
  }
}

TEST_F(MacroTest, LongSubstitutedLineIsRefusedAndRecursionStopsAtSixteen) {
  lines({"{LONG", "* %0%0%0%0%0%0", "}"});
  EXPECT_NE(typed("LONG " + std::string(180, 'y')).find(kMsg2), std::string::npos);  // 1,080 bytes
  EXPECT_EQ(typed("LONG " + std::string(150, 'y')).find(kMsg2), std::string::npos);  // 900 bytes
  lines({"{SELF", "SELF", "}"});
  EXPECT_NE(typed("SELF").find(kMsg11), std::string::npos);
  EXPECT_EQ(Mac.Depth, 0);
}

TEST_F(MacroTest, SplittingRefusesOpenQuotesBracketsAndDanglingCommas) {
  for (const char* line : {"PF 'abc", "PF '%d',[1", "PF '%d',", "PF '%d',[1] 2"}) {
    SCOPED_TRACE(line);
    EXPECT_NE(typed(line).find(kMsg2), std::string::npos);
  }
  // an apostrophe after a register's name is no quote
  EXPECT_EQ(typed("R _BC'=1234").find(kMsg2), std::string::npos);
  EXPECT_EQ(::Run.Regs.bc2, 0x1234);
}

// --- Control structures -----------------------------------------------------------

TEST_F(MacroTest, ControlStructures) {
  const struct {
    const char* name;
    std::vector<std::string_view> text;
    std::vector<std::string> marks;
  } cases[] = {
      // a loop's body runs in a frame of its own: "%%" there gives "%"
      {"while", {"HL=0", "WHILE{ _HL<3", "PF '#%%d',_HL", "HL=_HL+1", "}"}, {"#0", "#1", "#2"}},
      {"while 10000 loops, break ends it", {"{W", "WHILE{ 10000", "PF '#w'", "BREAK", "PF '#no'", "}", "}", "W"}, {"#w"}},
      {"if 10000 is false", {"IF{ 10000", "PF '#no'", "}", "PF '#after'"}, {"#after"}},
      {"for with no init", {"HL=0", "FOR{ ,_HL<2,HL=_HL+1", "PF '#%%d',_HL", "}"}, {"#0", "#1"}},
      {"for with init", {"FOR{ HL=5,_HL<7,[HL=_HL+1]", "PF '#%%d',_HL", "}"}, {"#5", "#6"}},
      {"do runs once", {"HL=9", "DO{", "PF '#%%d',_HL", "HL=_HL+1", "}WHILE _HL<3"}, {"#9"}},
      {"do", {"HL=0", "DO{", "PF '#%%d',_HL", "HL=_HL+1", "}while _HL<2"}, {"#0", "#1"}},
      {"repeat", {"REPEAT{ 1,2,[3]", "PF '#%%d',%0", "}"}, {"#1", "#2", "#3"}},
      {"elseif", {"IF{ 0", "PF '#a'", "}ELSEIF{ 1", "PF '#b'", "}ELSE{", "PF '#c'", "}"}, {"#b"}},
      {"if true", {"IF{ 1", "PF '#a'", "}ELSEIF{ 1", "PF '#b'", "}ELSE{", "PF '#c'", "}"}, {"#a"}},
      {"else", {"IF{ 0", "PF '#a'", "}ELSEIF{ 0", "PF '#b'", "}ELSE{", "PF '#c'", "}", "PF '#d'"}, {"#c", "#d"}},
      {"nested if skipped whole", {"IF{ 0", "IF{ 1", "PF '#a'", "}ELSE{", "PF '#b'", "}", "}ELSE{", "PF '#c'", "}"}, {"#c"}},
      {"nested loops with break",
       // the inner body is read through the outer frame, then its own
       {"REPEAT{ 1,2", "REPEAT{ 7,8", "PF '#%%%%d',%%0", "BREAK", "}", "PF '#out%%d',%0", "}"},
       {"#7", "#out1", "#7", "#out2"}},
      {"wait without a key ends", {"WAIT 2", "PF '#w'"}, {"#w"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string out;
    for (std::string_view line : c.text) out += typed(line);
    EXPECT_EQ(marks(out), c.marks) << out;
    EXPECT_EQ(Mac.IfDepth, 0);
    EXPECT_EQ(Store.WritePos, Store.EntriesEnd);  // loop bodies are dropped
  }
}

TEST_F(MacroTest, ALongElseIfChainTakesNoStack) {
  // each false ELSEIF is skipped in the same loop: a deep chain is no recursion
  ws_->Type("IF{ 0");
  for (int i = 0; i < 3000; ++i) ws_->Type("}ELSEIF{ 0");
  ws_->Type("}ELSEIF{ 1");
  EXPECT_EQ(marks(typed("PF '#taken'")), std::vector<std::string>{"#taken"});
  typed("}");
  EXPECT_EQ(Mac.IfDepth, 0);
}

TEST_F(MacroTest, BrokenControlLinesReportCommandError) {
  for (const char* line : {"FOR{ a,b,c,d", "WHILE{ a,b", "WHILE{", "IF{", "REPEAT{", "}ELSE{"}) {
    SCOPED_TRACE(line);
    EXPECT_NE(typed(line).find(kMsg34), std::string::npos);
  }
  // DO{ closed by a bare "}": message 34, and the text area as it was
  const u32 before = Store.WritePos;
  typed("DO{");
  typed("PF '#x'");
  EXPECT_NE(typed("}").find(kMsg34), std::string::npos);
  EXPECT_EQ(Store.WritePos, before);
  // a lone "}" records an error and prints nothing
  EXPECT_EQ(typed("}"), "}\n>");
  EXPECT_EQ(Mac.LineError, 1);
}

TEST_F(MacroTest, AnIfLeftOpenByABodyDoesNotOutliveIt) {
  lines({"{OPEN", "IF{ 1", "BREAK", "}", "}"});
  typed("OPEN");
  EXPECT_EQ(Mac.IfDepth, 0);
  EXPECT_EQ(typed("}"), "}\n>");  // nothing is open
  EXPECT_EQ(Mac.LineError, 1);
}

// --- Assignment lines and breakpoint commands ---------------------------------------

TEST_F(MacroTest, AssignmentLinesSetRegistersOrDefineSymbols) {
  typed("HL=1234");
  EXPECT_EQ(::Run.Regs.hl, 0x1234);
  typed("a=5");
  EXPECT_EQ(::Run.Regs.af >> 8, 5);
  const std::string out = typed("FOO=12");
  EXPECT_NE(out.find(sjis("シンボルを登録しました")), std::string::npos) << out;
  EXPECT_EQ(marks(typed("PF '#%x',FOO")), std::vector<std::string>{"#12"});
  typed(". FOO=CAN");
  EXPECT_NE(typed("PF '#%x',FOO").find(kMsg34), std::string::npos);
  // "==" is no assignment
  typed("HL==1");
  EXPECT_EQ(::Run.Regs.hl, 0x1234);
}

TEST_F(MacroTest, BreakpointCommandTextRunsAtItsStop) {
  poke(0x100, {0x3E, 0x05, 0x3C, 0x00, 0x18, 0xFA});
  typed("BP 103,,PF '#bp %02x',_A");
  const std::string out = typed("G =100,/W");
  EXPECT_EQ(marks(out), std::vector<std::string>{"#bp 06"}) << out;
  // only breakpoints 1..63 have command texts
  Mac.PendingBreak = 64;
  EXPECT_TRUE(marks(typed("PF '#next'")) == std::vector<std::string>{"#next"});
}

TEST_F(MacroTest, AFreeRunsStopIsShownBeforeTheMacrosNextLine) {
  poke(0x100, {0x18, 0xFE});  // JR $
  lines({"{RUNS", "G =100", "ESC", "PF '#after'", "}"});
  const std::string out = typed("RUNS");
  // the forced stop was found and shown ahead of the line after ESC, which
  // then ran on a stopped target
  EXPECT_EQ(::Run.ExecutionState, kExecStopped);
  const std::size_t after = out.find("\n#after");
  ASSERT_NE(after, std::string::npos) << out;
  EXPECT_NE(out.substr(0, after).find("\nReal Time Count = "), std::string::npos) << out;
}

TEST_F(MacroTest, SymbolsAddedByACommandAreInOrderAfterIt) {
  ASSERT_EQ(sym_add("LATE", 0x1234, 0), 0);  // added: the order is due for a sort
  ASSERT_EQ(Sym.SortState, kSymAdded);
  typed("H 1");
  EXPECT_EQ(Sym.SortState, kSymSorted);
  EXPECT_EQ(sym_index_from_address(0x1234), 1);  // found by address only once in order
}

// --- Files -------------------------------------------------------------------------

TEST_F(MacroTest, RedirectCreatesAppendsAndEndsWithTheMark) {
  lines({"> out.txt", "PF 'one'", ">"});
  EXPECT_EQ(file_text("out.txt"), "\r\n>PF 'one'\r\none\r\n>>\x1A");
  EXPECT_EQ(hidden_names(), std::vector<std::string>{});  // no temporary file left
  lines({">> out.txt", "PF 'two'", ">"});
  EXPECT_EQ(file_text("out.txt"), "\r\n>PF 'one'\r\none\r\n>>\r\n>PF 'two'\r\ntwo\r\n>>\x1A");
  // a file without the mark keeps its last byte; an empty one starts at 0
  write_file("plain.txt", "ab");
  write_file("empty.txt", "");
  for (const char* name : {"plain.txt", "empty.txt"}) {
    SCOPED_TRACE(name);
    const std::string before = file_text(name);
    lines({std::string(">> ") + name, ">"});
    EXPECT_EQ(file_text(name), before + "\r\n>>\x1A");
  }
}

TEST_F(MacroTest, ANewRedirectFileReplacesTheOldOneOnlyWhenComplete) {
  write_file("keep.txt", "the old file");
  lines({"> keep.txt", "PF 'new'"});
  EXPECT_EQ(file_text("keep.txt"), "the old file");  // still being written
  lines({">"});
  EXPECT_EQ(file_text("keep.txt"), "\r\n>PF 'new'\r\nnew\r\n>>\x1A");

  // On a full disk the command fails with message 40, the new file is
  // dropped and the old one stays whole.
  write_file("keep.txt", "the old file");
  std::string out;
  {
    const FileSizeLimit full_disk(200);
    out = lines({"> keep.txt", "D 0,1FF"});
  }
  EXPECT_NE(out.find(sjis("\n ディスクがいっぱいです")), std::string::npos) << out;
  EXPECT_EQ(Redir.Handle, -1);
  EXPECT_EQ(file_text("keep.txt"), "the old file");
  EXPECT_EQ(hidden_names(), std::vector<std::string>{});

  // The same when only the end mark no longer fits: the close reports it.
  {
    redir_open(false, "keep.txt");
    const FileSizeLimit full_disk(0);
    EXPECT_EQ(redir_close(), 40);
  }
  EXPECT_EQ(file_text("keep.txt"), "the old file");
  EXPECT_EQ(hidden_names(), std::vector<std::string>{});
  // a file that cannot even be begun: message 39, the old one untouched
  EXPECT_NE(typed("> nofolder\\keep.txt").find(sjis("\n ファイルがクリエートできません")), std::string::npos);
}

TEST_F(MacroTest, RedirectBackspaceStopsAtTheStart) {
  redir_open(false, "bs.txt");
  redir_write_byte(8);  // at position 0: nothing moves
  redir_write_byte('a');
  redir_write_byte('b');
  redir_write_byte(8);
  redir_write_byte('c');
  redir_close();
  EXPECT_EQ(file_text("bs.txt"), "ac\x1A");
}

TEST_F(MacroTest, InputFilesRunTheirLinesAndSavedMacrosComeBack) {
  write_file("in.mcr", "PF '#lf'\nPF '#crlf'\r\nPF '#end'\n\x1APF '#never'\n");
  EXPECT_EQ(marks(typed("<in.mcr")), (std::vector<std::string>{"#lf", "#crlf", "#end"}));
  EXPECT_EQ(Input.Handle, -1);
  EXPECT_NE(typed("<none.mcr").find(sjis("指定ファイルがありません")), std::string::npos);

  lines({"{M1", "PF '#m1 %%d',%0", "}", "{\xB1\xB2", "PF '#kana'", "}"});
  lines({"MLIST >saved.mcr", "KILL *"});
  EXPECT_EQ(listed(), std::vector<std::string>{"Q"});
  const std::string out = typed("<saved.mcr");
  EXPECT_EQ(out.find("PF '#kana'"), std::string::npos) << out;  // definitions are not echoed
  EXPECT_EQ(listed(), (std::vector<std::string>{"M1", "Q", "\xB1\xB2"}));
  EXPECT_EQ(marks(typed("M1 7")), std::vector<std::string>{"#m1 7"});
  EXPECT_EQ(marks(typed("\xB1\xB2")), std::vector<std::string>{"#kana"});
}

// --- PRINTF ----------------------------------------------------------------------------

TEST_F(MacroTest, PrintfConversionsAndTargetStrings) {
  poke(0x200, {'h', 'i', '!', 0});
  poke(0x300, Bytes(1100, 'A'));
  const struct {
    const char* line;
    std::string out;
  } cases[] = {
      {"PF '#%04x %d\\n',10,10", "#0010 16"},
      {"PF '#\\101\\t|'", "#A\t|"},
      {"PF '#%c%c',41,142", "#AB"},  // the low byte
      {"PF '#%o %u %X',8,FFFF,ABC", "#10 65535 ABC"},
      {"PF '#%-4d|%3d|',5,7", "#5   |  7|"},
      {"PF '#%s|%.1s|%5s',200,200,201", "#hi!|h|   i!"},
      {"PF '#%%|%q'", "#%|q"},
      {"PF '#%x',12345", "#2345"},  // values are kept as 16 bits
      {"PF #plain", "#plain"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(marks(typed(c.line)), std::vector<std::string>{c.out});
  }
  // a target string stops after 1,024 bytes (seen whole in a redirect file)
  lines({"> long.txt", "PF '#%s',300", ">"});
  const std::string text = file_text("long.txt");
  EXPECT_NE(text.find("\r\n#" + std::string(1024, 'A') + "\r\n"), std::string::npos);
  EXPECT_NE(typed("PF").find(kMsg34), std::string::npos);
}

TEST_F(MacroTest, EchoAndOutputSwitches) {
  lines({"{QUIET", "PF '#q'", "}"});
  EXPECT_NE(typed("QUIET").find(">PF '#q'"), std::string::npos);
  typed("SALL");
  EXPECT_EQ(typed("QUIET").find(">PF"), std::string::npos);
  typed("LALL");
  typed("NLIST");
  EXPECT_TRUE(marks(typed("PF '#hidden'")).empty());
  typed("LIST");
  EXPECT_EQ(marks(typed("PF '#shown'")), std::vector<std::string>{"#shown"});
}

TEST_F(MacroTest, ScreenWordsPlaceTheCursorAndClear) {
  lines({"{LOC", "SALL", "CLS", "LOCATE 5,2", "PF 'X'", "HOME", "PF 'H'", "LALL", "}"});
  typed("LOC");
  const u16 top = Con.Slots[kSlotCommand].top;
  const u8* row = con_screen_row(u16(top + 2));
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row[5 * 2], 'X');
  EXPECT_EQ(row[4 * 2], ' ');  // cleared by CLS
  EXPECT_EQ(con_screen_row(top)[0], 'H');
  // a position outside the window is ignored
  EXPECT_EQ(typed("LOCATE 5,500").find(kMsg34), std::string::npos);
}

// The smallest store (-B,1: 148 slots) holds the built-ins and 27 more.
class SmallStoreTest : public EngineTest {};

TEST_F(SmallStoreTest, FullSlotsRefuseTheNextDefinitionAndKeepTheStore) {
  ScriptedWindowSide ws;
  ws.Start(" -B,1 ");
  ASSERT_EQ(Store.SlotTotal, 148u);
  const u16 builtins = Store.Count;
  int defined = 0;
  std::string out;
  for (; defined < 40; ++defined) {
    out = ws.Typed("{Z" + std::to_string(defined));
    out += ws.Typed("* body");
    out += ws.Typed("}");
    if (out.find(sjis("マクロ バッファがいっぱいです")) != std::string::npos) break;
  }
  EXPECT_EQ(defined, 146 - builtins);
  EXPECT_EQ(Store.Count, 146);
  EXPECT_EQ(Store.WritePos, Store.EntriesEnd);
  // a replacement still fits, and a kill makes room again
  EXPECT_EQ(ws.Typed("{Z0").find(sjis("いっぱい")), std::string::npos);
  ws.Type("* again");
  ws.Type("}");
  ws.Type("KILL Z1");
  EXPECT_EQ(Store.Count, 145);
  ws.Type("{Z99");
  ws.Type("* fits");
  EXPECT_EQ(ws.Typed("}").find(sjis("いっぱい")), std::string::npos);
  EXPECT_EQ(Store.Count, 146);
}

}  // namespace
