// Binding and trailing: the rules every place that binds a variable follows.
//   A local-stack cell (at or above H) is trailed when it lies below the
//   local top saved in the newest choicepoint.
//   An attributed heap variable (the word before its cell is -1) is always
//   trailed, and its binding counts a wake-up and requests an event check.
//   Any other heap cell is trailed when it lies below HB.
// After every trail push the trail must stay 4096 bytes below B.
#pragma once

#include "core/lv_assert.h"
#include "core/stack_shift.h"
#include "core/worker.h"

inline void lv_trail_check(lv_worker* w) {
  if (reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR) < LV_TRAIL_GAP_BYTES)
    lv_ensure_choice_space(w, LV_TRAIL_REQUEST_CELLS);
}

inline void lv_trail_push(lv_worker* w, lv_term* cell) {
  *w->TR++ = lv_make_ref(cell);
  lv_trail_check(w);
}

// An attributed heap variable: a heap cell after the -1 marker.
inline bool lv_is_attvar_cell(const lv_worker* w, const lv_term* cell) {
  return cell > w->area_start && cell < w->H && cell[-1] == LV_ATTVAR_MARKER;
}

// A variable cell that may be bound: unbound, on the heap or the local stack.
inline bool lv_is_bindable_cell(const lv_worker* w, const lv_term* cell) {
  return lv_is_unbound_cell(cell) &&
         ((cell >= w->area_start && cell < w->H) || (cell >= w->local_base && cell < w->local_end));
}

inline void lv_bind(lv_worker* w, lv_term* cell, lv_term value) {
  LV_ASSERT(lv_is_bindable_cell(w, cell));
  *cell = value;
  if (cell >= w->H) {
    if (cell < w->saved_local_top) lv_trail_push(w, cell);
  } else if (lv_is_attvar_cell(w, cell)) {
    w->wakeup_count++;
    lv_request_event(w);
    lv_trail_push(w, cell);
  } else if (cell < w->HB) {
    lv_trail_push(w, cell);
  }
}

// Binds one of two distinct unbound variables to the other: a plain variable
// is bound to an attributed one, otherwise the younger (higher address) to
// the older.
inline void lv_bind_vars(lv_worker* w, lv_term* a, lv_term* b) {
  LV_ASSERT(a != b);
  if (a < b) {
    lv_term* t = a;
    a = b;
    b = t;
  }
  if (a < w->H && lv_is_attvar_cell(w, a) && !lv_is_attvar_cell(w, b))
    lv_bind(w, b, lv_make_ref(a));
  else
    lv_bind(w, a, lv_make_ref(b));
}

// Binds an unbound variable (a dereferenced reference) to a term.
inline void lv_bind_term(lv_worker* w, lv_term var, lv_term value) {
  if (lv_is_ref(value))
    lv_bind_vars(w, lv_ref_cell(var), lv_ref_cell(value));
  else
    lv_bind(w, lv_ref_cell(var), value);
}

// Resets the cells recorded on the trail above the mark (a word index from
// the trail base), newest first, and sets the wake-up count back: undoes a
// unification made under a choicepoint that made every binding trailed.
inline void lv_undo_bindings(lv_worker* w, int64_t mark, int32_t wakeups) {
  lv_term* stop = w->trail_base + mark;
  while (w->TR > stop) {
    lv_term* cell = lv_ref_cell(*--w->TR);
    *cell = lv_make_ref(cell);
  }
  w->wakeup_count = wakeups;
}
