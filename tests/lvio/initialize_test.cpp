// The start/stop sequence of the I/O layer.
#include "lvio/initialize.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lvio/chain.h"
#include "lvio/deferred_close.h"
#include "lvio/environment.h"
#include "lvio/event_wait.h"
#include "support/env.h"

namespace {

std::vector<std::string> module_log;
lvio_code start_result[LVIO_MODULE_COUNT];
lvio_code stop_result[LVIO_MODULE_COUNT];
std::string seen_during_start;

template <int Slot>
lvio_code probe_module(uint32_t flags) {
  bool stopping = (flags & 1) != 0;
  module_log.push_back(std::to_string(Slot + 1) + (stopping ? " stop" : " start"));
  if (!stopping && seen_during_start.empty()) {
    char value[32];
    size_t size = sizeof value;
    seen_during_start = lvio_setting_get("LV_INIT_TEST", value, &size, 0) == 0 ? value : "absent";
  }
  return stopping ? stop_result[Slot] : start_result[Slot];
}

// The test puts probes into some of the slots.
class Initialize : public testing::Test {
 protected:
  void SetUp() override {
    module_log.clear();
    seen_during_start.clear();
    for (int i = 0; i < LVIO_MODULE_COUNT; i++) start_result[i] = stop_result[i] = 0;
    for (int i = 0; i < LVIO_MODULE_COUNT; i++) saved_[i] = lvio_modules[i];
    lvio_modules[7].entry = probe_module<7>;
    lvio_modules[9].entry = probe_module<9>;
    lvio_modules[10].entry = probe_module<10>;
    lvio_modules[13].entry = probe_module<13>;
  }
  void TearDown() override {
    (void)lvio_initialize(nullptr, nullptr, nullptr, 1);
    for (int i = 0; i < LVIO_MODULE_COUNT; i++) lvio_modules[i] = saved_[i];
  }
  lvio_module saved_[LVIO_MODULE_COUNT];
};

using log = std::vector<std::string>;

TEST_F(Initialize, StartsInOrderAndStopsInReverse) {
  ScopedEnv env({{"LV_INIT_TEST", "process"}, {"LVIO_SKIP_ABORTIVE_SYNC", "No"}});
  const lvio_override_item items[] = {{LVIO_OVERRIDE_SETTING, "LV_INIT_TEST", "override"}};
  const lvio_override_table overrides = {1, 1, items};
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, &overrides, 0), 0);
  EXPECT_EQ(module_log, (log{"8 start", "10 start", "11 start", "14 start"}));
  EXPECT_EQ(seen_during_start, "override");
  EXPECT_FALSE(lvio_skip_abortive_sync());
  // The override lives on in the private environment, which settings can change.
  EXPECT_EQ(lvio_installed_overrides(), nullptr);
  char value[32];
  size_t size = sizeof value;
  ASSERT_EQ(lvio_setting_get("LV_INIT_TEST", value, &size, 0), 0);
  EXPECT_STREQ(value, "override");
  EXPECT_EQ(lvio_setting_set("LV_INIT_OTHER", "set"), 0);
  // The modules of the layer core run: the deferred-close list is open.
  EXPECT_EQ(lvio_deferred_close_count(), 0u);
  lvio_closeable node;
  static const lvio_closeable_ops ops = {[](lvio_closeable*, uint32_t) -> lvio_code { return 0; },
                                         [](lvio_closeable*) {}};
  lvio_closeable_init(&node, &ops, nullptr);
  EXPECT_EQ(lvio_closeable_register(&node, 0), 0);
  EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), LVIO_E_INVALID_STATE);
  // The events module made the interrupt event.
  EXPECT_NE(lvio_interrupt_event(), nullptr);

  module_log.clear();
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
  EXPECT_EQ(module_log, (log{"14 stop", "11 stop", "10 stop", "8 stop"}));
  EXPECT_EQ(lvio_interrupt_event(), nullptr);
  size = sizeof value;
  ASSERT_EQ(lvio_setting_get("LV_INIT_TEST", value, &size, 0), 0);
  EXPECT_STREQ(value, "process");
  EXPECT_EQ(lvio_setting_set("LV_INIT_OTHER", "set"), LVIO_E_NOT_FOUND);
  EXPECT_EQ(lvio_closeable_register(&node, 1), LVIO_E_SHUTDOWN);
  // A stopped layer starts again.
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
}

TEST_F(Initialize, MalformedOverridesRefuseTheStart) {
  const lvio_override_table wrong = {2, 0, nullptr};
  EXPECT_EQ(lvio_initialize(nullptr, nullptr, &wrong, 0), LVIO_E_VERSION_ERROR);
  EXPECT_TRUE(module_log.empty());
  EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
  EXPECT_TRUE(module_log.empty());
}

TEST_F(Initialize, FailedStartLeavesEarlierModulesRunningAndStopStopsOnlyThose) {
  start_result[9] = LVIO_E_OUT_OF_MEMORY;
  EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), LVIO_E_OUT_OF_MEMORY);
  EXPECT_EQ(module_log, (log{"8 start", "10 start"}));
  // The deferred-close list (module 7) is running.
  lvio_closeable node;
  static const lvio_closeable_ops ops = {[](lvio_closeable*, uint32_t) -> lvio_code { return 0; },
                                         [](lvio_closeable*) {}};
  lvio_closeable_init(&node, &ops, nullptr);
  EXPECT_EQ(lvio_closeable_register(&node, 1), 0);
  module_log.clear();
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
  EXPECT_EQ(module_log, (log{"8 stop"}));
  EXPECT_EQ(lvio_deferred_close_count(), 0u);
}

TEST_F(Initialize, StopRunsEveryModuleAndReportsTheFirstFailure) {
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
  stop_result[9] = LVIO_E_CLOSE_ERROR;
  stop_result[7] = LVIO_E_IO_ERROR;
  module_log.clear();
  EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), LVIO_E_CLOSE_ERROR);
  EXPECT_EQ(module_log, (log{"14 stop", "11 stop", "10 stop", "8 stop"}));
  // The modules below the failing ones stopped too: the list is closed.
  lvio_closeable node = {};
  EXPECT_EQ(lvio_closeable_register(&node, 1), LVIO_E_SHUTDOWN);
  // Nothing is left to stop.
  module_log.clear();
  EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
  EXPECT_TRUE(module_log.empty());
}

TEST_F(Initialize, InstallsTheAllocatorHook) {
  struct counter {
    int calls = 0;
  } c;
  auto hook = [](void* context, void* old, size_t size) -> void* {
    static_cast<counter*>(context)->calls++;
    if (size == 0) {
      free(old);
      return nullptr;
    }
    return realloc(old, size);
  };
  ASSERT_EQ(lvio_initialize(hook, &c, nullptr, 0), 0);
  EXPECT_GT(c.calls, 0);  // the layer's own start allocates through it
  ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
  lvio_set_allocator(nullptr, nullptr);
}

}  // namespace
