// The inline term built-ins called directly: each built-in's cases as one
// table, with the outcome (true, fail, the fall-back called with its
// arguments, or gc: the call that makes heap room) and the bindings made.
#include "core/inline_builtins.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "support/emulator_fixture.h"
#include "support/term_text.h"
#include "support/terms.h"

namespace {

using Routine = const uint32_t* (*)(lv_worker*, const lv_term*, const uint32_t*, lv_term*);

struct Row {
  std::vector<const char*> args;
  const char* outcome;        // an outcome ending in "..." gives its start
  const char* bindings = "";  // "Var=text ..."; #i is argument i
  int64_t heap = -1;          // free heap cells, when not the whole heap
};

int stand_in(lv_worker*) { return 1; }

class InlineTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    struct {
      const char* name;
      unsigned arity;
    } fallbacks[] = {{"=..", 2},          {"length", 2},   {"create_mutable", 2}, {"get_mutable", 2},
                     {"update_mutable", 2}, {"functor", 3}, {"append", 3},         {"arg", 3},
                     {"$compare", 4}};
    for (const auto& f : fallbacks) role(f.name, f.arity, stand_in);
    assembler::Assembler a;
    a.op(LV_OP_PROCEED);
    next = lv_code_block_code(clause(a));
  }

  std::string outcome(terms::reader& r, const uint32_t* to) {
    if (to == next) return "true";
    if (to == lv_fail_code) return "fail";
    if (to != lv_switch_code) return "?";
    lv_pred* p = w->called_pred;
    if (p == lv_kind_pred[LV_KIND_BUILTIN_RESUME]) return "gc";
    std::string s = std::string(lv_atom_text(p->name)) + "(";
    for (int i = 0; i < p->arity; i++) s += (i > 0 ? "," : "") + r.write(w->X[i]);
    return s + ")";
  }

  void run(Routine routine, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
      std::string trace;
      for (const char* a : row.args) trace += std::string(a) + "  ";
      SCOPED_TRACE(trace);
      terms::reader r(w);
      lv_term args[4];
      for (size_t i = 0; i < row.args.size(); i++) args[i] = r.read(row.args[i]);
      lv_term* e = w->E;
      const uint32_t* cp = w->CP;
      lv_term* local_top = w->local_top;
      lv_term* limit = w->heap_hard_limit;
      if (row.heap >= 0) {
        w->heap_hard_limit = w->H + row.heap;
        lv_set_soft_limit(w, w->heap_hard_limit);
      }
      const uint32_t* to = routine(w, args, next, w->E);
      w->heap_hard_limit = limit;
      lv_set_soft_limit(w, limit);
      // An expected outcome ending in "..." gives its start.
      std::string expected = row.outcome, found = outcome(r, to);
      size_t dots = expected.find("...");
      if (dots != std::string::npos) found = found.substr(0, dots) + "...";
      EXPECT_EQ(found, expected);
      std::istringstream checks(row.bindings);
      std::string check;
      while (checks >> check) {
        size_t eq = check.find('=', 1);
        std::string name = check.substr(0, eq);
        lv_term value = name[0] == '#' ? args[name[1] - '0'] : r.var(name);
        EXPECT_EQ(name + "=" + r.write(value), check);
      }
      w->E = e;
      w->CP = cp;
      w->local_top = local_top;
    }
  }

  const uint32_t* next = nullptr;
};

const uint32_t* univ(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_univ(w, a[0], a[1], n, f);
}
const uint32_t* length(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_length(w, a[0], a[1], n, f);
}
const uint32_t* create_mutable(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_create_mutable(w, a[0], a[1], n, f);
}
const uint32_t* get_mutable(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_get_mutable(w, a[0], a[1], n, f);
}
const uint32_t* update_mutable(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_update_mutable(w, a[0], a[1], n, f);
}
const uint32_t* functor(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_functor(w, a[0], a[1], a[2], n, f);
}
const uint32_t* append(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_append(w, a[0], a[1], a[2], n, f);
}
const uint32_t* arg(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_arg(w, a[0], a[1], a[2], n, f);
}
const uint32_t* compare(lv_worker* w, const lv_term* a, const uint32_t* n, lv_term* f) {
  return lv_inline_compare(w, a[0], a[1], a[2], n, f);
}

// A list text [f, a, a, ...] of n elements.
std::string long_list(int n) {
  std::string s = "[f";
  for (int i = 1; i < n; i++) s += ",a";
  return s + "]";
}

TEST_F(InlineTest, Univ) {
  static const std::string list256 = long_list(256), list257 = long_list(257);
  run(univ, {
                {{"T", "[foo,a,B]"}, "true", "T=foo(a,B)"},
                {{"T", "[a]"}, "true", "T=a"},
                {{"T", "[7]"}, "true", "T=7"},
                {{"T", "[2.5]"}, "true", "T=2.5"},
                {{"T", "[4611686018427387904]"}, "true", "T=4611686018427387904"},
                {{"T", "['.',H,L]"}, "true", "T=[H|L]"},
                {{"T", "['.',H]"}, "true", "T=.(H)"},
                {{"T", "[1,a]"}, "=..(T,[1,a])"},
                {{"T", "[f(x)]"}, "=..(T,[f(x)])"},
                {{"T", "[X,a]"}, "=..(T,[X,a])"},
                {{"T", "['$mutable',a,0]"}, "=..(T,[$mutable,a,0])"},
                {{"T", "['$array1d',a,b]"}, "=..(T,[$array1d,a,b])"},
                {{"T", "['$mutable',a]"}, "true", "T=$mutable(a)"},
                {{"T", "[foo|L]"}, "=..(T,[foo|L])"},
                {{"T", "[]"}, "=..(T,[])"},
                {{"T", "L"}, "=..(T,L)"},
                {{"T", "foo"}, "=..(T,foo)"},
                {{"T", list256.c_str()}, "true"},
                {{"T", list257.c_str()}, "=..(T,[f,a,a,..."},
                {{"f(a,B)", "L"}, "true", "L=[f,a,B]"},
                {{"[a|b]", "L"}, "true", "L=[.,a,b]"},
                {{"abc", "L"}, "true", "L=[abc]"},
                {{"2.5", "L"}, "true", "L=[2.5]"},
                {{"'$mutable'(1,0)", "L"}, "true", "L=[$mutable,1,0]"},
                {{"f(a)", "[f,b]"}, "fail"},
                {{"f(a,b)", "L"}, "gc", "L=[f,a,b]", 2},
                {{"T", "[g,a,b]"}, "gc", "T=g(a,b)", 1},
            });
}

TEST_F(InlineTest, Length) {
  run(length, {
                  {{"[a,b,c]", "N"}, "true", "N=3"},
                  {{"[]", "N"}, "true", "N=0"},
                  {{"[a,b|T]", "4"}, "true", "T=[_,_]"},
                  {{"L", "3"}, "true", "L=[_,_,_]"},
                  {{"L", "0"}, "true", "L=[]"},
                  {{"[a,b]", "2"}, "true"},
                  {{"[a,b]", "3"}, "fail"},
                  {{"[a,b,c|T]", "2"}, "fail"},
                  {{"[a,b|c]", "2"}, "fail"},
                  {{"[a,b|T]", "N"}, "length([a,b|T],N)"},
                  {{"[a,b|c]", "N"}, "length([a,b|c],N)"},
                  {{"L", "-1"}, "length(L,-1)"},
                  {{"L", "a"}, "length(L,a)"},
                  {{"L", "4611686018427387904"}, "length(L,4611686018427387904)"},
                  // At the heap limit the fall-back adds the cells still missing.
                  {{"[a|T]", "4"}, "length(_,2)", "T=[_|_]", 2},
              });
}

TEST_F(InlineTest, CreateMutable) {
  run(create_mutable, {
                          {{"f(X)", "M"}, "true", "M=$mutable(f(X),0)"},
                          {{"a", "'$mutable'(a,0)"}, "true"},
                          {{"a", "b"}, "fail"},
                          {{"V", "M"}, "create_mutable(V,M)"},
                          {{"a", "M"}, "gc", "M=$mutable(a,0)", 1},
                      });
}

TEST_F(InlineTest, GetMutable) {
  run(get_mutable, {
                       {{"V", "'$mutable'(f(x),3)"}, "true", "V=f(x)"},
                       {{"b", "'$mutable'(a,0)"}, "fail"},
                       {{"V", "M"}, "get_mutable(V,M)"},
                       {{"V", "foo(a,b)"}, "get_mutable(V,foo(a,b))"},
                       // A stamp that is no trail position: no mutable.
                       {{"V", "'$mutable'(a,foo)"}, "get_mutable(V,$mutable(a,foo))"},
                   });
}

TEST_F(InlineTest, UpdateMutable) {
  run(update_mutable, {
                          {{"b", "'$mutable'(a,0)"}, "true", "#1=$mutable(b,0)"},
                          {{"V", "'$mutable'(a,0)"}, "update_mutable(V,$mutable(a,0))"},
                          {{"b", "M"}, "update_mutable(b,M)"},
                          {{"b", "'$array1d'(a,0)"}, "update_mutable(b,$array1d(a,0))"},
                          {{"b", "'$mutable'(a,S)"}, "update_mutable(b,$mutable(a,S))"},
                          {{"b", "'$mutable'(a,-1)"}, "update_mutable(b,$mutable(a,-1))"},
                      });
}

TEST_F(InlineTest, Functor) {
  run(functor, {
                   {{"T", "foo", "3"}, "true", "T=foo(_,_,_)"},
                   {{"T", "foo", "0"}, "true", "T=foo"},
                   {{"T", "7", "0"}, "true", "T=7"},
                   {{"T", "2.5", "0"}, "true", "T=2.5"},
                   {{"T", "'.'", "2"}, "true", "T=[_|_]"},
                   {{"T", "'$mutable'", "1"}, "true", "T=$mutable(_)"},
                   {{"T", "foo", "255"}, "true"},
                   {{"T", "7", "1"}, "functor(T,7,1)"},
                   {{"T", "'$mutable'", "2"}, "functor(T,$mutable,2)"},
                   {{"T", "'$array1d'", "2"}, "functor(T,$array1d,2)"},
                   {{"T", "foo", "256"}, "functor(T,foo,256)"},
                   {{"T", "foo", "-1"}, "functor(T,foo,-1)"},
                   {{"T", "foo", "A"}, "functor(T,foo,A)"},
                   {{"T", "N", "2"}, "functor(T,N,2)"},
                   {{"T", "f(x)", "1"}, "functor(T,f(x),1)"},
                   {{"f(a,b)", "N", "A"}, "true", "N=f A=2"},
                   {{"[a]", "N", "A"}, "true", "N=. A=2"},
                   {{"abc", "N", "A"}, "true", "N=abc A=0"},
                   {{"7", "N", "A"}, "true", "N=7 A=0"},
                   {{"2.5", "N", "A"}, "true", "N=2.5 A=0"},
                   {{"4611686018427387904", "N", "A"}, "true", "N=4611686018427387904 A=0"},
                   {{"f(a,b)", "f", "3"}, "fail"},
                   {{"f(a,b)", "g", "2"}, "fail"},
                   {{"f(a,b)", "f", "two"}, "fail"},
                   {{"T", "foo", "3"}, "gc", "T=foo(_,_,_)", 1},
               });
}

TEST_F(InlineTest, Append) {
  run(append, {
                  {{"[a,b]", "[c]", "L"}, "true", "L=[a,b,c]"},
                  {{"[a,b]", "L2", "[a,b,c]"}, "true", "L2=[c]"},
                  {{"[a,b]", "[c]", "[a,b,c]"}, "true"},
                  {{"[]", "X", "Y"}, "true", "Y=X"},
                  {{"[a,B]", "X", "[A,b|Y]"}, "true", "A=a B=b Y=X"},
                  {{"[a,b]", "X", "[a,c]"}, "fail"},
                  {{"[a,b]", "X", "[a]"}, "fail"},
                  {{"foo", "X", "Y"}, "fail"},
                  {{"[a|foo]", "X", "Y"}, "fail"},
                  {{"[a|foo]", "X", "[a,b]"}, "fail"},
                  {{"L1", "[c]", "[a,b,c]"}, "append(L1,[c],[a,b,c])"},
                  {{"[a|T]", "X", "[a,b]"}, "append(T,X,[b])"},
                  {{"[a,b|T]", "X", "Y"}, "append(T,X,_)", "Y=[a,b|_]"},
                  // At the heap limit the fall-back goes on with the rests.
                  {{"[a,b,c]", "X", "Y"}, "append([b,c],X,_)", "Y=[a|_]", 2},
                  {{"[a,b,c]", "X", "Y"}, "gc", "Y=[a,b,c|X]", 6},
              });
}

TEST_F(InlineTest, Arg) {
  run(arg, {
               {{"1", "f(a,b)", "A"}, "true", "A=a"},
               {{"2", "f(a,b)", "A"}, "true", "A=b"},
               {{"1", "[x,y]", "A"}, "true", "A=x"},
               {{"2", "[x,y]", "A"}, "true", "A=[y]"},
               {{"1", "f(a)", "a"}, "true"},
               {{"1", "f(a)", "b"}, "fail"},
               {{"0", "f(a)", "A"}, "fail"},
               {{"2", "f(a)", "A"}, "fail"},
               {{"3", "[x]", "A"}, "fail"},
               {{"-1", "f(a)", "A"}, "arg(-1,f(a),A)"},
               {{"N", "f(a)", "A"}, "arg(N,f(a),A)"},
               {{"a", "f(a)", "A"}, "arg(a,f(a),A)"},
               {{"1", "foo", "A"}, "arg(1,foo,A)"},
               {{"1", "T", "A"}, "arg(1,T,A)"},
               {{"1", "2.5", "A"}, "arg(1,2.5,A)"},
           });
}

TEST_F(InlineTest, Compare) {
  run(compare, {
                   {{"O", "1", "2"}, "true", "O=<"},
                   {{"O", "b", "a"}, "true", "O=>"},
                   {{"O", "f(X)", "f(X)"}, "true", "O=="},
                   {{"O", "1.0", "1"}, "true", "O=<"},
                   {{"O", "X", "Y"}, "true", "O=<"},
                   {{"O", "f(a)", "g"}, "true", "O=>"},
                   {{"<", "1", "2"}, "true"},
                   {{"=", "1", "2"}, "fail"},
                   {{">", "1", "2"}, "fail"},
                   {{"foo", "1", "2"}, "$compare(foo,1,2,<)"},
                   {{"f(x)", "b", "a"}, "$compare(f(x),b,a,>)"},
                   {{"3", "a", "a"}, "$compare(3,a,a,=)"},
               });
}

// Cyclic lists: length hands them to its fall-back; append, walking two
// cyclic lists in step, stops and does the same.
TEST_F(InlineTest, CyclicLists) {
  terms::reader r(w);
  lv_term l = r.read("[a,b|T]");
  terms::set(r.var("T"), l);
  lv_term n = r.read("N");
  EXPECT_EQ(lv_inline_length(w, l, n, next, w->E), lv_switch_code);
  EXPECT_EQ(w->called_pred, lv_role.length_fallback);
  EXPECT_EQ(lv_deref(w->X[0]), l);

  lv_term m = r.read("[a,b|U]");
  terms::set(r.var("U"), m);
  lv_term x = r.read("X");
  EXPECT_EQ(lv_inline_append(w, l, x, m, next, w->E), lv_switch_code);
  EXPECT_EQ(w->called_pred, lv_role.append_fallback);
}

// The stamp of a mutable is the position of its own newest value-trail
// entry: an update is trailed once after each choicepoint, also right after
// an update.
TEST_F(InlineTest, UpdateMutableTrailsOncePerChoicepoint) {
  terms::reader r(w);
  lv_term m = r.read("'$mutable'(a,0)");
  auto update = [&](const char* value) {
    lv_term* tr = w->TR;
    EXPECT_EQ(lv_inline_update_mutable(w, r.read(value), m, next, w->E), next);
    return w->TR - tr;
  };
  lv_push_call_choicepoint(w, lv_static.fail_record);
  EXPECT_EQ(update("b"), 3);
  EXPECT_EQ(update("c"), 0);
  lv_push_call_choicepoint(w, lv_static.fail_record);
  EXPECT_EQ(update("d"), 3);
  EXPECT_EQ(lv_small_value(lv_struct_cells(m)[2]), w->TR - 3 - w->trail_base);
  EXPECT_EQ(r.write(m), "$mutable(d," + std::to_string(lv_small_value(lv_struct_cells(m)[2])) + ")");
}

// Binding an attributed variable counts a wake-up and asks for an event
// check, whichever routine binds it; the binding is trailed.
TEST_F(InlineTest, BindingAnAttributedVariableCountsAWakeUp) {
  terms::reader r(w);
  struct {
    const char* name;
    std::function<const uint32_t*(lv_term)> bind;
  } cases[] = {
      {"functor", [&](lv_term v) { return lv_inline_functor(w, v, r.read("f"), r.read("2"), next, w->E); }},
      {"=..", [&](lv_term v) { return lv_inline_univ(w, v, r.read("[g,a]"), next, w->E); }},
      {"length", [&](lv_term v) { return lv_inline_length(w, r.read("[a,b]"), v, next, w->E); }},
      {"compare", [&](lv_term v) { return lv_inline_compare(w, v, r.read("1"), r.read("2"), next, w->E); }},
      {"arg", [&](lv_term v) { return lv_inline_arg(w, r.read("1"), r.read("f(a)"), v, next, w->E); }},
      {"get_mutable", [&](lv_term v) { return lv_inline_get_mutable(w, v, r.read("'$mutable'(a,0)"), next, w->E); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lv_term v = terms::attvar(w);
    lv_set_soft_limit(w, w->heap_hard_limit);
    w->wakeup_count = 0;
    lv_term* tr = w->TR;
    EXPECT_EQ(c.bind(v), next);
    EXPECT_FALSE(lv_is_ref(lv_deref(v)));
    EXPECT_EQ(w->wakeup_count, 1);
    EXPECT_EQ(lv_soft_limit(w), nullptr);
    EXPECT_EQ(w->TR - tr, 1);
    EXPECT_EQ(*tr, v);
  }
  w->wakeup_count = 0;
  lv_set_soft_limit(w, w->heap_hard_limit);
}

TEST_F(InlineTest, Ground) {
  struct {
    const char* term;
    int ground;
  } cases[] = {{"f(a,[b,2.5])", 1}, {"7", 1},         {"[]", 1},         {"X", 0},
               {"f(a,X)", 0},       {"[a|T]", 0},     {"'$mutable'(a,0)", 0}, {"g(h('$mutable'(a,0)))", 0}};
  for (const auto& c : cases) {
    terms::reader r(w);
    EXPECT_EQ(lv_inline_ground(w, r.read(c.term)), c.ground) << c.term;
  }
  // A cyclic ground term is ground.
  terms::reader r(w);
  lv_term t = r.read("f(a,X)");
  terms::set(r.var("X"), t);
  EXPECT_EQ(lv_inline_ground(w, t), 1);
}

}  // namespace
