// The term functions as an embedding program reaches them: every call goes
// through the dispatch record's C-interface table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "embed/dispatch_fixture.h"
#include "embed/term_interface.h"
#include "lvio/initialize.h"
#include "lvio/result_codes.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "support/temp_files.h"
#include "support/terms.h"

namespace {

using TermInterface = DispatchTest;

TEST_F(TermInterface, IntegersRoundTripOnBothSidesOfTheSmallIntegerRange) {
  const int64_t small_max = (int64_t{1} << 60) - 1;
  for (int64_t v : {int64_t{0}, int64_t{-1}, int64_t{42}, small_max, small_max + 1, -small_max - 1, -small_max - 2,
                    INT64_MAX, INT64_MIN}) {
    ref t = new_ref();
    ASSERT_EQ(put_integer(t, v), 1);
    EXPECT_EQ(type(t), 2);
    EXPECT_EQ(is(LV_SLOT_LV_is_integer, t), 1);
    EXPECT_EQ(is(LV_SLOT_LV_is_atomic, t), 1);
    EXPECT_EQ(is(LV_SLOT_LV_is_float, t), 0);
    int64_t back = 0;
    EXPECT_EQ(get_integer(t, &back), 1);
    EXPECT_EQ(back, v);
    EXPECT_EQ(number_codes(t), std::to_string(v));
    void* address = nullptr;
    EXPECT_EQ(API(LV_get_address)(t, &address), 1);
    EXPECT_EQ(reinterpret_cast<int64_t>(address), v);
  }
}

TEST_F(TermInterface, FloatsAndTheirConversions) {
  ref t = new_ref();
  double d = 0;
  ASSERT_EQ(put_float(t, 2.5), 1);
  EXPECT_EQ(type(t), 4);
  EXPECT_EQ(get_float(t, &d), 1);
  EXPECT_EQ(d, 2.5);
  EXPECT_EQ(number_codes(t), "2.5");
  ASSERT_EQ(put_float(t, -0.0), 1);
  EXPECT_EQ(get_float(t, &d), 1);
  EXPECT_FALSE(std::signbit(d));
  clear_error();
  EXPECT_EQ(put_float(t, INFINITY), 0);
  EXPECT_EQ(errno_(), 12);
  EXPECT_EQ(put_float(t, NAN), 0);

  struct {
    double value;
    int ok;
    int64_t integer;
  } cases[] = {{3.7, 1, 3}, {-3.7, 1, -3}, {9223372036854775808.0, 0, 0}, {-9223372036854775808.0, 0, 0}};
  for (auto& c : cases) {
    ASSERT_EQ(put_float(t, c.value), 1);
    int64_t v = 0;
    clear_error();
    EXPECT_EQ(get_integer(t, &v), c.ok) << c.value;
    if (c.ok) {
      EXPECT_EQ(v, c.integer);
    } else {
      EXPECT_EQ(errno_(), 11);
    }
  }
  ASSERT_EQ(put_integer(t, 7), 1);
  EXPECT_EQ(get_float(t, &d), 1);
  EXPECT_EQ(d, 7.0);
}

TEST_F(TermInterface, BigIntegersFromBytesAndText) {
  auto put_bytes = API(LV_put_integer_bytes);
  auto get_bytes = API(LV_get_integer_bytes);
  // 2^100 and -2^100 as 16 little-endian bytes.
  for (int sign : {1, -1}) {
    unsigned char bytes[16] = {};
    bytes[12] = 0x10;
    if (sign < 0) {
      // Two's complement of 2^100.
      for (auto& b : bytes) b = static_cast<unsigned char>(~b);
      for (int i = 0; i < 16 && ++bytes[i] == 0; i++) {}
    }
    ref t = new_ref();
    ASSERT_EQ(put_bytes(t, bytes, sizeof bytes, 0), 1);
    EXPECT_EQ(type(t), 2);
    std::string digits = sign > 0 ? "1267650600228229401496703205376" : "-1267650600228229401496703205376";
    EXPECT_EQ(number_codes(t), digits);
    int64_t v = 0;
    clear_error();
    EXPECT_EQ(get_integer(t, &v), 0);
    EXPECT_EQ(errno_(), 11);

    ref u = new_ref();
    ASSERT_EQ(put_number_codes(u, digits.c_str()), 1);
    EXPECT_EQ(compare(t, u), 0);
    EXPECT_EQ(unify(t, u), 1);

    unsigned char back[20];
    size_t count = 4;
    clear_error();
    EXPECT_EQ(get_bytes(t, back, &count, 0), 0);
    EXPECT_EQ(errno_(), 16);
    EXPECT_EQ(count, 13u);
    count = sizeof back;
    ASSERT_EQ(get_bytes(t, back, &count, 0), 1);
    EXPECT_EQ(count, 13u);
    EXPECT_EQ(std::memcmp(back, bytes, 16), 0);
  }
}

TEST_F(TermInterface, IntegerBytesOfSmallAndNativeIntegers) {
  auto put_bytes = API(LV_put_integer_bytes);
  auto get_bytes = API(LV_get_integer_bytes);
  ref t = new_ref();
  int32_t native = -5;
  ASSERT_EQ(put_bytes(t, &native, 4, 1), 1);
  int64_t v = 0;
  EXPECT_EQ(get_integer(t, &v), 1);
  EXPECT_EQ(v, -5);
  clear_error();
  EXPECT_EQ(put_bytes(t, &native, 3, 1), 0);
  EXPECT_EQ(errno_(), 2);
  // Redundant sign bytes are dropped: nine bytes of -1 read as -1.
  unsigned char ones[9];
  std::memset(ones, 0xFF, sizeof ones);
  ASSERT_EQ(put_bytes(t, ones, sizeof ones, 0), 1);
  EXPECT_EQ(get_integer(t, &v), 1);
  EXPECT_EQ(v, -1);

  struct {
    int64_t value;
    size_t bytes;
  } cases[] = {{0, 1}, {127, 1}, {128, 2}, {-128, 1}, {-129, 2}, {int64_t{1} << 40, 6}};
  for (auto& c : cases) {
    ASSERT_EQ(put_integer(t, c.value), 1);
    unsigned char out[8];
    size_t count = sizeof out;
    ASSERT_EQ(get_bytes(t, out, &count, 0), 1);
    EXPECT_EQ(count, c.bytes) << c.value;
    int64_t back;
    std::memcpy(&back, out, 8);
    EXPECT_EQ(back, c.value);
    int16_t small = 0;
    count = 2;
    EXPECT_EQ(get_bytes(t, &small, &count, 1), c.bytes <= 2 ? 1 : 0);
    if (c.bytes <= 2) {
      EXPECT_EQ(small, c.value);
    }
  }
}

TEST_F(TermInterface, AtomsFromC) {
  ref t = new_ref();
  ASSERT_EQ(API(LV_put_string)(t, "h\xc3\xa9llo"), 1);
  EXPECT_EQ(type(t), 3);
  EXPECT_EQ(string_of(t), "h\xc3\xa9llo");
  lv_term a = 0;
  ASSERT_EQ(API(LV_get_atom)(t, &a), 1);
  EXPECT_EQ(a, atom("h\xc3\xa9llo"));
  EXPECT_STREQ(API(LV_string_from_atom)(a), "h\xc3\xa9llo");
  EXPECT_EQ(API(LV_atom_length)(a), 6u);
  auto existing = API(LV_existing_atom_from_string);
  EXPECT_EQ(existing("h\xc3\xa9llo"), a);
  EXPECT_EQ(existing("an atom nobody made"), 0u);
  // The count saturates at 255, after which it is never lowered.
  for (int i = 0; i < 300; i++) EXPECT_EQ(API(LV_register_atom)(a), 1);
  EXPECT_EQ(lv_atom_record(a)->refcount, 255);
  EXPECT_EQ(API(LV_unregister_atom)(a), 1);
  EXPECT_EQ(lv_atom_record(a)->refcount, 255);
  lv_term fresh = atom("registered once");
  EXPECT_EQ(API(LV_unregister_atom)(fresh), 1);  // 0 stays 0
  EXPECT_EQ(lv_atom_record(fresh)->refcount, 0);
  EXPECT_EQ(API(LV_register_atom)(fresh), 1);
  EXPECT_EQ(lv_atom_record(fresh)->refcount, 1);
  EXPECT_EQ(API(LV_unregister_atom)(fresh), 1);
  EXPECT_EQ(lv_atom_record(fresh)->refcount, 0);
  clear_error();
  EXPECT_EQ(API(LV_register_atom)(lv_make_small(3)), 0);
  EXPECT_EQ(errno_(), 11);

  clear_error();
  EXPECT_EQ(put_atom(t, 42), 0);
  EXPECT_EQ(errno_(), 11);
  EXPECT_EQ(API(LV_put_string)(t, nullptr), 0);
  EXPECT_EQ(errno_(), 7);
  EXPECT_EQ(API(LV_put_string)(t, "\xff"), 0);
  EXPECT_EQ(errno_(), 14);
  ASSERT_EQ(put_integer(t, 1), 1);
  lv_term name;
  EXPECT_EQ(API(LV_get_atom)(t, &name), 0);
  EXPECT_EQ(errno_(), 11);
}

TEST_F(TermInterface, CompoundTermsAndListCells) {
  lv_term foo = atom("foo");
  ref t = new_ref(), arg = new_ref();
  ASSERT_EQ(put_functor(t, foo, 3), 1);
  EXPECT_EQ(type(t), 5);
  EXPECT_EQ(is(LV_SLOT_LV_is_list, t), 0);
  lv_term name = 0;
  int arity = 0;
  ASSERT_EQ(get_functor(t, &name, &arity), 1);
  EXPECT_EQ(name, foo);
  EXPECT_EQ(arity, 3);
  ASSERT_EQ(get_arg(3, t, arg), 1);
  EXPECT_EQ(is(LV_SLOT_LV_is_variable, arg), 1);
  clear_error();
  EXPECT_EQ(get_arg(4, t, arg), 0);

  ASSERT_EQ(put_functor(t, atom("."), 2), 1);
  EXPECT_EQ(is(LV_SLOT_LV_is_list, t), 1);
  EXPECT_EQ(is(LV_SLOT_LV_is_compound, t), 1);
  ASSERT_EQ(get_functor(t, &name, &arity), 1);
  EXPECT_EQ(name, atom("."));
  EXPECT_EQ(arity, 2);
  ASSERT_EQ(put_functor(t, foo, 0), 1);
  EXPECT_EQ(type(t), 3);

  struct {
    lv_term name;
    int arity;
    int error;
  } refused[] = {{foo, 256, 12}, {atom("$mutable"), 2, 12}, {atom("$array1d"), 2, 12}, {lv_term{7} << 3, 1, 11}};
  for (auto& c : refused) {
    clear_error();
    EXPECT_EQ(put_functor(t, c.name, c.arity), 0);
    EXPECT_EQ(errno_(), c.error);
  }
}

TEST_F(TermInterface, ConsBuildsFromReferencedTermsAndSharesVariables) {
  ref t = new_ref(), a = new_ref(), x = new_ref(), arg = new_ref(), head = new_ref(), tail = new_ref();
  ASSERT_EQ(put_integer(a, 1), 1);
  ASSERT_EQ(put_variable(x), 1);
  lv_term f = atom("f");
  auto cons = API(LV_cons_functor);
  ASSERT_EQ(cons(t, f, 2, a, x), 1);
  ASSERT_EQ(get_arg(2, t, arg), 1);
  EXPECT_EQ(compare(arg, x), 0);
  // Binding the variable is seen in the term.
  ref b = new_ref();
  ASSERT_EQ(put_atom(b, atom("b")), 1);
  ASSERT_EQ(unify(x, b), 1);
  ASSERT_EQ(get_arg(2, t, arg), 1);
  EXPECT_EQ(string_of(arg), "b");

  ref args[3] = {a, b, a};
  ASSERT_EQ(API(LV_cons_functor_array)(t, f, 3, args), 1);
  int64_t v = 0;
  ASSERT_EQ(get_arg(3, t, arg), 1);
  EXPECT_EQ(get_integer(arg, &v), 1);
  ref bad[1] = {999};
  clear_error();
  EXPECT_EQ(API(LV_cons_functor_array)(t, f, 1, bad), 0);
  EXPECT_EQ(errno_(), 2);

  ASSERT_EQ(API(LV_cons_list)(t, a, b), 1);
  EXPECT_EQ(is(LV_SLOT_LV_is_list, t), 1);
  ASSERT_EQ(API(LV_get_list)(t, head, tail), 1);
  EXPECT_EQ(get_integer(head, &v), 1);
  EXPECT_EQ(v, 1);
  EXPECT_EQ(string_of(tail), "b");
  ASSERT_EQ(API(LV_put_list)(t), 1);
  ASSERT_EQ(API(LV_get_list)(t, head, tail), 1);
  EXPECT_EQ(is(LV_SLOT_LV_is_variable, head), 1);
  EXPECT_EQ(API(LV_put_term)(head, a), 1);
  EXPECT_EQ(compare(head, a), 0);
}

TEST_F(TermInterface, CodeAndByteLists) {
  ref t = new_ref(), nil = new_ref(), rest = new_ref();
  ASSERT_EQ(put_atom(nil, atom("[]")), 1);
  ASSERT_EQ(API(LV_put_list_codes)(t, nil, "a\xc3\xa9z"), 1);
  const char* text = nullptr;
  ASSERT_EQ(API(LV_get_list_codes)(t, &text), 1);
  EXPECT_STREQ(text, "a\xc3\xa9z");
  // Only whole characters that fit go to the buffer; the rest stays a list.
  char buffer[2];
  int count = 0;
  ASSERT_EQ(API(LV_get_list_n_codes)(t, rest, 2, &count, buffer), 1);
  EXPECT_EQ(count, 1);
  ASSERT_EQ(API(LV_get_list_codes)(rest, &text), 1);
  EXPECT_STREQ(text, "\xc3\xa9z");
  ASSERT_EQ(API(LV_put_list_n_codes)(t, nil, 2, "ab--"), 1);
  ASSERT_EQ(API(LV_get_list_codes)(t, &text), 1);
  EXPECT_STREQ(text, "ab");
  clear_error();
  EXPECT_EQ(API(LV_put_list_codes)(t, nil, nullptr), 0);
  EXPECT_EQ(errno_(), 7);

  const unsigned char bytes[] = {0, 200, 255, 7};
  auto put_bytes = API(LV_put_list_n_bytes);
  auto get_bytes = API(LV_get_list_n_bytes);
  ASSERT_EQ(put_bytes(t, nil, sizeof bytes, bytes), 1);
  unsigned char back[3];
  size_t n = 0;
  ASSERT_EQ(get_bytes(t, rest, 3, &n, back), 1);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(std::memcmp(back, bytes, 3), 0);
  ASSERT_EQ(get_bytes(rest, rest, 3, &n, back), 1);
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(back[0], 7);
  EXPECT_EQ(string_of(rest), "[]");
  // A code that is not a byte.
  ASSERT_EQ(API(LV_put_list_codes)(t, nil, "\xc4\x80"), 1);
  clear_error();
  EXPECT_EQ(get_bytes(t, rest, 3, &n, back), 0);
  EXPECT_EQ(errno_(), 12);
}

TEST_F(TermInterface, NumberTexts) {
  ref t = new_ref();
  struct {
    const char* text;
    int ok;
    const char* back;
  } cases[] = {{"12", 1, "12"}, {"-7", 1, "-7"}, {"0x1f", 1, "31"}, {"1.5e3", 1, "1500.0"}, {"abc", 0, ""},
               {"", 0, ""}, {"12 13", 0, ""}};
  for (auto& c : cases) {
    clear_error();
    EXPECT_EQ(put_number_codes(t, c.text), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(number_codes(t), c.back);
    } else {
      EXPECT_EQ(errno_(), 13);
    }
  }
  EXPECT_EQ(put_number_codes(t, nullptr), 0);
  EXPECT_EQ(errno_(), 7);
}

TEST_F(TermInterface, AFailedUnificationLeavesBothTermsAsTheyWere) {
  ref x = new_ref(), left = new_ref(), right = new_ref(), other = new_ref();
  lv_term f = atom("f");
  auto cons = API(LV_cons_functor);
  ref a = new_ref(), b = new_ref(), c = new_ref();
  ASSERT_EQ(put_variable(x), 1);
  ASSERT_EQ(put_atom(a, atom("a")), 1);
  ASSERT_EQ(put_atom(b, atom("b")), 1);
  ASSERT_EQ(put_atom(c, atom("c")), 1);
  ASSERT_EQ(cons(left, f, 2, x, a), 1);
  ASSERT_EQ(cons(right, f, 2, b, c), 1);
  EXPECT_EQ(unify(left, right), 0);
  EXPECT_EQ(is(LV_SLOT_LV_is_variable, x), 1);
  ASSERT_EQ(cons(other, f, 2, b, a), 1);
  EXPECT_EQ(unify(left, other), 1);
  EXPECT_EQ(string_of(x), "b");
}

TEST_F(TermInterface, CompareOrdersAVariableFirstWhicheverSide) {
  ref v = new_ref(), nil = new_ref(), w2 = new_ref();
  ASSERT_EQ(put_variable(v), 1);
  ASSERT_EQ(put_atom(nil, atom("[]")), 1);
  EXPECT_EQ(compare(v, nil), -1);
  EXPECT_EQ(compare(nil, v), 1);
  EXPECT_EQ(compare(v, v), 0);
  ASSERT_EQ(put_variable(w2), 1);
  EXPECT_EQ(compare(v, w2), -1);
  ASSERT_EQ(put_integer(w2, 1), 1);
  EXPECT_EQ(compare(w2, nil), -1);
}

TEST_F(TermInterface, InvalidReferencesAreRefused) {
  ref top = new_ref() + 1;
  int64_t v;
  struct {
    const char* what;
    int result;
  } cases[] = {
      {"term_type", type(top)},
      {"put_integer", put_integer(top, 1)},
      {"get_integer", get_integer(top, &v)},
      {"is_atom", is(LV_SLOT_LV_is_atom, top)},
      {"negative", put_variable(-1)},
      {"far", put_variable(1 << 20)},
  };
  for (auto& c : cases) EXPECT_EQ(c.result, 0) << c.what;
  EXPECT_EQ(errno_(), 2);
  clear_error();
  EXPECT_EQ(compare(top, 0), -1);
  EXPECT_EQ(errno_(), 2);
  lv_term word = API(lv_ref_term)(top);
  EXPECT_STREQ(API(LV_string_from_atom)(word), "$invalid_ref");
  // Resets above the top or into the reserved slots are refused; a negative
  // count makes none.
  auto reset = API(LV_reset_term_refs);
  for (ref bad : {top + 1, 14, 0, -1}) {
    clear_error();
    reset(bad);
    EXPECT_EQ(errno_(), 12) << bad;
    EXPECT_EQ(new_ref(), top) << bad;
    reset(top);
  }
  EXPECT_EQ(API(LV_new_term_refs)(-5), top);
  EXPECT_EQ(new_ref(), top);
}

TEST_F(TermInterface, AVariableIsNamedByItsHeapOffsetWithinTheBuffer) {
  auto name = API(lv_variable_to_string);
  ref t = new_ref();
  ASSERT_EQ(put_variable(t), 1);
  char buffer[32];
  ASSERT_EQ(name(t, buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], '_');
  EXPECT_GT(std::strlen(buffer), 1u);
  char tiny[2];
  EXPECT_EQ(name(t, tiny, sizeof tiny), 0);
  EXPECT_STREQ(tiny, "_");
  ASSERT_EQ(name(t + 1, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "_$");
}

TEST_F(TermInterface, TermReferencesGrowPastTheFirstArray) {
  ref first = API(LV_new_term_refs)(1000);
  ASSERT_EQ(put_integer(first + 999, 5), 1);
  ASSERT_EQ(put_integer(first, 6), 1);
  int64_t v = 0;
  EXPECT_EQ(get_integer(first + 999, &v), 1);
  EXPECT_EQ(v, 5);
  API(LV_reset_term_refs)(first);
  clear_error();
  EXPECT_EQ(get_integer(first, &v), 0);
  EXPECT_EQ(errno_(), 2);
}

TEST_F(TermInterface, TheReservedReferencesHoldVariablesAndTheNamedGlobalTerms) {
  ref arg = new_ref();
  for (ref t : {0, 1, 2, 3, 4, 14}) EXPECT_EQ(is(LV_SLOT_LV_is_variable, t), 1) << t;
  for (ref t = 5; t <= 13; t++) {
    lv_term name = 0;
    int arity = 0;
    ASSERT_EQ(get_functor(t, &name, &arity), 1) << t;
    EXPECT_EQ(name, atom("$mutable"));
    EXPECT_EQ(arity, 2);
    ASSERT_EQ(get_arg(1, t, arg), 1);
    if (t == 5) {
      int64_t v = -1;
      EXPECT_EQ(get_integer(arg, &v), 1);
      EXPECT_EQ(v, 0);
    } else {
      EXPECT_EQ(string_of(arg), "[]");
    }
  }
  EXPECT_EQ(new_ref(), arg + 1);
  EXPECT_EQ(arg, 15);
}

TEST_F(TermInterface, LargeTermsGrowTheHeapAndKeepTheReferencedTerms) {
  ref keep = new_ref(), t = new_ref(), nil = new_ref(), big = new_ref();
  ASSERT_EQ(put_float(keep, 1.25), 1);
  ASSERT_EQ(put_atom(nil, atom("[]")), 1);
  std::string text(300000, 'x');
  ASSERT_EQ(API(LV_put_list_codes)(t, nil, text.c_str()), 1);
  std::string bytes(5000, '\x5a');
  ASSERT_EQ(API(LV_put_integer_bytes)(big, bytes.data(), bytes.size(), 0), 1);
  const char* back = nullptr;
  ASSERT_EQ(API(LV_get_list_codes)(t, &back), 1);
  EXPECT_EQ(std::string(back), text);
  double d = 0;
  EXPECT_EQ(get_float(keep, &d), 1);
  EXPECT_EQ(d, 1.25);
  std::string out(5000, '\0');
  size_t count = out.size();
  ASSERT_EQ(API(LV_get_integer_bytes)(big, out.data(), &count, 0), 1);
  EXPECT_EQ(count, 5000u);
  EXPECT_EQ(out, bytes);
}

// The runtime's own forms answer lvio codes and error numbers.
TEST_F(TermInterface, InternalFormsAnswerCodes) {
  ref big = new_ref();
  unsigned char bytes[13] = {};
  bytes[12] = 0x10;
  ASSERT_EQ(API(LV_put_integer_bytes)(big, bytes, sizeof bytes, 0), 1);
  struct {
    lv_term term;
    size_t count;
    int native;
    int64_t code;
    size_t count_after;
  } cases[] = {
      {lv_make_small(-2), 8, 0, 0, 1},
      {lv_make_small(300), 1, 0, LVIO_E_OUT_OF_MEMORY, 2},
      {lv_make_small(5), 3, 1, LVIO_E_NOT_SUPPORTED, 3},
      {w->termrefs[big].term, 4, 0, LVIO_E_OUT_OF_MEMORY, 13},
      {atom("five"), 8, 0, LVIO_E_PARAMETER_ERROR, 8},
  };
  for (auto& c : cases) {
    unsigned char out[16];
    size_t count = c.count;
    EXPECT_EQ(lv_integer_to_bytes(c.term, out, &count, c.native), c.code) << terms::show(c.term);
    EXPECT_EQ(count, c.count_after) << terms::show(c.term);
  }

  struct {
    lv_term term;
    int error;
    lv_term name;
    int arity;
  } callables[] = {
      {atom("a"), 0, atom("a"), 0},
      {terms::list(w, {lv_make_small(1)}), 0, atom("."), 2},
      {terms::fn(w, atom("f"), {lv_make_small(1), lv_make_small(2), lv_make_small(3)}), 0, atom("f"), 3},
      {lv_make_small(1), LV_ERR_WRONG_TYPE, 0, -1},
      {terms::var(w), LV_ERR_WRONG_TYPE, 0, -1},
  };
  for (auto& c : callables) {
    lv_term name = 0;
    int arity = -1;
    EXPECT_EQ(lv_callable_name_arity(c.term, &name, &arity), c.error) << terms::show(c.term);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(arity, c.arity);
  }
}

// LV_write_term writes to user_error, here a file of the test's own.
class WriteTerm : public DispatchTest {
 protected:
  void SetUp() override {
    DispatchTest::SetUp();
    ASSERT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 0), 0);
    ASSERT_EQ(LV_fopen(dir.path("err").c_str(), LV_ATOM_NIL, LV_FOPEN_WRITE | LV_FOPEN_TEXT | LV_FOPEN_ENCODING_TERM, &err), 0);
    saved = lv_streams.user[LV_STD_ERROR];
    lv_streams.user[LV_STD_ERROR] = err;
  }
  void TearDown() override {
    lv_streams.user[LV_STD_ERROR] = saved;
    LV_fclose(err, 0);
    EXPECT_EQ(lvio_initialize(nullptr, nullptr, nullptr, 1), 0);
    DispatchTest::TearDown();
  }
  // What was written so far.
  std::string written() {
    std::ifstream in(dir.path("err"));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  TempFiles dir;
  lv_stream* err = nullptr;
  lv_stream* saved = nullptr;
};

TEST_F(WriteTerm, WritesTheTermALineAtATimeAndFlushes) {
  lv_term x = terms::var(w);
  struct {
    lv_term term;
    std::string text;
  } cases[] = {
      {atom("a"), "a\n"},
      {lv_make_small(-7), "-7\n"},
      {terms::fn(w, atom("f"), {atom("B c"), terms::list(w, {lv_make_small(1), lv_make_small(2)})}),
       "f('B c',[1,2])\n"},
      {terms::fn(w, atom("g"), {x}),
       "g(_" + std::to_string(2 * (lv_ref_cell(lv_deref(x)) - w->area_start)) + ")\n"},
  };
  std::string expected;
  for (const auto& c : cases) {
    ref t = new_ref();
    w->termrefs[t].term = c.term;
    clear_error();
    API(LV_write_term)(t);
    expected += c.text;
    EXPECT_EQ(written(), expected) << terms::show(c.term);  // flushed at once
    EXPECT_EQ(errno_(), 0);
  }
  // An invalid reference writes the atom that stands for it.
  API(LV_write_term)(12345);
  EXPECT_EQ(written(), expected + "'$invalid_ref'\n");
  EXPECT_EQ(errno_(), LV_ERR_INVALID_TERM_REF);
}

}  // namespace
