// call/N: stripping qualifiers, resolving the closure, and handing the goal
// to the meta-call or call-error predicates; calls by name from native code.
#include "machine/call_n.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine/routines_fixture.h"

namespace {

using terms::fn;

const uint32_t CALL_SITE_WORDS[2] = {0, 0};
const uint32_t* const CALL_SITE = &CALL_SITE_WORDS[1];

// The arguments a C predicate saw, and its result.
std::vector<lv_term> seen;
int c_result = 1;
int c_predicate(lv_worker* w) {
  seen.assign(w->X, w->X + 2);
  return c_result;
}

class CallNTest : public RoutinesTest {
 protected:
  // A predicate defined as a C function (any defined kind would do).
  lv_pred* defined(const char* module, const char* name, unsigned arity) {
    lv_pred* p = pred(module, name, arity);
    p->definition = reinterpret_cast<void*>(c_predicate);
    lv_set_definition_type(p, LV_DEF_C);
    return p;
  }
  lv_term q(const char* module, lv_term goal) { return qualified(atom(module), goal); }
  std::string registers(unsigned n) const {
    std::string s;
    for (unsigned i = 0; i < n; i++) s += (i > 0 ? " " : "") + text(w->X[i]);
    return s;
  }
  lv_term call_site_term() const { return lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(CALL_SITE))); }
};

TEST_F(CallNTest, ClosureResolvesInTheInnermostAtomModule) {
  lv_pred* inner_foo = defined("inner", "foo", 3);
  defined("outer", "foo", 3);
  struct Case {
    const char* name;
    lv_term closure;
  };
  const Case cases[] = {
      {"inner:foo(a)", q("inner", fn(w, atom("foo"), {atom("a")}))},
      {"outer:inner:foo(a)", q("outer", q("inner", fn(w, atom("foo"), {atom("a")})))},
      {"inner:_:foo(a)", qualified(atom("inner"), qualified(terms::var(w), fn(w, atom("foo"), {atom("a")})))},
      {"inner:7:foo(a)", qualified(atom("inner"), qualified(lv_make_small(7), fn(w, atom("foo"), {atom("a")})))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w->X[0] = c.closure;
    w->X[1] = atom("b");
    w->X[2] = atom("c");
    EXPECT_EQ(lv_build_call_n_goal(w, 3, CALL_SITE), inner_foo);
    EXPECT_EQ(registers(3), "a b c");
  }
}

TEST_F(CallNTest, ArgumentsMoveAroundTheClosuresArguments) {
  struct Case {
    const char* name;
    lv_term closure;
    unsigned n;
    const char* expected;
  };
  lv_pred* bar = defined("prolog", "bar", 1);
  lv_pred* baz = defined("prolog", "baz", 4);
  lv_pred* dot = defined("prolog", ".", 3);
  const Case cases[] = {
      {"atom", atom("bar"), 2, "x"},
      {"compound", fn(w, atom("baz"), {atom("p"), atom("q")}), 3, "p q x y"},
      {"list", terms::cons(w, atom("h"), atom("t")), 2, "h t x"},
  };
  lv_pred* expected[] = {bar, baz, dot};
  for (size_t i = 0; i < 3; i++) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    w->X[0] = c.closure;
    w->X[1] = atom("x");
    w->X[2] = atom("y");
    EXPECT_EQ(lv_build_call_n_goal(w, c.n, CALL_SITE), expected[i]);
    EXPECT_EQ(registers(lv_functor_arity(lv_pred_functor(expected[i]))), c.expected);
  }
}

TEST_F(CallNTest, UnresolvedGoalGoesToTheMetaCall) {
  pred("inner", "undefined", 2);  // a record without a definition
  struct Case {
    const char* name;
    lv_term closure;
    unsigned n;
    const char* goal;
    const char* module;
  };
  const Case cases[] = {
      {"unknown predicate", q("inner", fn(w, atom("nothere"), {atom("a")})), 2, "nothere(a,b)", "inner"},
      {"undefined record", q("inner", fn(w, atom("undefined"), {atom("a")})), 2, "undefined(a,b)", "inner"},
      {"unknown module", q("nowhere", atom("nothere")), 1, "nothere", "nowhere"},
      {"unqualified: the type-in module", atom("nothere"), 2, "nothere(b)", "prolog"},
      {"list goal", terms::cons(w, atom("h"), atom("t")), 1, "[h|t]", "prolog"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w->X[0] = c.closure;
    w->X[1] = atom("b");
    EXPECT_EQ(lv_build_call_n_goal(w, c.n, CALL_SITE), lv_role.meta_call);
    EXPECT_EQ(text(w->X[0]), c.goal);
    EXPECT_EQ(text(w->X[1]), c.module);
    EXPECT_EQ(w->X[2], call_site_term());
  }
}

TEST_F(CallNTest, CallSiteBeyondTheSmallIntegersIsBoxed) {
  w->X[0] = atom("nothere");
  const auto* far = reinterpret_cast<const uint32_t*>(uintptr_t{1} << 62);
  EXPECT_EQ(lv_build_call_n_goal(w, 1, far), lv_role.meta_call);
  ASSERT_TRUE(lv_is_integer_box(w->X[2]));
  const lv_term* box = lv_struct_cells(w->X[2]);
  EXPECT_EQ(box[0], LV_BOX_INT1);
  EXPECT_EQ(box[1], uint64_t{1} << 62);
  EXPECT_EQ(box[2], LV_BOX_INT1);
}

TEST_F(CallNTest, CyclicQualifierChainStopsStripping) {
  defined("a", "foo", 1);
  for (unsigned length : {1u, 2u, 3u, 5u}) {
    SCOPED_TRACE(length);
    // M1:M2:...:X with X bound to the whole chain.
    lv_term var = terms::var(w);
    lv_term chain = var;
    for (unsigned i = length; i-- > 0;) chain = q(i == 0 ? "a" : "b", chain);
    terms::set(var, chain);
    w->X[0] = chain;
    w->X[1] = atom("z");
    EXPECT_EQ(lv_build_call_n_goal(w, 2, CALL_SITE), lv_role.meta_call);
    // The goal is the qualified term with the added argument.
    EXPECT_EQ(lv_struct_cells(w->X[0])[0], lv_make_functor(LV_ATOM_COLON, 3));
    EXPECT_EQ(text(lv_struct_cells(w->X[0])[3]), "z");
    EXPECT_TRUE(text(w->X[1]) == "a" || text(w->X[1]) == "b");
  }
}

TEST_F(CallNTest, NonCallableClosureGoesToTheCallError) {
  struct Case {
    const char* name;
    lv_term closure;
    const char* goal;
  };
  const Case cases[] = {
      {"integer", lv_make_small(3), "call(3,b)"},
      {"variable", terms::var(w), "call(_,b)"},
      {"qualified integer", q("m", lv_make_small(3)), "call(m:3,b)"},
      {"float", lv_make_float_box(w, 1.5), "call(box(4609434218613702656),b)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    w->X[0] = c.closure;
    w->X[1] = atom("b");
    EXPECT_EQ(lv_build_call_n_goal(w, 2, CALL_SITE), lv_role.call_error);
    EXPECT_EQ(text(w->X[0]), c.goal);
    EXPECT_EQ(w->X[1], call_site_term());
  }
}

TEST_F(CallNTest, ArityLimit) {
  // A closure of 254 arguments takes one added argument; one of 255 does not.
  for (unsigned closure_arity : {254u, 255u}) {
    SCOPED_TRACE(closure_arity);
    lv_term* h = w->H;
    h[0] = lv_make_functor(atom("wide"), closure_arity);
    for (unsigned i = 1; i <= closure_arity; i++) h[i] = lv_make_small(i);
    w->H = h + closure_arity + 1;
    w->X[0] = lv_make_struct(h);
    w->X[1] = atom("extra");
    lv_pred* p = lv_build_call_n_goal(w, 2, CALL_SITE);
    if (closure_arity == 254) {
      EXPECT_EQ(p, lv_role.meta_call);
      EXPECT_EQ(lv_struct_cells(w->X[0])[0], lv_make_functor(atom("wide"), 255));
      EXPECT_EQ(lv_struct_cells(w->X[0])[255], atom("extra"));
    } else {
      EXPECT_EQ(p, lv_role.call_error);
      EXPECT_EQ(lv_struct_cells(w->X[0])[0], lv_make_functor(atom("call"), 2));
      EXPECT_EQ(lv_struct_cells(w->X[0])[1], lv_make_struct(h));
    }
  }
}

TEST_F(CallNTest, ResolveCallableRunsCAndNativeCode) {
  lv_pred* c = defined("m", "c", 2);
  lv_pred* jitted = defined("m", "j", 2);
  jitted->kind = LV_KIND_JITTED;
  lv_pred* spied = defined("m", "s", 2);
  spied->kind = LV_KIND_BREAKPOINT;
  lv_pred* spied_native = defined("m", "sn", 2);
  spied_native->flags |= LV_PRED_JITTED;
  spied_native->kind = LV_KIND_BREAKPOINT;
  lv_pred* spied_blocked = defined("m", "sb", 2);
  spied_blocked->flags |= LV_PRED_BLOCK;
  spied_blocked->kind = LV_KIND_BREAKPOINT;
  lv_pred* bytecode = defined("m", "b", 2);
  bytecode->kind = LV_KIND_ENTER_COMPACTCODE;
  struct Case {
    const char* name;
    lv_term x0;
    int c_returns;
    int expected;
    lv_pred* called;  // the context's called predicate for native code
  };
  auto functor = [&](const char* name) { return lv_make_functor(atom(name), 2); };
  const Case cases[] = {
      {"C, success", functor("c"), 1, 1, nullptr},
      {"C, failure", functor("c"), 0, 0, nullptr},
      {"native code", functor("j"), 1, 2, jitted},
      {"spied C", functor("s"), 1, 1, nullptr},
      {"spied native code", functor("sn"), 1, 2, spied_native},
      {"spied with block declarations", functor("sb"), 1, 3, nullptr},
      {"bytecode", functor("b"), 1, 3, nullptr},
      {"unknown", functor("none"), 1, 3, nullptr},
      {"wrong arity", atom("c"), 1, 3, nullptr},
      {"not a name", lv_make_small(1), 1, 3, nullptr},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const lv_term args[2] = {atom("u"), atom("v")};
    w->X[0] = k.x0;
    w->X[1] = atom("m");
    w->P = nullptr;
    w->called_pred = nullptr;
    seen.clear();
    c_result = k.c_returns;
    EXPECT_EQ(lv_resolve_callable(w, args), k.expected);
    if (k.expected == 3) {
      EXPECT_TRUE(seen.empty());
      continue;
    }
    EXPECT_EQ(registers(2), "u v");
    EXPECT_EQ(w->called_pred, k.called);
    if (k.called == nullptr) {
      EXPECT_EQ(text(seen[0]) + " " + text(seen[1]), "u v");
      lv_pred* ran = k.x0 == functor("c") ? c : spied;
      EXPECT_EQ(w->P, &ran->continue_insn);
    }
  }
}

}  // namespace
