// A scratch folder for the files of one fuzzing process: made once, removed
// with everything in it when the process exits. It lies in /dev/shm where the
// system has one, since the readers' own atomic writes sync their files, which
// on a disk costs milliseconds per input. Inputs are written over the old
// file in place: no temporary file and no sync per input.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

class FuzzScratch {
 public:
  FuzzScratch() {
    std::error_code ec;
    const std::filesystem::path in_memory = "/dev/shm";
    const std::filesystem::path base =
        std::filesystem::is_directory(in_memory, ec) ? in_memory : std::filesystem::temp_directory_path(ec);
    std::string templ = (base / "halv80-fuzz-XXXXXX").string();
    if (mkdtemp(templ.data()) != nullptr) path_ = templ;
  }
  ~FuzzScratch() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  FuzzScratch(const FuzzScratch&) = delete;
  FuzzScratch& operator=(const FuzzScratch&) = delete;

  // The folder in the host's form; empty when it could not be made.
  const std::string& path() const { return path_; }
  // The folder, or file `name` in it, in the system's form ("\dev\shm\...").
  std::string system_path(std::string_view name = {}) const {
    std::string p = path_;
    for (char& c : p)
      if (c == '/') c = '\\';
    if (!name.empty()) p += "\\" + std::string(name);
    return p;
  }
  // Writes file `name` with `bytes` over what it held; false when it cannot.
  bool write(std::string_view name, std::span<const u8> bytes) const {
    std::ofstream out(std::filesystem::path(path_) / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return out.good();
  }

 private:
  std::string path_;
};
