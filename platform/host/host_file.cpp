// Files over a table of open handles, with the sharing rules of the system's
// open modes kept among this process's own handles, and the path mapping at
// the file boundary.
#include "platform/host/host_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/host/host_text.h"

namespace {

constexpr u8 kAccessRead = 1;
constexpr u8 kAccessWrite = 2;

struct OpenFile {
  int fd = -1;      // -1: the slot is free
  dev_t device = 0; // identity of the file, for the sharing check
  ino_t inode = 0;
  u8 access = 0;    // kAccessRead | kAccessWrite: what this handle does
  u8 share = 0;     // what other handles on the file may do
};

// A replacement's two names (host paths); both empty for an ordinary handle.
struct Replacement {
  std::string temp;    // where the bytes are written
  std::string target;  // the name the finished file takes
};

struct FileTable {
  std::array<OpenFile, kHostFileSlots> slots{};  // handle n is slot n - 1
};
constinit FileTable Files;

// The replacement names of handle n - 1, beside Files.slots. Made on first
// use: the texts have no constant initial form.
Replacement& replacement_of(int handle) {
  static std::array<Replacement, kHostFileSlots> replacements;
  return replacements[std::size_t(handle - 1)];
}

// Marks a replacement's temporary name: ".NAME" + kTempMark + six characters.
constexpr std::string_view kTempMark = ".halv80-";
constexpr std::size_t kTempRandom = 6;  // the characters mkostemp puts for XXXXXX
// A file name stays below the host's 255 bytes: a long NAME is cut in the
// temporary name (the handle knows the real one).
constexpr std::size_t kTempBaseMax = 200;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (host_ascii_upper(a[i]) != host_ascii_upper(b[i])) return false;
  return true;
}

bool exists(const std::string& host_path) {
  struct stat st;
  return lstat(host_path.c_str(), &st) == 0;
}

// The name in `folder` that equals `name` without regard to ASCII case; of
// several, the first in byte order, so that the choice does not depend on the
// order the folder lists them in. Empty when there is none.
std::string find_ignoring_case(const std::string& folder, std::string_view name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return {};
  std::string found;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view candidate = entry->d_name;
    if (equal_ignoring_case(candidate, name) && (found.empty() || candidate < found)) found = candidate;
  }
  closedir(dir);
  return found;
}

OpenFile* slot_of(int handle) {
  if (handle < 1 || std::size_t(handle) > kHostFileSlots) return nullptr;
  OpenFile& f = Files.slots[std::size_t(handle - 1)];
  return f.fd < 0 ? nullptr : &f;
}

// Does a new handle with `access` and `share` clash with one already open on
// the same file?
bool clashes(const struct stat& st, u8 access, u8 share) {
  for (const OpenFile& f : Files.slots) {
    if (f.fd < 0 || f.device != st.st_dev || f.inode != st.st_ino) continue;
    if ((access & ~f.share) != 0 || (f.access & ~share) != 0) return true;
  }
  return false;
}

// Takes `fd` into a free slot after the checks that every open makes; closes
// it and gives -1 when one fails.
int adopt(int fd, u8 access, u8 share, bool truncate) {
  if (fd < 0) return kNoFile;
  struct stat st;
  const auto free_slot = std::find_if(Files.slots.begin(), Files.slots.end(), [](const OpenFile& f) { return f.fd < 0; });
  // a folder opens on this host but is no file; a clash must not truncate
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || clashes(st, access, share) || free_slot == Files.slots.end() ||
      (truncate && ftruncate(fd, 0) != 0)) {
    close(fd);
    return kNoFile;
  }
  *free_slot = OpenFile{fd, st.st_dev, st.st_ino, access, share};
  return int(free_slot - Files.slots.begin()) + 1;
}

mode_t new_file_mode() {
  const mode_t mask = umask(0);
  umask(mask);
  return mode_t(0666) & ~mask;
}

bool write_all(int fd, const u8* data, std::size_t count) {
  while (count > 0) {
    const ssize_t n = write(fd, data, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    count -= std::size_t(n);
  }
  return true;
}

// Flushes a folder's entries (a rename in it) to the disk. Some file systems
// cannot sync a folder; the rename stands all the same.
void sync_folder(const std::string& folder) {
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

std::string folder_of(const std::string& host_path) {
  const std::size_t slash = host_path.find_last_of('/');
  return slash == std::string::npos ? std::string() : host_path.substr(0, slash + 1);
}

// Does the file `name` in `folder` still hold the inode of `fd`?
bool still_named(int fd, const std::string& path) {
  struct stat held;
  struct stat named;
  return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

// Removes a temporary file when no process holds it locked: its writer is
// gone. The lock is taken before the check, so a writer that locks its file
// after us finds it unnamed and makes another.
bool remove_if_unlocked(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool removed = false;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 && still_named(fd, path))
    removed = unlink(path.c_str()) == 0;
  close(fd);  // lets go of the lock
  return removed;
}

bool temp_random_part(std::string_view s) {
  if (s.size() != kTempRandom) return false;
  for (const char c : s)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  return true;
}

// ".NAME.halv80-XXXXXX": a replacement's temporary name.
bool is_temp_name(std::string_view name) {
  if (name.size() < 2 + kTempMark.size() + kTempRandom || name[0] != '.') return false;
  const std::size_t mark = name.size() - kTempRandom - kTempMark.size();
  return name.substr(mark, kTempMark.size()) == kTempMark && temp_random_part(name.substr(mark + kTempMark.size()));
}

// ".NAME.XXXXXX" for one of `own_names`: a temporary of the older naming.
bool is_old_temp_name(std::string_view name, std::span<const std::string_view> own_names) {
  for (const std::string_view own : own_names) {
    if (name.size() != 1 + own.size() + 1 + kTempRandom || name[0] != '.') continue;
    if (name.substr(1, own.size()) == own && name[1 + own.size()] == '.' &&
        temp_random_part(name.substr(2 + own.size())))
      return true;
  }
  return false;
}

// host_map_path; with `keep_last`, the last component stays as written (the
// new name of a rename).
std::string map_path(std::string_view system_path, bool keep_last) {
  // Converted first: in UTF-8 a 0x5C byte is always a backslash, never the
  // second byte of a double-byte character.
  std::string p = host_cp932_to_utf8(system_path);
  std::replace(p.begin(), p.end(), '\\', '/');
  const bool drive = p.size() >= 2 && p[1] == ':' && host_ascii_upper(p[0]) >= 'A' && host_ascii_upper(p[0]) <= 'Z';
  if (drive) p.erase(0, 2);

  std::string out;
  bool resolving = true;  // false once a component matched nothing
  std::size_t i = 0;
  while (i < p.size()) {
    if (p[i] == '/') {
      out += '/';
      ++i;
      continue;
    }
    const std::size_t end = std::min(p.find('/', i), p.size());
    const std::string_view name = std::string_view(p).substr(i, end - i);
    const bool last = p.find_first_not_of('/', end) == std::string::npos;
    std::string component(name);
    if (resolving && name != "." && name != ".." && !(keep_last && last) && !exists(out + component)) {
      std::string found = find_ignoring_case(out, name);
      if (found.empty())
        resolving = false;  // nothing below it can exist either
      else
        component = std::move(found);
    }
    out += component;
    i = end;
  }
  return out;
}

}  // namespace

std::string host_map_path(std::string_view system_path) { return map_path(system_path, false); }

std::string host_system_path(std::string_view host_path) {
  std::string p(host_path);
  std::replace(p.begin(), p.end(), '/', '\\');
  return host_utf8_to_cp932(p);
}

int host_file_open(std::string_view path, int mode) {
  int flags = 0;
  u8 access = 0;
  u8 share = kAccessRead;
  switch (mode) {
    case kFileModeRead:
      flags = O_RDONLY;
      access = kAccessRead;
      break;
    case kFileModeWrite:
      flags = O_WRONLY;
      access = kAccessWrite;
      break;
    case kFileModeReadWrite:
      flags = O_RDWR;
      access = kAccessRead | kAccessWrite;
      share = 0;
      break;
    case kFileModeAppend:
      // one write() lands whole at the end, whatever other writers do
      flags = O_WRONLY | O_APPEND;
      access = kAccessWrite;
      break;
    default:
      return kNoFile;  // before any look-up
  }
  const std::string host = host_map_path(path);
  return adopt(open(host.c_str(), flags | O_CLOEXEC), access, share, false);
}

int host_file_create(std::string_view path) {
  const std::string host = host_map_path(path);
  // emptied only after the sharing check passed
  return adopt(open(host.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666), kAccessRead | kAccessWrite, kAccessRead, true);
}

int host_file_close(int handle) {
  OpenFile* f = slot_of(handle);
  if (f == nullptr) return -1;
  const int fd = f->fd;
  *f = OpenFile{};
  // a replacement that was not committed is discarded: the old file stays
  Replacement& r = replacement_of(handle);
  if (!r.temp.empty()) unlink(r.temp.c_str());
  r = Replacement{};
  return close(fd) == 0 ? 0 : -1;
}

int host_file_create_replacement(std::string_view path) {
  std::string target = host_map_path(path);
  // a link is followed: the file it names is the one replaced
  struct stat st;
  if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = realpath(target.c_str(), nullptr);
    if (real != nullptr) {
      target = real;
      std::free(real);
    }
  }
  const bool exists = stat(target.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return kNoFile;
  const std::string folder = folder_of(target);
  const std::string base = target.substr(folder.size());
  if (base.empty()) return kNoFile;
  // the new file keeps the old one's permissions, else the usual ones
  const mode_t mode = exists ? (st.st_mode & 07777) : new_file_mode();
  for (;;) {
    std::string temp = folder + "." + base.substr(0, kTempBaseMax) + std::string(kTempMark) + "XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return kNoFile;
    // Locked while it is written; a sweeper that took it between mkostemp
    // and the lock has removed it: then another name.
    if (flock(fd, LOCK_EX) != 0 || fchmod(fd, mode) != 0) {
      const int saved = errno;
      unlink(temp.c_str());
      close(fd);
      errno = saved;
      return kNoFile;
    }
    if (!still_named(fd, temp)) {
      close(fd);
      continue;
    }
    const int handle = adopt(fd, kAccessRead | kAccessWrite, kAccessRead, false);
    if (handle == kNoFile) {
      unlink(temp.c_str());  // adopt closed the descriptor
      return kNoFile;
    }
    replacement_of(handle) = Replacement{std::move(temp), std::move(target)};
    return handle;
  }
}

int host_file_commit(int handle) {
  OpenFile* f = slot_of(handle);
  if (f == nullptr || replacement_of(handle).temp.empty()) {
    errno = EBADF;
    return kCommitUnwritten;
  }
  Replacement r = std::move(replacement_of(handle));
  replacement_of(handle) = Replacement{};
  const int fd = f->fd;
  *f = OpenFile{};
  int result = kCommitDone;
  // renamed while still locked, so that no sweeper takes the finished file
  if (fsync(fd) != 0) {
    result = kCommitUnwritten;
  } else if (std::rename(r.temp.c_str(), r.target.c_str()) != 0) {
    result = kCommitNotPlaced;
  } else {
    sync_folder(folder_of(r.target));
  }
  const int saved = errno;
  if (result != kCommitDone) unlink(r.temp.c_str());
  close(fd);
  errno = saved;
  return result;
}

std::size_t host_remove_stale_temporaries(std::string_view folder, std::span<const std::string_view> own_names) {
  std::string host = host_map_path(folder);
  if (!host.empty() && host.back() != '/') host += '/';
  DIR* dir = opendir(host.empty() ? "." : host.c_str());
  if (dir == nullptr) return 0;
  std::vector<std::string> candidates;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (is_temp_name(name) || is_old_temp_name(name, own_names)) candidates.emplace_back(name);
  }
  closedir(dir);
  std::size_t removed = 0;
  for (const std::string& name : candidates)
    if (remove_if_unlocked(host + name)) ++removed;
  return removed;
}

i32 host_file_read(int handle, void* buffer, u32 count) {
  OpenFile* f = slot_of(handle);
  if (f == nullptr || (f->access & kAccessRead) == 0) return -1;
  std::size_t left = std::min<u32>(count, INT32_MAX);
  auto* out = static_cast<u8*>(buffer);
  i32 total = 0;
  while (left > 0) {
    const ssize_t n = read(f->fd, out, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;  // end of file
    out += n;
    left -= std::size_t(n);
    total += i32(n);
  }
  return total;
}

i32 host_file_write(int handle, const void* buffer, u32 count) {
  OpenFile* f = slot_of(handle);
  if (f == nullptr || (f->access & kAccessWrite) == 0 || count > INT32_MAX) return -1;
  return write_all(f->fd, static_cast<const u8*>(buffer), count) ? i32(count) : -1;
}

i32 host_file_seek(int handle, i32 offset, int origin) {
  OpenFile* f = slot_of(handle);
  if (f == nullptr) return -1;
  int whence = 0;
  switch (origin) {
    case kSeekSet: whence = SEEK_SET; break;
    case kSeekCurrent: whence = SEEK_CUR; break;
    case kSeekEnd: whence = SEEK_END; break;
    default: return -1;
  }
  const off_t before = lseek(f->fd, 0, SEEK_CUR);
  const off_t after = lseek(f->fd, off_t(offset), whence);
  if (after < 0) return -1;  // before the start: lseek left the position alone
  if (after > INT32_MAX) {
    lseek(f->fd, before, SEEK_SET);  // beyond what the caller can be told
    return -1;
  }
  return i32(after);
}

int host_file_rename(std::string_view from, std::string_view to) {
  const std::string host_from = host_map_path(from);
  const std::string host_to = host_map_path(to);
  // A rename never replaces another file; a change of case only is no
  // replacement, and the file takes the new spelling.
  if (!exists(host_from) || (exists(host_to) && host_to != host_from)) return -1;
  const std::string target = map_path(to, true);
  return std::rename(host_from.c_str(), target.c_str()) == 0 ? 0 : -1;
}

int host_file_delete(std::string_view path) {
  const std::string host = host_map_path(path);
  return unlink(host.c_str()) == 0 ? 0 : -1;
}

bool host_write_file_atomic(std::string_view path, std::span<const u8> bytes) {
  const int handle = host_file_create_replacement(path);
  if (handle == kNoFile) return false;
  if (!write_all(Files.slots[std::size_t(handle - 1)].fd, bytes.data(), bytes.size())) {
    const int saved = errno;
    host_file_close(handle);
    errno = saved;
    return false;
  }
  return host_file_commit(handle) == kCommitDone;
}

bool host_copy_file(std::string_view from, std::string_view to, bool overwrite) {
  std::error_code ec;
  const std::string target = host_map_path(to);
  if (!overwrite && std::filesystem::symlink_status(target, ec).type() != std::filesystem::file_type::not_found) {
    errno = EEXIST;
    return false;
  }
  const std::string source = host_map_path(from);
  if (!std::filesystem::is_regular_file(source, ec)) {
    errno = ENOENT;
    return false;
  }
  std::ifstream in(source, std::ios::binary);
  std::vector<u8> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) {
    errno = EIO;
    return false;
  }
  return host_write_file_atomic(to, bytes);
}

std::size_t host_file_open_count() {
  return std::size_t(std::count_if(Files.slots.begin(), Files.slots.end(), [](const OpenFile& f) { return f.fd >= 0; }));
}
