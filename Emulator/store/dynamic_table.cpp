// The clause table of a dynamic predicate: attaching, detaching, erasing.
#include "store/dynamic_table.h"

#include <initializer_list>

#include "core/fault.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "store/db_generations.h"
#include "store/dbref_table.h"
#include "store/instance_records.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_INT_INFO);
constexpr uint32_t SOURCE_FLAGS = lv_mem_flags(LV_CAT_SOURCE_INFO);

// A large number's key is its box header word: negative, with an atom's low
// bits (a negative small integer is a key word of its own).
bool large_key(lv_term key) { return lv_is_box_header(key) && lv_is_atom(key); }

uint64_t link_of(lv_db_clause* c) { return reinterpret_cast<uint64_t>(c); }
uint64_t end_link(lv_db_clause* first) { return reinterpret_cast<uint64_t>(first) | 1; }

int large_compare(const void* stored, const void* key, void*) {
  return lv_box_equal(static_cast<const lv_term*>(stored), static_cast<const lv_term*>(key));
}

// Ring of clauses linked through (next, prev) or (key_next, key_prev):
// appends or prepends c to the ring headed by *head.
template <uint64_t lv_db_clause::*NEXT, uint64_t lv_db_clause::*PREV>
void ring_link(lv_db_clause** head, lv_db_clause* c, bool at_front) {
  lv_db_clause* first = *head;
  if (first == nullptr) {
    c->*NEXT = end_link(c);
    c->*PREV = link_of(c);
    *head = c;
    return;
  }
  lv_db_clause* last = lv_link_clause(first->*PREV);
  c->*PREV = link_of(last);
  if (at_front) {
    c->*NEXT = link_of(first);
    first->*PREV = link_of(c);
    // The last clause's end word names the new first.
    last->*NEXT = end_link(c);
    *head = c;
  } else {
    c->*NEXT = end_link(first);
    last->*NEXT = link_of(c);
    first->*PREV = link_of(c);
  }
}

// Unlinks c from the ring headed by *head.
template <uint64_t lv_db_clause::*NEXT, uint64_t lv_db_clause::*PREV>
void ring_unlink(lv_db_clause** head, lv_db_clause* c) {
  lv_db_clause* first = *head;
  lv_db_clause* last = lv_link_clause(first->*PREV);
  if (c == first && c == last) {
    *head = nullptr;
    return;
  }
  if (c == first) {
    lv_db_clause* second = lv_link_clause(c->*NEXT);
    second->*PREV = link_of(last);
    last->*NEXT = end_link(second);
    *head = second;
    return;
  }
  lv_db_clause* before = lv_link_clause(c->*PREV);
  before->*NEXT = c->*NEXT;
  if (c == last) {
    first->*PREV = link_of(before);
  } else {
    lv_link_clause(c->*NEXT)->*PREV = link_of(before);
  }
}

void table_link(lv_dynamic_clause_table* t, lv_db_clause* c, bool at_front) {
  ring_link<&lv_db_clause::next, &lv_db_clause::prev>(&t->first, c, at_front);
}
void key_link(lv_db_clause** head, lv_db_clause* c, bool at_front) {
  ring_link<&lv_db_clause::key_next, &lv_db_clause::key_prev>(head, c, at_front);
}

// Where the head of c's key chain is kept. For the key table and the large
// table the chain head lives in a table entry; *entry/*large receive it.
void link_into_key_chain(lv_dynamic_clause_table* t, lv_db_clause* c, bool at_front) {
  lv_term key = c->key;
  if (key == 0) {
    key_link(&t->var_chain, c, at_front);
  } else if (key == LV_FUNCTOR_DOT_2) {
    key_link(&t->list_chain, c, at_front);
  } else if (large_key(key)) {
    const lv_term* box = lv_clause_box_key(c);
    if (t->large_table == nullptr) t->large_table = lv_hash_new(2, large_compare, nullptr);
    uint64_t hash = lv_term_key_hash(box);
    lv_hash_gentry* e = lv_hash_lookup(t->large_table, box, hash);
    if (e == nullptr || e->key == nullptr) e = lv_hash_insert(&t->large_table, box, hash);
    lv_db_clause* head = static_cast<lv_db_clause*>(e->value);
    key_link(&head, c, at_front);
    e->value = head;
    // The entry's key is the box of its chain's first clause.
    e->key = lv_clause_box_key(head);
  } else {
    lv_hash_entry* e = dyn_puthash(&t->key_table, key);
    lv_db_clause* head = reinterpret_cast<lv_db_clause*>(e->value);
    key_link(&head, c, at_front);
    e->value = reinterpret_cast<uint64_t>(head);
  }
}

void unlink_from_key_chain(lv_dynamic_clause_table* t, lv_db_clause* c) {
  lv_term key = c->key;
  if (key == 0) {
    ring_unlink<&lv_db_clause::key_next, &lv_db_clause::key_prev>(&t->var_chain, c);
  } else if (key == LV_FUNCTOR_DOT_2) {
    ring_unlink<&lv_db_clause::key_next, &lv_db_clause::key_prev>(&t->list_chain, c);
  } else if (large_key(key)) {
    const lv_term* box = lv_clause_box_key(c);
    lv_hash_gentry* e = t->large_table != nullptr ? lv_hash_lookup(t->large_table, box, lv_term_key_hash(box)) : nullptr;
    if (e == nullptr || e->key == nullptr) return;
    lv_db_clause* head = static_cast<lv_db_clause*>(e->value);
    ring_unlink<&lv_db_clause::key_next, &lv_db_clause::key_prev>(&head, c);
    if (head == nullptr) {
      lv_hash_delete_entry(t->large_table, e);
    } else {
      e->value = head;
      e->key = lv_clause_box_key(head);
    }
  } else {
    lv_hash_entry* e = incore_gethash(t->key_table, key);
    if (e == nullptr || e->key != key) return;
    lv_db_clause* head = reinterpret_cast<lv_db_clause*>(e->value);
    ring_unlink<&lv_db_clause::key_next, &lv_db_clause::key_prev>(&head, c);
    e->value = reinterpret_cast<uint64_t>(head);
  }
}

// Numbers the clauses from -(n div 2) upward in table order.
void renumber_seq(lv_dynamic_clause_table* t) {
  int64_t n = 0;
  for (lv_db_clause* c = t->first; c != nullptr; c = lv_clause_next(c)) n++;
  if (n > LV_SMALL_MAX) LV_raise_fault("database node full in assert or record");
  int64_t seq = -(n / 2);
  for (lv_db_clause* c = t->first; c != nullptr; c = lv_clause_next(c)) c->seq = lv_make_small(seq++);
}

// The record that holds a shared definition: an importing record's clauses
// belong to the record of the definition's home module (the exporter's own,
// also when the import goes through another importer), which outlives the
// importers and is the one whose table the store's walks visit.
lv_pred* holder_of(lv_pred* pred) {
  if (pred->import_module == nullptr || pred->import_module == pred->owner_module) return pred;
  for (lv_module* m : {pred->home_module, pred->import_module}) {
    lv_pred* h = lv_lookup_predicate(m, pred->name, static_cast<unsigned>(pred->arity), LV_LOOKUP_FIND);
    if (h != nullptr && h != pred && h->definition == pred->definition && h->import_module == h->owner_module) return h;
  }
  return pred;
}

void attach(lv_pred* pred, lv_db_clause* c, bool at_front) {
  pred = holder_of(pred);
  lv_dynamic_clause_table* t = lv_dynamic_table(pred);
  c->pred = pred;
  c->birth = lv_db.next;
  c->death = LV_GEN_ALIVE;
  lv_db_change();
  if (t->first == nullptr) {
    c->seq = lv_make_small(0);
  } else if (at_front) {
    if (lv_small_value(t->first->seq) == LV_SMALL_MIN) renumber_seq(t);
    c->seq = lv_make_small(lv_small_value(t->first->seq) - 1);
  } else {
    lv_db_clause* last = lv_link_clause(t->first->prev);
    if (lv_small_value(last->seq) == LV_SMALL_MAX) renumber_seq(t);
    c->seq = lv_make_small(lv_small_value(last->seq) + 1);
  }
  table_link(t, c, at_front);
  link_into_key_chain(t, c, at_front);
}

void free_side_records(lv_db_clause* c) {
  if (c->positions != nullptr) {
    lv_mem_free(c->positions, *static_cast<uint64_t*>(c->positions), SOURCE_FLAGS);
    c->positions = nullptr;
  }
  if (c->side_table != nullptr) {
    lv_mem_free(c->side_table, c->side_table[0], SOURCE_FLAGS);
    c->side_table = nullptr;
  }
  lv_free_key_tree(&c->instances);
}

}  // namespace

namespace {

lv_keytab* handed_out;

}  // namespace

void lv_dynamic_refs_init() { handed_out = lv_wordtab_new(16); }

void lv_dynamic_ref_handed_out(const lv_pred* pred) {
  if (handed_out == nullptr) lv_dynamic_refs_init();
  lv_wordtab_insert(&handed_out, reinterpret_cast<uint64_t>(pred))->value = 1;
}

bool lv_dynamic_ref_known(const lv_pred* pred) {
  if (handed_out == nullptr || pred == nullptr) return false;
  lv_hash_entry* e = lv_wordtab_find(handed_out, reinterpret_cast<uint64_t>(pred));
  return e != nullptr && e->key == reinterpret_cast<uint64_t>(pred) && e->value != 0;
}

void lv_dynamic_ref_forget(const lv_pred* pred) {
  if (handed_out == nullptr) return;
  lv_hash_entry* e = lv_wordtab_find(handed_out, reinterpret_cast<uint64_t>(pred));
  if (e != nullptr && e->key == reinterpret_cast<uint64_t>(pred)) e->value = 0;
}

lv_dynamic_clause_table* lv_dynamic_table_new(lv_pred* pred) {
  lv_dynamic_ref_handed_out(pred);
  auto* t = static_cast<lv_dynamic_clause_table*>(lv_mem_alloc(sizeof(lv_dynamic_clause_table), TABLE_FLAGS));
  *t = {nullptr, nullptr, nullptr, new_switch_on_key(2, 0), nullptr};
  return t;
}

void lv_dynamic_table_free(lv_pred* pred) { lv_free_clause_chain(pred); }

const lv_term* lv_clause_box_key(lv_db_clause* c) {
  if (c->pred == nullptr || c->pred->arity == 0) return nullptr;
  const lv_term* cell = nullptr;
  lv_term arg = lv_clause_head_arg(c, 1, &cell);
  if (cell == nullptr || !lv_is_struct(arg) || !lv_is_box_header(cell[0])) return nullptr;
  return cell;
}

uint64_t lv_term_key_hash(const lv_term* box) {
  lv_term header = box[0];
  if (lv_box_is_float(header)) return lv_hash_word(header);
  uint64_t n = lv_box_value_words(header);
  uint64_t h = lv_hash_word(box[1]);
  for (uint64_t i = 2; i <= n; i++) h = lv_hash_word(box[i]) + 31 * h;
  return h;
}

int lv_box_equal(const lv_term* a, const lv_term* b) { return a[0] == b[0] && lv_box_values_equal(a, b); }

lv_term lv_clause_head_arg(lv_db_clause* c, unsigned i, const lv_term** cell) {
  *cell = nullptr;
  lv_term head = lv_clause_root(c)[0];
  if (!lv_is_struct(head)) return 0;
  const lv_term* s = lv_clause_cell(c, head);
  if (lv_is_box_header(s[0]) || lv_functor_arity(s[0]) < i) return 0;
  lv_term v = s[i];
  const lv_term* at = &s[i];
  // Follow stored references; a variable's cell holds its own offset.
  while (lv_is_ref(v)) {
    const lv_term* target = lv_clause_cell(c, v);
    if (target == at) return 0;
    at = target;
    v = *at;
    if (lv_is_box_header(v)) {  // a box stored in place
      *cell = at;
      return lv_make_struct(at);
    }
  }
  if (!lv_is_atomic(v)) *cell = lv_clause_cell(c, v);
  return v;
}

lv_db_clause* lv_key_chain_first(lv_dynamic_clause_table* t, lv_term key, const lv_term* box) {
  if (key == 0) return t->var_chain;
  if (key == LV_FUNCTOR_DOT_2) return t->list_chain;
  if (box != nullptr) {
    if (t->large_table == nullptr) return nullptr;
    lv_hash_gentry* e = lv_hash_lookup(t->large_table, box, lv_term_key_hash(box));
    return e != nullptr && e->key != nullptr ? static_cast<lv_db_clause*>(e->value) : nullptr;
  }
  lv_hash_entry* e = incore_gethash(t->key_table, key);
  return e != nullptr && e->key == key ? reinterpret_cast<lv_db_clause*>(e->value) : nullptr;
}

lv_db_clause* lv_next_live_clause(lv_db_clause* c) {
  while (c != nullptr && !lv_clause_alive(c)) {
    lv_db.skipped_erased++;
    c = lv_clause_next(c);
  }
  return c;
}

void lv_db_attach_clause(lv_pred* pred, lv_db_clause* clause) { attach(pred, clause, false); }
void lv_db_attach_clause_first(lv_pred* pred, lv_db_clause* clause) { attach(pred, clause, true); }

void lv_db_erase(lv_db_clause* c) {
  if (!lv_clause_alive(c)) return;
  c->death = lv_db.next;
  lv_db_change();
  if (lv_db.no_dynamic_choices || c->birth == c->death) {
    lv_db_detach_clause(c, lv_dynamic_table(c->pred));
  } else {
    lv_db_queue_erased(c);
  }
}

void lv_db_detach_clause(lv_db_clause* c, lv_dynamic_clause_table* t) {
  // Without a table (an abolished table freed whole) the links stay as
  // they are.
  if (t != nullptr && c->next != 0) {
    ring_unlink<&lv_db_clause::next, &lv_db_clause::prev>(&t->first, c);
    unlink_from_key_chain(t, c);
  }
  c->next = c->prev = c->key_next = c->key_prev = 0;
  c->seq = 0;
  free_side_records(c);
  lv_release_dbref(lv_block_of(c));
}

void lv_erase_clauses_by_key(lv_pred* pred, lv_term keys) {
  lv_dynamic_clause_table* t = lv_dynamic_table(pred);
  if (t == nullptr) return;
  lv_db_clause* c = lv_next_live_clause(t->first);
  while (c != nullptr) {
    lv_db_clause* after = lv_next_live_clause(lv_clause_next(c));
    for (lv_term l = lv_deref(keys); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) {
      if (lv_deref(lv_list_cells(l)[0]) == c->source_key) {
        lv_db_erase(c);
        break;
      }
    }
    c = after;
  }
}

void lv_free_clause_chain(lv_pred* pred) {
  lv_dynamic_clause_table* t = lv_dynamic_table(pred);
  if (t == nullptr) return;
  // Every live clause is erased. One that no call can have seen goes at
  // once; the others, and those erased before, keep their links, seq and
  // the table, for the calls of the predicate that are still walking it.
  uint32_t death = lv_db.next;
  lv_db_change();
  for (lv_db_clause* c = t->first; c != nullptr;) {
    lv_db_clause* after = lv_clause_next(c);
    if (lv_clause_alive(c)) {
      c->death = death;
      if (lv_db.no_dynamic_choices || c->birth == c->death) {
        lv_db_detach_clause(c, t);
      } else {
        lv_db.waiting++;
      }
    }
    c = after;
  }
  pred->definition = nullptr;
  if (t->first != nullptr) {
    lv_db_keep_abolished(pred, t, death);
    return;
  }
  dispose_switch_on_key(t->key_table);
  if (t->large_table != nullptr) lv_hash_free(t->large_table);
  lv_mem_free(t, sizeof *t, TABLE_FLAGS);
}
