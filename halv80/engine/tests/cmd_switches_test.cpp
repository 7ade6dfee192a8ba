// The start-up switches.
#include "halv80/engine/cmd_switches.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "halv80/engine/cmd_core.h"
#include "halv80/engine/sup_messages.h"
#include "halv80/engine/testing/scripted_window_side.h"
#include "halv80/engine/tests/engine_fixture.h"

namespace {

using SwitchesTest = EngineTest;

void parse(const char* line) {
  std::snprintf(Cmd.SwitchLine, sizeof Cmd.SwitchLine, "%s", line);
  cmd_parse_switches();
}

TEST_F(SwitchesTest, SwitchTable) {
  const struct {
    const char* line;
    std::function<bool()> holds;
  } cases[] = {
      {"-XM3 -TAB20 prog.abs",
       [] {
         return Sw.ToolchainKind == 4 && Sw.ToolchainVariant == 3 && Sw.TabWidth == 16 &&
                Sw.StartupProgram == "prog.abs" && Sw.StartupProgramGiven == 1;
       }},
      {"-B0", [] { return Sw.SymbolBlockSetting == 2048 && Sw.SymbolBlockLimit == 4; }},
      {"-B,100", [] { return Sw.SymbolBlockSetting == 0x10000 && Sw.MacroStoreUnits == 6400; }},
      {"-B,1", [] { return Sw.MacroStoreUnits == 192; }},
      {"-B8000;3,9,9",
       [] { return Sw.SymbolBlockSetting == 512000 && Sw.SymbolBlockLimit == 8 && Sw.MacroStoreUnits == 192; }},
      {"-E", [] { return std::strcmp(Sw.DefaultSourceExtension, ".SRC") == 0; }},
      {"-EASM", [] { return std::strcmp(Sw.DefaultSourceExtension, ".ASM") == 0; }},
      {"-E123456789",
       [] { return std::strcmp(Sw.DefaultSourceExtension, ".12345678") == 0 && Sw.StartupProgram == "9"; }},
      {"-SD \"C:\\my src\" -Q",
       [] { return Sw.HasSourceDirectoryOverride && Sw.SourceDirectoryOverride == "C:\\my src" && Sw.StartedBySetup; }},
      {"-SD\\src", [] { return Sw.SourceDirectoryOverride == "\\src"; }},
      {"-A8", [] { return Sw.MnemonicSet == 0; }},
      {"-az", [] { return Sw.MnemonicSet == 1; }},
      {"-XH", [] { return Sw.ToolchainKind == 2; }},
      {"-XI", [] { return Sw.ToolchainKind == 3; }},
      {"-XL", [] { return Sw.ToolchainKind == 1; }},
      {"-XL3", [] { return Sw.ToolchainKind == 5; }},
      {"-XQ", [] { return Sw.ToolchainKind == 16; }},
      {"-S4", [] { return Sw.SubProcessKbytes == 256; }},
      {"-SP", [] { return Sw.StepModeFlag == 1; }},
      {"-!", [] { return Sw.NoMonitorMode == 1 && Sw.StartupFlag == 1; }},
      {"-!L", [] { return Sw.NoMonitorMode == 2; }},
      {"-!R -!B -!T -!V", [] { return Sw.RunSetupDone == 1 && Sw.BootSwitchB == 1 && Sw.NoMonitorOption == 1 && Sw.NoMonitorMode == 0; }},
      {"-KEY play.txt -N -P 10 -TSR -TSUKA", [] { return Sw.KeyPlayback && Sw.KeyPlaybackFile == "play.txt" && Sw.TsukaKeys; }},
      {"-LOG rec.bin", [] { return Sw.KeyRecord && Sw.KeyRecordFile == "rec.bin" && !Sw.KeyPlayback; }},
      {"PROG.ABS -Q -XL", [] { return Sw.StartupProgram == "PROG.ABS -Q -XL" && !Sw.StartedBySetup; }},
      {"-J", [] { return Cmd.LanguageJapanese == 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    reset_engine_state();
    parse(c.line);
    EXPECT_EQ(Cmd.AbortFlag, 0);
    EXPECT_TRUE(cmd_apply_switches());
    EXPECT_TRUE(c.holds());
  }
}

TEST_F(SwitchesTest, IllegalSwitchIsStartUpError21WithTheSwitch) {
  for (const char* line : {"-Q -Z more", "-U", "-S", "-AX"}) {
    SCOPED_TRACE(line);
    reset_engine_state();
    ScriptedWindowSide ws;
    parse(line);
    EXPECT_EQ(Cmd.AbortFlag, 1);
    EXPECT_FALSE(cmd_apply_switches());
    EXPECT_EQ(Sup.StartupFailure, 1);
    ASSERT_EQ(ws.boxes.size(), 1u);
    // the box shows the offending switch, up to its end
    std::string word = std::string(line).substr(std::string(line).starts_with("-Q ") ? 3 : 0);
    word = word.substr(0, word.find(' '));
    EXPECT_EQ(ws.boxes[0].text, sjis("不正なオプション指定 : ") + word);
  }
}

TEST_F(SwitchesTest, LongNameFromTheEnvironment) {
  const struct {
    const char* value;  // nullptr: unset
    u16 long_names;
  } cases[] = {{nullptr, 1}, {"off", 0}, {"OFFICE", 0}, {"on", 1}, {"", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value)
      setenv("LONGNAME", c.value, 1);
    else
      unsetenv("LONGNAME");
    cmd_read_longname();
    EXPECT_EQ(Sw.LongNames, c.long_names);
  }
  unsetenv("LONGNAME");
}

}  // namespace
