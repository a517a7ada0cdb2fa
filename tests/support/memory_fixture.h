// Test support: a memory manager started for one test and stopped after it.
#pragma once

#include <gtest/gtest.h>

#include <csetjmp>

#include "core/fault.h"
#include "core/memory.h"
#include "machine/recovery.h"

// The size of the block behind a pointer handed out by the memory manager:
// word 0 of the 16-byte block header, without its flag bits.
inline uint64_t block_size(const void* p) { return reinterpret_cast<const uint64_t*>(p)[-2] & ~uint64_t{15}; }

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  void TearDown() override { lv_mem_deinit(); }

  // Restarts the manager, for tests that change its settings first.
  void restart() {
    lv_mem_deinit();
    start();
  }

 private:
  void start() {
    lv_mem_default_hooks();
    ASSERT_EQ(lv_mem_init(0), 0);
  }
};

// Runs f under an abort record; returns the status it jumped with, or 0 when
// f returned normally.
template <typename F>
int run_to_abort(F f) {
  static lv_jump_record record;
  record.self = &record;
  int status = setjmp(record.buffer);
  if (status == 0) {
    lv_set_abort_env(&record);
    f();
    lv_set_abort_env(nullptr);
  }
  return status;
}

// Runs f with a recovery record current; returns the code it unwound with,
// or 0 when f returned normally.
template <typename F>
int run_to_recovery(F f) {
  static lv_jump_record record;
  record.self = &record;
  int status = setjmp(record.buffer);
  if (status == 0) {
    lv_set_current_recovery(&record);
    f();
  }
  lv_set_current_recovery(nullptr);
  return status;
}
