#include "halv80/engine/lst_words.h"

#include <utility>

#include "halv80/engine/cmd_switches.h"

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex_digit(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_ident(std::string_view line, std::size_t i) { return i < line.size() && cmd_is_ident_char(u8(line[i])); }

// Does an index that opens at `open` hold only a number up to its "]": an
// optionally signed decimal number or a hexadecimal one written with 0x?
bool numeric_index(std::string_view line, std::size_t open) {
  std::size_t i = open + 1;
  if (i < line.size() && (line[i] == '+' || line[i] == '-')) ++i;
  const bool hex = i + 1 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X');
  if (hex) i += 2;
  const std::size_t first = i;
  while (i < line.size() && (hex ? is_hex_digit(line[i]) : is_digit(line[i]))) ++i;
  return i > first && i < line.size() && line[i] == ']';
}

char closing_of(char open) { return open == '(' ? ')' : ']'; }

// The start of the balanced group that ends with the closing bracket at
// `close`; npos when the line holds no matching opening one.
std::size_t balanced_start(std::string_view line, std::size_t close) {
  const char shut = line[close];
  const char open = shut == ')' ? '(' : '[';
  int depth = 0;
  for (std::size_t i = close + 1; i-- > 0;) {
    if (line[i] == shut) ++depth;
    if (line[i] == open && --depth == 0) return i;
  }
  return std::string_view::npos;
}

// The word scan: left over identifiers and their suffixes from `left`, right
// over identifiers and whole index groups from `right` (exclusive).
// `closes`: indexes whose "]" the leftward scan passed and whose "[" it has
// still to pass; `open_brackets`: indexes the rightward scan has to close.
bool scan_word(std::string_view line, std::size_t left, std::size_t right, int open_brackets, std::string& out) {
  bool numeric_passed = false;
  int closes = 0;
  for (;;) {
    while (left > 0 && is_ident(line, left - 1)) --left;
    if (left == 0) break;
    const u16 kind = lst_word_suffix_kind(line, left - 1, closes > 0);
    if (kind == kSuffixNone) break;
    if (kind == kSuffixClose) {
      ++closes;
    } else if (kind == kSuffixOpenInIndex) {
      --closes;
    } else if (kind == kSuffixOpenNumeric) {
      if (numeric_passed) return false;  // one numeric index at the most
      numeric_passed = true;
      ++open_brackets;  // the cursor stood inside it: the scan to the right closes it
    }
    const std::size_t step = kind & kSuffixStepMask;
    if (step > left) break;
    left -= step;
  }
  if (closes != 0) return false;
  while (right < line.size()) {
    if (is_ident(line, right)) {
      ++right;
    } else if (line[right] == '[') {
      const std::size_t end = sup_skip_balanced(line, right + 1, '[');
      if (end == std::string_view::npos) break;
      right = end;
    } else if (line[right] == ']' && open_brackets > 0) {
      --open_brackets;
      ++right;
    } else {
      break;
    }
  }
  if (right <= left) return false;
  out.assign(line.substr(left, right - left));
  return true;
}

}  // namespace

bool cmd_is_ident_char(u8 c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') return true;
  return Sw.ToolchainKind == 16 && (c == '$' || c == '?' || c == '@');
}

u16 lst_word_suffix_kind(std::string_view line, std::size_t pos, bool in_index) {
  if (pos >= line.size()) return kSuffixNone;
  switch (line[pos]) {
    case '.':
      return kSuffixMember;
    case '>':
      return pos > 0 && line[pos - 1] == '-' ? kSuffixArrow : kSuffixNone;
    case ']':
      return kSuffixClose;
    case '[':
      if (in_index) return kSuffixOpenInIndex;
      return numeric_index(line, pos) ? kSuffixOpenNumeric : kSuffixNone;
    default:
      return kSuffixNone;
  }
}

std::size_t sup_skip_balanced(std::string_view text, std::size_t pos, char open) {
  const char close = closing_of(open);
  int depth = 1;
  for (std::size_t i = pos; i < text.size(); ++i) {
    if (text[i] == open) ++depth;
    if (text[i] == close && --depth == 0) return i + 1;
  }
  return std::string_view::npos;
}

u16 fmt_declarator_kind(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && text[i] == '*') return 1;
  if (i < text.size() && text[i] == '(') {
    i = sup_skip_balanced(text, i + 1, '(');
    if (i == std::string_view::npos) return 2;
  } else {
    const std::size_t first = i;
    while (is_ident(text, i)) ++i;
    if (i == first) return 2;
  }
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
    } else if (text[i] == '[') {
      i = sup_skip_balanced(text, i + 1, '[');
      if (i == std::string_view::npos) return 2;
    } else {
      return 2;
    }
  }
  return 0;
}

bool lst_word_in_line(std::string_view line, std::size_t index, u16 how, std::string& out) {
  out.clear();
  if (index >= line.size()) return false;
  const char c = line[index];
  if (cmd_is_ident_char(u8(c))) return scan_word(line, index, index + 1, 0, out);
  // on an index's bracket the word is the indexed expression with its index
  if (how == kWordWithBrackets && c == ']') return scan_word(line, index + 1, index + 1, 0, out);
  if (how == kWordWithBrackets && c == '[') return scan_word(line, index, index, 0, out);
  if (c == '(' || c == '[') {
    const std::size_t end = sup_skip_balanced(line, index + 1, c);
    if (end == std::string_view::npos) return false;
    out.assign(c == '(' ? line.substr(index + 1, end - index - 2) : line.substr(index, end - index));
    return true;
  }
  if (c == ')' || c == ']') {
    const std::size_t start = balanced_start(line, index);
    if (start == std::string_view::npos) return false;
    out.assign(line.substr(start, index + 1 - start));
    return true;
  }
  return false;
}

void lst_sort_by_name(std::span<u16> order, std::span<const std::string> names) {
  const std::size_t n = order.size();
  const auto later_first = [&](u16 earlier, u16 later) {
    if (earlier >= names.size() || later >= names.size()) return false;
    const int cmp = names[later].compare(names[earlier]);
    return cmp < 0 || (cmp == 0 && later > earlier);
  };
  std::size_t gap = n;
  bool exchanged = false;
  do {
    gap = gap * 10000 / 13000;
    if (gap == 0) gap = 1;
    if (gap == 9) gap = 11;
    exchanged = false;
    for (std::size_t i = 0; i + gap < n; ++i) {
      if (later_first(order[i], order[i + gap])) {
        std::swap(order[i], order[i + gap]);
        exchanged = true;
      }
    }
  } while (gap >= 2 || exchanged);
}
