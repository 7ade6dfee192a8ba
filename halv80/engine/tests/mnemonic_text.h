// Helpers of the tests that compare instruction texts with other tools': the
// texts cut into words and single-character delimiters, for normalising, and
// the encodings of an opcode page.
#pragma once

#include <cctype>
#include <cstdint>
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

// The bytes of opcode `op` on a page: the page's prefix, then the opcode and
// the operand bytes, or, on the DD CB / FD CB pages (`op_last`), the first
// operand byte (the displacement) and then the opcode.
inline std::vector<std::uint8_t> page_encoding(const std::vector<std::uint8_t>& prefix, bool op_last, std::uint8_t op,
                                               const std::vector<std::uint8_t>& operands) {
  std::vector<std::uint8_t> code = prefix;
  if (op_last) {
    code.push_back(operands.empty() ? 0 : operands[0]);
    code.push_back(op);
  } else {
    code.push_back(op);
    code.insert(code.end(), operands.begin(), operands.end());
  }
  return code;
}
