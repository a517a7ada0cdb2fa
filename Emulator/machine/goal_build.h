// Goal terms built from the argument registers, for the Prolog predicates
// the emulator hands a call to: the meta-call of call/N, suspended goals,
// error contexts.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_pred;

// The name of the module that holds a predicate's definition.
lv_term lv_pred_module_name(const lv_pred* pred);

// Heap cells lv_make_goal (core/errors.h) takes at most for n registers.
constexpr int64_t lv_goal_cells(unsigned n) { return n + 1; }

// Heap cells of an integer box.
constexpr int64_t LV_CALL_SITE_CELLS = 3;

// A call site (a code address, or null) as an integer term: a small integer,
// or the box {-25, address, -25} when the address does not fit one.
lv_term lv_call_site_term(lv_worker* w, const uint32_t* call_site);
