// Walking code: owners, call sites, clause positions and source lines,
// operand scans, and walks that must not leave their block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/memory.h"
#include "machine/insn_walk.h"
#include "store/code_walk.h"
#include "support/store_fixture.h"

namespace {

using namespace assembler;

class CodeWalkTest : public StoreTest {
 protected:
  // A side table: its byte size, then the words.
  uint64_t* side_table(std::initializer_list<lv_term> words) {
    uint64_t bytes = 8 * (words.size() + 1);
    auto* t = static_cast<uint64_t*>(lv_mem_alloc(bytes, lv_mem_flags(LV_CAT_SOURCE_INFO)));
    t[0] = bytes;
    uint64_t i = 1;
    for (lv_term v : words) t[i++] = v;
    return t;
  }
};

TEST_F(CodeWalkTest, OwnerIsTheEndOfClausePredicate) {
  lv_pred* p = pred("user", "p", 1);
  lv_pred* q = pred("user", "q", 1);
  Assembler a;
  a.op(LV_OP_GET_CONSTANT, {X(0), C(atom("a"))})
      .op(LV_OP_INITCALL, {R(0, {{VARIABLE, 0}}), P(q), S(1)})
      .label("k")
      .op(LV_OP_LASTCALL, {R(0, {{VALUE, 0}}), P(q)})
      .label("end")
      .op(LV_OP_END_OF_CLAUSE, {P(p)})
      .label("after");
  a.finish();
  lv_pred* owner = nullptr;
  EXPECT_EQ(lv_code_owner(a.start(), &owner), 1);
  EXPECT_EQ(owner, p);
  EXPECT_EQ(lv_code_owner(a.at("k"), &owner), 1);
  EXPECT_EQ(owner, p);
  const uint32_t* end = nullptr;
  EXPECT_EQ(lv_code_block_owner(a.at("k"), &end), p);
  EXPECT_EQ(end, a.at("after"));
  // The predicate called before a return address, and after an EXECUTE form.
  EXPECT_EQ(lv_code_pc_owner(a.at("k")), q);
  EXPECT_EQ(lv_code_pc_owner(a.at("end")), q);
  EXPECT_EQ(lv_code_pc_owner(a.start() + 1), nullptr);
}

TEST_F(CodeWalkTest, StubsAndForeignAddressesHaveNoOwner) {
  lv_pred* p = pred("user", "p", 0);
  lv_pred* owner = p;
  EXPECT_EQ(lv_code_owner(lv_fail_code, &owner), 0);
  EXPECT_EQ(owner, nullptr);
  EXPECT_EQ(lv_code_owner(&p->continue_insn, nullptr), 0);
  EXPECT_EQ(lv_code_owner(lv_code_stub_for_arity(3), nullptr), 0);
  int word = 0;
  EXPECT_EQ(lv_code_owner(&word, nullptr), 0);
  // Straight-line code that ends otherwise than with END_OF_CLAUSE.
  Assembler a;
  a.op(LV_OP_PUT_NIL, {X(0)}).op(LV_OP_EXIT_TOPLEVEL).word(0);
  a.finish();
  EXPECT_EQ(lv_code_owner(a.start(), nullptr), 0);
  // A walk that would leave the block.
  Assembler b;
  b.op(LV_OP_PUT_NIL, {X(0)}).op(LV_OP_PUT_NIL, {X(1)});
  b.finish();
  EXPECT_EQ(lv_code_owner(b.start(), nullptr), 0);
  // An address inside a word is no instruction.
  lv_code_position at;
  EXPECT_EQ(lv_code_owner(reinterpret_cast<const char*>(a.start()) + 2, nullptr), 0);
  EXPECT_EQ(lv_code_owner_info(reinterpret_cast<const char*>(a.start()) + 1, &at), 0);
  EXPECT_EQ(lv_code_block_of(reinterpret_cast<const char*>(a.start()) + 2), nullptr);
  EXPECT_NE(lv_code_block_of(a.start()), nullptr);
}

TEST_F(CodeWalkTest, PositionsCountClausesCallsAndLines) {
  lv_pred* p = pred("user", "p", 1);
  lv_pred* q = pred("user", "q", 1);
  lv_new_clause_list(p, LV_DEF_COMPACTCODE);
  std::vector<Assembler> as(3);
  const char* keys[] = {"f1", "f2", "f1"};
  std::vector<lv_code_block*> blocks;
  for (int i = 0; i < 3; i++) {
    Assembler& a = as[static_cast<size_t>(i)];
    a.op(LV_OP_INITCALL, {R(0, {{VARIABLE, 0}}), P(q), S(1)})
        .label("c1")
        .op(LV_OP_CALL, {R(0, {{VALUE, 0}}), P(q), S(1)})
        .label("c2")
        .op(LV_OP_LASTCALL, {R(0, {{VALUE, 0}}), P(q)})
        .label("c3")
        .op(LV_OP_END_OF_CLAUSE, {P(p)});
    lv_code_block* b = clause(a, keys[i]);
    b->side_table = side_table({atom("A"), lv_make_small(10), atom("Y"), lv_make_small(11), lv_make_small(12), lv_make_small(13)});
    lv_append_clause(p, b, LV_KEY_NONE, 0);
    blocks.push_back(b);
  }
  struct {
    const char* label;  // null: the clause's first instruction
    int64_t calls, line;
  } cases[] = {{nullptr, 0, -1}, {"c1", 1, 11}, {"c2", 2, 12}, {"c3", 3, 13}};
  for (const auto& c : cases) {
    lv_code_position at;
    const Assembler& a = as[2];
    ASSERT_EQ(lv_code_owner_info(c.label == nullptr ? a.start() : a.at(c.label), &at), 1) << c.label;
    EXPECT_EQ(at.pred, p);
    EXPECT_EQ(at.block, blocks[2]);
    EXPECT_EQ(at.source_key, atom("f1"));
    EXPECT_EQ(at.clause, 2);  // the second clause with source key f1
    EXPECT_EQ(at.calls, c.calls) << (c.label ? c.label : "start");
    EXPECT_EQ(at.line, c.line) << (c.label ? c.label : "start");
  }
  lv_code_position at;
  ASSERT_EQ(lv_code_owner_info(as[1].at("c1"), &at), 1);
  EXPECT_EQ(at.clause, 1);
  // No side table: no lines.
  blocks[0]->side_table = nullptr;
  ASSERT_EQ(lv_code_owner_info(as[0].at("c2"), &at), 1);
  EXPECT_EQ(at.calls, 2);
  EXPECT_EQ(at.line, -1);
}

TEST_F(CodeWalkTest, PositionsOnlyInStaticClauses) {
  lv_pred* p = pred("user", "p", 0);
  Assembler a;
  a.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(p)});
  a.finish();
  lv_code_position at;
  EXPECT_EQ(lv_code_owner_info(a.start(), &at), 0);  // p has no clause list
  lv_new_clause_list(p, LV_DEF_DYNAMIC);
  EXPECT_EQ(lv_code_owner_info(a.start(), &at), 0);
  EXPECT_EQ(lv_code_owner_info(lv_proceed_code, &at), 0);
}

// Code read from outside (a pc given by Prolog code) is walked only within
// its block.
TEST_F(CodeWalkTest, LengthsWithinABlock) {
  Assembler a;
  a.op(LV_OP_PUT_NIL, {X(0)})
      .label("call")
      .op(LV_OP_INITCALL, {R(0, {{VALUE, 1}, {VALUE, 2}}), P(nullptr), S(0)})
      .label("box")
      .op(LV_OP_GET_LARGE_X0, {B({static_cast<uint64_t>(LV_BOX_INT1), 5})})
      .label("end");
  a.finish();
  const uint32_t* end = a.at("end");
  EXPECT_EQ(lv_insn_length_within(a.start(), end), 2u);
  uint64_t call = static_cast<uint64_t>(a.at("box") - a.at("call"));
  EXPECT_EQ(call, 7u);  // opcode, register list of two, predicate, frame size
  EXPECT_EQ(lv_insn_length_within(a.at("call"), end), call);
  EXPECT_EQ(lv_insn_length_within(a.at("call"), a.at("call") + call - 1), 0u);  // runs past
  EXPECT_EQ(lv_insn_length_within(a.at("box"), end), static_cast<uint64_t>(end - a.at("box")));
  EXPECT_EQ(lv_insn_length_within(a.at("box"), end - 1), 0u);
  EXPECT_EQ(lv_insn_length_within(end, end), 0u);
  uint32_t words[4] = {lv_opcode(LV_OP_PUT), 0xFF000000u, 0, 0};  // a huge register list
  EXPECT_EQ(lv_insn_length_within(words, words + 4), 0u);
  uint32_t odd[2] = {lv_opcode(LV_OP_PUT_NIL) + 1, 0};
  EXPECT_EQ(lv_insn_length_within(odd, odd + 2), 0u);
  uint32_t box[4] = {lv_opcode(LV_OP_GET_LARGE_X0), 0, 7, 0};  // not a box header
  EXPECT_EQ(lv_insn_length_within(box, box + 4), 0u);
}

void collect(char kind, const uint32_t*, uint64_t value, void* arg) {
  static_cast<std::vector<std::pair<char, uint64_t>>*>(arg)->push_back({kind, value});
}

TEST_F(CodeWalkTest, ScansVisitPredicatesConstantsAndFunctors) {
  lv_pred* p = pred("user", "p", 0);
  lv_pred* q = pred("user", "q", 1);
  lv_term f = lv_make_functor(atom("f"), 2);
  Assembler a;
  a.op(LV_OP_PUT_CONSTANT, {X(0), C(atom("k"))})
      .op(LV_OP_EQUAL_TO_IMM, {I(3), L("other")})
      .op(LV_OP_PUT_STRUCTURE, {X(0), F(f)})
      .op(LV_OP_EXECUTE, {P(q)})
      .op(LV_OP_END_OF_CLAUSE, {P(p)})
      .label("other")
      .op(LV_OP_PUT_CONSTANT, {X(0), C(atom("z"))})
      .op(LV_OP_EXECUTE, {P(q)})
      .op(LV_OP_END_OF_CLAUSE, {P(p)});
  lv_code_block* b = a.finish();
  std::vector<std::pair<char, uint64_t>> seen;
  lv_code_scan_refs(a.start(), collect, &seen);
  std::vector<std::pair<char, uint64_t>> clause = {{'C', atom("k")},
                                                   {'F', f},
                                                   {'P', reinterpret_cast<uint64_t>(q)},
                                                   {'P', reinterpret_cast<uint64_t>(p)}};
  EXPECT_EQ(seen, clause);
  seen.clear();
  lv_code_scan_block(b, collect, &seen);  // the failure continuation's code too
  clause.push_back({'C', atom("z")});
  clause.push_back({'P', reinterpret_cast<uint64_t>(q)});
  clause.push_back({'P', reinterpret_cast<uint64_t>(p)});
  EXPECT_EQ(seen, clause);
}

TEST_F(CodeWalkTest, KnownPredicates) {
  lv_pred* p = pred("user", "p", 0);
  EXPECT_TRUE(lv_code_known_pred(p));
  EXPECT_FALSE(lv_code_known_pred(nullptr));
  EXPECT_FALSE(lv_code_known_pred(reinterpret_cast<char*>(p) + 8));
  Assembler a;
  a.op(LV_OP_PROCEED);
  a.finish();
  EXPECT_FALSE(lv_code_is_internal_header(a.start()));
  Assembler b;
  b.word(LV_INTERNAL_HEADER_WORD).word(2).word(32).word(lv_opcode(LV_OP_KONTINUE)).word(0).word(0).word(0).word(0);
  b.op(LV_OP_PROCEED);
  b.finish();
  uint32_t* h = const_cast<uint32_t*>(b.start());
  lv_code_write64(h + 4, reinterpret_cast<uint64_t>(h + 8));
  EXPECT_TRUE(lv_code_is_internal_header(h));
  EXPECT_TRUE(lv_code_known_pred(h));
  EXPECT_EQ(lv_code_address_compare(h, h + 1), -1);
  EXPECT_EQ(lv_code_address_compare(h + 1, h), 1);
  EXPECT_EQ(lv_code_address_compare(h, h), 0);
}

}  // namespace
