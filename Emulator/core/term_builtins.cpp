// Built-ins over whole terms.
#include "core/term_builtins.h"

#include "core/bind.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_compare.h"
#include "core/term_walks.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"

namespace {

constexpr lv_term ATOM_LESS = lv_predefined_atom(2);     // <
constexpr lv_term ATOM_EQUAL = lv_predefined_atom(3);    // =
constexpr lv_term ATOM_GREATER = lv_predefined_atom(4);  // >

lv_term order_atom(int c) { return c < 0 ? ATOM_LESS : c > 0 ? ATOM_GREATER : ATOM_EQUAL; }

bool acyclic(lv_worker* w, lv_term t) {
  bool result = lv_term_acyclic_walk(w, t);
  lv_term_unmark_walk(w, t);
  return result;
}

// $term_variables_dfs and $term_attributed_variables_dfs.
int variables(lv_worker* w, bool attributed_only) {
  lv_term t = lv_deref(w->X[0]);
  if (lv_is_ref(t) && !(lv_ref_cell(t) >= w->area_start && lv_ref_cell(t) < w->H)) {
    // A variable outside the heap (in the local stack) is first given a
    // heap cell, so that the list holds no local reference.
    if (attributed_only) return cunify(w, w->X[1], LV_ATOM_NIL);
    if (w->heap_hard_limit - w->H < 3) call_overflow(w, 3 + LV_HEAP_RESERVE_CELLS, 2);
    t = lv_deref(w->X[0]);
    lv_term* h = w->H;
    w->H = h + 3;
    h[0] = lv_make_ref(&h[0]);
    lv_bind(w, lv_ref_cell(t), h[0]);
    h[1] = h[0];
    h[2] = LV_ATOM_NIL;
    return cunify(w, w->X[1], lv_make_list(&h[1]));
  }
  int64_t request = w->heap_hard_limit - w->H;
  if (request < 1024) request = 1024;
  for (;;) {
    lv_term* start = w->H;
    lv_term list = LV_ATOM_NIL;
    lv_term* tail = &list;
    int complete = attributed_only ? lv_collect_attributed_variables(w, w->X[0], &tail)
                                   : lv_collect_variables(w, w->X[0], &tail);
    lv_term_unmark_walk(w, w->X[0]);
    if (complete) {
      *tail = LV_ATOM_NIL;
      return cunify(w, w->X[1], list);
    }
    w->H = start;
    request *= 2;
    call_overflow(w, request, 2);
  }
}

// Choicepoint of $subsumes_chk: saves no argument registers.
lv_try_record subsumes_alternative = {nullptr, nullptr, nullptr, 48, 0};

}  // namespace

int prolog_acyclic(lv_worker* w) {
  lv_term t = lv_deref(w->X[0]);
  return lv_is_ref(t) || acyclic(w, t) ? 1 : 0;
}

int prolog_unify_with_occurs_check(lv_worker* w) {
  if (!cunify(w, w->X[0], w->X[1])) return 0;
  lv_term t = lv_deref(w->X[0]);
  return lv_is_ref(t) || acyclic(w, t) ? 1 : 0;
}

int prolog_term_variables_dfs(lv_worker* w) { return variables(w, false); }

int prolog_term_attributed_variables_dfs(lv_worker* w) { return variables(w, true); }

// Freezes the specific term's variables to markers that match only
// themselves, unifies, and undoes every binding through the trail of a
// choicepoint of its own.
int prolog_subsumes_chk(lv_worker* w) {
  lv_term specific = lv_deref(w->X[1]);
  int64_t n = static_cast<int64_t>(lv_term_size(w, specific));
  lv_term_unmark_walk(w, specific);
  if (w->B - w->TR < n + 6 - w->pair_index) lv_ensure_choice_space(w, (n + 7) / 2);
  lv_push_call_choicepoint(w, &subsumes_alternative);
  int32_t wakeups = w->wakeup_count;
  lv_freeze_variables(w, w->X[1]);
  lv_term_unmark_walk(w, w->X[1]);
  int result = cunify(w, w->X[0], w->X[1]);
  lv_term* mark = lv_choice_view(w->B)->saved_tr();
  for (lv_term* p = w->TR; p > mark;) {
    lv_term entry = *--p;
    if (entry != 0) *lv_ref_cell(entry) = entry;
  }
  w->TR = mark;
  w->wakeup_count = wakeups;
  lv_pop_call_choicepoint(w);
  return result;
}

int prolog_compare_term_identity(lv_worker* w) {
  lv_term x = lv_deref(w->X[1]);
  lv_term y = lv_deref(w->X[2]);
  int c;
  if (x == y)
    c = 0;
  else if (lv_is_ref(x) || lv_is_ref(y))
    c = lv_is_ref(x) && lv_is_ref(y) ? (x < y ? -1 : 1) : lv_is_ref(x) ? -1 : 1;
  else
    c = lv_compare_shallow(x, y);
  return cunify(w, w->X[0], order_atom(c));
}

int prolog_compare_compound_term_age(lv_worker* w) {
  lv_term x = lv_deref(w->X[1]);
  lv_term y = lv_deref(w->X[2]);
  if (!lv_is_compound(x) || !lv_is_compound(y)) return 0;
  lv_term* a = lv_is_list(x) ? lv_list_cells(x) : lv_struct_cells(x);
  lv_term* b = lv_is_list(y) ? lv_list_cells(y) : lv_struct_cells(y);
  return cunify(w, w->X[0], order_atom(a < b ? -1 : a > b ? 1 : 0));
}

int prolog_eq(lv_worker* w) { return lv_deref(w->X[0]) == lv_deref(w->X[1]) ? 1 : 0; }
