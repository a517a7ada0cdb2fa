// The goal-expansion test of direct calls: read off the first-argument index
// of goal_expansion/5 in the predicate's module.
#include "store/goal_expansion_check.h"

#include "core/predefined_atoms.h"
#include "store/clause_list.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"
#include "store/static_code.h"

namespace {

constexpr lv_term ATOM_GOAL_EXPANSION = lv_predefined_atom(184);

// Static clauses: the chain a call with the goal as first argument would
// run is the fail code.
bool no_static_candidate(const lv_clause_list* list, lv_term key) {
  const uint32_t* chain = list->all_chain;
  if (list->key_table != nullptr && list->list_chain != nullptr) {
    if (key == LV_FUNCTOR_DOT_2) {
      chain = list->list_chain;
    } else {
      // An absent key's entry holds the chain of the unkeyed clauses.
      lv_hash_entry* e = incore_gethash(list->key_table, key);
      chain = e != nullptr ? reinterpret_cast<const uint32_t*>(e->value) : nullptr;
    }
  }
  return chain == nullptr || chain == lv_fail_code;
}

// Dynamic clauses: none with a variable first argument and none keyed on
// the goal's functor.
bool no_dynamic_candidate(lv_dynamic_clause_table* t, lv_term key) {
  return t == nullptr || (lv_key_chain_first(t, 0, nullptr) == nullptr && lv_key_chain_first(t, key, nullptr) == nullptr);
}

}  // namespace

int lv_no_goal_expansion(const lv_pred* pred) {
  if (lv_pred_functor(pred) == LV_FUNCTOR_COLON_2 || pred->meta_spec != nullptr ||
      lv_definition_type(pred) == LV_DEF_UNDEFINED)
    return 0;
  return lv_goal_expansion_absent(pred);
}

int lv_goal_expansion_absent(const lv_pred* pred) {
  lv_term key = lv_pred_functor(pred);
  lv_pred* expansion = lv_lookup_predicate(pred->home_module, ATOM_GOAL_EXPANSION, 5, LV_LOOKUP_FIND);
  if (expansion == nullptr) return 1;
  switch (lv_definition_type(expansion)) {
    case LV_DEF_UNDEFINED:
      return 1;
    case LV_DEF_COMPACTCODE_INDEXED:
      return no_static_candidate(static_cast<const lv_clause_list*>(expansion->definition), key) ? 1 : 0;
    case LV_DEF_DYNAMIC:
      return no_dynamic_candidate(lv_dynamic_table(expansion), key) ? 1 : 0;
    default:
      return 0;
  }
}
