// The predicate's module and the position of the clause a database
// reference names; a reference that names no live entry fails.
#include "store/instance_builtins.h"

#include "core/unify.h"
#include "machine/goal_build.h"
#include "store/dbref_table.h"
#include "store/dynamic_table.h"

namespace {

const lv_db_clause* ref_clause(lv_term ref) {
  lv_stored_block* b = lv_dbref_to_block(ref);
  return b != nullptr ? lv_clause_of(b) : nullptr;
}

}  // namespace

uint64_t lv_clause_number(const lv_db_clause* clause) {
  const lv_pred* p = clause->pred;
  if (p == nullptr || lv_definition_type(p) != LV_DEF_DYNAMIC || lv_dynamic_table(p) == nullptr) return 0;
  uint64_t n = 1;
  for (const lv_db_clause* c = lv_dynamic_table(p)->first; c != nullptr; c = lv_clause_next(c), n++)
    if (c == clause) return n;
  return 0;
}

int prolog_instance_module(lv_worker* w) {
  const lv_db_clause* c = ref_clause(w->X[0]);
  return c != nullptr && c->pred != nullptr && cunify(w, w->X[1], lv_pred_module_name(c->pred));
}

int prolog_nth_instance(lv_worker* w) {
  const lv_db_clause* c = ref_clause(w->X[0]);
  return c != nullptr && cunify(w, w->X[1], lv_make_small(static_cast<int64_t>(lv_clause_number(c))));
}
