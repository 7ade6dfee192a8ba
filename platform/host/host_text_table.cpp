#include "platform/host/host_text_table.h"

#include <algorithm>

#include "platform/host/host_text.h"

std::string_view HostTextTable::find(u32 id) const {
  std::call_once(converted_once_, [this] {
    converted_.reserve(rows_.size());
    for (const HostTextRow& r : rows_) converted_.push_back(host_utf8_to_cp932(r.text));
  });
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), id, [](const HostTextRow& r, u32 v) { return r.id < v; });
  if (it == rows_.end() || it->id != id) return {};
  return converted_[std::size_t(it - rows_.begin())];
}
