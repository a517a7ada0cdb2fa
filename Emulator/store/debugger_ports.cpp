// The port decision and the port built-ins.
#include "store/debugger_ports.h"

#include "core/flag_builtins.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "store/debugger_boxes.h"
#include "store/debugger_slots.h"
#include "store/debugger_state.h"
#include "store/predicates.h"

namespace {

constexpr lv_term FLIT_2 = LV_DBG_FLIT | (lv_term{2} << 55);

bool leashed(lv_term port) {
  int64_t bit = 0;
  if (port == LV_ATOM_CALL)
    bit = LV_LEASH_CALL;
  else if (port == LV_DBG_DET || port == LV_DBG_NONDET)
    bit = LV_LEASH_EXIT;
  else if (port == LV_DBG_REDO)
    bit = LV_LEASH_REDO;
  else if (port == LV_ATOM_FAIL)
    bit = LV_LEASH_FAIL;
  else if (lv_is_compound(port))
    bit = LV_LEASH_EXCEPTION;
  return (lv_debugger.leash & bit) != 0;
}

void set_slot(lv_worker* w, unsigned index, lv_term atomic) { lv_debugger_set_atomic(&w->debug_words[index], atomic); }

// Defined: the goal's predicate is found in the module and not undefined.
lv_pred* defined_pred(lv_term goal, lv_term module_name) {
  module_name = lv_deref(module_name);
  if (!lv_is_atom(module_name)) return nullptr;
  lv_module* m = find_module(module_name, 0);
  lv_pred* p = m != nullptr ? find_definition(m, goal, nullptr, LV_LOOKUP_FIND) : nullptr;
  return p != nullptr && lv_definition_type(p) != LV_DEF_UNDEFINED ? p : nullptr;
}

}  // namespace

lv_term lv_port_decision(lv_worker* w, lv_term port) {
  port = lv_deref(port);
  lv_term a = w->debug_words[LV_DBG_SLOT_ACTION];
  if (lv_debugger_integer_sign(a) != 1 && a != LV_ATOM_OFF && !w->debug_engine_switch) {
    if (a == LV_DBG_TRACE) {
      set_slot(w, LV_DBG_SLOT_SHOW, LV_DBG_PRINT);
      set_slot(w, LV_DBG_SLOT_DO, leashed(port) ? LV_DBG_ASK : LV_DBG_PROCEED);
    } else {
      set_slot(w, LV_DBG_SLOT_SHOW, LV_DBG_SILENT);
      set_slot(w, LV_DBG_SLOT_DO, a == LV_DBG_DEBUG ? LV_DBG_PROCEED : LV_DBG_FLIT);
    }
    return LV_DBG_DEBUG;
  }
  set_slot(w, LV_DBG_SLOT_DO, LV_DBG_FLIT);
  set_slot(w, LV_DBG_SLOT_SHOW, LV_DBG_SILENT);
  return LV_ATOM_OFF;
}

void lv_debugger_skip_test(lv_worker* w, int64_t depth) {
  lv_term s = w->debug_words[LV_DBG_SLOT_ACTION];
  int sign = lv_debugger_integer_sign(s);
  if (sign == 2 || depth <= 0) return;
  // A stored integer is a big one: every positive depth lies within it.
  bool within = !lv_is_small(s) || depth <= (lv_small_value(s) < 0 ? -lv_small_value(s) : lv_small_value(s));
  if (within) set_slot(w, LV_DBG_SLOT_ACTION, LV_DBG_TRACE);
}

int prolog_port_setup(lv_worker* w) {
  bool call = lv_deref(w->X[0]) == LV_ATOM_CALL;
  if (!call) lv_debugger_set_in_box(w, true);
  lv_term* box = lv_box_cells(w->X[1]);
  if (box == nullptr) return 0;
  lv_term module = lv_deref(box[LV_BOX_MODULE]);
  lv_pred* p = defined_pred(box[LV_BOX_GOAL], module);
  if (p != nullptr && p->home_module != nullptr) module = p->home_module->name;
  if (!cunify(w, w->X[2], box[LV_BOX_GOAL]) || !cunify(w, w->X[3], module)) return 0;
  if (!call) {
    lv_term depth = lv_deref(lv_box_cells(w->X[1])[LV_BOX_DEPTH]);
    if (lv_is_small(depth)) lv_debugger_skip_test(w, lv_small_value(depth));
  }
  w->X[5] = w->X[0];
  lv_debugger_put(w, LV_DBG_SLOT_PORT, 5);
  lv_term advice = lv_debugger.advice ? LV_DBG_ADVICE : lv_port_decision(w, w->X[0]);
  return cunify(w, w->X[4], advice);
}

int prolog_port_debugger_setup(lv_worker* w) { return cunify(w, w->X[2], lv_port_decision(w, w->X[0])); }

int prolog_call_port_conclusion(lv_worker* w) {
  lv_term* box = lv_box_cells(w->X[1]);
  if (box == nullptr) return 0;
  bool defined = defined_pred(box[LV_BOX_GOAL], box[LV_BOX_MODULE]) != nullptr;
  lv_term todo = w->debug_words[LV_DBG_SLOT_DO];
  const lv_term* stored = lv_debugger_stored_structure(todo);
  bool flit_advice = stored != nullptr && stored[0] == FLIT_2;
  bool atom = lv_is_atom(todo);
  lv_term result;
  if (lv_deref(w->X[0]) == LV_DBG_FLIT && (todo == LV_DBG_FLIT || flit_advice) &&
      (defined || lv_flags.unknown != LV_DBG_TRACE)) {
    result = defined && atom ? LV_DBG_FLIT : LV_DBG_FLIT_CALL;
    lv_box_conclude(w, true, w->X[1]);
    lv_box_remove_choicepoints(w, w->X[1], 1);
  } else {
    result = defined && atom ? LV_DBG_PROCEED : LV_ATOM_CALL;
  }
  if (!cunify(w, w->X[2], result)) return 0;
  lv_debugger_set_in_box(w, false);
  return 1;
}

int prolog_port_interaction_setup(lv_worker* w) {
  lv_term show = w->debug_words[LV_DBG_SLOT_SHOW];
  lv_term todo = w->debug_words[LV_DBG_SLOT_DO];
  bool quiet = show == LV_DBG_SILENT && (todo == LV_DBG_PROCEED || todo == LV_DBG_FLIT);
  return cunify(w, w->X[0], quiet ? LV_ATOM_OFF : LV_ATOM_ON);
}
