// Hash dictionaries over one-dimensional arrays. Keys are found by open
// addressing from their hash; a deleted entry keeps its key, so that the
// probe sequences through it stay intact, and its value becomes '$uninit'.
// Put, delete and clear rebuild the dictionary when its capacity no longer
// suits the live entries, or when it is older than the newest choicepoint
// (it is then copied, so that backtracking finds the old one unchanged).
#include "core/dict_builtins.h"

#include "core/array_terms.h"
#include "core/bind.h"
#include "core/hashtab.h"
#include "core/predefined_atoms.h"
#include "core/term_compare.h"
#include "core/term_hash.h"
#include "core/term_walks.h"
#include "core/unify.h"

namespace {

constexpr lv_term ATOM_DICT = lv_predefined_atom(28);
constexpr lv_term ATOM_MINUS = lv_predefined_atom(7);

// Words of a dictionary from its functor word.
constexpr unsigned USED = 5, LIVE = 7, CAPACITY = 9;
inline lv_term* slot_key(lv_term* d, uint64_t k) { return &d[11 + 4 * k]; }
inline lv_term* slot_value(lv_term* d, uint64_t k) { return &d[13 + 4 * k]; }
inline uint64_t dict_words(uint64_t capacity) { return 4 * capacity + 11; }
inline int64_t count(const lv_term* d, unsigned word) { return lv_small_value(d[word]); }
inline uint64_t capacity_of(const lv_term* d) { return static_cast<uint64_t>(lv_small_value(d[CAPACITY])); }

// The cells of a dictionary, or null. An array can be made of any
// elements, so the counts are checked too: 0 <= live <= used <= C, which
// the capacity rule and the probes rely on.
lv_term* dict_cells(const lv_worker* w, lv_term t) {
  uint64_t n;
  lv_term* d = lv_array_cells(w, t, &n);
  if (d == nullptr || n < 4 || d[3] != ATOM_DICT) return nullptr;
  lv_term c = d[CAPACITY], used = d[USED], live = d[LIVE];
  if (!lv_is_small(c) || !lv_is_small(used) || !lv_is_small(live)) return nullptr;
  int64_t cap = lv_small_value(c);
  if (cap < 2 || (cap & (cap - 1)) != 0 || n != 2 * static_cast<uint64_t>(cap) + 4) return nullptr;
  if (lv_small_value(live) < 0 || lv_small_value(live) > lv_small_value(used) || lv_small_value(used) > cap)
    return nullptr;
  return d;
}

// A key's hash: a small integer hashes to its value, anything else to its
// lookup3 term hash. A key holding an unbound variable has no hash (the walk
// abandons it), nor does a cyclic one; such keys are never found or stored:
// the built-ins fail on them.
bool key_hash(lv_worker* w, lv_term key, uint64_t* hash) {
  key = lv_deref(key);
  if (lv_is_small(key)) {
    *hash = static_cast<uint64_t>(lv_small_value(key));
    return true;
  }
  if (lv_is_ref(key)) return false;
  if (lv_is_compound(key)) {
    bool acyclic = lv_term_acyclic_walk(w, key);
    lv_term_unmark_walk(w, key);
    if (!acyclic) return false;
  }
  lv_term_hash_mode = 1;
  uint32_t h = lv_term_hash_walk(key, -1, 0, lv_hash_lookup3);
  if (lv_term_hash_mode == 0) return false;
  *hash = h;
  return true;
}

bool same_key(lv_worker* w, lv_term stored, lv_term key) {
  stored = lv_deref(stored);
  if (stored == key) return true;
  // Compound keys and boxed numbers are equal when they compare equal: two
  // equal floats in different boxes are one key.
  if (!lv_is_struct(key) && !lv_is_list(key)) return false;
  return lv_compare_terms(w, stored, key) == 0;
}

// The slot where the probe for a key stops: the key's own slot, an empty
// slot, or -1 when C probes found neither. Positions are taken modulo C on
// the unsigned hash, so negative integer keys probe like any other.
int64_t probe(lv_worker* w, lv_term* d, lv_term key, uint64_t hash) {
  uint64_t c = capacity_of(d);
  for (uint64_t i = 0; i < c; i++) {
    uint64_t k = (hash + i) & (c - 1);
    lv_term stored = *slot_key(d, k);
    if (stored == LV_ATOM_UNINIT || same_key(w, stored, key)) return static_cast<int64_t>(k);
  }
  return -1;
}

// The slot of a live entry of the key, or -1.
int64_t find_live(lv_worker* w, lv_term* d, lv_term key, uint64_t hash) {
  int64_t k = probe(w, d, key, hash);
  if (k < 0 || *slot_key(d, static_cast<uint64_t>(k)) == LV_ATOM_UNINIT) return -1;
  if (*slot_value(d, static_cast<uint64_t>(k)) == LV_ATOM_UNINIT) return -1;
  return k;
}

lv_term* build_empty(lv_worker* w, uint64_t capacity) {
  lv_term* d = lv_array_build(w, 2 * capacity + 4);
  d[3] = ATOM_DICT;
  d[USED] = lv_make_small(0);
  d[LIVE] = lv_make_small(0);
  d[CAPACITY] = lv_make_small(static_cast<int64_t>(capacity));
  for (uint64_t k = 0; k < capacity; k++) *slot_key(d, k) = *slot_value(d, k) = LV_ATOM_UNINIT;
  return d;
}

// The dictionary a change works on (shared by put, delete and clear): the
// one in X0 when its capacity suits live + change and no choicepoint sees
// it, else a new one holding the live entries except the slot `skip` (-1:
// none; clear passes keep = false). *rebuilt tells which. X0..X(live-1) are
// kept while room is made.
lv_term* dict_rebuild(lv_worker* w, int64_t change, int64_t skip, bool keep, bool force, unsigned live_regs,
                      bool* rebuilt) {
  lv_term* d = dict_cells(w, w->X[0]);
  uint64_t wanted = static_cast<uint64_t>(count(d, LIVE) + change);
  uint64_t capacity = lv_hash_capacity(wanted);
  *rebuilt = force || capacity != capacity_of(d) || !lv_younger_than_choice(w, d);
  if (!*rebuilt) return d;
  lv_heap_room(w, static_cast<int64_t>(dict_words(capacity)), live_regs);
  d = dict_cells(w, w->X[0]);
  lv_term* fresh = build_empty(w, capacity);
  if (!keep) return fresh;
  int64_t entries = 0;
  for (uint64_t k = 0; k < capacity_of(d); k++) {
    lv_term key = *slot_key(d, k), value = *slot_value(d, k);
    if (key == LV_ATOM_UNINIT || value == LV_ATOM_UNINIT || static_cast<int64_t>(k) == skip) continue;
    uint64_t hash = 0;
    key_hash(w, key, &hash);
    int64_t to = probe(w, fresh, lv_deref(key), hash);
    *slot_key(fresh, static_cast<uint64_t>(to)) = key;
    *slot_value(fresh, static_cast<uint64_t>(to)) = value;
    entries++;
  }
  fresh[USED] = fresh[LIVE] = lv_make_small(entries);
  return fresh;
}

int result(lv_worker* w, unsigned reg, lv_term* d, bool rebuilt) {
  return cunify(w, w->X[reg], rebuilt ? lv_make_struct(d) : LV_ATOM_NIL);
}

}  // namespace

int prolog_array1d_dict_new(lv_worker* w) {
  lv_heap_room(w, static_cast<int64_t>(dict_words(2)), 1);
  return cunify(w, w->X[0], lv_make_struct(build_empty(w, 2)));
}

int prolog_array1d_dict_get(lv_worker* w) {
  lv_term* d = dict_cells(w, w->X[0]);
  lv_term key = lv_deref(w->X[1]);
  lv_term value = lv_deref(w->X[2]);
  uint64_t hash;
  if (d == nullptr || !lv_is_ref(value) || !key_hash(w, key, &hash)) return 0;
  int64_t k = find_live(w, d, key, hash);
  if (k < 0) return 0;
  lv_bind_term(w, value, lv_deref(*slot_value(d, static_cast<uint64_t>(k))));
  return 1;
}

int prolog_array1d_dict_put(lv_worker* w) {
  lv_term* d = dict_cells(w, w->X[0]);
  uint64_t hash;
  if (d == nullptr || !key_hash(w, w->X[1], &hash)) return 0;
  lv_term key = lv_deref(w->X[1]);
  // '$uninit' marks empty keys and deleted values: stored, it would read as
  // no entry while the counts had one more.
  if (key == LV_ATOM_UNINIT || lv_deref(w->X[2]) == LV_ATOM_UNINIT) return 0;
  bool adds = find_live(w, d, key, hash) < 0;
  // A dictionary whose key slots are all taken by live and deleted keys has
  // no place for a new key: it is rebuilt, which drops the deleted ones.
  bool full = adds && probe(w, d, key, hash) < 0;
  bool rebuilt;
  d = dict_rebuild(w, adds ? 1 : 0, -1, true, full, 4, &rebuilt);
  key = lv_deref(w->X[1]);
  uint64_t k = static_cast<uint64_t>(probe(w, d, key, hash));
  if (*slot_key(d, k) == LV_ATOM_UNINIT) {
    *slot_key(d, k) = key;
    d[USED] = lv_make_small(count(d, USED) + 1);
    d[LIVE] = lv_make_small(count(d, LIVE) + 1);
  } else if (*slot_value(d, k) == LV_ATOM_UNINIT) {
    d[LIVE] = lv_make_small(count(d, LIVE) + 1);
  }
  lv_array_store(w, slot_value(d, k), w->X[2]);
  return result(w, 3, d, rebuilt);
}

int prolog_array1d_dict_delete(lv_worker* w) {
  lv_term* d = dict_cells(w, w->X[0]);
  uint64_t hash;
  if (d == nullptr || !key_hash(w, w->X[1], &hash)) return 0;
  int64_t k = find_live(w, d, lv_deref(w->X[1]), hash);
  bool rebuilt;
  d = dict_rebuild(w, k >= 0 ? -1 : 0, k, true, false, 3, &rebuilt);
  if (!rebuilt && k >= 0) {
    *slot_value(d, static_cast<uint64_t>(k)) = LV_ATOM_UNINIT;
    d[LIVE] = lv_make_small(count(d, LIVE) - 1);
  }
  return result(w, 2, d, rebuilt);
}

int prolog_array1d_dict_clear(lv_worker* w) {
  lv_term* d = dict_cells(w, w->X[0]);
  if (d == nullptr) return 0;
  bool rebuilt;
  d = dict_rebuild(w, -count(d, LIVE), -1, false, false, 2, &rebuilt);
  if (!rebuilt) {
    for (uint64_t k = 0; k < capacity_of(d); k++) *slot_key(d, k) = *slot_value(d, k) = LV_ATOM_UNINIT;
    d[USED] = d[LIVE] = lv_make_small(0);
  }
  return result(w, 1, d, rebuilt);
}

int prolog_array1d_dict_items(lv_worker* w) {
  lv_term* d = dict_cells(w, w->X[0]);
  if (d == nullptr || !lv_is_ref(lv_deref(w->X[1]))) return 0;
  lv_heap_room(w, 5 * count(d, LIVE), 2);
  d = dict_cells(w, w->X[0]);
  lv_term items = LV_ATOM_NIL;
  for (uint64_t k = 0; k < capacity_of(d); k++) {
    lv_term key = *slot_key(d, k), value = *slot_value(d, k);
    if (key == LV_ATOM_UNINIT || value == LV_ATOM_UNINIT) continue;
    lv_term* h = w->H;
    h[0] = lv_make_functor(ATOM_MINUS, 2);
    h[1] = key;
    h[2] = value;
    h[3] = lv_make_struct(h);
    h[4] = items;
    items = lv_make_list(&h[3]);
    w->H = h + 5;
  }
  lv_bind_term(w, lv_deref(w->X[1]), items);
  return 1;
}
