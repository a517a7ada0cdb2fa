// Block and meta-predicate declarations, and the goal checks that depend on
// them and on goal_expansion/5.
#include "store/declaration_builtins.h"

#include <gtest/gtest.h>

#include "store/goal_check_builtins.h"
#include "store/goal_expansion_check.h"
#include "support/builtin_fixture.h"

namespace {

class DeclarationTest : public BuiltinTest {
 protected:
  std::string blocks(const char* head, const char* module = "user") {
    lv_term specs = terms::var(w);
    if (!run(prolog_block_declaration, {read(head), read(module), specs})) return "none";
    return text(specs);
  }
  std::string meta(const char* head, const char* module = "user") {
    lv_term spec = terms::var(w);
    if (!run(prolog_meta_declaration, {read(head), read(module), spec})) return "none";
    return text(spec);
  }
  void block(const char* spec) { ASSERT_TRUE(run(prolog_block, {read(spec), terms::var(w)})) << spec; }
};

TEST_F(DeclarationTest, BlockConditionsKeepOnlyTheMinimalOnes) {
  struct Row {
    std::vector<const char*> specs;
    const char* chain;
  } rows[] = {
      {{"f(-, ?)", "f(-, -)"}, "[f(-,?)]"},
      {{"f(-, -)", "f(-, ?)"}, "[f(-,?)]"},
      {{"f(-, ?)", "f(?, -)"}, "[f(?,-),f(-,?)]"},
      {{"f(-, -)", "f(-, ?)", "f(?, -)"}, "[f(?,-),f(-,?)]"},
      {{"f(-, ?)", "f(-, ?)"}, "[f(-,?)]"},
      {{"f(?, ?)", "f(-, ?)"}, "[f(?,?)]"},
  };
  int n = 0;
  for (const Row& row : rows) {
    // Each row declares a predicate of its own, in module m<n>.
    std::string module = "m" + std::to_string(n++);
    for (const char* spec : row.specs) block((":(" + module + ", " + spec + ")").c_str());
    EXPECT_EQ(blocks("f(_, _)", module.c_str()), row.chain) << module;
    lv_pred* p = pred(module.c_str(), "f", 2);
    EXPECT_NE(p->flags & LV_PRED_BLOCK, 0u);
  }
}

TEST_F(DeclarationTest, BlockOnTheTypeInModuleAndOfArityZero) {
  block("g(a, -, -)");
  EXPECT_EQ(blocks("g(_, _, _)", "user"), "none");  // the type-in module is prolog
  EXPECT_EQ(blocks("g(_, _, _)", "prolog"), "[g(?,-,-)]");
  EXPECT_STREQ(pred("prolog", "g", 3)->block_decls->text, "\2\3");
  block(":(user, h)");
  EXPECT_EQ(blocks("h"), "[h]");
  EXPECT_EQ(blocks("nothing"), "none");
  EXPECT_EQ(blocks("h", "nomodule"), "none");
  EXPECT_FALSE(run(prolog_block, {read("3"), terms::var(w)}));
  EXPECT_FALSE(run(prolog_block, {read(":(f(a), g)"), terms::var(w)}));
}

TEST_F(DeclarationTest, MetaPredicateSpecifiers) {
  ASSERT_TRUE(run(prolog_meta_predicate, {read(":(user, p(0, :, +, -, ?, *, 2, f(x)))"), terms::var(w)}));
  EXPECT_EQ(meta("p(_, _, _, _, _, _, _, _)"), "p(0,:,+,-,?,?,2,?)");
  lv_pred* p = pred("user", "p", 8);
  EXPECT_NE(p->flags & LV_PRED_META, 0u);
  EXPECT_EQ(p->meta_spec[8], LV_ATOM_NIL);
  // A new declaration replaces the array.
  ASSERT_TRUE(run(prolog_meta_predicate, {read(":(user, p(+, +, +, +, +, +, +, +))"), terms::var(w)}));
  EXPECT_EQ(meta("p(_, _, _, _, _, _, _, _)"), "p(+,+,+,+,+,+,+,+)");
  ASSERT_TRUE(run(prolog_meta_predicate, {read(":(user, q)"), terms::var(w)}));
  EXPECT_EQ(meta("q"), "q");
  EXPECT_EQ(meta("r(_)"), "none");
}

class GoalCheckTest : public DeclarationTest {
 protected:
  lv_pred* defined(const char* name, unsigned arity, const char* module = "user") {
    lv_pred* p = pred(module, name, arity);
    assembler::Assembler a;
    a.op(LV_OP_PROCEED);
    lv_new_clause_list(p, LV_DEF_COMPACTCODE);
    lv_append_clause(p, clause(a), LV_KEY_NONE, 0);
    return p;
  }
  // goal_expansion/5 in module user with a clause keyed by the functor of
  // key, or with a variable first argument when key is 0.
  void expansion(lv_term key) {
    lv_pred* g = pred("user", "goal_expansion", 5);
    if (lv_definition_type(g) == LV_DEF_UNDEFINED) lv_new_clause_list(g, LV_DEF_COMPACTCODE);
    assembler::Assembler a;
    a.op(LV_OP_PROCEED);
    if (key != 0)
      lv_append_clause(g, clause(a), LV_KEY_ALL | LV_KEY_KEYED, key);
    else
      lv_append_clause(g, clause(a), LV_KEY_ALL | LV_KEY_KEYED | LV_KEY_LIST, 0);
  }
  bool fast(const char* goal, const char* module = "user") { return run(prolog_fast_goal, {read(goal), read(module)}); }
};

TEST_F(GoalCheckTest, FastGoalNeedsADefinedPlainPredicate) {
  defined("p", 1);
  defined("q", 0);
  EXPECT_TRUE(fast("p(a)"));
  EXPECT_TRUE(fast("q"));
  EXPECT_FALSE(fast("undefined(a)"));
  EXPECT_FALSE(fast("p(a)", "other"));  // not defined there
  EXPECT_FALSE(fast("3"));
  EXPECT_FALSE(fast("p(a)", "3"));
  ASSERT_TRUE(run(prolog_meta_predicate, {read(":(user, p(0))"), terms::var(w)}));
  EXPECT_FALSE(fast("p(a)"));
  EXPECT_FALSE(fast(":(user, q)"));
}

TEST_F(GoalCheckTest, AGoalExpansionClauseForTheFunctorBlocksTheFastPath) {
  defined("p", 1);
  defined("q", 0);
  defined("r", 2);
  expansion(lv_make_functor(atom("p"), 1));
  lv_pred* g = pred("user", "goal_expansion", 5);
  ASSERT_EQ(lv_definition_type(g), LV_DEF_COMPACTCODE_INDEXED);
  EXPECT_FALSE(fast("p(a)"));
  EXPECT_TRUE(fast("q"));
  EXPECT_TRUE(fast("r(a, b)"));
  expansion(atom("q"));
  EXPECT_FALSE(fast("q"));
  EXPECT_TRUE(fast("r(a, b)"));
}

TEST_F(GoalCheckTest, CallBodyExpansionQualifiesMetaArguments) {
  defined("p", 1);
  defined("m", 3);
  ASSERT_TRUE(run(prolog_meta_predicate, {read(":(user, m(0, ?, :))"), terms::var(w)}));
  struct Row {
    const char* goal;
    const char* context;
    const char* expanded;  // null: fails
  } rows[] = {
      {"p(a)", "user", "p(a)"},
      {"p(a)", "other", ":(user,p(a))"},
      {"m(g, x, :(user, h))", "user", "m(:(user,g),x,:(user,h))"},
      {"m(g, x, :(mod, h))", "other", ":(user,m(:(user,g),x,:(user,:(mod,h))))"},
      {"undefined", "user", nullptr},
      {"3", "user", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.goal);
    lv_term e = terms::var(w);
    ASSERT_EQ(run(prolog_fast_wellformed_call_body_expand, {read(row.goal), e, read("user"), read(row.context)}),
              row.expanded != nullptr);
    if (row.expanded != nullptr) {
      EXPECT_EQ(text(e), row.expanded);
    }
  }
  EXPECT_FALSE(run(prolog_fast_wellformed_call_body_expand, {read("p(a)"), terms::var(w), read("user"), read("3")}));
}

TEST_F(GoalCheckTest, CallableClosureArgument) {
  struct Row {
    const char* goal;
    bool ok;
  } rows[] = {
      {"p", true}, {"p(a)", true}, {":(m, [a])", true}, {":(m, :(n, p))", true},
      {"3", false}, {":(m, 3)", false}, {":(3, p)", false}, {"_", false}, {":(m, _)", false}, {"2.5", false},
  };
  for (const Row& row : rows) EXPECT_EQ(run(prolog_fast_callable_closure_arg, {read(row.goal)}), row.ok) << row.goal;
  // At most 101 qualifiers.
  std::string deep = "p";
  for (int i = 0; i < 101; i++) deep = ":(m, " + deep + ")";
  EXPECT_TRUE(run(prolog_fast_callable_closure_arg, {read(deep.c_str())}));
  deep = ":(m, " + deep + ")";
  EXPECT_FALSE(run(prolog_fast_callable_closure_arg, {read(deep.c_str())}));
}

}  // namespace
