// The engine context's three hash tables of decision-diagram nodes.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_bdd_entry {
  uint64_t hash;
  lv_term term;  // tagged heap pointer; 0 = empty
  lv_term value;
  lv_bdd_entry* next;  // creation list, newest first
};
static_assert(sizeof(lv_bdd_entry) == 32);

struct lv_bdd_table {
  uint64_t mask;  // capacity - 1
  uint64_t count;
  // capacity entries follow
};

constexpr uint64_t LV_BDD_INITIAL_CAPACITY = 32;

inline lv_bdd_entry* lv_bdd_entries(lv_bdd_table* t) { return reinterpret_cast<lv_bdd_entry*>(t + 1); }

// Creates the three tables (32 entries each) with empty creation lists and
// clears the node-count word; frees them.
void lv_bdd_tables_new(lv_worker* w);
void lv_bdd_tables_free(lv_worker* w);

// After the heap moved by offset bytes (new heap top new_top): moves the
// entries' heap pointers with it.
void lv_bdd_shift_adjust(lv_worker* w, int64_t offset, lv_term* new_top);
