// Shared blocks over POSIX shared memory objects.
#include "platform/host/host_shared.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string object_name(std::string_view name) { return "/" + std::string(name); }

bool sound_name(std::string_view name) {
  return !name.empty() && name.size() < 200 && name.find('/') == std::string_view::npos;
}

}  // namespace

HostSharedBlock::~HostSharedBlock() {
  munmap(data_, size_);
  if (!owned_name_.empty()) shm_unlink(owned_name_.c_str());
}

std::unique_ptr<HostSharedBlock> HostSharedBlock::create(std::string_view name, std::size_t size) {
  if (!sound_name(name) || size == 0) return nullptr;
  const std::string object = object_name(name);
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  void* data = MAP_FAILED;
  if (ftruncate(fd, off_t(size)) == 0) data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  close(fd);  // the mapping keeps the object
  if (data == MAP_FAILED) {
    shm_unlink(object.c_str());
    return nullptr;
  }
  return std::unique_ptr<HostSharedBlock>(new HostSharedBlock(static_cast<u8*>(data), size, object));
}

std::unique_ptr<HostSharedBlock> HostSharedBlock::create_unique(std::string_view prefix, std::size_t size) {
  static unsigned count = 0;
  // a name left by a killed process of the same id is passed over
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string name = std::string(prefix) + "." + std::to_string(getpid()) + "." + std::to_string(count++);
    if (auto block = create(name, size)) return block;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

std::unique_ptr<HostSharedBlock> HostSharedBlock::open(std::string_view name, std::size_t min_size) {
  if (!sound_name(name)) return nullptr;
  const int fd = shm_open(object_name(name).c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) return nullptr;
  struct stat st;
  void* data = MAP_FAILED;
  std::size_t size = 0;
  if (fstat(fd, &st) == 0 && st.st_size > 0 && std::size_t(st.st_size) >= min_size) {
    size = std::size_t(st.st_size);
    data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  close(fd);
  if (data == MAP_FAILED) return nullptr;
  return std::unique_ptr<HostSharedBlock>(new HostSharedBlock(static_cast<u8*>(data), size, {}));
}
