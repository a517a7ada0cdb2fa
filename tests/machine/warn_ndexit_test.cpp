// $warn_ndexit: marking non-determinate exits in the counters.
#include "store/warn_ndexit.h"

#include <gtest/gtest.h>

#include "machine/routines_fixture.h"
#include "store/counters.h"

namespace {

using namespace assembler;

class WarnNdexitTest : public RoutinesTest {
 protected:
  void SetUp() override {
    RoutinesTest::SetUp();
    owner = pred("user", "p", 1);
    target = pred("user", "t", 0);
    owner->counters = lv_new_counter_object();
    target->counters = lv_new_counter_object();
    // p(k) :- ... : a clause whose first instruction tests the first argument.
    Assembler a;
    a.op(LV_OP_GET_CONSTANT_X0, {C(atom("k"))}).op(LV_OP_PROCEED).label("end").op(LV_OP_END_OF_CLAUSE, {P(owner)});
    block = clause(a);
    code = lv_code_block_code(block);
    end = a.at("end");
    // A choicepoint protects the current frame: the exit is non-determinate.
    w->saved_local_top = w->E + 1;
  }
  void TearDown() override {
    lv_free_counter_object(static_cast<lv_counter_object*>(owner->counters));
    lv_free_counter_object(static_cast<lv_counter_object*>(target->counters));
    RoutinesTest::TearDown();
  }

  // The value of a key in a counter table, or -1 when absent.
  static int64_t mark(const lv_pred* p, const void* key) {
    lv_keytab* table = static_cast<lv_counter_object*>(p->counters)->table;
    lv_hash_entry* e = lv_wordtab_find(table, reinterpret_cast<uint64_t>(key));
    return e != nullptr && e->key == reinterpret_cast<uint64_t>(key) ? static_cast<int64_t>(e->value) : -1;
  }
  static lv_term address_term(const void* p) { return lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(p) >> 3)); }
  static lv_term offset_term(const void* p) { return lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(p) & 7)); }
  uint64_t entries(const lv_pred* p) const { return static_cast<lv_counter_object*>(p->counters)->table->count; }

  int warn(lv_term x0, lv_term x1, lv_term x2) {
    w->X[0] = x0;
    w->X[1] = x1;
    w->X[2] = x2;
    return prolog_warn_ndexit(w);
  }

  lv_pred* owner = nullptr;
  lv_pred* target = nullptr;
  lv_code_block* block = nullptr;
  const uint32_t* code = nullptr;
  const uint32_t* end = nullptr;  // not 8-aligned
};

TEST_F(WarnNdexitTest, MarksTheClauseUnderItsKey) {
  ASSERT_EQ(lv_insn_arg_class(code[0]), 4);
  EXPECT_EQ(warn(address_term(code), offset_term(code), lv_make_small(0)), 1);
  EXPECT_EQ(mark(owner, code + 4), 1);
  EXPECT_EQ(entries(owner), 1u);
  EXPECT_EQ(static_cast<lv_counter_object*>(target->counters)->calls, 0u);
}

TEST_F(WarnNdexitTest, AddressFormsAndTarget) {
  // An address within the clause, split; a clause reference (Offset not an
  // integer 0..7).
  ASSERT_EQ(reinterpret_cast<uintptr_t>(end) & 7, 4u);
  EXPECT_EQ(warn(address_term(end), offset_term(end), address_term(target)), 1);
  EXPECT_EQ(mark(owner, end), 1);
  EXPECT_EQ(mark(owner, reinterpret_cast<const char*>(target) + 1), 1);
  EXPECT_EQ(static_cast<lv_counter_object*>(target->counters)->calls, 1u);
  EXPECT_EQ(warn(address_term(code), LV_ATOM_NIL, lv_make_small(0)), 1);
  EXPECT_EQ(mark(owner, code + 4), 1);
  EXPECT_EQ(entries(owner), 3u);
}

TEST_F(WarnNdexitTest, LeavesAloneWhatItCannotTrust) {
  alignas(8) static uint64_t not_code[8];
  struct Case {
    const char* name;
    lv_term x0, x1, x2;
  };
  const Case cases[] = {
      {"determinate exit", address_term(code), offset_term(code), address_term(target)},
      {"address outside code", address_term(not_code), lv_make_small(0), lv_make_small(0)},
      {"not an address", atom("x"), lv_make_small(0), lv_make_small(0)},
      {"negative", lv_make_small(-8), lv_make_small(0), lv_make_small(0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lv_term* saved = w->saved_local_top;
    if (c.name == cases[0].name) w->saved_local_top = w->E;
    EXPECT_EQ(warn(c.x0, c.x1, c.x2), 1);
    w->saved_local_top = saved;
    EXPECT_EQ(entries(owner), 0u);
    EXPECT_EQ(static_cast<lv_counter_object*>(target->counters)->calls, 0u);
  }
  // A target that is no predicate record is only a key.
  EXPECT_EQ(warn(address_term(code), offset_term(code), address_term(not_code)), 1);
  EXPECT_EQ(mark(owner, reinterpret_cast<const char*>(not_code) + 1), 1);
  EXPECT_EQ(not_code[0], 0u);
}

TEST_F(WarnNdexitTest, OwnerWithoutCountersStillFlagsTheTarget) {
  lv_free_counter_object(static_cast<lv_counter_object*>(owner->counters));
  owner->counters = nullptr;
  EXPECT_EQ(warn(address_term(code), offset_term(code), address_term(target)), 1);
  EXPECT_EQ(static_cast<lv_counter_object*>(target->counters)->calls, 1u);
  owner->counters = lv_new_counter_object();
}

}  // namespace
