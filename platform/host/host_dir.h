// The process's current directory, folders and listings. Paths go in and come
// out in the system's form (CP932, "\" separators, no drive): the host's own
// path "/home/a/b" is handed to the engine as "\home\a\b", and every path the
// engine gives is mapped back through host_map_path (host_file.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kHostDirMaxEntries = 65536;  // a listing keeps no more

struct HostDirEntry {
  std::string name;           // CP932
  bool is_directory = false;  // a symbolic link counts as what it points to
  bool is_link = false;       // the entry itself is a symbolic link
  bool is_regular = false;    // the entry itself is a regular file (no link, pipe or device)
};

// Changes the process's current directory; false when `path` is no folder.
bool host_set_current_dir(std::string_view path);
// The process's current directory in the system's form; empty when unknown.
std::string host_current_dir();
// True when `path` names an existing folder.
bool host_is_directory(std::string_view path);
// Creates one folder; false when it cannot (also when it exists).
bool host_make_directory(std::string_view path);
// `path` made absolute against the current directory with "." and ".."
// components and repeated separators taken out, in the system's form ("\" for
// the root). Nothing need exist; a drive prefix is dropped. Empty when the
// current directory is unknown.
std::string host_full_path(std::string_view path);
// Does `name` match `pattern`? "*" stands for any run of characters, "?" for
// one; letters compare without regard to ASCII case. As on the system, a
// pattern ending in ".*" also matches a name without a dot by its part before
// the dot, so "*.*" matches every name.
bool host_wildcard_match(std::string_view pattern, std::string_view name);
// The names in the folder of `pattern` (the part up to its last separator;
// the current directory when there is none) that match its last component,
// "." and ".." first, then in ASCII-case-blind order (byte order among equals).
// False when the folder cannot be read. At most kHostDirMaxEntries names.
bool host_list_directory(std::string_view pattern, std::vector<HostDirEntry>& out);
