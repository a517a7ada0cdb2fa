// Enumerating built-ins: atoms, modules and predicates. With an unbound
// argument each pushes a choicepoint whose alternative retries it through a
// C-routine call stub; the scan position is kept in that choicepoint's
// saved registers, and the choicepoint is popped when the scan is done.
#include "store/db_enumerate.h"

#include <algorithm>

#include "core/atoms.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "store/predicates.h"
#include "store/static_code.h"

namespace {

lv_call_stub* atom_stub;
lv_call_stub* module_stub;
lv_call_stub* property_stub;

// Saved register i of the newest choicepoint.
lv_term& saved(lv_worker* w, unsigned i) { return lv_choice_view(w->B)->args[i]; }

int atom_scan(lv_worker* w) {
  int64_t count = lv_small_value(saved(w, 2));
  for (int64_t i = lv_small_value(saved(w, 1)); i < count; i++) {
    lv_term a = lv_atom_from_index(static_cast<uint64_t>(i));
    if (!lv_atom_live(a)) continue;
    saved(w, 1) = lv_make_small(i + 1);
    return cunify(w, w->X[0], a);
  }
  lv_pop_call_choicepoint(w);
  return 0;
}

// Modules are listed by record address, highest first: records never move
// or go, so the position survives a module made during the enumeration,
// which may rehash the module table (such a module may or may not be listed).
lv_module* module_below(uint64_t bound) {
  lv_keytab* t = lv_module_table();
  lv_hash_entry* e = lv_keytab_entries(t);
  lv_module* best = nullptr;
  for (uint64_t i = 0; i < lv_keytab_capacity(t); i++) {
    auto* m = reinterpret_cast<lv_module*>(e[i].value);
    if (e[i].key == 0 || m == nullptr || reinterpret_cast<uint64_t>(m) >= bound) continue;
    if (best == nullptr || m > best) best = m;
  }
  return best;
}

int module_scan(lv_worker* w) {
  lv_term position = saved(w, 1);
  lv_module* m = module_below(position == LV_ATOM_NIL ? UINT64_MAX : position & ~uint64_t{7});
  if (m == nullptr) {
    lv_pop_call_choicepoint(w);
    return 0;
  }
  saved(w, 1) = lv_pointer_to_term(m);
  return cunify(w, w->X[0], m->name);
}

uint32_t property_bits(const lv_pred* p) {
  uint32_t f = p->flags;
  uint32_t bits = p->next_in_module != nullptr ? 1 : 0;
  if (f & LV_PRED_DYNAMIC) bits |= 2;
  if (f & LV_PRED_MULTIFILE) bits |= 4;
  if (f & LV_PRED_VOLATILE) bits |= 8;
  if (f & LV_PRED_BLOCK) bits |= 16;
  if (f & LV_PRED_META) bits |= 32;
  if (f & 0x80) bits |= 64;
  if (f & LV_PRED_JIT_CANDIDATE) bits |= 128;
  if (f & LV_PRED_JITTED) bits |= 256;
  return bits;
}

// Type, Bits and HomeModule of a record (X1, X2, X4).
int unify_properties(lv_worker* w, const lv_pred* p) {
  return cunify(w, w->X[1], lv_make_small(lv_definition_type(p))) &&
         cunify(w, w->X[2], lv_make_small(property_bits(p))) && cunify(w, w->X[4], p->home_module->name);
}

bool is_call_n(const lv_pred* p) { return p->name == LV_ATOM_CALL && p->arity > 0; }

int property_scan(lv_worker* w) {
  lv_module* prolog = lv_prolog_module();
  for (;;) {
    auto* m = reinterpret_cast<lv_module*>(saved(w, 6) & ~uint64_t{7});
    lv_module* asked = find_module(lv_deref(w->X[3]), 0);
    lv_keytab* t = m->pred_table;
    lv_hash_entry* e = lv_keytab_entries(t);
    int64_t i = std::min<int64_t>(lv_small_value(saved(w, 5)), static_cast<int64_t>(lv_keytab_capacity(t)));
    while (--i >= 0) {
      if (e[i].key == 0 || e[i].value == 0) continue;
      auto* p = reinterpret_cast<lv_pred*>(e[i].value);
      if (lv_definition_type(p) == LV_DEF_UNDEFINED) continue;
      if (m != prolog ? p->home_module == prolog
                      : (p->next_in_module == nullptr && asked != prolog) || is_call_n(p))
        continue;
      saved(w, 5) = lv_make_small(i);
      if (!unify_properties(w, p)) return 0;
      lv_term head = lv_make_skeleton(w, p->arity == 0 ? p->name : lv_pred_functor(p));
      return cunify(w, w->X[0], head);
    }
    if (m == prolog) break;
    // The module's own records are done: prolog's follow.
    saved(w, 6) = lv_pointer_to_term(prolog);
    saved(w, 5) = lv_make_small(static_cast<int64_t>(lv_keytab_capacity(prolog->pred_table)));
    lv_choice_view(w->B)->h = lv_make_ref(w->H);
    lv_make_choice_current(w, w->B);
  }
  lv_pop_call_choicepoint(w);
  return 0;
}

}  // namespace

void lv_db_enumerate_init() {
  atom_stub = lv_new_c_call_stub(reinterpret_cast<void*>(atom_scan), 3);
  module_stub = lv_new_c_call_stub(reinterpret_cast<void*>(module_scan), 3);
  property_stub = lv_new_c_call_stub(reinterpret_cast<void*>(property_scan), 7);
}

int prolog_current_atom(lv_worker* w) {
  lv_term a = lv_deref(w->X[0]);
  if (!lv_is_ref(a)) return lv_is_atom(a);
  w->X[1] = lv_make_small(0);
  w->X[2] = lv_make_small(static_cast<int64_t>(lv_atom_total_slots()));
  w->X[3] = LV_ATOM_NIL;
  lv_push_call_choicepoint(w, &atom_stub->record);
  return atom_scan(w);
}

int prolog_current_module(lv_worker* w) {
  lv_term m = lv_deref(w->X[0]);
  if (!lv_is_ref(m)) return lv_is_atom(m) && find_module(m, 0) != nullptr;
  // X1: the last module listed ([] before the first).
  w->X[1] = LV_ATOM_NIL;
  w->X[2] = lv_make_small(0);
  w->X[3] = LV_ATOM_NIL;
  lv_push_call_choicepoint(w, &module_stub->record);
  return module_scan(w);
}

int prolog_predicate_property(lv_worker* w) {
  lv_term mname = lv_deref(w->X[3]);
  if (!lv_is_atom(mname)) return 0;
  lv_module* m = find_module(mname, 0);
  if (m == nullptr) return 0;
  lv_term head = lv_deref(w->X[0]);
  if (!lv_is_ref(head)) {
    lv_pred* p = find_definition(m, head, nullptr, LV_LOOKUP_FIND);
    if (p == nullptr || lv_definition_type(p) == LV_DEF_UNDEFINED) return 0;
    return unify_properties(w, p);
  }
  w->X[5] = lv_make_small(static_cast<int64_t>(lv_keytab_capacity(m->pred_table)));
  w->X[6] = lv_pointer_to_term(m);
  w->X[7] = LV_ATOM_NIL;
  lv_push_call_choicepoint(w, &property_stub->record);
  return property_scan(w);
}

int prolog_predicate_arities(lv_worker* w) {
  lv_module* m = find_module(lv_deref(w->X[0]), 0);
  lv_term name = lv_deref(w->X[1]);
  if (m == nullptr || !lv_is_atom(name)) return 0;
  lv_module* prolog = lv_prolog_module();
  int lo = 256;
  int hi = -1;
  // call/N exists for every N (and looking it up would make the records).
  if (name == LV_ATOM_CALL) {
    lo = 1;
    hi = 255;
  }
  for (int a = 0; a < 256 && name != LV_ATOM_CALL; a++) {
    lv_pred* p = lv_lookup_predicate(m, name, static_cast<unsigned>(a), LV_LOOKUP_FIND);
    bool defined = p != nullptr && lv_definition_type(p) != LV_DEF_UNDEFINED;
    if (!defined && m != prolog) {
      lv_pred* q = lv_lookup_predicate(prolog, name, static_cast<unsigned>(a), LV_LOOKUP_FIND);
      defined = q != nullptr && q->next_in_module != nullptr && lv_definition_type(q) != LV_DEF_UNDEFINED;
    }
    if (!defined) continue;
    lo = std::min(lo, a);
    hi = std::max(hi, a);
  }
  if (hi < 0) return 0;
  return cunify(w, w->X[2], lv_make_small(lo)) && cunify(w, w->X[3], lv_make_small(hi));
}
