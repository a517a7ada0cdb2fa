// Term references and global term references.
#include "core/termrefs.h"

#include "core/api_error.h"
#include "core/fault.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"

namespace {

constexpr uint32_t TERMREF_FLAGS = lv_mem_flags(LV_CAT_FLI_STACK);
constexpr uint32_t GLOBREF_FLAGS = lv_mem_flags(LV_CAT_FLI_STACK);

lv_globref_block* globref_blocks;

}  // namespace

void lv_termrefs_init(lv_worker* w) {
  w->termref_capacity = LV_TERMREF_INITIAL_CAPACITY;
  w->termrefs = static_cast<lv_termref_slot*>(
      lv_mem_alloc(sizeof(lv_termref_slot) * LV_TERMREF_INITIAL_CAPACITY, TERMREF_FLAGS));
  for (int32_t i = 0; i < LV_TERMREF_INITIAL_CAPACITY; i++) w->termrefs[i] = {LV_ATOM_NIL, 0};
  w->termref_top = LV_TERMREF_RESERVED;
  w->fcall.termrefs = w->termrefs;
}

void lv_termrefs_free(lv_worker* w) {
  if (w->termrefs == nullptr) return;
  lv_mem_free(w->termrefs, sizeof(lv_termref_slot) * static_cast<uint64_t>(w->termref_capacity), TERMREF_FLAGS);
  w->termrefs = nullptr;
  w->termref_capacity = 0;
}

void lv_termrefs_grow(lv_worker* w, int64_t slots) {
  int64_t capacity = w->termref_capacity;
  if (slots <= capacity) return;
  // The capacity field holds at most INT32_MAX slots: more is as far out of
  // reach as memory that cannot be had.
  if (slots > INT32_MAX) lv_memory_fault("term references", LV_CAT_FLI_STACK);
  if (capacity < 1) capacity = 1;
  while (capacity < slots) capacity *= 2;
  if (capacity > INT32_MAX) capacity = INT32_MAX;
  w->termrefs = static_cast<lv_termref_slot*>(
      lv_mem_realloc(w->termrefs, sizeof(lv_termref_slot) * static_cast<uint64_t>(w->termref_capacity),
                     sizeof(lv_termref_slot) * static_cast<uint64_t>(capacity), TERMREF_FLAGS));
  w->termref_capacity = static_cast<int32_t>(capacity);
  w->fcall.termrefs = w->termrefs;
}

lv_term_ref LV_new_term_ref() { return LV_new_term_refs(1); }

lv_term_ref LV_new_term_refs(int32_t count) {
  lv_worker* w = get_current_worker();
  if (w == nullptr) {
    lv_set_api_error(LV_ERR_NOT_INITIALIZED);
    return 0;
  }
  lv_term_ref first = w->termref_top;
  // A negative count would hand the top back down.
  if (count < 0) count = 0;
  lv_termrefs_grow(w, first + count);
  for (int64_t i = 0; i < count; i++) w->termrefs[first + i] = {LV_ATOM_NIL, 0};
  w->termref_top = static_cast<int32_t>(first + count);
  return first;
}

void LV_reset_term_refs(lv_term_ref index) {
  lv_worker* w = get_current_worker();
  // Below the reserved slots, later references would overwrite the named
  // global terms the runtime keeps there.
  if (w == nullptr || index < LV_TERMREF_RESERVED || index > w->termref_top) {
    lv_set_api_error(LV_ERR_BAD_VALUE);
    return;
  }
  w->termref_top = static_cast<int32_t>(index);
}

void lv_termrefs_fill_reserved(lv_worker* w) {
  if (w->termrefs == nullptr) return;
  lv_term* h = w->H;
  for (int32_t i = 0; i < LV_TERMREF_RESERVED; i++) {
    lv_term value;
    if (i < 5 || i == 14) {
      *h = lv_make_ref(h);
      value = *h++;
    } else {
      // The named global terms: $mutable(0, 0), then $mutable([], 0).
      h[0] = LV_FUNCTOR_MUTABLE_2;
      h[1] = i == 5 ? lv_make_small(0) : LV_ATOM_NIL;
      h[2] = lv_make_small(0);
      value = lv_make_struct(h);
      h += 3;
    }
    w->termrefs[i] = {value, 0};
  }
  w->H = h;
}

bool lv_term_ref_valid(lv_term_ref ref) {
  lv_worker* w = get_current_worker();
  if (w != nullptr && ref >= 0 && ref < w->termref_top) return true;
  lv_set_api_error(LV_ERR_INVALID_TERM_REF);
  return false;
}

lv_termref_slot* LV_alloc_globrefs(uint64_t count) {
  uint64_t bytes = sizeof(lv_globref_block) + count * sizeof(lv_termref_slot);
  lv_globref_block* b = static_cast<lv_globref_block*>(lv_mem_alloc(bytes, GLOBREF_FLAGS));
  b->bytes = bytes;
  b->count = count;
  for (uint64_t i = 0; i < count; i++) lv_globref_slots(b)[i] = {LV_ATOM_NIL, 0};
  if (globref_blocks == nullptr) {
    b->next = b->prev = b;
    globref_blocks = b;
  } else {
    b->next = globref_blocks;
    b->prev = globref_blocks->prev;
    b->prev->next = b;
    globref_blocks->prev = b;
  }
  return lv_globref_slots(b);
}

void LV_free_globrefs(lv_termref_slot* first) {
  if (first == nullptr) return;
  lv_globref_block* b = reinterpret_cast<lv_globref_block*>(first) - 1;
  if (b->next == b) {
    globref_blocks = nullptr;
  } else {
    b->prev->next = b->next;
    b->next->prev = b->prev;
    if (globref_blocks == b) globref_blocks = b->next;
  }
  lv_mem_free(b, b->bytes, GLOBREF_FLAGS);
}

lv_globref_block* lv_globref_list() { return globref_blocks; }
