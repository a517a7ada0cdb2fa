// Database references.
#include "store/dbref_table.h"

#include <cinttypes>
#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "streams/diagnostics.h"
#include "store/db_clause.h"

namespace {

constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_INT_INFO);

lv_dbref_table* table;
lv_term next_stamp = lv_make_small(0);

uint64_t table_bytes(int64_t capacity) { return sizeof(lv_dbref_table) + 8 * static_cast<uint64_t>(capacity); }

lv_dbref_table* new_table(int64_t capacity) {
  auto* t = static_cast<lv_dbref_table*>(lv_mem_alloc(table_bytes(capacity), TABLE_FLAGS));
  t->free_head = 0;
  t->used = 1;
  t->capacity = capacity;
  std::memset(t->entries, 0, 8 * static_cast<uint64_t>(capacity));
  return t;
}

int64_t take_index() {
  if (table->free_head != 0) {
    int64_t i = table->free_head;
    table->free_head = static_cast<int64_t>(table->entries[i] >> 1);
    return i;
  }
  if (table->used == table->capacity) {
    lv_dbref_table* bigger = new_table(2 * table->capacity);
    bigger->free_head = table->free_head;
    bigger->used = table->used;
    std::memcpy(bigger->entries, table->entries, 8 * static_cast<uint64_t>(table->capacity));
    lv_mem_free(table, table_bytes(table->capacity), TABLE_FLAGS);
    table = bigger;
  }
  return table->used++;
}

}  // namespace

void lv_dbref_init() {
  table = new_table(LV_DBREF_INITIAL_CAPACITY);
  next_stamp = lv_make_small(0);
}

void lv_dbref_free_all() {
  if (table != nullptr) lv_mem_free(table, table_bytes(table->capacity), TABLE_FLAGS);
  table = nullptr;
}

lv_dbref_table* lv_dbref_table_now() { return table; }

int64_t lv_block_ref_index(const lv_stored_block* block) { return static_cast<int64_t>(block->db_b[2]); }
lv_term lv_block_ref_stamp(const lv_stored_block* block) { return block->db_b[1]; }

lv_term lv_register_dbref(lv_stored_block* block, lv_term** heap, bool fresh) {
  if (fresh) {
    if (table == nullptr) lv_dbref_init();
    int64_t i = take_index();
    table->entries[i] = reinterpret_cast<uint64_t>(block);
    block->db_b[2] = static_cast<uint64_t>(i);
    block->db_b[1] = next_stamp;
    next_stamp = lv_make_small(lv_small_value(next_stamp) + 1);
  }
  lv_term* h = *heap;
  h[0] = LV_FUNCTOR_REF_2;
  h[1] = lv_make_small(lv_block_ref_index(block));
  h[2] = lv_block_ref_stamp(block);
  *heap = h + 3;
  return lv_make_struct(h);
}

lv_stored_block* lv_dbref_to_block(lv_term term) {
  term = lv_deref(term);
  if (table == nullptr || !lv_is_struct(term) || lv_struct_cells(term)[0] != LV_FUNCTOR_REF_2) return nullptr;
  lv_term index = lv_deref(lv_struct_cells(term)[1]);
  lv_term stamp = lv_deref(lv_struct_cells(term)[2]);
  if (!lv_is_small(index) || !lv_is_small(stamp)) return nullptr;
  int64_t i = lv_small_value(index);
  if (i <= 0 || i >= table->used || (table->entries[i] & 1) != 0) return nullptr;
  auto* block = reinterpret_cast<lv_stored_block*>(table->entries[i]);
  if (lv_block_ref_index(block) != i || lv_block_ref_stamp(block) != stamp) return nullptr;
  return block;
}

lv_stored_block* lv_decode_dbref(lv_term term) { return lv_dbref_to_block(term); }

void lv_release_dbref(lv_stored_block* block) {
  int64_t i = lv_block_ref_index(block);
  if (table != nullptr && i > 0 && i < table->used && table->entries[i] == reinterpret_cast<uint64_t>(block)) {
    table->entries[i] = static_cast<uint64_t>(table->free_head) * 2 + 1;
    table->free_head = i;
  }
  lv_free_stored_block(block);
}

int prolog_print_dbrefs(lv_worker*) {
  int64_t used = 0;
  int64_t free_count = 0;
  if (table != nullptr) {
    for (int64_t i = 1; i < table->used; i++) {
      if ((table->entries[i] & 1) != 0) {
        free_count++;
        continue;
      }
      used++;
      auto* block = reinterpret_cast<lv_stored_block*>(table->entries[i]);
      lv_ttyprintf("%% instance %p at refs[%" PRId64 "]", static_cast<void*>(block), i);
      if (lv_block_ref_index(block) != i)
        lv_ttyprintf(" WRONG (%p->dbref_index == %" PRId64 ")", static_cast<void*>(block), lv_block_ref_index(block));
      lv_ttyprintf("\n");
    }
  }
  lv_ttyprintf("%% refs used/free %" PRId64 "/%" PRId64 ", total=%" PRId64 "\n", used, free_count,
               table != nullptr ? table->capacity : 0);
  return 1;
}
