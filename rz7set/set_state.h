// The setup program's state: the processor family of the run, the language
// and edition flags, the program-wide texts, the main form's own members, the
// family alias table and the string resources. Everything here is plain data
// with start-up values; set_reset_state() puts it all back (tests call it).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

// Processor families; a family's resource strings are family + 10 .. + 16.
using CpuFamily = u32;
constexpr CpuFamily kFamilyZ80 = 100;
constexpr CpuFamily kFamilyV86 = 200;
constexpr CpuFamily kFamily386 = 300;
constexpr CpuFamily kFamily68K = 400;
constexpr CpuFamily kFamily68K32 = 500;
constexpr CpuFamily kFamilyVR = 600;
constexpr CpuFamily kFamilyV8 = 700;
constexpr CpuFamily kFamilySH = 800;
constexpr CpuFamily kFamilyARM = 900;
constexpr CpuFamily kFamilyH83H = 1000;
constexpr CpuFamily kFamilyV8E = 1100;
constexpr CpuFamily kFamilyT900 = 1200;
constexpr CpuFamily kFamilyM32R = 1300;
constexpr CpuFamily kFamilyMN103 = 1400;
constexpr CpuFamily kFamilyPPC = 1500;

struct CpuAlias {
  CpuFamily family;       // 0 closes the table
  const char* alias;      // what a switch or a %CPU entry names
  const char* canonical;  // the family's registry subkey
};
// 51 rows, family by family; a family's first row gives its %CPU alias.
extern const CpuAlias CpuAliasTable[52];

// The row whose alias equals `alias` exactly, first row to last; null when none.
const CpuAlias* set_find_alias(std::string_view alias);
// The first row of `family`; null for a family that has none.
const CpuAlias* set_family_row(CpuFamily family);

struct SetupState {
  CpuFamily cpu_family = 0;      // 0 until a switch or a project's %CPU sets it
  bool english_ui = false;       // captions and messages from the English ids
  bool j_edition = false;        // "/QNJ": its own strings, key and help file
  bool network_host = false;     // "/NW": the emulator is reached over the network
  bool windows_nt = false;       // the per-user hive is read and written too
  bool no_monitor_source = false;  // the project has no monitor source
};
extern SetupState Setup;

// Program-wide texts (CP932).
struct SetupTexts {
  std::string AppTitle = "RZ7SET";  // caption of the main window and of every box
  std::string CmdPrjPath;           // project path from the command line
  std::string PrjDirValue;          // %DIR of the project file
  std::string PrjCpuValue;          // %CPU written for the family
  std::string ProductName;          // version texts, at most 63 bytes each
  std::string ProductVersion;
  std::string LegalCopyright;
  std::string SavedCwd;             // set_save_cwd / set_restore_cwd
  std::vector<std::string> Args;    // the command-line arguments (CP932), program name excluded
  std::string ProgramFile;          // the program's own file (system form)
  std::string CmdPrjGiven;          // the project path as given (trimmed, case kept): the file opened
};
extern SetupTexts SetTexts;

// The main form's own members; the form shows them.
struct MainFormState {
  std::string DefPrjDir;   // default project folder (registry PRJ)
  std::string PrjDir;      // project folder; empty while no project is open
  std::string PrjFile;     // the project file that was read, saved back to the same file
  std::string EditorName = "notepad.exe";
  std::string EditorFmt = "%s %s\\%s";
  std::string BinDir;      // install folder (registry BIN)
  std::string OptMark;     // first-run mark (registry OPT)
  std::string OpnDir;      // last opened project folder (registry OPN)
  std::string PrjName;     // %PRJ
  std::string HelpFile = "RZ7SET.HLP";
  std::array<std::string, 6> CpuFiles;  // the family's strings 11 to 16
  bool PrjOpen = false;    // a project is open
  bool AutoOption = false; // started by the debugger: open the start options at once
};
extern MainFormState MainSt;

// Every area of the program back to its start-up values.
void set_reset_state();

// The text of string resource `id` by the lookup rule: ids from 5000 up
// shifted by 1000 in English, 10 to 49 shifted by the family, and the J
// edition's own string at +10000 first. A missing string is empty.
std::string set_res_string(u32 id);
// The raw resource `id` (CP932), empty when there is none.
std::string_view set_raw_string(u32 id);

// Message box styles and the Yes answer.
constexpr unsigned kMsgError = 16;
constexpr unsigned kMsgInfo = 64;
constexpr unsigned kMsgQuestion = 68;
constexpr unsigned kMsgErrorYesNo = 20;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Shows message `id` with its "%s" filled from `first` and `second` (null:
// absent), captioned AppTitle; returns the button chosen.
int set_msg_box(u32 id, const char* first, const char* second, unsigned style);
// `format` with its "%s" placeholders filled in order; a placeholder with no
// text left stays empty.
std::string set_format(std::string_view format, std::string_view a, std::string_view b = {},
                       std::string_view c = {});
