// Collecting woken attributed variables at an event check.
#include "core/wakeup.h"

#include "core/fault.h"
#include "core/predefined_atoms.h"
#include "embed/prolog_contract.h"
#include "machine/frames.h"
#include "store/predicates.h"

namespace {

// A bound attributed variable: a heap cell after the -1 marker that no
// longer holds its own address. Its words: the cell, the attribute vector
// and the goal list.
bool woken_cell(const lv_worker* w, const lv_term* cell) {
  return cell > w->area_start && cell < w->H && cell[-1] == LV_ATTVAR_MARKER && *cell != lv_make_ref(cell);
}

// The trail entry below tr: a value-trail entry (three words, ending in its
// old stamp, an atomic word) or a plain one. Steps tr over it and returns
// the plain entry's address, or null for a value-trail entry.
lv_term* entry_below(lv_term*& tr) {
  if (lv_is_atomic(tr[-1])) {
    tr -= 3;
    return nullptr;
  }
  return --tr;
}

// The next wake-up's trail entry below tr (tr steps past it), or null when
// the trail holds no more down to its base.
lv_term* next_wakeup(const lv_worker* w, lv_term*& tr) {
  while (tr > w->trail_base) {
    lv_term* e = entry_below(tr);
    if (e != nullptr && *e != 0 && lv_is_ref(*e) && woken_cell(w, lv_ref_cell(*e))) return e;
  }
  return nullptr;
}

// The all-at-once test a woken variable must pass: bound to a small integer,
// with attributes and no suspended goals.
bool batchable(const lv_term* cell) {
  return lv_is_small(*cell) && cell[1] != LV_ATOM_NIL && cell[2] == LV_ATOM_NIL;
}

// Whether every one of the count wake-ups passes the all-at-once test.
bool all_batchable(const lv_worker* w, int64_t count) {
  lv_term* tr = w->TR;
  for (int64_t i = 0; i < count; i++) {
    lv_term* e = next_wakeup(w, tr);
    if (e == nullptr) return i > 0;
    if (!batchable(lv_ref_cell(*e))) return false;
  }
  return true;
}

// The word that names the value-trail entry at position old: the mutable's
// stamp, or the old stamp of a newer entry of the same mutable (entries
// newer than old have not moved yet).
lv_term* stamp_naming(lv_worker* w, lv_term* mutable_cells, int64_t old) {
  lv_term* slot = &mutable_cells[2];
  while (lv_is_small(*slot) && lv_small_value(*slot) > old) {
    lv_term* newer = w->trail_base + lv_small_value(*slot);
    if (newer + 3 > w->TR || !lv_is_struct(newer[0]) || lv_struct_cells(newer[0]) != mutable_cells) return nullptr;
    slot = &newer[2];
  }
  return lv_is_small(*slot) && lv_small_value(*slot) == old ? slot : nullptr;
}

// Closes up the zero entries between low and TR, oldest first. A value-trail
// entry moves as one three-word unit, and the stamp that names it (its
// mutable's, or the old stamp of the mutable's next entry) follows it, so
// that every mutable's stamp still names its newest entry. Entries below
// the newest choicepoint's trail mark stay where they are, since that mark
// names a position among them; their zero entries are skipped by every
// reader.
void close_up(lv_worker* w, lv_term* low) {
  lv_term* mark = lv_choice_view(w->B)->saved_tr();
  if (low < mark) low = mark;
  if (low >= w->TR) return;
  // From an entry boundary upward, a value-trail entry starts with its
  // '$mutable'/2 pointer (tag 01); plain entries are references or 0.
  lv_term* to = low;
  lv_term* p = low;
  lv_term* tr = w->TR;
  while (p < tr) {
    if (lv_is_struct(*p) && p + 3 <= tr && lv_is_atomic(p[2])) {
      lv_term* m = lv_struct_cells(p[0]);
      if (to != p) {
        lv_term* slot = stamp_naming(w, m, p - w->trail_base);
        to[0] = p[0];
        to[1] = p[1];
        to[2] = p[2];
        if (slot != nullptr) *slot = lv_make_small(to - w->trail_base);
      }
      to += 3;
      p += 3;
    } else {
      if (*p != 0) *to++ = *p;
      p++;
    }
  }
  w->TR = to;
}

}  // namespace

lv_pred* lv_collect_woken_goals(lv_worker* w, lv_pred* k) {
  lv_pred* handler = k;
  int64_t remaining = w->wakeup_count;
  lv_term* low = w->TR;
  lv_pred* attribute_handler = lv_role.attribute_handler;

  if (attribute_handler != nullptr && attribute_handler->kind != LV_KIND_ENTER_UNDEFINED &&
      all_batchable(w, remaining)) {
    // All at once: X0 the woken variables, X1 their values, in the order of
    // their bindings; the variables are unbound again.
    lv_push_continuation_frame(w, handler, nullptr);
    lv_term vars = LV_ATOM_NIL, values = LV_ATOM_NIL;
    lv_term* tr = w->TR;
    for (lv_term* e; remaining > 0 && (e = next_wakeup(w, tr)) != nullptr; remaining--) {
      lv_term* cell = lv_ref_cell(*e);
      lv_term* h = w->H;
      h[0] = lv_make_ref(cell);
      h[1] = vars;
      h[2] = *cell;
      h[3] = values;
      w->H = h + 4;
      vars = lv_make_list(h);
      values = lv_make_list(h + 2);
      *cell = lv_make_ref(cell);
      *e = 0;
      low = e;
    }
    w->X[0] = vars;
    w->X[1] = values;
    handler = attribute_handler;
  } else {
    // One at a time from the newest: each handler's continuation is the
    // one pushed before it, so the oldest binding is handled first.
    lv_term* tr = w->TR;
    for (lv_term* e; remaining > 0 && (e = next_wakeup(w, tr)) != nullptr; remaining--) {
      lv_term* cell = lv_ref_cell(*e);
      low = e;
      lv_push_continuation_frame(w, handler, nullptr);
      if (cell[1] == LV_ATOM_NIL) {
        // Suspended goals only: the binding stands; its trail entry is kept
        // when a choicepoint must undo it.
        if (cell >= w->HB) *e = 0;
        w->X[0] = cell[2];
        handler = lv_role.goal_runner;
      } else {
        lv_term value = *cell;
        *cell = lv_make_ref(cell);
        *e = 0;
        w->X[0] = lv_make_ref(cell);
        w->X[1] = value;
        handler = attribute_handler;
      }
      if (handler == nullptr) LV_raise_fault("no Prolog handler for woken attributed variables");
    }
  }
  w->wakeup_count = 0;
  close_up(w, low);
  return handler;
}
