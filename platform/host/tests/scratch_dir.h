// A fresh empty folder for one test, removed with everything in it when the
// object goes. Tests of any component use it for their file fixtures.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

class ScratchDir {
 public:
  ScratchDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "halv80-XXXXXX").string();
    if (mkdtemp(templ.data()) != nullptr) path_ = templ;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The folder in the host's form ("/tmp/halv80-ab12cd"); empty when it could
  // not be made.
  const std::string& path() const { return path_; }
  // The folder in the system's form ("\tmp\halv80-ab12cd").
  std::string system_path() const {
    std::string p = path_;
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  // Writes a file (host-relative name) with `bytes`; makes its folders.
  void write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path p = std::filesystem::path(path_) / name;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  // The bytes of a file, empty when it does not exist.
  std::string read(std::string_view name) const {
    std::ifstream in(std::filesystem::path(path_) / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool exists(std::string_view name) const { return std::filesystem::exists(std::filesystem::path(path_) / name); }

 private:
  std::string path_;
};
