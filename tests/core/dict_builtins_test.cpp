// Hash dictionaries: growth of the capacity, deleted keys, keys that have no
// hash, and copies of dictionaries older than the newest choicepoint.
#include "core/dict_builtins.h"

#include <gtest/gtest.h>

#include "core/array_builtins.h"
#include "core/array_terms.h"
#include "core/stack_shift.h"
#include "support/builtin_fixture.h"

namespace {

class DictTest : public BuiltinTest {
 protected:
  // The dictionary's counts and capacity: "used/live/C".
  std::string counts(lv_term dict) {
    uint64_t n = 0;
    lv_term* d = lv_array_cells(w, dict, &n);
    if (d == nullptr) return "not an array";
    return std::to_string(lv_small_value(d[5])) + "/" + std::to_string(lv_small_value(d[7])) + "/" +
           std::to_string(lv_small_value(d[9]));
  }

  // Puts Key=Value; the dictionary in use afterwards (the old one when New
  // is []).
  lv_term put(lv_term dict, const char* key, const char* value, bool* rebuilt = nullptr) {
    lv_term fresh = terms::var(w);
    EXPECT_TRUE(run(prolog_array1d_dict_put, {dict, read(key), read(value), fresh})) << key;
    bool copied = lv_deref(fresh) != LV_ATOM_NIL;
    if (rebuilt != nullptr) *rebuilt = copied;
    return copied ? lv_deref(fresh) : dict;
  }

  std::string get(lv_term dict, const char* key) {
    lv_term value = terms::var(w);
    if (!run(prolog_array1d_dict_get, {dict, read(key), value})) return "absent";
    return text(value);
  }

  lv_term fresh_dict() {
    lv_term d = terms::var(w);
    EXPECT_TRUE(run(prolog_array1d_dict_new, {d}));
    return lv_deref(d);
  }
};

TEST_F(DictTest, ANewDictionaryHasCapacityTwo) {
  lv_term d = fresh_dict();
  EXPECT_EQ(w->H - lv_struct_cells(d), 19);
  EXPECT_EQ(counts(d), "0/0/2");
  EXPECT_EQ(text(d), "$array1d(8,[$dict,0,0,2,$uninit,$uninit,$uninit,$uninit])");
  EXPECT_EQ(get(d, "a"), "absent");
}

TEST_F(DictTest, CapacityGrowsFromTwoToFourToEight) {
  lv_term d = fresh_dict();
  bool rebuilt;
  d = put(d, "a", "1", &rebuilt);
  EXPECT_TRUE(rebuilt);  // 2 is never a computed capacity
  EXPECT_EQ(counts(d), "1/1/4");
  for (const char* key : {"b", "c"}) {
    d = put(d, key, "2", &rebuilt);
    EXPECT_FALSE(rebuilt) << key;
  }
  EXPECT_EQ(counts(d), "3/3/4");
  d = put(d, "d", "4", &rebuilt);
  EXPECT_TRUE(rebuilt);  // four entries exceed three quarters of 4
  EXPECT_EQ(counts(d), "4/4/8");
  for (const char* key : {"a", "b", "c", "d"}) EXPECT_NE(get(d, key), "absent") << key;
  EXPECT_EQ(get(d, "d"), "4");
}

TEST_F(DictTest, ADeletedKeyKeepsItsSlotForALaterPut) {
  lv_term d = put(put(fresh_dict(), "a", "1"), "b", "2");
  EXPECT_EQ(counts(d), "2/2/4");
  lv_term fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_delete, {d, read("a"), fresh}));
  EXPECT_EQ(lv_deref(fresh), LV_ATOM_NIL);
  EXPECT_EQ(counts(d), "2/1/4");
  EXPECT_EQ(get(d, "a"), "absent");
  bool rebuilt;
  d = put(d, "a", "3", &rebuilt);
  EXPECT_FALSE(rebuilt);
  EXPECT_EQ(counts(d), "2/2/4");  // the key slot was reused: E2 unchanged
  EXPECT_EQ(get(d, "a"), "3");
  // Deleting an absent key changes nothing.
  fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_delete, {d, read("zz"), fresh}));
  EXPECT_EQ(counts(d), "2/2/4");
}

TEST_F(DictTest, KeySlotsFullOfDeletedKeysAreRebuilt) {
  lv_term d = put(put(put(fresh_dict(), "a", "1"), "b", "2"), "c", "3");
  for (const char* step : {"-a", "+d", "-b", "+e", "-c", "+f"}) {
    SCOPED_TRACE(step);
    if (step[0] == '-') {
      lv_term fresh = terms::var(w);
      ASSERT_TRUE(run(prolog_array1d_dict_delete, {d, read(step + 1), fresh}));
    } else {
      d = put(d, step + 1, "9");
    }
  }
  EXPECT_EQ(get(d, "f"), "9");
  EXPECT_EQ(get(d, "d"), "9");
  EXPECT_EQ(get(d, "a"), "absent");
}

TEST_F(DictTest, KeysOfEveryKind) {
  lv_term d = fresh_dict();
  const char* keys[] = {"-1", "-8", "7", "1152921504606846975", "-1152921504606846976", "f(a, [b])", "2.5",
                        "99999999999999999999", "[]", "'a b'"};
  for (const char* key : keys) d = put(d, key, key);
  for (const char* key : keys) EXPECT_EQ(get(d, key), text(read(key))) << key;
  // Equal numbers in other boxes, and equal compound terms, find the entries.
  EXPECT_EQ(get(d, "2.5"), "2.5");
  EXPECT_EQ(get(d, "f(a,[b])"), "f(a,[b])");
  EXPECT_EQ(get(d, "f(a,[c])"), "absent");
  EXPECT_EQ(get(d, "2"), "absent");
}

TEST_F(DictTest, AKeyHoldingAVariableFails) {
  lv_term d = put(fresh_dict(), "f(a)", "1");
  EXPECT_FALSE(run(prolog_array1d_dict_put, {d, read("f(_)"), read("2"), terms::var(w)}));
  EXPECT_FALSE(run(prolog_array1d_dict_get, {d, read("f(_)"), terms::var(w)}));
  EXPECT_FALSE(run(prolog_array1d_dict_delete, {d, read("_"), terms::var(w)}));
  // A cyclic key has no hash either.
  lv_term cyclic = read("f(X)");
  terms::set(var("X"), cyclic);
  EXPECT_FALSE(run(prolog_array1d_dict_put, {d, cyclic, read("2"), terms::var(w)}));
  EXPECT_EQ(counts(d), "1/1/4");
}

// An array made from a list can look like a dictionary with counts that no
// dictionary has: it is none, and the built-ins fail on it.
TEST_F(DictTest, ADictionaryWhoseCountsDisagreeIsNone) {
  const char* arrays[] = {
      "['$dict', 0, -5, 2, '$uninit', '$uninit', '$uninit', '$uninit']",  // negative live count
      "['$dict', 1, 2, 2, a, 1, '$uninit', '$uninit']",                  // more live than used
      "['$dict', 3, 3, 2, a, 1, b, 2]",                                   // more used than slots
      "['$dict', 0, 1152921504606846975, 2, a, 1, b, 2]",
  };
  for (const char* list : arrays) {
    SCOPED_TRACE(list);
    lv_term d = terms::var(w);
    ASSERT_TRUE(run(prolog_array1d_new, {read(list), d}));
    EXPECT_FALSE(run(prolog_array1d_dict_put, {d, read("k"), read("v"), terms::var(w)}));
    EXPECT_FALSE(run(prolog_array1d_dict_get, {d, read("a"), terms::var(w)}));
    EXPECT_FALSE(run(prolog_array1d_dict_delete, {d, read("a"), terms::var(w)}));
    EXPECT_FALSE(run(prolog_array1d_dict_clear, {d, terms::var(w)}));
    EXPECT_FALSE(run(prolog_array1d_dict_items, {d, terms::var(w)}));
  }
  // The marker of empty keys and deleted values is neither key nor value.
  lv_term e = fresh_dict();
  EXPECT_FALSE(run(prolog_array1d_dict_put, {e, read("'$uninit'"), read("1"), terms::var(w)}));
  EXPECT_FALSE(run(prolog_array1d_dict_put, {e, read("k"), read("'$uninit'"), terms::var(w)}));
  EXPECT_EQ(counts(e), "0/0/2");
  // The same layout with counts that agree is a dictionary.
  lv_term d = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_new, {read("['$dict', 2, 1, 2, a, '$uninit', b, 2]"), d}));
  EXPECT_EQ(get(d, "b"), "2");
  EXPECT_EQ(get(d, "a"), "absent");
}

TEST_F(DictTest, GetNeedsAnUnboundValue) {
  lv_term d = put(fresh_dict(), "a", "1");
  EXPECT_FALSE(run(prolog_array1d_dict_get, {d, read("a"), read("1")}));
  EXPECT_FALSE(run(prolog_array1d_dict_get, {read("foo"), read("a"), terms::var(w)}));
}

TEST_F(DictTest, ADictionaryOlderThanTheNewestChoicepointIsCopied) {
  lv_term d = put(put(fresh_dict(), "a", "1"), "b", "2");
  lv_term fresh = terms::var(w);
  push_choicepoint();
  ASSERT_TRUE(run(prolog_array1d_dict_put, {d, read("c"), read("3"), fresh}));
  lv_term copy = lv_deref(fresh);
  ASSERT_NE(copy, LV_ATOM_NIL);
  EXPECT_EQ(counts(d), "2/2/4");
  EXPECT_EQ(get(d, "c"), "absent");
  EXPECT_EQ(counts(copy), "3/3/4");
  EXPECT_EQ(get(copy, "c"), "3");
  // Deleting from the old one also copies, without the deleted entry.
  fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_delete, {d, read("a"), fresh}));
  EXPECT_EQ(get(d, "a"), "1");
  EXPECT_EQ(counts(lv_deref(fresh)), "1/1/4");
  EXPECT_EQ(get(lv_deref(fresh), "b"), "2");
}

TEST_F(DictTest, ClearEmptiesInPlaceOrByCopy) {
  lv_term d = put(put(fresh_dict(), "a", "1"), "b", "2");
  lv_term fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_clear, {d, fresh}));
  EXPECT_EQ(lv_deref(fresh), LV_ATOM_NIL);
  EXPECT_EQ(counts(d), "0/0/4");
  EXPECT_EQ(get(d, "a"), "absent");

  d = put(put(put(put(d, "a", "1"), "b", "2"), "c", "3"), "d", "4");
  ASSERT_EQ(counts(d), "4/4/8");
  fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_clear, {d, fresh}));
  EXPECT_EQ(counts(lv_deref(fresh)), "0/0/4");
  EXPECT_EQ(get(d, "a"), "1");
}

TEST_F(DictTest, ItemsRunFromTheHighestSlotDown) {
  lv_term d = fresh_dict();
  for (const char* key : {"0", "1", "2"}) d = put(d, key, key);
  lv_term items = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_items, {d, items}));
  EXPECT_EQ(text(items), "[-(2,2),-(1,1),-(0,0)]");
  EXPECT_FALSE(run(prolog_array1d_dict_items, {d, read("[]")}));
}

TEST_F(DictTest, AValueThatIsALocalVariableIsBoundToTheSlot) {
  lv_term d = fresh_dict();
  lv_term* local = w->local_top++;
  *local = lv_make_ref(local);
  lv_term fresh = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_put, {d, read("k"), *local, fresh}));
  d = lv_deref(fresh);
  lv_term value = terms::var(w);
  ASSERT_TRUE(run(prolog_array1d_dict_get, {d, read("k"), value}));
  EXPECT_TRUE(lv_is_ref(lv_deref(value)));
  EXPECT_LT(lv_ref_cell(lv_deref(value)), w->H);
  EXPECT_EQ(lv_deref(*local), lv_deref(value));
}

// A rebuild that moves the stacks reads its arguments again afterwards.
TEST_F(DictTest, ARebuildAfterTheStacksMoved) {
  lv_term d = put(put(put(fresh_dict(), "1", "a"), "2", "b"), "3", "c");
  lv_term fresh = terms::var(w);
  lv_shift_set_always_move(1);
  w->heap_hard_limit = w->H + 4;
  lv_term* old_start = w->area_start;
  ASSERT_TRUE(run(prolog_array1d_dict_put, {d, read("f(4)"), read("d"), fresh}));
  lv_shift_set_always_move(0);
  EXPECT_NE(w->area_start, old_start);
  lv_term copy = lv_deref(w->X[3]);
  EXPECT_EQ(counts(copy), "4/4/8");
  EXPECT_EQ(get(copy, "f(4)"), "d");
  EXPECT_EQ(get(copy, "2"), "b");
}

}  // namespace
