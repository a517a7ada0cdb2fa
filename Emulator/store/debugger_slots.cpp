// The debugger's term slots and $get_aux/$put_aux.
#include "store/debugger_slots.h"

#include "core/atom_gc.h"
#include "core/lv_assert.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/stored_block.h"
#include "core/unify.h"
#include "store/db_roots.h"

namespace {

lv_term table[LV_DEBUGGER_TABLE_SLOTS] = {};  // 0 until first set: read as `off`

bool holds_block(lv_term word) { return word != 0 && !lv_is_atomic(word); }
lv_stored_block* block_of(lv_term word) { return reinterpret_cast<lv_stored_block*>(lv_struct_cells(word)); }

void free_word(lv_term word) {
  if (holds_block(word)) lv_free_stored_block(block_of(word));
}

void mark_word(lv_term word) {
  if (holds_block(word))
    lv_walk_block_cells(block_of(word), lv_atom_mark_word);
  else
    lv_atom_mark_word(word);
}

// Atom collection: the atoms of every slot, stored ones included.
void mark_slots(lv_worker* w) {
  if (w != nullptr)
    for (lv_term word : w->debug_words) mark_word(word);
  for (lv_term word : table) mark_word(word);
}

void register_roots() { lv_atom_gc_add_roots(mark_slots); }  // added once however often called

}  // namespace

lv_term* lv_debugger_slot(lv_worker* w, int64_t index) {
  if (index >= 0 && index < static_cast<int64_t>(LV_DEBUG_WORDS)) return &w->debug_words[index];
  if (index >= LV_DEBUGGER_TABLE_FIRST && index - LV_DEBUGGER_TABLE_FIRST < LV_DEBUGGER_TABLE_SLOTS) {
    lv_term* slot = &table[index - LV_DEBUGGER_TABLE_FIRST];
    if (*slot == 0) *slot = LV_ATOM_OFF;
    return slot;
  }
  return nullptr;
}

lv_term lv_debugger_slot_value(lv_worker* w, lv_term word, unsigned live) {
  if (!holds_block(word)) return word;
  return lv_list_cells(lv_block_to_heap(w, block_of(word), live, 0))[1];
}

// The stored list's tail is the root pair's second cell, the block's last;
// a structure there holds its offset from the cells, tag kept.
const lv_term* lv_debugger_stored_structure(lv_term word) {
  if (!holds_block(word)) return nullptr;
  lv_stored_block* block = block_of(word);
  lv_term* cells = lv_block_cells(block);
  lv_term value = cells[lv_block_cell_count(block) - 1];
  if (!lv_is_struct(value)) return nullptr;
  return cells + (value & ~LV_TAG_MASK) / 8;
}

int lv_debugger_integer_sign(lv_term word) {
  if (lv_is_small(word)) {
    int64_t v = lv_small_value(word);
    return v < 0 ? -1 : v > 0;
  }
  const lv_term* s = lv_debugger_stored_structure(word);
  if (s == nullptr || !lv_is_box_header(s[0]) || lv_box_is_float(s[0])) return 2;
  return static_cast<int64_t>(s[lv_box_value_words(s[0])]) < 0 ? -1 : 1;  // the top limb
}

void lv_debugger_set_atomic(lv_term* slot, lv_term atomic) {
  LV_ASSERT(lv_is_atomic(atomic));
  free_word(*slot);
  *slot = atomic;
}

bool lv_debugger_put(lv_worker* w, int64_t index, unsigned reg) {
  if (lv_debugger_slot(w, index) == nullptr) return false;
  register_roots();
  lv_term value = lv_deref(w->X[reg]);
  if (lv_is_atomic(value)) {
    lv_debugger_set_atomic(lv_debugger_slot(w, index), value);
    return true;
  }
  lv_heap_room(w, 2, reg + 1);
  lv_term* h = w->H;
  h[0] = lv_make_ref(h);
  h[1] = lv_deref(w->X[reg]);
  w->H = h + 2;
  w->X[reg] = lv_make_list(h);
  lv_stored_block* block = lv_store_term(w, reg);
  lv_term* slot = lv_debugger_slot(w, index);
  free_word(*slot);
  *slot = lv_make_struct(reinterpret_cast<lv_term*>(block));
  return true;
}

void lv_debugger_slots_release(lv_worker* w) {
  for (lv_term& word : w->debug_words) {
    free_word(word);
    word = LV_ATOM_OFF;
  }
}

void lv_debugger_table_release() {
  for (lv_term& word : table) {
    free_word(word);
    word = 0;
  }
}

int prolog_get_aux(lv_worker* w) {
  lv_term index = lv_deref(w->X[0]);
  if (!lv_is_small(index)) return 0;
  lv_term* slot = lv_debugger_slot(w, lv_small_value(index));
  if (slot == nullptr) return 0;
  lv_term value = lv_debugger_slot_value(w, *slot, 2);
  return cunify(w, w->X[1], value);
}

int prolog_put_aux(lv_worker* w) {
  lv_term index = lv_deref(w->X[0]);
  if (!lv_is_small(index)) return 0;
  return lv_debugger_put(w, lv_small_value(index), 1) ? 1 : 0;
}
