// Test support for the global propagators: their state terms built over
// the oracle's variables (pairs p(X, Attribute), lists, integers), posting
// through $fd_post_global, and the strength checks they share.
#pragma once

#include <string>
#include <vector>

#include "domsolve/oracle.h"

namespace oracle {

class GlobalTest : public OracleTest {
 protected:
  lv_term small(int64_t v) { return lv_make_small(v); }

  // name(args...) (an atom when there are none).
  lv_term build(const std::string& name, const std::vector<lv_term>& args) {
    if (args.empty()) return read(name);
    std::string text = name + "(";
    for (size_t i = 0; i < args.size(); i++) text += i ? ",_" : "_";
    lv_term t = lv_deref(read(text + ")"));
    for (size_t i = 0; i < args.size(); i++) lv_struct_cells(t)[i + 1] = args[i];
    return t;
  }

  lv_term list(const std::vector<lv_term>& items) {
    if (items.empty()) return read("[]");
    std::string text = "[";
    for (size_t i = 0; i < items.size(); i++) text += i ? ",_" : "_";
    lv_term l = lv_deref(read(text + "]"));
    lv_term t = l;
    for (lv_term item : items) {
      lv_list_cells(t)[0] = item;
      t = lv_deref(lv_list_cells(t)[1]);
    }
    return l;
  }
  lv_term ints(const values& vs) {
    std::vector<lv_term> items;
    for (int64_t v : vs) items.push_back(small(v));
    return list(items);
  }

  lv_term pair(lv_term_ref v) {
    lv_term a = attribute_of(v);
    return build("p", {term(v), a});
  }
  lv_term pairs(const std::vector<lv_term_ref>& vs) {
    std::vector<lv_term> ps;
    for (lv_term_ref v : vs) ps.push_back(pair(v));
    return list(ps);
  }
  // Event(V) for each variable.
  lv_term events(const std::vector<lv_term_ref>& vs, const std::string& event = "dom") {
    std::vector<lv_term> es;
    for (lv_term_ref v : vs) es.push_back(build(event, {term(v)}));
    return list(es);
  }
  lv_term fresh() { return read("_"); }

  // Posts the propagator: goal (whose functor chooses the C function),
  // state, the suspensions' events; flags as $fd_post_global takes them.
  void post_global(lv_term goal, lv_term state, lv_term event_list, int64_t flags = 0) {
    lv_term_ref g = ref(goal), s = ref(state), e = ref(event_list);
    lv_term_ref p = LV_new_term_ref();
    fd_post_global(&env, g, s, flags, ref("[]"), e, p);
  }

  std::string domains_text(const std::vector<lv_term_ref>& vs) {
    std::string out;
    for (lv_term_ref v : vs) out += (out.empty() ? "" : " ") + set_text(domain_of(v));
    return out;
  }

  // The domains after propagation, or "fail".
  std::string outcome(const std::vector<lv_term_ref>& vs) {
    return !call_failed() && propagate() ? domains_text(vs) : "fail";
  }

  // The values of variable i used by some solution.
  static values used(const std::set<values>& sols, size_t i) {
    std::set<int64_t> u;
    for (const values& s : sols) u.insert(s[i]);
    return values(u.begin(), u.end());
  }
  // "" when every value left in the variables named by gac is used by some
  // solution of the final domains, and the bounds of those named by bounds
  // are; else what is wrong.
  std::string supported(const domains& after, const constraint& c, const std::vector<size_t>& gac,
                        const std::vector<size_t>& bounds = {}) {
    std::set<values> sols = solutions(after, c);
    for (size_t i : gac)
      if (used(sols, i) != after[i]) return "variable " + std::to_string(i) + " keeps a value of no solution";
    for (size_t i : bounds) {
      values u = used(sols, i);
      if (u.empty() || u.front() != after[i].front() || u.back() != after[i].back())
        return "variable " + std::to_string(i) + " keeps a bound of no solution";
    }
    return "";
  }

  // One round of a random differential test: the checks of check() (the
  // collector forced every tenth round), and every third round a random
  // tuple of the domains posted fixed.
  void check_round(const domains& ds, const constraint& c, const std::string& what, std::mt19937& rng, int round) {
    check(ds, c, what, round % 10 == 0);
    if (round % 3 != 0) return;
    values t;
    for (const values& d : ds) t.push_back(d[rng() % d.size()]);
    check_fixed(t, c, what + " fixed");
  }
};

}  // namespace oracle
