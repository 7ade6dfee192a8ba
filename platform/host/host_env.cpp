// Environment look-up over the process's own entry list.
#include "platform/host/host_env.h"

#include <unistd.h>

#include <stdlib.h>

#include <cstring>

#include "platform/host/host_text.h"

namespace {

// Does `entry` ("NAME=value") carry `name`? Its bytes are read only up to the
// first mismatch or the "=", never copied.
const char* value_if_named(const char* entry, std::string_view name) {
  for (const char c : name) {
    if (*entry == '\0' || *entry == '=' || host_ascii_upper(*entry) != host_ascii_upper(c)) return nullptr;
    ++entry;
  }
  return *entry == '=' ? entry + 1 : nullptr;
}

}  // namespace

std::optional<std::string> host_env_lookup(std::string_view name) {
  // "=" cannot be part of a name; an empty name names nothing
  if (name.empty() || name.find('=') != std::string_view::npos) return std::nullopt;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* value = value_if_named(*entry, name);
    if (value == nullptr) continue;
    std::string text = host_utf8_to_cp932(value);
    if (value_if_named("PATH=", name) != nullptr) {
      // host folders and separators are ASCII, never a second byte
      for (char& c : text) {
        if (c == ':') c = ';';
        else if (c == '/') c = '\\';
      }
    }
    return text;
  }
  return std::nullopt;
}

bool host_env_set(std::string_view name, std::string_view value) {
  if (name.empty() || name.find('=') != std::string_view::npos || name.find('\0') != std::string_view::npos) return false;
  // converted first: a CP932 second byte can be 0x5C, a UTF-8 one never is
  std::string text = host_cp932_to_utf8(value);
  if (value_if_named("PATH=", name) != nullptr) {
    for (char& c : text) {
      if (c == ';') c = ':';
      else if (c == '\\') c = '/';
    }
  }
  return setenv(std::string(name).c_str(), text.c_str(), 1) == 0;
}
