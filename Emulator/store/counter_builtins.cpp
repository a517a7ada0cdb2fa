// $reset_counters, $get_counters and $get_coverage.
#include "store/counter_builtins.h"

#include "core/atoms.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/termrefs.h"
#include "core/unify.h"
#include "core/worker.h"
#include "store/code_terms.h"
#include "store/code_walk.h"
#include "store/clause_list.h"
#include "store/counters.h"
#include "store/db_clause.h"
#include "store/dynamic_table.h"
#include "store/instance_records.h"
#include "store/predicates.h"
#include "store/source_table.h"

namespace {

lv_term atom(const char* name) { return lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE); }

// Room on the heap, the argument register kept (it is also in a term
// reference).
void room(lv_worker* w, uint64_t cells) { lv_code_terms_room(w, cells, 1); }

lv_term compound2(lv_worker* w, lv_term name, lv_term a, lv_term b) {
  lv_term* c = w->H;
  c[0] = lv_make_functor(name, 2);
  c[1] = a;
  c[2] = b;
  w->H = c + 3;
  return lv_make_struct(c);
}

lv_term compound1(lv_worker* w, lv_term name, lv_term a) {
  lv_term* c = w->H;
  c[0] = lv_make_functor(name, 1);
  c[1] = a;
  w->H = c + 2;
  return lv_make_struct(c);
}

// det(N) or nondet(N) for a counter word (2 x N, bit 0 the flag); 5 cells.
lv_term count_term(lv_worker* w, uint64_t word) {
  lv_term n = lv_make_integer(w, static_cast<int64_t>(word >> 1));
  return compound1(w, atom((word & 1) != 0 ? "nondet" : "det"), n);
}

// Calls visit for every record of every module's predicate table.
template <typename Visit>
void for_each_record(Visit visit) {
  struct walk {
    static void module(lv_module* m, void* arg) {
      if (m->pred_table == nullptr) return;
      lv_hash_entry* e = lv_keytab_entries(m->pred_table);
      for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++)
        if (e[i].key != 0 && e[i].value != 0) (*static_cast<Visit*>(arg))(reinterpret_cast<lv_pred*>(e[i].value));
    }
  };
  lv_for_each_module(walk::module, &visit);
}

// A record that defines its predicate here (its copies and importers are
// reported through it).
bool home_record(const lv_pred* p) { return p->home_module == p->owner_module; }

lv_counter_object* counters_of(const lv_pred* p) { return static_cast<lv_counter_object*>(p->counters); }

// The clauses of a dynamic predicate in chain order (the chain ends at a
// null or odd link).
template <typename Visit>
void for_each_dynamic_clause(const lv_pred* p, Visit visit) {
  lv_dynamic_clause_table* t = lv_dynamic_table(p);
  if (t == nullptr) return;
  for (lv_db_clause* c = t->first; c != nullptr;) {
    visit(c);
    if ((c->next & 1) != 0) break;
    c = reinterpret_cast<lv_db_clause*>(c->next);
  }
}

// The predicate a counter key stands for in the object of owner, or null.
lv_pred* key_predicate(const lv_pred* owner, uint64_t key) {
  if ((key & 1) != 0) return reinterpret_cast<lv_pred*>(key - 1);
  if (lv_definition_type(owner) == LV_DEF_DYNAMIC) {
    const auto* r = reinterpret_cast<const lv_instance_record*>(key);
    return r->clause != nullptr ? r->clause->pred : nullptr;
  }
  lv_pred* code_owner = nullptr;
  if (lv_code_owner(reinterpret_cast<const void*>(key), &code_owner) == 0) return nullptr;
  return code_owner;
}

// A site is listed for a static or dynamic predicate that is not an
// internal entry.
bool listed_site(const lv_pred* p) {
  if (p == nullptr || lv_code_is_internal_header(p) || p->kind == LV_KIND_ENTER_INTERNAL) return false;
  uint32_t type = lv_definition_type(p);
  return type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED || type == LV_DEF_DYNAMIC;
}

// The list of sites of a counter object, pushed onto the list in ref.
void push_sites(lv_worker* w, const lv_pred* owner, lv_counter_object* c, lv_term_ref sites) {
  for (uint64_t i = 0; c->table != nullptr && i < lv_keytab_capacity(c->table); i++) {
    lv_hash_entry e = lv_keytab_entries(c->table)[i];
    if (e.key == 0 || e.value == 0) continue;
    lv_pred* p = key_predicate(owner, e.key);
    if (!listed_site(p)) continue;
    room(w, 6 + 5 + 3 + 2);
    lv_term spec = lv_pred_spec_term(w, p);
    lv_code_terms_push(w, sites, compound2(w, atom("-"), spec, count_term(w, e.value)));
  }
}

// The clause number (from 1) of a clause of a dynamic predicate; 0 when it
// is no longer in the chain.
int64_t clause_number(const lv_db_clause* clause) {
  int64_t n = 0;
  int64_t found = 0;
  if (clause->pred == nullptr) return 0;
  for_each_dynamic_clause(clause->pred, [&](lv_db_clause* c) {
    n++;
    if (c == clause && found == 0) found = n;
  });
  return found;
}

lv_term file_term(const lv_db_clause* clause) {
  return lv_is_atomic(clause->source_key) ? clause->source_key : LV_ATOM_NIL;
}

// counter(File, Spec, ClauseNumber, Line) - Count onto the list in ref.
void push_coverage(lv_worker* w, lv_term_ref list, lv_term file, const lv_pred* p, int64_t number, int64_t line,
                   uint64_t count) {
  room(w, 6 + 3 + 3 + 6 + 5 + 3 + 2);
  lv_term spec = lv_pred_spec_term(w, p);
  lv_term args[4] = {file, spec, lv_make_integer(w, number), lv_make_integer(w, line)};
  lv_term* c = w->H;
  c[0] = lv_make_functor(atom("counter"), 4);
  for (int i = 0; i < 4; i++) c[1 + i] = args[i];
  w->H = c + 5;
  lv_code_terms_push(w, list, compound2(w, atom("-"), lv_make_struct(c), count_term(w, count)));
}

// The entries of a static clause the profiled emulator counted: under its
// code's address (a call that enters it first) and under its clause key (a
// TRY or a backtrack into it); the non-determinate flag of either.
uint64_t clause_entries(const lv_counter_object* c, lv_code_block* b) {
  if (c == nullptr || c->table == nullptr) return 0;
  const uint32_t* code = lv_code_block_code(b);
  uint64_t keys[2] = {reinterpret_cast<uint64_t>(code), lv_profile_clause_key(code)};
  uint64_t word = 0;
  for (int i = 0; i < (keys[1] != keys[0] ? 2 : 1); i++) {
    lv_hash_entry* e = lv_wordtab_find(c->table, keys[i]);
    if (e != nullptr && e->key == keys[i]) word = (((word >> 1) + (e->value >> 1)) << 1) | ((word | e->value) & 1);
  }
  return word;
}

// The lines a static clause's code records (the words after its head
// arguments' that are positive small integers), each once, with the
// clause's entries.
void push_static_coverage(lv_worker* w, lv_term_ref list, lv_pred* p) {
  auto* clauses = static_cast<lv_clause_list*>(p->definition);
  if (clauses == nullptr || clauses->head == nullptr) return;
  lv_counter_object* c = counters_of(p);
  int64_t number = 0;
  for (lv_code_block* b = clauses->head;; b = b->next) {
    number++;
    const uint64_t* source = b->side_table;
    if (source != nullptr && lv_is_atom(b->source_key)) {
      uint64_t entries = clause_entries(c, b);
      uint64_t words = source[0] / 8;
      for (uint64_t i = 1 + static_cast<uint64_t>(p->arity); i < words; i++) {
        lv_term line = source[i];
        if (!lv_is_small(line) || lv_small_value(line) <= 0) continue;
        bool seen = false;
        for (uint64_t j = 1 + static_cast<uint64_t>(p->arity); j < i && !seen; j++) seen = source[j] == line;
        if (!seen) push_coverage(w, list, b->source_key, p, number, lv_small_value(line), entries);
      }
    }
    if (b == clauses->tail || b->next == nullptr) break;
  }
}

}  // namespace

int prolog_reset_counters(lv_worker*) {
  // Copies and importers share their object with a home record: their
  // fields are cleared first, each object is then freed once.
  lv_module* prolog = lv_prolog_module();
  if (prolog->prolog_copy_table != nullptr) {
    lv_hash_entry* e = lv_keytab_entries(prolog->prolog_copy_table);
    for (uint64_t i = 0; i < lv_keytab_capacity(prolog->prolog_copy_table); i++)
      if (e[i].key != 0 && e[i].value != 0) reinterpret_cast<lv_pred*>(e[i].value)->counters = nullptr;
  }
  for_each_record([](lv_pred* p) {
    if (!home_record(p) || p->counters == nullptr) return;
    lv_free_counter_object(counters_of(p));
    p->counters = nullptr;
    update_exports(p, lv_definition_type(p));
    if (lv_definition_type(p) == LV_DEF_DYNAMIC) for_each_dynamic_clause(p, [](lv_db_clause* c) { lv_free_key_tree(&c->instances); });
  });
  return 1;
}

int prolog_get_counters(lv_worker* w) {
  lv_term_ref refs = LV_new_term_refs(3);
  const lv_term_ref argument = refs, list = refs + 1, sites = refs + 2;
  lv_term_ref_cell(w, argument) = w->X[0];
  lv_term_ref_cell(w, list) = LV_ATOM_NIL;
  for_each_record([&](lv_pred* p) {
    lv_counter_object* c = counters_of(p);
    if (!home_record(p) || c == nullptr) return;
    lv_term_ref_cell(w, sites) = LV_ATOM_NIL;
    push_sites(w, p, c, sites);
    room(w, 6 + 6 + 6 + 5 + 5 + 3 + 2);
    lv_term calls = count_term(w, c->calls);
    lv_term instructions = lv_make_integer(w, static_cast<int64_t>(c->instructions));
    lv_term choices = lv_make_integer(w, static_cast<int64_t>(c->choices));
    lv_term* cell = w->H;
    cell[0] = lv_make_functor(atom("counter"), 4);
    cell[1] = lv_term_ref_cell(w, sites);
    cell[2] = instructions;
    cell[3] = choices;
    cell[4] = calls;
    w->H = cell + 5;
    lv_term spec = lv_pred_spec_term(w, p);
    lv_code_terms_push(w, list, compound2(w, atom("-"), spec, lv_make_struct(cell)));
  });
  int ok = cunify(w, lv_term_ref_cell(w, argument), lv_term_ref_cell(w, list));
  LV_reset_term_refs(refs);
  return ok;
}

int prolog_get_coverage(lv_worker* w) {
  lv_term_ref refs = LV_new_term_refs(2);
  const lv_term_ref argument = refs, list = refs + 1;
  lv_term_ref_cell(w, argument) = w->X[0];
  lv_term_ref_cell(w, list) = LV_ATOM_NIL;
  for_each_record([&](lv_pred* p) {
    if (!home_record(p)) return;
    uint32_t type = lv_definition_type(p);
    if (type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED) {
      push_static_coverage(w, list, p);
      return;
    }
    if (type != LV_DEF_DYNAMIC) return;
    lv_counter_object* c = counters_of(p);
    for (uint64_t i = 0; c != nullptr && c->table != nullptr && i < lv_keytab_capacity(c->table); i++) {
      lv_hash_entry e = lv_keytab_entries(c->table)[i];
      if (e.key == 0 || e.value == 0 || (e.key & 1) != 0) continue;
      const auto* r = reinterpret_cast<const lv_instance_record*>(e.key);
      if (r->line < 0 || r->clause == nullptr) continue;
      push_coverage(w, list, file_term(r->clause), p, clause_number(r->clause), r->line, e.value);
    }
    // Every line the clauses' tables know, so that lines never run show.
    int64_t number = 0;
    for_each_dynamic_clause(p, [&](lv_db_clause* clause) {
      number++;
      const auto* table = static_cast<const uint64_t*>(clause->positions);
      uint64_t n = 0, area_words = 0;
      const uint64_t* area = nullptr;
      if (table == nullptr || !lv_source_table_shape(table, &n, &area, &area_words)) return;
      for (uint64_t k = 1; k <= n; k++) {
        int64_t line = lv_source_entry_line(table, k);
        if (line >= 0) push_coverage(w, list, file_term(clause), p, number, line, 0);
      }
    });
  });
  int ok = cunify(w, lv_term_ref_cell(w, argument), lv_term_ref_cell(w, list));
  LV_reset_term_refs(refs);
  return ok;
}
