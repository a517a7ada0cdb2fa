// Stored term blocks.
#include "core/stored_block.h"

#include <cstring>

#include "core/fault.h"
#include "core/heap_parse.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_copy.h"

namespace {

constexpr uint32_t BLOCK_FLAGS = lv_mem_flags(LV_CAT_INTERPRETED_CODE);

// Block position of copy cell k (1-based after the root word): the root
// pair (cells 1 and 2) goes last.
inline uint64_t block_position(uint64_t k, uint64_t words) { return k >= 3 ? k - 3 : words - 3 + k; }

}  // namespace

lv_term lv_stored_key(lv_term stored) {
  stored = lv_deref(stored);
  if (!lv_is_list(stored)) return 0;
  lv_term head = lv_deref(lv_list_cells(stored)[0]);
  if (!lv_is_struct(head) || lv_is_box_header(lv_struct_cells(head)[0])) return 0;
  lv_term arg = lv_deref(lv_struct_cells(head)[1]);
  if (lv_is_ref(arg)) return 0;
  if (lv_is_atomic(arg)) return arg;
  if (lv_is_list(arg)) return LV_FUNCTOR_DOT_2;
  return lv_struct_cells(arg)[0];
}

namespace {

// The copy's words h[1..words] in stored form: positions relative to the
// first cell, the root pair last.
void encode_cells(const lv_term* h, uint64_t words, lv_term* cells) {
  for (uint64_t k = 1; k <= words;) {
    lv_term v = h[k];
    uint64_t at = block_position(k, words);
    if (lv_heap_box_start(v)) {
      uint64_t n = lv_heap_item_cells(v);
      std::memcpy(&cells[at], &h[k], n * 8);
      k += n;
      continue;
    }
    if (lv_is_atomic(v)) {
      cells[at] = v;
    } else {
      uint64_t target = static_cast<uint64_t>(reinterpret_cast<lv_term*>(v & ~uint64_t{3}) - h);
      cells[at] = block_position(target, words) * 8 | (v & 3);
    }
    k++;
  }
}

}  // namespace

lv_stored_block* lv_store_term(lv_worker* w, unsigned reg) {
  if (!lv_is_list(lv_deref(w->X[reg]))) LV_raise_fault("lv_store_term: the stored term is not a list cell");
  lv_copy_make_room(w, reg, reg + 1);
  lv_term term = w->X[reg];
  lv_copy_state copy = lv_copy_to_heap_top(w, term, false);
  lv_term* h = copy.start;
  uint64_t words = static_cast<uint64_t>(copy.end - h) - 1;
  uint64_t size = sizeof(lv_stored_block) + 8 * words;
  lv_stored_block* block = nullptr;
  if (size < 0xffffffffu) block = static_cast<lv_stored_block*>(lv_mem_alloc(size, BLOCK_FLAGS | LV_MEM_MAY_FAIL));
  if (block != nullptr) {
    std::memset(block, 0, sizeof(lv_stored_block));
    block->size = static_cast<uint32_t>(size);
    encode_cells(h, words, lv_block_cells(block));
  }
  lv_copy_undo(w, copy);
  if (block == nullptr) lv_memory_fault("", LV_CAT_INTERPRETED_CODE);
  block->key = lv_stored_key(w->X[reg]);
  return block;
}

uint64_t lv_store_cells(lv_worker* w, unsigned reg, lv_term* (*room)(void* context, uint64_t n), void* context,
                        int32_t category) {
  if (!lv_is_list(lv_deref(w->X[reg]))) LV_raise_fault("lv_store_cells: the stored term is not a list cell");
  lv_copy_make_room(w, reg, reg + 1);
  lv_copy_state copy = lv_copy_to_heap_top(w, w->X[reg], false);
  uint64_t words = static_cast<uint64_t>(copy.end - copy.start) - 1;
  lv_term* cells = room(context, words);
  if (cells != nullptr) encode_cells(copy.start, words, cells);
  lv_copy_undo(w, copy);
  if (cells == nullptr) lv_memory_fault("", category);
  return words;
}

lv_term lv_block_to_heap(lv_worker* w, lv_stored_block* block, unsigned live, uint64_t extra) {
  return lv_cells_to_heap(w, lv_block_cells(block), lv_block_cell_count(block), live, extra);
}

lv_term lv_cells_to_heap(lv_worker* w, const lv_term* cells, uint64_t n, unsigned live, uint64_t extra) {
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(n + extra))
    call_overflow(w, static_cast<int64_t>(n + extra) + LV_HEAP_RESERVE_CELLS, live);
  lv_term* h = w->H;
  uint64_t base = reinterpret_cast<uint64_t>(h);
  for (uint64_t k = 0; k < n;) {
    lv_term v = cells[k];
    if (lv_heap_box_start(v)) {
      uint64_t span = lv_heap_item_cells(v);
      std::memcpy(&h[k], &cells[k], span * 8);
      k += span;
      continue;
    }
    h[k] = lv_is_atomic(v) ? v : v + base;
    k++;
  }
  w->H = h + n;
  return lv_make_list(&h[n - 2]);
}

lv_term lv_block_term_to_heap(lv_stored_block* block) {
  lv_worker* w = get_current_worker();
  const lv_term* cells = lv_block_cells(block);
  uint64_t n = lv_block_cell_count(block);
  lv_term head = cells[n - 2];
  const lv_term* structure = &cells[(head & ~uint64_t{3}) / 8];
  lv_term arg = structure[1];
  const lv_term* box = &cells[(arg & ~uint64_t{3}) / 8];
  uint64_t span = lv_heap_item_cells(box[0]);
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(span)) call_overflow(w, static_cast<int64_t>(span) + LV_HEAP_RESERVE_CELLS, 0);
  lv_term* h = w->H;
  std::memcpy(h, box, span * 8);
  w->H = h + span;
  return lv_make_struct(h);
}

void lv_free_stored_block(lv_stored_block* block) { lv_mem_free(block, block->size, BLOCK_FLAGS); }
