// The memory manager's stack areas and their growth table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "core/memory.h"
#include "support/env.h"
#include "support/memory_fixture.h"

namespace {

TEST_F(MemoryTest, GrowthTableStartsAt64KAndGrowsByTheFactor) {
  lv_mem_growth_table(62);
  size_t n = 0;
  const uint64_t* e = lv_mem_growth_entries(&n);
  ASSERT_GE(n, 2u);
  EXPECT_EQ(e[0], 65536u);
  EXPECT_EQ(e[1], 106176u);  // 65536 * 1.62 = 106168.32, rounded up to 64
  EXPECT_EQ(lv_mem_area_size_round(1), 65536u);
  EXPECT_EQ(lv_mem_area_size_round(65536), 65536u);
  EXPECT_EQ(lv_mem_area_size_round(65537), 106176u);
}

TEST_F(MemoryTest, GrowthTableIsIncreasingAndFiniteForEveryFactor) {
  for (uint32_t percent = 10; percent <= 5000; percent++) {
    lv_mem_growth_table(percent);
    size_t n = 0;
    const uint64_t* e = lv_mem_growth_entries(&n);
    size_t expected = static_cast<size_t>(std::ceil(48 / std::log2((percent + 100) / 100.0)));
    ASSERT_LE(n, expected) << percent;
    for (size_t i = 1; i < n; i++) {
      ASSERT_GT(e[i], e[i - 1]) << "factor " << percent << " entry " << i;
      ASSERT_EQ(e[i] % 64, 0u);
      ASSERT_LE(e[i], uint64_t{1} << 63);
    }
    // The table reaches far beyond any real stack.
    ASSERT_GE(e[n - 1], uint64_t{1} << 57) << percent;
  }
  EXPECT_EQ(lv_mem_info(1), 0);
}

TEST_F(MemoryTest, SizeBeyondTheGrowthTableIsFatal) {
  lv_mem_growth_table(62);
  int status = run_to_recovery([] { lv_mem_area_size_round(UINT64_MAX); });
  EXPECT_EQ(status, LV_UNWIND_REINIT);
  EXPECT_EQ(lv_mem_culprit(), LV_CAT_STACK);
}

TEST_F(MemoryTest, StackAreaIsChargedByItsSpan) {
  uint64_t length = 0;
  void* area = lv_mem_area_new(100000, &length, 1);
  ASSERT_NE(area, nullptr);
  EXPECT_GE(length, 100000u);
  EXPECT_EQ(reinterpret_cast<uint64_t>(area) % 16, 0u);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_STACK), length);
  // The rest in use is the growth table.
  EXPECT_EQ(lv_mem_used_bytes(), length + lv_mem_category_bytes(LV_CAT_MISC));
  std::memset(area, 0xAB, length);  // the whole span belongs to the caller
  uint64_t tc_length = 0;
  void* tc = lv_mem_area_new(40000, &tc_length, 0);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_STACK), length + tc_length);
  testing::internal::CaptureStderr();
  EXPECT_EQ(lv_mem_info(0), 0);
  std::string out = testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find(" heap/stack: ["), std::string::npos) << out;
  EXPECT_NE(out.find("trail/choice: ["), std::string::npos) << out;
  EXPECT_NE(out.find("Total space:"), std::string::npos) << out;
  lv_mem_area_free(tc, tc_length, 0);
  lv_mem_area_free(area, length, 1);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_STACK), 0u);
  EXPECT_EQ(lv_mem_used_bytes(), lv_mem_category_bytes(LV_CAT_MISC));
}

TEST_F(MemoryTest, StackAreaGrowthMovesTheContents) {
  uint64_t length = 0;
  auto* area = static_cast<unsigned char*>(lv_mem_area_new(100000, &length, 1));
  for (uint64_t i = 0; i < length; i++) area[i] = static_cast<unsigned char>(i * 7);
  uint64_t grown = 0;
  auto* moved = static_cast<unsigned char*>(lv_mem_area_resize(area, length, 5 << 20, &grown, 1));
  EXPECT_GE(grown, uint64_t{5} << 20);
  for (uint64_t i = 0; i < length; i++) ASSERT_EQ(moved[i], static_cast<unsigned char>(i * 7));
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_STACK), grown);
  lv_mem_area_free(moved, grown, 1);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_STACK), 0u);
}

TEST_F(MemoryTest, StackAreaResizeToTheSameRoundedLengthKeepsTheOldArea) {
  // Both lengths end up in a 1 MB operating-system block (PROLOGINCSIZE).
  void* ordinary = lv_mem_alloc(100, lv_mem_flags(LV_CAT_MISC));
  uint64_t length = 0;
  auto* area = static_cast<unsigned char*>(lv_mem_area_new(100000, &length, 0));
  std::memset(area, 0x77, length);
  uint64_t after = 0;
  auto* same = static_cast<unsigned char*>(lv_mem_area_resize(area, length, 300000, &after, 0));
  EXPECT_EQ(same, area);
  EXPECT_EQ(after, length);
  for (uint64_t i = 0; i < length; i++) ASSERT_EQ(same[i], 0x77);
  EXPECT_EQ(lv_mem_category_bytes(LV_CAT_STACK), length);
  lv_mem_area_free(same, after, 0);
  lv_mem_free(ordinary, 0, lv_mem_flags(LV_CAT_MISC));
}

TEST_F(MemoryTest, StackAreaShrinkWithoutMemoryKeepsTheArea) {
  ScopedEnv env({{"PROLOGMAXSIZE", "2M"}, {"PROLOGINITSIZE", "64K"}});
  restart();
  uint64_t length = 0;
  void* area = lv_mem_area_new(100000, &length, 1);  // a 1 MB block
  void* filler = lv_mem_alloc(900000, lv_mem_flags(LV_CAT_MISC));  // the second 1 MB
  uint64_t after = 0;
  EXPECT_EQ(lv_mem_area_resize(area, length, 50000, &after, 1), area);
  EXPECT_EQ(after, length);
  // Growing with no memory left is fatal.
  int status = run_to_recovery([&] { lv_mem_area_resize(area, length, 4 << 20, &after, 1); });
  EXPECT_EQ(status, LV_UNWIND_REINIT);
  EXPECT_EQ(lv_mem_culprit(), LV_CAT_STACK);
  lv_mem_free(filler, 0, lv_mem_flags(LV_CAT_MISC));
  lv_mem_area_free(area, length, 1);
}

TEST_F(MemoryTest, PlainMallocStackAreas) {
  ScopedEnv env({{"LV_CHECKALLOC_MALLOCS", "YES"}});
  restart();
  uint64_t length = 0;
  auto* area = static_cast<unsigned char*>(lv_mem_area_new(70000, &length, 1));
  EXPECT_EQ(length, 106176u);
  std::memset(area, 0x42, length);
  uint64_t grown = 0;
  auto* moved = static_cast<unsigned char*>(lv_mem_area_resize(area, length, 200000, &grown, 1));
  EXPECT_GE(grown, 200000u);
  for (uint64_t i = 0; i < length; i++) ASSERT_EQ(moved[i], 0x42);
  lv_mem_area_free(moved, grown, 1);
}

TEST_F(MemoryTest, TrimRunsTheInstalledSteps) {
  static int calls[LV_TRIM_STEP_COUNT];
  lv_mem_set_trim_step(LV_TRIM_STACKS, [](lv_worker*, int) { calls[LV_TRIM_STACKS]++; });
  lv_mem_set_trim_step(LV_TRIM_NUMSTACK, [](lv_worker*, int) { calls[LV_TRIM_NUMSTACK]++; });
  lv_trim_memory(nullptr, 1);
  EXPECT_EQ(calls[LV_TRIM_STACKS], 0);
  EXPECT_EQ(calls[LV_TRIM_NUMSTACK], 1);
  lv_trim_memory(nullptr, 2);
  EXPECT_EQ(calls[LV_TRIM_STACKS], 1);
  EXPECT_EQ(calls[LV_TRIM_NUMSTACK], 2);
  lv_mem_set_trim_step(LV_TRIM_STACKS, nullptr);
  lv_mem_set_trim_step(LV_TRIM_NUMSTACK, nullptr);
}

}  // namespace
