// Search paths, environment look-ups and relative file names.
#include "halv80/engine/sup_paths.h"

#include <cstring>

#include "halv80/engine/cmd_switches.h"
#include "platform/host/host_dir.h"
#include "platform/host/host_env.h"
#include "platform/host/host_text.h"

SupPathState SupPath;

namespace {

// Bytes of the character at text[i]; a lead byte at the very end is one.
std::size_t unit_length(std::string_view text, std::size_t i) {
  return host_cp932_lead(u8(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// The longest prefix of `text` of at most `limit` bytes that does not cut a
// double-byte character in two.
std::size_t cut_at_character(std::string_view text, std::size_t limit) {
  std::size_t n = 0;
  while (n < text.size()) {
    const std::size_t len = unit_length(text, n);
    if (n + len > limit) break;
    n += len;
  }
  return n;
}

// The last character of `text`, or 0 for an empty text; a double-byte
// character gives its lead byte.
u8 last_character(std::string_view text) {
  u8 last = 0;
  for (std::size_t i = 0; i < text.size(); i += unit_length(text, i)) last = u8(text[i]);
  return last;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (host_ascii_upper(a[i]) != host_ascii_upper(b[i])) return false;
  return true;
}

bool blank(char c) { return c == ' ' || c == '\t'; }

std::string_view current_directory() {
  return std::string_view(Sw.CurrentDirectory, strnlen(Sw.CurrentDirectory, sizeof Sw.CurrentDirectory));
}

}  // namespace

bool sup_ends_in_backslash(std::string_view text) { return last_character(text) == '\\'; }

std::string sup_path_for_display(std::string_view path) {
  std::string out(path);
  for (std::size_t i = 0; i < out.size(); i += host_cp932_unit_length(out, i))
    if (out[i] == '\\') out[i] = '/';
  return out;
}

const char* sup_env_lookup(std::string_view name) {
  if (Sw.HasSourceDirectoryOverride && equal_ignoring_case(name, "QNSRC")) return Sw.SourceDirectoryOverride.c_str();
  std::optional<std::string> value = host_env_lookup(name);
  if (!value) return nullptr;
  std::size_t skip = 0;
  while (skip < value->size() && u8((*value)[skip]) <= 0x20) ++skip;
  SupPath.EnvValue.assign(*value, skip);
  return SupPath.EnvValue.c_str();
}

bool sup_path_list_begin(std::string_view name) {
  SupPath.PathCursor = -1;
  SupPath.PathBuffer[0] = '\0';
  const char* value = sup_env_lookup(name);
  if (value == nullptr) return false;
  const std::string_view text(value);
  const std::size_t n = cut_at_character(text, kPathBufferSize - 1);
  std::memcpy(SupPath.PathBuffer, text.data(), n);
  SupPath.PathBuffer[n] = '\0';
  SupPath.PathCursor = 0;
  return true;
}

bool sup_path_list_next(char (&out)[kPathElementSize]) {
  out[0] = '\0';
  if (SupPath.PathCursor < 0) return false;
  const std::string_view list(SupPath.PathBuffer, strnlen(SupPath.PathBuffer, kPathBufferSize));
  std::size_t pos = std::size_t(SupPath.PathCursor);
  for (;;) {
    while (pos < list.size() && blank(list[pos])) ++pos;
    if (pos >= list.size()) {
      SupPath.PathCursor = -1;  // exhausted
      return false;
    }
    // ";" is below every second byte of a double-byte character
    const std::size_t end = std::min(list.find(';', pos), list.size());
    const std::string_view element = list.substr(pos, end - pos);
    pos = end < list.size() ? end + 1 : end;
    if (element.empty()) continue;
    const std::size_t n = cut_at_character(element, kPathElementMax);
    std::memcpy(out, element.data(), n);
    std::size_t length = n;
    const u8 last = last_character(element.substr(0, n));
    if (last != ':' && last != '\\') out[length++] = '\\';
    out[length] = '\0';
    SupPath.PathCursor = int(pos);
    return true;
  }
}

const char* sup_strchr(const char* text, char c) {
  for (const char* p = text;; ++p) {
    if (*p == c) return p;
    if (*p == '\0') return nullptr;
    if (host_cp932_lead(u8(*p)) && p[1] != '\0') ++p;  // over the second byte
  }
}

int sup_path_make_absolute(std::span<char> name) {
  const std::size_t length = strnlen(name.data(), name.size());
  if (length == name.size()) return -1;  // no terminator
  const std::string_view dir = current_directory();
  if (dir.empty() || length == 0) return 0;
  const char first = name[0];
  if (first == '.' || first == '\\' || first == '/' || (length >= 2 && name[1] == ':')) return 0;
  const std::size_t separator = sup_ends_in_backslash(dir) ? 0 : 1;
  // directory, separator, name and terminator must all fit
  if (dir.size() + separator > name.size() - 1 - length) return -1;
  std::memmove(name.data() + dir.size() + separator, name.data(), length + 1);
  std::memcpy(name.data(), dir.data(), dir.size());
  if (separator) name[dir.size()] = '\\';
  return 1;
}

bool sup_canonical_dir(std::string_view path) {
  const std::string previous = host_current_dir();
  if (!host_set_current_dir(path)) return false;
  const std::string full = host_current_dir();
  if (!previous.empty()) host_set_current_dir(previous);
  if (full.empty() || full.size() >= kDirectorySize) return false;
  std::memcpy(Sw.CurrentDirectory, full.data(), full.size());
  Sw.CurrentDirectory[full.size()] = '\0';
  return true;
}
