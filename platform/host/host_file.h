// Files with the system's open modes, over small integer handles, and the
// mapping of the system's paths onto the host's. Inside the system a path is
// CP932 text with backslashes and no drive; here it becomes UTF-8 with slashes,
// and a component that does not exist as written is looked up without regard
// to ASCII case in its folder. Handles are never 0; -1 means failure.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

// Open modes.
constexpr int kFileModeRead = 0;       // read; others may read as well
constexpr int kFileModeWrite = 1;      // write; others may read
constexpr int kFileModeReadWrite = 2;  // read and write; not shared
constexpr int kFileModeAppend = 3;     // write, each write whole at the end; others may read

// Seek origins.
constexpr int kSeekSet = 0;
constexpr int kSeekCurrent = 1;
constexpr int kSeekEnd = 2;

constexpr int kNoFile = -1;
constexpr std::size_t kHostFileSlots = 64;  // files open at the same time

// A system path (CP932, "\" separators, an optional "X:" drive that is
// dropped) as the host path to use: UTF-8, "/" separators, each component
// that does not exist as written replaced by the name in its folder that
// equals it without regard to ASCII case (of several, the first in byte
// order). Components that match nothing stay as written (a file about to be
// created).
std::string host_map_path(std::string_view system_path);
// A host path (UTF-8, "/") in the system's form: CP932 with "\".
std::string host_system_path(std::string_view host_path);

// Opens an existing file (not a folder) in `mode`; another mode gives -1
// without touching the file system. An open that conflicts with a handle
// already open on the same file (a reader against a writer, anything against
// mode 2) fails as well.
int host_file_open(std::string_view path, int mode);
// Creates the file, or empties an existing one; read/write, others may read.
int host_file_create(std::string_view path);
// 0, or -1 for a handle that is not open.
int host_file_close(int handle);
// Bytes read (0 at the end), or -1.
i32 host_file_read(int handle, void* buffer, u32 count);
// `count` when all were written, else -1.
i32 host_file_write(int handle, const void* buffer, u32 count);
// The new position from the start, or -1 (a bad origin, a position before the
// start or beyond 2 GiB - 1; the position is then unchanged).
i32 host_file_seek(int handle, i32 offset, int origin);
// 0, or -1 (also when `to` exists already).
int host_file_rename(std::string_view from, std::string_view to);
// 0, or -1 (also for a folder).
int host_file_delete(std::string_view path);
// A new file that takes the place of `path` only when it is complete. It is
// written under a temporary name in the same folder,
// ".NAME.halv80-XXXXXX", which the handle keeps locked while it is open (a
// later start can tell a temporary file left by a killed process from one
// being written); host_file_commit puts it in place. Read/write, others may
// read. -1 when the temporary file cannot be made, or `path` names a folder.
// host_file_close on such a handle discards the new file: the old one stays.
int host_file_create_replacement(std::string_view path);
// host_file_commit's results.
constexpr int kCommitDone = 0;
constexpr int kCommitUnwritten = -1;  // the bytes did not reach the disk (disk full), or no replacement
constexpr int kCommitNotPlaced = -2;  // the file could not take its name
// Completes a replacement: its bytes are flushed to the disk, the file is
// renamed over its name and the folder synced, so that the finished file
// survives a crash or a power loss. The handle is closed in every case; on a
// failure the temporary file is removed and the old file stays as it was.
// errno tells what failed. A handle that is no replacement is left open
// (kCommitUnwritten).
int host_file_commit(int handle);
// Writes `bytes` through a replacement of `path`, so that a crash leaves
// either the old file or the new one; false (errno set) when it failed.
bool host_write_file_atomic(std::string_view path, std::span<const u8> bytes);
// Copies the regular file `from` to `to` through a replacement of `to`.
// Without `overwrite` an existing `to` is left alone and the copy fails.
// False (errno set) when it failed.
bool host_copy_file(std::string_view from, std::string_view to, bool overwrite);
// Removes from `folder` the temporary files of replacements that no process
// is writing any more (their writer was killed), and, for each of
// `own_names`, the temporaries ".NAME.XXXXXX" that older versions wrote. A
// file another process holds locked is left alone. The count removed.
std::size_t host_remove_stale_temporaries(std::string_view folder, std::span<const std::string_view> own_names = {});
// Handles open now (tests).
std::size_t host_file_open_count();
