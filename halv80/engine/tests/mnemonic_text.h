// Helpers of the tests that compare instruction texts with other tools': the
// texts cut into words and single-character delimiters, for normalising.
#pragma once

#include <cctype>
#include <string>
#include <vector>

inline bool all_hex(const std::string& t) {
  if (t.empty()) return false;
  for (char c : t)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Words and the delimiters , ( ) + - as words of their own; blanks and tabs
// dropped; letters upper-cased (or lower-cased).
inline std::vector<std::string> split_instruction_text(const std::string& text, bool upper) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == ',' || c == '(' || c == ')' || c == '+' || c == '-') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
      if (c != ' ' && c != '\t') out.emplace_back(1, c);
    } else {
      const unsigned char u = static_cast<unsigned char>(c);
      cur += char(upper ? std::toupper(u) : std::tolower(u));
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}
