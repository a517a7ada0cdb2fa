// The non-linear arithmetic propagators over a real engine: their edge
// cases as tables, and every one against brute-force enumeration on small
// domains with holes, negative values and zero (soundness at the fixpoint,
// exact acceptance of fixed tuples, the search's solutions), also with one
// bound at inf or sup (soundness within a window).
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "domsolve/oracle.h"

namespace {

using oracle::domains;
using oracle::values;

// The relations, as the propagators must decide them.
int64_t floor_div(int64_t x, int64_t y) { return x / y - ((x % y != 0 && (x < 0) != (y < 0)) ? 1 : 0); }
int64_t floor_mod(int64_t x, int64_t y) { return x - floor_div(x, y) * y; }
// x ^ y: 0^0 = 1; a negative exponent has integer powers of 1 and -1 only.
bool power_is(int64_t x, int64_t y, int64_t z) {
  if (y < 0) {
    if (x == 1) return z == 1;
    if (x == -1) return z == ((y & 1) != 0 ? -1 : 1);
    return false;
  }
  __int128 p = 1;
  for (int64_t i = 0; i < y; i++) {
    p *= x;
    if (p > (static_cast<__int128>(1) << 70) || p < -(static_cast<__int128>(1) << 70)) return false;
  }
  return p == z;
}

// A propagator: its key, its variables' count, the event it suspends on,
// and the relation over a tuple.
struct propagator {
  std::string key;
  int vars;
  std::string event;
  std::function<bool(const values&)> holds;
};

propagator by_name(const std::string& name) {
  if (name == "abs(x)=y") return {name, 2, "minmax", [](const values& t) { return (t[0] < 0 ? -t[0] : t[0]) == t[1]; }};
  if (name == "x*x=y") return {name, 2, "minmax", [](const values& t) { return t[0] * t[0] == t[1]; }};
  if (name == "x*y=z") return {name, 3, "minmax", [](const values& t) { return t[0] * t[1] == t[2]; }};
  if (name == "x/y=z")
    return {name, 3, "minmax", [](const values& t) { return t[1] != 0 && t[0] / t[1] == t[2]; }};
  if (name == "x div y=z")
    return {name, 3, "minmax", [](const values& t) { return t[1] != 0 && floor_div(t[0], t[1]) == t[2]; }};
  if (name == "x mod y=z")
    return {name, 3, "minmax", [](const values& t) { return t[1] != 0 && floor_mod(t[0], t[1]) == t[2]; }};
  if (name == "x rem y=z")
    return {name, 3, "minmax", [](const values& t) { return t[1] != 0 && t[0] % t[1] == t[2]; }};
  if (name == "x^y=z") return {name, 3, "dom", [](const values& t) { return power_is(t[0], t[1], t[2]); }};
  if (name == "x/\\y=z") return {name, 3, "dom", [](const values& t) { return (t[0] & t[1]) == t[2]; }};
  if (name == "x\\/y=z") return {name, 3, "dom", [](const values& t) { return (t[0] | t[1]) == t[2]; }};
  if (name == "x\\y=z") return {name, 3, "dom", [](const values& t) { return (t[0] ^ t[1]) == t[2]; }};
  ADD_FAILURE() << "no propagator " << name;
  return {};
}

bool bitwise(const std::string& key) { return key == "x/\\y=z" || key == "x\\/y=z" || key == "x\\y=z"; }

// The overflow action of module domsolve: records the code, then fails.
int64_t overflow_code;
int overflow_action(lv_worker* w) {
  overflow_code = lv_small_value(lv_deref(w->X[1]));
  return 0;
}

// One row of edge cases: the domains (order gives, per position, the
// index of its variable when positions share one), the outcome.
struct edge_case {
  const char* key;
  std::vector<std::string> doms;
  const char* outcome;
  std::vector<int> order;
};

class NonLinear : public oracle::OracleTest {
 protected:
  void SetUp() override {
    OracleTest::SetUp();
    c_pred("overflow_action", 2, overflow_action, "domsolve");
  }

  // Posts the propagator over the variables (for ax=y: A first, then X, Y);
  // kind is the bitwise propagators' seventh state argument.
  void post(const propagator& p, const std::vector<lv_term_ref>& vs, int64_t a = 0, int64_t kind = 0) {
    std::string pairs;
    for (int i = 0; i < p.vars; i++) pairs += (i ? ", " : "") + std::string("p(_, _)");
    std::string state;
    unsigned first = 1;
    if (p.key == "ax=y") {
      state = "s(" + std::to_string(a) + ", " + pairs + ")";
      first = 2;
    } else if (bitwise(p.key)) {
      state = "s(" + pairs + ", 0, 0, 0, " + std::to_string(kind) + ", _, 0)";
    } else {
      state = "s(" + pairs + ", _, 0)";
    }
    lv_term_ref s = ref(state);
    std::string events = "[", args;
    for (int i = 0; i < p.vars; i++) {
      events += (i ? ", " : "") + p.event + "(_)";
      args += (i ? ", " : "") + std::string("a");
    }
    lv_term_ref ev = ref(events + "]");
    lv_term list = term(ev);
    for (int i = 0; i < p.vars; i++, list = lv_deref(lv_list_cells(list)[1])) {
      lv_term* pair = lv_struct_cells(lv_deref(lv_struct_cells(term(s))[first + i]));
      pair[1] = term(vs[i]);
      pair[2] = attribute_of(vs[i]);
      lv_struct_cells(lv_deref(lv_list_cells(list)[0]))[1] = term(vs[i]);
    }
    std::string goal = "'" + p.key + "'(" + (p.key == "ax=y" ? "a, " : "") + args + ")";
    lv_term_ref out = LV_new_term_ref();
    fd_post_global(&env, ref(goal), s, 4, ref("[]"), ev, out);
  }

  constraint make(const propagator& p, int64_t a = 0, int64_t kind = 0) {
    constraint c;
    c.post = [this, p, a, kind](const std::vector<lv_term_ref>& vs) { post(p, vs, a, kind); };
    if (p.key == "ax=y") c.holds = [a](const values& t) { return a * t[0] == t[1]; };
    else c.holds = p.holds;
    return c;
  }

  // A domain written "1..5,7,9..sup" (ascending) as the set $fd_in_set
  // takes, adjacent parts joined.
  static std::string set_of(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> parts;
    size_t i = 0;
    for (;;) {
      size_t comma = text.find(',', i);
      std::string part = text.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
      size_t dots = part.find("..");
      std::string lo = dots == std::string::npos ? part : part.substr(0, dots);
      std::string hi = dots == std::string::npos ? part : part.substr(dots + 2);
      if (!parts.empty() && parts.back().second != "sup" && lo != "inf" &&
          std::stoll(parts.back().second) + 1 == std::stoll(lo))
        parts.back().second = hi;
      else
        parts.push_back({lo, hi});
      if (comma == std::string::npos) break;
      i = comma + 1;
    }
    std::string out = "[";
    for (const auto& [lo, hi] : parts) out += (out.size() > 1 ? ",[" : "[") + lo + "|" + hi + "]";
    return out + "]";
  }

  // A fresh variable with the domain (a plain number: that integer).
  lv_term_ref var(const std::string& text) {
    if (text.find_first_of(".,") == std::string::npos) return ref(text);
    lv_term_ref v = ref("_");
    fd_in_set(&env, v, ref(set_of(text)), 1);
    return v;
  }

  // A variable's domain as text "1..5,7" (bounds inf, sup) or its value.
  std::string domain_text(lv_term_ref v) {
    lv_term t = term(v);
    if (lv_is_small(t)) return text(t);
    lv_term d = fd_attribute_domain(lv_deref(get_attributes(w, t, state->module)));
    if (lv_is_small(d)) return text(d);
    std::string out;
    for (lv_term s = lv_deref(lv_struct_cells(d)[1]); s != LV_ATOM_NIL; s = lv_deref(lv_list_cells(s)[1])) {
      lv_term iv = lv_deref(lv_list_cells(s)[0]);
      std::string lo = text(lv_list_cells(iv)[0]), hi = text(lv_list_cells(iv)[1]);
      out += (out.empty() ? "" : ",") + (lo == hi ? lo : lo + ".." + hi);
    }
    return out;
  }

  // A variable's domain as intervals, inf and sup as the extreme integers.
  std::vector<std::pair<int64_t, int64_t>> intervals(lv_term_ref v) {
    lv_term t = term(v);
    if (lv_is_small(t)) return {{lv_small_value(t), lv_small_value(t)}};
    lv_term d = fd_attribute_domain(lv_deref(get_attributes(w, t, state->module)));
    if (lv_is_small(d)) return {{lv_small_value(d), lv_small_value(d)}};
    auto value = [this](lv_term b) {
      if (lv_is_small(b)) return lv_small_value(b);
      return text(b) == "inf" ? INT64_MIN : INT64_MAX;
    };
    std::vector<std::pair<int64_t, int64_t>> out;
    for (lv_term s = lv_deref(lv_struct_cells(d)[1]); s != LV_ATOM_NIL; s = lv_deref(lv_list_cells(s)[1])) {
      lv_term iv = lv_deref(lv_list_cells(s)[0]);
      out.push_back({value(lv_deref(lv_list_cells(iv)[0])), value(lv_deref(lv_list_cells(iv)[1]))});
    }
    return out;
  }

  // One row: the domains after propagation, "fail", or "overflow N" when
  // the overflow action saw code N.
  std::string run(const std::string& key, const std::vector<std::string>& doms, const std::vector<int>& order = {},
                  int64_t a = 0, int64_t kind = 0) {
    begin_call();
    state->overflow = 1;
    overflow_code = 0;
    terms::push_choice(w, 0);
    std::vector<lv_term_ref> vs;
    for (const std::string& d : doms) vs.push_back(var(d));
    std::vector<lv_term_ref> args = vs;
    if (!order.empty()) {
      args.clear();
      for (int i : order) args.push_back(vs[static_cast<size_t>(i)]);
    }
    propagator p = key == "ax=y" ? propagator{key, 2, "dom", nullptr} : by_name(key);
    post(p, args, a, kind);
    std::string got;
    if (!propagate()) {
      got = overflow_code != 0 ? "overflow " + std::to_string(overflow_code) : "fail";
    } else {
      for (lv_term_ref v : vs) got += (got.empty() ? "" : " ") + domain_text(v);
    }
    backtrack();
    return got;
  }

  void run_table(const std::vector<edge_case>& cases) {
    for (const edge_case& c : cases) {
      std::string what = c.key;
      for (const std::string& d : c.doms) what += " " + d;
      EXPECT_EQ(run(c.key, c.doms, c.order), c.outcome) << what;
    }
  }

  // Soundness with unbounded domains: every solution whose values lie
  // within the window keeps its values (or there is none when the
  // propagation fails). Domains are value lists, an unbounded one given
  // apart as its finite values and the side left open.
  void check_unbounded(const std::vector<std::string>& doms, const constraint& c, int64_t window,
                       const std::string& what) {
    // The window's candidates of each variable.
    std::vector<values> cand;
    for (const std::string& d : doms) {
      values vs;
      std::string s = set_of(d);
      for (int64_t x = -window; x <= window; x++) {
        bool in = false;
        size_t i = 1;
        while (i < s.size() - 1) {
          size_t bar = s.find('|', i), close = s.find(']', i);
          std::string lo = s.substr(i + 1, bar - i - 1), hi = s.substr(bar + 1, close - bar - 1);
          int64_t l = lo == "inf" ? INT64_MIN : std::stoll(lo), h = hi == "sup" ? INT64_MAX : std::stoll(hi);
          if (x >= l && x <= h) in = true;
          i = close + 2;
        }
        if (in) vs.push_back(x);
      }
      cand.push_back(vs);
    }
    std::set<values> sols = solutions(cand, c);
    begin_call();
    state->overflow = 0;
    terms::push_choice(w, 0);
    std::vector<lv_term_ref> vs;
    for (const std::string& d : doms) vs.push_back(var(d));
    c.post(vs);
    bool ok = !call_failed() && propagate();
    if (!ok) {
      EXPECT_TRUE(sols.empty()) << what << ": failed with solutions";
    } else {
      for (size_t i = 0; i < vs.size(); i++) {
        auto iv = intervals(vs[i]);
        for (const values& s : sols) {
          bool kept = false;
          for (auto [l, h] : iv) kept |= s[i] >= l && s[i] <= h;
          EXPECT_TRUE(kept) << what << ": lost value " << s[i] << " of variable " << i;
        }
      }
    }
    backtrack();
  }
};

// abs, square and a*X = Y.
TEST_F(NonLinear, AbsSquareAndScaledEdgeCases) {
  const std::vector<edge_case> cases = {
      {"abs(x)=y", {"2..5", "0..3"}, "2..3 2..3", {}},
      {"abs(x)=y", {"-5..5", "2..3"}, "-3..-2,2..3 2..3", {}},
      {"abs(x)=y", {"-7..-2", "inf..sup"}, "-7..-2 2..7", {}},
      // Y below 0 has no partner; with Y all negative nothing does.
      {"abs(x)=y", {"-3..3", "-2..2"}, "-2..2 0..2", {}},
      {"abs(x)=y", {"-3..3", "-2..-1"}, "fail", {}},
      {"abs(x)=y", {"inf..sup", "3"}, "-3,3 3", {}},
      {"x*x=y", {"0..100", "10..50"}, "4..7 16..49", {}},
      {"x*x=y", {"-10..3", "0..sup"}, "-10..3 0..100", {}},
      {"x*x=y", {"-10..3", "9..30"}, "-5..-3,3 9..25", {}},
      {"x*x=y", {"-4..4", "-9..-1"}, "fail", {}},
      {"x*x=y", {"2147483648..2147483650", "inf..sup"}, "overflow 2", {}},
      // The least root's square passes the small integers: an overflow.
      {"x*x=y", {"inf..sup", "1152921504606846975"}, "overflow 2", {}},
      {"x*x=y", {"inf..sup", "1152921502459363329"}, "-1073741823,1073741823 1152921502459363329", {}},
  };
  run_table(cases);
  // a*X = Y: 3X = Y, the partners walked in step; fixed, it ends with Y.
  EXPECT_EQ(run("ax=y", {"0..5", "0..20"}, {}, 3), "0..5 0,3,6,9,12,15");
  EXPECT_EQ(run("ax=y", {"4", "0..20"}, {}, 3), "4 12");
  EXPECT_EQ(run("ax=y", {"-3..4", "-8..5"}, {}, -2), "-2..4 -8,-6,-4,-2,0,2,4");
  EXPECT_EQ(run("ax=y", {"inf..sup", "-5..5"}, {}, 0), "inf..sup 0");
  EXPECT_EQ(run("ax=y", {"inf..sup", "1..sup"}, {}, 2), "1..sup 2..sup");
  EXPECT_EQ(run("ax=y", {"576460752303423488..576460752303423490", "inf..sup"}, {}, 4), "overflow 2");
}

// x * y = z.
TEST_F(NonLinear, ProductEdgeCases) {
  const std::vector<edge_case> cases = {
      {"x*y=z", {"1..5", "2..3", "-100..100"}, "1..5 2..3 2..15", {}},
      {"x*y=z", {"inf..sup", "2..3", "10..20"}, "4..10 2..3 10..20", {}},
      {"x*y=z", {"0..sup", "inf..sup", "10..20"}, "1..20 1..20 10..20", {}},
      {"x*y=z", {"-5..5", "-3..3", "3..100"}, "-5..-1,1..5 -3..-1,1..3 3..15", {}},
      {"x*y=z", {"-2..5", "-30..30", "10..20"}, "-2..-1,1..5 -20..-5,2..20 10..20", {}},
      {"x*y=z", {"0..sup", "1", "5..sup"}, "5..sup 1 5..sup", {}},
      {"x*y=z", {"inf..5", "-1", "5"}, "-5 -1 5", {}},
      {"x*y=z", {"3", "4", "inf..sup"}, "3 4 12", {}},
      {"x*y=z", {"3", "4", "13"}, "fail", {}},
      {"x*y=z", {"-7..-1", "1..sup", "inf..sup"}, "-7..-1 1..sup inf..-1", {}},
      {"x*y=z", {"inf..sup", "inf..sup", "0"}, "inf..sup inf..sup 0", {}},
      {"x*y=z", {"inf..sup", "inf..sup", "inf..-1"}, "inf..-1,1..sup inf..-1,1..sup inf..-1", {}},
      {"x*y=z", {"1099511627776", "1099511627776", "inf..sup"}, "overflow 2", {}},
      {"x*y=z", {"-1099511627776", "1099511627776", "inf..sup"}, "overflow 1", {}},
      // X * Y = X with X never 0: Y = 1; Y * X = Y likewise; with 0 in X,
      // nothing of the kind.
      {"x*y=z", {"2..5", "-3..3"}, "2..5 1", {0, 1, 0}},
      {"x*y=z", {"2..5", "2..5"}, "fail", {0, 1, 1}},
      {"x*y=z", {"-2..5", "-3..3"}, "-2..5 -3..3", {0, 1, 0}},
      {"x*y=z", {"-1152921504606846976..1152921504606846975", "-1", "inf..sup"},
       "-1152921504606846976..1152921504606846975 -1 -1152921504606846975..sup", {}},
  };
  run_table(cases);
}

// x / y = z (truncating) and x div y = z (floor).
TEST_F(NonLinear, DivisionEdgeCases) {
  const std::vector<edge_case> cases = {
      {"x/y=z", {"0..10", "1..3", "inf..sup"}, "0..10 1..3 0..10", {}},
      {"x/y=z", {"7", "2", "inf..sup"}, "7 2 3", {}},
      {"x/y=z", {"11", "-10..-3,4..9", "-100..100"}, "11 -10..-3,4..9 -11,-5..-1,1..5,11", {}},
      {"x/y=z", {"5..8", "-12..1", "1..6,10"}, "5..6 1 5..6", {}},
      {"x/y=z", {"5..10", "inf..sup", "0..2"}, "5..10 inf..-6,2..sup 0..2", {}},
      {"x/y=z", {"5..10", "inf..sup", "1..2"}, "5..10 2..10 1..2", {}},
      {"x/y=z", {"inf..sup", "2..3", "inf..sup"}, "inf..sup 2..3 inf..sup", {}},
      {"x/y=z", {"0..sup", "2..3", "inf..sup"}, "0..sup 2..3 0..sup", {}},
      {"x/y=z", {"inf..-3", "2..5", "inf..sup"}, "inf..-3 2..5 inf..0", {}},
      {"x/y=z", {"0", "inf..sup", "inf..sup"}, "0 inf..-1,1..sup 0", {}},
      {"x/y=z", {"3", "inf..sup", "inf..sup"}, "3 inf..-1,1..sup -3,-1..1,3", {}},
      {"x/y=z", {"2..5", "inf..sup"}, "2..5 1", {0, 1, 0}},
      {"x/y=z", {"2..5", "2..5"}, "fail", {0, 1, 0}},
      {"x/y=z", {"-1152921504606846976", "-1", "inf..sup"}, "overflow 2", {}},
      {"x/y=z", {"inf..sup", "0", "inf..sup"}, "fail", {}},
      {"x/y=z", {"inf..sup", "-3..3", "inf..sup"}, "inf..sup -3..-1,1..3 inf..sup", {}},
      {"x/y=z", {"inf..sup", "576460752303423488..576460752303423493", "4..5"}, "overflow 2", {}},
      {"x/y=z", {"inf..sup", "576460752303423488..576460752303423493", "-5..-4"}, "overflow 1", {}},
      {"x div y=z", {"0..sup", "2..3", "inf..sup"}, "0..sup 2..3 0..sup", {}},
      {"x div y=z", {"inf..-3", "2..5", "inf..sup"}, "inf..-3 2..5 inf..-1", {}},
      {"x div y=z", {"5..10", "inf..sup", "1..2"}, "5..10 2..10 1..2", {}},
      {"x div y=z", {"5..10", "inf..sup", "0..2"}, "5..10 2..sup 0..2", {}},
      {"x div y=z", {"7", "inf..sup", "inf..sup"}, "7 inf..-1,1..sup -7,-4..3,7", {}},
      {"x div y=z", {"-3", "inf..sup", "inf..sup"}, "-3 inf..-1,1..sup -3..1,3", {}},
      {"x div y=z", {"-7..-1", "2", "inf..sup"}, "-7..-1 2 -4..-1", {}},
      {"x div y=z", {"inf..sup", "576460752303423488..576460752303423493", "4..5"}, "overflow 2", {}},
      {"x div y=z", {"inf..sup", "576460752303423488..576460752303423493", "-5..-4"}, "overflow 1", {}},
  };
  run_table(cases);
}

// x mod y = z and x rem y = z.
TEST_F(NonLinear, ModuloAndRemainderEdgeCases) {
  const std::vector<edge_case> cases = {
      {"x mod y=z", {"3..5", "7..9", "inf..sup"}, "3..5 7..9 3..5", {}},
      {"x mod y=z", {"-5..-3", "7..9", "inf..sup"}, "-5..-3 7..9 2..6", {}},
      {"x mod y=z", {"3..4", "-20..20", "3..9"}, "3..4 4..20 3..4", {}},
      {"x mod y=z", {"-7..5", "inf..sup", "8..10"}, "-7..-1,1..5 9..17 8..10", {}},
      {"x mod y=z", {"inf..sup", "5", "2..3"}, "inf..sup 5 2..3", {}},
      {"x mod y=z", {"6", "12", "3..9"}, "6 12 6", {}},
      {"x mod y=z", {"13..17", "5", "3"}, "13 5 3", {}},
      {"x mod y=z", {"-9..9", "-4", "inf..sup"}, "-9..9 -4 -3..0", {}},
      {"x mod y=z", {"inf..sup", "0", "inf..sup"}, "fail", {}},
      {"x rem y=z", {"-9..3", "2..3", "inf..sup"}, "-9..3 2..3 -2..2", {}},
      {"x rem y=z", {"20..25", "-3..4", "inf..sup"}, "20..25 -3..-1,1..4 0..3", {}},
      {"x rem y=z", {"9..13", "-20..20", "7..8"}, "fail", {}},
      {"x rem y=z", {"-2..sup", "3", "1"}, "1..sup 3 1", {}},
      {"x rem y=z", {"inf..sup", "inf..sup", "4..6"}, "4..sup inf..-5,5..sup 4..6", {}},
      {"x rem y=z", {"inf..-1", "3", "inf..sup"}, "inf..-1 3 -2..0", {}},
      {"x rem y=z", {"8", "inf..sup", "inf..sup"}, "8 inf..-1,1..sup 0..3,8", {}},
      {"x rem y=z", {"-9", "inf..sup", "inf..sup"}, "-9 inf..-1,1..sup -9,-4..0", {}},
      {"x rem y=z", {"1152921504606846970..1152921504606846975", "7", "6"}, "1152921504606846974 7 6", {}},
      // The next value with remainder 1 lies past the small integers.
      {"x rem y=z", {"1152921504606846974..sup", "7", "1"}, "overflow 2", {}},
      {"x mod y=z", {"inf..-1152921504606846975", "7", "5"}, "overflow 1", {}},
  };
  run_table(cases);
}

// x ^ y = z.
TEST_F(NonLinear, PowerEdgeCases) {
  const std::vector<edge_case> cases = {
      {"x^y=z", {"-5..5", "1", "2..9"}, "2..5 1 2..5", {}},
      {"x^y=z", {"2..3", "2..3", "inf..sup"}, "2..3 2..3 4..27", {}},
      {"x^y=z", {"-3..-2", "3", "inf..sup"}, "-3..-2 3 -27..-8", {}},
      {"x^y=z", {"-3..-2", "2", "inf..sup"}, "-3..-2 2 4..9", {}},
      {"x^y=z", {"2", "inf..sup", "8"}, "2 3 8", {}},
      {"x^y=z", {"-5..5", "-2..2", "1"}, "-5..5 -2..2 1", {}},
      {"x^y=z", {"0", "1..5", "inf..sup"}, "0 1..5 0", {}},
      {"x^y=z", {"1", "inf..sup", "1"}, "1 inf..sup 1", {}},
      // Negative exponents: only 1 and -1 have integer powers; 0^0 = 1.
      {"x^y=z", {"-1", "-3", "inf..sup"}, "-1 -3 -1", {}},
      {"x^y=z", {"2", "-1", "inf..sup"}, "fail", {}},
      {"x^y=z", {"0", "0", "inf..sup"}, "0 0 1", {}},
      {"x^y=z", {"-2", "inf..sup", "-8"}, "-2 3 -8", {}},
      // Exact beyond the precision of a double: 3^37 = 450283905890997363.
      {"x^y=z", {"3", "37", "inf..sup"}, "3 37 450283905890997363", {}},
      {"x^y=z", {"inf..sup", "37", "450283905890997363"}, "3 37 450283905890997363", {}},
      {"x^y=z", {"inf..sup", "37", "450283905890997364"}, "fail", {}},
      {"x^y=z", {"2", "70", "inf..sup"}, "overflow 2", {}},
      {"x^y=z", {"-2", "71", "inf..sup"}, "overflow 1", {}},
  };
  run_table(cases);
}

// Bitwise and, or, xor; the 0/1 variant with kind 1.
TEST_F(NonLinear, BitwiseEdgeCases) {
  const std::vector<edge_case> cases = {
      {"x/\\y=z", {"0..7", "2..3", "0..100"}, "0..7 2..3 0..3", {}},
      {"x/\\y=z", {"inf..-1", "inf..-1", "inf..sup"}, "inf..-1 inf..-1 inf..-1", {}},
      {"x\\/y=z", {"0..sup", "0..sup", "inf..sup"}, "0..sup 0..sup 0..sup", {}},
      {"x\\y=z", {"inf..-1", "0..sup", "inf..sup"}, "inf..-1 0..sup inf..-1", {}},
      {"x/\\y=z", {"inf..-1", "0..5", "inf..sup"}, "inf..-1 0..5 0..7", {}},
      {"x\\/y=z", {"-5..-1", "inf..sup", "inf..sup"}, "-5..-1 inf..sup -8..-1", {}},
      {"x/\\y=z", {"inf..-1", "-5..-1", "inf..sup"}, "inf..-1 -5..-1 inf..-1", {}},
      {"x\\/y=z", {"inf..-1", "-5..-1", "inf..sup"}, "inf..-1 -5..-1 -8..-1", {}},
      {"x\\y=z", {"inf..-1", "-5..-1", "inf..sup"}, "inf..-1 -5..-1 0..sup", {}},
      {"x/\\y=z", {"inf..sup", "inf..sup", "-3..-1"}, "-4..-1 -4..-1 -3..-1", {}},
      {"x\\/y=z", {"inf..sup", "0..5", "inf..-1"}, "inf..-1 0..5 inf..-1", {}},
      {"x/\\y=z", {"1", "2", "3"}, "fail", {}},
      {"x/\\y=z", {"5", "3", "0..10"}, "5 3 1", {}},
      {"x\\y=z", {"5", "3", "-20..20"}, "5 3 6", {}},
      {"x\\/y=z", {"inf..sup", "4", "0..100"}, "0..127 4 4..100", {}},
      {"x\\y=z", {"-6", "3", "inf..sup"}, "-6 3 -7", {}},
      {"x/\\y=z", {"-6", "-3", "inf..sup"}, "-6 -3 -8", {}},
  };
  run_table(cases);
  // The 0/1 variant: a truth table per operation.
  EXPECT_EQ(run("x/\\y=z", {"0..1", "0..1", "1"}, {}, 0, 1), "1 1 1");
  EXPECT_EQ(run("x\\/y=z", {"0", "0..1", "1"}, {}, 0, 1), "0 1 1");
  EXPECT_EQ(run("x\\y=z", {"1", "1", "0..1"}, {}, 0, 1), "1 1 0");
  EXPECT_EQ(run("x/\\y=z", {"1", "1", "0"}, {}, 0, 1), "fail");
  EXPECT_EQ(run("x/\\y=z", {"0", "0..1", "0..1"}, {}, 0, 1), "0 0..1 0");
  EXPECT_EQ(run("x\\y=z", {"0..1", "0..1", "0..1"}, {}, 0, 1), "0..1 0..1 0..1");
  // Kind 1 with a domain past 0..1 is served by the general variant.
  EXPECT_EQ(run("x\\/y=z", {"0..1", "2", "inf..sup"}, {}, 0, 1), "0..1 2 2..3");
}

// Every propagator against enumeration: random domains with holes over
// small ranges around 0; fixed tuples, half of them solutions.
TEST_F(NonLinear, AgainstEnumeration) {
  std::mt19937 rng(5417);
  struct family {
    std::string key;
    int64_t lo[3], hi[3];
  };
  const family families[] = {
      {"abs(x)=y", {-6, -3, 0}, {6, 6, 0}},       {"x*x=y", {-6, -4, 0}, {6, 30, 0}},
      {"x*y=z", {-5, -5, -12}, {5, 5, 12}},       {"x/y=z", {-9, -4, -5}, {9, 4, 5}},
      {"x div y=z", {-9, -4, -5}, {9, 4, 5}},     {"x mod y=z", {-9, -5, -5}, {9, 5, 5}},
      {"x rem y=z", {-9, -5, -5}, {9, 5, 5}},     {"x^y=z", {-4, -2, -20}, {4, 4, 20}},
      {"x/\\y=z", {-6, -6, -8}, {6, 6, 8}},       {"x\\/y=z", {-6, -6, -8}, {6, 6, 8}},
      {"x\\y=z", {-6, -6, -8}, {6, 6, 8}},
  };
  for (const family& f : families) {
    propagator p = by_name(f.key);
    for (int round = 0; round < 60; round++) {
      domains ds;
      for (int i = 0; i < p.vars; i++) ds.push_back(oracle::random_domain(rng, f.lo[i], f.hi[i]));
      // Now and then two positions name one variable.
      std::string what = f.key;
      for (const values& d : ds) what += " " + oracle::set_text(d);
      constraint c = make(p);
      check(ds, c, what, round % 10 == 0);
      values t;
      for (const values& d : ds) t.push_back(d[rng() % d.size()]);
      std::set<values> sols = solutions(ds, c);
      if (round % 2 == 0 && !sols.empty()) {
        auto it = sols.begin();
        std::advance(it, static_cast<long>(rng() % sols.size()));
        t = *it;
      }
      check_fixed(t, c, what + " fixed");
    }
  }
  // a*X = Y for A in -3..3.
  for (int round = 0; round < 60; round++) {
    int64_t a = static_cast<int64_t>(rng() % 7) - 3;
    domains ds = {oracle::random_domain(rng, -6, 6), oracle::random_domain(rng, -12, 12)};
    constraint c = make({"ax=y", 2, "dom", nullptr}, a);
    std::string what = "ax=y a " + std::to_string(a) + " " + oracle::set_text(ds[0]) + " " + oracle::set_text(ds[1]);
    check(ds, c, what, round % 10 == 0);
    check_fixed({ds[0][0], a * ds[0][0]}, c, what + " fixed");
  }
  // The 0/1 variant of the bitwise ones.
  for (const char* key : {"x/\\y=z", "x\\/y=z", "x\\y=z"}) {
    propagator p = by_name(key);
    for (int round = 0; round < 20; round++) {
      domains ds;
      for (int i = 0; i < 3; i++) ds.push_back(oracle::random_domain(rng, 0, 1));
      constraint c = make(p, 0, 1);
      check(ds, c, std::string(key) + " 0/1", false);
      check_fixed({ds[0][0], ds[1][0], ds[2][0]}, c, std::string(key) + " 0/1 fixed");
    }
  }
}

// The same variable in two positions, against enumeration over the tuple
// with the shared value.
TEST_F(NonLinear, SharedVariableAgainstEnumeration) {
  std::mt19937 rng(99);
  for (const char* key : {"x*y=z", "x/y=z", "x div y=z", "x mod y=z", "x rem y=z", "x^y=z", "x/\\y=z", "x\\y=z"}) {
    propagator p = by_name(key);
    for (int round = 0; round < 20; round++) {
      // Positions (0, 1, 0): X op Y = X; (0, 1, 1): X op Y = Y; (0, 0, 1).
      static const int orders[3][3] = {{0, 1, 0}, {0, 1, 1}, {0, 0, 1}};
      const int* order = orders[round % 3];
      domains ds = {oracle::random_domain(rng, -6, 6), oracle::random_domain(rng, -6, 6)};
      constraint c;
      c.post = [this, p, order](const std::vector<lv_term_ref>& vs) {
        post(p, {vs[static_cast<size_t>(order[0])], vs[static_cast<size_t>(order[1])], vs[static_cast<size_t>(order[2])]});
      };
      c.holds = [p, order](const values& t) { return p.holds({t[order[0]], t[order[1]], t[order[2]]}); };
      std::string what = std::string(key) + " order " + std::to_string(round % 3) + " " + oracle::set_text(ds[0]) +
                         " " + oracle::set_text(ds[1]);
      check(ds, c, what, false);
    }
  }
}

// One bound at inf or sup: soundness within a window.
TEST_F(NonLinear, UnboundedSoundness) {
  std::mt19937 rng(31337);
  const char* keys[] = {"abs(x)=y", "x*x=y", "x*y=z", "x/y=z", "x div y=z", "x mod y=z", "x rem y=z", "x^y=z",
                        "x/\\y=z", "x\\/y=z", "x\\y=z"};
  for (const char* key : keys) {
    propagator p = by_name(key);
    for (int round = 0; round < 30; round++) {
      std::vector<std::string> doms;
      size_t open = rng() % static_cast<size_t>(p.vars);
      for (int i = 0; i < p.vars; i++) {
        values d = oracle::random_domain(rng, -6, 6);
        std::string s;
        for (int64_t v : d) s += (s.empty() ? "" : ",") + std::to_string(v);
        if (static_cast<size_t>(i) == open) {
          // The finite values, then an open side beyond them.
          if (rng() % 2) s += ",9..sup";
          else s = "inf..-9," + s;
        }
        doms.push_back(s);
      }
      std::string what = key;
      for (const std::string& d : doms) what += " " + d;
      check_unbounded(doms, make(p), 60, what);
    }
  }
}

}  // namespace
