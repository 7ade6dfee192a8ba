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
// Writes `bytes` to a temporary file in the same folder and renames it over
// `path`, so that a crash leaves either the old file or the new one.
bool host_write_file_atomic(std::string_view path, std::span<const u8> bytes);
// Handles open now (tests).
std::size_t host_file_open_count();
