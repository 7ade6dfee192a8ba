// A scratch folder made the current folder for one test, with helpers to put
// files in it and read them back; the folder goes when the test ends.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "halv80/gui/prj_default.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    previous_ = std::filesystem::current_path();
    char pattern[] = "/tmp/gui_test_XXXXXX";
    if (mkdtemp(pattern)) dir_ = pattern;
    std::filesystem::current_path(dir_);
  }
  ~ScratchFolder() {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& dir() const { return dir_; }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

// A project file as the template makes it, with `dir` as its %DIR line.
inline std::string project_text(const std::string& dir = "C:\\PRJ") {
  std::string text = "%SYS\r\n";
  text += kDefaultSysBody;
  text += "%BRK\r\n";
  std::string tail(kTemplateTail);
  const std::string current = "@Current";
  tail.replace(tail.find(current), current.size(), dir);
  text += tail;
  text += '\x1A';
  return text;
}
