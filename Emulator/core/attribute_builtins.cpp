// Built-ins over attributed variables and suspended goals.
#include "core/attribute_builtins.h"

#include "core/atoms.h"
#include "core/attributes.h"
#include "core/bind.h"
#include "core/errors.h"
#include "core/heap_list.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/suspension.h"
#include "core/text_lists.h"
#include "core/unify.h"
#include "machine/insn_unify.h"
#include "store/predicates.h"

namespace {

// The heap address a mark stands for: the cell of an unbound heap variable,
// or the first cell of a compound term; null for anything else.
lv_term* heap_mark(const lv_worker* w, lv_term mark) {
  mark = lv_deref(mark);
  lv_term* cell = nullptr;
  if (lv_is_ref(mark))
    cell = lv_ref_cell(mark);
  else if (lv_is_list(mark))
    cell = lv_list_cells(mark);
  else if (lv_is_struct(mark))
    cell = lv_struct_cells(mark);
  return cell != nullptr && cell >= w->area_start && cell < w->H ? cell : nullptr;
}

// The attributed variables recorded on the trail from TR down to stop whose
// cells lie at or above mark, newest first, into out (when not null).
// Returns their number.
int64_t trailed_attributed(const lv_worker* w, const lv_term* stop, const lv_term* mark, lv_term* out) {
  int64_t n = 0;
  for (const lv_term* tr = w->TR; tr > stop;) {
    lv_term t = tr[-1];
    if (lv_is_atomic(t)) {  // a value-trail entry: three words
      tr -= 3;
      continue;
    }
    tr--;
    if (t == 0 || !lv_is_ref(t)) continue;
    lv_term* cell = lv_ref_cell(t);
    if (cell >= mark && lv_is_attvar_cell(w, cell)) {
      if (out != nullptr) {
        out[0] = t;
        out[1] = lv_make_list(out + 2);
        out += 2;
      }
      n++;
    }
  }
  return n;
}

}  // namespace

int prolog_save_attribute_info(lv_worker* w) {
  lv_term name = lv_deref(w->X[0]);
  if (!lv_is_atom(name)) return 0;
  return lv_attr_module_register(find_module(name, 1));
}

int prolog_get_all_attribute_modules(lv_worker* w) {
  lv_heap_room(w, 2 * LV_MAX_ATTRIBUTE_MODULES, 1);
  lv_term names[LV_MAX_ATTRIBUTE_MODULES];
  uint32_t n = lv_attr_module_names(names);
  return cunify(w, w->X[0], lv_push_list(w, names, n));
}

int prolog_get_attribute_modules(lv_worker* w) {
  lv_heap_room(w, 2 * LV_MAX_ATTRIBUTE_MODULES, 2);
  lv_term vector = lv_deref(w->X[0]);
  if (vector == LV_ATOM_NIL) return cunify(w, w->X[1], LV_ATOM_NIL);
  uint32_t arity = lv_attr_vector_slots(vector);
  if (arity == 0) return 0;
  lv_term names[LV_MAX_ATTRIBUTE_MODULES];
  uint32_t count = lv_attr_module_names(names);
  const lv_term* slots = lv_struct_cells(vector);
  uint32_t n = 0;
  for (uint32_t i = 1; i <= arity && i <= count; i++)
    if (!lv_is_ref(lv_deref(slots[i]))) names[n++] = names[i - 1];
  return cunify(w, w->X[1], lv_push_list(w, names, n));
}

int prolog_get_cva(lv_worker* w) {
  lv_term var = lv_deref(w->X[0]);
  if (!lv_is_ref(var)) {
    lv_set_pending_error(LV_ERROR_VARIABLE_EXPECTED, "", var);
    return lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text("$get_cva", LV_ATOM_FIND_OR_CREATE), 3, 1);
  }
  lv_term* cell = lv_ref_cell(var);
  bool attributed = lv_is_attvar_cell(w, cell);
  lv_term attrs = attributed ? lv_attvar_vector(cell) : LV_ATOM_NIL;
  lv_term goals = attributed ? lv_attvar_goals(cell) : LV_ATOM_NIL;
  return cunify(w, w->X[1], attrs) != 0 && cunify(w, w->X[2], goals) != 0 ? 1 : 0;
}

int prolog_put_cva(lv_worker* w) {
  lv_heap_room(w, LV_ATTVAR_CELLS + 3, 3);
  if (!lv_is_ref(lv_deref(w->X[0]))) return 0;
  lv_term attrs = lv_deref(w->X[1]);
  lv_term goals = lv_heap_value(w, w->X[2]);  // no reference into the local stack
  lv_term var = lv_deref(w->X[0]);
  // The attribute operations change a vector in place: only [] or a []/N
  // compound is taken for one.
  if (attrs != LV_ATOM_NIL && lv_attr_vector_slots(attrs) == 0) return 0;
  lv_term* cell = lv_ref_cell(var);
  bool attributed = lv_is_attvar_cell(w, cell);
  if (attrs == LV_ATOM_NIL && goals == LV_ATOM_NIL) {
    if (!attributed) return 1;
    if (cell < w->HB) {
      // Bound to a fresh plain variable; the binding wakes nothing.
      lv_term* plain = w->H++;
      *plain = lv_make_ref(plain);
      *cell = *plain;
      lv_trail_push(w, cell);
    } else {
      cell[-1] = LV_ATOM_NIL;
    }
    return 1;
  }
  if (attributed && cell >= w->HB) {
    lv_attvar_vector(cell) = attrs;
    lv_attvar_goals(cell) = goals;
  } else {
    lv_attvar_renew(w, cell, attrs, goals);
  }
  return 1;
}

int prolog_disjunctive_geler(lv_worker* w) {
  lv_term tail;
  int64_t n = lv_list_length_tail(w->X[0], &tail);
  if (n < 0 || tail != LV_ATOM_NIL) return 0;
  lv_heap_room(w, 6 * n + 1156, 2);
  for (lv_term l = lv_deref(w->X[0]); l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1]))
    if (!lv_is_ref(lv_deref(lv_list_cells(l)[0]))) return 0;

  // Module:Goal runs Goal in Module; any other goal runs in the type-in
  // module.
  lv_term goal = lv_heap_value(w, w->X[1]);
  lv_term module = lv_typein_module()->name;
  if (lv_is_struct(goal) && *lv_struct_cells(goal) == LV_FUNCTOR_COLON_2 &&
      lv_is_atom(lv_deref(lv_struct_cells(goal)[1]))) {
    module = lv_deref(lv_struct_cells(goal)[1]);
    goal = lv_deref(lv_struct_cells(goal)[2]);
  }
  lv_term suspension = lv_make_suspension(w, goal, module);
  for (lv_term l = lv_deref(w->X[0]); l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1]))
    lv_bind_attributed(w, suspension, lv_deref(lv_list_cells(l)[0]));
  return 1;
}

// The mark is an unbound heap variable or a compound term: what was made on
// the heap after it lies at or above its address.
int prolog_constraint_list(lv_worker* w) {
  for (;;) {
    lv_term* mark = heap_mark(w, w->X[0]);
    if (mark == nullptr) return 0;
    // The newest choicepoint whose heap top is not above the mark.
    lv_term* b = w->B;
    while (lv_choice_view(b)->saved_h() > mark && lv_choice_prev(b) < w->choice_base) b = lv_choice_prev(b);
    lv_term* stop = lv_choice_view(b)->saved_tr();
    int64_t n = trailed_attributed(w, stop, mark, nullptr);
    if (w->heap_hard_limit - w->H < 2 * n + 128) {
      call_overflow(w, 2 * n + 128 + LV_HEAP_RESERVE_CELLS, 2);
      continue;
    }
    lv_term list = LV_ATOM_NIL;
    if (n > 0) {
      lv_term* h = w->H;
      trailed_attributed(w, stop, mark, h);
      h[2 * n - 1] = LV_ATOM_NIL;
      w->H = h + 2 * n;
      list = lv_make_list(h);
    }
    return cunify(w, w->X[1], list);
  }
}
