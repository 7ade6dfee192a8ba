// The configuration-file walk, the "PORT ADDRESS" rewrite and the change
// journal.
#include "rz7set/cfg_ioset.h"

#include <algorithm>
#include <array>

#include "platform/host/host_file.h"
#include "platform/host/host_ui.h"
#include "rz7set/set_settings.h"
#include "rz7set/set_state.h"

CfgWalkState CfgWalk;

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr unsigned kBoxStop = kBoxOk | kBoxIconError;

void box(std::string_view text) { host_message_box(kCfgBoxTitle, text, kBoxStop); }

// A byte that ends a value token or is skipped before one.
bool separates(char c) {
  const auto b = static_cast<unsigned char>(c);
  return b <= 0x20 || b >= 0x80;
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return out;
}

std::string join(std::string_view folder, std::string_view name) {
  std::string out(folder);
  if (out.empty() || out.back() != '\\') out += '\\';
  out += name;
  return out;
}

bool collect(std::string_view folder, std::string_view pattern, int depth) {
  std::vector<HostDirEntry> entries;
  if (cfg_list_dir(join(folder, pattern), entries)) {
    for (const HostDirEntry& e : entries)
      if (e.is_regular) CfgWalk.CfgFileList.push_back(join(folder, e.name));
  }
  if (depth >= kCfgMaxDepth) return true;
  if (!cfg_list_dir(join(folder, "*"), entries)) return true;
  for (const HostDirEntry& e : entries) {
    if (!e.is_directory || e.is_link || e.name == "." || e.name == "..") continue;
    collect(join(folder, e.name), "*", depth + 1);
  }
  return true;
}

void journal_write(std::string_view text) {
  if (CfgWalk.Journal < 0) return;
  host_file_write(CfgWalk.Journal, text.data(), u32(text.size()));
}

}  // namespace

void cfg_reset_state() {
  cfg_journal_close();
  CfgWalk = CfgWalkState{};
}

std::string cfg_top_folder(std::string_view bin_dir) {
  const std::size_t cut = bin_dir.find_last_of("\\:");
  if (cut == std::string_view::npos) return {};
  return std::string(bin_dir.substr(0, cut));
}

bool cfg_list_dir(std::string_view pattern, std::vector<HostDirEntry>& out) { return host_list_directory(pattern, out); }

bool cfg_collect_files(std::string_view folder, std::string_view pattern) {
  if (folder.empty()) return false;  // "" + "\*" would be the root
  return collect(folder, pattern, 0);
}

void cfg_update_all(std::string_view value) {
  while (CfgWalk.NextFile < CfgWalk.CfgFileList.size()) {
    const std::string path = std::move(CfgWalk.CfgFileList[CfgWalk.NextFile++]);
    if (!cfg_update_file(path, value)) break;
  }
  CfgWalk.CfgFileList.clear();
  CfgWalk.NextFile = 0;
}

bool cfg_is_config_name(std::string_view path) {
  const std::string up = upper(path);
  const std::size_t cut = up.find_last_of("\\:");
  const std::string_view name = cut == std::string::npos ? std::string_view(up) : std::string_view(up).substr(cut + 1);
  return name.starts_with("QQN") || up.find(".CFG") != std::string::npos;
}

bool cfg_update_file(std::string_view path, std::string_view value) {
  const int h = host_file_open(path, kFileModeRead);
  if (h == kNoFile) return false;
  // The key is looked for chunk by chunk, keeping the bytes of a key cut by a
  // chunk's end, so a large file is never held whole.
  std::array<char, 65536> chunk;
  std::string window;
  std::size_t size = 0;
  bool found = false;
  for (;;) {
    const i32 n = host_file_read(h, chunk.data(), u32(chunk.size()));
    if (n < 0) {
      host_file_close(h);
      box(kCfgReadError);
      return false;
    }
    if (n == 0) break;
    size += std::size_t(n);
    if (found) continue;
    window.append(chunk.data(), std::size_t(n));
    if (window.find(kCfgPortKey) != std::string::npos) {
      found = true;
    } else if (window.size() >= kCfgPortKey.size()) {
      window.erase(0, window.size() - (kCfgPortKey.size() - 1));
    }
  }
  host_file_close(h);
  cfg_journal_file(path);
  if (!found || !cfg_is_config_name(path)) return true;
  if (size > kCfgMaxRewrite) return true;  // no configuration file: only journaled
  cfg_journal_change();
  return cfg_rewrite_file(path, value);
}

bool cfg_rewrite_file(std::string_view path, std::string_view value) {
  // Opened for reading and writing, unshared: a file we may not write is
  // left alone and stops the walk, as the system's own open would.
  const int h = host_file_open(path, kFileModeReadWrite);
  if (h == kNoFile) return false;
  std::string text;
  std::array<char, 65536> chunk;
  for (;;) {
    const i32 n = host_file_read(h, chunk.data(), u32(chunk.size()));
    if (n < 0 || text.size() + std::size_t(n) > kCfgMaxRewrite) {
      host_file_close(h);
      box(kCfgReadError);
      return false;
    }
    if (n == 0) break;
    text.append(chunk.data(), std::size_t(n));
  }
  host_file_close(h);

  const std::string old_text = text;
  std::string rewritten;
  std::string line;
  while (cfg_replace_port_line(text, value, line)) rewritten += line;
  if (rewritten == old_text) return true;  // the key stood only in comments
  const auto* bytes = reinterpret_cast<const u8*>(rewritten.data());
  if (!host_write_file_atomic(path, {bytes, rewritten.size()})) {
    box(kCfgWriteError);
    return false;
  }
  return true;
}

bool cfg_replace_port_line(std::string& text, std::string_view value, std::string& line) {
  if (text.empty()) return false;
  const std::size_t end = text.find(kLineEnd);
  if (end == std::string::npos) {
    line = std::move(text);  // a last line without its end is never rewritten
    text.clear();
    return true;
  }
  line = text.substr(0, end + kLineEnd.size());
  text.erase(0, end + kLineEnd.size());

  // the key counts only before a comment
  const std::size_t semi = line.find(';');
  const std::string_view code = std::string_view(line).substr(0, std::min(semi, end));
  if (code.find(kCfgPortKey) == std::string_view::npos) return true;

  // Blanks after the key, then the token; both stop at the line's CR, so a
  // key with no value gets it before the line end, never inside it.
  const std::size_t cr = end;
  std::size_t start = line.find(kCfgPortKey) + kCfgPortKey.size();
  while (start < cr && separates(line[start])) ++start;
  std::size_t stop = start;
  while (stop < cr && !separates(line[stop])) ++stop;
  line.replace(start, stop - start, value);
  return true;
}

void cfg_journal_file(std::string_view path) {
  if (!CfgWalk.JournalTried) {
    CfgWalk.JournalTried = true;
    // A new journal for this run, in place of any older one, whole or not at all.
    const std::string name = join(cfg_top_folder(MainSt.BinDir), kCfgJournalName);
    const auto* header = reinterpret_cast<const u8*>(kCfgJournalHeader.data());
    if (host_write_file_atomic(name, {header, kCfgJournalHeader.size()}))
      CfgWalk.Journal = host_file_open(name, kFileModeAppend);
  }
  std::string entry = "\n";
  entry += path;
  journal_write(entry);
}

void cfg_journal_change() { journal_write(kCfgJournalChange); }

void cfg_journal_close() {
  if (CfgWalk.Journal >= 0) host_file_close(CfgWalk.Journal);
  CfgWalk.Journal = -1;
  CfgWalk.JournalTried = false;
}

bool cfg_apply_interface(std::string_view value) {
  const std::string top = cfg_top_folder(MainSt.BinDir);
  if (top.empty()) {
    set_msg_box(5047, nullptr, nullptr, kMsgError);
    return false;
  }
  cfg_collect_files(top, "*");
  cfg_update_all(value);
  cfg_journal_close();
  set_mark_first_run_done();
  return true;
}
