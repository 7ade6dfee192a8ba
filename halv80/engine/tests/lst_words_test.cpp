// The words the code window picks from a source line: the expression around
// the cursor with its member and index suffixes, bracket groups, declarator
// forms and the file chooser's order.
#include "halv80/engine/lst_words.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/tests/engine_fixture.h"

namespace {

class LstWordsTest : public EngineTest {};

TEST_F(LstWordsTest, TheWordAroundTheCursor) {
  const struct {
    const char* line;
    const char* at;  // the cursor stands on the first character of this text in the line
    u16 how;
    const char* word;  // empty: no word
  } cases[] = {
      {"  total += p->pos.x;", "x;", kWordPlain, "p->pos.x"},
      {"  total += p->pos.x;", "pos", kWordPlain, "p->pos"},
      {"  total += p->pos.x;", "total", kWordPlain, "total"},
      {"  v = arr[i].y + 1;", "y +", kWordPlain, "arr[i].y"},
      {"  v = arr[12].y;", "2]", kWordPlain, "arr[12]"},        // inside a numeric index
      {"  v = arr[0x1F].y;", "1F", kWordPlain, "arr[0x1F]"},
      {"  v = m[1][2];", "2]", kWordPlain, "m[1][2]"},          // the index passed on the way left is no second one
      {"  v = m[1]+a[2];", "2]", kWordPlain, "a[2]"},
      {"  v = arr[i];", "]", kWordWithBrackets, "arr[i]"},
      {"  v = arr[i];", "[", kWordWithBrackets, "arr[i]"},
      {"  v = arr[i];", "[", kWordPlain, "[i]"},
      {"  f(a, (b + c));", "(b", kWordPlain, "b + c"},
      {"  f(a, (b + c));", "));", kWordPlain, "(b + c)"},
      {"  f(a, (b + c));", ");", kWordPlain, "(a, (b + c))"},
      {"  v = a + b;", "+", kWordPlain, ""},
      {"  v = a + b;", " b", kWordPlain, ""},
      {"  f(a, (b + c;", "(b", kWordPlain, ""},                 // an unclosed group
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line) + " at " + c.at);
    const std::string line = c.line;
    const std::size_t index = line.find(c.at);
    ASSERT_NE(index, std::string::npos);
    std::string word;
    EXPECT_EQ(lst_word_in_line(line, index, c.how, word), *c.word != '\0');
    EXPECT_EQ(word, c.word);
  }
  std::string word = "old";
  EXPECT_FALSE(lst_word_in_line("abc", 3, kWordPlain, word));  // past the line's end
  EXPECT_EQ(word, "");
}

TEST_F(LstWordsTest, IdentifierCharactersFollowTheToolchain) {
  Sw.ToolchainKind = 16;
  EXPECT_TRUE(cmd_is_ident_char('$') && cmd_is_ident_char('?') && cmd_is_ident_char('@'));
  Sw.ToolchainKind = 2;
  EXPECT_FALSE(cmd_is_ident_char('$') || cmd_is_ident_char('?') || cmd_is_ident_char('@'));
  EXPECT_TRUE(cmd_is_ident_char('_') && cmd_is_ident_char('z') && cmd_is_ident_char('9'));
  EXPECT_FALSE(cmd_is_ident_char('.') || cmd_is_ident_char(0xB1));
}

TEST_F(LstWordsTest, SuffixesBalancedGroupsAndDeclarators) {
  EXPECT_EQ(lst_word_suffix_kind("a->b", 2, false), kSuffixArrow);
  EXPECT_EQ(lst_word_suffix_kind(">b", 0, false), kSuffixNone);  // no "-" before it
  EXPECT_EQ(lst_word_suffix_kind("a[-3]", 1, false), kSuffixOpenNumeric);
  EXPECT_EQ(lst_word_suffix_kind("a[i]", 1, false), kSuffixNone);
  EXPECT_EQ(lst_word_suffix_kind("a[i]", 1, true), kSuffixOpenInIndex);

  EXPECT_EQ(sup_skip_balanced("(a(b)c)d", 1, '('), 7u);
  EXPECT_EQ(sup_skip_balanced("[a[b]", 1, '['), std::string_view::npos);

  const struct {
    const char* text;
    u16 kind;
  } declarators[] = {{"*p", 1}, {"name", 0}, {"arr[4][2]", 0}, {"(*fp)", 0}, {"(*fp)(int)", 2}, {"a + b", 2}, {"", 2}};
  for (const auto& d : declarators) {
    SCOPED_TRACE(d.text);
    EXPECT_EQ(fmt_declarator_kind(d.text), d.kind);
  }
}

TEST_F(LstWordsTest, TheFileChooserOrdersByNameAndHigherModuleFirst) {
  const std::vector<std::string> names = {"MAIN.C", "B.C", "UTIL.C", "B.C", "A.C", "MAIN.C"};
  std::vector<u16> order(names.size());
  std::iota(order.begin(), order.end(), u16(0));
  lst_sort_by_name(order, names);
  EXPECT_EQ(order, (std::vector<u16>{4, 3, 1, 5, 0, 2}));
}

}  // namespace
