// The project file's text: "%"-sections, each opened by a line that holds
// only its name ("%SYS", "%OPT", ...), lines ending in CR LF, and one 0x1A
// byte after the last line. The debugger rewrites the sections it owns in
// place and the setup program rewrites the tail from "%OPT" on; both read and
// write the file through these routines, so the file has one reader and one
// writer.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class ProjectReadStatus {
  ok,
  open_failed,  // missing, a folder, or refused
  size_failed,  // the size could not be taken
  read_failed,  // a failed or short read
};

// Reads the whole file at `path` (a system path) into `text`, whatever its
// size. `text` is left empty unless the read succeeds.
ProjectReadStatus project_read(std::string_view path, std::string& text);

// `text` less the 0x1A bytes at its end.
std::string_view project_without_eof(std::string_view text);

// Where `name` stands as plain text at or after `from`; npos when absent.
std::size_t project_find(std::string_view text, std::string_view name, std::size_t from = 0);

// The one-line value of the section whose name starts at `at` (`name_size`
// bytes): from two bytes after the name (past its CR LF) to the next CR LF or
// the end of the text. A value that begins with "%" (the next section's name)
// is empty.
std::string_view project_line_after(std::string_view text, std::size_t at, std::size_t name_size);

// Writes `text` followed by one 0x1A byte through a temporary file and a
// rename, so a crash leaves the old file or the new one. `text` should not
// end in 0x1A itself (pass it through project_without_eof).
bool project_write(std::string_view path, std::string_view text);
