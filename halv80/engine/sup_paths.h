// Search paths and environment look-ups, and file names against the engine's
// current directory (Sw.CurrentDirectory). SupPathState owns the path buffer
// that a list being walked is copied into. Texts are CP932: a "\" that is the
// second byte of a double-byte character is no separator.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

constexpr std::size_t kPathBufferSize = 1024;                 // with its terminator
constexpr std::size_t kPathElementMax = 256;                  // characters kept of one element
constexpr std::size_t kPathElementSize = kPathElementMax + 2; // + "\" + terminator

struct SupPathState {
  char PathBuffer[kPathBufferSize]{};  // the value of the list being walked
  int PathCursor = -1;                 // index of the next element in PathBuffer; -1: no list
  std::string EnvValue;                // the value of the last sup_env_lookup
};
extern SupPathState SupPath;

// The value of environment variable `name` (compared without regard to case)
// with its leading blanks and control characters skipped; QNSRC is answered
// by the -SD directory when there is one. Null when the variable is absent;
// the text stays valid until the next look-up or a change of the -SD setting.
const char* sup_env_lookup(std::string_view name);
// Starts walking the ";"-separated list in variable `name`: its value (at most
// 1,023 bytes) goes into PathBuffer. False, and no list, when it is absent.
bool sup_path_list_begin(std::string_view name);
// The next element into `out`: leading blanks skipped, up to the next ";" or
// the end, at most 256 characters (the rest of a longer one is dropped), and
// "\" appended unless it ends in ":" or "\". Empty elements are passed over.
// False, with `out` empty, when the list is exhausted.
bool sup_path_list_next(char (&out)[kPathElementSize]);
// The first character `c` of `text` (the second byte of a double-byte
// character is never taken for one); for `c` 0 the terminator; else null.
const char* sup_strchr(const char* text, char c);
// When Sw.CurrentDirectory is set and the name in `name` is relative (it does
// not start with ".", "\" or "/" and has no ":" as second character), puts the
// directory and "\" (unless it ends in one) in front of it. Returns 1 when
// changed, 0 when left as it is, -1 when the result would not fit in `name`
// (then unchanged) or `name` holds no terminator.
int sup_path_make_absolute(std::span<char> name);
// Stores `path` as Sw.CurrentDirectory in its full form, as the host spells
// it: the process's directory is set to it, read back, and restored. False,
// with Sw.CurrentDirectory unchanged, when `path` is no folder or its full
// form does not fit.
bool sup_canonical_dir(std::string_view path);
// Does `text` end in a "\" of its own (not the second byte of a double-byte
// character)?
bool sup_ends_in_backslash(std::string_view text);
// `path` as the user is shown it: every separator "\" of the system's form
// (not the second byte of a double-byte character) becomes the host's "/".
// What is stored in files keeps the system's form.
std::string sup_path_for_display(std::string_view path);
