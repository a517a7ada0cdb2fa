// Holding predicates of a restore.
#include "store/state_holding.h"

#include <cstring>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stored_block.h"
#include "store/clause_list.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"

namespace {

constexpr lv_term ATOM_RESTORE = lv_predefined_atom(252);
constexpr uint32_t BLOCK_FLAGS = lv_mem_flags(LV_CAT_INTERPRETED_CODE);

bool has_list(const lv_pred* p, uint32_t type) {
  uint32_t t = lv_definition_type(p);
  if (p->definition == nullptr) return false;
  return type == LV_DEF_DYNAMIC ? t == LV_DEF_DYNAMIC : t == LV_DEF_COMPACTCODE || t == LV_DEF_COMPACTCODE_INDEXED;
}

// The fact '$restore'(Module, Name, Arity), stored as the clause
// ['$restore'(Module, Name, Arity) | true]: the structure's cells, then
// the root pair.
void add_fact(lv_module* restore, lv_term module, lv_term name, unsigned arity) {
  lv_pred* facts = lv_module_own_predicate(restore, ATOM_RESTORE, 3);
  if (!has_list(facts, LV_DEF_DYNAMIC)) {
    lv_clear_definition(facts);
    lv_new_clause_list(facts, LV_DEF_DYNAMIC);
    facts->flags |= LV_PRED_DYNAMIC;
    update_exports(facts, LV_DEF_DYNAMIC);
  }
  constexpr uint64_t cells = 6;
  uint64_t size = sizeof(lv_stored_block) + 8 * cells;
  auto* b = static_cast<lv_stored_block*>(lv_mem_alloc(size, BLOCK_FLAGS));
  std::memset(b, 0, sizeof *b);
  b->size = static_cast<uint32_t>(size);
  lv_term* c = lv_block_cells(b);
  c[0] = lv_make_functor(ATOM_RESTORE, 3);
  c[1] = module;
  c[2] = name;
  c[3] = lv_make_small(arity);
  c[4] = 0 | LV_TAG_STRUCT;  // the structure at cell 0
  c[5] = LV_ATOM_TRUE;
  b->key = module;
  lv_db_clause* clause = lv_clause_of(b);
  clause->source_key = LV_ATOM_NIL;
  clause->source = LV_ATOM_NIL;
  lv_term ref[3];
  lv_term* h = ref;
  lv_register_dbref(b, &h, true);
  lv_db_attach_clause(facts, clause);
}

}  // namespace

lv_pred* lv_state_holding_predicate(lv_pred* pred, uint32_t type) {
  lv_module* restore = find_module(ATOM_RESTORE, 1);
  auto arity = static_cast<unsigned>(pred->arity);
  lv_pred* q = lv_module_own_predicate(restore, pred->name, arity);
  if (q == pred) return nullptr;
  if (lv_definition_type(q) == LV_DEF_UNDEFINED) {
    add_fact(restore, lv_functor_atom(pred->home_module->name), pred->name, arity);
    lv_new_clause_list(q, type);
    if (type == LV_DEF_DYNAMIC) {
      q->flags |= LV_PRED_DYNAMIC;
      update_exports(q, LV_DEF_DYNAMIC);
    }
    return q;
  }
  return has_list(q, type) ? q : nullptr;
}
