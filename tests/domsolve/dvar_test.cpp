// Domain variables without an engine: records read from attributes built
// in the test's own memory, then pruned, queried and iterated. The pruning
// table gives the record's domain before, the operation, the result and the
// domain after.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "domsolve/scratch_env.h"
#include "domsolve/set_terms.h"
#include "kernel/dvar.h"
#include "kernel/solver_state.h"

namespace {

using set_terms::bound;
using set_terms::show;

class DvarTest : public ::testing::Test {
 public:
  DvarTest() { const_cast<lv_foreign_env*>(scratch.env())->state = reinterpret_cast<uintptr_t>(&state); }
  const lv_foreign_env* env() { return scratch.env(); }

  // An attribute v(1, Var, $mutable(Domain, 0), ...) for a domain written
  // as a set ("[1..3, 6..9]") or one value ("5").
  lv_term attribute(const std::string& domain) {
    lv_term* a = sets.words(8);
    lv_term* m = sets.words(3);
    a[0] = fd_functor(FD_ATOM_V, 7);
    a[1] = fd_make_small(1);
    a[2] = fd_make_ref(&a[2]);
    a[3] = fd_make_struct(m);
    for (int i = 4; i < 8; i++) a[i] = fd_make_small(0);
    m[0] = FD_FUNCTOR_MUTABLE_2;
    m[2] = fd_make_small(0);
    if (domain[0] != '[') {
      m[1] = bound(domain);
    } else {
      lv_term s = sets.make(domain);
      lv_term* d = sets.words(5);
      d[0] = FD_FUNCTOR_DOM_4;
      d[1] = s;
      d[2] = fdset_min(s);
      d[3] = fdset_max(s);
      d[4] = fdset_size_fits(s) ? fd_make_small(fdset_size(s)) : FD_SUP;
      m[1] = fd_make_struct(d);
    }
    return fd_make_struct(a);
  }
  // A record read from a domain; "i:1..10" is an interval record.
  dvar record(const std::string& domain) {
    dvar d{};
    if (domain.rfind("i:", 0) == 0) {
      size_t dots = domain.find("..");
      dvar_init_interval(&d, bound(domain.substr(2, dots - 2)), bound(domain.substr(dots + 2)));
    } else {
      lv_term a = attribute(domain);
      dvar_init(env(), &d, a, fd_make_ref(&fd_struct_cells(a)[2]));
    }
    return d;
  }
  std::string domain(dvar* d) { return show(dvar_get_set(env(), d)); }

  ScratchEnv scratch;
  fd_solver_state state{};
  set_terms::arena sets;
};

struct prune_case {
  std::string before;
  std::string op;  // fix, prune: intervals a..b; fix_set, prune_set: sets
  std::string a, b;
  int result;
  std::string after;  // the domain after, unless the result is -1
};

TEST_F(DvarTest, PruningResults) {
  const std::vector<prune_case> cases = {
      {"i:1..10", "fix", "3", "5", 7, "[3..5]"},
      {"i:1..10", "fix", "5", "5", 15, "[5]"},
      {"i:1..10", "fix", "11", "20", -1, ""},
      {"i:1..10", "fix", "0", "20", 0, "[1..10]"},
      {"i:1..10", "fix", "1", "9", 5, "[1..9]"},
      {"i:inf..sup", "fix", "sup", "sup", -1, ""},
      {"i:inf..sup", "fix", "inf", "inf", -1, ""},
      // A record with holes and an infinite end has no integer at that end.
      {"[1..3, 6..sup]", "fix", "sup", "sup", -1, ""},
      {"[inf..3, 6..9]", "fix", "inf", "inf", -1, ""},
      {"i:1..10", "prune", "4", "6", 1, "[1..3, 7..10]"},
      {"i:1..10", "prune", "1", "10", -1, ""},
      {"i:1..10", "prune", "1", "3", 3, "[4..10]"},
      {"i:1..10", "prune", "8", "12", 5, "[1..7]"},
      {"i:1..10", "prune", "0", "9", 11, "[10]"},
      {"i:1..10", "prune", "11", "12", 0, "[1..10]"},
      {"i:1..10", "prune", "5", "4", 0, "[1..10]"},
      {"[1..3, 6..9]", "prune", "5", "9", 5, "[1..3]"},
      {"[1..3, 6..9]", "prune", "1", "5", 3, "[6..9]"},
      {"[1..3, 6..9]", "prune", "4", "5", 0, "[1..3, 6..9]"},
      {"[1..3, 6..9]", "prune", "2", "7", 1, "[1, 8..9]"},
      {"[1..3, 6..9]", "fix", "2", "5", 7, "[2..3]"},
      {"[1..3, 6..9]", "fix", "4", "5", -1, ""},
      {"[1..3, 6..9]", "fix", "4", "6", 15, "[6]"},
      {"[1, 3, 5]", "fix", "2", "4", 15, "[3]"},
      {"i:1..10", "fix_set", "[]", "", -1, ""},
      {"i:1..10", "prune_set", "[]", "", 0, "[1..10]"},
      {"i:1..10", "fix_set", "[0..20]", "", 0, "[1..10]"},
      {"i:1..10", "fix_set", "[1..10]", "", 0, "[1..10]"},
      {"i:1..10", "fix_set", "[2, 4..5]", "", 7, "[2, 4..5]"},
      {"i:1..10", "fix_set", "[8..20]", "", 3, "[8..10]"},
      {"i:1..10", "fix_set", "[20..30]", "", -1, ""},
      {"[1..3, 6..9]", "fix_set", "[3..6]", "", 7, "[3, 6]"},
      {"[1..3, 6..9]", "fix_set", "[4..5]", "", -1, ""},
      {"i:1..10", "prune_set", "[0..20]", "", -1, ""},
      {"i:1..10", "prune_set", "[1..10]", "", -1, ""},
      {"i:1..10", "prune_set", "[12]", "", 0, "[1..10]"},
      {"i:1..10", "prune_set", "[1, 5, 10]", "", 7, "[2..4, 6..9]"},
      {"i:1..10", "prune_set", "[2..10]", "", 13, "[1]"},
      {"[1..3, 6..9]", "prune_set", "[1..3]", "", 3, "[6..9]"},
      {"[1..3, 6..9]", "prune_set", "[4..5]", "", 0, "[1..3, 6..9]"},
      {"[1..3, 6..9]", "prune_set", "[1..3, 6..9]", "", -1, ""},
  };
  for (const prune_case& c : cases) {
    SCOPED_TRACE(c.before + " " + c.op + " " + c.a + " " + c.b);
    dvar d = record(c.before);
    int r;
    if (c.op == "fix") r = dvar_fix_interval(env(), &d, bound(c.a), bound(c.b));
    else if (c.op == "prune") r = dvar_prune_interval(env(), &d, bound(c.a), bound(c.b));
    else if (c.op == "fix_set") r = dvar_fix_set(env(), &d, sets.make(c.a));
    else r = dvar_prune_set(env(), &d, sets.make(c.a));
    EXPECT_EQ(r, c.result);
    if (r < 0) continue;
    EXPECT_EQ(domain(&d), c.after);
    // The record's bounds, fixed flag and size agree with its domain.
    lv_term s = dvar_get_set(env(), &d);
    EXPECT_EQ(d.min, fdset_min(s));
    EXPECT_EQ(d.max, fdset_max(s));
    EXPECT_EQ(dvar_is_fixed(&d), d.min == d.max);
    EXPECT_EQ(dvar_size(&d), fdset_size(s));
    if (r > 0) {
      EXPECT_EQ(d.flags & 6, static_cast<uint32_t>(r) & 6);
    }
  }
}

TEST_F(DvarTest, FlagsOfRecordsReadFromAttributes) {
  dvar fixed = record("5");
  EXPECT_EQ(fixed.flags, 0x28u);
  EXPECT_EQ(fixed.size, fd_make_small(1));
  dvar interval = record("[1..9]");
  EXPECT_EQ(interval.flags, 0x30u);
  EXPECT_EQ(interval.size, fd_make_small(9));
  dvar holes = record("[1..3, 6..9]");
  EXPECT_EQ(holes.flags, 0x10u);
  EXPECT_EQ(dvar_interval_count(&holes), 2);
  // A hole punched in an interval record clears its interval flag.
  dvar d = record("i:1..10");
  EXPECT_EQ(dvar_prune_interval(env(), &d, bound("4"), bound("6")), 1);
  EXPECT_EQ(d.flags & DVAR_INTERVAL, 0u);
  // Bounds moved on a record with holes leave a set that is not exact until
  // it is asked for.
  EXPECT_EQ(dvar_fix_interval(env(), &holes, bound("2"), bound("8")), 7);
  EXPECT_EQ(holes.flags & DVAR_SET_CURRENT, 0u);
  EXPECT_EQ(domain(&holes), "[2..3, 6..8]");
  EXPECT_NE(holes.flags & DVAR_SET_CURRENT, 0u);
}

TEST_F(DvarTest, BoundsPastTheSmallIntegersRecordAnOverflow) {
  // Removing everything up to the largest small integer from 0..sup leaves
  // no integer bound to give.
  dvar d = record("[0..sup]");
  EXPECT_EQ(dvar_prune_interval(env(), &d, bound("-5"), bound("S")), -1);
  EXPECT_EQ(state.pending_overflow, FD_OVERFLOW_SUP);
  state.pending_overflow = 0;
  dvar e = record("i:inf..0");
  EXPECT_EQ(dvar_prune_interval(env(), &e, bound("-S"), bound("5")), -1);
  EXPECT_EQ(state.pending_overflow, FD_OVERFLOW_INF);
}

TEST_F(DvarTest, Queries) {
  dvar d = record("[1..3, 6..9, 12]");
  EXPECT_EQ(dvar_fix_interval(env(), &d, bound("2"), bound("9")), 7);  // the set field is not restricted yet
  EXPECT_EQ(dvar_size(&d), 6);
  EXPECT_EQ(dvar_interval_count(&d), 2);
  EXPECT_TRUE(dvar_contains(&d, bound("2")));
  EXPECT_FALSE(dvar_contains(&d, bound("1")));
  EXPECT_FALSE(dvar_contains(&d, bound("4")));
  EXPECT_FALSE(dvar_contains(&d, bound("12")));
  EXPECT_TRUE(dvar_contains(&d, bound("7")));
  EXPECT_TRUE(dvar_intersects_interval(env(), &d, bound("4"), bound("6")));
  EXPECT_FALSE(dvar_intersects_interval(env(), &d, bound("4"), bound("5")));
  EXPECT_FALSE(dvar_intersects_interval(env(), &d, bound("10"), bound("12")));
  EXPECT_TRUE(dvar_intersects_set(env(), &d, sets.make("[0, 9]")));
  EXPECT_FALSE(dvar_intersects_set(env(), &d, sets.make("[0, 12]")));
  EXPECT_EQ(dvar_compare_set(env(), &d, sets.make("[2..3, 6..9]")), FDSET_EQUAL);
  EXPECT_EQ(dvar_compare_set(env(), &d, sets.make("[1..20]")), FDSET_INSIDE);

  // Next and previous values, plain and tagged.
  struct step {
    int64_t v, next, prev;
  };
  const int64_t INF = DVAR_PLAIN_INF, SUP = DVAR_PLAIN_SUP;
  for (const step& s : std::vector<step>{{INF, 2, INF},
                                         {0, 2, INF},
                                         {2, 3, INF},
                                         {3, 6, 2},
                                         {4, 6, 3},
                                         {7, 8, 6},
                                         {9, SUP, 8},
                                         {12, SUP, 9},
                                         {SUP, SUP, 9}}) {
    SCOPED_TRACE(s.v);
    EXPECT_EQ(dvar_next_value(&d, s.v), s.next);
    EXPECT_EQ(dvar_prev_value(&d, s.v), s.prev);
  }
  EXPECT_EQ(dvar_next_value_tagged(&d, bound("9")), FD_SUP);
  EXPECT_EQ(dvar_prev_value_tagged(&d, bound("2")), FD_INF);
  dvar i = record("i:inf..sup");
  EXPECT_EQ(dvar_next_value(&i, 5), 6);
  EXPECT_EQ(dvar_prev_value(&i, 5), 4);

  // Same variable: records of one attribute and variable.
  lv_term a = attribute("[1..5]");
  dvar x{}, y{}, z{};
  dvar_init(env(), &x, a, fd_make_ref(&fd_struct_cells(a)[2]));
  dvar_init(env(), &y, a, fd_make_ref(&fd_struct_cells(a)[2]));
  z = record("[1..5]");
  EXPECT_TRUE(dvar_same_var(&x, &y));
  EXPECT_FALSE(dvar_same_var(&x, &z));
}

std::string walk_values(const dvar* d) {
  dvar_iter it;
  dvar_iter_init(d, &it);
  std::string out;
  int guard = 0;
  while (!dvar_iter_done(&it) && ++guard < 100) out += std::to_string(dvar_iter_next(&it)) + " ";
  return out;
}
std::string walk_intervals(const dvar* d) {
  dvar_iter it;
  dvar_iter_init(d, &it);
  std::string out;
  int guard = 0;
  while (!dvar_iter_done(&it) && ++guard < 100) {
    int64_t lo, hi;
    dvar_iter_next_interval(&it, &lo, &hi);
    out += std::to_string(lo) + ".." + std::to_string(hi) + " ";
  }
  return out;
}

TEST_F(DvarTest, Iterators) {
  dvar d = record("[1..3, 6..9, 12]");
  EXPECT_EQ(walk_values(&d), "1 2 3 6 7 8 9 12 ");
  EXPECT_EQ(walk_intervals(&d), "1..3 6..9 12..12 ");
  EXPECT_EQ(dvar_fix_interval(env(), &d, bound("2"), bound("8")), 7);
  EXPECT_EQ(walk_values(&d), "2 3 6 7 8 ");
  EXPECT_EQ(walk_intervals(&d), "2..3 6..8 ");
  dvar i = record("i:4..6");
  EXPECT_EQ(walk_values(&i), "4 5 6 ");
  EXPECT_EQ(walk_intervals(&i), "4..6 ");

  // Skipping: to the first value above V.
  struct skip {
    std::string v;
    std::string rest;
  };
  for (const skip& s : std::vector<skip>{{"0", "2 3 6 7 8 "},
                                         {"2", "3 6 7 8 "},
                                         {"3", "6 7 8 "},
                                         {"4", "6 7 8 "},
                                         {"7", "8 "},
                                         {"8", ""},
                                         {"sup", ""}}) {
    SCOPED_TRACE(s.v);
    dvar_iter it;
    dvar_iter_init(&d, &it);
    dvar_iter_skip_past(&it, bound(s.v));
    std::string out;
    while (!dvar_iter_done(&it)) out += std::to_string(dvar_iter_next(&it)) + " ";
    EXPECT_EQ(out, s.rest);
  }
  dvar_iter it;
  dvar_iter_init(&i, &it);
  dvar_iter_skip_past(&it, bound("4"));
  EXPECT_EQ(dvar_iter_next(&it), 5);
}

TEST_F(DvarTest, CopyMakesTheSetCurrent) {
  dvar d = record("[1..3, 6..9]");
  EXPECT_EQ(dvar_fix_interval(env(), &d, bound("2"), bound("7")), 7);
  dvar c{};
  dvar_copy(env(), &c, &d);
  EXPECT_EQ(show(c.set), "[2..3, 6..7]");
  EXPECT_NE(c.flags & DVAR_SET_CURRENT, 0u);
  EXPECT_EQ(c.min, bound("2"));
  EXPECT_EQ(c.max, bound("7"));
}

}  // namespace
