// The box stack and the built-ins that push and conclude boxes.
#include "store/debugger_boxes.h"

#include "core/bind.h"
#include "core/choice_builtins.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/debugger_slots.h"
#include "store/debugger_state.h"

namespace {

constexpr lv_term INVST_9 = LV_DBG_INVST | (lv_term{9} << 55);
constexpr lv_term EXEC_ST_2 = LV_DBG_EXEC_ST | (lv_term{2} << 55);
constexpr int32_t BOX_STACK_REF = 2;

bool is_mutable(lv_term t) { return lv_is_struct(t) && lv_struct_cells(t)[0] == LV_FUNCTOR_MUTABLE_2; }

// The box stack's mutable; made (and bound to the reference's variable,
// trailed) on first use. 0 when the reference holds anything else.
// Registers below live are kept.
lv_term box_mutable(lv_worker* w, unsigned live) {
  lv_term t = lv_deref(w->termrefs[BOX_STACK_REF].term);
  if (is_mutable(t)) return t;
  if (!lv_is_ref(t)) return 0;
  lv_heap_room(w, 3, live);
  t = lv_deref(w->termrefs[BOX_STACK_REF].term);
  lv_term* h = w->H;
  h[0] = LV_FUNCTOR_MUTABLE_2;
  h[1] = LV_ATOM_NIL;
  h[2] = lv_make_small(0);
  w->H = h + 3;
  lv_bind(w, lv_ref_cell(t), lv_make_struct(h));
  return lv_make_struct(h);
}

// The boxes of the stack's value: the list itself, or exec_st's list.
lv_term box_list(lv_term value) {
  value = lv_deref(value);
  if (lv_is_struct(value) && lv_struct_cells(value)[0] == EXEC_ST_2) return lv_deref(lv_struct_cells(value)[2]);
  return value;
}

lv_term stack_value(lv_term mutable_term) { return lv_deref(lv_struct_cells(mutable_term)[1]); }

lv_term box_arg(lv_term box, unsigned n) { return lv_deref(lv_box_cells(box)[n]); }

}  // namespace

lv_term* lv_box_cells(lv_term box) {
  box = lv_deref(box);
  if (!lv_is_struct(box) || lv_struct_cells(box)[0] != INVST_9) return nullptr;
  return lv_struct_cells(box);
}

void lv_box_conclude(lv_worker* w, bool det, lv_term box) {
  if (!det || lv_box_cells(box) == nullptr) return;
  w->X[8] = box;
  lv_term m = box_mutable(w, 9);
  if (m == 0) return;
  lv_term value = stack_value(m);
  lv_term boxes = box_list(value);
  if (!lv_is_list(boxes)) return;
  lv_term marker = box_arg(w->X[8], LV_BOX_CHOICE);
  lv_term rest = lv_deref(lv_list_cells(boxes)[1]);
  if (lv_is_list(rest)) {
    lv_term next = lv_deref(lv_list_cells(rest)[0]);
    if (lv_box_cells(next) != nullptr && box_arg(next, LV_BOX_CHOICE) == marker) {
      lv_update_mutable(w, rest, m);
      return;
    }
  }
  if (lv_is_struct(value) && lv_struct_cells(value)[0] == EXEC_ST_2 && lv_deref(lv_struct_cells(value)[1]) == marker &&
      lv_deref(lv_struct_cells(value)[2]) == rest)
    return;
  w->X[9] = m;
  w->X[10] = rest;
  lv_heap_room(w, 3, 11);
  lv_term* h = w->H;
  h[0] = EXEC_ST_2;
  h[1] = marker;
  h[2] = w->X[10];
  w->H = h + 3;
  lv_update_mutable(w, lv_make_struct(h), w->X[9]);
}

// The box's own choicepoint stays: only newer ones are removed.
void lv_box_remove_choicepoints(lv_worker* w, lv_term box, int count) {
  lv_term* cells = lv_box_cells(box);
  if (cells == nullptr) return;
  lv_term* own = lv_choice_of_reference(w, lv_deref(cells[LV_BOX_CHOICE]));
  if (own == nullptr) return;
  lv_term* target = w->B;
  lv_term* next = lv_choice_skip_frames(w, w->B);
  for (int i = 0; i < count && next != nullptr && next < own; i++) {
    target = lv_choice_prev(next);
    next = lv_choice_skip_frames(w, target);
  }
  if (target > own) target = own;
  if (target != w->B) lv_choice_make_newest(w, target);
}

int prolog_box_setup(lv_worker* w) {
  if (!cunify(w, w->X[3], LV_ATOM_ON)) return 0;
  lv_debugger_set_in_box(w, true);
  w->X[5] = lv_debugger_slot_value(w, w->debug_words[LV_DBG_SLOT_COUNTER], 5);
  lv_term m = box_mutable(w, 6);
  if (m == 0) return 0;
  w->X[6] = m;
  lv_heap_room(w, 12, 7);
  lv_term boxes = box_list(stack_value(w->X[6]));
  if (!lv_is_list(boxes) && boxes != LV_ATOM_NIL) return 0;
  lv_term parent = lv_is_list(boxes) ? lv_deref(lv_list_cells(boxes)[0]) : LV_ATOM_NIL;
  int64_t depth = 1;
  if (lv_box_cells(parent) != nullptr && lv_is_small(box_arg(parent, LV_BOX_DEPTH)))
    depth = lv_small_value(box_arg(parent, LV_BOX_DEPTH)) + 1;
  lv_term* h = w->H;
  h[0] = INVST_9;
  h[LV_BOX_COUNTER] = w->X[5];
  h[LV_BOX_DEPTH] = lv_make_small(depth);
  h[LV_BOX_GOAL] = w->X[0];
  h[LV_BOX_MODULE] = w->X[1];
  h[LV_BOX_EXTRA] = w->X[2];
  h[6] = lv_make_ref(&h[6]);
  h[LV_BOX_EXIT_CHOICE] = lv_make_ref(&h[LV_BOX_EXIT_CHOICE]);
  h[LV_BOX_CHOICE] = lv_choice_reference(w, lv_choice_skip_frames(w, w->B));
  h[LV_BOX_PARENT] = parent;
  h[10] = lv_make_struct(h);
  h[11] = boxes;
  w->H = h + 12;
  lv_update_mutable(w, lv_make_list(&h[10]), w->X[6]);
  return cunify(w, w->X[4], lv_make_struct(h));
}

int prolog_exit_setup(lv_worker* w) {
  lv_term m = box_mutable(w, 3);
  if (m == 0) return 0;
  lv_term boxes = box_list(stack_value(m));
  if (!lv_is_list(boxes)) return 0;
  lv_term box = lv_deref(lv_list_cells(boxes)[0]);
  if (lv_box_cells(box) == nullptr) return 0;
  lv_term* newest = lv_choice_skip_frames(w, w->B);
  if (!cunify(w, lv_box_cells(box)[LV_BOX_EXIT_CHOICE], lv_choice_reference(w, newest))) return 0;
  lv_term* older = lv_choice_older(w, newest);
  bool det = older != nullptr && lv_choice_reference(w, older) == box_arg(box, LV_BOX_CHOICE);
  return cunify(w, w->X[0], det ? LV_DBG_DET : LV_DBG_NONDET) && cunify(w, w->X[1], box) &&
         cunify(w, w->X[2], w->debug_in_box ? LV_ATOM_ON : LV_ATOM_OFF);
}

int prolog_exit_port_conclusion(lv_worker* w) {
  if (lv_deref(w->X[0]) != LV_DBG_NONDET) {
    lv_box_conclude(w, true, w->X[1]);
    lv_box_remove_choicepoints(w, w->X[1], 2);
  }
  lv_debugger_set_in_box(w, false);
  return 1;
}
