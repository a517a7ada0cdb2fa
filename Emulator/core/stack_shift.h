// Making room on the engine's stacks: heap and local-stack overflow, and
// room between the trail and the choice stack.
#pragma once

#include <cstdint>

#include "core/worker.h"

// Makes room for heap cells a and local cells b (b includes the local
// reserve); a < 0 asks for a collection regardless of policy.
int64_t heap_overflow(lv_worker* w, int64_t heap_cells, int64_t local_cells);

// heap_overflow that keeps argument registers X0..Xn-1 valid.
void call_overflow(lv_worker* w, int64_t heap_cells, int64_t live_registers);

// Makes sure that at least 2n words minus the pair index are free between
// TR and B. Returns the milliseconds spent.
int64_t lv_ensure_choice_space(lv_worker* w, int64_t n);
int64_t lv_choice_overflow(lv_worker* w, int64_t n);

// lv_ensure_choice_space(n) keeping the k words that the caller placed at TR.
void lv_shift_args_to_choice(lv_worker* w, int64_t k, int64_t n);
