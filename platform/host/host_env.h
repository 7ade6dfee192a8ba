// Environment look-up as the system does it: names compare without regard to
// ASCII case, and the first entry that matches wins.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The value of variable `name` (ASCII, compared without regard to case) as
// CP932 text, or nothing when no entry has that name. Entries are compared
// where they stand, whatever their length. PATH, the host's search list, is
// given in the system's form: its folders separated by ';', with '\' for '/'
// (the host writes "/usr/bin:/bin", the system reads "\usr\bin;\bin").
std::optional<std::string> host_env_lookup(std::string_view name);
// Sets variable `name` of the process's environment to `value` (CP932; PATH
// in the system's form, as host_env_lookup gives it). Programs started
// afterwards inherit it. False for a name that cannot be one.
bool host_env_set(std::string_view name, std::string_view value);
