// An output stream that goes nowhere, for the targets that run the console
// window side.
#pragma once

#include <ostream>
#include <streambuf>

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

class NullStream : public std::ostream {
 public:
  NullStream() : std::ostream(&buffer_) {}

 private:
  NullBuffer buffer_;
};
