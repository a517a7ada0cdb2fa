// The quick-load register table and its stack.
//
// The table is a block of global term references: its slots are roots of
// the garbage collector, the stack shifter and atom collection for as long
// as it is installed or saved (that is, while its file is being read). A
// slot holding 0 is unset. One slot beyond the indices is the anchor that
// keeps a term's first heap cell alive across a heap overflow.
#include <cstring>

#include "core/memory.h"
#include "store/qload.h"
#include "store/qload_internal.h"

namespace {

constexpr uint32_t QLINFO_FLAGS = lv_mem_flags(LV_CAT_QLINFO);
constexpr int64_t INITIAL_SIZE = 2048;
// Indices run from -2^20 to 2^20 - 1 at the most.
constexpr int64_t MAX_SIZE = int64_t{1} << 21;

struct frame {
  frame* previous;
  lv_termref_slot* slots;  // size + 1 slots: the indices, then the anchor
  int64_t low;             // the size of the lower half: index 0 is slot low
  int64_t size;
  bool complete;
};

frame* current;

lv_termref_slot* new_slots(int64_t size) {
  lv_termref_slot* slots = LV_alloc_globrefs(static_cast<uint64_t>(size) + 1);
  for (int64_t i = 0; i <= size; i++) slots[i] = {0, 0};
  return slots;
}

bool heap_word(lv_term t) { return t != 0 && !lv_is_atomic(t); }

}  // namespace

void lv_qload_push_registers() {
  auto* f = static_cast<frame*>(lv_mem_alloc(sizeof(frame), QLINFO_FLAGS));
  *f = {current, new_slots(INITIAL_SIZE), INITIAL_SIZE / 2, INITIAL_SIZE, false};
  current = f;
}

void lv_qload_pop_registers() {
  frame* f = current;
  if (f == nullptr) return;
  current = f->previous;
  LV_free_globrefs(f->slots);
  lv_mem_free(f, sizeof(frame), QLINFO_FLAGS);
}

bool lv_qload_have_registers() { return current != nullptr; }

void lv_qload_register_bounds(int64_t* low, int64_t* size) {
  *low = current != nullptr ? current->low : 0;
  *size = current != nullptr ? current->size : 0;
}

bool lv_qload_file_complete() { return current != nullptr && current->complete; }

int prolog_push_qlinfo(lv_worker*) {
  lv_qload_push_registers();
  return 1;
}

int prolog_pop_qlinfo(lv_worker*) {
  lv_qload_pop_registers();
  return 1;
}

int prolog_ql_complete(lv_worker*) {
  if (current == nullptr) return 0;
  current->complete = true;
  return 1;
}

void ql_clear_complete() {
  if (current != nullptr) current->complete = false;
}

lv_termref_slot* ql_register(ql_reader& r, int64_t index) {
  frame* f = current;
  if (f == nullptr) {
    ql_fail(r, "$qload: no register table (none pushed)");
    return nullptr;
  }
  if (index < -MAX_SIZE / 2 || index >= MAX_SIZE / 2) {
    ql_fail(r, "$qload: register %lld is out of bounds", static_cast<long long>(index));
    return nullptr;
  }
  // Growth doubles both halves, so that every index keeps its entry.
  while (index + f->low >= f->size || index + f->low < 0) {
    lv_termref_slot* grown = new_slots(2 * f->size);
    std::memcpy(grown + f->low, f->slots, sizeof(lv_termref_slot) * static_cast<uint64_t>(f->size));
    grown[2 * f->size] = f->slots[f->size];
    LV_free_globrefs(f->slots);
    f->slots = grown;
    f->low *= 2;
    f->size *= 2;
  }
  return &f->slots[index + f->low];
}

void ql_for_each_heap_register(void (*visit)(lv_termref_slot* slot, void* arg), void* arg) {
  if (current == nullptr) return;
  for (int64_t i = 0; i < current->size; i++)
    if (heap_word(current->slots[i].term)) visit(&current->slots[i], arg);
}

void ql_clear_heap_registers() {
  ql_for_each_heap_register([](lv_termref_slot* slot, void*) { slot->term = 0; }, nullptr);
  if (current != nullptr) current->slots[current->size].term = 0;
}

lv_termref_slot* ql_anchor_slot() { return current != nullptr ? &current->slots[current->size] : nullptr; }
