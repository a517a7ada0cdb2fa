// $instance_module and $nth_instance over database references, and the
// goal-expansion test against a dynamic goal_expansion/5.
#include "store/instance_builtins.h"

#include <gtest/gtest.h>

#include "store/db_builtins.h"
#include "store/dynamic_table.h"
#include "store/goal_expansion_check.h"
#include "store/store_builtins.h"
#include "support/builtin_fixture.h"

namespace {

class InstanceTest : public BuiltinTest {
 protected:
  // A dynamic predicate Module:Name/Arity.
  lv_pred* dynamic(const char* module, const char* name, unsigned arity) {
    lv_term spec = read((":(" + std::string(module) + ", /(" + name + ", " + std::to_string(arity) + "))").c_str());
    EXPECT_EQ(run(prolog_define_predicate, {spec, atom("dynamic")}), 1);
    lv_pred* p = pred(module, name, arity);
    EXPECT_EQ(lv_definition_type(p), LV_DEF_DYNAMIC);
    return p;
  }
  // Adds the clause (a head) at the end; its reference.
  lv_term insertz(lv_pred* p, const char* head) {
    lv_term ref = terms::var(w);
    EXPECT_EQ(run(prolog_insertz, {lv_pointer_to_term(p), read(head), ref}), 1);
    return lv_deref(ref);
  }
  std::string module_of(lv_term ref) {
    lv_term m = terms::var(w);
    return run(prolog_instance_module, {ref, m}) ? text(m) : "fails";
  }
  std::string position(lv_term ref) {
    lv_term n = terms::var(w);
    return run(prolog_nth_instance, {ref, n}) ? text(n) : "fails";
  }
};

TEST_F(InstanceTest, ModuleAndPositionOfAClause) {
  lv_pred* p = dynamic("mod", "f", 1);
  lv_term r1 = insertz(p, "f(a)");
  lv_term r2 = insertz(p, "f(b)");
  lv_term r3 = insertz(p, "f(c)");
  EXPECT_EQ(module_of(r2), "mod");
  EXPECT_EQ(position(r1), "1");
  EXPECT_EQ(position(r3), "3");
  // An erased clause that no call can see is gone: its reference is stale.
  ASSERT_EQ(run(prolog_erase, {r2}), 1);
  EXPECT_EQ(module_of(r2), "fails");
  EXPECT_EQ(position(r2), "fails");
  EXPECT_EQ(position(r3), "2");
  for (const char* bad : {"foo", "'$ref'(0, 0)", "'$ref'(99999, 1)", "_"}) {
    EXPECT_EQ(module_of(read(bad)), "fails") << bad;
    EXPECT_EQ(position(read(bad)), "fails") << bad;
  }
}

TEST_F(InstanceTest, ADynamicGoalExpansionBlocksTheGoalsItMayMatch) {
  lv_pred* g = dynamic("user", "goal_expansion", 5);
  lv_pred* p = pred("user", "p", 1);
  lv_pred* q = pred("user", "q", 0);
  EXPECT_EQ(lv_goal_expansion_absent(p), 1);
  insertz(g, "goal_expansion(p(X), a, b, c, d)");
  EXPECT_EQ(lv_goal_expansion_absent(p), 0);
  EXPECT_EQ(lv_goal_expansion_absent(q), 1);
  insertz(g, "goal_expansion(_, a, b, c, d)");
  EXPECT_EQ(lv_goal_expansion_absent(q), 0);
}

}  // namespace
