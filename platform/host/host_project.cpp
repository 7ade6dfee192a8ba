#include "platform/host/host_project.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/host/host_file.h"

ProjectReadStatus project_read(std::string_view path, std::string& text) {
  text.clear();
  const int file = host_file_open(path, kFileModeRead);
  if (file == kNoFile) return ProjectReadStatus::open_failed;
  const i32 size = host_file_seek(file, 0, kSeekEnd);
  if (size < 0 || host_file_seek(file, 0, kSeekSet) != 0) {
    host_file_close(file);
    return ProjectReadStatus::size_failed;
  }
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const u32 want = static_cast<u32>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    const i32 got = host_file_read(file, bytes.data() + done, want);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  host_file_close(file);
  if (done != bytes.size()) return ProjectReadStatus::read_failed;
  text = std::move(bytes);
  return ProjectReadStatus::ok;
}

std::string_view project_without_eof(std::string_view text) {
  while (!text.empty() && text.back() == '\x1A') text.remove_suffix(1);
  return text;
}

std::size_t project_find(std::string_view text, std::string_view name, std::size_t from) {
  if (name.empty() || from > text.size()) return std::string_view::npos;
  return text.find(name, from);
}

std::string_view project_line_after(std::string_view text, std::size_t at, std::size_t name_size) {
  if (at > text.size() || name_size > text.size() - at) return {};
  const std::size_t start = std::min(text.size(), at + name_size + 2);
  std::size_t end = text.find("\r\n", start);
  if (end == std::string_view::npos) end = text.size();
  const std::string_view value = text.substr(start, end - start);
  if (!value.empty() && value.front() == '%') return {};
  return value;
}

bool project_write(std::string_view path, std::string_view text) {
  std::vector<u8> bytes(text.begin(), text.end());
  bytes.push_back(0x1A);
  return host_write_file_atomic(path, bytes);
}

namespace {

// Where the first `marker` of the file's text begins (the text ends at its
// first zero byte), read a piece at a time; npos when there is none. `failed`
// tells a read error.
std::size_t find_marker(int file, std::string_view marker, bool& failed) {
  failed = false;
  std::string window;  // the end of the previous piece, then this piece
  std::size_t window_start = 0;
  std::vector<char> piece(kProjectPieceSize);
  for (;;) {
    const i32 got = host_file_read(file, piece.data(), u32(piece.size()));
    if (got < 0) {
      failed = true;
      return std::string_view::npos;
    }
    if (got == 0) return std::string_view::npos;
    std::string_view fresh(piece.data(), std::size_t(got));
    const std::size_t nul = fresh.find('\0');
    if (nul != std::string_view::npos) fresh = fresh.substr(0, nul);
    window.append(fresh);
    const std::size_t at = window.find(marker);
    if (at != std::string::npos) return window_start + at;
    if (nul != std::string_view::npos) return std::string_view::npos;  // the text has ended
    const std::size_t keep = std::min(window.size(), marker.size() - 1);
    window_start += window.size() - keep;
    window.erase(0, window.size() - keep);
  }
}

// Copies the first `count` bytes of `from` (positioned at its start) to `to`.
ProjectTailStatus copy_head(int from, int to, std::size_t count) {
  std::vector<char> piece(kProjectPieceSize);
  while (count > 0) {
    const u32 want = u32(std::min(count, piece.size()));
    const i32 got = host_file_read(from, piece.data(), want);
    if (got <= 0) return ProjectTailStatus::read_failed;
    if (host_file_write(to, piece.data(), u32(got)) != got) return ProjectTailStatus::write_failed;
    count -= std::size_t(got);
  }
  return ProjectTailStatus::ok;
}

// The tail rewritten in place, from `at` on. The old bytes from there are
// kept and written back when the new ones cannot be written whole.
bool rewrite_in_place(const std::string& host_path, std::size_t at, std::string_view bytes) {
  const int fd = open(host_path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const off_t end = lseek(fd, 0, SEEK_END);
  std::string old(end > off_t(at) ? std::size_t(end) - at : 0, '\0');
  bool ok = end >= off_t(at) && pread(fd, old.data(), old.size(), off_t(at)) == ssize_t(old.size());
  if (ok) {
    ok = pwrite(fd, bytes.data(), bytes.size(), off_t(at)) == ssize_t(bytes.size()) &&
         ftruncate(fd, off_t(at + bytes.size())) == 0 && fsync(fd) == 0;
    if (!ok) {
      const int saved = errno;
      // the old tail back, as far as the disk takes it
      if (pwrite(fd, old.data(), old.size(), off_t(at)) == ssize_t(old.size()) && ftruncate(fd, end) == 0) fsync(fd);
      errno = saved;
    }
  }
  close(fd);
  return ok;
}

}  // namespace

ProjectTailStatus project_rewrite_tail(std::string_view path, std::string_view marker, std::string_view tail) {
  if (marker.empty()) return ProjectTailStatus::no_marker;
  // the file itself must be writable: a write-protected file (no write bit
  // for anyone, whoever runs the program) is not replaced
  struct stat st;
  if (stat(host_map_path(path).c_str(), &st) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    return ProjectTailStatus::open_failed;
  const int check = host_file_open(path, kFileModeReadWrite);
  if (check == kNoFile) return ProjectTailStatus::open_failed;
  host_file_close(check);

  const int file = host_file_open(path, kFileModeRead);
  if (file == kNoFile) return ProjectTailStatus::open_failed;
  bool failed = false;
  const std::size_t at = find_marker(file, marker, failed);
  if (failed || at == std::string_view::npos || host_file_seek(file, 0, kSeekSet) != 0) {
    host_file_close(file);
    return !failed && at == std::string_view::npos ? ProjectTailStatus::no_marker : ProjectTailStatus::read_failed;
  }
  std::string bytes(tail);
  bytes.push_back('\x1A');

  const int replacement = host_file_create_replacement(path);
  if (replacement == kNoFile) {
    const int why = errno;
    host_file_close(file);
    // the folder takes no new file, but the file may still be rewritten
    if (why != EACCES && why != EPERM && why != EROFS) return ProjectTailStatus::write_failed;
    return rewrite_in_place(host_map_path(path), at, bytes) ? ProjectTailStatus::ok : ProjectTailStatus::write_failed;
  }
  const ProjectTailStatus copied = copy_head(file, replacement, at);
  host_file_close(file);
  if (copied != ProjectTailStatus::ok) {
    host_file_close(replacement);  // discards the new file
    return copied;
  }
  if (host_file_write(replacement, bytes.data(), u32(bytes.size())) != i32(bytes.size())) {
    host_file_close(replacement);
    return ProjectTailStatus::write_failed;
  }
  return host_file_commit(replacement) == kCommitDone ? ProjectTailStatus::ok : ProjectTailStatus::write_failed;
}
