// A program's texts by resource id: written in UTF-8 in a constant table and
// converted to CP932 once, at the first look-up.
#pragma once

#include <cstddef>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/host_types.h"

struct HostTextRow {
  u32 id;
  const char* text;  // UTF-8
};

// For a static_assert beside each table: look-ups search the ids in order.
template <std::size_t N>
consteval bool host_text_ids_ascending(const HostTextRow (&rows)[N]) {
  for (std::size_t i = 1; i < N; ++i)
    if (rows[i - 1].id >= rows[i].id) return false;
  return true;
}

class HostTextTable {
 public:
  explicit HostTextTable(std::span<const HostTextRow> rows) : rows_(rows) {}
  HostTextTable(const HostTextTable&) = delete;
  HostTextTable& operator=(const HostTextTable&) = delete;

  // The CP932 text of `id`; empty when the table has none. The texts live as
  // long as the table.
  std::string_view find(u32 id) const;

 private:
  std::span<const HostTextRow> rows_;
  mutable std::once_flag converted_once_;
  mutable std::vector<std::string> converted_;
};
