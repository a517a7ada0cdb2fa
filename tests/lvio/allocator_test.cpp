// The allocator hook.
#include "lvio/allocator.h"

#include <gtest/gtest.h>

#include <cstring>

#include "failing_allocator.h"

namespace {

TEST(Allocator, DefaultHookCountsCallsAllocationsAndFrees) {
  const lvio_allocator_counts* counts = lvio_default_allocator_counts();
  uint64_t calls = counts->calls, allocations = counts->allocations, frees = counts->frees;
  void* p = lvio_alloc(0);  // taken as 1 byte
  ASSERT_NE(p, nullptr);
  p = lvio_realloc(p, 100);
  ASSERT_NE(p, nullptr);
  lvio_free(p);
  lvio_free(nullptr);  // not passed to the hook
  EXPECT_EQ(counts->calls - calls, 3u);
  EXPECT_EQ(counts->allocations - allocations, 1u);
  EXPECT_EQ(counts->frees - frees, 1u);
}

TEST(Allocator, InstalledHookServesEveryAllocation) {
  struct record {
    int calls = 0;
  } r;
  auto hook = [](void* context, void* old, size_t size) -> void* {
    static_cast<record*>(context)->calls++;
    if (size == 0) {
      std::free(old);
      return nullptr;
    }
    return std::realloc(old, size);
  };
  ASSERT_EQ(lvio_set_allocator(hook, &r), 0);
  char* copy = lvio_strdup("layer");
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "layer");
  void* z = lvio_zalloc(nullptr, 4, 16);
  ASSERT_NE(z, nullptr);
  lvio_zfree(nullptr, z);
  lvio_free(copy);
  EXPECT_EQ(r.calls, 4);
  lvio_allocator_fn fn;
  void* context;
  lvio_get_allocator(&fn, &context);
  EXPECT_EQ(context, &r);
  lvio_set_allocator(nullptr, &r);  // the default, whatever the context
  lvio_get_allocator(&fn, &context);
  EXPECT_EQ(context, lvio_default_allocator_counts());
}

TEST(Allocator, FailuresAreNullResults) {
  FailingAllocator refuse;
  EXPECT_EQ(lvio_alloc(8), nullptr);
  EXPECT_EQ(lvio_strdup("x"), nullptr);
  EXPECT_EQ(lvio_strdup(nullptr), nullptr);
}

}  // namespace
