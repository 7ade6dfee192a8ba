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

enum class ProjectTailStatus {
  ok,
  open_failed,   // the file cannot be opened for writing (missing, a folder, write-protected)
  read_failed,   // a failed read
  no_marker,     // no marker in the text (before its first zero byte)
  write_failed,  // the new file could not be written; the old one stays
};

// Rewrites the file at `path` from the first `marker` in its text on: every
// byte before the marker is kept, then `tail` and one 0x1A byte, and the file
// ends there. The file is read and written a piece at a time, so its size
// does not matter. The new file replaces the old one through a temporary file
// and a rename; where the folder refuses a new file (no write right, a
// read-only mount) and the file itself may be written, the tail is rewritten
// in place: the old tail is kept in memory and put back when the write fails.
ProjectTailStatus project_rewrite_tail(std::string_view path, std::string_view marker, std::string_view tail);
// The size of the pieces project_rewrite_tail reads and writes.
constexpr std::size_t kProjectPieceSize = 1u << 20;
