// The register effects of the instructions.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "machine/insn_registers.h"
#include "machine/insn_walk.h"
#include "machine/instructions.h"
#include "store/static_code.h"
#include "support/assembler.h"
#include "support/store_fixture.h"

namespace {

using namespace assembler;

// The operand kind a step letter refers to.
char step_operand_kind(char letter) {
  switch (letter) {
    case 'r': case 'w': return 'X';
    case 'l': return 'R';
    case 'g': return 'G';
    case 'c': return 'P';
    case 'n': return 'N';
    case 's': case 'S': return 'I';
    case 'b': return 'L';
    default: return 0;
  }
}

// Every step names an operand of the kind it needs; every register operand,
// register list and failure continuation of the format is named by a step;
// a Q form has the steps of its plain form.
TEST(InsnRegisters, StepsAgreeWithTheOperandFormats) {
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    lv_insn insn = static_cast<lv_insn>(n);
    const char* name = lv_instruction_name_table[n];
    const char* steps = lv_insn_register_steps(insn);
    ASSERT_NE(steps, nullptr) << name;
    std::string operands;
    for (const char* k = lv_format_operands[lv_instruction_format_table[n]]; *k != '\0'; k++)
      if (*k != 'p') operands += *k;
    std::set<size_t> named;
    for (const char* s = steps; *s != '\0'; s += 2) {
      char kind = step_operand_kind(s[0]);
      if (kind == 0) {
        EXPECT_TRUE(s[1] == '-' || (s[0] == 'R' || s[0] == 'W')) << name << " " << steps;
        continue;
      }
      size_t k = static_cast<size_t>(s[1] - '0');
      ASSERT_LT(k, operands.size()) << name << " " << steps;
      EXPECT_EQ(operands[k], kind) << name << " " << steps;
      named.insert(k);
    }
    for (size_t k = 0; k < operands.size(); k++)
      if (std::strchr("XLRG", operands[k]) != nullptr) {
        EXPECT_TRUE(named.count(k)) << name << " operand " << k;
      }
    EXPECT_STREQ(steps, lv_insn_register_steps(lv_insn_q_twin(insn))) << name;
  }
  EXPECT_EQ(lv_insn_register_steps(static_cast<lv_insn>(LV_INSN_COUNT)), nullptr);
}

// The register moves named GET_Xi_Xj, GET_Xi_Xn and GET_Xn_Xi: Xi := Xj.
TEST(InsnRegisters, ImpliedRegistersFollowTheNames) {
  int moves = 0;
  for (uint32_t n = 0; n < LV_INSN_COUNT; n++) {
    const char* name = lv_instruction_name_table[n];
    if (std::strlen(name) != 9 || std::strncmp(name, "GET_X", 5) != 0 || name[6] != '_' || name[7] != 'X') continue;
    char to = name[5], from = name[8];
    std::string expected;
    expected += from == 'n' ? std::string("r0") : std::string("R") + from;
    expected += to == 'n' ? std::string("w0") : std::string("W") + to;
    EXPECT_EQ(lv_insn_register_steps(static_cast<lv_insn>(n)), expected) << name;
    moves++;
  }
  EXPECT_EQ(moves, 20);
}

class InsnEffects : public StoreTest {
 protected:
  // The effects of the instruction at p as text: "r3" read X3, "r0-2" reads
  // X0..X2, "w5" write, "k" clobber, "b:fail", "b:else" or "b:+n" (n words
  // from base) for a branch.
  std::string effects(const uint32_t* p, const uint32_t* base = nullptr) {
    lv_reg_effect e[LV_REG_MAX_EFFECTS];
    unsigned n = lv_insn_register_effects(w, p, e);
    std::string s;
    for (unsigned i = 0; i < n; i++) {
      if (!s.empty()) s += ' ';
      auto range = [&](char c) {
        s += c + std::to_string(e[i].first);
        if (e[i].count > 1) s += "-" + std::to_string(e[i].first + e[i].count - 1);
      };
      switch (e[i].kind) {
        case LV_REG_READ: range('r'); break;
        case LV_REG_WRITE: range('w'); break;
        case LV_REG_READ_LIST:
          s += "r[";
          for (uint32_t k = 0; k < e[i].count; k++)
            s += (k > 0 ? "," : "") + std::to_string(lv_x_register_of(e[i].at[k * e[i].stride]));
          s += "]";
          break;
        case LV_REG_CLOBBER: s += 'k'; break;
        case LV_REG_BRANCH:
          if (e[i].at == lv_fail_code) s += "b:fail";
          else if (e[i].at == lv_else_fail_code) s += "b:else";
          else s += "b:+" + std::to_string(e[i].at - base);
          break;
      }
    }
    return s;
  }
};

TEST_F(InsnEffects, AssembledInstructions) {
  lv_pred* p3 = pred("user", "p", 3);
  struct Case {
    const char* what;
    Assembler code;
    const char* expected;
  };
  auto one = [](lv_insn n, std::initializer_list<Operand> ops) {
    Assembler a;
    a.op(n, ops);
    return a;
  };
  Case cases[] = {
      {"move", one(LV_OP_GET_X2_X1, {}), "r1 w2"},
      {"two moves in order", one(LV_OP_GET_XVAR_XVAR, {X(1), X(4), X(4), X(5)}), "r1 w4 r4 w5"},
      {"unsafe value", one(LV_OP_PUT_X_UNSAFE_VALUE, {X(2), X(6)}), "r6 w6 w2"},
      {"structure with two arguments", one(LV_OP_GET_STRUCTURE_XVAR_XVAR, {X(3), F(0), X(7), X(8)}), "r3 w7 w8"},
      {"register-save list", one(LV_OP_GET, {G({{2, 0}, {9, 1}, {4, 2}})}), "r[2,9,4]"},
      {"register-load list", one(LV_OP_PUT, {R(1, {{VALUE, 0}, {VOID, 0}, {UNSAFE_VALUE, 1}})}), "w1-3"},
      {"call reads the arity", one(LV_OP_CALL, {R(0, {{VALUE, 0}}), P(p3), S(2)}), "w0 r0-2 k"},
      {"call/N", one(LV_OP_CALL_CALL, {R(0, {}), N(4), S(1)}), "r0-3 k"},
      {"last call", one(LV_OP_EXECUTE, {P(p3)}), "r0-2 k"},
      {"fact of arity 3", one(LV_OP_GET_FACT_3, {C(7), C(7)}), "r1 r2"},
      {"first argument test", one(LV_OP_GET_LIST_X0, {}), "r0"},
      {"type test", one(LV_OP_INTEGER, {X(5), L(lv_else_fail_code)}), "r5 b:else"},
      {"comparison", one(LV_OP_LESS_THAN_IMM, {I(3), L(lv_fail_code)}), "b:fail"},
      {"inline built-in", one(LV_OP_ARG, {X(0), X(1), X(9)}), "r0 r1 r9"},
      {"foreign frame", one(LV_OP_OPEN_FOREIGN_CALL, {N(3), N(1), P(p3), A(static_cast<const uint32_t*>(nullptr))}), "r0-2"},
      {"spill", one(LV_OP_SPILL, {I(299), X(3)}), "r3 w299"},
      {"unspill", one(LV_OP_UNSPILL, {I(299), X(3)}), "r299 w3"},
      {"backtrack", one(LV_OP_FAIL, {}), "k"},
      {"arithmetic store", one(LV_OP_STORE_X_VARIABLE, {X(12)}), "w12"},
      {"no registers", one(LV_OP_UNIFY_Y_VALUE, {Y(3)}), ""},
  };
  for (Case& c : cases) {
    c.code.finish();
    EXPECT_EQ(effects(c.code.start()), c.expected) << c.what;
  }
}

TEST_F(InsnEffects, BranchTargetsAreCodeAddresses) {
  Assembler a;
  a.op(LV_OP_VAR, {X(2), L("else")}).op(LV_OP_PROCEED).label("else").op(LV_OP_PROCEED);
  a.finish();
  EXPECT_EQ(effects(a.start(), a.start()), "r2 b:+" + std::to_string(a.at("else") - a.start()));
}

// Instructions whose registers come from the code around them or from the
// engine: records, stubs, headers.
TEST_F(InsnEffects, RecordsStubsAndHeaders) {
  // TRY in a record saving three registers: X3 is set to [] first and four
  // are saved; then the record's target.
  Assembler target;
  target.op(LV_OP_PROCEED);
  target.finish();
  lv_try_record odd = {nullptr, target.start(), nullptr, 48 + 8 * 3, lv_opcode(LV_OP_TRY)};
  EXPECT_EQ(effects(&odd.insn, target.start()), "w3 r0-3 b:+0");
  lv_try_record even = {nullptr, lv_fail_code, nullptr, 48 + 8 * 2, lv_opcode(LV_OP_TRY)};
  EXPECT_EQ(effects(&even.insn), "r0-1 b:fail");

  // RETRY_INSTANCE as the word of an alternative record saving six registers.
  lv_try_record dynamic = {nullptr, nullptr, nullptr, 48 + 8 * 6, lv_opcode(LV_OP_RETRY_INSTANCE)};
  EXPECT_EQ(effects(&dynamic.insn), "r0-5 k");

  // RETRY_CQ in the stub of a C routine with three arguments (room for four).
  static int routine;
  lv_call_stub* stub = lv_new_c_call_stub(&routine, 3);
  EXPECT_EQ(effects(stub->code), "r0-3 k");
  // Outside a stub nothing says what it reads.
  Assembler bare;
  bare.op(LV_OP_RETRY_C, {A(static_cast<const uint32_t*>(nullptr))});
  bare.finish();
  EXPECT_EQ(effects(bare.start()), "k");

  // KONTINUE of a predicate record and of shared stubs: the frame size.
  lv_pred* q = pred("user", "q", 2);
  EXPECT_EQ(effects(&q->continue_insn), "r0-1 k");
  EXPECT_EQ(effects(lv_code_stub_for_arity(300)), "r0-299 k");
  EXPECT_EQ(effects(lv_code_stub_for_arity(0)), "k");

  // SWITCH_ON_PRED calls the engine's called predicate.
  w->called_pred = pred("user", "r", 4);
  EXPECT_EQ(effects(lv_switch_code), "r0-3 k");
  w->called_pred = nullptr;
  EXPECT_EQ(effects(lv_switch_code), "k");

  // An internal entry header is entered like a predicate.
  alignas(8) uint32_t header[8];
  lv_code_write_entry_header(header, nullptr, 5, 1);
  EXPECT_EQ(effects(header), "r0-4 k");

  // A word that is no instruction ends the analysis.
  uint32_t odd_word = 7;
  EXPECT_EQ(effects(&odd_word), "k");
}

}  // namespace
