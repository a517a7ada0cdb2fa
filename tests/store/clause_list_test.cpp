// Clause lists and their first-argument index.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/predefined_atoms.h"
#include "store/clause_list.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;

class IndexTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    p = pred("user", "p", 2);
    lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  }
  lv_clause_list* list() { return static_cast<lv_clause_list*>(p->definition); }

  // Clauses by their first argument.
  void constant(lv_term key, uint32_t extra_bits = 0) {
    Assembler a;
    a.op(LV_OP_GET_CONSTANT_X0, {C(key)}).op(LV_OP_PROCEED);
    lv_append_clause(p, clause(a), LV_KEY_ALL | LV_KEY_KEYED | extra_bits, key);
  }
  void structure(lv_term functor) {
    Assembler a;
    a.op(LV_OP_GET_STRUCTURE_X0, {F(functor)}).op(LV_OP_PROCEED);
    lv_append_clause(p, clause(a), LV_KEY_ALL | LV_KEY_KEYED, functor);
  }
  void list_cell() {
    Assembler a;
    a.op(LV_OP_GET_LIST_X0).op(LV_OP_PROCEED);
    lv_append_clause(p, clause(a), LV_KEY_ALL | LV_KEY_LIST, LV_FUNCTOR_DOT_2);
  }
  void variable(uint32_t bits = LV_KEY_NONE) {
    Assembler a;
    a.op(LV_OP_PROCEED);
    lv_append_clause(p, clause(a), bits, 0);
  }
  lv_pred* p = nullptr;
};

TEST_F(IndexTest, UnkeyedClausesKeepTheListUnindexed) {
  variable();
  variable();
  EXPECT_EQ(lv_definition_type(p), LV_DEF_COMPACTCODE);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_COMPACTCODE);
  EXPECT_EQ(describe(list()->all_chain), "[c1,c2]");
  EXPECT_EQ(list()->key_table, nullptr);
  // Clause numbers: the last block's link holds its number.
  EXPECT_EQ(list()->head->next, list()->tail);
  EXPECT_EQ(lv_clause_number(list()->tail), 2u);
}

TEST_F(IndexTest, AtomKeysBuildKeyChains) {
  lv_term a = atom("a"), b = atom("b");
  constant(a);
  EXPECT_EQ(lv_definition_type(p), LV_DEF_COMPACTCODE_INDEXED);
  EXPECT_EQ(p->kind, LV_KIND_ENTER_COMPACTCODE_INDEXED);
  constant(b);
  constant(a);
  EXPECT_EQ(describe(list()->all_chain), "[c1,c2,c3]");
  EXPECT_EQ(key_chain(p, a), "[c1+4,c3]");
  EXPECT_EQ(key_chain(p, b), "c2+4");
  EXPECT_EQ(key_chain(p, atom("other")), "fail");
  EXPECT_EQ(describe(list()->list_chain), "fail");
}

TEST_F(IndexTest, VariableClausesJoinEveryChain) {
  lv_term a = atom("a");
  constant(a);
  variable();
  constant(a);
  constant(lv_make_small(7));
  EXPECT_EQ(describe(list()->all_chain), "[c1,c2,c3,c4]");
  EXPECT_EQ(key_chain(p, a), "[c1+4,c2,c3]");
  EXPECT_EQ(describe(list()->list_chain), "c2");
  // A new key's chain starts as a copy of the default, the variable clause;
  // backtracking enters clause 4 at its first instruction.
  EXPECT_EQ(key_chain(p, lv_make_small(7)), "[c2,c4]");
  EXPECT_EQ(key_chain(p, atom("unseen")), "c2");
}

TEST_F(IndexTest, FunctorAndListKeys) {
  lv_term f1 = lv_make_functor(atom("f"), 1), g2 = lv_make_functor(atom("g"), 2);
  structure(f1);
  list_cell();
  structure(g2);
  structure(f1);
  EXPECT_EQ(key_chain(p, f1), "[c1+4,c4]");
  EXPECT_EQ(key_chain(p, g2), "c3+4");
  EXPECT_EQ(describe(list()->list_chain), "c2+1");
  EXPECT_EQ(describe(list()->all_chain), "[c1,c2,c3,c4]");
}

TEST_F(IndexTest, KeyTableGrowsKeepingItsDefault) {
  variable(LV_KEY_ALL | LV_KEY_KEYED);  // indexes nothing: bits & 31 is 0x17
  for (int i = 0; i < 20; i++) constant(lv_make_small(i));
  for (int i = 0; i < 20; i++) EXPECT_EQ(key_chain(p, lv_make_small(i)), "[c1,c" + std::to_string(i + 2) + "]") << i;
  EXPECT_EQ(key_chain(p, lv_make_small(99)), "c1");
}

TEST_F(IndexTest, JoinThroughAltEntry) {
  // Clause 1 continues into the next clause on "fail for now".
  Assembler a;
  a.op(LV_OP_ATOM, {X(0), L(lv_else_fail_code)}).op(LV_OP_PROCEED);
  lv_code_block* c1 = clause(a);
  lv_append_clause(p, c1, LV_KEY_ALL | LV_KEY_JOIN, 0);
  variable(LV_KEY_ALL);
  // No try record: clause 1 reaches clause 2 through its own code.
  EXPECT_EQ(describe(list()->all_chain), "c1");
  EXPECT_EQ(c1->alt_entry, lv_code_block_code(list()->tail));
  lv_decoded_insn d;
  ASSERT_TRUE(lv_insn_decode(lv_code_block_code(c1), &d));
  EXPECT_EQ(d.operands[1].value, reinterpret_cast<uint64_t>(c1->alt_entry));
  // A clause with a first-argument key cannot be joined: a try record.
  constant(atom("k"));
  EXPECT_EQ(describe(list()->all_chain), "[c1,c3]");
}

TEST_F(IndexTest, EraseBySourceKeyRebuildsTheIndex) {
  lv_term a = atom("a");
  Assembler k1;
  k1.op(LV_OP_GET_CONSTANT_X0, {C(a)}).op(LV_OP_PROCEED);
  lv_append_clause(p, clause(k1, "file1"), LV_KEY_ALL | LV_KEY_KEYED, a);
  Assembler k2;
  k2.op(LV_OP_PROCEED);
  lv_append_clause(p, clause(k2, "file2"), LV_KEY_NONE, 0);
  Assembler k3;
  k3.op(LV_OP_GET_CONSTANT_X0, {C(a)}).op(LV_OP_PROCEED);
  lv_append_clause(p, clause(k3, "file1"), LV_KEY_ALL | LV_KEY_KEYED, a);
  // An empty key list erases nothing.
  lv_clause_list* before = list();
  lv_erase_clauses(p, LV_ATOM_NIL);
  EXPECT_EQ(list(), before);
  lv_term keys = terms::list(w, {atom("file1")});
  lv_erase_clauses(p, keys);
  EXPECT_NE(list(), before);
  EXPECT_EQ(describe(list()->all_chain), "c2");
  EXPECT_EQ(list()->head, list()->tail);
  EXPECT_EQ(lv_definition_type(p), LV_DEF_COMPACTCODE);
  lv_erase_clauses(p, 0);
  EXPECT_EQ(list()->head, nullptr);
  EXPECT_EQ(describe(list()->all_chain), "fail");
}

TEST_F(IndexTest, FirstArgumentKeys) {
  Assembler a;
  a.op(LV_OP_CHECK_HEAPQ, {I(3)}).op(LV_OP_GET_STRUCTURE, {X(0), F(lv_make_functor(atom("h"), 3))}).op(LV_OP_PROCEED);
  EXPECT_EQ(lv_first_arg_key(clause(a)), lv_make_functor(atom("h"), 3));
  Assembler b;
  b.op(LV_OP_CHECK_HEAPQ, {I(3)}).op(LV_OP_GET_LIST, {X(0)}).op(LV_OP_PROCEED);
  EXPECT_EQ(lv_first_arg_key(clause(b)), LV_FUNCTOR_DOT_2);
  Assembler c;
  c.op(LV_OP_CHECK_HEAPQ, {I(3)}).op(LV_OP_GET_LIST, {X(1)}).op(LV_OP_PROCEED);
  EXPECT_EQ(lv_first_arg_key(clause(c)), 0u);
  Assembler d;
  d.op(LV_OP_GET_LARGE_X0, {B({LV_BOX_INT1, 1ull << 62})}).op(LV_OP_PROCEED);
  lv_code_block* large = clause(d);
  EXPECT_EQ(lv_first_arg_key(large), LV_BOX_INT1);
  ASSERT_NE(lv_large_key(large), nullptr);
  EXPECT_EQ(lv_code_read64(lv_large_key(large) + 2), 1ull << 62);
  Assembler e;
  e.op(LV_OP_GET_NIL_X0).op(LV_OP_PROCEED);
  EXPECT_EQ(lv_first_arg_key(clause(e)), LV_ATOM_NIL);
  // A check of no cells starts a body goal (X = h(...)), not the head: no key.
  Assembler f;
  f.op(LV_OP_CHECK_HEAPQ, {I(0)}).op(LV_OP_GET_STRUCTURE, {X(0), F(lv_make_functor(atom("h"), 3))}).op(LV_OP_PROCEED);
  EXPECT_EQ(lv_first_arg_key(clause(f)), 0u);
  Assembler g;
  g.op(LV_OP_CHECK_HEAPQ, {I(0)}).op(LV_OP_GET_LARGE, {X(0), B({LV_BOX_INT1, 1ull << 62})}).op(LV_OP_PROCEED);
  EXPECT_EQ(lv_large_key(clause(g)), nullptr);
}

TEST_F(IndexTest, LargeNumberKeys) {
  auto large = [&](uint64_t value) {
    Assembler a;
    a.op(LV_OP_GET_LARGE_X0, {B({LV_BOX_INT1, value})}).op(LV_OP_PROCEED);
    lv_append_clause(p, clause(a), LV_KEY_ALL | LV_KEY_KEYED, LV_BOX_INT1);
  };
  constant(atom("a"));
  large(1ull << 62);
  large(3ull << 61);
  large(1ull << 62);
  variable();
  EXPECT_EQ(describe(list()->all_chain), "[c1,c2,c3,c4,c5]");
  lv_hashtab* t = list()->large_table;
  ASSERT_NE(t, nullptr);
  int chains = 0;
  lv_hash_gentry* g = lv_hash_entries(t);
  std::vector<std::string> seen;
  for (uint64_t i = 0; i <= t->mask; i++)
    if (g[i].key != nullptr && g[i].value != nullptr) {
      chains++;
      seen.push_back(describe(static_cast<const uint32_t*>(g[i].value)));
    }
  EXPECT_EQ(chains, 2);
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen[0], "[c2,c4,c5]");
  EXPECT_EQ(seen[1], "[c3,c5]");
}

}  // namespace
