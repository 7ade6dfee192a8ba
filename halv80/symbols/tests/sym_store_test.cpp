// The symbol store: chunks and pages, the free-page stack, the name store's
// prefixes, growth and blobs, NameHandle packing, and the reset.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "halv80/engine/cmd_switches.h"
#include "halv80/engine/engine_state.h"
#include "halv80/symbols/sym_store.h"

using namespace std::string_view_literals;

namespace {

class SymStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_engine_state();
    sym_init();
  }
};

std::vector<u8> pattern(std::size_t n, u8 seed = 1) {
  std::vector<u8> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = u8(i * 7 + seed);
  return v;
}

std::vector<u8> stored(NameHandle h) {
  std::vector<u8> out(kSymPageSize);
  out.resize(sym_store_copy(h, out.data(), out.size()));
  return out;
}

constexpr std::size_t kAfterWorkAreas = kSymWorkArea1Size + kSymWorkArea2Size;  // 5,496

TEST_F(SymStoreTest, ResetReservesTheWorkAreasSoHandleZeroIsNeverAString) {
  EXPECT_EQ(SymStore.ChunkCount, 1);
  EXPECT_EQ(SymStore.NamePageCount, 1);
  EXPECT_EQ(SymStore.NameFill, kAfterWorkAreas);
  EXPECT_EQ(sym_store_ptr(kSymWorkArea2), sym_store_ptr(kSymWorkArea1) + kSymWorkArea1Size);

  const u8 text[] = {'x', 'y'};
  EXPECT_EQ(sym_store_bytes(2, text), NameHandle(kAfterWorkAreas));
  EXPECT_EQ(sym_store_copy(kNoName, nullptr, 0), 0u);
  char out[8] = "junk";
  EXPECT_EQ(sym_name_text(kNoName, out, sizeof out), 1u);
  EXPECT_STREQ(out, "");

  // A second reset starts over at the same place.
  sym_store_bytes(20000, nullptr);
  sym_store_bytes(20000, nullptr);
  EXPECT_EQ(SymStore.NamePageCount, 2);
  sym_reset();
  EXPECT_EQ(SymStore.NamePageCount, 1);
  EXPECT_EQ(SymStore.FreePageCount, 0);
  EXPECT_EQ(sym_store_bytes(2, text), NameHandle(kAfterWorkAreas));
}

TEST_F(SymStoreTest, LengthPrefixesAndTheirBoundaries) {
  const struct {
    std::size_t length;
    std::vector<u8> prefix;  // empty: refused
  } cases[] = {
      {0, {0x00}},           {1, {0x01}},           {127, {0x7F}},
      {128, {0x80, 0x80}},   // the first two-byte length
      {255, {0x80, 0xFF}},   {256, {0x81, 0x00}},
      {32766, {0xFF, 0xFE}},  // the longest that fits a page with its prefix
      {32767, {}},           {40000, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    sym_reset();
    const std::vector<u8> data = pattern(c.length);
    const NameHandle h = sym_store_bytes(c.length, data.data());
    if (c.prefix.empty()) {
      EXPECT_EQ(h, kNoName);
      continue;
    }
    ASSERT_NE(h, kNoName);
    EXPECT_EQ(h & 0xF0000000u, 0u);
    const u8* p = sym_store_ptr(h);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::vector<u8>(p, p + c.prefix.size()), c.prefix);
    std::size_t length = 0;
    EXPECT_EQ(sym_store_read_length(p, length), p + c.prefix.size());
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(stored(h), data);
  }
}

TEST_F(SymStoreTest, AStringThatDoesNotFitOpensANewPage) {
  const std::vector<u8> big = pattern(kSymPageSize - kAfterWorkAreas - 2);  // fills page 0 exactly
  EXPECT_EQ(sym_store_bytes(big.size(), big.data()), NameHandle(kAfterWorkAreas));
  EXPECT_EQ(SymStore.NameFill, kSymPageSize);
  const u8 one = 'z';
  EXPECT_EQ(sym_store_bytes(1, &one), 0x00010000u);  // page 1, offset 0
  EXPECT_EQ(sym_store_bytes(1, &one), 0x00010002u);
  EXPECT_EQ(stored(NameHandle(kAfterWorkAreas)), big);
}

TEST_F(SymStoreTest, NamePackingAndItsRoundTrip) {
  const struct {
    std::string_view name;
    NameHandle packed;  // 0: stored with its NUL
  } cases[] = {
      {"a", 0x61000000u},
      {"abcd", 0x61626364u},
      {"_a", 0x80000000u | 0x61000000u},
      {"_abcd", 0x80000000u | 0x61626364u},  // the hidden '_' makes five
      {"~~~~", 0x7E7E7E7Eu},
      {" x", 0x20780000u},
      {"abcde", 0},
      {"_abcde", 0},
      {"", 0},
      {"_", 0},
      {"__", 0x80000000u | 0x5F000000u},
      {"\x82\xA0", 0},     // Shift-JIS: a high first byte would read as the '_' bit
      {"ab\x82\xA0", 0},   // and a high later byte is stored too
      {"a\x7F", 0},
      {"\x01" "ab", 0},    // would leave the top four bits zero
      {"_a\tb", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.name)));
    const NameHandle h = sym_intern_name(c.name);
    ASSERT_NE(h, kNoName);
    if (c.packed != 0) {
      EXPECT_EQ(h, c.packed);
    } else {
      EXPECT_EQ(h & 0xF0000000u, 0u);
      std::vector<u8> expect(c.name.begin(), c.name.end());
      expect.push_back(0);
      EXPECT_EQ(stored(h), expect);
    }
    char out[16];
    EXPECT_EQ(sym_name_text(h, out, sizeof out), c.name.size() + 1);
    EXPECT_EQ(std::string_view(out), c.name);
  }
}

TEST_F(SymStoreTest, NameTextIsCutToItsBuffer) {
  const struct {
    NameHandle handle;
    std::size_t out_size;
    std::string_view text;
  } cases[] = {
      {sym_intern_name("_abcd"), 3, "_a"},
      {sym_intern_name("abcd"), 1, ""},
      {sym_intern_name("a long stored name"), 7, "a long"},
      {0x0FFFFFFFu, 8, ""},  // a handle past the store
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.handle);
    char out[32];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(sym_name_text(c.handle, out, c.out_size), c.text.size() + 1);
    EXPECT_EQ(std::string_view(out), c.text);
    EXPECT_EQ(out[c.out_size], '#');  // nothing written past the buffer
  }
  char untouched = '#';
  EXPECT_EQ(sym_name_text(sym_intern_name("ab"), &untouched, 0), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST_F(SymStoreTest, AppendGrowsInPlaceOrMovesToANewPage) {
  const std::vector<u8> head = pattern(200, 3), more = pattern(50, 9);
  std::vector<u8> both = head;
  both.insert(both.end(), more.begin(), more.end());

  // The last thing stored grows where it is.
  NameHandle h = sym_store_bytes(head.size(), head.data());
  EXPECT_EQ(sym_store_append(h, more.size(), more.data()), h);
  EXPECT_EQ(stored(h), both);
  EXPECT_EQ(SymStore.NameFill, kAfterWorkAreas + 2 + both.size());

  // Something stored after it: the string moves to the start of a new page.
  const u8 other = 'o';
  const NameHandle after = sym_store_bytes(1, &other);
  const NameHandle moved = sym_store_append(h, more.size(), more.data());
  EXPECT_EQ(moved, 0x00010000u);
  both.insert(both.end(), more.begin(), more.end());
  EXPECT_EQ(stored(moved), both);
  EXPECT_EQ(SymStore.NameFill, 2 + both.size());
  EXPECT_EQ(stored(after), std::vector<u8>{'o'});

  // Null data appends zeros; handle 0 stores a new string.
  const NameHandle zeros = sym_store_append(moved, 3, nullptr);
  EXPECT_EQ(zeros, moved);
  EXPECT_EQ(stored(zeros).size(), both.size() + 3);
  EXPECT_EQ(stored(zeros).back(), 0);
  const NameHandle fresh = sym_store_append(kNoName, head.size(), head.data());
  EXPECT_EQ(stored(fresh), head);
}

TEST_F(SymStoreTest, AppendRefusesOneBytePrefixesAndWholePagesOverflow) {
  const std::vector<u8> small = pattern(127), big = pattern(30000);
  const NameHandle s = sym_store_bytes(small.size(), small.data());
  EXPECT_EQ(sym_store_append(s, 1, small.data()), kNoName);
  EXPECT_EQ(stored(s), small);  // left as it was

  const NameHandle b = sym_store_bytes(big.size(), big.data());
  ASSERT_NE(b, kNoName);
  EXPECT_EQ(sym_store_append(b, 2767, big.data()), kNoName);  // 30,000 + 2,767 + 2 > one page
  const NameHandle grown = sym_store_append(b, 2766, big.data());
  ASSERT_NE(grown, kNoName);
  EXPECT_EQ(stored(grown).size(), 32766u);
  EXPECT_EQ(sym_store_append(0x0FFF0000u, 1, big.data()), kNoName);  // no such page
}

TEST_F(SymStoreTest, BlobsRoundTripInPieces) {
  for (const std::size_t length : {std::size_t(0), std::size_t(100), std::size_t(2048), std::size_t(2049),
                                   std::size_t(5000), std::size_t(32766)}) {
    SCOPED_TRACE(length);
    sym_reset();
    const std::vector<u8> data = pattern(length, u8(length));
    const NameHandle h = sym_store_blob(length, data.data());
    ASSERT_NE(h, kNoName);
    EXPECT_EQ(stored(h), data);
  }
  const std::vector<u8> too_long = pattern(32767);
  EXPECT_EQ(sym_store_blob(too_long.size(), too_long.data()), kNoName);
}

TEST_F(SymStoreTest, FreedPagesAreReusedLastFirstAndTheStackHoldsTwenty) {
  std::vector<u8*> pages;
  for (int i = 0; i < 21; ++i) pages.push_back(sym_page_alloc());
  for (u8* p : pages) {
    ASSERT_NE(p, nullptr);
    p[0] = 0xAA;
    sym_free_page(p);
  }
  EXPECT_EQ(SymStore.FreePageCount, kSymFreePageStack);
  EXPECT_EQ(sym_page_alloc(), pages[19]);  // the 21st was forgotten
  u8* zeroed = sym_page_alloc_zeroed();
  EXPECT_EQ(zeroed, pages[18]);
  EXPECT_EQ(zeroed[0], 0);
  EXPECT_EQ(SymStore.FreePageCount, 18);
}

TEST_F(SymStoreTest, ChunksStopAtTheLimit) {
  const struct {
    u32 limit;      // SymStore.ChunkLimit after the reset
    int pages;      // pages still to be had: the first chunk holds the name page
  } cases[] = {{0, 31}, {1, 31 + 32}, {2, 31 + 64}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.limit);
    sym_reset();
    SymStore.ChunkLimit = c.limit;
    int got = 0;
    while (sym_page_alloc() != nullptr) ++got;
    EXPECT_EQ(got, c.pages);
    EXPECT_EQ(SymStore.ChunkCount, c.limit + 1);
    EXPECT_EQ(sym_block_alloc(), nullptr);
    EXPECT_EQ(sym_store_bytes(kSymPageSize, nullptr), kNoName);  // nor a whole page for names
  }
}

TEST_F(SymStoreTest, ARequestPastTheChunkEndOpensANewChunk) {
  EXPECT_EQ(sym_chunk_alloc(0), nullptr);
  EXPECT_EQ(sym_chunk_alloc(kSymChunkSize + 1), nullptr);
  u8* rest = sym_chunk_alloc(kSymChunkSize - kSymPageSize - 32);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(SymStore.ChunkCount, 1);
  u8* block = sym_block_alloc();  // 32 bytes left: the rest stays unused
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(SymStore.ChunkCount, 2);
  EXPECT_EQ(SymStore.ChunkFill, kSymBlockSize);
  u8* odd = sym_chunk_alloc(5);  // rounded up, so the next piece stays aligned
  EXPECT_EQ(sym_chunk_alloc(1), odd + kSymChunkGrain);
}

TEST_F(SymStoreTest, TheChunkLimitComesFromTheSwitchCappedAt200) {
  const struct {
    u32 setting;
    u32 limit;
  } cases[] = {{4, 4}, {37, 37}, {200, 200}, {5000, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    Sw.SymbolBlockLimit = c.setting;
    sym_reset();
    EXPECT_EQ(SymStore.ChunkLimit, c.limit);
  }
}

}  // namespace
