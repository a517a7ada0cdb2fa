// Boxed numbers as the emulator meets them: copies to the heap, unification
// with a box, overflow-checked multiplication and float result checks.
#include "machine/boxed_numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/numbers.h"
#include "machine/routines_fixture.h"

namespace {

using terms::fn;

uint64_t bits(double d) {
  uint64_t b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr int64_t BIG = int64_t{1} << 61;  // beyond the small integers

// A box off the heap, as in code or on the number stack: no trailer.
struct OffHeapBox {
  explicit OffHeapBox(std::vector<lv_term> words) : words_(std::move(words)) {}
  lv_term term() const { return lv_make_struct(words_.data()); }
  std::vector<lv_term> words_;
};

using BoxedNumbersTest = RoutinesTest;

TEST_F(BoxedNumbersTest, CopyGivesTheCanonicalHeapForm) {
  struct Case {
    std::vector<lv_term> box;
    lv_term small;                   // the expected small integer, or 0
    std::vector<lv_term> heap_words; // else the expected heap box, trailer included
  };
  const lv_term big = static_cast<lv_term>(BIG);
  const Case cases[] = {
      {{LV_BOX_INT1, 5}, lv_make_small(5), {}},
      {{LV_BOX_INT1, static_cast<lv_term>(LV_SMALL_MIN)}, lv_make_small(LV_SMALL_MIN), {}},
      {{LV_BOX_INT2, static_cast<lv_term>(-7), ~lv_term{0}}, lv_make_small(-7), {}},  // redundant sign limb
      {{LV_BOX_INT1, big}, 0, {LV_BOX_INT1, big, LV_BOX_INT1}},
      {{LV_BOX_INT2, 0, 1}, 0, {LV_BOX_INT2, 0, 1, LV_BOX_INT2}},
      {{LV_BOX_FLOAT, bits(-0.0)}, 0, {LV_BOX_FLOAT, 0, LV_BOX_FLOAT}},
      {{LV_BOX_FLOAT, bits(1.5)}, 0, {LV_BOX_FLOAT, bits(1.5), LV_BOX_FLOAT}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.box));
    OffHeapBox box(c.box);
    lv_term* h = w->H;
    int64_t needed = -1;
    lv_term t = lv_copy_boxed_to_heap(w, box.term(), &needed);
    if (c.small != 0) {
      EXPECT_EQ(t, c.small);
      EXPECT_EQ(w->H, h);
      continue;
    }
    ASSERT_EQ(t, lv_make_struct(h));
    EXPECT_EQ(std::vector<lv_term>(h, w->H), c.heap_words);
  }
}

TEST_F(BoxedNumbersTest, CopyKeepsAHeapBox) {
  lv_term box = lv_make_integer_box(w, BIG);
  lv_term* h = w->H;
  int64_t needed = -1;
  EXPECT_EQ(lv_copy_boxed_to_heap(w, box, &needed), box);
  EXPECT_EQ(w->H, h);
}

TEST_F(BoxedNumbersTest, CopyReportsTheRoomItNeeds) {
  OffHeapBox box({LV_BOX_INT1, static_cast<lv_term>(BIG)});
  int64_t room = lv_box_copy_room(2);
  EXPECT_EQ(room, 2 + 1 + 1153);
  w->H = w->local_base - (room - 1);
  lv_term* h = w->H;
  int64_t needed = 0;
  EXPECT_EQ(lv_copy_boxed_to_heap(w, box.term(), &needed), 0u);
  EXPECT_EQ(needed, room);
  EXPECT_EQ(w->H, h);
  w->H = w->local_base - room;
  EXPECT_EQ(lv_copy_boxed_to_heap(w, box.term(), &needed), lv_make_struct(h - 1));
}

TEST_F(BoxedNumbersTest, CopyOfANonFiniteFloatRaises) {
  struct Case {
    double value;
    int32_t code;
    const char* culprit;
  };
  for (const Case& c : {Case{std::nan(""), 1031, "nan"}, Case{INF, 263, "inf"}, Case{-INF, 263, "inf"}}) {
    SCOPED_TRACE(c.culprit);
    OffHeapBox box({LV_BOX_FLOAT, bits(c.value)});
    int64_t needed = -1;
    EXPECT_EQ(lv_copy_boxed_to_heap(w, box.term(), &needed), 0u);
    EXPECT_EQ(needed, 0);
    EXPECT_EQ(lv_pending_error_code(), c.code);
    ASSERT_TRUE(error_handler_called());
    EXPECT_EQ(text(handler_arg(0)), std::string("prolog:$eval(") + c.culprit + ")");
    EXPECT_EQ(handler_arg(1), lv_make_small(1));
    EXPECT_EQ(text(handler_arg(2)), c.culprit);
    lv_pop_call_choicepoint(w);
  }
}

TEST_F(BoxedNumbersTest, UnifyingABoxWithABoundTerm) {
  OffHeapBox big({LV_BOX_INT1, static_cast<lv_term>(BIG)});
  OffHeapBox three({LV_BOX_INT1, 3});  // not canonical, but equal to 3
  OffHeapBox minus_zero({LV_BOX_FLOAT, bits(-0.0)});
  struct Case {
    const char* name;
    const OffHeapBox& box;
    lv_term other;
    int expected;
  };
  const Case cases[] = {
      {"equal box", big, lv_make_integer_box(w, BIG), 1},
      {"other value", big, lv_make_integer_box(w, BIG + 1), 0},
      {"float box", big, lv_make_float_box(w, static_cast<double>(BIG)), 0},
      {"small", big, lv_make_small(3), 0},
      {"atom", big, LV_ATOM_NIL, 0},
      {"list", big, terms::cons(w, LV_ATOM_NIL, LV_ATOM_NIL), 0},
      {"compound", big, fn(w, atom("f"), {lv_make_small(1)}), 0},
      {"box that is a small", three, lv_make_small(3), 1},
      {"box that is a small, other", three, lv_make_small(4), 0},
      {"minus zero", minus_zero, lv_make_float_box(w, 0.0), 1},
  };
  for (auto unify : {lv_bind_boxed_number, lv_equal_boxed}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      int64_t needed = -1;
      EXPECT_EQ(unify(w, c.other, c.box.term(), &needed), c.expected);
    }
  }
}

TEST_F(BoxedNumbersTest, BindingAVariableFollowsTheTrailingRules) {
  OffHeapBox box({LV_BOX_INT1, static_cast<lv_term>(BIG)});
  enum Kind { HEAP_OLD, HEAP_NEW, LOCAL_PROTECTED, LOCAL_FREE, ATTRIBUTED };
  struct Case {
    const char* name;
    Kind kind;
    bool trailed;
  };
  const Case cases[] = {
      {"heap variable older than the choicepoint", HEAP_OLD, true},
      {"heap variable newer than the choicepoint", HEAP_NEW, false},
      {"local variable below the protected top", LOCAL_PROTECTED, true},
      {"local variable above the protected top", LOCAL_FREE, false},
      {"attributed variable", ATTRIBUTED, true},
  };
  for (auto unify : {lv_bind_boxed_number, lv_equal_boxed}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      lv_term var;
      if (c.kind == LOCAL_PROTECTED || c.kind == LOCAL_FREE) {
        lv_term* cell = w->local_top++;
        *cell = lv_make_ref(cell);
        var = *cell;
        w->saved_local_top = c.kind == LOCAL_PROTECTED ? w->local_top : cell;
      } else {
        var = c.kind == ATTRIBUTED ? terms::attvar(w) : terms::var(w);
        w->HB = c.kind == HEAP_NEW ? w->H - 1 : w->H;
      }
      lv_set_soft_limit(w, w->heap_hard_limit);
      w->wakeup_count = 0;
      lv_term* tr = w->TR;
      int64_t needed = -1;
      ASSERT_EQ(unify(w, var, box.term(), &needed), 1);
      EXPECT_EQ(text(var), "box(" + std::to_string(BIG) + ")");
      EXPECT_EQ(w->TR - tr, c.trailed ? 1 : 0);
      if (c.trailed) {
        EXPECT_EQ(*tr, var);
      }
      EXPECT_EQ(w->wakeup_count, c.kind == ATTRIBUTED ? 1 : 0);
      EXPECT_EQ(lv_event_pending(w), c.kind == ATTRIBUTED ? 1 : 0);
    }
  }
}

TEST_F(BoxedNumbersTest, BindingUsesAHeapBoxItselfAndReportsShortHeap) {
  lv_term heap_box = lv_make_integer_box(w, BIG);
  lv_term var = terms::var(w);
  int64_t needed = -1;
  lv_term* h = w->H;
  EXPECT_EQ(lv_bind_boxed_number(w, var, heap_box, &needed), 1);
  EXPECT_EQ(lv_deref(var), heap_box);
  EXPECT_EQ(w->H, h);

  OffHeapBox box({LV_BOX_INT1, static_cast<lv_term>(BIG)});
  lv_term other = terms::var(w);
  w->H = w->local_base - 1000;
  EXPECT_EQ(lv_equal_boxed(w, other, box.term(), &needed), -1);
  EXPECT_EQ(needed, lv_box_copy_room(2));
  EXPECT_TRUE(lv_is_ref(lv_deref(other)));
}

TEST_F(BoxedNumbersTest, Mul64OverflowBoundaries) {
  constexpr int64_t MIN = std::numeric_limits<int64_t>::min();
  constexpr int64_t MAX = std::numeric_limits<int64_t>::max();
  constexpr int64_t P62 = int64_t{1} << 62;
  struct Case {
    int64_t a, b;
    bool overflow;
    int64_t product;
  };
  const Case cases[] = {
      {MIN, 1, false, MIN},          {1, MIN, false, MIN},
      {MIN, -1, true, 0},            {-1, MIN, true, 0},
      {-P62, 2, false, MIN},         {P62, -2, false, MIN},
      {P62, 2, true, 0},             {-P62, -2, true, 0},
      {MAX, 1, false, MAX},          {MAX, -1, false, -MAX},
      {MAX, 2, true, 0},             {0, MIN, false, 0},
      {INT32_MAX, INT32_MAX, false, int64_t{INT32_MAX} * INT32_MAX},
      {INT32_MIN, INT32_MIN, false, int64_t{1} << 62},
      {3037000499, 3037000499, false, 9223372030926249001},
      {3037000500, 3037000500, true, 0},
      {int64_t{1} << 32, int64_t{1} << 31, true, 0},
      {-(int64_t{1} << 32), int64_t{1} << 31, false, MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " * " << c.b);
    int64_t out = 12345;
    EXPECT_EQ(lv_mul64_overflow(c.a, c.b, &out), c.overflow ? 1 : 0);
    EXPECT_EQ(out, c.overflow ? 12345 : c.product);
  }
}

TEST_F(BoxedNumbersTest, FloatResultsMustBeFinite) {
  struct Case {
    double value;
    int32_t code;         // 0: passes
    const char* culprit;
  };
  const Case cases[] = {{1.5, 0, ""}, {-0.0, 0, ""}, {std::nan(""), 519, "nan"}, {INF, 263, "inf"}, {-INF, 263, "inf"}};
  lv_pred* foo = pred("user", "foo", 1);
  for (auto check : {lv_check_float_result, lv_check_float_accumulator}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.value);
      lv_term* b = w->B;
      w->X[0] = atom("x");
      int result = check(w, c.value, foo, 1);
      if (c.code == 0) {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(w->B, b);
        continue;
      }
      EXPECT_EQ(result, 0);
      EXPECT_EQ(lv_pending_error_code(), c.code);
      ASSERT_TRUE(error_handler_called());
      EXPECT_EQ(text(handler_arg(0)), "user:foo(x)");
      EXPECT_EQ(handler_arg(1), lv_make_small(1));
      EXPECT_EQ(text(handler_arg(2)), c.culprit);
      lv_pop_call_choicepoint(w);
    }
  }
}

}  // namespace
