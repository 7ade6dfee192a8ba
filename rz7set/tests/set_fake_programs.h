// Programs that the setup program starts, stood in for by small scripts in a
// folder of their own: each writes its working folder and its arguments, one
// a line, to NAME.txt in the record folder, through a rename, so a record is
// there whole or not at all. Tests wait for the record, not for a time.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/tests/scratch_dir.h"

class FakePrograms {
 public:
  // A program `name` in the folder; `name` may be a path below it.
  void Add(const std::string& name) const {
    bin_.write(name,
               "#!/bin/sh\n"
               "out=\"" + records_.path() + "/$(basename \"$0\")\"\n"
               "{ pwd; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$out.tmp\" && mv \"$out.tmp\" \"$out.txt\"\n");
    chmod((bin_.path() + "/" + name).c_str(), 0755);
  }
  const ScratchDir& bin() const { return bin_; }
  // The lines of NAME's record (working folder first, then the arguments),
  // once it has been written; empty when none came within the guard.
  std::vector<std::string> Wait(const std::string& name) const {
    const std::filesystem::path record = std::filesystem::path(records_.path()) / (name + ".txt");
    // a guard for a program that never runs; the test waits on the record
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(record) && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::vector<std::string> lines;
    std::ifstream in(record);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool Ran(const std::string& name) const { return records_.exists(name + ".txt"); }

 private:
  ScratchDir bin_;
  ScratchDir records_;
};
