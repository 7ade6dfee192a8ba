// The monitor build: the mode, the status block, the environment around a
// build, and the assembler and batch runs.
#include "rz7set/mon_build.h"

#include <errno.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/host/host_dir.h"
#include "platform/host/host_env.h"
#include "platform/host/host_file.h"
#include "platform/host/host_process.h"
#include "platform/host/host_text.h"
#include "rz7set/mon_status.h"
#include "rz7set/set_state.h"

MonBuildState MonBuild;

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr u32 kMonitorSourceId = 12;
constexpr u32 kMonitorImageId = 13;
constexpr u32 kBuildBatchId = 15;
constexpr u32 kPhaseTextBase = 5029;  // + phase
constexpr u32 kErrorTextBase = 5035;  // + error code

std::string join(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (!out.empty() && out.back() != '\\') out += '\\';
  out += name;
  return out;
}

// `name` with everything after its last "." replaced by `ext` (a name
// without a dot gets one).
std::string with_extension(std::string_view name, std::string_view ext) {
  const std::size_t dot = name.rfind('.');
  std::string out(name.substr(0, dot));
  return out + "." + std::string(ext);
}

bool file_exists(std::string_view path) {
  const int h = host_file_open(path, kFileModeRead);
  if (h == kNoFile) return false;
  host_file_close(h);
  return true;
}

u32 get32(std::span<const u8> block, std::size_t at) {
  return u32(block[at]) | u32(block[at + 1]) << 8 | u32(block[at + 2]) << 16 | u32(block[at + 3]) << 24;
}

}  // namespace

void mon_reset_state() { MonBuild = MonBuildState{}; }

void mon_choose_mode() {
  const std::string image = join(MainSt.BinDir, set_res_string(kMonitorImageId));
  MonBuild.AsmMode = file_exists(with_extension(image, "EXE")) && file_exists(with_extension(image, "OUT"));
}

bool mon_map_status() {
  MonBuild.Status = HostSharedBlock::create_unique(kMonStatusName, kMonStatusSize);
  if (!MonBuild.Status) return false;
  host_env_set(kMonStatusNameVar, MonBuild.Status->name());
  return true;
}

bool mon_read_status(std::string& memo) {
  if (!MonBuild.Status) return false;
  const std::span<const u8> block = MonBuild.Status->bytes();
  const u32 status = get32(block, kMonStatusWordAt);
  bool done = status == kMonStatusDone;
  if (!done && (status & kMonStatusFailed) != 0) {
    // The block is the assembler's: its phase and code pick a text only
    // within their tables, and its text ends at the block's end at the latest.
    const u32 phase = std::min(status & kMonPhaseMask, kMonPhaseLast);
    u32 code = get32(block, kMonErrorCodeAt);
    if (code > kMonErrorLast) code = u32(MonError::Error);
    const auto* text = reinterpret_cast<const char*>(block.data() + kMonTextAt);
    const std::size_t length = strnlen(text, kMonTextSize);
    memo += kCrLf;
    memo += set_res_string(kPhaseTextBase + phase);
    memo.append(text, length);
    memo += kCrLf;
    memo += set_res_string(kErrorTextBase + code);
    memo += kCrLf;
  }
  MonBuild.Status.reset();
  return done;
}

std::string mon_short_path(std::string_view folder) {
  if (folder.empty() || !host_is_directory(folder)) return {};
  const std::string host = host_map_path(folder);
  // ":" would split the folder in the host's PATH, ";" in the system's form
  if (host.find_first_of(":;") != std::string::npos) return {};
  return host_system_path(host);
}

void mon_set_environment() {
  MonBuild.SavedPath = host_env_lookup("PATH");
  const std::string folder = mon_short_path(MainSt.BinDir);
  if (MonBuild.SavedPath && !folder.empty()) host_env_set("PATH", folder + ";" + *MonBuild.SavedPath);
  host_env_set("PROMPT", kMonPrompt);
}

void mon_restore_environment() {
  if (MonBuild.SavedPath) host_env_set("PATH", *MonBuild.SavedPath);
  MonBuild.SavedPath.reset();
}

std::string mon_assembler_command() {
  const std::string source = set_res_string(kMonitorSourceId);
  return join(MainSt.BinDir, with_extension(source, "EXE")) + " " + source + " -Z";
}

bool mon_run_assembler(std::string& memo) {
  const std::string source = set_res_string(kMonitorSourceId);
  const std::string program = join(MainSt.BinDir, with_extension(source, "EXE"));
  const std::vector<std::string> argv = {host_map_path(program), host_cp932_to_utf8(source), "-Z"};
  const HostRunResult run = host_run_and_wait(argv, host_map_path(MainSt.PrjDir), false, 0);
  if (run.started) return true;
  memo += kCrLf;
  memo += run.error == ENOENT ? "File not found [" : "CreateProcess [";
  memo += mon_assembler_command();
  memo += "] Error";
  memo += kCrLf;
  return false;
}

std::string mon_batch_command() { return std::string(kMonShell) + " " + set_res_string(kBuildBatchId); }

bool mon_run_batch(std::string& memo) {
  const std::string batch = set_res_string(kBuildBatchId);
  // The project's own batch first, then one along PATH (the install folder
  // leads it during a build); with neither the shell reports the name.
  std::string script = host_map_path(join(MainSt.PrjDir, batch));
  if (!file_exists(join(MainSt.PrjDir, batch))) {
    script = host_find_on_path(host_cp932_to_utf8(batch));
    if (script.empty()) script = host_cp932_to_utf8(batch);
  }
  const std::vector<std::string> argv = {std::string(kMonShell), script};
  const HostRunResult run = host_run_and_wait(argv, host_map_path(MainSt.PrjDir), true, kMonBatchOutputMax);
  if (run.pipe_failed) {
    memo += kCrLf;
    memo += "Error CreatePipe";
    memo += kCrLf;
    return false;
  }
  if (!run.started) {
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(run.error));
    memo += kCrLf;
    memo += "CreateProcess [" + mon_batch_command() + "] Error";
    memo += kCrLf;
    memo += "(" + std::string(code) + ")";
    memo += kCrLf;
    return false;
  }
  memo += kCrLf;
  memo += host_utf8_to_cp932(run.output);
  return true;
}

void mon_delete_outputs() {
  host_file_delete(join(MainSt.PrjDir, set_res_string(kMonitorImageId)));
  host_file_delete(join(MainSt.PrjDir, with_extension(set_res_string(kMonitorSourceId), "SRC")));
}

bool mon_image_exists() { return file_exists(join(MainSt.PrjDir, set_res_string(kMonitorImageId))); }

bool mon_build(std::string& memo) {
  if (MonBuild.AsmMode) {
    if (!mon_map_status()) return false;  // no block: the assembler is not run
    mon_set_environment();
    const bool started = mon_run_assembler(memo);
    mon_restore_environment();
    const bool done = mon_read_status(memo);
    return started && done;
  }
  mon_set_environment();
  mon_delete_outputs();
  const bool started = mon_run_batch(memo);
  mon_restore_environment();
  return started && mon_image_exists();
}

std::string mon_listing_name() {
  std::string name = set_res_string(kMonitorImageId);
  const std::string_view ext = Setup.cpu_family == 100 ? "PRN" : "LST";
  if (name.size() >= 3) name.resize(name.size() - 3);
  return name + std::string(ext);
}
