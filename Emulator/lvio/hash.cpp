// The I/O layer's own hash table.
#include "lvio/hash.h"

#include "lvio/allocator.h"

namespace {

// The link that points at the entry matching the key, or at the end of the
// key's chain; insertion and removal both start from it.
lvio_hash_entry** find_link(lvio_hash* table, const lvio_value* key, uint64_t hash) {
  lvio_hash_entry** link = &table->buckets[hash % table->bucket_count];
  for (; *link != nullptr; link = &(*link)->next) {
    const lvio_hash_entry* e = *link;
    if (e->hash == hash && lvio_value_equal(&e->key, key)) break;
  }
  return link;
}

void free_entry(lvio_hash_entry* e) {
  lvio_value_release(&e->key);
  lvio_value_release(&e->data);
  lvio_free(e);
}

lvio_value name_key(const char* name) {
  lvio_value key;
  key.kind = LVIO_VALUE_STRING | LVIO_VALUE_BORROWED;
  key.string = name;
  return key;
}

}  // namespace

lvio_code lvio_hash_create(lvio_hash** out) {
  auto* table = static_cast<lvio_hash*>(lvio_alloc(sizeof(lvio_hash)));
  if (table == nullptr) return LVIO_E_OUT_OF_MEMORY;
  table->buckets = static_cast<lvio_hash_entry**>(lvio_alloc(LVIO_HASH_BUCKETS * sizeof(lvio_hash_entry*)));
  if (table->buckets == nullptr) {
    lvio_free(table);
    return LVIO_E_OUT_OF_MEMORY;
  }
  for (uint64_t i = 0; i < LVIO_HASH_BUCKETS; i++) table->buckets[i] = nullptr;
  table->count = 0;
  table->bucket_count = LVIO_HASH_BUCKETS;
  *out = table;
  return 0;
}

void lvio_hash_destroy(lvio_hash* table) {
  if (table == nullptr) return;
  for (uint64_t i = 0; i < table->bucket_count; i++) {
    lvio_hash_entry* e = table->buckets[i];
    while (e != nullptr) {
      lvio_hash_entry* next = e->next;
      free_entry(e);
      e = next;
    }
  }
  lvio_free(table->buckets);
  lvio_free(table);
}

lvio_code lvio_hash_put(lvio_hash* table, const lvio_value* key, const lvio_value* data) {
  uint64_t hash = lvio_value_hash(key);
  lvio_hash_entry** link = find_link(table, key, hash);
  if (*link != nullptr) return LVIO_E_FOUND;
  auto* e = static_cast<lvio_hash_entry*>(lvio_alloc(sizeof(lvio_hash_entry)));
  if (e == nullptr) return LVIO_E_OUT_OF_MEMORY;
  if (lvio_value_copy(&e->key, key) < 0) {
    lvio_free(e);
    return LVIO_E_OUT_OF_MEMORY;
  }
  if (lvio_value_copy(&e->data, data) < 0) {
    lvio_value_release(&e->key);
    lvio_free(e);
    return LVIO_E_OUT_OF_MEMORY;
  }
  e->hash = hash;
  e->next = nullptr;
  *link = e;
  table->count++;
  return 0;
}

lvio_code lvio_hash_put_named(lvio_hash* table, const char* name, const lvio_value* data) {
  lvio_value key = name_key(name);
  return lvio_hash_put(table, &key, data);
}

lvio_code lvio_hash_get(lvio_hash* table, const lvio_value* key, lvio_value** data) {
  lvio_hash_entry* e = *find_link(table, key, lvio_value_hash(key));
  if (e == nullptr) return LVIO_E_NOT_FOUND;
  if (data != nullptr) *data = &e->data;
  return 0;
}

lvio_code lvio_hash_get_named(lvio_hash* table, const char* name, lvio_value** data) {
  lvio_value key = name_key(name);
  return lvio_hash_get(table, &key, data);
}

lvio_code lvio_hash_remove(lvio_hash* table, const lvio_value* key) {
  lvio_hash_entry** link = find_link(table, key, lvio_value_hash(key));
  lvio_hash_entry* e = *link;
  if (e == nullptr) return LVIO_E_NOT_FOUND;
  *link = e->next;
  free_entry(e);
  table->count--;
  return 0;
}

lvio_code lvio_hash_remove_named(lvio_hash* table, const char* name) {
  lvio_value key = name_key(name);
  return lvio_hash_remove(table, &key);
}

uint64_t lvio_hash_count(const lvio_hash* table) { return table->count; }

lvio_code lvio_hash_foreach(lvio_hash* table, lvio_hash_visit_fn visit, void* user) {
  lvio_code result = LVIO_E_ERROR;
  for (uint64_t i = 0; i < table->bucket_count; i++) {
    // The next entry is taken first, so that the visit may remove its own.
    for (lvio_hash_entry *e = table->buckets[i], *next; e != nullptr; e = next) {
      next = e->next;
      result = visit(&e->key, &e->data, user);
      if (result < 0) return result;
    }
  }
  return result;
}
