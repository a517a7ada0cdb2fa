// Built-ins of the dynamic database: asserting, erasing, and the tables and
// generations behind them.
#include "store/db_builtins.h"

#include <algorithm>

#include "core/atoms.h"
#include "core/attributes.h"
#include "core/bind.h"
#include "core/builtins.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/clause_list.h"
#include "store/db_generations.h"
#include "core/numbers.h"
#include "store/db_blackboard.h"
#include "store/db_enumerate.h"
#include "store/db_modules.h"
#include "store/db_results.h"
#include "store/db_roots.h"
#include "store/dbref_table.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"

namespace {


// The predicate of a table reference (its address as a small integer), or
// null unless it names a dynamic predicate with a table.
lv_pred* table_pred(lv_term ref) {
  ref = lv_deref(ref);
  if (!lv_is_small(ref) || lv_small_value(ref) <= 0) return nullptr;
  auto* p = reinterpret_cast<lv_pred*>(ref & ~uint64_t{7});
  if (!lv_dynamic_ref_known(p) || lv_definition_type(p) != LV_DEF_DYNAMIC || p->definition == nullptr) return nullptr;
  return p;
}

// Head and body of a clause term; false unless the head is callable and
// has the predicate's name and arity.
bool clause_parts(lv_term clause, const lv_pred* p, lv_term* head, lv_term* body) {
  clause = lv_deref(clause);
  const lv_term neck = lv_make_functor(lv_atom_from_text(":-", 0), 2);
  *head = clause;
  *body = LV_ATOM_TRUE;
  if (lv_is_struct(clause) && lv_struct_cells(clause)[0] == neck) {
    *head = lv_deref(lv_struct_cells(clause)[1]);
    *body = lv_deref(lv_struct_cells(clause)[2]);
  }
  lv_term h = *head;
  if (lv_is_atom(h)) return p->arity == 0 && h == p->name;
  if (lv_is_list(h)) return lv_pred_functor(p) == LV_FUNCTOR_DOT_2;
  return lv_is_struct(h) && lv_struct_cells(h)[0] == lv_pred_functor(p);
}

// Stores [Head|Body] (the list cell is built in X[reg]; registers below reg
// are kept) as a clause with empty source fields.
lv_db_clause* store_clause(lv_worker* w, lv_term head, lv_term body, unsigned reg) {
  if (w->heap_hard_limit - w->H < 2) {
    w->X[reg] = head;
    w->X[reg + 1] = body;
    call_overflow(w, LV_HEAP_RESERVE_CELLS + 2, reg + 2);
    head = w->X[reg];
    body = w->X[reg + 1];
  }
  lv_term* h = w->H;
  h[0] = head;
  h[1] = body;
  w->H = h + 2;
  w->X[reg] = lv_make_list(h);
  lv_db_clause* c = lv_clause_of(lv_store_term(w, reg));
  c->source_key = LV_ATOM_NIL;
  c->source = LV_ATOM_NIL;
  return c;
}

// A new '$ref' for the clause, on the heap.
lv_term new_ref(lv_worker* w, lv_db_clause* c, unsigned live) {
  if (w->heap_hard_limit - w->H < 3) call_overflow(w, LV_HEAP_RESERVE_CELLS + 3, live);
  lv_term* h = w->H;
  lv_term ref = lv_register_dbref(lv_block_of(c), &h, true);
  w->H = h;
  return ref;
}

int insert(lv_worker* w, bool at_front) {
  lv_pred* p = table_pred(w->X[0]);
  lv_term head = 0;
  lv_term body = 0;
  if (p == nullptr || !clause_parts(w->X[1], p, &head, &body)) return 0;
  lv_db_clause* c = store_clause(w, head, body, 3);
  lv_term ref = new_ref(w, c, 3);
  if (!cunify(w, ref, w->X[2])) {
    lv_release_dbref(lv_block_of(c));
    return 0;
  }
  if (at_front) {
    lv_db_attach_clause_first(p, c);
  } else {
    lv_db_attach_clause(p, c);
  }
  return 1;
}

// Module:Head of the quick forms: a declared dynamic predicate.
lv_pred* quick_pred(lv_term goal, lv_term* head) {
  goal = lv_deref(goal);
  if (!lv_is_struct(goal) || lv_struct_cells(goal)[0] != LV_FUNCTOR_COLON_2) return nullptr;
  lv_term name = lv_deref(lv_struct_cells(goal)[1]);
  *head = lv_deref(lv_struct_cells(goal)[2]);
  if (!lv_is_atom(name) || !lv_is_compound(*head)) return nullptr;
  lv_module* m = find_module(name, 0);
  if (m == nullptr) return nullptr;
  lv_pred* p = find_definition(m, *head, nullptr, LV_LOOKUP_FIND);
  if (p == nullptr || lv_definition_type(p) != LV_DEF_DYNAMIC || p->definition == nullptr ||
      (p->flags & LV_PRED_DYNAMIC) == 0)
    return nullptr;
  return p;
}

int insert_quick(lv_worker* w, bool at_front, bool with_ref) {
  lv_term head = 0;
  lv_pred* p = quick_pred(w->X[0], &head);
  if (p == nullptr) return 0;
  if (with_ref && !lv_is_ref(lv_deref(w->X[1]))) return 0;
  lv_db_clause* c = store_clause(w, head, LV_ATOM_TRUE, 3);
  if (with_ref) {
    lv_term ref = new_ref(w, c, 3);
    if (!cunify(w, ref, w->X[1])) {
      lv_release_dbref(lv_block_of(c));
      return 0;
    }
  } else {
    // A clause without a reference handed out still owns an index.
    lv_term cells[3];
    lv_term* h = cells;
    lv_register_dbref(lv_block_of(c), &h, true);
  }
  if (at_front) {
    lv_db_attach_clause_first(p, c);
  } else {
    lv_db_attach_clause(p, c);
  }
  return 1;
}

lv_db_clause* ref_clause(lv_term ref) {
  lv_stored_block* b = lv_dbref_to_block(ref);
  return b != nullptr ? lv_clause_of(b) : nullptr;
}

// Exchanges a clause's source field with a new atomic value.
int exchange_source(lv_worker* w, lv_term lv_db_clause::*field) {
  lv_db_clause* c = ref_clause(w->X[0]);
  lv_term next = lv_deref(w->X[2]);
  if (c == nullptr || !lv_clause_alive(c)) return cunify(w, w->X[1], LV_ATOM_NIL);
  // Records keep atomic terms only: a compound would dangle once the heap moves.
  if (!lv_is_atomic(next)) return 0;
  lv_term old = c->*field;
  c->*field = next;
  return cunify(w, w->X[1], old);
}

}  // namespace

int prolog_current_clauses(lv_worker* w) {
  lv_term head = lv_deref(w->X[0]);
  if (lv_is_ref(head)) return 0;
  lv_module* m = find_module(lv_deref(w->X[2]), 0);
  if (m == nullptr) return 0;
  lv_pred* p = find_definition(m, head, nullptr, LV_LOOKUP_FIND);
  if (p == nullptr || lv_definition_type(p) != LV_DEF_DYNAMIC || p->definition == nullptr) return 0;
  lv_dynamic_ref_handed_out(p);
  return cunify(w, w->X[1], lv_pointer_to_term(p));
}

int prolog_inserta(lv_worker* w) { return insert(w, true); }
int prolog_insertz(lv_worker* w) { return insert(w, false); }
int prolog_inserta_quick(lv_worker* w) { return insert_quick(w, true, false); }
int prolog_insertz_quick(lv_worker* w) { return insert_quick(w, false, false); }
int prolog_inserta2_quick(lv_worker* w) { return insert_quick(w, true, true); }
int prolog_insertz2_quick(lv_worker* w) { return insert_quick(w, false, true); }

int prolog_erase(lv_worker* w) {
  lv_db_reclaim_if_due(w);
  lv_db_clause* c = ref_clause(w->X[0]);
  if (c != nullptr) lv_db_erase(c);
  return 1;
}

// Detaches at once when no dynamic choicepoint can hold the clause; else
// it is erased and reclaimed once no call can see it.
int prolog_purge(lv_worker* w) {
  lv_db_clause* c = ref_clause(w->X[0]);
  if (c == nullptr || !lv_clause_alive(c)) return 0;
  if (lv_db.no_dynamic_choices) {
    lv_db_detach_clause(c, lv_dynamic_table(c->pred));
  } else {
    lv_db_erase(c);
  }
  return 1;
}

int prolog_instance_source(lv_worker* w) { return exchange_source(w, &lv_db_clause::source_key); }
int prolog_instance_file(lv_worker* w) { return exchange_source(w, &lv_db_clause::source); }

int prolog_instance_defmap(lv_worker* w) {
  lv_db_clause* c = ref_clause(w->X[0]);
  if (c == nullptr) return 0;
  lv_term a = lv_deref(w->X[1]);
  lv_term b = lv_deref(w->X[2]);
  if (a != b || c->side_table == nullptr) return 0;
  uint64_t n = c->side_table[0] / 8 - 1;
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(2 * n + 1)) call_overflow(w, static_cast<int64_t>(2 * n) + LV_HEAP_RESERVE_CELLS, 3);
  c = ref_clause(w->X[0]);
  if (c == nullptr) return 0;
  lv_term list = LV_ATOM_NIL;
  lv_term* h = w->H;
  for (uint64_t i = n; i > 0; i--) {
    lv_term entry = c->side_table[i];
    h[0] = lv_is_atomic(entry) ? entry : lv_make_small(static_cast<int64_t>(entry >> 3));
    h[1] = list;
    list = lv_make_list(h);
    h += 2;
  }
  w->H = h;
  return cunify(w, w->X[1], list);
}

int prolog_set_clock_remaining(lv_worker* w) {
  lv_term r = lv_deref(w->X[0]);
  if (!lv_is_small(r)) return 0;
  int64_t v = lv_small_value(r);
  constexpr int64_t LIMIT = (int64_t{1} << 31) - 2;
  if (v == 0 || v > LIMIT || v < -LIMIT) return 0;
  uint32_t now = v > 0 ? static_cast<uint32_t>(0xFFFFFFFEu - static_cast<uint64_t>(v))
                       : static_cast<uint32_t>(0xFFFFFFFFu - static_cast<uint64_t>(-v));
  if (now < lv_db.now || now < lv_db.next) return 0;
  // next moves with now, so that the next change does not take an older
  // generation than the calls made from now on.
  lv_db.now = now;
  lv_db.next = now;
  return 1;
}

int prolog_retractall(lv_worker* w) {
  lv_term head = lv_deref(w->X[0]);
  if (lv_is_compound(head)) {
    // A list cell is the compound '.'(H, T).
    const lv_term* args = lv_is_list(head) ? lv_list_cells(head) : lv_struct_cells(head) + 1;
    unsigned n = lv_is_list(head) ? 2 : lv_functor_arity(lv_struct_cells(head)[0]);
    lv_term cells[256];
    for (unsigned i = 0; i < n; i++) {
      lv_term a = lv_deref(args[i]);
      if (!lv_is_ref(a) || lv_is_attvar_cell(w, lv_ref_cell(a))) return 0;
      cells[i] = a;
    }
    std::sort(cells, cells + n, [](lv_term x, lv_term y) { return static_cast<int64_t>(x) < static_cast<int64_t>(y); });
    for (unsigned i = 1; i < n; i++)
      if (cells[i] == cells[i - 1]) return 0;
  } else if (!lv_is_atom(head)) {
    return 0;
  }
  lv_module* m = find_module(lv_deref(w->X[1]), 0);
  if (m == nullptr) return 0;
  lv_pred* p = find_definition(m, head, nullptr, LV_LOOKUP_FIND);
  if (p == nullptr || lv_definition_type(p) != LV_DEF_DYNAMIC || p->definition == nullptr) return 0;
  lv_db_reclaim_if_due(w);
  lv_db_clause* c = lv_next_live_clause(lv_dynamic_table(p)->first);
  while (c != nullptr) {
    lv_db_clause* after = lv_next_live_clause(lv_clause_next(c));
    lv_db_erase(c);
    c = after;
  }
  return 1;
}

int prolog_multifile_retractall(lv_worker* w) {
  lv_term head = lv_deref(w->X[0]);
  lv_module* m = find_module(lv_deref(w->X[1]), 0);
  if (m == nullptr || lv_is_ref(head)) return 0;
  lv_pred* p = find_definition(m, head, nullptr, LV_LOOKUP_FIND);
  if (p == nullptr || (p->flags & LV_PRED_MULTIFILE) == 0) return 0;
  if (lv_definition_type(p) == LV_DEF_DYNAMIC) {
    lv_erase_clauses_by_key(p, w->X[2]);
  } else {
    lv_erase_clauses(p, w->X[2]);
  }
  return 1;
}

namespace {

bool chain_has_live(lv_db_clause* c) {
  for (; c != nullptr; c = lv_clause_key_next(c))
    if (lv_clause_alive(c)) return true;
  return false;
}

lv_db_clause* first_live_in_chain(lv_db_clause* c) {
  for (; c != nullptr; c = lv_clause_key_next(c))
    if (lv_clause_alive(c)) return c;
  return nullptr;
}

// Puts a key in front of the list in X4: a skeleton of a key word, or the
// large number of a clause's stored head.
void push_key(lv_worker* w, lv_term key, lv_db_clause* large) {
  uint64_t words = large != nullptr ? lv_box_value_words(key) + 2 : lv_functor_arity(key) + 1;
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(words + 3))
    call_overflow(w, static_cast<int64_t>(words + 3 + 1152), 5);
  lv_term term = large != nullptr ? lv_block_term_to_heap(lv_block_of(large)) : lv_make_skeleton(w, key);
  lv_term* h = w->H;
  h[0] = term;
  h[1] = w->X[4];
  w->H = h + 2;
  w->X[4] = lv_make_list(h);
}

lv_term key_name(lv_term key) { return key == LV_FUNCTOR_DOT_2 ? LV_ATOM_DOT : lv_is_atom(key) ? lv_functor_atom(key) : key; }

}  // namespace

int prolog_current_key(lv_worker* w) {
  lv_db_timestamp(w);
  lv_pred* p = table_pred(w->X[0]);
  if (p == nullptr) return 0;
  lv_dynamic_clause_table* t = lv_dynamic_table(p);
  w->X[4] = LV_ATOM_NIL;
  lv_term first = lv_deref(w->X[3]);
  if (!lv_is_ref(first)) {
    const lv_term* box = lv_is_box(first) ? lv_struct_cells(first) : nullptr;
    lv_term key = lv_is_list(first) ? LV_FUNCTOR_DOT_2 : lv_is_struct(first) ? lv_struct_cells(first)[0] : first;
    lv_db_clause* c = first_live_in_chain(lv_key_chain_first(t, key, box));
    if (c != nullptr) push_key(w, key, box != nullptr ? c : nullptr);
    return cunify(w, w->X[1], w->X[4]);
  }
  lv_term name = lv_deref(w->X[2]);
  if (chain_has_live(t->list_chain) && (lv_is_ref(name) || name == LV_ATOM_DOT)) push_key(w, LV_FUNCTOR_DOT_2, nullptr);
  for (uint64_t i = 0;; i++) {
    // The table may grow while keys are made: read it afresh.
    t = lv_dynamic_table(table_pred(w->X[0]));
    if (i >= lv_keytab_capacity(t->key_table)) break;
    lv_hash_entry e = lv_keytab_entries(t->key_table)[i];
    if (e.key == 0 || !chain_has_live(reinterpret_cast<lv_db_clause*>(e.value))) continue;
    name = lv_deref(w->X[2]);
    if (!lv_is_ref(name) && key_name(e.key) != name) continue;
    push_key(w, e.key, nullptr);
  }
  t = lv_dynamic_table(table_pred(w->X[0]));
  if (t->large_table != nullptr) {
    for (uint64_t i = 0; i <= t->large_table->mask; i++) {
      t = lv_dynamic_table(table_pred(w->X[0]));
      if (i > t->large_table->mask) break;
      lv_hash_gentry e = lv_hash_entries(t->large_table)[i];
      if (e.key == nullptr) continue;
      lv_db_clause* c = first_live_in_chain(static_cast<lv_db_clause*>(e.value));
      if (c != nullptr) push_key(w, static_cast<const lv_term*>(e.key)[0], c);
    }
  }
  return cunify(w, w->X[1], w->X[4]);
}

namespace {

const lv_builtin records[] = {
    LV_BUILTIN("current_atom", prolog_current_atom, 1),
    LV_BUILTIN("$current_module", prolog_current_module, 1),
    LV_BUILTIN("$predicate_arities", prolog_predicate_arities, 4),
    LV_BUILTIN("$predicate_property", prolog_predicate_property, 5),
    LV_BUILTIN("$current_key", prolog_current_key, 4),
    LV_BUILTIN("$bb_put", prolog_bb_put, 3),
    LV_BUILTIN("$bb_get", prolog_bb_get, 3),
    LV_BUILTIN("$bb_delete", prolog_bb_delete, 3),
    LV_BUILTIN("$bb_update", prolog_bb_update, 5),
    LV_BUILTIN("$import_preds", prolog_import_preds, 3),
    LV_BUILTIN("$module", prolog_module_decl, 4),
    LV_BUILTIN("$module", prolog_module_boot, 3),
    LV_BUILTIN("$module_hiding", prolog_module_hiding, 3),
    LV_BUILTIN("$curmod", prolog_curmod, 3),
    LV_BUILTIN("$typein_module", prolog_typein_module, 2),
    LV_BUILTIN("$imported", prolog_imported, 3),
    LV_BUILTIN("$predicate_file", prolog_predicate_file, 3),
    LV_BUILTIN("$store_exception", prolog_store_exception, 1),
    LV_BUILTIN("$load_exception", prolog_load_exception, 1),
    LV_BUILTIN("$erase_exception", prolog_erase_exception, 0),
    LV_BUILTIN("$add_setof_root", prolog_add_setof_root, 1),
    LV_BUILTIN("$setof_inserta", prolog_setof_inserta, 3),
    LV_BUILTIN("$setof_list_instances", prolog_setof_list_instances, 3),
    LV_BUILTIN("$term_ref", prolog_term_ref, 2),
    LV_BUILTIN("$current_clauses", prolog_current_clauses, 3),
    LV_BUILTIN("$inserta", prolog_inserta, 3),
    LV_BUILTIN("$insertz", prolog_insertz, 3),
    LV_BUILTIN("$inserta_quick", prolog_inserta_quick, 1),
    LV_BUILTIN("$insertz_quick", prolog_insertz_quick, 1),
    LV_BUILTIN("$inserta2_quick", prolog_inserta2_quick, 3),
    LV_BUILTIN("$insertz2_quick", prolog_insertz2_quick, 3),
    LV_BUILTIN("$erase", prolog_erase, 1),
    LV_BUILTIN("$purge", prolog_purge, 1),
    LV_BUILTIN("$instance_source", prolog_instance_source, 3),
    LV_BUILTIN("$instance_file", prolog_instance_file, 3),
    LV_BUILTIN("$instance_defmap", prolog_instance_defmap, 3),
    LV_BUILTIN("$set_clock_remaining", prolog_set_clock_remaining, 1),
    LV_BUILTIN("$retractall", prolog_retractall, 2),
    LV_BUILTIN("$multifile_retractall", prolog_multifile_retractall, 3),
    LV_BUILTIN("$print_dbrefs", prolog_print_dbrefs, 0),
};

}  // namespace

lv_builtin_table lv_db_builtins() { return {records, sizeof records / sizeof records[0]}; }
