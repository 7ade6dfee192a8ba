// The interface-card entry of the configuration files: the walk that lists
// every file below the installation's top folder, the check and rewrite of
// the "PORT ADDRESS" line of each configuration file, and the change journal
// "change.log" in the top folder. Owns CfgWalkState. A file is only ever
// replaced whole: a failed rewrite leaves it as it was.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_dir.h"

constexpr std::string_view kCfgPortKey = "PORT ADDRESS";
constexpr std::string_view kCfgJournalName = "change.log";
constexpr std::string_view kCfgJournalHeader = "\n****\n\n";
constexpr std::string_view kCfgJournalChange = " ---- CHANGE@@@@@@\n";
constexpr std::string_view kCfgBoxTitle = "IOSET";
constexpr std::string_view kCfgReadError = "Read ERROR";
constexpr std::string_view kCfgWriteError = "Write ERROR";

// Folders deeper than this below the top folder are not walked.
constexpr int kCfgMaxDepth = 64;
// A configuration file is a few lines; a larger one is journaled, not rewritten.
constexpr std::size_t kCfgMaxRewrite = 1 << 20;

// The interface values the dialogs offer.
constexpr std::string_view kCfgIsaDefault = "320";
constexpr std::string_view kCfgCbusDefault = "E0";
constexpr std::string_view kCfgPcmcia = "PC";
constexpr std::string_view kCfgPci = "PCI";
constexpr std::string_view kCfgNetPrefix = "NET:";
constexpr std::string_view kCfgWindowsNt = "NT";

struct CfgWalkState {
  std::vector<std::string> CfgFileList;  // full paths in walk order
  std::size_t NextFile = 0;              // the first path not yet taken
  int Journal = -1;                      // change.log open for appending; -1 while not open
  bool JournalTried = false;             // the journal was made (or could not be) this run
};
extern CfgWalkState CfgWalk;

// Start-up values; closes an open journal.
void cfg_reset_state();

// The folder that holds the installation folder: `bin_dir` cut before its
// last "\" or ":". Empty when nothing is left (never the root).
std::string cfg_top_folder(std::string_view bin_dir);

// The entries of `pattern` (a folder, "\" and a name pattern); false when
// the folder cannot be read.
bool cfg_list_dir(std::string_view pattern, std::vector<HostDirEntry>& out);
// Appends folder + "\" + name to CfgFileList for every regular file of
// `folder` that matches `pattern`, then walks every subfolder with "*",
// depth first in listing order. Links are neither taken nor followed, and
// pipes and devices are left out. False, listing nothing, for an empty folder
// name: a walk never starts from the root.
bool cfg_collect_files(std::string_view folder, std::string_view pattern);
// Takes the listed paths one by one and updates each with `value`; stops at
// the first that fails. The list is empty afterwards.
void cfg_update_all(std::string_view value);
// Looks for the key in one file and journals the file; rewrites a
// configuration file that holds it. False when the walk must stop (the file
// cannot be opened, a read or write failed: the last two shown in a box).
bool cfg_update_file(std::string_view path, std::string_view value);
// True when the file name begins with "QQN" or the path contains ".CFG",
// letters compared in upper case.
bool cfg_is_config_name(std::string_view path);
// Replaces the value of every "PORT ADDRESS" line of the file with `value`.
// True when the file holds the new text.
bool cfg_rewrite_file(std::string_view path, std::string_view value);
// Takes the next line (up to and including CR LF) off `text` into `line`,
// its key's value token replaced by `value`. A last line without CR LF comes
// back unchanged. False when `text` is empty.
bool cfg_replace_port_line(std::string& text, std::string_view value, std::string& line);
// Journal entries: "\n" + path for a visited file (making the journal on the
// first call of the run), the change marker after it. Each entry is one
// write at the journal's end; a journal that cannot be made is passed over.
void cfg_journal_file(std::string_view path);
void cfg_journal_change();
void cfg_journal_close();

// What the interface dialogs' OK does: collects every file below the top
// folder of the installation (MainSt.BinDir), writes `value` into the
// configuration files, closes the journal and marks the first run done, also
// after a walk that stopped early. With no top folder it shows message 5047,
// changes nothing and returns false, so the next start asks again.
bool cfg_apply_interface(std::string_view value);
