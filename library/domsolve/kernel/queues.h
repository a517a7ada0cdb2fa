// The propagation queues' block (ten circular buffers of 16-byte slots, the
// mask of queues that may hold items and the current-propagator cell), what
// opens, closes, resets and frees them, and the engine hook that keeps the
// terms they hold valid across garbage collection and stack shifts.
#pragma once

#include <cstdint>

#include "kernel/engine.h"
#include "kernel/runtime.h"

constexpr int FD_QUEUE_COUNT = 10;
constexpr uint64_t FD_QUEUE_INITIAL_BYTES = 64;

struct fd_queue {
  fd_termref_slot* start;
  fd_termref_slot* end;
  fd_termref_slot* head;  // items are taken here
  fd_termref_slot* tail;  // and appended here; empty when head == tail
};

struct fd_queue_block {
  fd_queue queues[FD_QUEUE_COUNT];
  uint32_t mask;  // bit q set: queue q may be non-empty
  uint32_t unused;
  fd_termref_slot* current;  // {the propagator being run or [], 0}
};
static_assert(sizeof(fd_queue_block) == 336);

// The flag bits of a propagator's or indexical's flag word (its third
// argument).
enum : int64_t { FD_PROP_QUEUED = 1, FD_PROP_REQUEUE = 4, FD_PROP_RUNNING = 8 };

fd_queue_block* fd_queue_create(const lv_foreign_env* env);
void fd_queue_reset(const lv_foreign_env* env);
void fd_queue_open(const lv_foreign_env* env);
void fd_queue_close(const lv_foreign_env* env);
void fd_queue_destroy(const lv_foreign_env* env);

// The hooks installed with LV_install_fd_hooks.
int64_t fd_engine_hook(void* env, lv_worker* w, int64_t event, int64_t argument);
void fd_free_definition_chain(void* env, uint64_t* chain);
