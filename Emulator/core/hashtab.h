// Open-addressed hash tables: word tables (a word key to a word value, probed
// by the key's own bits), keyed switch tables (a tagged-word key to a word
// value, probed by a hash of the key; empty entries hold the table's default
// value) and generic tables (pointer keys with a caller-supplied hash and
// comparison). Capacities are powers of two; probing is triangular; a table
// grows when more than three quarters full. All live in category
// "sw_on_key:".
#pragma once

#include <cstdint>

struct lv_hash_entry {
  uint64_t key;  // 0 = empty
  uint64_t value;
};

// Word tables and keyed switch tables share this block layout: the header
// is followed by (mask / 16 + 1) entries.
struct lv_keytab {
  uint64_t mask;   // (capacity - 1) * 16: a byte mask over the entries
  uint64_t count;  // keys stored, including those whose value was cleared
};
static_assert(sizeof(lv_keytab) == 16 && sizeof(lv_hash_entry) == 16);

inline lv_hash_entry* lv_keytab_entries(lv_keytab* t) { return reinterpret_cast<lv_hash_entry*>(t + 1); }
inline uint64_t lv_keytab_capacity(const lv_keytab* t) { return t->mask / 16 + 1; }

// Thomas Wang's 64-bit integer hash.
inline uint64_t lv_hash_word(uint64_t key) {
  uint64_t h = key * ((uint64_t{1} << 21) - 1) - 1;
  h ^= h >> 24;
  h *= 265;
  h ^= h >> 14;
  h *= 21;
  h ^= h >> 28;
  h *= (uint64_t{1} << 31) + 1;
  return h;
}

// The capacity for a wanted count: the smallest 4 * 2^k with 3 * 2^k >= n.
uint64_t lv_hash_capacity(uint64_t wanted);

// Word tables.
lv_keytab* lv_wordtab_new(uint64_t capacity);
lv_hash_entry* lv_wordtab_find(lv_keytab* table, uint64_t key);
lv_hash_entry* lv_wordtab_insert(lv_keytab** cell, uint64_t key);
void lv_wordtab_free(lv_keytab* table);
void lv_hash_rebuild(lv_keytab** cell, lv_hash_entry* inserted);

// Keyed switch tables.
lv_keytab* new_switch_on_key(uint64_t capacity, uint64_t default_value);
lv_hash_entry* incore_gethash(lv_keytab* table, uint64_t key);
lv_hash_entry* dyn_puthash(lv_keytab** cell, uint64_t key);
void dispose_switch_on_key(lv_keytab* table);
bool lv_keyhash_over_limit(const lv_keytab* table);
void lv_keyhash_rehash(lv_keytab** cell, uint64_t empty_value, lv_hash_entry* inserted);

// Generic tables.
typedef int (*lv_hash_compare)(const void* stored_key, const void* key, void* user);

struct lv_hash_gentry {
  const void* key;  // null = free
  uint64_t hash;    // for a free entry: 0 never used, LV_HASH_DELETED deleted
  void* value;
};

struct lv_hashtab {
  uint64_t mask;   // capacity - 1
  uint64_t count;  // entries in use, deleted ones included
  lv_hash_compare compare;
  void* user;
};
static_assert(sizeof(lv_hashtab) == 32 && sizeof(lv_hash_gentry) == 24);

constexpr uint64_t LV_HASH_DELETED = 0xDE1E7ED;

inline lv_hash_gentry* lv_hash_entries(lv_hashtab* t) { return reinterpret_cast<lv_hash_gentry*>(t + 1); }

typedef int (*lv_hash_visit)(lv_hash_gentry* entry, void* arg, void* user, uint64_t ordinal);

lv_hashtab* lv_hash_new(uint64_t wanted, lv_hash_compare compare, void* user);
lv_hash_gentry* lv_hash_lookup(lv_hashtab* table, const void* key, uint64_t hash);
lv_hash_gentry* lv_hash_insert(lv_hashtab** cell, const void* key, uint64_t hash);
void lv_hash_delete_entry(lv_hashtab* table, lv_hash_gentry* entry);
int lv_hash_foreach(lv_hashtab* table, lv_hash_visit visit, void* arg);
void lv_hash_free(lv_hashtab* table);
