// compact_table over a real engine: random tables (one or several words
// of tuples, columns whose entries are single values or intervals) against
// enumeration: every variable keeps exactly the values some valid tuple
// uses, fixed tuples are accepted exactly when they are rows, a search
// (which backtracks over the block's bit set) finds exactly the rows; and
// two propagators sharing one table.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "domsolve/global_terms.h"

namespace {

using oracle::domains;
using oracle::values;

class Table : public oracle::GlobalTest {
 protected:
  // Entries per column: [lo, hi] intervals; a row gives one value per
  // column and matches the entry that holds it.
  struct table {
    std::vector<std::vector<std::pair<int64_t, int64_t>>> entries;
    std::vector<values> rows;
  };

  lv_term common(const table& t, int64_t users) {
    std::vector<lv_term> triples, tuples;
    std::vector<int64_t> first;
    int64_t e = 0;
    for (size_t c = 0; c < t.entries.size(); c++) {
      first.push_back(e);
      for (auto [lo, hi] : t.entries[c]) {
        triples.push_back(build("t", {small(static_cast<int64_t>(c)), small(lo), small(hi)}));
        e++;
      }
    }
    for (const values& r : t.rows) {
      std::vector<lv_term> items;
      for (size_t c = 0; c < r.size(); c++) {
        int64_t k = first[c];
        while (t.entries[c][k - first[c]].second < r[c]) k++;
        items.push_back(ints({k}));
      }
      tuples.push_back(list(items));
    }
    lv_term_ref tr = ref(list(tuples)), er = ref(list(triples)), cr = ref(small(static_cast<int64_t>(t.entries.size())));
    lv_term_ref out = ref(fresh());
    fd_compact_table_common(&env, tr, er, users, cr, out);
    return term(out);
  }
  void post_row(const std::vector<lv_term_ref>& vs, lv_term common_term) {
    lv_term state = build("s", {pairs(vs), common_term, small(0), fresh(), small(0)});
    std::vector<lv_term> xs;
    for (lv_term_ref v : vs) xs.push_back(term(v));
    post_global(build("compact_table", {list(xs), common_term}), state, read("[]"));
  }
  // Whether some row's entries hold the values (a row over an interval
  // entry allows every value of it).
  static int64_t entry_of(const table& t, size_t c, int64_t v) {
    for (size_t e = 0; e < t.entries[c].size(); e++)
      if (t.entries[c][e].first <= v && v <= t.entries[c][e].second) return static_cast<int64_t>(e);
    return -1;
  }
  static bool is_row(const table& t, const values& r) {
    for (const values& row : t.rows) {
      bool match = true;
      for (size_t c = 0; c < r.size() && match; c++) match = entry_of(t, c, r[c]) == entry_of(t, c, row[c]);
      if (match) return true;
    }
    return false;
  }
};

TEST_F(Table, AgainstEnumeration) {
  std::mt19937 rng(55);
  for (int round = 0; round < 250; round++) {
    table t;
    int k = 1 + static_cast<int>(rng() % 3);
    bool intervals = round % 3 == 1;
    for (int c = 0; c < k; c++) {
      std::vector<std::pair<int64_t, int64_t>> es;
      if (intervals) es = {{-2, -1}, {0, 0}, {1, 3}, {5, 6}};
      else for (int64_t v = -1; v <= 4; v++) es.push_back({v, v});
      t.entries.push_back(es);
    }
    // Rows: few, or past one word of 64.
    int count = round % 5 == 0 ? 60 + static_cast<int>(rng() % 80) : static_cast<int>(rng() % 14);
    std::set<values> seen;
    for (int i = 0; i < count; i++) {
      values r;
      for (int c = 0; c < k; c++) {
        const auto& e = t.entries[c][rng() % t.entries[c].size()];
        r.push_back(e.first + static_cast<int64_t>(rng() % static_cast<uint64_t>(e.second - e.first + 1)));
      }
      if (seen.insert(r).second) t.rows.push_back(r);
    }
    domains ds;
    std::string what = "table of " + std::to_string(t.rows.size()) + (intervals ? " rows over intervals:" : " rows:");
    for (int c = 0; c < k; c++) ds.push_back(oracle::random_domain(rng, -2, 6));
    for (const values& d : ds) what += " " + oracle::set_text(d);
    constraint con;
    con.post = [this, &t](const std::vector<lv_term_ref>& vs) { post_row(vs, common(t, 1)); };
    con.holds = [&t](const values& r) { return is_row(t, r); };
    std::vector<size_t> all;
    for (int c = 0; c < k; c++) all.push_back(static_cast<size_t>(c));
    con.strength = [this, &con, all](const domains& after) { return supported(after, con, all); };
    check(ds, con, what, round % 10 == 0);
    values fixed;
    for (const values& d : ds) fixed.push_back(d[rng() % d.size()]);
    check_fixed(fixed, con, what + " fixed");
  }
}

TEST_F(Table, SharedTable) {
  // [A, B] and [B, C] over one table of two rows: A = 1, B = 2, C = 3.
  table t{{{{1, 1}, {2, 2}}, {{2, 2}, {3, 3}}}, {{1, 2}, {2, 3}}};
  begin_call();
  std::vector<lv_term_ref> vs = make_vars({{0, 1, 2, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}});
  lv_term c = common(t, 2);
  post_row({vs[0], vs[1]}, c);
  post_row({vs[1], vs[2]}, c);
  EXPECT_TRUE(!call_failed() && propagate());
  EXPECT_EQ(domains_text(vs), "[[1|1]] [[2|2]] [[3|3]]");
}

}  // namespace
