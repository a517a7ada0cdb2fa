// The number stack: chunks of memory on which arithmetic keeps intermediate
// numbers ({header, value words}, no trailer). A chunk of S bytes ends with
// the header {previous chunk, next chunk, S}; the engine context holds the
// top and the current chunk's header (its limit), 0 before the first push.
// The first chunk has 1024 bytes; each further chunk twice the one before.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_numstack_chunk {
  lv_numstack_chunk* prev;
  lv_numstack_chunk* next;
  uint64_t size;  // bytes of the whole chunk, header included
};
static_assert(sizeof(lv_numstack_chunk) == 24);

constexpr uint64_t LV_NUMSTACK_FIRST_CHUNK = 1024;

inline lv_term* lv_numstack_chunk_start(lv_numstack_chunk* c) {
  return reinterpret_cast<lv_term*>(reinterpret_cast<char*>(c + 1) - c->size);
}

void lv_numstack_init(lv_worker* w);
void lv_numstack_release(lv_worker* w);
lv_term* numstack_overflow(lv_worker* w);
void numstack_trim(lv_worker* w, lv_term* mark);

// Makes room for k words at the top, moving to following chunks as needed.
inline void lv_numstack_reserve(lv_worker* w, int64_t k) {
  while (w->numstack_chunk == nullptr || w->numstack_chunk - w->numstack_top < k) numstack_overflow(w);
}

lv_term lv_numstack_push_int(lv_worker* w, int64_t value);
lv_term lv_numstack_push_float(lv_worker* w, double value);
lv_term lv_numstack_push_box(lv_worker* w, lv_term box);
lv_term lv_numstack_push_struct(lv_worker* w, uint64_t value);

// The float constants, as boxes with trailers.
lv_term lv_float_plus_infinity();
lv_term lv_float_minus_infinity();
lv_term lv_float_nan();

// The number of chunks in the chain (for statistics and tests).
uint64_t lv_numstack_chunk_count();
