#include "platform/host/host_project.h"

#include <algorithm>
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
