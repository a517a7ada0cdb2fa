// Pinned words.
#include "kernel/roots.h"

#include "kernel/memory.h"
#include "kernel/solver_state.h"

void fd_pin(const lv_foreign_env* env, lv_term* word) {
  fd_pins_follow(env);
  fd_kernel_tables* t = fd_tables(env);
  if (t->pin_count == t->pin_capacity) {
    int64_t capacity = t->pin_capacity == 0 ? 16 : 2 * t->pin_capacity;
    size_t bytes = static_cast<size_t>(capacity) * sizeof(fd_pin_entry);
    t->pins = static_cast<fd_pin_entry*>(t->pins == nullptr ? fd_malloc(env, bytes) : fd_realloc(env, t->pins, bytes));
    t->pin_capacity = capacity;
  }
  t->pins[t->pin_count++] = fd_pin_entry{word, {FD_NIL, 0}};
}

int64_t fd_pin_mark(const lv_foreign_env* env) { return fd_tables(env)->pin_count; }

void fd_unpin_to(const lv_foreign_env* env, int64_t mark) {
  fd_pins_follow(env);
  fd_kernel_tables* t = fd_tables(env);
  if (mark < t->pin_count) t->pin_count = mark < 0 ? 0 : mark;
}

void fd_unpin(const lv_foreign_env* env, const lv_term* word) {
  fd_pins_follow(env);
  fd_kernel_tables* t = fd_tables(env);
  for (int64_t i = t->pin_count; i-- > 0;) {
    if (t->pins[i].word != word) continue;
    t->pins[i] = t->pins[--t->pin_count];
    return;
  }
}

void fd_pins_to_slots(const lv_foreign_env* env) {
  fd_kernel_tables* t = fd_tables(env);
  if (t == nullptr || t->pins_in_slots) return;
  for (int64_t i = 0; i < t->pin_count; i++) t->pins[i].slot = {*t->pins[i].word, 0};
  t->pins_in_slots = 1;
}

void fd_pins_follow(const lv_foreign_env* env) {
  if (fd_state(env) == nullptr) return;  // no solver state (the set library alone)
  fd_kernel_tables* t = fd_tables(env);
  if (t == nullptr || !t->pins_in_slots) return;
  for (int64_t i = 0; i < t->pin_count; i++) *t->pins[i].word = t->pins[i].slot.term;
  t->pins_in_slots = 0;
}
