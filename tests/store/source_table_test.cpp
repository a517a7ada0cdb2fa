// Source-position tables: the packed coding of paths, tables built from
// paths and from position trees, and the look-ups of lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/predefined_atoms.h"
#include "store/db_builtins.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/source_table.h"
#include "store/source_table_builtins.h"
#include "store/store_builtins.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

using Path = std::vector<unsigned>;

// The digits of a path's packed words, as hex nibbles, words separated by '.'.
std::string coded(const Path& path) {
  lv_clear_source_position();
  for (unsigned a : path) EXPECT_TRUE(lv_source_push_step(a));
  uint64_t count;
  const uint64_t* words = lv_close_source_position(&count);
  std::string s;
  for (uint64_t i = 0; i < count; i++) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(words[i]));
    std::string w = buf;
    if (i + 1 == count) w.erase(std::max<size_t>(1, w.find_last_not_of('0') + 1));
    s += (i > 0 ? "." : "") + w;
  }
  lv_clear_source_position();
  return s;
}

Path repeat(unsigned arg, unsigned n, Path tail = {}) {
  Path p(n, arg);
  p.insert(p.end(), tail.begin(), tail.end());
  return p;
}

// The builder's memory belongs to the memory manager of one test: each
// starts with an empty builder and frees it at its end.
class SourceTableTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    lv_source_builder_state = lv_source_builder{};
    lv_source_builder_state.shift = 60;
  }
  void TearDown() override {
    lv_free_source_builder();
    StoreTest::TearDown();
  }
};

TEST_F(SourceTableTest, PathsAreCodedAsDigitsWithoutTouchingNeighbours) {
  struct Case {
    Path path;
    const char* digits;
  } cases[] = {
      {{}, "1"},
      {{1}, "11"},
      {{2}, "2"},
      {{2, 1}, "21"},
      {{3}, "fd11"},
      {{2, 3}, "fc11"},
      {{17}, "fdf1"},
      {{17, 1}, "fdf11"},
      // From 18 on: 15, 14, 13-c, then a-18 in three base-15 digits.
      {{18}, "fed1111"},
      {{19}, "fed1121"},
      {{18, 1}, "fed11111"},
      {{2, 2, 100}, "feb1681"},
      {{255}, "fed21d1"},
      {repeat(2, 12), "d"},
      {repeat(2, 13), "e1"},
      {repeat(2, 14), "e2"},
      {repeat(2, 26), "ee1"},
      {repeat(2, 12, {3}), "f111"},
      // Sixteen digits fill the word: a zero word follows.
      {repeat(1, 15), "1111111111111111.0"},
      {repeat(1, 16), "1111111111111111.1"},
  };
  for (const Case& c : cases) EXPECT_EQ(coded(c.path), c.digits) << ::testing::PrintToString(c.path);
  lv_clear_source_position();
  EXPECT_FALSE(lv_source_push_step(0));
  EXPECT_FALSE(lv_source_push_step(LV_SOURCE_MAX_ARG + 1));
}

TEST_F(SourceTableTest, EveryPathOfATableFindsItsLine) {
  std::vector<Path> paths = {{},
                             {1},
                             {2},
                             {2, 1},
                             {3},
                             {17},
                             {17, 17, 17},
                             {18},
                             {18, 1},
                             {19},
                             {2, 18},
                             {2, 18, 3},
                             {100},
                             {255},
                             {255, 255, 255, 255},
                             repeat(2, 13),
                             repeat(2, 40, {1}),
                             repeat(1, 15),
                             repeat(1, 16),
                             repeat(1, 31),
                             repeat(3, 20, {255, 1})};
  for (unsigned a = 4; a <= 16; a++) paths.push_back({a});
  for (size_t i = 0; i < paths.size(); i++) {
    lv_clear_source_position();
    for (unsigned a : paths[i]) ASSERT_TRUE(lv_source_push_step(a));
    lv_add_source_entry(static_cast<int64_t>(100 + i));
  }
  uint64_t* table = lv_take_source_table();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table[1], paths.size() + 1);
  for (size_t i = 0; i < paths.size(); i++) {
    lv_clear_source_position();
    for (unsigned a : paths[i]) lv_source_push_step(a);
    uint64_t count;
    const uint64_t* words = lv_close_source_position(&count);
    int64_t line = 0;
    EXPECT_TRUE(lv_source_table_line(table, words, count, &line));
    EXPECT_EQ(line, static_cast<int64_t>(100 + i)) << ::testing::PrintToString(paths[i]);
  }
  lv_clear_source_position();
  lv_free_source_table(table);
}

TEST_F(SourceTableTest, APositionWithoutEntryTakesTheLineBeforeIt) {
  const std::pair<Path, int64_t> entries[] = {{{}, 10}, {{2, 1}, 11}, {{2, 2}, 12}};
  for (const auto& [path, line] : entries) {
    lv_clear_source_position();
    for (unsigned a : path) lv_source_push_step(a);
    lv_add_source_entry(line);
  }
  uint64_t* table = lv_take_source_table();
  const std::pair<Path, int64_t> queries[] = {
      {{1, 1}, 10}, {{2}, 10}, {{2, 1, 5}, 11}, {{2, 2, 1}, 12}, {{3}, 12}};
  for (const auto& [path, expected] : queries) {
    lv_clear_source_position();
    for (unsigned a : path) lv_source_push_step(a);
    uint64_t count;
    const uint64_t* words = lv_close_source_position(&count);
    int64_t line = 0;
    EXPECT_TRUE(lv_source_table_line(table, words, count, &line));
    EXPECT_EQ(line, expected) << ::testing::PrintToString(path);
  }
  lv_clear_source_position();
  lv_free_source_table(table);
}

// A dynamic predicate f/1 with one clause, and the built-ins on it.
class SourceTableBuiltinsTest : public SourceTableTest {
 protected:
  void SetUp() override {
    SourceTableTest::SetUp();
    lv_set_typein_module(find_module(atom("user"), 1));
    p = pred("user", "f", 1);
    w->X[0] = terms::fn(w, atom("/"), {atom("f"), lv_make_small(1)});
    w->X[1] = atom("dynamic");
    ASSERT_EQ(prolog_define_predicate(w), 1);
    lv_term ref = fresh();
    w->X[0] = terms::fn(w, atom("f"), {ref});
    w->X[1] = ref;
    w->X[2] = atom("user");
    ASSERT_EQ(prolog_current_clauses(w), 1);
    lv_term clause_ref = fresh();
    w->X[0] = lv_pointer_to_term(p);
    w->X[1] = terms::fn(w, atom(":-"), {terms::fn(w, atom("f"), {lv_make_small(1)}), atom("true")});
    w->X[2] = clause_ref;
    ASSERT_EQ(prolog_insertz(w), 1);
    clause = lv_deref(clause_ref);
    lv_clause_of(lv_dbref_to_block(clause))->source_key = atom("t.pl");
  }

  int call(int (*builtin)(lv_worker*), std::initializer_list<lv_term> args) {
    int i = 0;
    for (lv_term a : args) w->X[i++] = a;
    return builtin(w);
  }
  lv_term small(int64_t v) { return lv_make_small(v); }
  lv_term fresh() {
    lv_term* cell = w->H++;
    *cell = lv_make_ref(cell);
    return *cell;
  }
  lv_term list(std::initializer_list<lv_term> items, lv_term tail = LV_ATOM_NIL) { return terms::list(w, items, tail); }
  // The position term of a path: its last step first, the clause at the end.
  lv_term position(const Path& path) {
    lv_term t = clause;
    for (unsigned a : path) t = list({small(a)}, t);
    return t;
  }
  int64_t line_at(const Path& path) {
    lv_term file = fresh();
    lv_term line = fresh();
    if (call(prolog_search_table_interp, {position(path), file, line}) != 1) return -1;
    EXPECT_EQ(lv_deref(file), atom("t.pl"));
    return lv_small_value(lv_deref(line));
  }

  lv_pred* p = nullptr;
  lv_term clause = 0;
};

TEST_F(SourceTableBuiltinsTest, APositionTreeBecomesTheClausesTable) {
  // Head on line 5; the body (a, (b, c)) on lines 6, 6 and 8; the third
  // goal has an argument on line 9 deep in a wide term.
  lv_term c_args = LV_ATOM_NIL;
  for (int i = 20; i >= 1; i--) c_args = list({i == 20 ? list({small(9)}) : LV_ATOM_NIL}, c_args);
  lv_term goal_c = list({small(8)}, c_args);
  lv_term tree = list({small(6), small(6), list({small(0), LV_ATOM_NIL, goal_c})});
  ASSERT_EQ(call(prolog_new_table_interp, {list({small(5), small(6), tree}), clause}), 1);
  EXPECT_EQ(line_at({}), 5);
  EXPECT_EQ(line_at({1}), 5);
  EXPECT_EQ(line_at({2, 1}), 6);
  EXPECT_EQ(line_at({2, 2, 1}), 6);
  EXPECT_EQ(line_at({2, 2, 2}), 8);
  EXPECT_EQ(line_at({2, 2, 2, 20}), 9);
  EXPECT_EQ(line_at({2, 2, 2, 3}), 8);

  EXPECT_EQ(call(prolog_instance_has_line, {clause, atom("t.pl"), small(8)}), 1);
  EXPECT_EQ(call(prolog_instance_has_line, {clause, atom("t.pl"), small(9)}), 1);
  EXPECT_EQ(call(prolog_instance_has_line, {clause, atom("t.pl"), small(5)}), 0);  // the head's line only
  EXPECT_EQ(call(prolog_instance_has_line, {clause, atom("u.pl"), small(8)}), 0);
  for (int64_t bad : {0, -1, 7}) EXPECT_EQ(call(prolog_instance_has_line, {clause, atom("t.pl"), small(bad)}), 0);

  // A tree of another shape attaches nothing; a bad step finds nothing.
  EXPECT_EQ(call(prolog_new_table_interp, {list({small(5), small(6), atom("x")}), clause}), 0);
  EXPECT_EQ(call(prolog_new_table_interp, {list({small(0), small(0), LV_ATOM_NIL}), clause}), 0);
  EXPECT_EQ(line_at({2, 2, 2}), 8);
  lv_term file = fresh(), line = fresh();
  EXPECT_EQ(call(prolog_search_table_interp, {list({small(0)}, clause), file, line}), 0);
  EXPECT_EQ(call(prolog_search_table_interp, {list({atom("a")}, clause), file, line}), 0);
  EXPECT_EQ(call(prolog_search_table_interp, {list({small(1)}, atom("c")), file, line}), 0);
}

TEST_F(SourceTableBuiltinsTest, CompiledCodeLinesAreFoundByPredicate) {
  for (int64_t arity : {-1, 256})
    EXPECT_EQ(call(prolog_comp_has_line, {atom("user"), atom("f"), small(arity), atom("t.pl"), small(1)}), 0);
  EXPECT_EQ(call(prolog_comp_has_line, {atom("user"), atom("nope"), small(0), atom("t.pl"), small(1)}), 0);
  EXPECT_EQ(call(prolog_comp_has_line, {atom("user"), atom("f"), small(1), small(1), small(1)}), 0);
}

}  // namespace
