// Block declarations: suspending a call while a condition's arguments are
// unbound.
#include "machine/block_suspend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/bind.h"
#include "core/memory.h"
#include "core/suspension.h"
#include "machine/routines_fixture.h"

namespace {

class BlockSuspendTest : public RoutinesTest {
 protected:
  // Sets the predicate's conditions, in order; each lists 1-based positions.
  void conditions(lv_pred* p, const std::vector<std::string>& decls) {
    lv_block_decl** tail = &p->block_decls;
    for (const std::string& text : decls) {
      auto* d = static_cast<lv_block_decl*>(lv_mem_alloc(16 + text.size(), lv_mem_flags(LV_CAT_MISC)));
      d->next = nullptr;
      std::memcpy(d->text, text.c_str(), text.size() + 1);
      *tail = d;
      tail = &d->next;
    }
    p->flags |= LV_PRED_BLOCK;
  }

  // The suspension records in the goal list of the variable a term
  // dereferences to; empty when it is not an attributed variable.
  std::vector<lv_term> suspended(lv_term t) {
    std::vector<lv_term> records;
    t = lv_deref(t);
    if (!lv_is_ref(t) || !lv_is_attvar_cell(w, lv_ref_cell(t))) return records;
    lv_term* cell = lv_ref_cell(t);
    for (lv_term l = lv_attvar_goals(cell); lv_is_list(l); l = lv_deref(lv_list_cells(l)[1])) records.push_back(lv_list_cells(l)[0]);
    return records;
  }
};

TEST_F(BlockSuspendTest, FirstHoldingConditionSuspendsTheGoal) {
  struct Case {
    const char* name;
    std::vector<std::string> decls;
    const char* args;     // per argument: v unbound, a bound, s the same variable as the first v
    int result;
    const char* blocked;  // per argument: 1 when suspended on it
  };
  const Case cases[] = {
      {"one position", {"\1"}, "vaa", 1, "100"},
      {"several positions", {"\1\2"}, "vva", 1, "110"},
      {"several, one bound", {"\1\2"}, "vaa", 0, ""},
      {"the second condition", {"\1", "\2"}, "ava", 1, "010"},
      {"the first of two holding", {"\3", "\1\2"}, "vvv", 1, "001"},
      {"no condition holds", {"\1", "\2"}, "aav", 0, ""},
      {"a variable listed twice", {"\1\2"}, "vsa", 1, "110"},
      {"a position beyond the arity", {"\4"}, "vvv", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lv_pred* f = pred("user", "f", 3);
    f->block_decls = nullptr;
    conditions(f, c.decls);
    for (unsigned i = 0; i < 3; i++)
      w->X[i] = c.args[i] == 'v' ? terms::var(w) : c.args[i] == 's' ? w->X[0] : atom("a");
    lv_term args[3] = {w->X[0], w->X[1], w->X[2]};
    lv_term* h = w->H;
    ASSERT_EQ(lv_suspend_if_unbound(w, w->X, f), c.result);
    if (c.result == 0) {
      EXPECT_EQ(w->H, h);
      EXPECT_EQ(w->X[0], args[0]);
      continue;
    }
    lv_term goal = w->X[0];
    EXPECT_EQ(text(goal), std::string("f(") + (c.args[0] == 'a' ? "a" : "_") + "," + (c.args[1] == 'a' ? "a" : "_") + "," +
                              (c.args[2] == 'a' ? "a" : "_") + ")");
    lv_term record = 0;
    for (unsigned i = 0; i < 3; i++) {
      std::vector<lv_term> records = suspended(lv_struct_cells(goal)[1 + i]);
      if (c.blocked[i] == '0') {
        EXPECT_TRUE(records.empty()) << "argument " << i + 1;
        continue;
      }
      ASSERT_FALSE(records.empty()) << "argument " << i + 1;
      if (record == 0) record = records[0];
      EXPECT_EQ(records[0], record) << "one record for all variables";
      // The goal's variables are the caller's.
      EXPECT_EQ(lv_deref(lv_struct_cells(goal)[1 + i]), lv_deref(args[i]));
    }
    EXPECT_EQ(text(record), "$apply(" + text(goal) + ",user,_)");
    EXPECT_EQ(lv_struct_cells(record)[1], goal);
  }
}

TEST_F(BlockSuspendTest, EmptyConditionSuspendsOnANewVariable) {
  lv_pred* g = pred("lib", "g", 0);
  conditions(g, {""});
  lv_term* h = w->H;
  ASSERT_EQ(lv_suspend_if_unbound(w, w->X, g), 1);
  EXPECT_EQ(w->X[0], atom("g"));
  // Somewhere on the new heap: one attributed variable holding the record.
  int attributed = 0;
  for (lv_term* p = h + 1; p < w->H; p++) {
    if (!lv_is_attvar_cell(w, p)) continue;
    attributed++;
    EXPECT_EQ(text(lv_attvar_goals(p)), "[$apply(g,lib,_)|[]]");
  }
  EXPECT_EQ(attributed, 1);
}

TEST_F(BlockSuspendTest, LocalVariableMovesToTheHeap) {
  lv_pred* f = pred("user", "f", 1);
  conditions(f, {"\1"});
  lv_term* local = w->local_top++;
  *local = lv_make_ref(local);
  w->saved_local_top = w->local_top;
  w->X[0] = *local;
  lv_term* tr = w->TR;
  ASSERT_EQ(lv_suspend_if_unbound(w, w->X, f), 1);
  lv_term arg = lv_struct_cells(w->X[0])[1];
  EXPECT_LT(lv_ref_cell(arg), w->H);
  EXPECT_EQ(lv_deref(*local), lv_deref(arg));
  EXPECT_EQ(suspended(arg).size(), 1u);
  // The protected local cell's binding is undone on backtracking.
  EXPECT_EQ(tr[0], lv_make_ref(local));
}

TEST_F(BlockSuspendTest, ArgumentsOfAGoalTerm) {
  lv_pred* f = pred("user", "f", 2);
  conditions(f, {"\2"});
  lv_term var = terms::var(w);
  lv_term goal = terms::fn(w, atom("f"), {atom("a"), var});
  w->X[0] = goal;
  ASSERT_EQ(lv_suspend_if_unbound(w, lv_struct_cells(goal) + 1, f), 1);
  EXPECT_EQ(w->X[0], goal);
  std::vector<lv_term> records = suspended(var);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(lv_struct_cells(records[0])[1], goal);
}

}  // namespace
