// The goal-expansion test of direct calls over the kinds of goal_expansion/5
// definitions: none, undefined, static clauses keyed or not, dynamic
// clause tables.
#include <gtest/gtest.h>

#include "store/goal_expansion_check.h"
#include "core/predefined_atoms.h"
#include "store/dynamic_table.h"
#include "support/store_fixture.h"

namespace {

using namespace assembler;

class GoalExpansionTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    q = pred("m", "q", 1);
    lv_new_clause_list(q, LV_DEF_COMPACTCODE);
    lv_set_definition_type(q, LV_DEF_COMPACTCODE);
  }
  lv_pred* expansion() { return pred("m", "goal_expansion", 5); }
  // A static goal_expansion/5 clause keyed on a functor word, or unkeyed (0).
  void static_clause(lv_term key) {
    lv_pred* g = expansion();
    if (lv_definition_type(g) == LV_DEF_UNDEFINED) lv_new_clause_list(g, LV_DEF_COMPACTCODE);
    Assembler a;
    if (key != 0) a.op(LV_OP_GET_STRUCTURE_X0, {F(key)});
    a.op(LV_OP_PROCEED);
    lv_append_clause(g, clause(a), key != 0 ? LV_KEY_ALL | LV_KEY_KEYED : LV_KEY_NONE, key);
  }
  lv_term functor(const char* name, unsigned arity) { return lv_pred_key(atom(name), arity); }
  lv_pred* q = nullptr;
};

TEST_F(GoalExpansionTest, StaticClausesKeyedElsewhereDoNotApply) {
  EXPECT_EQ(lv_no_goal_expansion(q), 1);  // no goal_expansion/5
  expansion();
  EXPECT_EQ(lv_no_goal_expansion(q), 1);  // undefined
  static_clause(functor("r", 1));
  static_clause(functor("s", 2));
  ASSERT_EQ(lv_definition_type(expansion()), LV_DEF_COMPACTCODE_INDEXED);
  EXPECT_EQ(lv_no_goal_expansion(q), 1);
  lv_pred* r = pred("m", "r", 1);
  lv_new_clause_list(r, LV_DEF_COMPACTCODE);
  lv_set_definition_type(r, LV_DEF_COMPACTCODE);
  EXPECT_EQ(lv_no_goal_expansion(r), 0);  // a clause for r(_)
  static_clause(0);
  EXPECT_EQ(lv_no_goal_expansion(q), 0);  // a clause for any goal
}

TEST_F(GoalExpansionTest, GoalsThatAreNeverCalledDirectly) {
  lv_pred* colon = lv_lookup_predicate(find_module(atom("m"), 1), LV_ATOM_COLON, 2, LV_LOOKUP_CREATE);
  lv_new_clause_list(colon, LV_DEF_COMPACTCODE);
  lv_set_definition_type(colon, LV_DEF_COMPACTCODE);
  EXPECT_EQ(lv_no_goal_expansion(colon), 0);
  EXPECT_EQ(lv_no_goal_expansion(pred("m", "undefined", 0)), 0);
  lv_term spec[2] = {lv_make_small(0), atom(":")};
  q->meta_spec = spec;
  EXPECT_EQ(lv_no_goal_expansion(q), 0);
  q->meta_spec = nullptr;
}

TEST_F(GoalExpansionTest, DynamicClauseTables) {
  lv_pred* g = expansion();
  lv_new_clause_list(g, LV_DEF_DYNAMIC);
  lv_set_definition_type(g, LV_DEF_DYNAMIC);
  auto* t = static_cast<lv_dynamic_clause_table*>(g->definition);
  EXPECT_EQ(lv_no_goal_expansion(q), 1);  // no clauses
  // A clause keyed on r/1 (the table only needs a non-null first clause).
  auto* some_clause = reinterpret_cast<lv_db_clause*>(&t->first);
  dyn_puthash(&t->key_table, functor("r", 1))->value = reinterpret_cast<uint64_t>(some_clause);
  EXPECT_EQ(lv_no_goal_expansion(q), 1);
  dyn_puthash(&t->key_table, functor("q", 1))->value = reinterpret_cast<uint64_t>(some_clause);
  EXPECT_EQ(lv_no_goal_expansion(q), 0);
  incore_gethash(t->key_table, functor("q", 1))->value = 0;
  EXPECT_EQ(lv_no_goal_expansion(q), 1);
  t->var_chain = some_clause;
  EXPECT_EQ(lv_no_goal_expansion(q), 0);
  t->var_chain = nullptr;
}

}  // namespace
