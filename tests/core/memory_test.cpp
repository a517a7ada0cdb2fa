// Ordinary blocks of the memory manager: sizes, splitting, resizing,
// accounting, areas and the consistency dump.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/memory.h"
#include "support/env.h"
#include "support/memory_fixture.h"

namespace {

constexpr uint32_t MISC = lv_mem_flags(LV_CAT_MISC);
constexpr uint32_t MISC_MAY_FAIL = lv_mem_flags(LV_CAT_MISC, LV_MEM_MAY_FAIL);

int count_lines_with(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos; pos = text.find(needle, pos + 1)) n++;
  return n;
}

TEST_F(MemoryTest, RequestSizesRoundToBlockSizes) {
  struct {
    size_t request;
    uint64_t block;
  } cases[] = {{0, 32}, {1, 32}, {16, 32}, {17, 48}, {32, 48}, {33, 64}, {1000, 1024}};
  for (const auto& c : cases) {
    void* p = lv_mem_alloc(c.request, MISC);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uint64_t>(p) % 16, 0u);
    EXPECT_EQ(block_size(p), c.block) << "request " << c.request;
    EXPECT_EQ(lv_mem_category_bytes(LV_CAT_MISC), c.block);
    lv_mem_free(p, c.request, MISC);
    EXPECT_EQ(lv_mem_category_bytes(LV_CAT_MISC), 0u);
  }
  EXPECT_EQ(lv_mem_used_bytes(), 0u);
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, RemainderOfSixteenBytesStaysWithTheBlock) {
  void* guard1 = lv_mem_alloc(16, MISC);
  void* a = lv_mem_alloc(32, MISC);  // a 48-byte block
  void* guard2 = lv_mem_alloc(16, MISC);
  ASSERT_EQ(block_size(a), 48u);
  lv_mem_free(a, 32, MISC);
  uint64_t before = lv_mem_used_bytes();
  // A 32-byte block would leave 16 bytes: the whole 48-byte block is taken.
  void* b = lv_mem_alloc(16, MISC);
  EXPECT_EQ(b, a);
  EXPECT_EQ(block_size(b), 48u);
  EXPECT_EQ(lv_mem_used_bytes(), before + 48);
  lv_mem_free(b, 16, MISC);
  lv_mem_free(guard1, 16, MISC);
  lv_mem_free(guard2, 16, MISC);
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, FreedNeighboursCoalesce) {
  void* a = lv_mem_alloc(100, MISC);
  void* b = lv_mem_alloc(100, MISC);
  void* c = lv_mem_alloc(100, MISC);
  void* guard = lv_mem_alloc(100, MISC);
  uint64_t free_before = lv_mem_free_bytes();
  lv_mem_free(a, 0, MISC);
  lv_mem_free(c, 0, MISC);
  lv_mem_free(b, 0, MISC);
  EXPECT_EQ(lv_mem_free_bytes(), free_before + 3 * 128);
  // The three blocks are one free block again: a request for all of it fits
  // where a was.
  void* big = lv_mem_alloc(3 * 128 - 16, MISC);
  EXPECT_EQ(big, a);
  lv_mem_free(big, 0, MISC);
  lv_mem_free(guard, 0, MISC);
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, ResizeInPlaceOnlyCannotGrowButCanShrink) {
  void* a = lv_mem_alloc(64, MISC);
  // The successor of a is the free rest of the area, yet an in-place-only
  // growth fails.
  EXPECT_EQ(lv_mem_realloc(a, 64, 128, MISC | LV_MEM_IN_PLACE | LV_MEM_MAY_FAIL), nullptr);
  EXPECT_EQ(block_size(a), 80u);
  void* b = lv_mem_realloc(a, 64, 16, MISC | LV_MEM_IN_PLACE | LV_MEM_MAY_FAIL);
  EXPECT_EQ(b, a);
  EXPECT_EQ(block_size(b), 32u);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_MISC), 32u);
  lv_mem_free(b, 16, MISC);
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, ResizeGrowsIntoFreeSuccessorThenPredecessor) {
  void* guard1 = lv_mem_alloc(16, MISC);
  void* pred = lv_mem_alloc(200, MISC);
  void* a = lv_mem_alloc(40, MISC);
  void* succ = lv_mem_alloc(40, MISC);
  void* guard2 = lv_mem_alloc(16, MISC);
  std::memset(a, 0x5A, 40);
  lv_mem_free(succ, 0, MISC);
  // Into the successor: the block stays where it is.
  void* b = lv_mem_realloc(a, 40, 80, MISC);
  EXPECT_EQ(b, a);
  EXPECT_EQ(block_size(b), 96u);
  // Further than the successor allows: the predecessor is taken and the
  // bytes move down.
  lv_mem_free(pred, 0, MISC);
  void* c = lv_mem_realloc(b, 80, 250, MISC);
  EXPECT_EQ(c, pred);
  for (int i = 0; i < 40; i++) ASSERT_EQ(static_cast<unsigned char*>(c)[i], 0x5A);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_MISC), 2 * 32 + block_size(c));
  lv_mem_free(c, 0, MISC);
  lv_mem_free(guard1, 0, MISC);
  lv_mem_free(guard2, 0, MISC);
  EXPECT_EQ(lv_mem_used_bytes(), 0u);
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, MovingResizeChargesTheNewBlockOnce) {
  constexpr uint32_t ATOMS = lv_mem_flags(LV_CAT_ATOM);
  void* a = lv_mem_alloc(64, ATOMS);
  void* guard = lv_mem_alloc(64, MISC);
  std::memset(a, 0x33, 64);
  void* b = lv_mem_realloc(a, 64, 4096, ATOMS);
  ASSERT_NE(b, a);
  for (int i = 0; i < 64; i++) ASSERT_EQ(static_cast<unsigned char*>(b)[i], 0x33);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_ATOM), block_size(b));
  EXPECT_EQ(lv_mem_used_bytes(), block_size(b) + block_size(guard));
  lv_mem_free(b, 0, ATOMS);
  lv_mem_free(guard, 0, MISC);
  EXPECT_EQ(lv_mem_used_bytes(), 0u);
}

// Random allocations, releases and resizes in several categories: after
// every step the counters equal the sums of the live blocks' sizes, the
// blocks keep their contents and the heap is consistent.
TEST_F(MemoryTest, RandomOperationsKeepTheAccounting) {
  struct live_block {
    unsigned char* p;
    size_t size;
    uint32_t category;
    unsigned char fill;
  };
  std::mt19937_64 rng(20261210);
  std::vector<live_block> live;
  auto pick_size = [&]() -> size_t {
    switch (rng() % 8) {
      case 0: return rng() % 16;
      case 1: return 2000000 + rng() % 3000000;  // beyond one area
      case 2: return 5000 + rng() % 60000;
      default: return rng() % 600;
    }
  };
  auto check = [&]() {
    uint64_t per_category[LV_CAT_COUNT] = {};
    uint64_t total = 0;
    for (const auto& b : live) {
      per_category[b.category] += block_size(b.p);
      total += block_size(b.p);
      ASSERT_GE(block_size(b.p), b.size + 16);
      for (size_t i = 0; i < b.size; i += 97) ASSERT_EQ(b.p[i], b.fill);
      if (b.size > 0) {
        ASSERT_EQ(b.p[b.size - 1], b.fill);
      }
    }
    for (uint32_t c = 0; c < LV_CAT_COUNT; c++) ASSERT_EQ(lv_mem_category_bytes(c), per_category[c]) << c;
    ASSERT_EQ(lv_mem_used_bytes(), total);
    ASSERT_EQ(lv_mem_info(1), 0);
  };
  for (int step = 0; step < 3000; step++) {
    unsigned op = rng() % 10;
    if (op < 5 || live.empty()) {
      size_t size = pick_size();
      uint32_t category = static_cast<uint32_t>(rng() % 27);
      auto* p = static_cast<unsigned char*>(lv_mem_alloc(size, lv_mem_flags(static_cast<lv_mem_category>(category))));
      ASSERT_NE(p, nullptr);
      unsigned char fill = static_cast<unsigned char>(rng());
      std::memset(p, fill, size);
      live.push_back({p, size, category, fill});
    } else if (op < 8) {
      size_t i = rng() % live.size();
      lv_mem_free(live[i].p, live[i].size, lv_mem_flags(static_cast<lv_mem_category>(live[i].category)));
      live[i] = live.back();
      live.pop_back();
    } else {
      live_block& b = live[rng() % live.size()];
      size_t size = pick_size();
      auto* p = static_cast<unsigned char*>(
          lv_mem_realloc(b.p, b.size, size, lv_mem_flags(static_cast<lv_mem_category>(b.category))));
      ASSERT_NE(p, nullptr);
      if (size > b.size) std::memset(p + b.size, b.fill, size - b.size);
      b.p = p;
      b.size = size;
    }
    if (step % 10 == 0) check();
  }
  check();
  for (const auto& b : live) lv_mem_free(b.p, b.size, lv_mem_flags(static_cast<lv_mem_category>(b.category)));
  EXPECT_EQ(lv_mem_used_bytes(), 0u);
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, FirstAreaIsAtLeastInitSize) {
  ScopedEnv env({{"PROLOGINITSIZE", "8M"}});
  restart();
  void* a = lv_mem_alloc(100, MISC);
  // The whole area but its 64 bytes of frame.
  EXPECT_EQ(lv_mem_used_bytes() + lv_mem_free_bytes(), (8u << 20) - 64);
  lv_mem_free(a, 0, MISC);
}

TEST_F(MemoryTest, LaterAreasAreAtLeastIncSize) {
  ScopedEnv env({{"PROLOGINCSIZE", "2M"}, {"PROLOGINITSIZE", nullptr}});
  restart();
  void* a = lv_mem_alloc(3 << 20, MISC);
  EXPECT_EQ(lv_mem_used_bytes() + lv_mem_free_bytes(), (4u << 20) - 64);
  // 1.5 MB no longer fits in the first 4 MB: a second area of 2 MB.
  void* b = lv_mem_alloc(3 << 19, MISC);
  EXPECT_EQ(lv_mem_used_bytes() + lv_mem_free_bytes(), (4u << 20) - 64 + (2u << 20) - 64);
  lv_mem_free(a, 0, MISC);
  lv_mem_free(b, 0, MISC);
}

TEST_F(MemoryTest, WhollyFreeAreaIsKeptBelowKeepSize) {
  ScopedEnv env({{"PROLOGKEEPSIZE", "64M"}});
  restart();
  void* small = lv_mem_alloc(100, MISC);
  uint64_t free_before = lv_mem_free_bytes();
  void* big = lv_mem_alloc(8 << 20, MISC);  // its own area
  uint64_t area = block_size(big);
  lv_mem_free(big, 0, MISC);
  // Kept: the whole area is one free block now.
  EXPECT_GE(lv_mem_free_bytes(), free_before + area);
  lv_mem_free(small, 0, MISC);
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, WhollyFreeAreaIsReturnedAboveKeepSize) {
  ScopedEnv env({{"PROLOGKEEPSIZE", "0"}});
  restart();
  void* small = lv_mem_alloc(100, MISC);
  uint64_t free_before = lv_mem_free_bytes();
  void* big = lv_mem_alloc(8 << 20, MISC);
  lv_mem_free(big, 0, MISC);
  EXPECT_EQ(lv_mem_free_bytes(), free_before);
  lv_mem_free(small, 0, MISC);
  // The first area went back too.
  EXPECT_EQ(lv_mem_free_bytes(), 0u);
  void* again = lv_mem_alloc(100, MISC);
  EXPECT_NE(again, nullptr);
  lv_mem_free(again, 0, MISC);
}

// Dump lines of the areas, in ring order from the ring head.
std::vector<std::string> area_lines() {
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_mem_info(0), 0);
  std::string out = testing::internal::GetCapturedStderr();
  std::vector<std::string> lines;
  for (size_t pos = out.find("bigmem"); pos != std::string::npos; pos = out.find("bigmem", pos + 1))
    lines.push_back(out.substr(pos, out.find('\n', pos) - pos));
  return lines;
}

bool line_holds(const std::string& line, const void* p) {
  void* lo = nullptr;
  void* hi = nullptr;
  if (std::sscanf(line.c_str(), "bigmem [%p,%p)", &lo, &hi) != 2) return false;
  return p >= lo && p < hi;
}

TEST_F(MemoryTest, ReleasingAnAreaMovesTheRingHeadOnlyWhenItWasTheHead) {
  ScopedEnv env({{"PROLOGKEEPSIZE", "0"}});
  restart();
  void* first = lv_mem_alloc(100, MISC);
  void* second = lv_mem_alloc(6 << 20, MISC);
  void* third = lv_mem_alloc(6 << 20, MISC);
  auto lines = area_lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(line_holds(lines[0], third));
  // Not the head: the head stays.
  lv_mem_free(second, 0, MISC);
  lines = area_lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(line_holds(lines[0], third));
  EXPECT_TRUE(line_holds(lines[1], first));
  // The head: the next area becomes the head.
  lv_mem_free(third, 0, MISC);
  lines = area_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(line_holds(lines[0], first));
  lv_mem_free(first, 0, MISC);
}

TEST_F(MemoryTest, InfoReportsCategoriesLargestFirst) {
  void* a = lv_mem_alloc(5000, lv_mem_flags(LV_CAT_ATOM_TABLE));
  void* b = lv_mem_alloc(100, lv_mem_flags(LV_CAT_PREDICATE));
  void* c = lv_mem_alloc(20000, lv_mem_flags(LV_CAT_COMPILED_CODE));
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_mem_info(0), 0);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_EQ(out.rfind("\nMemory Manager Info\n*******************\n        Size Class  Free blocks\n", 0), 0u);
  size_t code = out.find("          compiled code:    20016 (");
  size_t atoms = out.find("             atom table:     5024 (");
  size_t preds = out.find("              predicate:      128 (");
  ASSERT_NE(code, std::string::npos) << out;
  ASSERT_NE(atoms, std::string::npos) << out;
  ASSERT_NE(preds, std::string::npos) << out;
  EXPECT_LT(code, atoms);
  EXPECT_LT(atoms, preds);
  EXPECT_EQ(count_lines_with(out, "bigmem ["), 1);
  EXPECT_NE(out.find("bytes in 1 free blocks, 25168 bytes in 3 busy blocks"), std::string::npos) << out;
  lv_mem_free(a, 0, lv_mem_flags(LV_CAT_ATOM_TABLE));
  lv_mem_free(b, 0, lv_mem_flags(LV_CAT_PREDICATE));
  lv_mem_free(c, 0, lv_mem_flags(LV_CAT_COMPILED_CODE));
}

TEST_F(MemoryTest, InfoFindsACorruptBlock) {
  void* a = lv_mem_alloc(100, MISC);
  void* b = lv_mem_alloc(100, MISC);
  auto* header = reinterpret_cast<uint64_t*>(a) - 2;
  uint64_t saved = header[0];
  header[0] = saved + 16;
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_mem_info(1), 1);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("ERROR: block at "), std::string::npos);
  EXPECT_NE(out.find(": wrong size"), std::string::npos);
  header[0] = saved;
  EXPECT_EQ(lv_mem_info(1), 0);
  lv_mem_free(a, 0, MISC);
  lv_mem_free(b, 0, MISC);
}

TEST_F(MemoryTest, MayFailRequestBeyondTheMaximumAnswersNull) {
  ScopedEnv env({{"PROLOGMAXSIZE", "2M"}});
  restart();
  void* a = lv_mem_alloc(100, MISC);
  uint64_t used = lv_mem_used_bytes();
  uint64_t free_bytes = lv_mem_free_bytes();
  EXPECT_EQ(lv_mem_alloc(3 << 20, MISC_MAY_FAIL), nullptr);
  EXPECT_EQ(lv_mem_used_bytes(), used);
  EXPECT_EQ(lv_mem_free_bytes(), free_bytes);
  EXPECT_EQ(lv_mem_alloc(SIZE_MAX, MISC_MAY_FAIL), nullptr);
  lv_mem_free(a, 0, MISC);
}

TEST_F(MemoryTest, ExhaustionWithoutMayFailIsFatal) {
  ScopedEnv env({{"PROLOGMAXSIZE", "2M"}});
  restart();
  EXPECT_EXIT(lv_mem_alloc(3 << 20, lv_mem_flags(LV_CAT_PREDICATE)), testing::ExitedWithCode(255),
              "\n! Resource error: insufficient memory\n");
  int status = run_to_recovery([] { lv_mem_alloc(3 << 20, lv_mem_flags(LV_CAT_PREDICATE)); });
  EXPECT_EQ(status, LV_UNWIND_REINIT);
  EXPECT_EQ(lv_mem_culprit(), LV_CAT_PREDICATE);
}

TEST_F(MemoryTest, LvMallocFamily) {
  void* p = LV_malloc(10);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_LV_MALLOC), 32u);
  std::memcpy(p, "abcdefghi", 10);
  p = LV_realloc(p, 3000);
  ASSERT_NE(p, nullptr);
  EXPECT_STREQ(static_cast<char*>(p), "abcdefghi");
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_LV_MALLOC), block_size(p));
  LV_free(p);
  LV_free(nullptr);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_LV_MALLOC), 0u);
  lv_mem_deinit();
  EXPECT_EQ(LV_malloc(10), nullptr);
}

TEST_F(MemoryTest, LvMallocThroughTheCLibrary) {
  ScopedEnv env({{"LV_MALLOC_MALLOCS", "Yes"}});
  restart();
  void* p = LV_malloc(0);
  ASSERT_NE(p, nullptr);
  p = LV_realloc(p, 100);
  ASSERT_NE(p, nullptr);
  LV_free(p);
  EXPECT_EQ(lv_mem_used_bytes(), 0u);
  // The manager itself still serves other requests.
  void* q = lv_mem_alloc(10, MISC);
  EXPECT_EQ(lv_mem_used_bytes(), 32u);
  lv_mem_free(q, 0, MISC);
}

TEST_F(MemoryTest, PlainMallocMode) {
  ScopedEnv env({{"LV_CHECKALLOC_MALLOCS", "yes"}});
  restart();
  EXPECT_TRUE(lv_mem_plain_malloc_mode());
  void* p = lv_mem_alloc(100, MISC);
  ASSERT_NE(p, nullptr);
  p = lv_mem_realloc(p, 100, 10000, MISC);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(lv_mem_realloc(p, 10000, 20000, MISC | LV_MEM_IN_PLACE | LV_MEM_MAY_FAIL), nullptr);
  lv_mem_free(p, 0, MISC);
  EXPECT_EQ(lv_mem_used_bytes(), 0u);
  // Native code never comes from the C library.
  EXPECT_EQ(lv_mem_alloc(64, 421), nullptr);
  EXPECT_EXIT(lv_mem_alloc(64, 420), testing::ExitedWithCode(255), "Resource error: insufficient memory");
}

TEST_F(MemoryTest, SecondInitIsHarmlessAndHooksAreBuiltIn) {
  EXPECT_EQ(lv_mem_init(0), 0);
  EXPECT_TRUE(lv_mem_builtin_hooks_in_use());
  EXPECT_EQ(lv_mem_culprit(), -1);
}

TEST_F(MemoryTest, ExecutableAreas) {
  lv_mem_deinit();
  ASSERT_EQ(lv_mem_init(1), 0);
  // A tiny function body: mov eax, 42; ret.
  static const unsigned char code[] = {0xB8, 42, 0, 0, 0, 0xC3};
  void* p = lv_mem_alloc(sizeof code, lv_mem_flags(LV_CAT_JIT_CODE, LV_MEM_NO_MALLOC));
  std::memcpy(p, code, sizeof code);
  EXPECT_EQ(reinterpret_cast<int (*)()>(p)(), 42);
  lv_mem_free(p, 0, lv_mem_flags(LV_CAT_JIT_CODE));
}

TEST(Clock, MillisecondsCountFrom1601) {
  uint64_t ms = lv_clock_ms();
  int64_t unix_seconds = static_cast<int64_t>(ms / 1000) - 11644473600;
  EXPECT_LE(std::llabs(unix_seconds - static_cast<int64_t>(time(nullptr))), 2);
}

}  // namespace
