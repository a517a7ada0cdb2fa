// Arithmetic in native code through the glue: operands loaded into ac0 and
// ac1, the integer routines with their boxed paths, every call-out of an
// evaluable function, storing results, and the number comparisons; each on
// small integers, 64-bit integers, big integers and floats, with the same
// outcome (result or error) as the emulator's arithmetic instructions.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/numbers.h"
#include "jit/native_fixture.h"
#include "machine/arith.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

std::string error_seen;

int record_error(lv_worker*) {
  error_seen = "!" + std::to_string(lv_pending_error_code());
  return 0;
}
int succeed(lv_worker*) { return 1; }
int fail(lv_worker*) { return 0; }

// A number exactly: small integers in decimal, floats by %.17g, integer
// boxes by their limbs.
std::string number_text(lv_term t) {
  t = lv_deref(t);
  if (lv_is_small(t)) return std::to_string(lv_small_value(t));
  if (!lv_is_box(t)) return "?";
  const lv_term* cells = lv_struct_cells(t);
  char text[40];
  if (lv_box_is_float(cells[0])) {
    std::snprintf(text, sizeof text, "%.17g", lv_double_from_bits(cells[1]));
    return std::string(text) + "f";
  }
  std::string s = "i";
  for (uint64_t i = lv_box_value_words(cells[0]); i >= 1; i--) {
    std::snprintf(text, sizeof text, ":%016" PRIx64, cells[i]);
    s += text;
  }
  return s;
}

// A call-out: its glue routine, the emulator's instruction, its operands
// and the integer routine that stands before it for untagged operands.
struct function {
  const char* callout;
  lv_insn insn;
  int operands;
  const char* unboxed;
};
const function FUNCTIONS[] = {
    {"native_minus", LV_OP_MONOP_MINUS, 1, nullptr},
    {"native_integer1", LV_OP_MONOP_INTEGER, 1, nullptr},
    {"native_float1", LV_OP_MONOP_FLOAT, 1, nullptr},
    {"native_complement", LV_OP_MONOP_COMPLEMENT, 1, nullptr},
    {"native_sin", LV_OP_MONOP_SIN, 1, nullptr},
    {"native_cos", LV_OP_MONOP_COS, 1, nullptr},
    {"native_tan", LV_OP_MONOP_TAN, 1, nullptr},
    {"native_cot", LV_OP_MONOP_COT, 1, nullptr},
    {"native_sinh", LV_OP_MONOP_SINH, 1, nullptr},
    {"native_cosh", LV_OP_MONOP_COSH, 1, nullptr},
    {"native_tanh", LV_OP_MONOP_TANH, 1, nullptr},
    {"native_coth", LV_OP_MONOP_COTH, 1, nullptr},
    {"native_asin", LV_OP_MONOP_ASIN, 1, nullptr},
    {"native_acos", LV_OP_MONOP_ACOS, 1, nullptr},
    {"native_atan", LV_OP_MONOP_ATAN, 1, nullptr},
    {"native_acot", LV_OP_MONOP_ACOT, 1, nullptr},
    {"native_asinh", LV_OP_MONOP_ASINH, 1, nullptr},
    {"native_acosh", LV_OP_MONOP_ACOSH, 1, nullptr},
    {"native_atanh", LV_OP_MONOP_ATANH, 1, nullptr},
    {"native_acoth", LV_OP_MONOP_ACOTH, 1, nullptr},
    {"native_sqrt", LV_OP_MONOP_SQRT, 1, nullptr},
    {"native_log", LV_OP_MONOP_LOG, 1, nullptr},
    {"native_exp", LV_OP_MONOP_EXP, 1, nullptr},
    {"native_abs", LV_OP_MONOP_ABS, 1, nullptr},
    {"native_msb", LV_OP_MONOP_MSB, 1, "native_msb_unboxed"},
    {"native_round", LV_OP_MONOP_ROUND, 1, nullptr},
    {"native_truncate", LV_OP_MONOP_TRUNCATE, 1, nullptr},
    {"native_floor", LV_OP_MONOP_FLOOR, 1, nullptr},
    {"native_ceiling", LV_OP_MONOP_CEILING, 1, nullptr},
    {"native_sign", LV_OP_MONOP_SIGN, 1, nullptr},
    {"native_float_integer_part", LV_OP_MONOP_FLOAT_INTEGER_PART, 1, nullptr},
    {"native_float_fractional_part", LV_OP_MONOP_FLOAT_FRACTIONAL_PART, 1, nullptr},
    {"native_add", LV_OP_BINOP_ADD, 2, nullptr},
    {"native_subtract", LV_OP_BINOP_SUBTRACT, 2, nullptr},
    {"native_multiply", LV_OP_BINOP_MULTIPLY, 2, nullptr},
    {"native_idivide", LV_OP_BINOP_IDIVIDE, 2, "native_idivide_unboxed"},
    {"native_fdivide", LV_OP_BINOP_FDIVIDE, 2, "native_fdivide_unboxed"},
    {"native_modulus", LV_OP_BINOP_MODULUS, 2, "native_modulus_unboxed"},
    {"native_remainder", LV_OP_BINOP_REMAINDER, 2, "native_remainder_unboxed"},
    {"native_divide", LV_OP_BINOP_DIVIDE, 2, nullptr},
    {"native_maximum", LV_OP_BINOP_MAXIMUM, 2, nullptr},
    {"native_minimum", LV_OP_BINOP_MINIMUM, 2, nullptr},
    {"native_xor", LV_OP_BINOP_XOR, 2, nullptr},
    {"native_and", LV_OP_BINOP_AND, 2, nullptr},
    {"native_or", LV_OP_BINOP_OR, 2, nullptr},
    {"native_left_shift", LV_OP_BINOP_LEFT_SHIFT, 2, "native_lsh_unboxed"},
    {"native_right_shift", LV_OP_BINOP_RIGHT_SHIFT, 2, "native_rsh_unboxed"},
    {"native_atan2", LV_OP_BINOP_ATAN2, 2, nullptr},
    {"native_acot2", LV_OP_BINOP_ACOT2, 2, nullptr},
    {"native_log2", LV_OP_BINOP_LOG, 2, nullptr},
    {"native_exp2", LV_OP_BINOP_EXP, 2, nullptr},
    {"native_power2", LV_OP_BINOP_POWER, 2, nullptr},
    {"native_gcd", LV_OP_BINOP_GCD, 2, "native_gcd_unboxed"},
    {"native_ipower2", LV_OP_BINOP_IPOWER, 2, "native_ipower2_unboxed"},
};

class NativeArithTest : public NativeTest {
 protected:
  void SetUp() override {
    NativeTest::SetUp();
    error_seen.clear();
    role("$error_handler", 4, record_error);
    role("$event_handler", 0, succeed);
    role("$eval_handler", 4, fail);
    role("$run_woken_goals", 1, succeed);
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    lv_lookup_role_predicates();
  }

  // Numbers as arguments, on the heap.
  lv_term big(int shift, bool negative) {
    lv_term b = lv_arith_shl(w, small(1), small(shift));
    if (negative) b = lv_arith_neg(w, b);
    return lv_copy_number_box(w, lv_struct_cells(b));
  }
  std::vector<lv_term> operands() {
    return {small(0),
            small(1),
            small(7),
            small(-3),
            small(63),
            small(64),
            small(-100),
            lv_make_integer(w, int64_t{1} << 62),
            lv_make_integer(w, INT64_MAX),
            lv_make_integer(w, INT64_MIN),
            big(64, false),
            big(70, true),
            lv_make_float_box(w, 2.5),
            lv_make_float_box(w, -0.5),
            lv_make_float_box(w, 1e10)};
  }

  // The outcome of p(X, [Y,] R): the number R, "fail", or the error raised.
  std::string outcome(lv_pred* p, lv_term x, lv_term y, int operands) {
    error_seen.clear();
    lv_term r = terms::var(w);
    int ok = operands == 1 ? call(p, {x, r}) : call(p, {x, y, r});
    if (ok != 1) return error_seen.empty() ? "fail" : error_seen;
    std::string s = number_text(r);
    EXPECT_EQ(redo(), 0);
    return s;
  }

  // The emulator's p(X, [Y,] R) :- R is op(X[, Y]).
  lv_pred* emulated(const function& f) {
    Assembler a;
    a.op(LV_OP_FIRST_X_VALUE, {X(0)});
    if (f.operands == 2) a.op(LV_OP_LATER_X_VALUE, {X(1)});
    a.op(f.insn).op(LV_OP_STORE_X_VALUE, {X(static_cast<unsigned>(f.operands))}).op(LV_OP_PROCEED);
    return clauses(("e_" + std::string(f.callout)).c_str(), static_cast<unsigned>(f.operands) + 1, {&a});
  }

  // The same natively: untagged operands go through the integer routine
  // (its boxed path into the call-out) or are boxed for the call-out; a
  // tagged one goes straight to the call-out. A unary result is made a heap
  // term (store_variable) and unified; a binary one is unified with R
  // directly (store_value).
  lv_pred* native(const function& f) {
    std::string routine = f.unboxed != nullptr ? f.unboxed : "";
    std::vector<std::string> body = {"move(0, w_numstack_end)", "move(x(0), arg0)",
                                     "call(kernel(native_first_value))", "branch(e, label(0))"};
    if (f.operands == 2) {
      body.insert(body.end(), {"move(x(1), arg0)", "call(kernel(native_later_value_unboxed))", "branch(e, label(1))"});
      if (!routine.empty())
        body.insert(body.end(), {"call(kernel(" + routine + "))", "branch(e, label(1))", "jump(label(2))"});
      else
        body.insert(body.end(), {"call(kernel(native_first_long))", "call(kernel(native_later_long))", "jump(label(1))"});
      body.insert(body.end(), {"label(0)", "move(x(1), arg0)", "call(kernel(native_later_value_boxed))"});
    } else {
      if (!routine.empty())
        body.insert(body.end(), {"call(kernel(" + routine + "))", "branch(ne, label(2))"});
      else
        body.push_back("call(kernel(native_first_long))");
      body.push_back("label(0)");
    }
    std::string r = n(f.operands);
    body.insert(body.end(), {"label(1)", "call(kernel(" + std::string(f.callout) + "))", "branch(e, label(3))"});
    if (f.operands == 2)
      body.insert(body.end(), {"label(2)", "move(x(2), arg0)", "call(kernel(native_store_value_unboxed))",
                               "jump(kernel(native_proceed))", "label(3)", "move(x(2), arg0)",
                               "call(kernel(native_store_value_boxed))", "jump(kernel(native_proceed))"});
    else
      body.insert(body.end(), {"label(2)", "call(kernel(native_store_variable_unboxed))", "jump(label(4))", "label(3)",
                               "call(kernel(native_store_variable_boxed))", "label(4)", "move(x(1), arg1)",
                               "call(kernel(native_get_value))", "jump(kernel(native_proceed))"});
    lv_pred* p = pred("user", ("n_" + std::string(f.callout)).c_str(), static_cast<unsigned>(f.operands) + 1);
    install(p, {prologue(), body}, 5);
    link(p);
    return p;
  }
};

TEST_F(NativeArithTest, EveryCallOutGivesTheEmulatorsOutcome) {
  std::vector<lv_term> xs = operands();
  for (const function& f : FUNCTIONS) {
    lv_pred* n_p = native(f);
    lv_pred* e_p = emulated(f);
    for (lv_term x : xs) {
      if (f.operands == 1) {
        EXPECT_EQ(outcome(n_p, x, 0, 1), outcome(e_p, x, 0, 1)) << f.callout << " " << number_text(x);
        continue;
      }
      for (lv_term y : xs)
        EXPECT_EQ(outcome(n_p, x, y, 2), outcome(e_p, x, y, 2))
            << f.callout << " " << number_text(x) << " " << number_text(y);
    }
  }
}

TEST_F(NativeArithTest, IntegerRoutinesAtTheEdgesOfSixtyFourBits) {
  // Outcomes for untagged operands beyond the common table: the boxed
  // paths of gcd, the divisions by -1 and 0, and shifts by every distance.
  const int64_t edges[] = {0, 1, -1, 2, -2, 62, 63, 64, 65, -63, -64, -65, INT64_MAX, INT64_MIN, INT64_MIN + 1};
  for (const function& f : FUNCTIONS) {
    if (f.unboxed == nullptr) continue;
    lv_pred* n_p = native(f);
    lv_pred* e_p = emulated(f);
    for (int64_t a : edges) {
      lv_term x = lv_make_integer(w, a);
      if (f.operands == 1) {
        EXPECT_EQ(outcome(n_p, x, 0, 1), outcome(e_p, x, 0, 1)) << f.callout << " " << a;
        continue;
      }
      for (int64_t b : edges) {
        lv_term y = lv_make_integer(w, b);
        EXPECT_EQ(outcome(n_p, x, y, 2), outcome(e_p, x, y, 2)) << f.callout << " " << a << " " << b;
      }
    }
  }
  // The listed edge cases themselves.
  const function& gcd = FUNCTIONS[52];
  ASSERT_STREQ(gcd.callout, "native_gcd");
  EXPECT_EQ(outcome(native(gcd), small(0), small(0), 2), "0");
}

TEST_F(NativeArithTest, OverflowChecksLeaveSixtyFourBitsThroughTheCallOut) {
  // R is X op Y inline (addo, subo, mulo), boxed on overflow.
  struct {
    const char* name;
    const char* inline_op;
    lv_insn insn;
  } ops[] = {{"native_add", "addo", LV_OP_BINOP_ADD},
             {"native_subtract", "subo", LV_OP_BINOP_SUBTRACT},
             {"native_multiply", "mulo", LV_OP_BINOP_MULTIPLY}};
  const int64_t values[] = {0, 1, -1, 3, INT64_MAX, INT64_MIN, int64_t{1} << 32, -(int64_t{1} << 40)};
  for (const auto& op : ops) {
    lv_pred* p = pred("user", (std::string("i_") + op.inline_op).c_str(), 3);
    install(p,
            {prologue(),
             {"move(0, w_numstack_end)", "move(x(0), arg0)", "call(kernel(native_first_value))", "move(x(1), arg0)",
              "call(kernel(native_later_value_unboxed))", "move(ac0, arg0)",
              std::string(op.inline_op) + "(arg0, ac1, arg0, label(0))", "move(arg0, ac0)", "move(x(2), arg0)",
              "call(kernel(native_store_value_unboxed))", "jump(kernel(native_proceed))", "label(0)",
              "call(kernel(native_first_long))", "call(kernel(native_later_long))",
              "call(kernel(" + std::string(op.name) + "))", "branch(e, label(1))", "move(x(2), arg0)",
              "call(kernel(native_store_value_unboxed))", "jump(kernel(native_proceed))", "label(1)",
              "move(x(2), arg0)", "call(kernel(native_store_value_boxed))", "jump(kernel(native_proceed))"}},
            2);
    link(p);
    function f = {op.name, op.insn, 2, nullptr};
    lv_pred* e_p = emulated(f);
    for (int64_t a : values)
      for (int64_t b : values) {
        lv_term x = lv_make_integer(w, a), y = lv_make_integer(w, b);
        EXPECT_EQ(outcome(p, x, y, 2), outcome(e_p, x, y, 2)) << op.inline_op << " " << a << " " << b;
      }
  }
  // The sum of two 64-bit integers that overflows is a big integer.
  lv_pred* add = pred("user", "i_addo", 3);
  EXPECT_EQ(outcome(add, lv_make_integer(w, INT64_MAX), small(1), 2), "i:0000000000000000:8000000000000000");
}

TEST_F(NativeArithTest, CallOutEdgeCases) {
  auto find = [](const char* name) -> const function& {
    for (const function& f : FUNCTIONS)
      if (std::string(f.callout) == name) return f;
    throw std::invalid_argument(name);
  };
  // float_integer_part(2.5) is the float 2.0; msb of a 64-bit integer box
  // an integer; a zero divisor in // raises the error (775) and fails.
  EXPECT_EQ(outcome(native(find("native_float_integer_part")), lv_make_float_box(w, 2.5), 0, 1), "2f");
  EXPECT_EQ(outcome(native(find("native_msb")), lv_make_integer(w, int64_t{1} << 62), 0, 1), "62");
  EXPECT_EQ(outcome(native(find("native_idivide")), small(7), small(0), 2), "!775");
  EXPECT_EQ(outcome(native(find("native_power2")), small(2), small(-1), 2), "0.5f");
}

TEST_F(NativeArithTest, NumberComparisonsAndBitTests) {
  // cmp(X, Y, R): R is <, = or > by native_compare_numbers on tagged
  // operands; bits(X, Y): succeeds when X /\ Y is 0.
  lv_pred* cmp = pred("user", "cmp", 3);
  std::vector<std::string> load = {"move(0, w_numstack_end)", "move(x(0), arg0)", "call(kernel(native_first_value))",
                                   "branch(e, label(0))", "call(kernel(native_first_long))", "label(0)",
                                   "move(x(1), arg0)", "call(kernel(native_later_value_boxed))"};
  std::vector<std::string> compare = load;
  compare.insert(compare.end(),
                 {"call(kernel(native_compare_numbers))", "branch(l, label(1))", "branch(g, label(2))",
                  "move(constant('='), arg1)", "jump(label(3))", "label(1)", "move(constant('<'), arg1)",
                  "jump(label(3))", "label(2)", "move(constant('>'), arg1)", "label(3)", "move(x(2), arg0)",
                  "call(kernel(native_get_constant))", "jump(kernel(native_proceed))"});
  install(cmp, {prologue(), compare}, 4);
  lv_pred* bits = pred("user", "bits", 2);
  std::vector<std::string> test = load;
  test.insert(test.end(), {"call(kernel(native_test_numbers))", "branch(ne, kernel(native_fail_jit))",
                           "jump(kernel(native_proceed))"});
  install(bits, {prologue(), test}, 1);
  for (lv_pred* p : {cmp, bits}) link(p);
  auto order = [&](lv_term x, lv_term y) {
    lv_term r = terms::var(w);
    if (call(cmp, {x, y, r}) != 1) return std::string("fail");
    std::string s = lv_atom_text(lv_deref(r));
    EXPECT_EQ(redo(), 0);
    return s;
  };
  EXPECT_EQ(order(small(1), small(2)), "<");
  EXPECT_EQ(order(small(2), lv_make_float_box(w, 2.0)), "=");
  EXPECT_EQ(order(big(64, false), lv_make_float_box(w, 2.5)), ">");
  EXPECT_EQ(order(lv_make_integer(w, INT64_MIN), big(70, true)), ">");
  EXPECT_EQ(order(lv_make_float_box(w, -0.5), small(0)), "<");
  EXPECT_EQ(call(bits, {small(12), small(3)}), 1);
  EXPECT_EQ(call(bits, {small(12), small(4)}), 0);
  EXPECT_EQ(call(bits, {big(64, false), small(-1)}), 0);
  EXPECT_EQ(call(bits, {big(64, false), small(1)}), 1);
  // A float in a bit test raises the error.
  EXPECT_EQ(call(bits, {lv_make_float_box(w, 1.0), small(1)}), 0);
  EXPECT_EQ(error_seen, "!1025");
}

}  // namespace
