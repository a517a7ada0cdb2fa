// What the inline built-in routines share (inline_builtins*.cpp).
#pragma once

#include <cstdint>

#include "core/worker.h"

// Calls the fall-back pred of the built-in named builtin with its arguments
// (see lv_inline_call); without a Prolog definition a fatal fault.
const uint32_t* lv_inline_fall_back(lv_worker* w, lv_pred* pred, const char* builtin, const lv_term* args, unsigned n,
                                    const uint32_t* next, lv_term* frame);

// Whether the heap has the cells free below its limit.
bool lv_inline_heap_room(const lv_worker* w, int64_t cells);
