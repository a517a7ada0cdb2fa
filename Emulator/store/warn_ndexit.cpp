// $warn_ndexit.
#include "store/warn_ndexit.h"

#include "core/worker.h"
#include "store/code_block.h"
#include "store/code_walk.h"
#include "store/counters.h"
#include "store/db_clause.h"
#include "store/instance_records.h"
#include "store/predicates.h"

namespace {

// An address carried as a small integer (address / 8), or null.
const void* small_address(lv_term t) {
  t = lv_deref(t);
  if (!lv_is_small(t) || lv_small_value(t) <= 0) return nullptr;
  return reinterpret_cast<const void*>(static_cast<uintptr_t>(lv_small_value(t)) * 8);
}

// Whether a module's predicate table holds the record: a target given by
// Prolog code is used only then.
bool known_predicate(const lv_pred* pred) { return lv_code_known_pred(pred) && !lv_code_is_internal_header(pred); }

lv_counter_object* counters_of(const lv_pred* pred) { return static_cast<lv_counter_object*>(pred->counters); }

// A clause of a dynamic predicate, named by a position term ('$ref' or
// [A|P]): its clause-instance record is marked in its predicate's counters.
void mark_instance(lv_term position, const lv_pred* target) {
  lv_pred* callee = target != nullptr && known_predicate(target) ? const_cast<lv_pred*>(target) : nullptr;
  lv_instance_record* r = lv_position_instance_record(position, callee);
  if (r == nullptr || r->clause->pred == nullptr) return;
  lv_counter_object* counters = counters_of(r->clause->pred);
  if (counters != nullptr && counters->table != nullptr) lv_profile_mark_nondet(counters, reinterpret_cast<uint64_t>(r));
}

}  // namespace

int prolog_warn_ndexit(lv_worker* w) {
  if (w->E >= w->saved_local_top) return 1;
  lv_term position = lv_deref(w->X[0]);
  if (lv_is_compound(position)) {
    const lv_pred* target = static_cast<const lv_pred*>(small_address(w->X[2]));
    mark_instance(position, target);
    if (target != nullptr && known_predicate(target) && counters_of(target) != nullptr) counters_of(target)->calls |= 1;
    return 1;
  }
  const char* address = static_cast<const char*>(small_address(w->X[0]));
  lv_term offset = lv_deref(w->X[1]);
  if (address != nullptr && lv_is_small(offset) && lv_small_value(offset) >= 0 && lv_small_value(offset) < 8)
    address += lv_small_value(offset);
  const lv_pred* target = static_cast<const lv_pred*>(small_address(w->X[2]));
  lv_code_block* block = address != nullptr ? lv_find_code_block(address) : nullptr;
  lv_pred* owner = block != nullptr ? lv_code_block_owner(lv_code_block_code(block), nullptr) : nullptr;
  if (owner != nullptr && lv_code_is_internal_header(owner)) owner = nullptr;  // no record: no counters
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
