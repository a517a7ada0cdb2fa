// LV_ASSERT: aborts with the place and the condition where assertions are
// on; elsewhere the condition is not evaluated.
#include "core/lv_assert.h"

#include <gtest/gtest.h>

namespace {

int evaluations = 0;
bool counted(bool value) {
  evaluations++;
  return value;
}

TEST(AssertTest, HoldingConditionPasses) {
  evaluations = 0;
  LV_ASSERT(counted(true));
#ifdef LV_ENABLE_ASSERTS
  EXPECT_EQ(evaluations, 1);
#else
  EXPECT_EQ(evaluations, 0);
#endif
}

TEST(AssertTest, FailingConditionAbortsWithPlaceAndCondition) {
#ifdef LV_ENABLE_ASSERTS
  EXPECT_DEATH(LV_ASSERT(counted(1 + 1 == 3)), "lv_assert_test\\.cpp:[0-9]+: assertion failed: counted\\(1 \\+ 1 == 3\\)");
#else
  evaluations = 0;
  LV_ASSERT(counted(false));
  EXPECT_EQ(evaluations, 0);
#endif
}

}  // namespace
