// The number stack.
#include "core/numstack.h"

#include "core/memory.h"

namespace {

constexpr uint32_t CHUNK_FLAGS = lv_mem_flags(LV_CAT_NUMSTACK);

lv_numstack_chunk* first_chunk;

lv_term plus_infinity_box[3];
lv_term minus_infinity_box[3];
lv_term nan_box[3];

void set_float_box(lv_term* box, uint64_t bits) {
  box[0] = LV_BOX_FLOAT;
  box[1] = bits;
  box[2] = LV_BOX_FLOAT;
}

lv_numstack_chunk* new_chunk(uint64_t size, lv_numstack_chunk* prev) {
  char* block = static_cast<char*>(lv_mem_alloc(size, CHUNK_FLAGS));
  lv_numstack_chunk* c = reinterpret_cast<lv_numstack_chunk*>(block + size) - 1;
  c->prev = prev;
  c->next = nullptr;
  c->size = size;
  return c;
}

lv_numstack_chunk* current(lv_worker* w) { return reinterpret_cast<lv_numstack_chunk*>(w->numstack_chunk); }

}  // namespace

void lv_numstack_init(lv_worker* w) {
  if (first_chunk == nullptr) first_chunk = new_chunk(LV_NUMSTACK_FIRST_CHUNK, nullptr);
  set_float_box(plus_infinity_box, LV_PLUS_INFINITY);
  set_float_box(minus_infinity_box, LV_MINUS_INFINITY);
  set_float_box(nan_box, LV_CANONICAL_NAN);
  w->numstack_chunk = nullptr;
  w->numstack_top = nullptr;
}

void lv_numstack_release(lv_worker* w) {
  for (lv_numstack_chunk* c = first_chunk; c != nullptr;) {
    lv_numstack_chunk* next = c->next;
    lv_mem_free(lv_numstack_chunk_start(c), c->size, CHUNK_FLAGS);
    c = next;
  }
  first_chunk = nullptr;
  w->numstack_chunk = nullptr;
  w->numstack_top = nullptr;
}

lv_term* numstack_overflow(lv_worker* w) {
  lv_numstack_chunk* c = current(w);
  lv_numstack_chunk* next;
  if (c == nullptr) {
    if (first_chunk == nullptr) first_chunk = new_chunk(LV_NUMSTACK_FIRST_CHUNK, nullptr);
    next = first_chunk;
  } else {
    next = c->next;
    if (next == nullptr) {
      next = new_chunk(2 * c->size, c);
      c->next = next;
    }
  }
  w->numstack_chunk = reinterpret_cast<lv_term*>(next);
  w->numstack_top = lv_numstack_chunk_start(next);
  return w->numstack_top;
}

void numstack_trim(lv_worker* w, lv_term* mark) {
  w->numstack_top = mark;
  // A mark at a chunk's very end belongs to that (full) chunk: choosing an
  // earlier one would let new numbers overwrite live ones.
  lv_numstack_chunk* c = current(w);
  while (c != nullptr && !(lv_numstack_chunk_start(c) <= mark && reinterpret_cast<lv_term*>(c) >= mark)) c = c->prev;
  w->numstack_chunk = reinterpret_cast<lv_term*>(c);
}

lv_term lv_numstack_push_int(lv_worker* w, int64_t value) {
  lv_numstack_reserve(w, 2);
  lv_term* p = w->numstack_top;
  p[0] = LV_BOX_INT1;
  p[1] = static_cast<lv_term>(value);
  w->numstack_top = p + 2;
  return lv_make_struct(p);
}

lv_term lv_numstack_push_float(lv_worker* w, double value) {
  lv_numstack_reserve(w, 2);
  lv_term* p = w->numstack_top;
  p[0] = LV_BOX_FLOAT;
  p[1] = lv_canonical_float_bits(value);
  w->numstack_top = p + 2;
  return lv_make_struct(p);
}

lv_term lv_numstack_push_box(lv_worker* w, lv_term box) {
  const lv_term* cells = lv_struct_cells(box);
  uint64_t n = lv_box_value_words(cells[0]);
  lv_numstack_reserve(w, static_cast<int64_t>(n + 1));
  lv_term* p = w->numstack_top;
  for (uint64_t i = 0; i <= n; i++) p[i] = cells[i];
  w->numstack_top = p + n + 1;
  return lv_make_struct(p);
}

lv_term lv_numstack_push_struct(lv_worker* w, uint64_t value) {
  lv_numstack_reserve(w, 3);
  lv_term* p = w->numstack_top;
  p[0] = LV_BOX_INT2;
  p[1] = value;
  p[2] = 0;
  w->numstack_top = p + 3;
  return lv_make_struct(p);
}

lv_term lv_float_plus_infinity() { return lv_make_struct(plus_infinity_box); }
lv_term lv_float_minus_infinity() { return lv_make_struct(minus_infinity_box); }
lv_term lv_float_nan() { return lv_make_struct(nan_box); }

uint64_t lv_numstack_chunk_count() {
  uint64_t n = 0;
  for (lv_numstack_chunk* c = first_chunk; c != nullptr; c = c->next) n++;
  return n;
}
