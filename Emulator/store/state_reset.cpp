// Emptying the program before a saved state replaces it.
#include "store/state_reset.h"

#include "core/attributes.h"
#include "core/predefined_atoms.h"
#include "store/clause_list.h"
#include "store/db_blackboard.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"
#include "store/state_format.h"

namespace {

bool belongs_to_prolog(const lv_pred* p) {
  return p->owner_module == lv_prolog_module() || p->home_module == lv_prolog_module();
}

// A predicate of prolog loses its clauses; its definition stays.
void empty_prolog_pred(lv_pred* p) {
  p->flags &= ~LV_PRED_SPY;
  uint32_t type = lv_definition_type(p);
  if (type == LV_DEF_DYNAMIC) {
    if (p->definition != nullptr) lv_free_clause_chain(p);
    lv_new_clause_list(p, LV_DEF_DYNAMIC);
  } else if (p->definition != nullptr) {
    lv_erase_clauses(p, 0);
  }
  lv_set_definition_type(p, lv_definition_type(p));
}

void reset_other(lv_module* m, void*) {
  if (m != lv_prolog_module()) lv_state_reset_module(m);
}

}  // namespace

void lv_state_reset_module(lv_module* m) {
  m->attribute_index = 0;
  lv_db_free_buckets(m);
  m->module_info = LV_ATOM_NIL;
  for (lv_pred* p = m->pred_chain; p != nullptr && p != LV_CHAIN_END;) {
    lv_pred* next = p->next_in_module;
    p->next_in_module = nullptr;
    p = next;
  }
  m->pred_chain = LV_CHAIN_END;
  lv_hash_entry* e = lv_keytab_entries(m->pred_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(m->pred_table); i++) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    auto* p = reinterpret_cast<lv_pred*>(e[i].value);
    if (belongs_to_prolog(p)) continue;
    lv_clear_definition(p);
    p->next_in_module = nullptr;
  }
}

void lv_state_reset_program(uint32_t kind) {
  lv_for_each_module(reset_other, nullptr);
  lv_module* prolog = lv_prolog_module();
  // The state holds prolog's blackboard as it holds its dynamic predicates:
  // what it does not hold would outlive the program it belonged to.
  lv_db_free_buckets(prolog);
  lv_hash_entry* e = lv_keytab_entries(prolog->pred_table);
  for (uint64_t i = 0; i < lv_keytab_capacity(prolog->pred_table); i++) {
    if (e[i].key == 0 || e[i].value == 0) continue;
    auto* p = reinterpret_cast<lv_pred*>(e[i].value);
    uint32_t type = lv_definition_type(p);
    bool dynamic = type == LV_DEF_DYNAMIC && (p->flags & LV_PRED_VOLATILE) == 0;
    bool static_code = kind == LV_STATE_ALL && (type == LV_DEF_COMPACTCODE || type == LV_DEF_COMPACTCODE_INDEXED);
    if (dynamic || static_code) empty_prolog_pred(p);
  }
  lv_attr_modules_reset();
}
