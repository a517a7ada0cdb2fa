// List built-ins.
#include "text/list_builtins.h"

#include "core/bind.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_compare.h"
#include "core/text_lists.h"
#include "core/unify.h"

namespace {

constexpr lv_term FUNCTOR_MINUS_2 = lv_predefined_atom(7) | (lv_term{2} << 55);

// Heap words of a new group (its list cell, the pair, the first value's
// cell) and of a further value.
constexpr int64_t GROUP_CELLS = 7;

bool is_pair(lv_term t) { return lv_is_struct(t) && lv_struct_cells(t)[0] == FUNCTOR_MINUS_2; }

// Identical keys: the same word, or two compound terms or boxed numbers
// equal in the standard order.
bool same_key(lv_worker* w, lv_term a, lv_term b) {
  a = lv_deref(a);
  b = lv_deref(b);
  if (a == b) return true;
  if (lv_is_atomic(a) || lv_is_atomic(b) || lv_is_ref(a) || lv_is_ref(b)) return false;
  return lv_compare_terms(w, a, b) == 0;
}

}  // namespace

int prolog_keyclumped(lv_worker* w) {
  int64_t n = lv_proper_list_length(w->X[0]);
  if (n < 0 || !lv_is_ref(lv_deref(w->X[1]))) return 0;
  for (lv_term l = lv_deref(w->X[0]); l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1]))
    if (!is_pair(lv_deref(lv_list_cells(l)[0]))) return 0;
  lv_heap_room(w, GROUP_CELLS * n + LV_HEAP_RESERVE_CELLS, 2);
  lv_term groups = LV_ATOM_NIL;
  lv_term* group_tail = &groups;  // the tail word of the last group cell
  lv_term* value_tail = nullptr;  // the tail word of the last value cell
  lv_term key = 0;
  for (lv_term l = lv_deref(w->X[0]); l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1])) {
    const lv_term* pair = lv_struct_cells(lv_deref(lv_list_cells(l)[0]));
    lv_term* h = w->H;
    if (value_tail != nullptr && same_key(w, key, pair[1])) {
      h[0] = pair[2];
      *value_tail = lv_make_list(h);
      value_tail = &h[1];
      w->H = h + 2;
      continue;
    }
    if (value_tail != nullptr) *value_tail = LV_ATOM_NIL;
    key = pair[1];
    // [Key-[Value|_]|_]: the group's cell, the pair, the value's cell.
    h[0] = lv_make_struct(&h[2]);
    *group_tail = lv_make_list(h);
    group_tail = &h[1];
    h[2] = FUNCTOR_MINUS_2;
    h[3] = key;
    h[4] = lv_make_list(&h[5]);
    h[5] = pair[2];
    value_tail = &h[6];
    w->H = h + GROUP_CELLS;
  }
  if (value_tail != nullptr) *value_tail = LV_ATOM_NIL;
  *group_tail = LV_ATOM_NIL;
  lv_bind_term(w, lv_deref(w->X[1]), groups);
  return 1;
}

int prolog_list_info(lv_worker* w) {
  lv_term stop = 0;
  bool cyclic = false;
  int64_t length = lv_list_walk(w->X[0], &stop, &cyclic);
  return cunify(w, w->X[1], lv_make_small(length)) && cunify(w, w->X[2], stop);
}
