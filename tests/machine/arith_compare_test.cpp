// Arithmetic comparison, the standard-order entry on variables and the
// normalisation of operands.
#include <gtest/gtest.h>

#include <string>

#include "core/errors.h"
#include "core/numstack.h"
#include "machine/arith.h"
#include "machine/arith_support.h"
#include "machine/routines_fixture.h"

namespace {

using arith_test::show;

class ArithCompareTest : public RoutinesTest {
 protected:
  arith_test::Numbers num;
};

const std::string TEN_400 = "1" + std::string(400, '0');

// Each case gives the three-way order of x and y (-1, 0, 1), or the error
// the comparison raises. The six relations and the three-way comparison
// must all agree with it.
TEST_F(ArithCompareTest, RelationsAgreeWithTheOrder) {
  struct Case {
    std::string x, y;
    int order;
    std::string error;  // for =:=; the other relations raise it under their names
  };
  const Case cases[] = {
      {"1", "2", -1, ""},
      {"-5", "-5", 0, ""},
      {"1", "1.0", 0, ""},
      {"1152921504606846977", "1.152921504606846976e18", 0, ""},  // 2^60+1 =:= 2.0^60, as doubles
      {"2.5", "2", 1, ""},
      // Integers by value, whatever their form.
      {"box:3", "7", -1, ""},
      {"7", "box:3", 1, ""},
      {"box:-5", "-5", 0, ""},
      {"box:0", "box:0", 0, ""},
      {"-18446744073709551616", "3", -1, ""},
      {"3", "18446744073709551616", -1, ""},
      {"18446744073709551616", "18446744073709551617", -1, ""},
      {"-18446744073709551617", "-18446744073709551616", -1, ""},
      {"-18446744073709551616", "-340282366920938463463374607431768211456", 1, ""},
      {"9223372036854775808", "box:9223372036854775807", 1, ""},
      // A float against what no double holds.
      {TEN_400, "1.0", 0, "!263 " + TEN_400 + " =:=(" + TEN_400 + ",1.0)"},
      {"1.0", TEN_400, 0, "!263 " + TEN_400 + " =:=(1.0," + TEN_400 + ")@2"},
      {"nan", "1", 0, "!263 nan =:=(nan,1)"},
      {"1", "inf", 0, "!263 inf =:=(1,inf)@2"},
      {TEN_400, "1", 1, ""},  // integers: no conversion
  };
  const struct {
    lv_arith_relation_kind relation;
    int (*f)(lv_worker*, lv_term, lv_term);
    const char* name;
    bool (*holds)(int);
  } relations[] = {
      {LV_REL_EQ, lv_arith_compare_eq, "=:=", [](int c) { return c == 0; }},
      {LV_REL_NE, lv_arith_compare_ne, "=\\=", [](int c) { return c != 0; }},
      {LV_REL_LT, lv_arith_compare_lt, "<", [](int c) { return c < 0; }},
      {LV_REL_LE, lv_arith_compare_le, "=<", [](int c) { return c <= 0; }},
      {LV_REL_GT, lv_arith_compare_gt, ">", [](int c) { return c > 0; }},
      {LV_REL_GE, lv_arith_compare_ge, ">=", [](int c) { return c >= 0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.x + " vs " + c.y);
    lv_term x = num(c.x), y = num(c.y);
    uint32_t three_way = lv_arith_compare(w, x, y);
    if (!c.error.empty()) {
      EXPECT_EQ(three_way, LV_ARITH_COMPARE_ERROR);
      ASSERT_TRUE(error_handler_called());
      EXPECT_EQ(arith_test::error_outcome(lv_pending_error_code(), handler_arg(2), handler_arg(0), handler_arg(1)), c.error);
      lv_pop_call_choicepoint(w);
    } else {
      EXPECT_EQ(three_way, static_cast<uint32_t>(c.order + 1));
    }
    for (const auto& r : relations) {
      SCOPED_TRACE(r.name);
      int holds = r.f(w, x, y);
      if (c.error.empty()) {
        EXPECT_EQ(holds, r.holds(c.order) ? 1 : 0);
        EXPECT_FALSE(error_handler_called());
        continue;
      }
      EXPECT_EQ(holds, 0);
      ASSERT_TRUE(error_handler_called());
      std::string expected = c.error;
      expected.replace(expected.find("=:="), 3, r.name);
      EXPECT_EQ(arith_test::error_outcome(lv_pending_error_code(), handler_arg(2), handler_arg(0), handler_arg(1)), expected);
      lv_pop_call_choicepoint(w);
      EXPECT_EQ(lv_arith_relation(w, x, y, r.relation), -1);
      lv_pop_call_choicepoint(w);
    }
  }
}

TEST_F(ArithCompareTest, CompareVarsOrdersVariablesFirst) {
  lv_term older = terms::var(w), younger = terms::var(w);
  lv_term bound = terms::var(w);
  terms::set(bound, lv_make_small(1));
  lv_term f = terms::fn(w, atom("f"), {lv_make_small(1)});
  struct Case {
    lv_term x, y;
    int expected;
  } cases[] = {
      {older, younger, -1},
      {younger, older, 1},
      {older, older, 0},
      {older, lv_make_small(-5), -1},
      {atom("a"), younger, 1},
      {bound, lv_make_small(1), 0},                   // dereferenced first
      {num("1.0"), lv_make_small(1), -1},             // floats before integers
      {lv_make_small(2), atom("a"), -1},
      {f, atom("z"), 1},
      {num("18446744073709551616"), lv_make_small(3), 1},
  };
  for (const Case& c : cases) EXPECT_EQ(lv_compare_vars(w, c.x, c.y), c.expected);
}

TEST_F(ArithCompareTest, OperandsEndOnTheHeap) {
  // Heap terms and small integers stay as they are.
  lv_term* h0 = w->H;
  lv_term heap_box = lv_make_integer_box(w, int64_t{1} << 62);
  lv_term* h1 = w->H;
  lv_term x, y;
  lv_arith_operands(w, heap_box, lv_make_small(4), &x, &y);
  EXPECT_EQ(x, heap_box);
  EXPECT_EQ(y, lv_make_small(4));
  EXPECT_EQ(w->H, h1);

  // Boxes elsewhere are copied with their trailers; a one-limb box of a
  // small value becomes the small integer; a heap box beside them is kept
  // by value.
  lv_term stacked = lv_numstack_push_float(w, 2.5);
  lv_arith_operands(w, stacked, num("box:-3"), &x, &y);
  ASSERT_TRUE(lv_is_float_box(x));
  EXPECT_GE(lv_struct_cells(x), h1);
  EXPECT_EQ(lv_struct_cells(x)[2], LV_BOX_FLOAT);
  EXPECT_EQ(show(x), "2.5");
  EXPECT_EQ(y, lv_make_small(-3));

  lv_term code_box = num("-340282366920938463463374607431768211456");
  lv_arith_operands(w, heap_box, code_box, &x, &y);
  EXPECT_EQ(show(x), "4611686018427387904");
  EXPECT_EQ(show(y), "-340282366920938463463374607431768211456");
  for (lv_term t : {x, y}) {
    const lv_term* cells = lv_struct_cells(t);
    EXPECT_GE(cells, h0);
    EXPECT_LT(cells, w->H);
    EXPECT_EQ(cells[lv_box_value_words(cells[0]) + 1], cells[0]);  // the trailer
  }
  lv_term none;
  lv_arith_operands(w, code_box, 0, &x, &none);
  EXPECT_EQ(none, 0u);
}

}  // namespace
