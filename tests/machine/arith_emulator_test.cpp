// Compiled arithmetic on the emulator: is/2 and comparison sequences
// assembled by hand, run with their operands in registers, in code and as
// immediates, in the untagged and the tagged accumulator states; the
// evaluation of non-numbers by the Prolog-level evaluator; events met in
// the middle of a sequence; and random operands against exact arithmetic.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/numstack.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "machine/frames.h"
#include "machine/arith_support.h"
#include "support/emulator_fixture.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

// What the stand-ins of the Prolog side saw.
struct observations {
  int events;
  int evaluations;
  int checks;
  lv_term eval_args[4];
  std::string error;  // the last error raised, as arith_test::error_outcome writes it
};
observations seen;

int count_event(lv_worker*) {
  seen.events++;
  return 1;
}

int succeed(lv_worker*) { return 1; }

// The error handler: records the error and fails, so the query fails.
int record_error(lv_worker* w) {
  seen.error = arith_test::error_outcome(lv_pending_error_code(), w->X[2], w->X[0], w->X[1]);
  return 0;
}

// The evaluator stand-in, given Known, Var, Extra, Which: the atoms seven,
// big (2^70) and half evaluate; slow evaluates to 3 and leaves an event
// pending; anything else fails. It spoils registers a handler may use.
int evaluate(lv_worker* w) {
  seen.evaluations++;
  for (int i = 0; i < 4; i++) seen.eval_args[i] = w->X[i];
  for (int i = 4; i < 12; i++) w->X[i] = LV_ATOM_NIL;
  lv_term known = lv_deref(w->X[0]);
  if (!lv_is_atom(known)) return 0;
  std::string name = lv_atom_text(known);
  lv_term value;
  if (name == "seven") {
    value = small(7);
  } else if (name == "big") {
    lv_term* h = w->H;
    h[0] = LV_BOX_INT2;
    h[1] = 0;
    h[2] = 64;
    h[3] = LV_BOX_INT2;
    w->H = h + 4;
    value = lv_make_struct(h);
  } else if (name == "half") {
    value = lv_make_float_box(w, 0.5);
  } else if (name == "slow") {
    value = small(3);
    lv_request_event(w);
  } else {
    return 0;
  }
  return cunify(w, w->X[1], value);
}

struct Case;

class ArithRunTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    seen = {};
    role("$event_handler", 0, count_event);
    role("$error_handler", 4, record_error);
    role("$eval_handler", 4, evaluate);
    role("$run_woken_goals", 1, succeed);
    // The frame handler ends by resuming the interrupted code.
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    lv_lookup_role_predicates();
  }

  // A number as an argument: boxes are copied to the heap.
  lv_term arg(const std::string& spec) {
    lv_term t = num(spec);
    return lv_is_box(t) ? lv_copy_number_box(w, lv_struct_cells(t)) : t;
  }

  // Runs code as the clause of p(X, Y, R) with R a new variable: R as
  // text, "fail", or the error raised. A success is undone afterwards.
  std::string run(Assembler& code, lv_term x, lv_term y) {
    lv_term result = terms::var(w);
    std::string name = "t" + std::to_string(++predicates_);
    lv_pred* p = clauses(name.c_str(), 3, {&code});
    seen.error.clear();
    if (call(p, {x, y, result}) == 1) {
      std::string s = arith_test::describe(result);
      EXPECT_EQ(redo(), 0);
      return s;
    }
    return seen.error.empty() ? "fail" : seen.error;
  }

  // An inline box operand.
  static Operand box_operand(lv_term t) {
    Operand o('B');
    const lv_term* cells = lv_struct_cells(t);
    for (uint64_t i = 0; i <= lv_box_value_words(cells[0]); i++) {
      o.words.push_back(static_cast<uint32_t>(cells[i]));
      o.words.push_back(static_cast<uint32_t>(cells[i] >> 32));
    }
    return o;
  }

  static bool fits64(lv_term t, int64_t* v) {
    if (lv_is_small(t)) {
      *v = lv_small_value(t);
      return true;
    }
    if (lv_struct_cells(t)[0] != LV_BOX_INT1) return false;
    *v = static_cast<int64_t>(lv_struct_cells(t)[1]);
    return true;
  }

  // Loads a number from code into ac0 (first) or ac1.
  static void load(Assembler& a, bool first, lv_term t) {
    int64_t v;
    if (fits64(t, &v))
      a.op(first ? LV_OP_FIRST_CONSTANT : LV_OP_LATER_CONSTANT, {I(v)});
    else
      a.op(first ? LV_OP_FIRST_LARGE : LV_OP_LATER_LARGE, {box_operand(t)});
  }

  // A comparison's two branches: R = 1 when it holds, else R = 0.
  static void branches(Assembler& a) {
    a.op(LV_OP_FIRST_CONSTANT, {I(1)}).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
    a.label("no").op(LV_OP_FIRST_CONSTANT, {I(0)}).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
  }

  // Runs a case in every form that can hold it (see below).
  void run_forms(const Case& c);

  arith_test::Numbers num;
  int predicates_ = 0;
};

struct Case {
  lv_insn op;
  lv_insn imm;  // the _IMM form, or op itself when there is none
  std::string x, y;
  std::string expected;
};

const std::string TEN_400 = "1" + std::string(400, '0');
const std::string MAX64 = "9223372036854775807";
const std::string MIN64 = "-9223372036854775808";
const std::string TWO63 = "9223372036854775808";
const std::string TWO64 = "18446744073709551616";

Case un(lv_insn op, const std::string& x, const std::string& expected) { return {op, op, x, "0", expected}; }
Case bin(lv_insn op, const std::string& x, const std::string& y, const std::string& expected) {
  return {op, op, x, y, expected};
}
Case imm(lv_insn op, lv_insn imm_op, const std::string& x, const std::string& y, const std::string& expected) {
  return {op, imm_op, x, y, expected};
}

const Case CASES[] = {
    // Sums, differences and products leave 64 bits through the functions.
    imm(LV_OP_BINOP_ADD, LV_OP_BINOP_ADD_IMM, MAX64, "1", TWO63),
    imm(LV_OP_BINOP_ADD, LV_OP_BINOP_ADD_IMM, "1152921504606846975", "1", "1152921504606846976"),
    imm(LV_OP_BINOP_ADD, LV_OP_BINOP_ADD_IMM, MIN64, "-1", "-9223372036854775809"),
    imm(LV_OP_BINOP_ADD, LV_OP_BINOP_ADD_IMM, "1.5", "2", "3.5"),
    bin(LV_OP_BINOP_ADD, TWO64, "-" + TWO64, "0"),
    bin(LV_OP_BINOP_ADD, TEN_400, "1.0", "!263 " + TEN_400 + " +(" + TEN_400 + ",1.0)"),
    bin(LV_OP_BINOP_ADD, "nan", "1", "!263 nan +(nan,1)"),
    imm(LV_OP_BINOP_SUBTRACT, LV_OP_BINOP_SUBTRACT_IMM, MIN64, "1", "-9223372036854775809"),
    imm(LV_OP_BINOP_SUBTRACT, LV_OP_BINOP_SUBTRACT_IMM, "5", "7", "-2"),
    imm(LV_OP_BINOP_MULTIPLY, LV_OP_BINOP_MULTIPLY_IMM, "4294967296", "4294967296", TWO64),
    imm(LV_OP_BINOP_MULTIPLY, LV_OP_BINOP_MULTIPLY_IMM, MIN64, "-1", TWO63),
    imm(LV_OP_BINOP_MULTIPLY, LV_OP_BINOP_MULTIPLY_IMM, "3037000500", "3037000500", "9223372037000250000"),
    imm(LV_OP_BINOP_MULTIPLY, LV_OP_BINOP_MULTIPLY_IMM, "2.5", "3", "7.5"),
    // Divisions: the sign cases, by 1, -1 and 0.
    imm(LV_OP_BINOP_IDIVIDE, LV_OP_BINOP_IDIVIDE_IMM, MIN64, "-1", TWO63),
    imm(LV_OP_BINOP_IDIVIDE, LV_OP_BINOP_IDIVIDE_IMM, "7", "0", "!775 0 //(7,0)"),
    imm(LV_OP_BINOP_IDIVIDE, LV_OP_BINOP_IDIVIDE_IMM, "-7", "2", "-3"),
    imm(LV_OP_BINOP_IDIVIDE, LV_OP_BINOP_IDIVIDE_IMM, "7", "-2", "-3"),
    imm(LV_OP_BINOP_IDIVIDE, LV_OP_BINOP_IDIVIDE_IMM, "-7", "-2", "3"),
    imm(LV_OP_BINOP_IDIVIDE, LV_OP_BINOP_IDIVIDE_IMM, "7", "1", "7"),
    imm(LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, "-7", "2", "-4"),
    imm(LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, "7", "-2", "-4"),
    imm(LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, "-7", "-2", "3"),
    imm(LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, "7", "2", "3"),
    imm(LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, "-8", "2", "-4"),
    imm(LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, MIN64, "-1", TWO63),
    imm(LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, "7", "0", "!775 0 div(7,0)"),
    imm(LV_OP_BINOP_MODULUS, LV_OP_BINOP_MODULUS_IMM, "-7", "2", "1"),
    imm(LV_OP_BINOP_MODULUS, LV_OP_BINOP_MODULUS_IMM, "7", "-2", "-1"),
    imm(LV_OP_BINOP_MODULUS, LV_OP_BINOP_MODULUS_IMM, "-7", "-2", "-1"),
    imm(LV_OP_BINOP_MODULUS, LV_OP_BINOP_MODULUS_IMM, "-8", "2", "0"),
    imm(LV_OP_BINOP_MODULUS, LV_OP_BINOP_MODULUS_IMM, MIN64, "-1", "0"),
    imm(LV_OP_BINOP_MODULUS, LV_OP_BINOP_MODULUS_IMM, "7", "0", "!775 0 mod(7,0)"),
    imm(LV_OP_BINOP_REMAINDER, LV_OP_BINOP_REMAINDER_IMM, "-7", "2", "-1"),
    imm(LV_OP_BINOP_REMAINDER, LV_OP_BINOP_REMAINDER_IMM, "7", "-2", "1"),
    imm(LV_OP_BINOP_REMAINDER, LV_OP_BINOP_REMAINDER_IMM, MIN64, "-1", "0"),
    imm(LV_OP_BINOP_REMAINDER, LV_OP_BINOP_REMAINDER_IMM, "7", "0", "!775 0 rem(7,0)"),
    imm(LV_OP_BINOP_REMAINDER, LV_OP_BINOP_REMAINDER_IMM, "-" + TWO64, "3", "-1"),
    bin(LV_OP_BINOP_DIVIDE, "4", "2", "2.0"),
    bin(LV_OP_BINOP_DIVIDE, "7", "2", "3.5"),
    bin(LV_OP_BINOP_DIVIDE, "1", "0", "!775 0 /(1,0)"),
    bin(LV_OP_BINOP_DIVIDE, "1", "0.0", "!775 0.0 /(1,0.0)"),
    // Shifts: within 64 bits, beyond them, and the other way.
    bin(LV_OP_BINOP_LEFT_SHIFT, "1", "62", "4611686018427387904"),
    bin(LV_OP_BINOP_LEFT_SHIFT, "1", "63", TWO63),
    bin(LV_OP_BINOP_LEFT_SHIFT, "-1", "63", MIN64),
    bin(LV_OP_BINOP_LEFT_SHIFT, "-1", "64", "-" + TWO64),
    bin(LV_OP_BINOP_LEFT_SHIFT, "5", "100", "6338253001141147007483516026880"),
    bin(LV_OP_BINOP_LEFT_SHIFT, "5", "-1", "2"),
    bin(LV_OP_BINOP_LEFT_SHIFT, "5", "-100", "0"),
    bin(LV_OP_BINOP_LEFT_SHIFT, "-5", "-100", "-1"),
    bin(LV_OP_BINOP_LEFT_SHIFT, "5", "0", "5"),
    bin(LV_OP_BINOP_RIGHT_SHIFT, "5", "100", "0"),
    bin(LV_OP_BINOP_RIGHT_SHIFT, "-5", "100", "-1"),
    bin(LV_OP_BINOP_RIGHT_SHIFT, "-5", "1", "-3"),
    bin(LV_OP_BINOP_RIGHT_SHIFT, "5", "-1", "10"),
    bin(LV_OP_BINOP_RIGHT_SHIFT, "1", "-63", TWO63),
    bin(LV_OP_BINOP_RIGHT_SHIFT, TWO64, "1", TWO63),
    // Bitwise operations, min, max, gcd.
    imm(LV_OP_BINOP_AND, LV_OP_BINOP_AND_IMM, "-1", "18446744073709551617", "18446744073709551617"),
    imm(LV_OP_BINOP_OR, LV_OP_BINOP_OR_IMM, "12", "3", "15"),
    imm(LV_OP_BINOP_XOR, LV_OP_BINOP_XOR_IMM, "5", "3", "6"),
    imm(LV_OP_BINOP_AND, LV_OP_BINOP_AND_IMM, "2.0", "1", "!1025 2.0 /\\(2.0,1)"),
    bin(LV_OP_BINOP_MAXIMUM, "1", "2.0", "2.0"),
    bin(LV_OP_BINOP_MINIMUM, "1", "1.0", "1.0"),
    bin(LV_OP_BINOP_MAXIMUM, "3", "3", "3"),
    bin(LV_OP_BINOP_MINIMUM, "-" + TWO64, "5", "-" + TWO64),
    bin(LV_OP_BINOP_GCD, MIN64, "6", "2"),
    bin(LV_OP_BINOP_GCD, "12", "-18", "6"),
    bin(LV_OP_BINOP_GCD, "0", "0", "0"),
    bin(LV_OP_BINOP_GCD, MIN64, "0", TWO63),
    // Powers and the float functions of two operands.
    bin(LV_OP_BINOP_POWER, "2", "10", "1024.0"),
    bin(LV_OP_BINOP_POWER, "-8", "0.5", "!519 0.5 **(-8,0.5)"),
    bin(LV_OP_BINOP_IPOWER, "2", "100", "1267650600228229401496703205376"),
    bin(LV_OP_BINOP_IPOWER, "2", "-1", "!2049 2 ^(2,-1)"),
    bin(LV_OP_BINOP_IPOWER, "0", "-1", "!519 -1 ^(0,-1)"),
    bin(LV_OP_BINOP_IPOWER, "-1", "-3", "-1"),
    bin(LV_OP_BINOP_IPOWER, "2", "3.0", "8.0"),
    bin(LV_OP_BINOP_ATAN2, "0", "0", "!519 0 atan2(0,0)"),
    bin(LV_OP_BINOP_ACOT2, "1", "0", "!263 0 acot2(1,0)"),
    bin(LV_OP_BINOP_LOG, "2", "0", "!519 0 log(2,0)"),
    bin(LV_OP_BINOP_EXP, "10", "400", "!263 inf exp(10,400)"),
    // Unary operations.
    un(LV_OP_MONOP_MINUS, MIN64, TWO63),
    un(LV_OP_MONOP_MINUS, "5", "-5"),
    un(LV_OP_MONOP_MINUS, "2.5", "-2.5"),
    un(LV_OP_MONOP_MINUS, TWO63, MIN64),
    un(LV_OP_MONOP_ABS, MIN64, TWO63),
    un(LV_OP_MONOP_ABS, "-3", "3"),
    un(LV_OP_MONOP_ABS, "-2.5", "2.5"),
    un(LV_OP_MONOP_MSB, "0", "!519 0 msb(0)"),
    un(LV_OP_MONOP_MSB, "-1", "!519 -1 msb(-1)"),
    un(LV_OP_MONOP_MSB, "1", "0"),
    un(LV_OP_MONOP_MSB, MAX64, "62"),
    un(LV_OP_MONOP_MSB, TWO64, "64"),
    un(LV_OP_MONOP_SIGN, "-7", "-1"),
    un(LV_OP_MONOP_SIGN, "-2.5", "-1.0"),
    un(LV_OP_MONOP_SIGN, TWO64, "1"),
    un(LV_OP_MONOP_COMPLEMENT, "5", "-6"),
    un(LV_OP_MONOP_COMPLEMENT, TWO63, "-9223372036854775809"),
    un(LV_OP_MONOP_COMPLEMENT, "2.0", "!1025 2.0 \\(2.0)"),
    un(LV_OP_MONOP_FLOAT, "3", "3.0"),
    un(LV_OP_MONOP_FLOAT, TWO64, "1.8446744073709552e+19"),
    un(LV_OP_MONOP_FLOAT, "0.5", "0.5"),
    un(LV_OP_MONOP_INTEGER, "2.5", "2"),
    un(LV_OP_MONOP_INTEGER, "7", "7"),
    un(LV_OP_MONOP_INTEGER, "1e20", "100000000000000000000"),
    un(LV_OP_MONOP_ROUND, "-2.5", "-2"),
    un(LV_OP_MONOP_ROUND, "2.5", "3"),
    un(LV_OP_MONOP_ROUND, TWO64, TWO64),
    un(LV_OP_MONOP_TRUNCATE, "-2.5", "-2"),
    un(LV_OP_MONOP_FLOOR, "-2.5", "-3"),
    un(LV_OP_MONOP_CEILING, "2.1", "3"),
    un(LV_OP_MONOP_FLOAT_INTEGER_PART, "3", "!2049 3 float_integer_part(3)"),
    un(LV_OP_MONOP_FLOAT_FRACTIONAL_PART, "-2.25", "-0.25"),
    un(LV_OP_MONOP_SQRT, "4", "2.0"),
    un(LV_OP_MONOP_SQRT, "-1", "!519 -1 sqrt(-1)"),
    un(LV_OP_MONOP_LOG, "0", "!519 0 log(0)"),
    un(LV_OP_MONOP_ASIN, "2", "!519 2 asin(2)"),
    un(LV_OP_MONOP_EXP, "1000", "!263 inf exp(1000)"),
    un(LV_OP_MONOP_COT, "0", "!263 0 cot(0)"),
    // Comparisons: R = 1 when the relation holds.
    imm(LV_OP_EQUAL_TO, LV_OP_EQUAL_TO_IMM, "1", "1.0", "1"),
    bin(LV_OP_EQUAL_TO, "1152921504606846977", "1.152921504606846976e18", "1"),
    imm(LV_OP_EQUAL_TO, LV_OP_EQUAL_TO_IMM, "3", "4", "0"),
    imm(LV_OP_NOT_EQUAL_TO, LV_OP_NOT_EQUAL_TO_IMM, "1", "2", "1"),
    imm(LV_OP_NOT_EQUAL_TO, LV_OP_NOT_EQUAL_TO_IMM, TWO64, "0", "1"),
    imm(LV_OP_LESS_THAN, LV_OP_LESS_THAN_IMM, MIN64, MAX64, "1"),
    imm(LV_OP_LESS_THAN, LV_OP_LESS_THAN_IMM, TWO64, "3", "0"),
    imm(LV_OP_LESS_THAN, LV_OP_LESS_THAN_IMM, "2.5", "3", "1"),
    bin(LV_OP_LESS_THAN, TEN_400, "1.0", "!263 " + TEN_400 + " <(" + TEN_400 + ",1.0)"),
    imm(LV_OP_LESS_THAN, LV_OP_LESS_THAN_IMM, "nan", "1", "!263 nan <(nan,1)"),
    bin(LV_OP_GREATER_THAN, "1.0", "inf", "!263 inf >(1.0,inf)@2"),
    imm(LV_OP_NOT_LESS_THAN, LV_OP_NOT_LESS_THAN_IMM, "3", "3", "1"),
    imm(LV_OP_GREATER_THAN, LV_OP_GREATER_THAN_IMM, "2.5", "2", "1"),
    imm(LV_OP_NOT_GREATER_THAN, LV_OP_NOT_GREATER_THAN_IMM, TWO64, MAX64, "0"),
    bin(LV_OP_NOT_GREATER_THAN, TWO64, TWO64, "1"),
};

// Every case in every form that can hold it gives the same outcome.
TEST_F(ArithRunTest, SequencesInEveryForm) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(std::string(lv_instruction_name_table[c.op]) + " " + c.x + " " + c.y);
    lv_term* mark = w->H;
    run_forms(c);
    w->H = mark;
  }
}

// The forms: operands from registers, from code (constants and inline
// boxes), swapped into place, as an immediate; each also shifted by a word,
// so that both the plain and the Q form of an instruction run.
void ArithRunTest::run_forms(const Case& c) {
  int32_t flow = lv_instruction_class_table[c.op];
  lv_term x = arg(c.x), y = arg(c.y);
  lv_term in_x = num(c.x), in_y = num(c.y);
  int64_t y64 = 0;
  bool has_imm = c.imm != c.op && fits64(in_y, &y64);
  using Build = std::function<void(Assembler&)>;
  std::vector<std::pair<const char*, Build>> forms;
  if (flow == LV_FLOW_MONOP) {
    forms.push_back({"register", [&](Assembler& a) {
                       a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(c.op).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
                     }});
    forms.push_back({"code", [&](Assembler& a) {
                       load(a, true, in_x);
                       a.op(c.op).op(LV_OP_STORE_X_VARIABLE, {X(3)}).op(LV_OP_FIRST_X_VALUE, {X(3)});
                       a.op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
                     }});
  } else if (flow == LV_FLOW_STORE) {
    forms.push_back({"registers", [&](Assembler& a) {
                       a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_X_VALUE, {X(1)}).op(c.op, {L("no")});
                       branches(a);
                     }});
    forms.push_back({"code", [&](Assembler& a) {
                       load(a, true, in_x);
                       load(a, false, in_y);
                       a.op(c.op, {L("no")});
                       branches(a);
                     }});
    if (has_imm)
      forms.push_back({"immediate", [&](Assembler& a) {
                         a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(c.imm, {I(y64), L("no")});
                         branches(a);
                       }});
  } else {
    forms.push_back({"registers", [&](Assembler& a) {
                       a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_X_VALUE, {X(1)}).op(c.op);
                       a.op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
                     }});
    forms.push_back({"code", [&](Assembler& a) {
                       load(a, true, in_x);
                       load(a, false, in_y);
                       a.op(c.op).op(LV_OP_STORE_X_VARIABLE, {X(3)}).op(LV_OP_FIRST_X_VALUE, {X(3)});
                       a.op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
                     }});
    forms.push_back({"swapped, through permanent variables", [&](Assembler& a) {
                       a.op(LV_OP_FIRST_X_VALUE, {X(1)}).op(LV_OP_LATER_X_VALUE, {X(0)}).op(LV_OP_BINOP_SWAP).op(c.op);
                       a.op(LV_OP_STORE_Y_FIRST_VARIABLE, {Y(0)}).op(LV_OP_FIRST_Y_VALUE, {Y(0)});
                       a.op(LV_OP_STORE_Y_UNSAFE_VARIABLE, {Y(1)}).op(LV_OP_FIRST_Y_VALUE, {Y(1)});
                       a.op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
                     }});
    if (has_imm)
      forms.push_back({"immediate", [&](Assembler& a) {
                         a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(c.imm, {I(y64)}).op(LV_OP_STORE_X_VALUE, {X(2)});
                         a.op(LV_OP_PROCEED);
                       }});
  }
  for (const auto& [name, build] : forms) {
    for (bool shifted : {false, true}) {
      SCOPED_TRACE(std::string(name) + (shifted ? ", shifted a word" : ""));
      Assembler a;
      if (shifted) a.nop(2);
      build(a);
      EXPECT_EQ(run(a, x, y), c.expected);
    }
  }
}

TEST_F(ArithRunTest, InfAndNanAreNotNumbers) {
  Assembler inf, nan;
  inf.op(LV_OP_ANOP_INF).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
  nan.op(LV_OP_ANOP_NAN).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
  EXPECT_EQ(run(inf, small(0), small(0)), "!2305 inf $eval(inf)");
  EXPECT_EQ(run(nan, small(0), small(0)), "!2305 nan $eval(nan)");
}

// The stores: a constant or an inline box must equal the result; a bound
// register must hold the same number, in whatever form.
TEST_F(ArithRunTest, StoresCompareWithWhatIsThere) {
  struct Store {
    std::string x;       // the result of the sequence (loaded from X0)
    std::string stored;  // what it must equal; "box:" forces an inline box
    bool equal;
  };
  const Store cases[] = {
      {"7", "7", true},
      {"7", "8", false},
      {"7", "box:7", true},
      {"4611686018427387904", "box:4611686018427387904", true},
      {"4611686018427387904", "4611686018427387904", true},
      {TWO64, TWO64, true},
      {TWO64, "-" + TWO64, false},
      {"2.5", "2.5", true},
      {"2.5", "2", false},
  };
  for (const Store& c : cases) {
    SCOPED_TRACE(c.x + " = " + c.stored);
    lv_term* mark = w->H;
    lv_term stored = num(c.stored);
    std::string expected = c.equal ? "1" : "fail";
    Assembler in_code;
    in_code.op(LV_OP_FIRST_X_VALUE, {X(0)});
    int64_t v;
    if (c.stored.rfind("box:", 0) != 0 && fits64(stored, &v))
      in_code.op(LV_OP_STORE_CONSTANT, {I(v)});
    else
      in_code.op(LV_OP_STORE_LARGE, {box_operand(stored)});
    in_code.op(LV_OP_FIRST_CONSTANT, {I(1)}).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
    EXPECT_EQ(run(in_code, arg(c.x), small(0)), expected);

    Assembler bound;
    bound.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_STORE_X_VALUE, {X(1)});
    bound.op(LV_OP_FIRST_CONSTANT, {I(1)}).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
    EXPECT_EQ(run(bound, arg(c.x), arg(c.stored)), expected);
    w->H = mark;
  }
}

// A store that finds too little heap for its box makes room through the
// event path and runs the sequence again.
TEST_F(ArithRunTest, StoreMakesRoomWhenTheHeapIsShort) {
  Assembler a;
  a.op(LV_OP_FIRST_CONSTANT, {I(2)}).op(LV_OP_LATER_CONSTANT, {I(19200)}).op(LV_OP_BINOP_IPOWER);
  a.op(LV_OP_STORE_X_VARIABLE, {X(3)}).op(LV_OP_FIRST_X_VALUE, {X(3)}).op(LV_OP_MONOP_MSB);
  a.op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
  lv_pred* p = clauses("short", 3, {&a});
  lv_term result = terms::var(w);
  while (w->heap_hard_limit - w->H > 100) *w->H++ = LV_ATOM_NIL;
  uint64_t overflows = lv_shift_stats.heap_overflows;
  ASSERT_EQ(call(p, {small(0), small(0), result}), 1);
  EXPECT_EQ(lv_deref(result), small(19200));
  EXPECT_GT(lv_shift_stats.heap_overflows, overflows);
  EXPECT_EQ(redo(), 0);
}

// ANOP_IF gives the newest choicepoint as a cut target.
TEST_F(ArithRunTest, IfGivesTheNewestChoicepoint) {
  Assembler a;
  a.op(LV_OP_ANOP_IF).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
  lv_term result = terms::var(w);
  ASSERT_EQ(call(clauses("if", 3, {&a}), {small(0), small(0), result}), 1);
  EXPECT_EQ(lv_deref(result), lv_choice_offset(w, w->B));
  EXPECT_EQ(redo(), 0);
}

// Operands that are not numbers go to the evaluator and come back as
// numbers; the instruction goes on in the state they call for.
TEST_F(ArithRunTest, NonNumbersAreEvaluated) {
  struct Eval {
    const char* what;
    std::vector<std::pair<lv_insn, std::vector<Operand>>> code;
    const char* x;  // an atom for the evaluator, or a number
    const char* y;
    std::string expected;
    int evaluations;
  };
  lv_term half_box = num("0.5");
  const Eval cases[] = {
      {"first", {{LV_OP_FIRST_X_VALUE, {X(0)}}, {LV_OP_BINOP_ADD_IMM, {I(1)}}}, "seven", "0", "8", 1},
      {"first, a big value", {{LV_OP_FIRST_X_VALUE, {X(0)}}, {LV_OP_BINOP_ADD_IMM, {I(1)}}}, "big", "0",
       "1180591620717411303425", 1},
      {"later, untagged ac0", {{LV_OP_FIRST_CONSTANT, {I(5)}}, {LV_OP_LATER_X_VALUE, {X(0)}}, {LV_OP_BINOP_MULTIPLY, {}}},
       "seven", "0", "35", 1},
      {"later, a float", {{LV_OP_FIRST_CONSTANT, {I(5)}}, {LV_OP_LATER_X_VALUE, {X(0)}}, {LV_OP_BINOP_ADD, {}}}, "half",
       "0", "5.5", 1},
      {"later, tagged ac0", {{LV_OP_FIRST_LARGE, {box_operand(half_box)}}, {LV_OP_LATER_X_VALUE, {X(0)}}, {LV_OP_BINOP_ADD, {}}},
       "seven", "0", "7.5", 1},
      {"later, a big ac0", {{LV_OP_FIRST_X_VALUE, {X(1)}}, {LV_OP_LATER_X_VALUE, {X(0)}}, {LV_OP_BINOP_SUBTRACT, {}}},
       "seven", TWO64.c_str(), "18446744073709551609", 1},
      {"both", {{LV_OP_FIRST_X_VALUE, {X(0)}}, {LV_OP_LATER_X_VALUE, {X(1)}}, {LV_OP_BINOP_ADD, {}}}, "big", "seven",
       "1180591620717411303431", 2},
      {"with an event pending on return", {{LV_OP_FIRST_X_VALUE, {X(0)}}, {LV_OP_LATER_X_VALUE, {X(1)}}, {LV_OP_BINOP_SUBTRACT, {}}},
       "slow", "seven", "-4", 2},
      {"not evaluable", {{LV_OP_FIRST_X_VALUE, {X(0)}}, {LV_OP_BINOP_ADD_IMM, {I(1)}}}, "foo", "0", "fail", 1},
  };
  for (const Eval& c : cases) {
    SCOPED_TRACE(c.what);
    seen.evaluations = 0;
    seen.events = 0;
    Assembler a;
    for (const auto& [insn, operands] : c.code) {
      if (operands.empty()) {
        a.op(insn);
        continue;
      }
      if (operands.size() == 1) a.op(insn, {operands[0]});
    }
    // X5 is live across the sequence: the evaluator spoils it.
    a.op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_FIRST_X_VALUE, {X(5)}).op(LV_OP_STORE_X_VALUE, {X(5)}).op(LV_OP_PROCEED);
    lv_term x = std::isalpha(c.x[0]) ? atom(c.x) : arg(c.x);
    lv_term y = std::isalpha(c.y[0]) ? atom(c.y) : arg(c.y);
    w->X[5] = small(42);
    EXPECT_EQ(run(a, x, y), c.expected);
    EXPECT_EQ(seen.evaluations, c.evaluations);
    EXPECT_EQ(seen.events, std::string(c.x) == "slow" ? 1 : 0);
  }
}

// An unbound operand reaches the evaluator as it is (which raises the
// instantiation error); the instruction's number and place come along.
TEST_F(ArithRunTest, UnboundOperandReachesTheEvaluator) {
  Assembler a;
  a.op(LV_OP_FIRST_CONSTANT, {I(1)}).op(LV_OP_LATER_X_VALUE, {X(0)}).op(LV_OP_LESS_THAN, {L("no")});
  branches(a);
  lv_term v = terms::var(w);
  EXPECT_EQ(run(a, v, small(0)), "fail");
  EXPECT_EQ(seen.evaluations, 1);
  EXPECT_EQ(lv_deref(seen.eval_args[0]), lv_deref(v));
  EXPECT_TRUE(lv_is_ref(lv_deref(seen.eval_args[1])));
  EXPECT_EQ(seen.eval_args[3], small(2));
}

// A permanent variable of a frame still being built survives the
// evaluator: the handler frame goes above the frame, and the call after
// the sequence finds the variable.
int check_frame(lv_worker* w) {
  seen.checks++;
  return lv_deref(w->X[0]) == small(5) && lv_deref(w->X[2]) == small(10) ? 1 : 0;
}

TEST_F(ArithRunTest, FrameBeingBuiltSurvivesTheEvaluator) {
  // X0 evaluates to 3 (an event then waits) or to 7; 5 is in Y0.
  for (auto [operand, adjust] : {std::pair{"slow", int64_t{2}}, std::pair{"seven", int64_t{-2}}}) {
    SCOPED_TRACE(operand);
    Assembler a;
    a.op(LV_OP_FIRST_CONSTANT, {I(5)}).op(LV_OP_STORE_Y_FIRST_VARIABLE, {Y(0)});
    a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_Y_VALUE, {Y(0)}).op(LV_OP_BINOP_ADD).op(LV_OP_BINOP_ADD_IMM, {I(adjust)});
    a.op(LV_OP_STORE_X_VALUE, {X(2)});
    a.op(LV_OP_FIRSTCALL, {R(0, {{VALUE, 0}}), P(c_pred("check", 3, check_frame)), S(1)}).op(LV_OP_PROGRESS);
    lv_term result = terms::var(w);
    ASSERT_EQ(call(clauses(operand, 3, {&a}), {atom(operand), small(0), result}), 1);
    EXPECT_EQ(lv_deref(result), small(10));
    EXPECT_EQ(redo(), 0);
  }
  EXPECT_EQ(seen.checks, 2);
  EXPECT_EQ(seen.events, 1);
}

// An event found inside an evaluable function unwinds to the entry; the
// sequence runs again after the event, and the frame being built is kept.
// Binding an attributed variable leaves the event pending; the product of
// a big integer then meets it in the big-integer driver.
TEST_F(ArithRunTest, EventInsideAFunctionRunsTheSequenceAgain) {
  Assembler a;
  a.op(LV_OP_FIRST_CONSTANT, {I(5)}).op(LV_OP_STORE_Y_FIRST_VARIABLE, {Y(0)});
  a.op(LV_OP_FIRST_CONSTANT, {I(7)}).op(LV_OP_STORE_X_VALUE, {X(0)});
  a.op(LV_OP_FIRST_X_VALUE, {X(1)}).op(LV_OP_BINOP_MULTIPLY_IMM, {I(3)}).op(LV_OP_STORE_X_VARIABLE, {X(2)});
  a.op(LV_OP_FIRSTCALL, {R(0, {{VALUE, 0}}), P(c_pred("check", 3, [](lv_worker* w) {
                            seen.checks++;
                            return lv_deref(w->X[0]) == small(5) && arith_test::show(w->X[2]) == "55340232221128654848" ? 1 : 0;
                          })),
                          S(1)})
      .op(LV_OP_PROGRESS);
  lv_pred* p = clauses("event", 3, {&a});
  lv_term attributed = terms::attvar(w);
  ASSERT_EQ(call(p, {attributed, arg(TWO64), small(0)}), 1);
  EXPECT_EQ(seen.checks, 1);
  EXPECT_EQ(seen.events, 1);
  EXPECT_EQ(lv_deref(attributed), small(7));
  EXPECT_EQ(redo(), 0);
}

// Each sequence starts the number stack afresh: many even-state sequences
// stay within its first chunk.
TEST_F(ArithRunTest, EachSequenceEmptiesTheNumberStack) {
  Assembler a;
  a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_X_VALUE, {X(1)}).op(LV_OP_BINOP_ADD).op(LV_OP_BINOP_ADD_IMM, {I(1)});
  a.op(LV_OP_STORE_X_VARIABLE, {X(3)});
  for (int i = 0; i < 200; i++)
    a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_X_VALUE, {X(1)}).op(LV_OP_BINOP_MULTIPLY).op(LV_OP_STORE_X_VARIABLE, {X(3)});
  a.op(LV_OP_FIRST_X_VALUE, {X(3)}).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
  EXPECT_EQ(run(a, arg("1.5"), arg(TWO64)), "2.7670116110564327e+19");
  EXPECT_EQ(lv_numstack_chunk_count(), 1u);
}

// Random 64-bit operands (many at the edges) through the register and
// immediate forms, against GMP.
TEST_F(ArithRunTest, RandomOperandsAgreeWithExactArithmetic) {
  using bignum_test::Z;
  struct Op {
    lv_insn insn, imm;
    void (*exact)(mpz_t, const mpz_t, const mpz_t);
    bool divides, shifts;
  };
  auto shift_left = [](mpz_t r, const mpz_t x, const mpz_t n) {
    long c = mpz_get_si(n);
    if (c >= 0) mpz_mul_2exp(r, x, static_cast<mp_bitcnt_t>(c));
    else mpz_fdiv_q_2exp(r, x, static_cast<mp_bitcnt_t>(-c));
  };
  auto shift_right = [](mpz_t r, const mpz_t x, const mpz_t n) {
    long c = mpz_get_si(n);
    if (c >= 0) mpz_fdiv_q_2exp(r, x, static_cast<mp_bitcnt_t>(c));
    else mpz_mul_2exp(r, x, static_cast<mp_bitcnt_t>(-c));
  };
  auto max = [](mpz_t r, const mpz_t x, const mpz_t y) { mpz_set(r, mpz_cmp(x, y) >= 0 ? x : y); };
  auto min = [](mpz_t r, const mpz_t x, const mpz_t y) { mpz_set(r, mpz_cmp(x, y) <= 0 ? x : y); };
  const Op ops[] = {
      {LV_OP_BINOP_ADD, LV_OP_BINOP_ADD_IMM, mpz_add, false, false},
      {LV_OP_BINOP_SUBTRACT, LV_OP_BINOP_SUBTRACT_IMM, mpz_sub, false, false},
      {LV_OP_BINOP_MULTIPLY, LV_OP_BINOP_MULTIPLY_IMM, mpz_mul, false, false},
      {LV_OP_BINOP_IDIVIDE, LV_OP_BINOP_IDIVIDE_IMM, mpz_tdiv_q, true, false},
      {LV_OP_BINOP_FDIVIDE, LV_OP_BINOP_FDIVIDE_IMM, mpz_fdiv_q, true, false},
      {LV_OP_BINOP_REMAINDER, LV_OP_BINOP_REMAINDER_IMM, mpz_tdiv_r, true, false},
      {LV_OP_BINOP_MODULUS, LV_OP_BINOP_MODULUS_IMM, mpz_fdiv_r, true, false},
      {LV_OP_BINOP_AND, LV_OP_BINOP_AND_IMM, mpz_and, false, false},
      {LV_OP_BINOP_OR, LV_OP_BINOP_OR_IMM, mpz_ior, false, false},
      {LV_OP_BINOP_XOR, LV_OP_BINOP_XOR_IMM, mpz_xor, false, false},
      {LV_OP_BINOP_GCD, LV_OP_BINOP_GCD, mpz_gcd, false, false},
      {LV_OP_BINOP_MAXIMUM, LV_OP_BINOP_MAXIMUM, max, false, false},
      {LV_OP_BINOP_MINIMUM, LV_OP_BINOP_MINIMUM, min, false, false},
      {LV_OP_BINOP_LEFT_SHIFT, LV_OP_BINOP_LEFT_SHIFT, shift_left, false, true},
      {LV_OP_BINOP_RIGHT_SHIFT, LV_OP_BINOP_RIGHT_SHIFT, shift_right, false, true},
  };
  // One predicate per operation and form: p(X, Y, R) :- R is X op Y.
  std::vector<lv_pred*> registers, immediates;
  for (const Op& op : ops) {
    Assembler a;
    a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_X_VALUE, {X(1)}).op(op.insn).op(LV_OP_STORE_X_VALUE, {X(2)});
    a.op(LV_OP_PROCEED);
    registers.push_back(clauses(("r" + std::to_string(registers.size())).c_str(), 3, {&a}));
  }

  bignum_test::Generator g(6021);
  const int64_t edges[] = {0, 1, -1, 2, -2, INT64_MAX, INT64_MIN, INT64_MIN + 1, LV_SMALL_MAX, LV_SMALL_MIN,
                           LV_SMALL_MAX + 1, LV_SMALL_MIN - 1, int64_t{1} << 32, -(int64_t{1} << 32), 3037000499, 3037000500};
  auto operand = [&]() -> int64_t {
    switch (g.below(4)) {
      case 0: return edges[g.below(std::size(edges))];
      case 1: return static_cast<int64_t>(g.below(2000)) - 1000;
      case 2: return static_cast<int64_t>(g.word()) >> g.below(64);
      default: return static_cast<int64_t>(g.word());
    }
  };
  auto term = [&](int64_t v) { return lv_fits_small(v) ? small(v) : lv_make_integer_box(w, v); };
  for (int i = 0; i < 4000; i++) {
    lv_term* mark = w->H;
    size_t k = g.below(std::size(ops));
    const Op& op = ops[k];
    int64_t a = operand();
    int64_t b = op.shifts ? static_cast<int64_t>(g.below(141)) - 70 : operand();
    Z za, zb, expected;
    mpz_set_si(za.v, a);
    mpz_set_si(zb.v, b);
    std::string want;
    if (op.divides && b == 0) {
      want = "!775 0 ";
    } else {
      op.exact(expected.v, za.v, zb.v);
      want = expected.str();
    }
    SCOPED_TRACE(std::string(lv_instruction_name_table[op.insn]) + " " + std::to_string(a) + " " + std::to_string(b));
    bool immediate = op.imm != op.insn && g.below(2) == 0;
    lv_pred* p = registers[k];
    if (immediate) {
      Assembler imm_code;
      imm_code.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(op.imm, {I(b)}).op(LV_OP_STORE_X_VALUE, {X(2)}).op(LV_OP_PROCEED);
      p = clauses(("i" + std::to_string(i)).c_str(), 3, {&imm_code});
    }
    lv_term result = terms::var(w);
    seen.error.clear();
    std::string got;
    if (call(p, {term(a), term(b), result}) == 1) {
      got = arith_test::describe(result);
      ASSERT_EQ(redo(), 0);
    } else {
      got = seen.error.substr(0, 7);
    }
    ASSERT_EQ(got, want);
    w->H = mark;
  }
}

// Comparisons of random operands, mixing small integers, 64-bit boxes and
// big integers, against GMP.
TEST_F(ArithRunTest, RandomComparisonsAgreeWithExactArithmetic) {
  using bignum_test::Z;
  const lv_insn relations[] = {LV_OP_EQUAL_TO, LV_OP_NOT_EQUAL_TO, LV_OP_LESS_THAN, LV_OP_NOT_LESS_THAN, LV_OP_GREATER_THAN,
                               LV_OP_NOT_GREATER_THAN};
  std::vector<lv_pred*> preds;
  for (lv_insn r : relations) {
    Assembler a;
    a.op(LV_OP_FIRST_X_VALUE, {X(0)}).op(LV_OP_LATER_X_VALUE, {X(1)}).op(r, {L("no")});
    branches(a);
    preds.push_back(clauses(("c" + std::to_string(preds.size())).c_str(), 3, {&a}));
  }
  bignum_test::Generator g(99);
  for (int i = 0; i < 2000; i++) {
    lv_term* mark = w->H;
    bignum_test::Box bx = g.box(3), by = g.below(4) == 0 ? bx : g.box(3);
    Z zx(bx.data()), zy(by.data());
    int c = mpz_cmp(zx.v, zy.v);
    size_t k = g.below(std::size(relations));
    bool holds[] = {c == 0, c != 0, c < 0, c >= 0, c > 0, c <= 0};
    SCOPED_TRACE(zx.str() + " " + lv_instruction_name_table[relations[k]] + " " + zy.str());
    lv_term result = terms::var(w);
    ASSERT_EQ(call(preds[k], {arg(zx.str()), arg(zy.str()), result}), 1);
    EXPECT_EQ(lv_deref(result), small(holds[k] ? 1 : 0));
    ASSERT_EQ(redo(), 0);
    w->H = mark;
  }
}

}  // namespace
