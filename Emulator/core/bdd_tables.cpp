// The decision-diagram tables: entering, finding, cutting back, rebuilding.
//
// A cut-back is lazy: an entry whose term lay above the heap top while no
// lookup happened can outlive the memory it names. Such an entry is only
// ever matched through the four words now at its address, so it can only
// answer a lookup when those words are the very term looked for.
#include "core/bdd_tables.h"

#include <cstring>

#include "core/memory.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_BDD_HASH);

uint64_t table_bytes(uint64_t capacity) { return sizeof(lv_bdd_table) + capacity * sizeof(lv_bdd_entry); }

lv_bdd_table* new_table(uint64_t capacity) {
  uint64_t bytes = table_bytes(capacity);
  lv_bdd_table* t = static_cast<lv_bdd_table*>(lv_mem_alloc(bytes, TABLE_FLAGS));
  std::memset(t, 0, bytes);
  t->mask = capacity - 1;
  return t;
}

void set_list(lv_worker* w, unsigned kind, lv_bdd_entry* head) { w->bdd_lists[kind] = reinterpret_cast<lv_term*>(head); }

// The four words an entry's term is matched and hashed by: the term's own
// for nodes and keys, the node's for a substitution pair.
const lv_term* key_cells(unsigned kind, lv_term term) {
  if (kind == LV_BDD_SUBST) return lv_struct_cells(lv_list_cells(term)[0]);
  return lv_struct_cells(term);
}

uint64_t key_hash(const lv_term* c) { return lv_bdd_hash(c[0], c[1], c[2], c[3]); }

bool heap_struct(const lv_worker* w, lv_term t, lv_term functor, lv_term other) {
  if (!lv_is_struct(t)) return false;
  const lv_term* c = lv_struct_cells(t);
  return c >= w->area_start && c + 4 <= w->H && (c[0] == functor || c[0] == other);
}

// Whether an entry's term is still of its table's kind; a rebuild drops
// those that are not (their memory has been reused).
bool still_of_kind(const lv_worker* w, unsigned kind, lv_term term) {
  switch (kind) {
    case LV_BDD_NODES:
      return heap_struct(w, term, LV_FUNCTOR_BDD_POS, LV_FUNCTOR_BDD_NEG);
    case LV_BDD_MEMO:
      return heap_struct(w, term, LV_FUNCTOR_BDD_KEY, LV_FUNCTOR_BDD_KEY);
    default: {
      if (!lv_is_list(term)) return false;
      const lv_term* c = lv_list_cells(term);
      return c >= w->area_start && c + 2 <= w->H && heap_struct(w, c[0], LV_FUNCTOR_BDD_POS, LV_FUNCTOR_BDD_NEG);
    }
  }
}

lv_term* term_address(lv_term term) { return reinterpret_cast<lv_term*>(term & ~LV_TAG_MASK); }

// The entry matching match(entry), or the empty entry where it would go.
template <typename M>
lv_bdd_entry* probe(lv_bdd_table* t, uint64_t hash, M match) {
  lv_bdd_entry* entries = lv_bdd_entries(t);
  for (uint64_t i = hash & t->mask, step = 1;; i = (i + step++) & t->mask) {
    lv_bdd_entry* e = &entries[i];
    if (e->term == 0 || (e->hash == hash && match(e))) return e;
  }
}

bool same_words(const lv_bdd_entry* e, lv_term f, lv_term a1, lv_term a2, lv_term a3) {
  const lv_term* c = lv_struct_cells(e->term);
  return c[0] == f && c[1] == a1 && c[2] == a2 && c[3] == a3;
}

// A substitution entry matches on its whole pair: a stale entry whose place
// now holds the same node word followed by another value is no match, and
// one that matches hands out the value the pair holds now.
bool pair_is(const lv_bdd_entry* e, lv_term node) {
  const lv_term* c = lv_list_cells(e->term);
  return c[0] == node && c[1] == e->value;
}

void enter(lv_worker* w, unsigned kind, lv_bdd_entry* slot, uint64_t hash, lv_term term, lv_term value) {
  *slot = {hash, term, value, lv_bdd_list(w, kind)};
  set_list(w, kind, slot);
  lv_bdd_table_of(w, kind)->count++;
}

// Doubles the table when one more entry would make it too full.
bool grow_for_one_more(lv_worker* w, unsigned kind) {
  lv_bdd_table* t = lv_bdd_table_of(w, kind);
  if (t->count * 2 + 2 <= t->mask) return false;
  lv_bdd_rebuild(w, kind, (t->mask + 1) * 2, nullptr, nullptr);
  return true;
}

// Pushes a structure of a functor and three arguments on the heap.
lv_term push_four(lv_worker* w, lv_term f, lv_term a1, lv_term a2, lv_term a3) {
  lv_term* h = w->H;
  h[0] = f;
  h[1] = a1;
  h[2] = a2;
  h[3] = a3;
  w->H = h + 4;
  return lv_make_struct(h);
}

lv_bdd_entry* find_four(lv_worker* w, unsigned kind, lv_term f, lv_term a1, lv_term a2, lv_term a3) {
  lv_bdd_cut_back(w, kind);
  uint64_t hash = lv_bdd_hash(f, a1, a2, a3);
  return probe(lv_bdd_table_of(w, kind), hash, [&](const lv_bdd_entry* e) { return same_words(e, f, a1, a2, a3); });
}

void add_four(lv_worker* w, unsigned kind, lv_term f, lv_term a1, lv_term a2, lv_term a3, bool value_is_term,
              lv_term value) {
  grow_for_one_more(w, kind);
  uint64_t hash = lv_bdd_hash(f, a1, a2, a3);
  lv_bdd_entry* slot =
      probe(lv_bdd_table_of(w, kind), hash, [&](const lv_bdd_entry* e) { return same_words(e, f, a1, a2, a3); });
  lv_term term = push_four(w, f, a1, a2, a3);
  enter(w, kind, slot, hash, term, value_is_term ? term : value);
}

}  // namespace

void lv_bdd_tables_new(lv_worker* w) {
  for (unsigned kind = 0; kind < 3; kind++) {
    w->bdd_tables[kind] = new_table(LV_BDD_INITIAL_CAPACITY);
    set_list(w, kind, nullptr);
  }
  w->bdd_node_count = 0;
}

void lv_bdd_tables_free(lv_worker* w) {
  for (unsigned kind = 0; kind < 3; kind++) {
    lv_bdd_table* t = lv_bdd_table_of(w, kind);
    if (t != nullptr) lv_mem_free(t, table_bytes(t->mask + 1), TABLE_FLAGS);
    w->bdd_tables[kind] = nullptr;
    set_list(w, kind, nullptr);
  }
}

void lv_bdd_cut_back(lv_worker* w, unsigned kind) { lv_bdd_cut_back_to(w, kind, w->H); }

void lv_bdd_cut_back_to(lv_worker* w, unsigned kind, const lv_term* limit) {
  lv_bdd_table* t = lv_bdd_table_of(w, kind);
  lv_bdd_entry* e = lv_bdd_list(w, kind);
  while (e != nullptr && term_address(e->term) >= limit) {
    lv_bdd_entry* next = e->next;
    *e = {};
    t->count--;
    e = next;
  }
  set_list(w, kind, e);
}

lv_term lv_bdd_node(lv_worker* w, lv_term functor, lv_term var, lv_term low, lv_term high) {
  lv_bdd_entry* e = find_four(w, LV_BDD_NODES, functor, var, low, high);
  if (e->term != 0) return e->term;
  add_four(w, LV_BDD_NODES, functor, var, low, high, true, 0);
  return lv_bdd_list(w, LV_BDD_NODES)->term;
}

void lv_bdd_enter_node(lv_worker* w, lv_term node) {
  const lv_term* c = lv_struct_cells(node);
  grow_for_one_more(w, LV_BDD_NODES);
  uint64_t hash = key_hash(c);
  lv_bdd_entry* slot = probe(lv_bdd_table_of(w, LV_BDD_NODES), hash,
                             [&](const lv_bdd_entry* e) { return same_words(e, c[0], c[1], c[2], c[3]); });
  if (slot->term == 0) enter(w, LV_BDD_NODES, slot, hash, node, node);
}

lv_bdd_entry* lv_bdd_memo_find(lv_worker* w, lv_term a, lv_term b, lv_term c) {
  lv_bdd_entry* e = find_four(w, LV_BDD_MEMO, LV_FUNCTOR_BDD_KEY, a, b, c);
  return e->term != 0 ? e : nullptr;
}

void lv_bdd_memo_add(lv_worker* w, lv_term a, lv_term b, lv_term c, lv_term value) {
  add_four(w, LV_BDD_MEMO, LV_FUNCTOR_BDD_KEY, a, b, c, false, value);
}

lv_bdd_entry* lv_bdd_subst_find(lv_worker* w, lv_term node) {
  lv_bdd_cut_back(w, LV_BDD_SUBST);
  uint64_t hash = key_hash(lv_struct_cells(node));
  lv_bdd_entry* e = probe(lv_bdd_table_of(w, LV_BDD_SUBST), hash, [&](const lv_bdd_entry* x) { return pair_is(x, node); });
  return e->term != 0 ? e : nullptr;
}

void lv_bdd_subst_add(lv_worker* w, lv_term node, lv_term value) {
  grow_for_one_more(w, LV_BDD_SUBST);
  uint64_t hash = key_hash(lv_struct_cells(node));
  lv_bdd_entry* slot = probe(lv_bdd_table_of(w, LV_BDD_SUBST), hash, [&](const lv_bdd_entry* x) { return pair_is(x, node); });
  lv_term* h = w->H;
  h[0] = node;
  h[1] = value;
  w->H = h + 2;
  enter(w, LV_BDD_SUBST, slot, hash, lv_make_list(h), value);
}

void lv_bdd_subst_clear(lv_worker* w) {
  lv_bdd_table* t = lv_bdd_table_of(w, LV_BDD_SUBST);
  std::memset(lv_bdd_entries(t), 0, (t->mask + 1) * sizeof(lv_bdd_entry));
  t->count = 0;
  set_list(w, LV_BDD_SUBST, nullptr);
}

void lv_bdd_rebuild(lv_worker* w, unsigned kind, uint64_t capacity, lv_bdd_keep keep, void* data) {
  lv_bdd_table* old = lv_bdd_table_of(w, kind);
  // Oldest first: turn the creation list round.
  lv_bdd_entry* oldest = nullptr;
  for (lv_bdd_entry* e = lv_bdd_list(w, kind); e != nullptr;) {
    lv_bdd_entry* next = e->next;
    e->next = oldest;
    oldest = e;
    e = next;
  }
  w->bdd_tables[kind] = new_table(capacity);
  set_list(w, kind, nullptr);
  for (lv_bdd_entry* e = oldest; e != nullptr; e = e->next) {
    if (keep != nullptr && !keep(w, kind, e, data)) continue;
    if (!still_of_kind(w, kind, e->term)) continue;
    uint64_t hash = key_hash(key_cells(kind, e->term));
    lv_term term = e->term;
    lv_bdd_entry* slot = probe(lv_bdd_table_of(w, kind), hash, [&](const lv_bdd_entry* x) {
      return x->term == term || (kind != LV_BDD_SUBST && std::memcmp(lv_struct_cells(x->term), lv_struct_cells(term), 32) == 0);
    });
    if (slot->term != 0) continue;  // a duplicate: the older entry stays
    enter(w, kind, slot, hash, term, e->value);
  }
  lv_mem_free(old, table_bytes(old->mask + 1), TABLE_FLAGS);
}
