// The inline built-ins' continuation machinery, and ground/1, arg/3,
// compare/3 and the three mutable built-ins.
#include "core/inline_builtins.h"

#include <cstdio>

#include "core/bind.h"
#include "core/fault.h"
#include "core/inline_builtins_support.h"
#include "core/predefined_atoms.h"
#include "core/term_compare.h"
#include "core/term_walks.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "embed/prolog_contract.h"
#include "machine/frames.h"
#include "store/live_registers.h"
#include "store/predicates.h"
#include "store/static_code.h"

namespace {

// Saves the registers live at next in a handler frame whose registers
// $resume/7 gets back when pred (null: $resume itself) proceeds, and loads
// pred's arguments. cells: the free heap cells $resume makes sure of.
const uint32_t* continue_with(lv_worker* w, lv_pred* pred, const lv_term* args, unsigned n, int64_t cells,
                              const uint32_t* next, lv_term* frame) {
  lv_pred* resume = lv_kind_pred[LV_KIND_BUILTIN_RESUME];
  if (resume == nullptr) LV_raise_fault("internal error: no $resume/7 to continue an inline built-in");
  // The arguments wait in term-reference slots above the overflow registers
  // that the handler frame saves: the slots are roots, should the frame's
  // push move the stacks.
  lv_live_set live;
  lv_live_x_register_set(w, next, &live);
  uint64_t count = lv_live_set_count(live);
  int64_t base = w->termref_top + (count > LV_X_REGISTERS ? static_cast<int64_t>(count - LV_X_REGISTERS) : 0);
  lv_termrefs_grow(w, base + n);
  for (unsigned i = 0; i < n; i++) w->termrefs[base + i].term = args[i];

  lv_push_handler_frame(w, cells, next, next, frame);
  if (pred == nullptr) {
    pred = resume;
  } else {
    lv_push_continuation_frame(w, resume, nullptr);
    for (unsigned i = 0; i < n; i++) {
      w->X[i] = w->termrefs[base + i].term;
      w->termrefs[base + i].term = LV_ATOM_NIL;
    }
  }
  w->called_pred = pred;
  return lv_switch_code;
}

int64_t free_heap_cells(const lv_worker* w) { return w->heap_hard_limit - w->H; }

lv_term order_atom(int order) { return order < 0 ? LV_ATOM_LESS : order > 0 ? LV_ATOM_GREATER : LV_ATOM_EQUAL; }

// A mutable term: '$mutable'(Value, Stamp) with a stamp that is a trail
// position. A '$mutable'/2 structure made otherwise (by functor/3, or
// written out) is no mutable: updating it would put a value-trail entry
// with a stamp that names no trail position on the trail.
bool is_mutable(lv_term t) {
  if (!lv_is_struct(t) || lv_struct_cells(t)[0] != LV_FUNCTOR_MUTABLE_2) return false;
  lv_term stamp = lv_struct_cells(t)[2];
  return lv_is_small(stamp) && lv_small_value(stamp) >= 0;
}

}  // namespace

const uint32_t* lv_inline_call(lv_worker* w, lv_pred* pred, const lv_term* args, unsigned n, const uint32_t* next,
                               lv_term* frame) {
  return continue_with(w, pred, args, n, 0, next, frame);
}

const uint32_t* lv_inline_success(lv_worker* w, const uint32_t* next, lv_term* frame) {
  if (free_heap_cells(w) > 0) return next;
  return continue_with(w, nullptr, nullptr, 0, LV_HEAP_RESERVE_CELLS, next, frame);
}

const uint32_t* lv_inline_fall_back(lv_worker* w, lv_pred* pred, const char* builtin, const lv_term* args, unsigned n,
                                    const uint32_t* next, lv_term* frame) {
  if (pred == nullptr) {
    char message[128];
    std::snprintf(message, sizeof message, "no Prolog definition of %s for its inline built-in", builtin);
    LV_raise_fault(message);
  }
  return lv_inline_call(w, pred, args, n, next, frame);
}

bool lv_inline_heap_room(const lv_worker* w, int64_t cells) { return free_heap_cells(w) >= cells; }

int lv_inline_ground(lv_worker* w, lv_term t) {
  t = lv_deref(t);
  if (lv_is_ref(t)) return 0;
  if (lv_is_atomic(t) || lv_is_box(t)) return 1;
  bool ground = lv_term_ground_walk(w, t);
  lv_term_unmark_walk(w, t);
  return ground ? 1 : 0;
}

const uint32_t* lv_inline_arg(lv_worker* w, lv_term n, lv_term t, lv_term a, const uint32_t* next, lv_term* frame) {
  lv_term index = lv_deref(n);
  lv_term term = lv_deref(t);
  if (!lv_is_small(index) || lv_small_value(index) < 0 || !lv_is_compound(term)) {
    lv_term args[] = {n, t, a};
    return lv_inline_fall_back(w, lv_role.arg_fallback, "arg/3", args, 3, next, frame);
  }
  int64_t i = lv_small_value(index);
  lv_term* args;  // argument 1 first
  int64_t arity;
  if (lv_is_list(term)) {
    args = lv_list_cells(term);
    arity = 2;
  } else {
    args = lv_struct_cells(term) + 1;
    arity = lv_functor_arity(args[-1]);
  }
  if (i == 0 || i > arity) return lv_fail_code;
  return cunify(w, a, args[i - 1]) != 0 ? next : lv_fail_code;
}

const uint32_t* lv_inline_compare(lv_worker* w, lv_term order, lv_term a, lv_term b, const uint32_t* next,
                                  lv_term* frame) {
  lv_term found = order_atom(lv_standard_order(w, a, b));
  lv_term o = lv_deref(order);
  if (lv_is_ref(o)) {
    lv_bind(w, lv_ref_cell(o), found);
    return next;
  }
  if (o == found) return next;
  if (o == LV_ATOM_LESS || o == LV_ATOM_EQUAL || o == LV_ATOM_GREATER) return lv_fail_code;
  lv_term args[] = {order, a, b, found};
  return lv_inline_fall_back(w, lv_role.compare_fallback, "compare/3", args, 4, next, frame);
}

const uint32_t* lv_inline_create_mutable(lv_worker* w, lv_term value, lv_term m, const uint32_t* next,
                                         lv_term* frame) {
  lv_term v = lv_deref(value);
  if (lv_is_ref(v)) {
    lv_term args[] = {value, m};
    return lv_inline_fall_back(w, lv_role.create_mutable_fallback, "create_mutable/2", args, 2, next, frame);
  }
  lv_term* h = w->H;
  h[0] = LV_FUNCTOR_MUTABLE_2;
  h[1] = v;
  h[2] = lv_make_small(0);
  w->H = h + 3;
  if (cunify(w, lv_make_struct(h), m) == 0) return lv_fail_code;
  return lv_inline_success(w, next, frame);
}

const uint32_t* lv_inline_get_mutable(lv_worker* w, lv_term value, lv_term m, const uint32_t* next, lv_term* frame) {
  lv_term mt = lv_deref(m);
  if (!is_mutable(mt)) {
    lv_term args[] = {value, m};
    return lv_inline_fall_back(w, lv_role.get_mutable_fallback, "get_mutable/2", args, 2, next, frame);
  }
  return cunify(w, value, lv_struct_cells(mt)[1]) != 0 ? next : lv_fail_code;
}

// The stamp rule of lv_update_mutable: the stamp is the position of the
// mutable's own newest value-trail entry, so that an update after a newer
// choicepoint is always trailed.
const uint32_t* lv_inline_update_mutable(lv_worker* w, lv_term value, lv_term m, const uint32_t* next,
                                         lv_term* frame) {
  lv_term v = lv_deref(value);
  lv_term mt = lv_deref(m);
  if (lv_is_ref(v) || !is_mutable(mt)) {
    lv_term args[] = {value, m};
    return lv_inline_fall_back(w, lv_role.update_mutable_fallback, "update_mutable/2", args, 2, next, frame);
  }
  lv_update_mutable(w, v, mt);
  return next;
}
