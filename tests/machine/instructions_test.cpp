// The instruction tables and the walker contract.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "core/predefined_atoms.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/code_block.h"
#include "store/static_code.h"
#include "support/assembler.h"
#include "support/memory_fixture.h"

namespace {

using namespace assembler;

TEST(InstructionTable, CountsAndSamples) {
  std::map<int32_t, int> per_class;
  int format0 = 0;
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    ASSERT_NE(lv_instruction_name_table[n], nullptr);
    per_class[lv_instruction_class_table[n]]++;
    if (lv_instruction_format_table[n] == 0) format0++;
    ASSERT_TRUE(lv_format_valid(lv_instruction_format_table[n])) << lv_instruction_name_table[n];
  }
  EXPECT_EQ(format0, 87);
  std::map<int32_t, int> expected = {{0, 10}, {1, 31}, {2, 9}, {3, 6}, {4, 32}, {5, 43}, {6, 34}, {7, 191}};
  EXPECT_EQ(per_class, expected);
  for (uint32_t n = LV_INSN_COUNT; n < LV_INSN_TABLE_SIZE; n++) {
    EXPECT_EQ(lv_instruction_name_table[n], nullptr);
    EXPECT_EQ(lv_instruction_format_table[n], 0);
  }
  struct {
    lv_insn n;
    uint32_t number;
    const char* name;
    int32_t format, flow;
  } samples[] = {
      {LV_OP_GET_X0_X1, 0, "GET_X0_X1", 1, 7},
      {LV_OP_GET_X3_X2, 14, "GET_X3_X2", 12, 7},
      {LV_OP_GET_Xn_X3, 19, "GET_Xn_X3", 20, 7},
      {LV_OP_INITCALLQ, 119, "INITCALLQ", 29, 7},
      {LV_OP_EXECUTEQ, 131, "EXECUTEQ", 28, 1},
      {LV_OP_PROCEED, 134, "PROCEED", 0, 1},
      {LV_OP_TRY, 137, "TRY", 0, 1},
      {LV_OP_FIRST_CONSTANTQ, 147, "FIRST_CONSTANTQ", 36, 2},
      {LV_OP_LATER_Y_VALUE, 158, "LATER_Y_VALUE", 112, 3},
      {LV_OP_STORE_LARGE, 162, "STORE_LARGE", 25, 6},
      {LV_OP_MONOP_FLOAT_FRACTIONAL_PART, 203, "MONOP_FLOAT_FRACTIONAL_PART", 0, 4},
      {LV_OP_BINOP_OR_IMM, 242, "BINOP_OR_IMM", 68, 5},
      {LV_OP_NOT_GREATER_THAN_IMM, 266, "NOT_GREATER_THAN_IMM", 69, 6},
      {LV_OP_DB_REFERENCE, 292, "DB_REFERENCE", 77, 7},
      {LV_OP_KONTINUE, 337, "KONTINUE", 0, 0},
      {LV_OP_NATIVE_OP, 350, "NATIVE_OP", 119, 7},
      {LV_OP_RESTORE_CALLER_PROGRESS, 355, "RESTORE_CALLER_PROGRESS", 0, 0},
  };
  for (const auto& s : samples) {
    EXPECT_EQ(static_cast<uint32_t>(s.n), s.number) << s.name;
    EXPECT_STREQ(lv_instruction_name_table[s.number], s.name);
    EXPECT_EQ(lv_instruction_format_table[s.number], s.format) << s.name;
    EXPECT_EQ(lv_instruction_class_table[s.number], s.flow) << s.name;
  }
  EXPECT_STREQ(lv_call_kind_name_table[LV_KIND_ENTER_INTERNAL], "ENTER_INTERNAL");
  EXPECT_STREQ(lv_call_kind_name_table[21], "ENTER_C");
  EXPECT_STREQ(lv_call_kind_name_table[54], "JITTED");
}

TEST(InstructionTable, QueriesForReadersOfOutsideCode) {
  EXPECT_TRUE(lv_opcode_valid(lv_opcode(LV_OP_PROCEED)));
  EXPECT_FALSE(lv_opcode_valid(lv_opcode(LV_OP_PROCEED) + 1));
  EXPECT_FALSE(lv_opcode_valid(2 * LV_INSN_COUNT));
  for (int32_t f : {50, 97, 102, 104, 120, -1}) EXPECT_FALSE(lv_format_valid(f)) << f;
  EXPECT_TRUE(lv_format_valid(119));
  EXPECT_EQ(lv_insn_q_twin(LV_OP_EXECUTE), LV_OP_EXECUTEQ);
  EXPECT_EQ(lv_insn_q_twin(LV_OP_EXECUTEQ), LV_OP_EXECUTE);
  EXPECT_EQ(lv_insn_q_twin(LV_OP_PROCEED), LV_OP_PROCEED);
  EXPECT_TRUE(lv_insn_is_q(LV_OP_GET_FACT_4Q));
  EXPECT_FALSE(lv_insn_is_q(LV_OP_GET_FACT_4));
  // Every instruction with a 64-bit operand has a twin whose format starts
  // with the alignment word, except NATIVE_OP.
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    std::string ops = lv_format_operands[lv_instruction_format_table[n]];
    bool wide = ops.find_first_of("CFPALIB") != std::string::npos;
    if (!wide || n == LV_OP_NATIVE_OP) continue;
    lv_insn twin = lv_insn_q_twin(static_cast<lv_insn>(n));
    ASSERT_NE(twin, static_cast<lv_insn>(n)) << lv_instruction_name_table[n];
    std::string q_ops = lv_format_operands[lv_instruction_format_table[lv_insn_is_q(twin) ? twin : n]];
    EXPECT_EQ(q_ops[0], 'p') << lv_instruction_name_table[n];
  }
  // The twins the rows name are the plain name and the name with Q.
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    lv_insn twin = lv_insn_q_twin(static_cast<lv_insn>(n));
    if (twin == n) continue;
    std::string plain = lv_instruction_name_table[lv_insn_is_q(twin) ? n : twin];
    std::string q = lv_instruction_name_table[lv_insn_is_q(twin) ? twin : n];
    EXPECT_EQ(plain + "Q", q);
  }
}

class WalkTest : public MemoryTest {
 protected:
  void SetUp() override {
    MemoryTest::SetUp();
    lv_init_static_code();
  }
};

TEST_F(WalkTest, LengthsOfVariableFormats) {
  Assembler a;
  a.op(LV_OP_INITCALL, {R(0, {}), P(nullptr), S(0)});                          // 5 or 6 words
  a.label("large").op(LV_OP_GET_LARGE, {X(1), B({LV_BOX_INT2 - 16, 1, 2, 3})}); // 3 value words
  a.label("nop").nop(1);
  a.label("nop3").nop(3);
  a.label("get").op(LV_OP_GET, {G({{0, 1}, {2, 3}})});
  a.label("end").op(LV_OP_PROCEED);
  a.finish();
  const uint32_t* p = a.start();
  uint64_t initcall = lv_insn_length(p);
  EXPECT_EQ(initcall, p[0] == lv_opcode(LV_OP_INITCALL) ? 5u : 6u);
  EXPECT_EQ(lv_insn_length(a.at("large")), a.at("large")[0] == lv_opcode(LV_OP_GET_LARGE) ? 10u : 11u);
  EXPECT_EQ(lv_insn_length(a.at("nop")), 2u);
  EXPECT_EQ(lv_insn_next(a.at("nop3"), nullptr), a.at("nop3") + 1 + 3);
  EXPECT_EQ(lv_insn_length(a.at("get")), 2u + 2 * 2);
  // Walking from the start reaches every label.
  const uint32_t* q = p;
  for (const char* name : {"large", "nop", "nop3", "get", "end"}) {
    q = lv_insn_next(q, nullptr);
    EXPECT_EQ(q, a.at(name)) << name;
  }
}

TEST_F(WalkTest, QAndPlainFormsDecodeToTheSameOperands) {
  const uint64_t atom = lv_predefined_atom(300);
  for (int shift = 0; shift < 2; shift++) {
    Assembler a;
    if (shift) a.op(LV_OP_PROCEED);
    a.label("insn").op(LV_OP_GET_CONSTANT, {X(2), C(atom)});
    a.label("call").op(LV_OP_CALL, {R(1, {{VALUE, 0}, {VARIABLE, 1}, {UNSAFE_VALUE, 2}, {VOID, 0}}), P(&atom), S(3)});
    a.finish();
    lv_decoded_insn d;
    ASSERT_TRUE(lv_insn_decode(a.at("insn"), &d));
    EXPECT_EQ(d.operand_count, 2u);
    EXPECT_EQ(lv_x_index(static_cast<uint32_t>(d.operands[0].value)), 2u);
    EXPECT_EQ(d.operands[1].value, atom);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(d.operands[1].at) % 8, 0u);
    EXPECT_EQ(d.number, shift ? LV_OP_GET_CONSTANTQ : LV_OP_GET_CONSTANT);
    ASSERT_TRUE(lv_insn_decode(a.at("call"), &d));
    EXPECT_EQ(d.operands[0].kind, 'R');
    EXPECT_EQ(d.operands[0].value, 1u);
    EXPECT_EQ(d.operands[0].count, 4u);
    EXPECT_EQ(d.operands[1].value, reinterpret_cast<uint64_t>(&atom));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(d.operands[1].at) % 8, 0u);
    EXPECT_EQ(lv_y_index(static_cast<uint32_t>(d.operands[2].value)), 3u);
  }
}

TEST_F(WalkTest, LargeIntegerOperand) {
  Assembler a;
  a.op(LV_OP_PUT_LARGE, {X(0), B({LV_BOX_INT2, 0xFFFFFFFFFFFFFFFF, 0x7})});
  a.finish();
  lv_decoded_insn d;
  ASSERT_TRUE(lv_insn_decode(a.start(), &d));
  EXPECT_EQ(d.operands[1].kind, 'B');
  EXPECT_EQ(d.operands[1].value, LV_BOX_INT2);
  EXPECT_EQ(d.operands[1].count, 2u);
  EXPECT_EQ(lv_code_read64(d.operands[1].at + 2), 0xFFFFFFFFFFFFFFFFu);
  EXPECT_EQ(lv_code_read64(d.operands[1].at + 4), 7u);
}

TEST_F(WalkTest, KontinueStepsBackToItsStub) {
  const uint32_t* kontinue = lv_code_stub_for_arity(3);
  EXPECT_EQ(kontinue[0], lv_opcode(LV_OP_KONTINUE));
  EXPECT_EQ(kontinue[-1], 8u * 3 + 16);
  int classification = -1;
  EXPECT_EQ(lv_insn_next(kontinue, &classification), kontinue - 3);
  EXPECT_EQ(classification, LV_STEP_END);
  EXPECT_EQ(lv_code_stub_for_arity(3), kontinue);
}

TEST_F(WalkTest, InternalEntryHeaders) {
  // One clause: the code follows the header.
  alignas(8) uint32_t one[16] = {};
  uint32_t* after = lv_code_write_entry_header(one, one + 8, 2, 1);
  EXPECT_EQ(after, one + 8);
  EXPECT_EQ(one[0], LV_INTERNAL_HEADER_WORD);
  EXPECT_EQ(one[2], 16u + 8 * 2);
  EXPECT_EQ(one[3], lv_opcode(LV_OP_KONTINUE));
  int classification = -1;
  EXPECT_EQ(lv_insn_next(one, &classification), one + 8);
  EXPECT_EQ(classification, LV_STEP_ORDINARY);
  // Two clause entries: walkers resume after the entry whose link is zero.
  alignas(8) uint32_t two[32] = {};
  lv_code_write_entry_header(two, two + 30, 1, 1);
  auto* entries = reinterpret_cast<lv_clause_entry*>(two + 8);
  entries[0].link = &entries[1];
  entries[1].link = nullptr;
  EXPECT_EQ(lv_insn_next(two, nullptr), two + 24);
}

TEST_F(WalkTest, ClassificationsAndFailForNowReplacement) {
  lv_init_static_code();
  Assembler a;
  a.label("call").op(LV_OP_CALL_FOREIGN, {A(static_cast<const uint32_t*>(nullptr)), S(0)});
  a.label("test").op(LV_OP_ATOM, {X(0), L(lv_else_fail_code)});
  a.label("keep").op(LV_OP_INTEGER, {X(1), L(lv_fail_code)});
  a.label("exec").op(LV_OP_EXECUTE, {P(nullptr)});
  a.label("end").op(LV_OP_KONTINUE);
  a.finish();
  int c = -1;
  lv_insn_next(a.at("call"), &c);
  EXPECT_EQ(c, LV_STEP_CALL);
  static const uint32_t target = 0;
  uint32_t* test = const_cast<uint32_t*>(a.at("test"));
  lv_insn_next_replacing(test, &c, &target);
  EXPECT_EQ(c, LV_STEP_ORDINARY);
  lv_decoded_insn d;
  lv_insn_decode(test, &d);
  EXPECT_EQ(d.operands[1].value, reinterpret_cast<uint64_t>(&target));
  lv_insn_next_replacing(const_cast<uint32_t*>(a.at("keep")), &c, &target);
  lv_insn_decode(a.at("keep"), &d);
  EXPECT_EQ(d.operands[1].value, reinterpret_cast<uint64_t>(lv_fail_code));
  lv_insn_next(a.at("exec"), &c);
  EXPECT_EQ(c, LV_STEP_LEAVE);
}

TEST_F(WalkTest, NativeOpContinuesAtItsAddress) {
  Assembler a;
  a.op(LV_OP_NATIVE_OP, {A("resume")});
  a.word(0xDEAD);  // native code lies here, not instructions
  a.label("resume").op(LV_OP_PROCEED);
  a.finish();
  EXPECT_EQ(lv_insn_next(a.start(), nullptr), a.at("resume"));
  EXPECT_EQ(lv_code_deref(a.start()), a.at("resume"));
  EXPECT_EQ(lv_code_deref(a.at("resume")), a.at("resume"));
}

TEST_F(WalkTest, Printing) {
  lv_init_static_code();
  Assembler a;
  a.label("a").op(LV_OP_GET_X2_X1);
  a.label("b").op(LV_OP_GET_X_VARIABLE, {X(5), X(1)});
  a.label("c").op(LV_OP_PUT_Y_VALUE, {X(0), Y(4)});
  a.label("d").op(LV_OP_CALL, {R(0, {{VALUE, 1}, {VOID, 0}}), P(nullptr), S(2)});
  a.label("e").op(LV_OP_EQUAL_TO_IMM, {I(-7), L(lv_fail_code)});
  a.label("f").op(LV_OP_GET_FIRST, {G({{3, 0}})});
  a.label("g").op(LV_OP_GET_X1_Xn, {X(9)});
  a.finish();
  auto text = [&](const char* label) {
    char buffer[256];
    lv_insn_print(a.at(label), buffer, sizeof buffer, nullptr);
    std::string s = buffer;
    return s.substr(s.find(": ") + 2);
  };
  EXPECT_EQ(text("a"), "GET_X2_X1 x(2),x(1)");
  EXPECT_EQ(text("b"), "GET_X_VARIABLE x(1),x(5)");
  EXPECT_EQ(text("c"), "PUT_Y_VALUE y(4),x(0)");
  EXPECT_NE(text("d").find("[x(0)=value(1),x(1)=void],"), std::string::npos) << text("d");
  EXPECT_NE(text("e").find("-7, else fail always"), std::string::npos) << text("e");
  EXPECT_EQ(text("f"), "GET_FIRST [y(0)=x(3)]");
  EXPECT_EQ(text("g"), "GET_X1_Xn x(1),x(9)");
}

}  // namespace
