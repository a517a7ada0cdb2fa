// Execution counters of predicates. Counter objects are made by the
// profiled emulator; until it runs, no record has any.
#include "store/counters.h"

#include "core/memory.h"
#include "store/code_block.h"
#include "store/code_print.h"
#include "store/code_walk.h"
#include "store/db_clause.h"
#include "store/instance_records.h"
#include "store/predicates.h"

namespace {

constexpr uint32_t OBJECT_FLAGS = lv_mem_flags(LV_CAT_MISC);

lv_counter_object* object_of(const lv_pred* pred) { return static_cast<lv_counter_object*>(pred->counters); }

// prolog's original record of a copy's functor, when it is another record.
lv_pred* prolog_original(lv_module* prolog, const lv_pred* copy) {
  if (prolog->prolog_copy_table == nullptr) return nullptr;
  lv_term key = lv_pred_functor(copy);
  lv_hash_entry* e = incore_gethash(prolog->prolog_copy_table, key);
  if (e == nullptr || e->key != key || e->value == 0) return nullptr;
  auto* original = reinterpret_cast<lv_pred*>(e->value);
  return original != copy ? original : nullptr;
}

bool counted_type(uint32_t type) {
  return type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED || type == LV_DEF_DYNAMIC;
}

}  // namespace

lv_counter_object* lv_new_counter_object() {
  auto* c = static_cast<lv_counter_object*>(lv_mem_alloc(sizeof(lv_counter_object), OBJECT_FLAGS));
  *c = {lv_wordtab_new(4), 0, 0, 0};
  return c;
}

void lv_free_counter_object(lv_counter_object* counters) {
  lv_wordtab_free(counters->table);
  lv_mem_free(counters, sizeof *counters, OBJECT_FLAGS);
}

lv_pred* lv_predicate_counters(lv_pred* pred) {
  if (pred->counters != nullptr) return pred;
  lv_module* prolog = lv_prolog_module();
  const unsigned arity = static_cast<unsigned>(pred->arity);
  lv_pred* holder = pred;
  if (pred->home_module == prolog) {
    lv_pred* own = lv_lookup_predicate(prolog, pred->name, arity, LV_LOOKUP_FIND);
    if (own != nullptr) holder = own;
  } else if (pred->home_module != nullptr && pred->home_module != pred->owner_module) {
    lv_pred* home = lv_lookup_predicate(pred->home_module, pred->name, arity, LV_LOOKUP_FIND);
    if (home != nullptr) holder = home;
  }
  if (holder->counters != nullptr) return holder;
  holder->counters = lv_new_counter_object();
  if (holder->home_module == prolog) {
    lv_pred* original = prolog_original(prolog, holder);
    if (original != nullptr) original->counters = holder->counters;
  } else {
    update_exports(holder, lv_definition_type(holder));
  }
  return holder;
}

void lv_free_predicate_counters(lv_pred* pred) {
  lv_counter_object* counters = object_of(pred);
  if (counters == nullptr) return;
  pred->counters = nullptr;
  lv_module* m = pred->owner_module;
  if (m != nullptr) {
    lv_term key = lv_pred_functor(pred);
    if (m->pred_table != nullptr) {
      lv_hash_entry* e = incore_gethash(m->pred_table, key);
      if (e != nullptr && e->key == key && e->value != 0 && reinterpret_cast<lv_pred*>(e->value)->counters == counters)
        reinterpret_cast<lv_pred*>(e->value)->counters = nullptr;
    }
    if (m == lv_prolog_module()) {
      lv_pred* original = prolog_original(m, pred);
      if (original != nullptr && original->counters == counters) original->counters = nullptr;
    }
  }
  lv_free_counter_object(counters);
}

void lv_clear_counters_in_range(lv_pred* pred, const void* start, const void* end) {
  lv_counter_object* counters = object_of(pred);
  if (counters == nullptr || counters->table == nullptr) return;
  const auto from = reinterpret_cast<uint64_t>(start);
  const auto to = reinterpret_cast<uint64_t>(end);
  lv_hash_entry* entries = lv_keytab_entries(counters->table);
  for (uint64_t i = 0; i < lv_keytab_capacity(counters->table); i++)
    if (entries[i].key >= from && entries[i].key < to) entries[i].value = 0;
}

// ---- Counting -----------------------------------------------------------------

lv_counter_object* lv_profile_enter(lv_pred* pred, lv_counter_object* scratch) {
  if (pred == nullptr) return scratch;
  uint32_t type = lv_definition_type(pred);
  if (!counted_type(type)) return scratch;
  lv_counter_object* counters = object_of(lv_predicate_counters(pred));
  counters->calls += 2;
  return type == LV_DEF_DYNAMIC ? scratch : counters;
}

lv_counter_object* lv_profile_counters_at(const void* address, lv_counter_object* scratch) {
  lv_pred* owner = nullptr;
  if (address == nullptr || lv_code_owner(address, &owner) == 0 || owner == nullptr) return scratch;
  // An internal entry header is shaped like a record, with this kind; it
  // has no counters.
  if (owner->kind == LV_KIND_ENTER_INTERNAL && lv_code_is_internal_header(owner)) return scratch;
  return object_of(lv_predicate_counters(owner));
}

void lv_profile_count(lv_counter_object* counters, uint64_t key) {
  if (counters->table == nullptr) return;
  lv_wordtab_insert(&counters->table, key)->value += 2;
}

void lv_profile_count_pred(lv_counter_object* counters, const lv_pred* pred) {
  lv_profile_count(counters, reinterpret_cast<uint64_t>(pred) + 1);
}

void lv_profile_count_instance(lv_instance_record* record) {
  if (record == nullptr || record->clause == nullptr || record->clause->pred == nullptr) return;
  lv_counter_object* counters = object_of(record->clause->pred);
  if (counters != nullptr) lv_profile_count(counters, reinterpret_cast<uint64_t>(record));
}

uint64_t lv_profile_clause_key(const uint32_t* code) {
  return reinterpret_cast<uint64_t>(code + lv_insn_arg_class(code[0]));
}

void lv_profile_trace(lv_worker* w, const lv_pred* pred, int level) {
  if (level == 2)
    lv_print_goal(w, pred);
  else
    lv_print_pred_spec_nl(pred);
}

void lv_profile_mark_nondet(lv_counter_object* counters, uint64_t key) {
  lv_wordtab_insert(&counters->table, key)->value |= 1;
}
