// Test support: a started memory manager and a created, current engine
// context for one test. The stream layer is stopped with the engine: its
// ring, standard streams and other state live in the engine's memory, so
// a stream left open by one test must not reach the next.
#pragma once

#include <gtest/gtest.h>

#include "core/memory.h"
#include "core/worker.h"
#include "machine/recovery.h"
#include "streams/std_streams.h"
#include "store/static_code.h"
#include "support/memory_fixture.h"

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lv_mem_default_hooks();
    ASSERT_EQ(lv_mem_init(0), 0);
    // The shared stubs live in managed memory: make them anew for this test.
    lv_init_static_code();
    w = lv_create_worker();
    ASSERT_NE(w, nullptr);
    lv_set_current_worker(w);
  }
  void TearDown() override {
    lv_stream_close_all_std();
    if (w != nullptr && !lv_worker_destroyed()) lv_destroy_worker(w);
    lv_mem_deinit();
  }

  lv_worker* w = nullptr;
};
