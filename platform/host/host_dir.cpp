// Current directory, folder tests, full paths and wildcard listings, with the
// system's path form on the engine's side and the host's below.
#include "platform/host/host_dir.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/host/host_file.h"
#include "platform/host/host_text.h"

namespace {

constexpr std::size_t kCwdLimit = 65536;  // getcwd's buffer stops growing here

// Equal characters at p[i] and n[j]; single bytes without regard to ASCII
// case, double-byte characters exactly (their second byte may look like a
// letter).
bool same_unit(std::string_view p, std::size_t i, std::string_view n, std::size_t j) {
  const std::size_t len = host_cp932_unit_length(p, i);
  if (len != host_cp932_unit_length(n, j)) return false;
  if (len == 1) return host_ascii_upper(u8(p[i])) == host_ascii_upper(u8(n[j]));
  return p[i] == n[j] && p[i + 1] == n[j + 1];
}

bool match_plain(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos;  // position of the last "*" seen
  std::size_t star_name = 0;                  // where its run in the name ends now
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += host_cp932_unit_length(name, n);
    } else if (p < pattern.size() && same_unit(pattern, p, name, n)) {
      p += host_cp932_unit_length(pattern, p);
      n += host_cp932_unit_length(name, n);
    } else if (star != std::string_view::npos) {
      // the last "*" takes one more character
      star_name += host_cp932_unit_length(name, star_name);
      n = star_name;
      p = star + 1;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// The position of the last "\" or "/" that is a character of its own, or npos.
std::size_t last_separator(std::string_view s) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < s.size(); i += host_cp932_unit_length(s, i))
    if (s[i] == '\\' || s[i] == '/') found = i;
  return found;
}

bool has_drive(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' && host_ascii_upper(u8(s[0])) >= 'A' && host_ascii_upper(u8(s[0])) <= 'Z';
}

bool dot_name(std::string_view name) { return name == "." || name == ".."; }

bool listing_order(const HostDirEntry& a, const HostDirEntry& b) {
  const bool a_dot = dot_name(a.name), b_dot = dot_name(b.name);
  if (a_dot != b_dot) return a_dot;
  const auto upper_less = [](char x, char y) { return host_ascii_upper(u8(x)) < host_ascii_upper(u8(y)); };
  if (std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), upper_less)) return true;
  if (std::lexicographical_compare(b.name.begin(), b.name.end(), a.name.begin(), a.name.end(), upper_less)) return false;
  return a.name < b.name;
}

std::string host_cwd() {
  std::vector<char> buffer(256);
  while (buffer.size() <= kCwdLimit) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return buffer.data();
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  return {};
}

}  // namespace

bool host_set_current_dir(std::string_view path) {
  const std::string host = host_map_path(path);
  return !host.empty() && chdir(host.c_str()) == 0;
}

std::string host_current_dir() {
  const std::string cwd = host_cwd();
  return cwd.empty() ? std::string() : host_system_path(cwd);
}

bool host_is_directory(std::string_view path) {
  const std::string host = host_map_path(path);
  struct stat st;
  return !host.empty() && stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool host_make_directory(std::string_view path) {
  const std::string host = host_map_path(path);
  return !host.empty() && mkdir(host.c_str(), 0777) == 0;
}

std::string host_full_path(std::string_view path) {
  std::string p = host_cp932_to_utf8(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  if (has_drive(p)) p.erase(0, 2);
  if (p.empty() || p[0] != '/') {
    const std::string cwd = host_cwd();
    if (cwd.empty()) return {};
    p = cwd + "/" + p;
  }
  std::vector<std::string_view> parts;
  const std::string_view all = p;
  for (std::size_t i = 0; i < all.size();) {
    const std::size_t end = std::min(all.find('/', i), all.size());
    const std::string_view part = all.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();  // the root's parent is the root
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::string out;
  for (const std::string_view part : parts) {
    out += '/';
    out += part;
  }
  return host_system_path(out.empty() ? std::string_view("/") : std::string_view(out));
}

bool host_wildcard_match(std::string_view pattern, std::string_view name) {
  if (match_plain(pattern, name)) return true;
  // "x.*" matches "x": the missing extension counts as an empty one
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         name.find('.') == std::string_view::npos && match_plain(pattern.substr(0, pattern.size() - 2), name);
}

bool host_list_directory(std::string_view pattern, std::vector<HostDirEntry>& out) {
  out.clear();
  if (has_drive(pattern)) pattern.remove_prefix(2);
  const std::size_t cut = last_separator(pattern);
  std::string folder;  // host form, ends in "/" unless empty
  std::string_view names = pattern;
  if (cut != std::string_view::npos) {
    folder = host_map_path(pattern.substr(0, cut + 1));
    if (folder.empty() || folder.back() != '/') folder += '/';
    names = pattern.substr(cut + 1);
  }
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    if (out.size() >= kHostDirMaxEntries) break;
    std::string name = host_utf8_to_cp932(entry->d_name);
    if (!host_wildcard_match(names, name)) continue;
    struct stat st;
    const std::string full = folder + entry->d_name;
    const bool is_directory = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    const bool own = lstat(full.c_str(), &st) == 0;
    out.push_back(HostDirEntry{std::move(name), is_directory, own && S_ISLNK(st.st_mode), own && S_ISREG(st.st_mode)});
  }
  closedir(dir);
  std::sort(out.begin(), out.end(), listing_order);
  return true;
}
