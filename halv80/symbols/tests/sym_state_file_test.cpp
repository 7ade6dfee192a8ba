// The saved-state file: write-then-read round trips, the sizes that get a
// file deleted, bad history words and name parts, the #define list's filler
// and Memo.QN. Each test runs in its own scratch folder as current directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_state_file.h"
#include "halv80/symbols/sym_store.h"
#include "halv80/symbols/sym_symbols.h"
#include "platform/host/tests/file_size_limit.h"
#include "platform/host/tests/scratch_dir.h"

using namespace std::string_literals;

namespace {

class StateFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    sym_init();
    Saved = SavedState{};
    ASSERT_FALSE(dir_.path().empty());
    saved_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
  }
  void TearDown() override { std::filesystem::current_path(saved_cwd_); }

  static u8* settings() { return sym_store_ptr(kSymWorkArea2); }
  static bool settings_all(u8 value) {
    return std::all_of(settings(), settings() + kStateSettingsSize, [value](u8 b) { return b == value; });
  }
  // A state that differs from the defaults everywhere a bad file resets it.
  static void make_state_dirty() {
    Saved.HistoryWriteEnd = 5;
    Saved.HistoryOldest = 3;
    Saved.HistoryNonEmpty = 1;
    Saved.FunctionKeyTexts[0] = sym_intern_name("old key text");
    std::memset(settings(), 0xAA, kStateSettingsSize);
  }

  ScratchDir dir_;
  std::filesystem::path saved_cwd_;
};

// The file's fixed part: three words and a settings block of `fill` bytes.
std::string fixed_part(u16 write_end, u16 oldest, u16 non_empty, char fill) {
  std::string s(kStateWordsSize, '\0');
  store_le16(reinterpret_cast<u8*>(s.data()), write_end);
  store_le16(reinterpret_cast<u8*>(s.data()) + 2, oldest);
  store_le16(reinterpret_cast<u8*>(s.data()) + 4, non_empty);
  return s + std::string(kStateSettingsSize, fill);
}

std::string text_of(NameHandle h) {
  char out[kStateNameMax + 2];
  sym_name_text(h, out, sizeof out);
  return out;
}

// The texts of a list, without its trailing empty entries.
std::vector<std::string> texts_of(std::span<const NameHandle> list) {
  std::vector<std::string> out;
  for (NameHandle h : list) out.push_back(text_of(h));
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

const std::string kNoNames(kStateFirstListSize + kStateDefineListSize, '\0');

TEST_F(StateFileTest, SaveThenLoadGivesTheSameState) {
  const std::string longest(kStateNameMax, 'L');
  const std::vector<std::string> keys = {"", "K2", "_ab", "a function-key text\r", longest};
  const std::vector<std::string> defines = {"ONE", "_two", "a_longer_define", std::string(300, 'D')};
  Saved.HistoryWriteEnd = 1399;
  Saved.HistoryOldest = 17;
  Saved.HistoryNonEmpty = 1;
  for (std::size_t i = 0; i < keys.size(); ++i)
    Saved.FunctionKeyTexts[i] = keys[i].empty() ? kNoName : sym_intern_name(keys[i]);
  for (std::size_t i = 0; i < defines.size(); ++i) Saved.DefineList[i] = sym_intern_name(defines[i]);
  for (std::size_t i = 0; i < kStateSettingsSize; ++i) settings()[i] = u8(i * 7 + 1);
  std::vector<u8> block(settings(), settings() + kStateSettingsSize);
  dir_.write("ZER80.DAT", "an older file");

  cfg_state_file_save();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), 1);  // no temporary left behind
  sym_reset();
  Saved = SavedState{};
  cfg_state_file_load();

  EXPECT_EQ(Saved.HistoryWriteEnd, 1399);
  EXPECT_EQ(Saved.HistoryOldest, 17);
  EXPECT_EQ(Saved.HistoryNonEmpty, 1);
  EXPECT_EQ(std::vector<u8>(settings(), settings() + kStateSettingsSize), block);
  EXPECT_EQ(texts_of(Saved.FunctionKeyTexts), keys);
  const std::vector<std::string> cut = {"ONE", "_two", "a_longer_define", std::string(kStateNameMax, 'D')};
  EXPECT_EQ(texts_of(Saved.DefineList), cut);
}

TEST_F(StateFileTest, ShortFilesAreDeletedAndABareFixedPartIsBad) {
  const std::string whole = fixed_part(7, 2, 1, '\x55');
  const struct {
    std::size_t size;
    bool deleted;
  } cases[] = {
      {0, true}, {1399, true}, {1400, true}, {1405, true},  // shorter than the fixed part
      {1406, false},                                        // no names at all: bad
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    sym_reset();
    Saved = SavedState{};
    make_state_dirty();
    dir_.write("ZER80.DAT", whole.substr(0, c.size));
    cfg_state_file_load();
    EXPECT_EQ(dir_.exists("ZER80.DAT"), !c.deleted);
    if (c.deleted) {  // nothing read
      EXPECT_TRUE(settings_all(0xAA));
      EXPECT_EQ(Saved.HistoryWriteEnd, 5);
      EXPECT_EQ(text_of(Saved.FunctionKeyTexts[0]), "old key text");
    } else {
      EXPECT_TRUE(settings_all(0));
      EXPECT_EQ(Saved.HistoryWriteEnd, 0);
      EXPECT_EQ(Saved.HistoryOldest, 0);
      EXPECT_EQ(Saved.HistoryNonEmpty, 0);
      EXPECT_EQ(Saved.FunctionKeyTexts[0], kNoName);
    }
  }
}

TEST_F(StateFileTest, HistoryWordsOutOfRangeMakeTheFileBad) {
  const std::string names =
      "KEY1"s + std::string(kStateFirstListSize, '\0') + "DEF"s + std::string(kStateDefineListSize, '\0');
  const struct {
    u16 write_end, oldest, non_empty;
    bool bad;
  } cases[] = {
      {1399, 1399, 1, false}, {0, 0, 0, false},  // the largest and smallest good words
      {1400, 0, 0, true},     {0, 1400, 0, true}, {0, 0, 2, true}, {0xFFFF, 0xFFFF, 0xFFFF, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.write_end << " " << c.oldest << " " << c.non_empty);
    sym_reset();
    Saved = SavedState{};
    dir_.write("ZER80.DAT", fixed_part(c.write_end, c.oldest, c.non_empty, '\x55') + names);
    cfg_state_file_load();
    EXPECT_EQ(Saved.HistoryWriteEnd, c.bad ? 0 : c.write_end);
    EXPECT_EQ(Saved.HistoryOldest, c.bad ? 0 : c.oldest);
    EXPECT_EQ(Saved.HistoryNonEmpty, c.bad ? 0 : c.non_empty);
    EXPECT_TRUE(settings_all(c.bad ? 0 : 0x55));
    EXPECT_EQ(texts_of(Saved.FunctionKeyTexts), c.bad ? std::vector<std::string>{} : std::vector<std::string>{"KEY1"});
    EXPECT_EQ(texts_of(Saved.DefineList), std::vector<std::string>{"DEF"});  // a bad file keeps the #define list
  }
}

TEST_F(StateFileTest, NamePartIsBoundedAndMustEndInsideTheBytesRead) {
  const std::string nine_empty(kStateFirstListSize - 1, '\0');
  const std::string too_long(kStateNameMax + 1, 'X');
  const std::string longest(kStateNameMax, 'X');
  const std::string empty_defines(kStateDefineListSize, '\0');
  const struct {
    const char* what;
    std::string names;
    bool bad;
    std::vector<std::string> keys, defines;
  } cases[] = {
      {"all empty", kNoNames, false, {}, {}},
      {"#define list one text short", "A\0"s + nine_empty + std::string(kStateDefineListSize - 1, '\0'), true, {}, {}},
      {"last text unterminated", "A\0"s + nine_empty + "D\0"s + std::string(kStateDefineListSize - 2, '\0') + "E", true,
       {}, {"D"}},
      {"first text unterminated", "A", true, {}, {}},
      {"longest name kept", "A\0"s + longest + '\0' + std::string(kStateFirstListSize - 2, '\0') + empty_defines, false,
       {"A", longest}, {}},
      {"a name too long ends its list only",
       "A\0"s + too_long + "\0C\0"s + std::string(kStateFirstListSize - 3, '\0') + "D\0"s +
           std::string(kStateDefineListSize - 1, '\0'),
       false, {"A"}, {"D"}},
      {"bytes after the lists ignored", kNoNames + "junk", false, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sym_reset();
    Saved = SavedState{};
    dir_.write("ZER80.DAT", fixed_part(9, 4, 1, '\x55') + c.names);
    cfg_state_file_load();
    EXPECT_EQ(Saved.HistoryWriteEnd, c.bad ? 0 : 9);
    EXPECT_TRUE(settings_all(c.bad ? 0 : 0x55));
    EXPECT_EQ(texts_of(Saved.FunctionKeyTexts), c.keys);
    EXPECT_EQ(texts_of(Saved.DefineList), c.defines);
  }
}

TEST_F(StateFileTest, DefineListIsWrittenUpToItsFirstEmptyEntryThenZeros) {
  std::vector<std::string> all(kStateDefineListSize);
  std::string all_written;
  for (std::size_t i = 0; i < all.size(); ++i) {
    all[i] = "D" + std::to_string(i);
    all_written += all[i] + '\0';
  }
  const struct {
    const char* what;
    std::vector<std::string> defines;  // "" = an empty entry
    std::string written;               // the bytes after the first list
  } cases[] = {
      {"empty", {}, std::string(kStateDefineListSize, '\0')},
      {"two", {"ONE", "TWO"}, "ONE\0TWO\0"s + std::string(kStateDefineListSize - 2, '\0')},
      {"stops at a gap", {"ONE", "", "THREE"}, "ONE\0"s + std::string(kStateDefineListSize - 1, '\0')},
      {"full: no filler", all, all_written},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sym_reset();
    Saved = SavedState{};
    for (std::size_t i = 0; i < c.defines.size(); ++i)
      Saved.DefineList[i] = c.defines[i].empty() ? kNoName : sym_intern_name(c.defines[i]);
    cfg_state_file_save();
    EXPECT_EQ(dir_.read("ZER80.DAT"), fixed_part(0, 0, 0, '\0') + std::string(kStateFirstListSize, '\0') + c.written);
  }
}

TEST_F(StateFileTest, LoadMakesTheMemoFileExist) {
  const struct {
    const char* what;
    bool folder;          // a folder stands where the memo file would go
    const char* content;  // an existing memo file's bytes; null: none
    u16 available;
  } cases[] = {
      {"absent: created empty", false, nullptr, 1},
      {"present: kept", false, "my notes", 1},
      {"cannot be created", true, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all("Memo.QN");
    if (c.folder) std::filesystem::create_directory("Memo.QN");
    if (c.content != nullptr) dir_.write("Memo.QN", c.content);
    Saved.MemoAvailable = u16(1 - c.available);
    cfg_state_file_load();
    EXPECT_EQ(Saved.MemoAvailable, c.available);
    if (!c.folder) {
      EXPECT_EQ(dir_.read("Memo.QN"), c.content == nullptr ? "" : c.content);
    }
  }
}

TEST_F(StateFileTest, WithoutASymbolStoreNothingIsReadOrWritten) {
  const std::string file = fixed_part(9, 4, 1, '\x55') + "KEY1"s + kNoNames;
  dir_.write("ZER80.DAT", file);
  SymStore.NamePageCount = 0;  // as before the first reset
  cfg_state_file_load();
  EXPECT_EQ(Saved.HistoryWriteEnd, 0);
  EXPECT_EQ(Saved.FunctionKeyTexts[0], kNoName);
  EXPECT_TRUE(dir_.exists("Memo.QN"));
  Saved.HistoryWriteEnd = 1;
  cfg_state_file_save();
  EXPECT_EQ(dir_.read("ZER80.DAT"), file);
  sym_reset();
}

TEST_F(StateFileTest, AFailedSaveKeepsTheOldFileAndTheSessionsState) {
  dir_.write("ZER80.DAT", fixed_part(9, 4, 1, '\x55') + "OLD KEY"s + kNoNames);
  make_state_dirty();
  Saved.DefineList[0] = sym_intern_name("KEPT");
  {
    // a full disk: reported, and the file on disk stays as it was
    const FileSizeLimit full_disk(100);
    EXPECT_FALSE(cfg_state_file_save());
    // a load's reset carries the state across in memory instead
    sym_reload_reset();
  }
  EXPECT_EQ(dir_.read("ZER80.DAT"), fixed_part(9, 4, 1, '\x55') + "OLD KEY"s + kNoNames);
  EXPECT_EQ(Saved.HistoryWriteEnd, 5);
  EXPECT_EQ(Saved.HistoryOldest, 3);
  EXPECT_TRUE(settings_all(0xAA));
  EXPECT_EQ(texts_of(Saved.FunctionKeyTexts), std::vector<std::string>{"old key text"});
  EXPECT_EQ(texts_of(Saved.DefineList), std::vector<std::string>{"KEPT"});
  // and once the disk has room again the state reaches the file
  EXPECT_TRUE(cfg_state_file_save());
  Saved = SavedState{};
  cfg_state_file_load();
  EXPECT_EQ(texts_of(Saved.FunctionKeyTexts), std::vector<std::string>{"old key text"});
}

}  // namespace
