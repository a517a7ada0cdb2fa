// $warn_ndexit.
#include "store/warn_ndexit.h"

#include "core/worker.h"
#include "machine/insn_walk.h"
#include "store/code_block.h"
#include "store/counters.h"
#include "store/predicates.h"

namespace {

// The predicate that owns a clause block: the last 64-bit word of the
// instruction that ends the clause's straight-line code. Null when the walk
// leaves the block first.
lv_pred* block_owner(lv_code_block* b) {
  const uint32_t* p = lv_code_block_code(b);
  const uint32_t* end = reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(b) + lv_code_block_size(b));
  while (p < end) {
    if (p[0] != LV_INTERNAL_HEADER_WORD && !lv_opcode_valid(p[0])) return nullptr;
    int classification;
    const uint32_t* next = lv_insn_next(p, &classification);
    if (next <= p || next > end) return nullptr;
    if (classification == LV_STEP_END) return reinterpret_cast<lv_pred*>(lv_code_read64(next - 2));
    p = next;
  }
  return nullptr;
}

// An address carried as a small integer (address / 8), or null.
const void* small_address(lv_term t) {
  t = lv_deref(t);
  if (!lv_is_small(t) || lv_small_value(t) <= 0) return nullptr;
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(lv_small_value(t)) * 8);
}

struct pred_search {
  const lv_pred* wanted;
  bool found;
};

void search_module(lv_module* m, void* arg) {
  auto* s = static_cast<pred_search*>(arg);
  lv_hash_entry* entries = lv_keytab_entries(m->pred_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table) && !s->found; i++)
    if (entries[i].key != 0 && entries[i].value == reinterpret_cast<uint64_t>(s->wanted)) s->found = true;
}

// Whether a module's predicate table holds the record: a target given by
// Prolog code is used only then.
bool known_predicate(const lv_pred* pred) {
  pred_search s = {pred, false};
  lv_for_each_module(search_module, &s);
  return s.found;
}

lv_counter_object* counters_of(const lv_pred* pred) { return static_cast<lv_counter_object*>(pred->counters); }

}  // namespace

int prolog_warn_ndexit(lv_worker* w) {
  if (w->E >= w->saved_local_top) return 1;
  const char* address = static_cast<const char*>(small_address(w->X[0]));
  lv_term offset = lv_deref(w->X[1]);
  if (address != nullptr && lv_is_small(offset) && lv_small_value(offset) >= 0 && lv_small_value(offset) < 8)
    address += lv_small_value(offset);
  const lv_pred* target = static_cast<const lv_pred*>(small_address(w->X[2]));
  lv_code_block* block = address != nullptr ? lv_find_code_block(address) : nullptr;
  lv_pred* owner = block != nullptr ? block_owner(block) : nullptr;
  lv_counter_object* counters = owner != nullptr ? counters_of(owner) : nullptr;
  if (counters != nullptr && counters->table != nullptr) {
    // Clauses are counted under their clause key: past a first-argument
    // test that the index has already satisfied.
    const uint32_t* clause = reinterpret_cast<const uint32_t*>(address);
    if (clause == lv_code_block_code(block)) clause += lv_insn_arg_class(clause[0]);
    lv_profile_mark_nondet(counters, reinterpret_cast<uint64_t>(clause));
    if (target != nullptr) lv_profile_mark_nondet(counters, reinterpret_cast<uint64_t>(target) | 1);
  }
  if (target != nullptr && known_predicate(target) && counters_of(target) != nullptr) counters_of(target)->calls |= 1;
  return 1;
}
