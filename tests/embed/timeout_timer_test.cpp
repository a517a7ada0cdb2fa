// The time-out clock's resource, chosen by LV_TIMEOUT_RESOURCE at start-up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "embed/timeout_timer.h"
#include "lvio/initialize.h"
#include "support/builtin_fixture.h"

namespace {

// The I/O layer reads the process environment as it was at its start: it
// starts after the setting is made.
class TimeoutResource : public BuiltinTest {
 protected:
  void TearDown() override {
    unsetenv("LV_TIMEOUT_RESOURCE");
    EXPECT_EQ(lv_timeout_init(), 0);
    BuiltinTest::TearDown();
  }
};

TEST_F(TimeoutResource, WalltimeInAnyCaseElseRuntime) {
  struct {
    const char* value;  // null: unset
    const char* resource;
  } cases[] = {
      {"WALLTIME", "walltime"}, {"walltime", "walltime"}, {"WallTime", "walltime"}, {"RunTime", "runtime"},
      {"walltimes", "runtime"}, {"wall", "runtime"},     {"", "runtime"},          {nullptr, "runtime"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    if (c.value != nullptr)
      setenv("LV_TIMEOUT_RESOURCE", c.value, 1);
    else
      unsetenv("LV_TIMEOUT_RESOURCE");
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    EXPECT_EQ(lv_timeout_init(), 0);
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    ASSERT_EQ(run(prolog_timer_resource, {var("R")}), 1);
    EXPECT_EQ(text("R"), c.resource);
    // Either clock reads as a non-negative number of milliseconds.
    ASSERT_EQ(run(prolog_timer_now, {var("N")}), 1);
    EXPECT_GE(std::stoll(text("N")), 0);
    delete r;
    r = new terms::reader(w);
  }
}

}  // namespace
