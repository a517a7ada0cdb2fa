// Saved boxes.
#include "machine/heap_blobs.h"

#include <cstring>

#include "core/memory.h"
#include "core/numstack.h"

namespace {

struct saved_blob {
  saved_blob* next;
  uint64_t words;   // header and value words
  lv_term cells[];
};

constexpr uint32_t BLOB_FLAGS = lv_mem_flags(LV_CAT_LV_MALLOC);

saved_blob* newest;

size_t blob_bytes(uint64_t words) { return sizeof(saved_blob) + words * sizeof(lv_term); }

}  // namespace

void lv_save_heap_blob(lv_worker*, const lv_term* value) {
  uint64_t words = lv_box_value_words(value[-1]) + 1;
  saved_blob* b = static_cast<saved_blob*>(lv_mem_alloc(blob_bytes(words), BLOB_FLAGS));
  b->next = newest;
  b->words = words;
  std::memcpy(b->cells, value - 1, words * sizeof(lv_term));
  newest = b;
}

lv_term* lv_restore_newest_blob(lv_worker* w) {
  saved_blob* b = newest;
  if (b == nullptr) return nullptr;
  lv_numstack_reserve(w, static_cast<int64_t>(b->words));
  lv_term* at = w->numstack_top;
  std::memcpy(at, b->cells, b->words * sizeof(lv_term));
  w->numstack_top = at + b->words;
  newest = b->next;
  lv_mem_free(b, blob_bytes(b->words), BLOB_FLAGS);
  return at + 1;
}

void lv_restore_saved_blobs(lv_worker* w) {
  while (newest != nullptr) lv_restore_newest_blob(w);
}
