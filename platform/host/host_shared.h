// Named shared memory between two processes: one creates a block of a fixed
// size, the other opens it by name, both see the same bytes. Names are
// machine-wide; the creator removes the name when it closes the block.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/host/host_types.h"

class HostSharedBlock {
 public:
  ~HostSharedBlock();
  HostSharedBlock(const HostSharedBlock&) = delete;
  HostSharedBlock& operator=(const HostSharedBlock&) = delete;

  // A new zero-filled block of `size` bytes named `name` (no "/"), readable
  // and writable by this user only; null when it cannot be made, also when
  // the name is taken.
  static std::unique_ptr<HostSharedBlock> create(std::string_view name, std::size_t size);
  // A new block whose name is `prefix` + "." + this process's id + "." + a
  // count: unique to the process and the call, so that two users' programs
  // (names are machine-wide) never meet. name() tells it.
  static std::unique_ptr<HostSharedBlock> create_unique(std::string_view prefix, std::size_t size);
  // The existing block `name`, mapped whole; null when there is none or it is
  // smaller than `min_size`.
  static std::unique_ptr<HostSharedBlock> open(std::string_view name, std::size_t min_size);

  std::span<u8> bytes() const { return {data_, size_}; }
  // The name this process created the block under (empty for an opened one).
  std::string name() const { return owned_name_.empty() ? std::string() : owned_name_.substr(1); }

 private:
  HostSharedBlock(u8* data, std::size_t size, std::string owned_name)
      : data_(data), size_(size), owned_name_(std::move(owned_name)) {}
  u8* data_;
  std::size_t size_;
  std::string owned_name_;  // removed at the end; empty for an opened block
};
