// Byte hashes, the term hash walks and $term_hash_4_0_5.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/atoms.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_hash.h"
#include "core/term_walks.h"
#include "core/termrefs.h"
#include "support/engine_fixture.h"
#include "support/terms.h"

namespace {

using namespace terms;

uint32_t text_hash(lv_byte_hash h, const char* text, uint32_t running) {
  return h(reinterpret_cast<const uint8_t*>(text), std::strlen(text), running);
}

// Published reference values of lookup3's hashlittle.
TEST(ByteHash, Lookup3ReferenceValues) {
  const char* text = "Four score and seven years ago";
  EXPECT_EQ(text_hash(lv_hash_lookup3, "", 0), 0xdeadbeefu);
  EXPECT_EQ(text_hash(lv_hash_lookup3, "", 0xdeadbeef), 0xbd5b7ddeu);
  EXPECT_EQ(text_hash(lv_hash_lookup3, text, 0), 0x17770551u);
  EXPECT_EQ(text_hash(lv_hash_lookup3, text, 1), 0xcd628161u);
}

TEST(ByteHash, TableOfValues) {
  struct {
    const char* name;
    lv_byte_hash hash;
    const char* text;
    uint32_t running, expected;
  } cases[] = {
      // SuperFastHash from the running value; values worked out from the
      // published definition, the tails of 1, 2 and 3 bytes included (a
      // byte of 128 or more is read signed in the tail).
      {"superfast empty", lv_hash_superfast, "", 77, 0},
      {"superfast 1", lv_hash_superfast, "a", 0, 0x93642e87},
      {"superfast 3", lv_hash_superfast, "abc", 0, 0xe5186b3a},
      {"superfast 4", lv_hash_superfast, "abcd", 7, 0x470322c2},
      {"superfast 11", lv_hash_superfast, "hello world", 5, 0x2448adf8},
      {"superfast signed tail", lv_hash_superfast, "ab\xe9", 0, 0x125794e5},
      {"superfast signed byte", lv_hash_superfast, "\xff", 0, 0x7ffaa939},
      {"sdbm", lv_hash_sdbm, "ab", 0, 97u * 65599u + 98u},
      {"sdbm unsigned bytes", lv_hash_sdbm, "\xff", 1, 65599u + 255u},
      {"djb2", lv_hash_djb2, "ab", 5381, (5381u * 33 + 97) * 33 + 98},
      {"djb2 xor", lv_hash_djb2_xor, "ab", 5381, (((5381u * 33) ^ 97) * 33) ^ 98},
      {"byte sum", lv_hash_bytesum, "ab\xff", 10, 10u + 97 + 98 + 255},
      {"times 31", lv_hash_mul31, "ab", 0, 97u * 31 + 98},
      {"constant", lv_hash_constant, "abc", 4711, 4711},
      {"constant empty", lv_hash_constant, "", 4711, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(text_hash(c.hash, c.text, c.running), c.expected) << c.name;
}

class TermHashTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    lv_atoms_startup();
  }
  lv_term at(const char* text) { return lv_atom_from_text(text, LV_ATOM_FIND_OR_CREATE); }

  // $term_hash_4_0_5: -1 when it fails, -2 when it succeeds leaving Hash
  // unbound, else the hash.
  int64_t builtin(lv_term t, lv_term algorithm, lv_term depth, lv_term range) {
    lv_term result = var(w);
    w->X[0] = t;
    w->X[1] = algorithm;
    w->X[2] = depth;
    w->X[3] = range;
    w->X[4] = result;
    if (!prolog_term_hash_4_0_5(w)) return -1;
    lv_term h = lv_deref(result);
    if (lv_is_ref(h)) return -2;
    EXPECT_TRUE(lv_is_small(h));
    return lv_small_value(h);
  }
  int64_t term_hash(lv_term t, int64_t algorithm, int64_t depth = -1, int64_t range = 0) {
    return builtin(t, small(algorithm), small(depth), small(range));
  }
};

TEST_F(TermHashTest, WhatTheWalkFeedsTheByteHash) {
  lv_term f = at("f"), a = at("a"), g = at("g"), b = at("b");
  uint32_t fa = ((5381u * 33 + 'f') ^ 1) * 33 + 'a';
  uint32_t list_a = ((5381u * 33 + '.') * 33 + 'a') * 33 * 33 + '[' * 33 + ']';
  uint64_t seven = 7;
  uint32_t seven_hash = lv_hash_djb2(reinterpret_cast<const uint8_t*>(&seven), 8, 5381);
  struct {
    const char* name;
    lv_term term;
    int64_t depth;
    int64_t expected;
  } cases[] = {
      {"atom", a, -1, 5381 * 33 + 'a'},
      {"the empty atom", at(""), -1, 5381},
      {"structure: name, position, argument", fn(w, f, {a}), -1, fa},
      {"list: '.', head, tail; no positions", list(w, {a}), -1, list_a},
      {"small integer: its value's 8 bytes", small(7), -1, seven_hash},
      {"depth 0: the seed", fn(w, f, {a}), 0, 5381},
      {"depth 1: the name only", fn(w, f, {a}), 1, (5381u * 33 + 'f') ^ 1},
  };
  for (const auto& c : cases) EXPECT_EQ(term_hash(c.term, 5, c.depth), c.expected) << c.name;
  // Positions are hashed: f(a, b) and f(b, a) differ; depth cuts subterms.
  EXPECT_NE(term_hash(fn(w, f, {a, b}), 5), term_hash(fn(w, f, {b, a}), 5));
  EXPECT_EQ(term_hash(fn(w, f, {fn(w, g, {a})}), 5, 2), term_hash(fn(w, f, {fn(w, g, {b})}), 5, 2));
  EXPECT_NE(term_hash(fn(w, f, {fn(w, g, {a})}), 5, 3), term_hash(fn(w, f, {fn(w, g, {b})}), 5, 3));
  // Algorithm 1: 'ab' adds 97 to A0 and 98 to A1.
  EXPECT_EQ(term_hash(at("ab"), 1), 98 * 128 + (98 ^ 97));
  // A float hashes its 8 bytes, a box its limbs: the same value as a small
  // integer and as a box hash differently from a float.
  EXPECT_NE(term_hash(lv_make_float_box(w, 7.0), 5), seven_hash);
  EXPECT_EQ(term_hash(lv_make_integer_box(w, int64_t{1} << 61), 5),
            lv_hash_djb2(reinterpret_cast<const uint8_t*>(&lv_struct_cells(lv_make_integer_box(w, int64_t{1} << 61))[1]), 8, 5381));
}

TEST_F(TermHashTest, ArgumentsOfTheBuiltin) {
  lv_term f = at("f");
  lv_term x = var(w);
  lv_term fx = fn(w, f, {x});
  lv_term box_depth = lv_make_integer_box(w, 2);  // a one-limb box is accepted as well
  constexpr int64_t ANY_HASH = -3;
  struct {
    const char* name;
    lv_term term, algorithm, depth, range;
    int64_t expected;  // -1 fails, -2 leaves Hash unbound
  } cases[] = {
      {"a variable abandons in mode 1", fx, small(2), small(-1), small(0), -2},
      {"mode 2 skips it", fx, small(18), small(-1), small(0), ANY_HASH},
      {"algorithm not an integer", f, at("a"), small(-1), small(0), -1},
      {"depth not an integer", f, small(5), at("a"), small(0), -1},
      {"depth below -1", f, small(5), small(-2), small(0), -1},
      {"depth as a box", f, small(5), box_depth, small(0), 5381 * 33 + 'f'},
      {"depth 0: seed 0", f, small(2), small(0), small(0), 0},
      {"depth 0: seed 5381", f, small(6), small(0), small(0), 5381},
      {"depth 0: seed 4711", f, small(9), small(0), small(0), 4711},
      {"algorithm 0", fx, small(0), small(-1), small(0), 0},
      {"algorithm 12", f, small(12), small(-1), small(0), 0},
      {"range -2", f, small(5), small(-1), small(-2), (5381 * 33 + 'f') % (1 << 28)},
      {"range 10", f, small(5), small(-1), small(10), (5381 * 33 + 'f') % 10},
      {"range as a box", f, small(5), small(-1), lv_make_integer_box(w, 10), (5381 * 33 + 'f') % 10},
      {"range not a number counts as 0", f, small(5), small(-1), at("a"), 5381 * 33 + 'f'},
      {"range -5", f, small(5), small(-1), small(-5), 5381 * 33 + 'f'},
      {"range -6 fails", f, small(5), small(-1), small(-6), -1},
  };
  for (const auto& c : cases) {
    int64_t got = builtin(c.term, c.algorithm, c.depth, c.range);
    if (c.expected == ANY_HASH)
      EXPECT_GE(got, 0) << c.name;
    else
      EXPECT_EQ(got, c.expected) << c.name;
  }
}

// Range -1 gives a signed 32-bit value: a hash with bit 31 set is negative.
TEST_F(TermHashTest, RangeMinusOneIsSigned) {
  int negatives = 0;
  for (int i = 0; i < 64; i++) {
    lv_term t = small(i);
    int64_t whole = term_hash(t, 4, -1, 0);
    int64_t signed_value = term_hash(t, 4, -1, -1);
    ASSERT_GE(whole, 0);
    ASSERT_LE(whole, 4294967295);
    EXPECT_EQ(signed_value, static_cast<int32_t>(static_cast<uint32_t>(whole % 4294967295)));
    if (whole >= (int64_t{1} << 31)) {
      EXPECT_LT(signed_value, 0);
      negatives++;
    }
  }
  EXPECT_GT(negatives, 0);
}

// A hash depends on the term, not on where it is or how it is shared.
TEST_F(TermHashTest, SharingAndAddressesDoNotMatter) {
  lv_term f = at("f"), a = at("a");
  lv_term_ref r = LV_new_term_refs(2);
  lv_term shared = fn(w, f, {a, small(3), lv_make_float_box(w, 2.5)});
  lv_term_ref_cell(w, r) = fn(w, f, {shared, list(w, {shared, shared})});
  auto copy = [&] { return fn(w, f, {a, small(3), lv_make_float_box(w, 2.5)}); };
  lv_term_ref_cell(w, r + 1) = fn(w, f, {copy(), list(w, {copy(), copy()})});
  for (int algorithm = 1; algorithm <= 9; algorithm++) {
    int64_t before = term_hash(lv_term_ref_cell(w, r), algorithm);
    EXPECT_EQ(before, term_hash(lv_term_ref_cell(w, r + 1), algorithm)) << algorithm;
    lv_shift_set_always_move(1);
    heap_overflow(w, 10, LV_LOCAL_RESERVE_CELLS);
    lv_shift_set_always_move(0);
    EXPECT_EQ(term_hash(lv_term_ref_cell(w, r), algorithm), before) << algorithm;
  }
}

// Cyclic terms have no hash without a depth limit; with one they do.
TEST_F(TermHashTest, CyclicTerms) {
  lv_term f = at("f");
  lv_term v = var(w);
  lv_term cyclic = fn(w, f, {v, small(1)});
  set(v, cyclic);
  lv_term u = var(w);
  lv_term cyclic_last = fn(w, f, {small(1), u});
  set(u, cyclic_last);
  for (lv_term t : {cyclic, cyclic_last}) {
    EXPECT_EQ(term_hash(t, 5, -1, 0), -2);
    EXPECT_GE(term_hash(t, 5, 50, 0), 0);
    EXPECT_GE(term_hash(t, 1, 50, 0), 0);
  }
  EXPECT_EQ(term_hash(cyclic, 0, -1, 0), 0);
}

// Deep terms, nested in the first argument or in the last, hash without
// exhausting the C stack.
TEST_F(TermHashTest, DeepTerms) {
  lv_term f = at("f");
  const int n = 200000;
  if (w->heap_hard_limit - w->H < 6 * n) heap_overflow(w, 6 * n, LV_LOCAL_RESERVE_CELLS);
  lv_term left = small(0), right = small(0);
  for (int i = 0; i < n; i++) {
    left = fn(w, f, {left, small(i)});
    right = fn(w, f, {small(i), right});
  }
  EXPECT_GE(term_hash(left, 2), 0);
  EXPECT_GE(term_hash(right, 2), 0);
  EXPECT_NE(term_hash(left, 2), term_hash(right, 2));
}

}  // namespace
