// The I/O layer's own hash table: a fixed number of buckets with chained
// entries, keyed by typed cells. String keys and data are copied on
// insertion and owned by the entry.
#pragma once

#include <cstdint>

#include "lvio/value.h"

constexpr uint64_t LVIO_HASH_BUCKETS = 13;

struct lvio_hash_entry {
  uint64_t hash;
  lvio_value key;
  lvio_value data;
  lvio_hash_entry* next;
};

struct lvio_hash {
  uint64_t count;
  uint64_t bucket_count;
  lvio_hash_entry** buckets;
};

// A new empty table; LVIO_E_OUT_OF_MEMORY.
[[nodiscard]] lvio_code lvio_hash_create(lvio_hash** out);
// Frees every entry and the table; null is ignored.
void lvio_hash_destroy(lvio_hash* table);

// Inserts a key that is not present: LVIO_E_FOUND when it is (nothing
// changes), LVIO_E_OUT_OF_MEMORY.
[[nodiscard]] lvio_code lvio_hash_put(lvio_hash* table, const lvio_value* key, const lvio_value* data);
[[nodiscard]] lvio_code lvio_hash_put_named(lvio_hash* table, const char* name, const lvio_value* data);

// The entry's data cell (null allowed for a presence test); LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_hash_get(lvio_hash* table, const lvio_value* key, lvio_value** data);
[[nodiscard]] lvio_code lvio_hash_get_named(lvio_hash* table, const char* name, lvio_value** data);

// Unlinks and frees the entry; LVIO_E_NOT_FOUND.
[[nodiscard]] lvio_code lvio_hash_remove(lvio_hash* table, const lvio_value* key);
[[nodiscard]] lvio_code lvio_hash_remove_named(lvio_hash* table, const char* name);

uint64_t lvio_hash_count(const lvio_hash* table);

typedef lvio_code (*lvio_hash_visit_fn)(lvio_value* key, lvio_value* data, void* user);

// Calls the function on every entry, bucket by bucket in chain order; stops
// at the first negative result and returns it. Otherwise returns the last
// result, or LVIO_E_ERROR for an empty table. The function may remove the
// entry it is given, but no other.
[[nodiscard]] lvio_code lvio_hash_foreach(lvio_hash* table, lvio_hash_visit_fn visit, void* user);
