// Domain sets: one table of (operation, inputs, expected result), then the
// set algebra against a reference over small integer ranges, the
// destructive merge and sort, the builder and iterator, the checking of
// terms that should be sets, and the relinking of cells off the heap.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "domsolve/scratch_env.h"
#include "domsolve/set_terms.h"
#include "kernel/fdset.h"

namespace {

using set_terms::bound;
using set_terms::show;
using set_terms::text;

class FdsetTest : public ::testing::Test {
 public:
  lv_term set(const std::string& s) { return sets.make(s); }
  const lv_foreign_env* env() { return scratch.env(); }

  ScratchEnv scratch;
  set_terms::arena sets;
};

// An operation of the table: its arguments (sets or bounds, as text) and
// its result as text.
typedef std::function<std::string(FdsetTest&, const std::vector<std::string>&)> operation;

std::string code(int c) { return std::to_string(c); }
std::string word(lv_term t) { return t == 0 ? "none" : text(t); }

const std::map<std::string, operation>& operations() {
  static const std::map<std::string, operation> ops = {
      {"union", [](FdsetTest& t, auto& a) { return show(fdset_union(t.env(), t.set(a[0]), t.set(a[1]))); }},
      {"intersection",
       [](FdsetTest& t, auto& a) { return show(fdset_intersection(t.env(), t.set(a[0]), t.set(a[1]))); }},
      {"subtract", [](FdsetTest& t, auto& a) { return show(fdset_subtract(t.env(), t.set(a[0]), t.set(a[1]))); }},
      {"complement", [](FdsetTest& t, auto& a) { return show(fdset_complement_op(t.env(), t.set(a[0]))); }},
      {"complement_range",
       [](FdsetTest& t, auto& a) {
         return show(fdset_complement_range(t.env(), bound(a[0]), bound(a[1]), t.set(a[2])));
       }},
      {"restrict",
       [](FdsetTest& t, auto& a) { return show(fdset_restrict(t.env(), t.set(a[0]), bound(a[1]), bound(a[2]))); }},
      {"delete", [](FdsetTest& t, auto& a) { return show(fdset_delete_value(t.env(), t.set(a[0]), bound(a[1]))); }},
      {"delete_interval",
       [](FdsetTest& t, auto& a) {
         return show(fdset_delete_interval(t.env(), t.set(a[0]), bound(a[1]), bound(a[2])));
       }},
      {"union_interval",
       [](FdsetTest& t, auto& a) {
         return show(fdset_union_interval(t.env(), t.set(a[0]), bound(a[1]), bound(a[2])));
       }},
      {"add_value", [](FdsetTest& t, auto& a) { return show(fdset_add_value(t.env(), bound(a[1]), t.set(a[0]))); }},
      {"union_if_needed",
       [](FdsetTest& t, auto& a) { return show(fdset_union_if_needed(t.env(), t.set(a[0]), t.set(a[1]))); }},
      {"interval", [](FdsetTest& t, auto& a) { return show(fdset_interval(t.env(), bound(a[0]), bound(a[1]))); }},
      {"pair", [](FdsetTest& t, auto& a) { return show(fdset_pair(t.env(), bound(a[0]), bound(a[1]))); }},
      {"interval_complement",
       [](FdsetTest& t, auto& a) { return show(fdset_interval_complement(t.env(), bound(a[0]), bound(a[1]))); }},
      {"progression",
       [](FdsetTest& t, auto& a) { return show(fdset_progression(t.env(), std::stoll(a[0]), std::stoll(a[1]))); }},
      {"split_first",
       [](FdsetTest& t, auto& a) {
         lv_term first;
         fdset rest = fdset_split_first(t.env(), t.set(a[0]), &first);
         return text(first) + " " + show(rest);
       }},
      {"add_constant",
       [](FdsetTest& t, auto& a) { return show(fdset_add_constant(t.env(), t.set(a[0]), bound(a[1]))); }},
      {"reflect", [](FdsetTest& t, auto& a) { return show(fdset_reflect(t.env(), t.set(a[0]), bound(a[1]))); }},
      {"combine",
       [](FdsetTest& t, auto& a) {
         return show(fdset_combine(t.env(), t.set(a[0]), t.set(a[1]), bound(a[2]), bound(a[3])));
       }},
      {"merge", [](FdsetTest& t, auto& a) { return show(fdset_merge(t.set(a[0]), t.set(a[1]))); }},
      {"sort", [](FdsetTest& t, auto& a) { return show(fdset_sort_intervals(t.set(a[0]))); }},
      {"compare", [](FdsetTest& t, auto& a) { return code(fdset_compare(t.set(a[0]), t.set(a[1]))); }},
      {"compare_interval",
       [](FdsetTest& t, auto& a) { return code(fdset_compare_interval(t.set(a[0]), bound(a[1]), bound(a[2]))); }},
      {"median", [](FdsetTest& t, auto& a) { return std::to_string(fdset_median(t.set(a[0]))); }},
      {"middle", [](FdsetTest& t, auto& a) { return std::to_string(fdset_middle(t.set(a[0]))); }},
      {"size", [](FdsetTest& t, auto& a) { return std::to_string(fdset_size(t.set(a[0]))); }},
      {"size_fits", [](FdsetTest& t, auto& a) { return code(fdset_size_fits(t.set(a[0]))); }},
      {"singleton", [](FdsetTest& t, auto& a) { return code(fdset_singleton(t.set(a[0]))); }},
      {"member", [](FdsetTest& t, auto& a) { return code(fdset_member(bound(a[1]), t.set(a[0]))); }},
      {"next", [](FdsetTest& t, auto& a) { return word(fdset_next_value(t.set(a[0]), bound(a[1]))); }},
      {"prev", [](FdsetTest& t, auto& a) { return word(fdset_prev_value(t.set(a[0]), bound(a[1]))); }},
      {"first_common", [](FdsetTest& t, auto& a) { return word(fdset_first_common(t.set(a[0]), t.set(a[1]))); }},
      {"witness", [](FdsetTest& t, auto& a) { return word(fdset_intersect_witness(t.set(a[0]), t.set(a[1]))); }},
      {"max", [](FdsetTest& t, auto& a) { return text(fdset_max(t.set(a[0]))); }},
      {"find_overlap",
       [](FdsetTest& t, auto& a) {
         fdset rest;
         int r = fdset_find_overlap(bound(a[1]), bound(a[2]), t.set(a[0]), &rest);
         return code(r) + " " + show(rest);
       }},
      {"value_vs_interval",
       [](FdsetTest&, auto& a) { return code(fd_value_compare_interval(bound(a[0]), bound(a[1]), bound(a[2]))); }},
      {"relation",
       [](FdsetTest&, auto& a) {
         return code(fd_interval_relation(bound(a[0]), bound(a[1]), bound(a[2]), bound(a[3])));
       }},
  };
  return ops;
}

struct Row {
  const char* op;
  std::vector<std::string> args;
  const char* expected;
};

TEST_F(FdsetTest, OperationsTable) {
  const Row rows[] = {
      // Union: overlapping and adjacent intervals merge.
      {"union", {"[1..3]", "[4..6]"}, "[1..6]"},
      {"union", {"[1..3]", "[5..6]"}, "[1..3, 5..6]"},
      {"union", {"[1..3, 10..12]", "[2..11]"}, "[1..12]"},
      {"union", {"[]", "[1..2]"}, "[1..2]"},
      {"union", {"[inf..0]", "[1..sup]"}, "[inf..sup]"},
      {"union", {"[1..S]", "[sup]"}, "[1..sup]"},  // the successor of the largest integer is sup
      {"intersection", {"[1..5, 8..12]", "[3..9]"}, "[3..5, 8..9]"},
      {"intersection", {"[inf..sup]", "[2, 4]"}, "[2, 4]"},
      {"intersection", {"[1..3]", "[4..6]"}, "[]"},
      {"subtract", {"[1..9]", "[5]"}, "[1..4, 6..9]"},
      {"subtract", {"[1..9]", "[]"}, "[1..9]"},
      {"subtract", {"[inf..sup]", "[0]"}, "[inf..-1, 1..sup]"},
      {"subtract", {"[1..3, 6..9]", "[0..4, 7]"}, "[6, 8..9]"},
      {"complement", {"[]"}, "[inf..sup]"},
      {"complement", {"[inf..sup]"}, "[]"},
      {"complement", {"[0..5]"}, "[inf..-1, 6..sup]"},
      // Saturation: the complement reaching past the smallest or largest
      // integer gives the degenerate intervals.
      {"complement", {"[-S..5]"}, "[inf, 6..sup]"},
      {"complement", {"[0..S]"}, "[inf..-1, sup]"},
      {"complement_range", {"1", "10", "[3..4, 8]"}, "[1..2, 5..7, 9..10]"},
      {"complement_range", {"5", "3", "[]"}, "[]"},
      {"restrict", {"[1..3, 5..9, 12]", "2", "6"}, "[2..3, 5..6]"},
      {"restrict", {"[inf..sup]", "inf", "4"}, "[inf..4]"},
      {"delete", {"[1..9]", "5"}, "[1..4, 6..9]"},
      {"delete", {"[1..9]", "12"}, "[1..9]"},
      {"delete", {"[5]", "5"}, "[]"},
      {"delete_interval", {"[1..3, 5..7, 9..11]", "2", "10"}, "[1, 11]"},
      {"union_interval", {"[1..2, 8..9]", "4", "5"}, "[1..2, 4..5, 8..9]"},
      {"union_interval", {"[1..2, 8..9]", "3", "7"}, "[1..9]"},
      {"union_interval", {"[1..5]", "2", "3"}, "[1..5]"},
      {"add_value", {"[1..2, 4]", "3"}, "[1..4]"},
      {"add_value", {"[1..2]", "2"}, "[1..2]"},
      {"union_if_needed", {"[2..3]", "[1..5]"}, "[1..5]"},
      {"union_if_needed", {"[0..3]", "[1..5]"}, "[0..5]"},
      {"interval", {"5", "3"}, "[]"},
      {"interval", {"sup", "sup"}, "[sup]"},
      {"interval", {"inf", "inf"}, "[inf]"},
      {"interval", {"sup", "3"}, "[]"},
      {"interval", {"3", "inf"}, "[]"},
      {"pair", {"5", "4"}, "[4..5]"},
      {"pair", {"7", "7"}, "[7]"},
      {"pair", {"9", "2"}, "[2, 9]"},
      {"interval_complement", {"3", "7"}, "[inf..2, 8..sup]"},
      {"interval_complement", {"inf", "7"}, "[8..sup]"},
      {"interval_complement", {"-S", "S"}, "[inf, sup]"},
      {"progression", {"3", "1"}, "[0..3]"},
      {"progression", {"3", "5"}, "[0, 5, 10, 15]"},
      {"split_first", {"[4..6, 9]"}, "4 [5..6, 9]"},
      {"split_first", {"[4, 9]"}, "4 [9]"},
      {"add_constant", {"[1..3, 7]", "10"}, "[11..13, 17]"},
      {"add_constant", {"[inf..3, 7..S]", "1"}, "[inf..4, 8..sup]"},
      {"reflect", {"[1..3, 7]", "10"}, "[3, 7..9]"},
      {"reflect", {"[inf..3]", "0"}, "[-3..sup]"},
      {"combine", {"[1..2]", "[10, 20]", "inf", "sup"}, "[11..12, 21..22]"},
      {"combine", {"[1..2, 5]", "[10, 20]", "12", "21"}, "[12, 15, 21]"},
      {"combine", {"[0..5]", "[0, 3]", "inf", "sup"}, "[0..8]"},
      {"combine", {"[]", "[1]", "inf", "sup"}, "[]"},
      {"merge", {"[1..3, 10]", "[2..5, 11..12]"}, "[1..5, 10..12]"},
      {"merge", {"[]", "[2..5]"}, "[2..5]"},
      {"sort", {"[9, 1..2, 5..6, 3, 4, 20..30, 25]"}, "[1..6, 9, 20..30]"},
      {"sort", {"[5, 4, 3, 2, 1]"}, "[1..5]"},
      {"sort", {"[inf..0, 10..sup, 1..2]"}, "[inf..2, 10..sup]"},
      // Relation codes: both empty are equal; an empty set lies inside
      // any other.
      {"compare", {"[]", "[]"}, "0"},
      {"compare", {"[]", "[1]"}, "2"},
      {"compare", {"[1]", "[]"}, "1"},
      {"compare", {"[1..5]", "[1..5]"}, "0"},
      {"compare", {"[1..5]", "[2..3]"}, "1"},
      {"compare", {"[1..2]", "[4..5]"}, "3"},
      {"compare", {"[1..3]", "[3..5]"}, "4"},
      {"compare", {"[1..3, 7]", "[0..10]"}, "2"},
      {"compare_interval", {"[2..3]", "1", "5"}, "2"},
      {"compare_interval", {"[2..3]", "5", "1"}, "1"},
      {"median", {"[1..2, 10..11]"}, "2"},
      {"median", {"[7]"}, "7"},
      {"middle", {"[-3..0]"}, "-1"},
      {"middle", {"[0..3, 10]"}, "3"},
      {"middle", {"[0..2, 8..10]"}, "8"},
      {"size", {"[1..3, 10]"}, "4"},
      {"size_fits", {"[-S..S]"}, "0"},
      {"size_fits", {"[inf..3]"}, "0"},
      {"size_fits", {"[1..S]"}, "1"},
      {"size_fits", {"[0..S]"}, "0"},
      {"singleton", {"[4]"}, "1"},
      {"singleton", {"[4..5]"}, "0"},
      {"member", {"[1..3, 7]", "7"}, "1"},
      {"member", {"[1..3, 7]", "5"}, "0"},
      {"member", {"[]", "5"}, "0"},
      {"next", {"[1..3, 7]", "3"}, "7"},
      {"next", {"[1..3, 7]", "-10"}, "1"},
      {"next", {"[1..3, 7]", "7"}, "sup"},
      {"prev", {"[1..3, 7]", "7"}, "3"},
      {"prev", {"[1..3, 7]", "20"}, "7"},
      {"prev", {"[1..3, 7]", "1"}, "inf"},
      {"first_common", {"[1..3, 7..9]", "[5..8]"}, "7"},
      {"first_common", {"[1..3]", "[5..8]"}, "none"},
      {"witness", {"[1..3, 7..9]", "[2..8]"}, "8"},
      {"witness", {"[]", "[5..8]"}, "none"},
      {"max", {"[1..3, 7..sup]"}, "sup"},
      {"find_overlap", {"[1..2, 5..6, 9]", "4", "5"}, "1 [5..6, 9]"},
      {"find_overlap", {"[1..2, 5..6, 9]", "3", "4"}, "0 [5..6, 9]"},
      {"find_overlap", {"[1..2]", "3", "4"}, "0 []"},
      {"value_vs_interval", {"0", "1", "5"}, "-1"},
      {"value_vs_interval", {"5", "1", "5"}, "0"},
      {"value_vs_interval", {"6", "1", "5"}, "1"},
      {"value_vs_interval", {"6", "1", "sup"}, "0"},
      {"relation", {"1", "3", "5", "6"}, "0"},
      {"relation", {"1", "3", "4", "6"}, "1"},
      {"relation", {"1", "3", "2", "6"}, "2"},
      {"relation", {"1", "3", "2", "3"}, "3"},
      {"relation", {"1", "5", "2", "3"}, "4"},
      {"relation", {"1", "3", "1", "6"}, "5"},
      {"relation", {"1", "3", "1", "3"}, "6"},
      {"relation", {"1", "3", "1", "2"}, "7"},
      {"relation", {"2", "3", "1", "6"}, "8"},
      {"relation", {"2", "3", "1", "3"}, "9"},
      {"relation", {"2", "5", "1", "3"}, "10"},
      {"relation", {"4", "5", "1", "3"}, "11"},
      {"relation", {"5", "6", "1", "3"}, "12"},
      {"relation", {"inf", "S", "sup", "sup"}, "1"},
  };
  for (const Row& row : rows) {
    scratch.reset();
    EXPECT_EQ(operations().at(row.op)(*this, row.args), row.expected) << row.op << " " << ::testing::PrintToString(row.args);
  }
}

TEST_F(FdsetTest, ResultsShareUnchangedCellsWithTheirInputs) {
  lv_term a = set("[1..2, 5..6, 9..10]");
  // Deleting from the middle interval keeps the first interval cell and
  // shares the list after the split.
  lv_term d = fdset_delete_value(env(), a, fd_make_small(5));
  EXPECT_EQ(show(d), "[1..2, 6, 9..10]");
  EXPECT_EQ(fd_list_cells(d)[0], fd_list_cells(a)[0]);
  EXPECT_EQ(fdset_rest(fdset_rest(d)), fdset_rest(fdset_rest(a)));
  // A union with a set wholly below shares the higher set's rest.
  lv_term u = fdset_union(env(), set("[-5..-3]"), a);
  EXPECT_EQ(fdset_rest(u), a);
  // Deleting a value that is not there, or adding one that is, changes
  // nothing.
  EXPECT_EQ(fdset_delete_value(env(), a, fd_make_small(7)), a);
  EXPECT_EQ(fdset_add_value(env(), fd_make_small(6), a), a);
  EXPECT_EQ(fdset_union(env(), a, FD_NIL), a);
}

TEST_F(FdsetTest, OperationsMoveOnWhenTheScratchChunkIsFull) {
  // The first chunk holds 16 words: a union of many intervals fills several.
  std::string left = "[", right = "[";
  for (int i = 0; i < 40; i++) {
    left += (i ? ", " : "") + std::to_string(4 * i);
    right += (i ? ", " : "") + std::to_string(4 * i + 2);
  }
  lv_term u = fdset_union(env(), set(left + "]"), set(right + "]"));
  EXPECT_GT(scratch.chunks(), 3u);
  EXPECT_EQ(fdset_size(u), 80);
  bool plain;
  EXPECT_EQ(fdset_check(u, &plain), FDSET_FINITE);
}

// The reference: membership over [LO - 1, HI + 1], the two outer places
// standing for all of inf..LO-1 and all of HI+1..sup (the set operations
// never split those ranges).
constexpr int LO = -8, HI = 8, WIDTH = HI - LO + 3;
typedef std::vector<bool> ref_set;

int place(int v) { return v - LO + 1; }

// The set's text for a reference set.
std::string ref_text(const ref_set& r) {
  std::string out = "[";
  for (int i = 0; i < WIDTH;) {
    if (!r[i]) {
      i++;
      continue;
    }
    int j = i;
    while (j + 1 < WIDTH && r[j + 1]) j++;
    std::string lo = i == 0 ? "inf" : std::to_string(i + LO - 1);
    std::string hi = j == WIDTH - 1 ? "sup" : std::to_string(j + LO - 1);
    if (out.size() > 1) out += ", ";
    out += lo == hi ? lo : lo + ".." + hi;
    i = j + 1;
  }
  return out + "]";
}

ref_set random_ref(std::mt19937& rng) {
  ref_set r(WIDTH);
  int density = static_cast<int>(rng() % 5);
  for (int i = 1; i < WIDTH - 1; i++) r[i] = static_cast<int>(rng() % 6) < density + 1;
  r[0] = rng() % 3 == 0;
  r[WIDTH - 1] = rng() % 3 == 0;
  return r;
}

TEST_F(FdsetTest, AlgebraAgainstReferenceSets) {
  std::mt19937 rng(44);
  for (int round = 0; round < 4000; round++) {
    scratch.reset();
    ref_set ra = random_ref(rng), rb = random_ref(rng);
    lv_term a = set(ref_text(ra)), b = set(ref_text(rb));
    auto before_a = set_terms::snapshot(a), before_b = set_terms::snapshot(b);
    ref_set u(WIDTH), n(WIDTH), d(WIDTH), c(WIDTH);
    bool common = false, a_out = false, b_out = false;
    for (int i = 0; i < WIDTH; i++) {
      u[i] = ra[i] || rb[i];
      n[i] = ra[i] && rb[i];
      d[i] = ra[i] && !rb[i];
      c[i] = !ra[i];
      common |= n[i];
      a_out |= d[i];
      b_out |= rb[i] && !ra[i];
    }
    SCOPED_TRACE(ref_text(ra) + " and " + ref_text(rb));
    ASSERT_EQ(show(fdset_union(env(), a, b)), ref_text(u));
    ASSERT_EQ(show(fdset_intersection(env(), a, b)), ref_text(n));
    ASSERT_EQ(show(fdset_subtract(env(), a, b)), ref_text(d));
    ASSERT_EQ(show(fdset_complement_op(env(), a)), ref_text(c));
    int relation = a_out && b_out ? (common ? 4 : 3) : b_out ? 2 : a_out ? 1 : 0;
    ASSERT_EQ(fdset_compare(a, b), relation);
    ASSERT_EQ(fdset_intersects(a, b), common ? 1 : 0);
    // A value and an interval inside the range.
    int v = LO + static_cast<int>(rng() % (HI - LO + 1));
    int w = v + static_cast<int>(rng() % 4);
    ASSERT_EQ(fdset_member(fd_make_small(v), a), ra[place(v)] ? 1 : 0) << v;
    ref_set dv = ra, ui = ra, ri(WIDTH);
    for (int x = v; x <= w && x <= HI; x++) dv[place(x)] = false, ui[place(x)] = true;
    for (int x = v; x <= w && x <= HI; x++) ri[place(x)] = ra[place(x)];
    lv_term hi = fd_make_small(std::min(w, HI));
    ASSERT_EQ(show(fdset_delete_interval(env(), a, fd_make_small(v), hi)), ref_text(dv)) << v << ".." << w;
    ASSERT_EQ(show(fdset_union_interval(env(), a, fd_make_small(v), hi)), ref_text(ui)) << v << ".." << w;
    ASSERT_EQ(show(fdset_restrict(env(), a, fd_make_small(v), hi)), ref_text(ri)) << v << ".." << w;
    ASSERT_EQ(set_terms::snapshot(a), before_a);
    ASSERT_EQ(set_terms::snapshot(b), before_b);
  }
}

TEST_F(FdsetTest, QueriesAgainstReferenceSets) {
  std::mt19937 rng(4401);
  for (int round = 0; round < 2000; round++) {
    ref_set ra = random_ref(rng), rb = random_ref(rng);
    ra[0] = ra[WIDTH - 1] = rb[0] = rb[WIDTH - 1] = false;  // finite sets
    lv_term a = set(ref_text(ra)), b = set(ref_text(rb));
    std::vector<int> values, common;
    for (int x = LO; x <= HI; x++) {
      if (ra[place(x)]) values.push_back(x);
      if (ra[place(x)] && rb[place(x)]) common.push_back(x);
    }
    SCOPED_TRACE(ref_text(ra) + " and " + ref_text(rb));
    ASSERT_EQ(fdset_size(a), static_cast<int64_t>(values.size()));
    ASSERT_EQ(fdset_first_common(a, b), common.empty() ? 0 : fd_make_small(common.front()));
    ASSERT_EQ(fdset_intersect_witness(a, b), common.empty() ? 0 : fd_make_small(common.back()));
    if (values.empty()) continue;
    ASSERT_EQ(fdset_median(a), values[(values.size() - 1) / 2]);
    int v = LO - 2 + static_cast<int>(rng() % (HI - LO + 5));
    auto above = std::upper_bound(values.begin(), values.end(), v);
    auto below = std::lower_bound(values.begin(), values.end(), v);
    ASSERT_EQ(fdset_next_value(a, fd_make_small(v)), above == values.end() ? FD_SUP : fd_make_small(*above)) << v;
    ASSERT_EQ(fdset_prev_value(a, fd_make_small(v)), below == values.begin() ? FD_INF : fd_make_small(*(below - 1)))
        << v;
    // The middle: (min + max) / 2 truncated, else the nearer neighbour, the
    // upper one on a tie.
    int m = (values.front() + values.back()) / 2;
    int expected = m;
    if (!ra[place(m)]) {
      int lo = *(std::lower_bound(values.begin(), values.end(), m) - 1);
      int up = *std::upper_bound(values.begin(), values.end(), m);
      expected = m - lo < up - m ? lo : up;
    }
    ASSERT_EQ(fdset_middle(a), expected);
  }
}

TEST_F(FdsetTest, ShiftsAndSumsAgainstReferenceSets) {
  std::mt19937 rng(4402);
  for (int round = 0; round < 1000; round++) {
    scratch.reset();
    ref_set ra = random_ref(rng), rb = random_ref(rng);
    ra[0] = ra[WIDTH - 1] = rb[0] = rb[WIDTH - 1] = false;
    lv_term a = set(ref_text(ra)), b = set(ref_text(rb));
    int k = static_cast<int>(rng() % 7) - 3;
    std::vector<bool> shifted(200), reflected(200), sums(200);
    for (int x = LO; x <= HI; x++) {
      if (!ra[place(x)]) continue;
      shifted[x + k + 100] = true;
      reflected[k - x + 100] = true;
      for (int y = LO; y <= HI; y++)
        if (rb[place(y)] && x + y >= -5 && x + y <= 9) sums[x + y + 100] = true;
    }
    auto text_of = [](const std::vector<bool>& r) {
      std::string out = "[";
      for (int i = 0; i < 200;) {
        if (!r[i]) {
          i++;
          continue;
        }
        int j = i;
        while (j + 1 < 200 && r[j + 1]) j++;
        if (out.size() > 1) out += ", ";
        out += i == j ? std::to_string(i - 100) : std::to_string(i - 100) + ".." + std::to_string(j - 100);
        i = j + 1;
      }
      return out + "]";
    };
    SCOPED_TRACE(ref_text(ra) + " and " + ref_text(rb) + " k " + std::to_string(k));
    // Shifting keeps the intervals as they are: compare sets as values.
    lv_term s = fdset_sort_intervals(fdset_add_constant(env(), a, fd_make_small(k)));
    ASSERT_EQ(show(s), text_of(shifted));
    ASSERT_EQ(show(fdset_reflect(env(), a, fd_make_small(k))), text_of(reflected));
    ASSERT_EQ(show(fdset_combine(env(), a, b, fd_make_small(-5), fd_make_small(9))), text_of(sums));
  }
}

TEST_F(FdsetTest, SortingTurnsAnyIntervalListIntoASet) {
  std::mt19937 rng(4403);
  for (int round = 0; round < 2000; round++) {
    int n = static_cast<int>(rng() % 40);
    set_terms::intervals ivs;
    ref_set r(WIDTH);
    for (int i = 0; i < n; i++) {
      int lo = LO + static_cast<int>(rng() % (HI - LO + 1));
      int hi = std::min(HI, lo + static_cast<int>(rng() % 4));
      ivs.push_back({fd_make_small(lo), fd_make_small(hi)});
      for (int x = lo; x <= hi; x++) r[place(x)] = true;
    }
    lv_term list = sets.make(ivs);
    std::string input = show(list);
    ASSERT_EQ(show(fdset_sort_intervals(list)), ref_text(r)) << input;
    // Two sorted lists merge into their union.
    ref_set ra = random_ref(rng), rb = random_ref(rng), u(WIDTH);
    for (int i = 0; i < WIDTH; i++) u[i] = ra[i] || rb[i];
    ASSERT_EQ(show(fdset_merge(set(ref_text(ra)), set(ref_text(rb)))), ref_text(u));
  }
}

TEST_F(FdsetTest, BuilderAndIterator) {
  fdset_builder b;
  fdset_builder_init(&b);
  for (int v : {1, 2, 3, 5, 6, 9})
    fdset_builder_add_value(env(), &b, fd_make_small(v));
  fdset_builder_add_interval(env(), &b, fd_make_small(10), fd_make_small(12));
  fdset_builder_add_interval(env(), &b, fd_make_small(20), fd_make_small(21));
  EXPECT_EQ(show(b.head), "[1..3, 5..6, 9..12, 20..21]");

  fdset_iter it;
  fdset_iter_init(&it, b.head);
  std::string values;
  while (!fdset_iter_done(&it)) values += text(fdset_iter_next(&it)) + " ";
  EXPECT_EQ(values, "1 2 3 5 6 9 10 11 12 20 21 ");
  fdset_iter_init(&it, b.head);
  std::string intervals;
  while (!fdset_iter_done(&it)) {
    lv_term lo, hi;
    fdset_iter_next_interval(&it, &lo, &hi);
    intervals += text(lo) + ".." + text(hi) + " ";
  }
  EXPECT_EQ(intervals, "1..3 5..6 9..12 20..21 ");
  fdset_iter_init(&it, FD_NIL);
  EXPECT_TRUE(fdset_iter_done(&it));
}

TEST_F(FdsetTest, MalformedSetsAreRefused) {
  set_terms::arena& a = sets;
  lv_term* loop = a.words(4);  // a list whose tail is itself
  loop[0] = fd_make_list(loop + 2);
  loop[1] = fd_make_list(loop);
  loop[2] = fd_make_small(1);
  loop[3] = fd_make_small(2);
  lv_term* open = a.words(4);  // a list with an unbound tail
  open[0] = fd_make_list(open + 2);
  open[1] = fd_make_ref(&open[1]);
  open[2] = fd_make_small(1);
  open[3] = fd_make_small(2);
  lv_term* flat = a.words(2);  // [1|2] as a set: its element is no interval
  flat[0] = fd_make_small(1);
  flat[1] = FD_NIL;
  const struct {
    const char* what;
    lv_term term;
  } bad[] = {
      {"an atom", FD_ATOM_ON},
      {"an integer", fd_make_small(3)},
      {"unordered", set("[5..6, 1..2]")},
      {"adjacent", set("[1..3, 4..6]")},
      {"overlapping", set("[1..4, 3..6]")},
      {"Max below Min", set("[3..1]")},
      {"inf after the first interval", set("[1, inf..5]")},
      {"sup as a lower bound", set("[sup..sup]")},
      {"inf as an upper bound", set("[inf..inf]")},
      {"an interval after sup", set("[1..sup, 5]")},
      {"an interval after the largest integer", set("[1..S, sup]")},
      {"a cyclic list", fd_make_list(loop)},
      {"an open list", fd_make_list(open)},
      {"a list of integers", fd_make_list(flat)},
  };
  for (const auto& c : bad) {
    bool plain;
    EXPECT_EQ(fdset_check(c.term, &plain), FDSET_INVALID) << c.what;
  }
  bool plain;
  EXPECT_EQ(fdset_check(FD_NIL, &plain), FDSET_FINITE);
  EXPECT_EQ(fdset_check(set("[inf..sup]"), &plain), FDSET_INFINITE);
  EXPECT_EQ(fdset_check(set("[-S..S]"), &plain), FDSET_FINITE);
  EXPECT_EQ(fdset_check(set("[1..2, 5..sup]"), &plain), FDSET_INFINITE);
  EXPECT_TRUE(plain);

  // A proper set whose cells hold references is checked through them and
  // rebuilt without them.
  lv_term* cells = a.words(8);
  lv_term* tail = a.words(1);
  cells[0] = fd_make_ref(&cells[6]);  // head: a reference to the interval
  cells[1] = fd_make_ref(tail);
  cells[6] = fd_make_list(cells + 2);
  cells[2] = fd_make_small(1);
  cells[3] = fd_make_ref(&cells[4]);
  cells[4] = fd_make_small(3);
  *tail = set("[7]");
  lv_term with_refs = fd_make_list(cells);
  EXPECT_EQ(fdset_check(with_refs, &plain), FDSET_FINITE);
  EXPECT_FALSE(plain);
  EXPECT_EQ(show(fdset_plain(env(), with_refs)), "[1..3, 7]");
}

TEST_F(FdsetTest, CopyOffHeapMovesOnlyHeapCells) {
  // A pretend heap: sets built there are copied out cell by cell; cells
  // elsewhere are kept.
  lv_term* heap = sets.words(64);
  fd_engine& w = scratch.engine();
  w.area_start = heap;
  w.H = heap + 64;
  lv_term* p = heap;
  p[0] = fd_make_list(p + 2);
  p[1] = set("[9..10]");  // a tail outside the heap
  p[2] = fd_make_small(1);
  p[3] = fd_make_small(4);
  lv_term s = fd_make_list(p);
  lv_term c = fdset_copy_off_heap(env(), s);
  EXPECT_EQ(show(c), "[1..4, 9..10]");
  EXPECT_FALSE(fd_list_cells(c) >= heap && fd_list_cells(c) < heap + 64);
  EXPECT_FALSE(fd_list_cells(fd_list_cells(c)[0]) >= heap && fd_list_cells(fd_list_cells(c)[0]) < heap + 64);
  EXPECT_EQ(fdset_rest(c), p[1]);  // kept as it is
  // A scratch list cell whose interval lies on the heap gets its head
  // redirected to a copy.
  lv_term* q = fdset_alloc(env(), 2);
  q[0] = fd_make_list(p + 2);
  q[1] = FD_NIL;
  lv_term d = fdset_copy_off_heap(env(), fd_make_list(q));
  EXPECT_EQ(d, fd_make_list(q));
  EXPECT_NE(q[0], fd_make_list(p + 2));
  EXPECT_EQ(show(d), "[1..4]");
  w.area_start = w.H = nullptr;
}

}  // namespace
