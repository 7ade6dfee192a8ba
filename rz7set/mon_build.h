// The monitor build runner: builds the project's monitor image from its
// source, either through the family's monitor assembler in the install
// folder, which reports through the status block (mon_status.h), or through
// the family's build batch run by /bin/sh, whose output is read back. Owns
// MonBuildState. What happened goes into a memo text (CP932, CR LF).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/host/host_shared.h"

constexpr std::string_view kMonPrompt = "MKMON>";
constexpr std::size_t kMonBatchOutputMax = 1024;  // of the batch's output, the memo shows this much
constexpr std::string_view kMonShell = "/bin/sh";

struct MonBuildState {
  bool AsmMode = false;                      // the build in hand runs the assembler, else the batch
  std::optional<std::string> SavedPath;      // PATH before the build, while one runs
  std::unique_ptr<HostSharedBlock> Status;   // the status block, during an assembler build
};
extern MonBuildState MonBuild;

// Start-up values; closes a status block still open.
void mon_reset_state();

// The mode of the next build: AsmMode is set when the install folder holds
// the monitor image's name with the extensions "EXE" and "OUT" (mon80.EXE and
// mon80.OUT for the Z80 family).
void mon_choose_mode();
// Creates the status block and names it to the assembler; false when it
// cannot be made.
bool mon_map_status();
// Reads the block after the assembler ended, adds a failure to `memo`,
// closes the block; true only for a finished build.
bool mon_read_status(std::string& memo);
// PATH with the install folder before it, and PROMPT "MKMON>"; the restore
// puts PATH back (PROMPT stays for the rest of the run).
void mon_set_environment();
void mon_restore_environment();
// The install folder as it goes into PATH: the folder in its own case, or
// empty when it does not exist or cannot stand in PATH.
std::string mon_short_path(std::string_view folder);
// The assembler's command line, as it is shown.
std::string mon_assembler_command();
// Runs the assembler in the project folder and waits for it; false (with a
// line in `memo`) when it could not be started.
bool mon_run_assembler(std::string& memo);
// The batch's command line, as it is shown.
std::string mon_batch_command();
// Runs the build batch in the project folder with /bin/sh, found in the
// project folder first, then along PATH; adds its output to `memo`. False
// when it could not be started.
bool mon_run_batch(std::string& memo);
// Deletes the monitor image and the batch's intermediate source (.SRC) in the
// project folder; missing files are no error.
void mon_delete_outputs();
bool mon_image_exists();
// The whole build in the chosen mode; true when the monitor image was made.
bool mon_build(std::string& memo);
// The listing's name: the image name with its last three characters "PRN"
// for the Z80 family, "LST" for the others.
std::string mon_listing_name();
