// Open-addressed hash tables.
#include "core/hashtab.h"

#include <cstring>

#include "core/memory.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_SW_ON_KEY);

uint64_t keytab_bytes(uint64_t capacity) { return capacity * 16 + 16; }

lv_keytab* keytab_alloc(uint64_t capacity, uint64_t empty_value) {
  lv_keytab* t = static_cast<lv_keytab*>(lv_mem_alloc(keytab_bytes(capacity), TABLE_FLAGS));
  t->mask = (capacity - 1) * 16;
  t->count = 0;
  lv_hash_entry* e = lv_keytab_entries(t);
  for (uint64_t i = 0; i < capacity; i++) e[i] = {0, empty_value};
  return t;
}

bool over_limit(uint64_t count, uint64_t capacity) {
  return capacity == 2 ? count > 1 : count > capacity - capacity / 4;
}

lv_hash_entry* entry_at(lv_keytab* t, uint64_t offset) {
  return reinterpret_cast<lv_hash_entry*>(reinterpret_cast<char*>(lv_keytab_entries(t)) + offset);
}

// Triangular probe from byte offset h & mask: the entry holding key or the
// first empty entry; null when every entry has been probed.
lv_hash_entry* probe(lv_keytab* t, uint64_t key, uint64_t h) {
  uint64_t mask = t->mask;
  uint64_t capacity = mask / 16 + 1;
  uint64_t offset = h & mask;
  for (uint64_t i = 1; i <= capacity; i++) {
    lv_hash_entry* e = entry_at(t, offset);
    if (e->key == key || e->key == 0) return e;
    offset = (offset + 16 * i) & mask;
  }
  return nullptr;
}

bool keytab_live(const lv_hash_entry* e, const lv_hash_entry* inserted) {
  return e->key != 0 && (e->value != 0 || e == inserted);
}

}  // namespace

uint64_t lv_hash_capacity(uint64_t wanted) {
  uint64_t p = 1;
  while (3 * p < wanted) p <<= 1;
  return 4 * p;
}

// ---------------------------------------------------------------------------
// Word tables.

lv_keytab* lv_wordtab_new(uint64_t capacity) { return keytab_alloc(capacity < 2 ? 2 : capacity, 0); }

lv_hash_entry* lv_wordtab_find(lv_keytab* table, uint64_t key) { return probe(table, key, key); }

lv_hash_entry* lv_wordtab_insert(lv_keytab** cell, uint64_t key) {
  lv_keytab* t = *cell;
  lv_hash_entry* e = probe(t, key, key);
  if (e != nullptr && e->key == key) return e;
  if (e == nullptr) {
    lv_hash_rebuild(cell, nullptr);
    return lv_wordtab_insert(cell, key);
  }
  e->key = key;
  e->value = 0;
  t->count++;
  if (over_limit(t->count, lv_keytab_capacity(t))) {
    lv_hash_rebuild(cell, e);
    e = probe(*cell, key, key);
  }
  return e;
}

void lv_hash_rebuild(lv_keytab** cell, lv_hash_entry* inserted) {
  lv_keytab* old = *cell;
  uint64_t capacity = lv_keytab_capacity(old);
  lv_hash_entry* entries = lv_keytab_entries(old);
  uint64_t live = 0;
  for (uint64_t i = 0; i < capacity; i++)
    if (keytab_live(&entries[i], inserted)) live++;
  lv_keytab* fresh = keytab_alloc(lv_hash_capacity(live), 0);
  for (uint64_t i = capacity; i-- > 0;) {
    if (!keytab_live(&entries[i], inserted)) continue;
    *probe(fresh, entries[i].key, entries[i].key) = entries[i];
  }
  fresh->count = live;
  lv_mem_free(old, keytab_bytes(capacity), TABLE_FLAGS);
  *cell = fresh;
}

void lv_wordtab_free(lv_keytab* table) {
  if (table != nullptr) lv_mem_free(table, keytab_bytes(lv_keytab_capacity(table)), TABLE_FLAGS);
}

// ---------------------------------------------------------------------------
// Keyed switch tables.

lv_keytab* new_switch_on_key(uint64_t capacity, uint64_t default_value) {
  return keytab_alloc(capacity < 2 ? 2 : capacity, default_value);
}

lv_hash_entry* incore_gethash(lv_keytab* table, uint64_t key) {
  lv_hash_entry* e = probe(table, key, lv_hash_word(key));
  if (e != nullptr) return e;
  // Every entry probed: fall back on the first entry without a value.
  lv_hash_entry* entries = lv_keytab_entries(table);
  uint64_t capacity = lv_keytab_capacity(table);
  for (uint64_t i = 0; i < capacity; i++)
    if (entries[i].value == 0) return &entries[i];
  return nullptr;
}

lv_hash_entry* dyn_puthash(lv_keytab** cell, uint64_t key) {
  lv_keytab* t = *cell;
  lv_hash_entry* e = incore_gethash(t, key);
  if (e == nullptr) {
    lv_keyhash_rehash(cell, 0, nullptr);
    return dyn_puthash(cell, key);
  }
  if (e->key == key) return e;
  if (e->key != 0) {
    // A dead entry (value cleared) found by the fall-back: reuse it.
    e->key = key;
    return e;
  }
  e->key = key;
  t->count++;
  if (lv_keyhash_over_limit(t)) {
    lv_keyhash_rehash(cell, 0, e);
    e = incore_gethash(*cell, key);
  }
  return e;
}

void dispose_switch_on_key(lv_keytab* table) { lv_wordtab_free(table); }

bool lv_keyhash_over_limit(const lv_keytab* table) {
  return over_limit(table->count, lv_keytab_capacity(table));
}

// Rebuilds the table in place at the capacity for its live entries. The live
// entries are packed at the front with the lowest bit of each key inverted
// (all keys of a table share that bit, so the inverted bit marks an entry not
// yet placed); then each is placed at its hash position, displacing unplaced
// entries it meets, which are placed in turn.
void lv_keyhash_rehash(lv_keytab** cell, uint64_t empty_value, lv_hash_entry* inserted) {
  lv_keytab* t = *cell;
  uint64_t capacity = lv_keytab_capacity(t);
  lv_hash_entry* entries = lv_keytab_entries(t);
  uint64_t live = 0;
  uint64_t low_bit = 0;
  for (uint64_t i = 0; i < capacity; i++) {
    if (!keytab_live(&entries[i], inserted)) continue;
    live++;
    low_bit = entries[i].key & 1;
  }
  int64_t inserted_index = inserted != nullptr ? inserted - entries : -1;
  uint64_t fresh_capacity = lv_hash_capacity(live);
  if (fresh_capacity > capacity) {
    t = static_cast<lv_keytab*>(lv_mem_realloc(t, keytab_bytes(capacity), keytab_bytes(fresh_capacity), TABLE_FLAGS));
    entries = lv_keytab_entries(t);
  }
  uint64_t packed = 0;
  for (uint64_t i = 0; i < capacity; i++) {
    lv_hash_entry e = entries[i];
    bool is_live = e.key != 0 && (e.value != 0 || static_cast<int64_t>(i) == inserted_index);
    if (is_live) entries[packed++] = {e.key ^ 1, e.value};
  }
  t->count = live;
  t->mask = fresh_capacity * 16 - 16;
  for (uint64_t i = packed; i < fresh_capacity; i++) entries[i] = {0, empty_value};
  if (fresh_capacity < capacity) {
    t = static_cast<lv_keytab*>(lv_mem_realloc(t, keytab_bytes(capacity), keytab_bytes(fresh_capacity), TABLE_FLAGS));
    entries = lv_keytab_entries(t);
  }
  uint64_t mask = t->mask;
  for (uint64_t i = 0; i < packed; i++) {
    if (entries[i].key == 0 || (entries[i].key & 1) == low_bit) continue;
    lv_hash_entry moving = {entries[i].key ^ 1, entries[i].value};
    entries[i] = {0, empty_value};
    for (;;) {
      uint64_t offset = lv_hash_word(moving.key) & mask;
      lv_hash_entry* slot = nullptr;
      for (uint64_t step = 1;; step++) {
        slot = entry_at(t, offset);
        if (slot->key == 0 || (slot->key & 1) != low_bit) break;
        offset = (offset + 16 * step) & mask;
      }
      if (slot->key == 0) {
        *slot = moving;
        break;
      }
      lv_hash_entry displaced = {slot->key ^ 1, slot->value};
      *slot = moving;
      moving = displaced;
    }
  }
  *cell = t;
}

// ---------------------------------------------------------------------------
// Generic tables.

namespace {

uint64_t hashtab_bytes(uint64_t capacity) { return capacity * 24 + 32; }

lv_hashtab* hashtab_alloc(uint64_t capacity, lv_hash_compare compare, void* user) {
  uint64_t bytes = hashtab_bytes(capacity);
  lv_hashtab* t = static_cast<lv_hashtab*>(lv_mem_alloc(bytes, TABLE_FLAGS));
  std::memset(t, 0, bytes);
  t->mask = capacity - 1;
  t->compare = compare;
  t->user = user;
  return t;
}

bool gentry_matches(lv_hashtab* t, const lv_hash_gentry* e, const void* key, uint64_t hash) {
  if (e->key == key) return true;
  return t->compare != nullptr && e->hash == hash && t->compare(e->key, key, t->user) != 0;
}

// The entry of key, or the never-used entry that ends its probe; for an
// insertion, the first deleted entry met on the way takes the place of the
// never-used one.
lv_hash_gentry* gprobe(lv_hashtab* t, const void* key, uint64_t hash, bool for_insert) {
  lv_hash_gentry* entries = lv_hash_entries(t);
  uint64_t capacity = t->mask + 1;
  uint64_t index = hash & t->mask;
  lv_hash_gentry* deleted = nullptr;
  for (uint64_t step = 1; step <= capacity; step++) {
    lv_hash_gentry* e = &entries[index];
    if (e->key == nullptr) {
      if (e->hash == 0) return for_insert && deleted != nullptr ? deleted : e;
      if (for_insert && deleted == nullptr) deleted = e;
    } else if (gentry_matches(t, e, key, hash)) {
      return e;
    }
    index = (index + step) & t->mask;
  }
  return deleted;
}

bool gentry_live(const lv_hash_gentry* e) { return e->key != nullptr && e->value != nullptr; }

// Rebuilds the table for its live entries (and the entry just inserted):
// the capacity rule is applied to their number and once more to its result.
void hashtab_rebuild(lv_hashtab** cell, const lv_hash_gentry* inserted) {
  lv_hashtab* t = *cell;
  uint64_t capacity = t->mask + 1;
  lv_hash_gentry* entries = lv_hash_entries(t);
  uint64_t live = 0;
  for (uint64_t i = 0; i < capacity; i++)
    if (gentry_live(&entries[i]) || &entries[i] == inserted) live++;
  lv_hashtab* fresh = hashtab_alloc(lv_hash_capacity(lv_hash_capacity(live)), t->compare, t->user);
  for (uint64_t i = 0; i < capacity; i++)
    if (gentry_live(&entries[i]) || &entries[i] == inserted)
      *gprobe(fresh, entries[i].key, entries[i].hash, true) = entries[i];
  fresh->count = live;
  lv_mem_free(t, hashtab_bytes(capacity), TABLE_FLAGS);
  *cell = fresh;
}

}  // namespace

lv_hashtab* lv_hash_new(uint64_t wanted, lv_hash_compare compare, void* user) {
  return hashtab_alloc(wanted <= 1 ? 2 : lv_hash_capacity(wanted), compare, user);
}

lv_hash_gentry* lv_hash_lookup(lv_hashtab* table, const void* key, uint64_t hash) {
  return gprobe(table, key, hash, false);
}

lv_hash_gentry* lv_hash_insert(lv_hashtab** cell, const void* key, uint64_t hash) {
  lv_hashtab* t = *cell;
  lv_hash_gentry* e = gprobe(t, key, hash, true);
  if (e == nullptr) {
    // No free entry at all (cannot happen below the load limit): rebuild.
    hashtab_rebuild(cell, nullptr);
    return lv_hash_insert(cell, key, hash);
  }
  if (e->key != nullptr) return e;
  bool reused = e->hash != 0;
  *e = {key, hash, nullptr};
  if (reused) return e;
  t->count++;
  if (!over_limit(t->count, t->mask + 1)) return e;
  hashtab_rebuild(cell, e);
  return gprobe(*cell, key, hash, false);
}

void lv_hash_delete_entry(lv_hashtab*, lv_hash_gentry* entry) { *entry = {nullptr, LV_HASH_DELETED, nullptr}; }

int lv_hash_foreach(lv_hashtab* table, lv_hash_visit visit, void* arg) {
  lv_hash_gentry* entries = lv_hash_entries(table);
  uint64_t ordinal = 0;
  for (uint64_t i = 0; i <= table->mask; i++) {
    if (!gentry_live(&entries[i])) continue;
    int r = visit(&entries[i], arg, table->user, ordinal++);
    if (r != 0) return r;
  }
  return 0;
}

void lv_hash_free(lv_hashtab* table) {
  if (table != nullptr) lv_mem_free(table, hashtab_bytes(table->mask + 1), TABLE_FLAGS);
}
