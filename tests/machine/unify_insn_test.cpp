// The head and structure unification instructions on hand-assembled
// programs: append/3 indexed through the list chain, naive reverse, terms
// built and matched by the same code in write and read mode, the binding and
// trailing rules, boxed numbers, and each two-argument form against the pair
// of one-argument forms it stands for.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/unify.h"
#include "support/emulator_fixture.h"
#include "support/nrev_program.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::show;
using terms::small;

// What the C predicates of these tests saw.
struct observations {
  int calls;
  int events;
  int woken;
  lv_term args[4];
  lv_term woken_goals;
  lv_term* tr;
  lv_term* h;
};
observations seen;

int record(lv_worker* w) {
  seen.calls++;
  for (int i = 0; i < 4; i++) seen.args[i] = lv_deref(w->X[i]);
  seen.tr = w->TR;
  seen.h = w->H;
  return 1;
}
int count_event(lv_worker*) {
  seen.events++;
  return 1;
}
int record_woken(lv_worker* w) {
  seen.woken++;
  seen.woken_goals = lv_deref(w->X[0]);
  return 1;
}
int succeed(lv_worker*) { return 1; }
int zero_soft_limit(lv_worker* w) {
  lv_request_event(w);
  return 1;
}

constexpr int64_t BIG = int64_t{1} << 61;  // needs a box

class UnifyInsnTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    seen = {};
    role("$event_handler", 0, count_event);
    role("$run_woken_goals", 1, record_woken);
    Assembler resume;
    resume.op(LV_OP_EXECUTE, {P(lv_kind_pred[LV_KIND_BUILTIN_RESUME])});
    clauses("$frame_handler", 7, {&resume}, "prolog");
    lv_lookup_role_predicates();
    observe = c_pred("observe", 4, record);
  }

  // An empty clause list; clauses are added with their first-argument keys.
  lv_pred* indexed(const char* name, unsigned arity) {
    lv_pred* p = pred("user", name, arity);
    lv_new_clause_list(p, LV_DEF_COMPACTCODE);
    return p;
  }
  void add(lv_pred* p, Assembler& a, uint32_t bits, lv_term key) { lv_append_clause(p, a.finish(), bits, key); }

  // A one-clause predicate under a fresh name.
  lv_pred* program(Assembler& a, unsigned arity = 4) {
    std::string name = "prog" + std::to_string(programs_++);
    return clauses(name.c_str(), arity, {&a});
  }

  lv_term ints(std::initializer_list<int64_t> values) {
    std::vector<lv_term> items;
    for (int64_t v : values) items.push_back(small(v));
    lv_term l = LV_ATOM_NIL;
    for (auto it = items.rbegin(); it != items.rend(); ++it) l = terms::cons(w, *it, l);
    return l;
  }
  lv_term box(int64_t v) { return lv_make_integer_box(w, v); }

  lv_pred* define_append() {
    lv_pred* app = indexed("app", 3);
    programs::define_nrev(app, indexed("nrev", 2));
    return app;
  }
  lv_pred* define_nrev() {
    lv_pred* nrev = indexed("nrev", 2);
    programs::define_nrev(indexed("app", 3), nrev);
    return nrev;
  }

  // A predicate of two clauses that just succeed: it leaves a choicepoint.
  lv_pred* nondeterminate(const char* name) {
    Assembler leaf1, leaf2;
    leaf1.op(LV_OP_PROCEED);
    leaf2.op(LV_OP_PROCEED);
    return clauses(name, 0, {&leaf1, &leaf2});
  }

  lv_pred* observe = nullptr;
  int programs_ = 0;
};

// ---- Golden programs -------------------------------------------------------------

TEST_F(UnifyInsnTest, AppendBuildsAndChecksListsThroughTheListChain) {
  lv_pred* app = define_append();
  ASSERT_EQ(app->kind, LV_KIND_ENTER_COMPACTCODE_INDEXED);
  lv_term z = terms::var(w);
  lv_term* b = w->B;
  ASSERT_EQ(call(app, {ints({1, 2}), ints({3}), z}), 1);
  EXPECT_EQ(show(z), "[1,2,3]");
  EXPECT_EQ(w->B, b - 6);  // the query's choicepoint only: the index left none
  lv_term y = terms::var(w);
  ASSERT_EQ(call(app, {ints({1, 2}), y, ints({1, 2, 3})}), 1);
  EXPECT_EQ(show(y), "[3]");
  EXPECT_EQ(call(app, {ints({1, 2}), ints({3}), ints({1, 3, 3})}), 0);
  EXPECT_EQ(call(app, {ints({1, 2}), ints({3}), atom("x")}), 0);
}

TEST_F(UnifyInsnTest, AppendSplitsAListOnBacktracking) {
  lv_pred* app = define_append();
  lv_term x = terms::var(w), y = terms::var(w);
  std::vector<std::string> splits;
  for (int r = call(app, {x, y, ints({1, 2})}); r == 1; r = redo()) splits.push_back(show(x) + "+" + show(y));
  EXPECT_EQ(splits, (std::vector<std::string>{"[]+[1,2]", "[1]+[2]", "[1,2]+[]"}));
  EXPECT_TRUE(lv_is_ref(lv_deref(x)));
}

TEST_F(UnifyInsnTest, NaiveReverseOfThirtyElements) {
  lv_pred* nrev = define_nrev();
  lv_term list = LV_ATOM_NIL, reversed = LV_ATOM_NIL;
  for (int64_t i = 30; i >= 1; i--) list = terms::cons(w, small(i), list);
  for (int64_t i = 1; i <= 30; i++) reversed = terms::cons(w, small(i), reversed);
  lv_term r = terms::var(w);
  ASSERT_EQ(call(nrev, {list, r}), 1);
  EXPECT_EQ(show(r), show(reversed));
  // Run again against the expected result: read mode all the way.
  EXPECT_EQ(call(nrev, {list, reversed}), 1);
  lv_term wrong = terms::cons(w, small(0), reversed);
  EXPECT_EQ(call(nrev, {list, wrong}), 0);
}

// t([a, b, c | f(d, g(e))]), with the last arguments as UNIFY_LIST and
// UNIFY_STRUCTURE: built in write mode on consecutive cells, matched in read
// mode by the same code.
TEST_F(UnifyInsnTest, RightRecursiveTermIsBuiltOnConsecutiveCellsAndMatchedByTheSameCode) {
  lv_term a = atom("a"), b = atom("b"), c = atom("c"), d = atom("d"), e = atom("e");
  lv_term f2 = lv_make_functor(atom("f"), 2), g1 = lv_make_functor(atom("g"), 1);
  Assembler t;
  t.op(LV_OP_GET_LIST, {X(0)})
      .op(LV_OP_UNIFY_CONSTANT, {C(a)})
      .op(LV_OP_UNIFY_LIST)
      .op(LV_OP_UNIFY_CONSTANT, {C(b)})
      .op(LV_OP_UNIFY_LIST)
      .op(LV_OP_UNIFY_CONSTANT, {C(c)})
      .op(LV_OP_UNIFY_STRUCTURE, {F(f2)})
      .op(LV_OP_UNIFY_CONSTANT, {C(d)})
      .op(LV_OP_UNIFY_STRUCTURE, {F(g1)})
      .op(LV_OP_UNIFY_CONSTANT_PROCEED, {C(e)});
  lv_pred* p = program(t, 1);

  lv_term x = terms::var(w);
  lv_term* start = w->H;
  ASSERT_EQ(call(p, {x}), 1);
  lv_term* h = start;
  EXPECT_EQ(lv_deref(x), lv_make_list(h));
  const lv_term expected[] = {a, lv_make_list(h + 2), b, lv_make_list(h + 4), c, lv_make_struct(h + 6),
                              f2, d, lv_make_struct(h + 9), g1, e};
  for (size_t i = 0; i < std::size(expected); i++) EXPECT_EQ(h[i], expected[i]) << "cell " << i;
  EXPECT_EQ(w->H, h + std::size(expected));

  lv_term built = lv_deref(x);
  EXPECT_EQ(call(p, {built}), 1);
  // A partial term: the unbound tail is bound in read mode and the rest
  // built in write mode.
  lv_term tail = terms::var(w);
  lv_term partial = terms::cons(w, a, terms::cons(w, b, tail));
  ASSERT_EQ(call(p, {partial}), 1);
  EXPECT_EQ(show(partial), show(built));
  lv_term inner = terms::var(w);
  lv_term other = terms::list(w, {a, b, c}, terms::fn(w, atom("f"), {d, terms::fn(w, atom("g"), {inner})}));
  ASSERT_EQ(call(p, {other}), 1);
  EXPECT_EQ(lv_deref(inner), e);
  lv_term wrong = terms::list(w, {a, b, c}, terms::fn(w, atom("f"), {d, terms::fn(w, atom("h"), {e})}));
  EXPECT_EQ(call(p, {wrong}), 0);
}

// Two clauses whose first instruction is GET_STRUCTURE_X0: with f(X) the
// first is entered past it with S set by the index, the second (on
// backtracking) sets S again; with an unbound argument both build f/1.
TEST_F(UnifyInsnTest, IndexedStructureClausesInBothStates) {
  lv_term f1 = lv_make_functor(atom("f"), 1);
  lv_pred* p = indexed("fx", 1);
  for (const char* v : {"a", "b"}) {
    Assembler a;
    a.op(LV_OP_GET_STRUCTURE_X0, {F(f1)}).op(LV_OP_UNIFY_CONSTANT_PROCEED, {C(atom(v))});
    add(p, a, LV_KEY_ALL | LV_KEY_KEYED, f1);
  }
  lv_term x = terms::var(w);
  lv_term fx = terms::fn(w, atom("f"), {x});
  std::vector<lv_term> values;
  for (int r = call(p, {fx}); r == 1; r = redo()) values.push_back(lv_deref(x));
  EXPECT_EQ(values, (std::vector<lv_term>{atom("a"), atom("b")}));

  lv_term y = terms::var(w);
  std::vector<std::string> built;
  for (int r = call(p, {y}); r == 1; r = redo()) built.push_back(show(y));
  EXPECT_EQ(built.size(), 2u);
  EXPECT_EQ(built[0], show(terms::fn(w, atom("f"), {atom("a")})));
  EXPECT_EQ(built[1], show(terms::fn(w, atom("f"), {atom("b")})));
  EXPECT_EQ(call(p, {terms::fn(w, atom("f"), {atom("c")})}), 0);
  EXPECT_EQ(call(p, {terms::fn(w, atom("g"), {atom("a")})}), 0);
}

// ---- Binding and trailing ---------------------------------------------------------

// Each case binds X0 (or unifies X0 with X1) in a clause that then calls
// observe; the trail entries made, the wake-ups and X0's value are checked.
struct binding_case {
  const char* name;
  void (*code)(Assembler& a, lv_pred* observe, lv_pred* nondet);
  lv_term (*x0)(lv_worker* w);  // the argument, made before the call
  lv_term (*x1)(lv_worker* w);
  int64_t trail_entries;
  int64_t woken_goals;   // the goals of the variable woken, 0 for none
  int kept;              // unifying X0 with X1: the variable left unbound (0 or 1); -1 otherwise
  const char* x0_after;  // X0 dereferenced, as shown
};

lv_term no_arg(lv_worker*) { return LV_ATOM_NIL; }
lv_term heap_var(lv_worker* w) { return terms::var(w); }
lv_term woken_attvar(lv_worker* w) {
  lv_term v = terms::attvar(w);
  lv_ref_cell(v)[2] = lv_make_small(42);  // the suspended goals
  return v;
}
lv_term other_attvar(lv_worker* w) {
  lv_term v = terms::attvar(w);
  lv_ref_cell(v)[2] = lv_make_small(43);
  return v;
}

void bind_x0(Assembler& a, lv_pred* observe, lv_pred*) {
  a.op(LV_OP_GET_CONSTANT, {X(0), C(small(5))}).op(LV_OP_EXECUTE, {P(observe)});
}
void unify_x0_x1(Assembler& a, lv_pred* observe, lv_pred*) {
  a.op(LV_OP_GET_X_VALUE, {X(0), X(1)}).op(LV_OP_EXECUTE, {P(observe)});
}
void unify_x1_x0(Assembler& a, lv_pred* observe, lv_pred*) {
  a.op(LV_OP_GET_X_VALUE, {X(1), X(0)}).op(LV_OP_EXECUTE, {P(observe)});
}
void bind_new_heap_var(Assembler& a, lv_pred* observe, lv_pred*) {
  a.op(LV_OP_PUT_X_VARIABLE, {X(0), X(1)}).op(LV_OP_GET_CONSTANT, {X(0), C(small(5))}).op(LV_OP_EXECUTE, {P(observe)});
}
void bind_local_var(Assembler& a, lv_pred* observe, lv_pred*) {
  a.op(LV_OP_PUT_Y_FIRST_VARIABLE, {X(0), Y(0)})
      .op(LV_OP_GET_CONSTANT, {X(0), C(small(5))})
      .op(LV_OP_FIRSTCALL, {R(0, {}), P(observe), S(1)})
      .op(LV_OP_PROGRESS);
}
void bind_protected_local_var(Assembler& a, lv_pred* observe, lv_pred* nondet) {
  a.op(LV_OP_PUT_Y_FIRST_VARIABLE, {X(0), Y(0)})
      .op(LV_OP_FIRSTCALL, {R(0, {}), P(nondet), S(1)})
      .op(LV_OP_PUT_Y_VALUE, {X(0), Y(0)})
      .op(LV_OP_GET_CONSTANT, {X(0), C(small(5))})
      .op(LV_OP_CALL, {R(0, {}), P(observe), S(1)})
      .op(LV_OP_PROGRESS);
}

const binding_case binding_cases[] = {
    {"HeapVariableOlderThanTheChoicepoint", bind_x0, heap_var, no_arg, 1, 0, -1, "5"},
    {"HeapVariableNewerThanTheChoicepoint", bind_new_heap_var, no_arg, no_arg, 0, 0, -1, "5"},
    {"LocalVariableAboveTheProtectedTop", bind_local_var, no_arg, no_arg, 0, 0, -1, "5"},
    {"LocalVariableBelowTheProtectedTop", bind_protected_local_var, no_arg, no_arg, 1, 0, -1, "5"},
    {"AttributedVariableWakesItsGoals", bind_x0, woken_attvar, no_arg, 1, 42, -1, "5"},
    // The younger of two plain variables is bound to the older.
    {"TwoPlainVariables", unify_x0_x1, heap_var, heap_var, 1, 0, 0, "_"},
    {"TwoPlainVariablesTheOtherWay", unify_x1_x0, heap_var, heap_var, 1, 0, 0, "_"},
    // A plain variable is bound to an attributed one, even a younger one,
    // without a wake-up; of two attributed ones the younger is bound.
    {"OlderPlainVariableToAnAttributedOne", unify_x0_x1, heap_var, woken_attvar, 1, 0, 1, "_"},
    {"TwoAttributedVariables", unify_x0_x1, woken_attvar, other_attvar, 1, 43, 0, "_"},
    {"TwoAttributedVariablesTheOtherWay", unify_x1_x0, woken_attvar, other_attvar, 1, 43, 0, "_"},
};

class BindingTest : public UnifyInsnTest, public ::testing::WithParamInterface<binding_case> {};

TEST_P(BindingTest, TrailsAndWakesByTheBindingRules) {
  const binding_case& c = GetParam();
  lv_pred* nondet = nondeterminate("nondet");
  Assembler a;
  c.code(a, observe, nondet);
  lv_term x0 = c.x0(w), x1 = c.x1(w);
  lv_term* tr = w->TR;
  ASSERT_EQ(call(program(a), {x0, x1}), 1);
  EXPECT_EQ(seen.calls, 1);
  EXPECT_EQ(seen.tr - tr, c.trail_entries);
  EXPECT_EQ(seen.woken, c.woken_goals != 0 ? 1 : 0);
  if (c.woken_goals != 0) {
    EXPECT_EQ(seen.woken_goals, small(c.woken_goals));
  }
  EXPECT_EQ(show(seen.args[0]), c.x0_after);
  if (c.kept >= 0) {
    EXPECT_EQ(lv_deref(x0), lv_deref(x1));
    EXPECT_EQ(lv_deref(x0), c.kept == 0 ? x0 : x1);
  }
}
INSTANTIATE_TEST_SUITE_P(Unify, BindingTest, ::testing::ValuesIn(binding_cases),
                         [](const ::testing::TestParamInfo<binding_case>& info) { return std::string(info.param.name); });

// u :- V is a frame variable, noop(V) (which may leave a choicepoint),
// observe(unsafe V), through PUT_Y_UNSAFE_VALUE or, from a register,
// PUT_X_UNSAFE_VALUE: V moves to the heap; its slot is trailed only when
// the choicepoint protects the frame.
class UnsafeValueTest : public UnifyInsnTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(UnsafeValueTest, FrameVariableMovesToTheHeap) {
  auto [protect, from_register] = GetParam();
  lv_pred* noop = protect ? nondeterminate("noop") : c_pred("noop", 0, succeed);
  Assembler u;
  u.op(LV_OP_PUT_Y_FIRST_VARIABLE, {X(0), Y(0)}).op(LV_OP_FIRSTCALL, {R(0, {}), P(noop), S(1)});
  if (from_register)
    u.op(LV_OP_PUT_Y_VALUE, {X(1), Y(0)}).op(LV_OP_PUT_X_UNSAFE_VALUE, {X(0), X(1)});
  else
    u.op(LV_OP_PUT_Y_UNSAFE_VALUE, {X(0), Y(0)});
  u.op(LV_OP_LASTCALL, {R(0, {}), P(observe)});
  lv_term* tr = w->TR;
  ASSERT_EQ(call(program(u, 0)), 1);
  lv_term v = seen.args[0];
  ASSERT_TRUE(lv_is_ref(v));
  EXPECT_LT(lv_ref_cell(v), w->local_base);
  if (from_register) {
    EXPECT_EQ(seen.args[1], v);
  }
  EXPECT_EQ(seen.tr - tr, protect ? 1 : 0);
}
INSTANTIATE_TEST_SUITE_P(Unify, UnsafeValueTest, ::testing::Combine(::testing::Bool(), ::testing::Bool()));

// s(S) :- V is a frame variable, S = f(V) built in write mode with
// UNIFY_X_LOCAL_VALUE: the argument cell becomes V's heap cell.
TEST_F(UnifyInsnTest, LocalValueInWriteModeNeverPointsIntoTheLocalStack) {
  Assembler s;
  s.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(1)})
      .op(LV_OP_PUT_Y_VARIABLE, {X(1), Y(0)})
      .op(LV_OP_FIRSTCALL, {R(0, {}), P(c_pred("noop", 0, succeed)), S(2)})
      .op(LV_OP_PUT_Y_VALUE, {X(0), Y(1)})
      .op(LV_OP_PUT_Y_VALUE, {X(1), Y(0)})
      .op(LV_OP_GET_STRUCTURE, {X(0), F(lv_make_functor(atom("f"), 1))})
      .op(LV_OP_UNIFY_X_LOCAL_VALUE, {X(1)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(observe)});
  lv_term x = terms::var(w);
  ASSERT_EQ(call(program(s, 1), {x}), 1);
  lv_term* cells = lv_struct_cells(lv_deref(x));
  EXPECT_TRUE(lv_is_unbound_cell(&cells[1]));  // a heap variable, not a reference to the slot
  EXPECT_EQ(seen.args[1], lv_make_ref(&cells[1]));
}

// ---- Boxed numbers ----------------------------------------------------------------

TEST_F(UnifyInsnTest, GetStructureAgainstABoxFails) {
  Assembler a;
  a.op(LV_OP_GET_STRUCTURE, {X(0), F(lv_make_functor(atom("f"), 1))}).op(LV_OP_UNIFY_VOID_1).op(LV_OP_PROCEED);
  lv_pred* p = program(a, 1);
  EXPECT_EQ(call(p, {box(BIG)}), 0);
  EXPECT_EQ(call(p, {lv_make_float_box(w, 1.5)}), 0);
  EXPECT_EQ(call(p, {terms::fn(w, atom("f"), {small(1)})}), 1);
}

// GET_LARGE X0 against the inline box of 2^61, and UNIFY_LARGE as the
// argument of f/1 in both modes.
TEST_F(UnifyInsnTest, LargeNumbersMatchWordByWord) {
  Assembler get, arg;
  get.op(LV_OP_GET_LARGE, {X(0), B({LV_BOX_INT1, static_cast<uint64_t>(BIG)})}).op(LV_OP_EXECUTE, {P(observe)});
  arg.op(LV_OP_GET_STRUCTURE, {X(0), F(lv_make_functor(atom("f"), 1))})
      .op(LV_OP_UNIFY_LARGE, {B({LV_BOX_INT1, static_cast<uint64_t>(BIG)})})
      .op(LV_OP_EXECUTE, {P(observe)});
  lv_pred* p = program(get, 1);
  lv_pred* q = program(arg, 1);
  struct {
    lv_term x;
    int result;
  } cases[] = {{box(BIG), 1}, {box(BIG + 1), 0}, {small(5), 0}, {lv_make_float_box(w, 2.0), 0}, {atom("a"), 0}};
  for (auto& c : cases) {
    EXPECT_EQ(call(p, {c.x}), c.result) << show(c.x);
    EXPECT_EQ(call(q, {terms::fn(w, atom("f"), {c.x})}), c.result) << show(c.x);
  }
  // Unbound: a heap copy with its trailer.
  for (lv_pred* r : {p, q}) {
    lv_term v = terms::var(w);
    ASSERT_EQ(call(r, {r == p ? v : terms::fn(w, atom("f"), {v})}), 1);
    lv_term n = lv_deref(v);
    ASSERT_TRUE(lv_is_integer_box(n));
    const lv_term* cells = lv_struct_cells(n);
    EXPECT_EQ(cells[1], static_cast<lv_term>(BIG));
    EXPECT_EQ(cells[2], LV_BOX_INT1);
  }
  // Write mode: f(2^61) built with the box right after the argument cell.
  lv_term x = terms::var(w);
  ASSERT_EQ(call(q, {x}), 1);
  lv_term* cells = lv_struct_cells(lv_deref(x));
  EXPECT_EQ(cells[1], lv_make_struct(&cells[2]));
  EXPECT_EQ(show(cells[1]), show(box(BIG)));
  EXPECT_EQ(seen.h, &cells[5]);
}

// X0 = X1 by value unification.
TEST_F(UnifyInsnTest, ValueUnificationTable) {
  Assembler a;
  a.op(LV_OP_GET_X_VALUE, {X(0), X(1)}).op(LV_OP_PROCEED);
  lv_pred* p = program(a, 2);
  lv_term fa = atom("f"), ga = atom("g");
  lv_term v1 = terms::var(w), v2 = terms::var(w);
  struct {
    lv_term a, b;
    int result;
  } cases[] = {
      {small(3), small(3), 1},
      {small(3), small(4), 0},
      {box(BIG), box(BIG), 1},
      {box(BIG), box(-BIG), 0},
      {small(3), box(BIG), 0},
      {lv_make_float_box(w, 1.5), lv_make_float_box(w, 1.5), 1},
      {lv_make_float_box(w, 1.5), box(BIG), 0},
      {atom("a"), atom("a"), 1},
      {atom("a"), atom("b"), 0},
      {terms::fn(w, fa, {atom("a"), v1}), terms::fn(w, fa, {v2, atom("b")}), 1},
      {terms::fn(w, fa, {atom("a")}), terms::fn(w, ga, {atom("a")}), 0},
      {terms::list(w, {atom("a")}, atom("b")), terms::list(w, {atom("a")}, atom("c")), 0},
      {terms::list(w, {small(1), small(2)}), terms::list(w, {small(1), small(2)}), 1},
      {terms::list(w, {atom("a")}), terms::fn(w, fa, {atom("a"), LV_ATOM_NIL}), 0},
  };
  for (auto& c : cases) EXPECT_EQ(call(p, {c.a, c.b}), c.result) << show(c.a) << " = " << show(c.b);
  EXPECT_EQ(lv_deref(v1), atom("b"));
  EXPECT_EQ(lv_deref(v2), atom("a"));
}

// ---- Register moves, frames and instruction pairs --------------------------------

TEST_F(UnifyInsnTest, RegisterMoves) {
  struct {
    lv_insn insn;
    std::vector<Operand> operands;
    const char* after;  // X0..X3, X5 after the move
  } cases[] = {
      {LV_OP_GET_X0_X1, {}, "1 1 2 3 5"},     {LV_OP_GET_X0_X2, {}, "2 1 2 3 5"},
      {LV_OP_GET_X0_X3, {}, "3 1 2 3 5"},     {LV_OP_GET_X1_X0, {}, "0 0 2 3 5"},
      {LV_OP_GET_X1_X2, {}, "0 2 2 3 5"},     {LV_OP_GET_X1_X3, {}, "0 3 2 3 5"},
      {LV_OP_GET_X2_X0, {}, "0 1 0 3 5"},     {LV_OP_GET_X2_X1, {}, "0 1 1 3 5"},
      {LV_OP_GET_X2_X3, {}, "0 1 3 3 5"},     {LV_OP_GET_X3_X0, {}, "0 1 2 0 5"},
      {LV_OP_GET_X3_X1, {}, "0 1 2 1 5"},     {LV_OP_GET_X3_X2, {}, "0 1 2 2 5"},
      {LV_OP_GET_X0_Xn, {X(5)}, "5 1 2 3 5"}, {LV_OP_GET_X1_Xn, {X(5)}, "0 5 2 3 5"},
      {LV_OP_GET_X2_Xn, {X(5)}, "0 1 5 3 5"}, {LV_OP_GET_X3_Xn, {X(5)}, "0 1 2 5 5"},
      {LV_OP_GET_Xn_X0, {X(5)}, "0 1 2 3 0"}, {LV_OP_GET_Xn_X1, {X(5)}, "0 1 2 3 1"},
      {LV_OP_GET_Xn_X2, {X(5)}, "0 1 2 3 2"}, {LV_OP_GET_Xn_X3, {X(5)}, "0 1 2 3 3"},
      {LV_OP_GET_X_VARIABLE, {X(2), X(5)}, "0 1 2 3 2"},
      {LV_OP_GET_XVAR_XVAR, {X(0), X(5), X(3), X(1)}, "0 3 2 3 0"},
  };
  for (auto& c : cases) {
    Assembler a;
    a.op(c.insn, c.operands).op(LV_OP_GET_X2_Xn, {X(5)}).op(LV_OP_EXECUTE, {P(observe)});
    // observe sees X0, X1, X2 (= X5 after the move) and X3; X2 is checked
    // in a second run without the trailing move.
    Assembler b;
    b.op(c.insn, c.operands).op(LV_OP_EXECUTE, {P(observe)});
    std::string text;
    w->X[5] = small(5);
    ASSERT_EQ(call(program(b, 4), {small(0), small(1), small(2), small(3)}), 1);
    text = show(seen.args[0]) + " " + show(seen.args[1]) + " " + show(seen.args[2]) + " " + show(seen.args[3]);
    w->X[5] = small(5);
    ASSERT_EQ(call(program(a, 4), {small(0), small(1), small(2), small(3)}), 1);
    text += " " + show(seen.args[2]);
    EXPECT_EQ(text, c.after) << lv_instruction_name_table[c.insn];
  }
}

// swap(A, B, C) :- keep(A, B) in a frame, noop, then call observe(B, A, C'),
// with the frame made by GET_FIRST or GET_Y_FIRST_VARIABLE and the
// registers loaded by PUT_FIRST, PUT or the Y-value forms.
TEST_F(UnifyInsnTest, FrameSavesAndLoads) {
  lv_pred* noop = c_pred("noop", 0, succeed);
  Assembler get_first, y_first, put_first;
  get_first.op(LV_OP_GET_FIRST, {G({{0, 0}, {1, 1}})})
      .op(LV_OP_FIRSTCALL, {R(0, {}), P(noop), S(2)})
      .op(LV_OP_PUT, {R(0, {{VALUE, 1}, {VALUE, 0}, {VOID, 0}})})
      .op(LV_OP_LASTCALL, {R(0, {}), P(observe)});
  y_first.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(0), Y(0)})
      .op(LV_OP_GET, {G({{1, 1}})})
      .op(LV_OP_FIRSTCALL, {R(0, {}), P(noop), S(2)})
      .op(LV_OP_PUT_Y_VALUE, {X(0), Y(1)})
      .op(LV_OP_PUT_Y_VALUE, {X(1), Y(0)})
      .op(LV_OP_PUT_X_VOID, {X(2)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(observe)});
  // No head registers to keep: PUT_FIRST allocates and loads.
  put_first.op(LV_OP_PUT_FIRST, {R(0, {{VARIABLE, 0}, {VARIABLE, 1}, {VOID, 0}})})
      .op(LV_OP_FIRSTCALL, {R(3, {}), P(c_pred("bind_two", 3, [](lv_worker* w) {
                                         return cunify(w, w->X[0], lv_make_small(1)) & cunify(w, w->X[1], lv_make_small(2));
                                       })),
                            S(2)})
      .op(LV_OP_PUT, {R(0, {{VALUE, 1}, {VALUE, 0}})})
      .op(LV_OP_LASTCALL, {R(2, {{VOID, 0}}), P(observe)});
  for (Assembler* code : {&get_first, &y_first}) {
    ASSERT_EQ(call(program(*code, 3), {small(1), small(2), small(3)}), 1);
    EXPECT_EQ(show(seen.args[0]) + show(seen.args[1]) + show(seen.args[2]), "21_");
  }
  ASSERT_EQ(call(program(put_first, 0)), 1);
  EXPECT_EQ(show(seen.args[0]) + show(seen.args[1]) + show(seen.args[2]), "21_");
}

// Two programs that must behave alike, run with X0 unbound (write mode) and
// with X0 = f(1, V) or [1|V] (read mode), X1 = 1 and X2 = 2: the same
// result and the same X0..X2 at the end.
class SameOutcomeTest : public UnifyInsnTest {
 protected:
  void expect_same(Assembler& a, Assembler& b, bool list, const char* what) {
    a.op(LV_OP_EXECUTE, {P(observe)});
    b.op(LV_OP_EXECUTE, {P(observe)});
    lv_pred* runs[2] = {program(a, 3), program(b, 3)};
    for (int read = 0; read < 2; read++) {
      std::string outcome[2];
      for (int i = 0; i < 2; i++) {
        lv_term v = terms::var(w);
        lv_term x0 = !read ? terms::var(w) : list ? terms::cons(w, small(1), v) : terms::fn(w, atom("f"), {small(1), v});
        seen = {};
        int r = call(runs[i], {x0, small(1), small(2)});
        outcome[i] = std::to_string(r) + " " + show(x0) + " " + show(seen.args[1]) + " " + show(seen.args[2]);
      }
      EXPECT_EQ(outcome[0], outcome[1]) << what << (read ? " read" : " write");
    }
  }
};

// Each U2 form does what its two one-argument forms do.
TEST_F(SameOutcomeTest, TwoArgumentFormsEqualTheirPairs) {
  lv_term f2 = lv_make_functor(atom("f"), 2);
  struct element {
    lv_insn single;
    bool count;  // VOID: a count of 1
  };
  const element VOID_{LV_OP_UNIFY_VOID, true}, XVAR{LV_OP_UNIFY_X_VARIABLE, false},
      XVAL{LV_OP_UNIFY_X_VALUE, false}, XLVAL{LV_OP_UNIFY_X_LOCAL_VALUE, false};
  struct {
    lv_insn pair;
    element a, b;
  } cases[] = {
      {LV_OP_U2_VOID_XVAR, VOID_, XVAR},   {LV_OP_U2_VOID_XVAL, VOID_, XVAL},   {LV_OP_U2_VOID_XLVAL, VOID_, XLVAL},
      {LV_OP_U2_XVAR_VOID, XVAR, VOID_},   {LV_OP_U2_XVAR_XVAR, XVAR, XVAR},    {LV_OP_U2_XVAR_XVAL, XVAR, XVAL},
      {LV_OP_U2_XVAR_XLVAL, XVAR, XLVAL},  {LV_OP_U2_XVAL_VOID, XVAL, VOID_},   {LV_OP_U2_XLVAL_VOID, XLVAL, VOID_},
      {LV_OP_U2_XVAL_XVAR, XVAL, XVAR},    {LV_OP_U2_XLVAL_XVAR, XLVAL, XVAR},  {LV_OP_U2_XVAL_XVAL, XVAL, XVAL},
      {LV_OP_U2_XLVAL_XVAL, XLVAL, XVAL},  {LV_OP_U2_XVAL_XLVAL, XVAL, XLVAL}, {LV_OP_U2_XLVAL_XLVAL, XLVAL, XLVAL},
  };
  auto operand = [](const element& e, unsigned reg) { return e.count ? N(1) : X(reg); };
  for (auto& c : cases) {
    Assembler pair, singles;
    pair.op(LV_OP_GET_STRUCTURE, {X(0), F(f2)}).op(c.pair, {operand(c.a, 1), operand(c.b, 2)});
    singles.op(LV_OP_GET_STRUCTURE, {X(0), F(f2)});
    singles.op(c.a.single, {operand(c.a, 1)}).op(c.b.single, {operand(c.b, 2)});
    expect_same(pair, singles, false, lv_instruction_name_table[c.pair]);
  }
}

// GET_STRUCTURE_XVAR_XVAR and GET_LIST_XVAR_XVAR against the sequences
// they stand for.
TEST_F(SameOutcomeTest, CombinedHeadFormsEqualTheirSequences) {
  lv_term f2 = lv_make_functor(atom("f"), 2);
  Assembler s1, s2, l1, l2;
  s1.op(LV_OP_GET_STRUCTURE_XVAR_XVAR, {X(0), F(f2), X(1), X(2)});
  s2.op(LV_OP_GET_STRUCTURE, {X(0), F(f2)}).op(LV_OP_U2_XVAR_XVAR, {X(1), X(2)});
  expect_same(s1, s2, false, "GET_STRUCTURE_XVAR_XVAR");
  l1.op(LV_OP_GET_LIST_XVAR_XVAR, {X(0), X(1), X(2)});
  l2.op(LV_OP_GET_LIST, {X(0)}).op(LV_OP_UNIFY_X_VARIABLE, {X(1)}).op(LV_OP_UNIFY_X_VARIABLE, {X(2)});
  expect_same(l1, l2, true, "GET_LIST_XVAR_XVAR");
}

// The forms that end a clause after the last argument of f(_, K), K from
// X1 = 3, from Y0 = 3, or the constant 3 or []: in write mode they build
// the term, in read mode they match or bind K.
TEST_F(UnifyInsnTest, LastArgumentFormsProceed) {
  lv_term f2 = lv_make_functor(atom("f"), 2);
  struct {
    lv_insn insn;
    char operand;  // X: X1, Y: Y0, C: the constant 3, 0: none ([])
    bool progress;
  } cases[] = {
      {LV_OP_UNIFY_X_VALUE_PROCEED, 'X', false},   {LV_OP_UNIFY_X_LOCAL_VALUE_PROCEED, 'X', false},
      {LV_OP_UNIFY_CONSTANT_PROCEED, 'C', false},  {LV_OP_UNIFY_NIL_PROCEED, 0, false},
      {LV_OP_UNIFY_Y_VALUE_PROGRESS, 'Y', true},   {LV_OP_UNIFY_Y_LOCAL_VALUE_PROGRESS, 'Y', true},
      {LV_OP_UNIFY_CONSTANT_PROGRESS, 'C', true},  {LV_OP_UNIFY_NIL_PROGRESS, 0, true},
  };
  lv_pred* noop = c_pred("noop", 0, succeed);
  for (auto& c : cases) {
    Assembler a;
    if (c.progress) {
      // A clause with a frame: Y0 = X1, Y1 = X0.
      a.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(1), Y(0)})
          .op(LV_OP_GET_Y_VARIABLE, {X(0), Y(1)})
          .op(LV_OP_FIRSTCALL, {R(0, {}), P(noop), S(2)})
          .op(LV_OP_PUT_Y_VALUE, {X(0), Y(1)});
    }
    a.op(LV_OP_GET_STRUCTURE, {X(0), F(f2)}).op(LV_OP_UNIFY_VOID_1);
    if (c.operand == 'X') a.op(c.insn, {X(1)});
    else if (c.operand == 'Y') a.op(c.insn, {Y(0)});
    else if (c.operand == 'C') a.op(c.insn, {C(small(3))});
    else a.op(c.insn);
    lv_pred* p = program(a, 2);
    const char* k = c.operand == 0 ? "[]" : "3";
    lv_term x = terms::var(w);
    ASSERT_EQ(call(p, {x, small(3)}), 1) << lv_instruction_name_table[c.insn];
    lv_term* cells = lv_struct_cells(lv_deref(x));
    EXPECT_EQ(show(cells[2]), k) << lv_instruction_name_table[c.insn];
    lv_term v = terms::var(w);
    EXPECT_EQ(call(p, {terms::fn(w, atom("f"), {small(1), v}), small(3)}), 1) << lv_instruction_name_table[c.insn];
    EXPECT_EQ(show(v), k) << lv_instruction_name_table[c.insn];
    EXPECT_EQ(call(p, {terms::fn(w, atom("f"), {small(1), small(4)}), small(3)}), 0) << lv_instruction_name_table[c.insn];
  }
}

// PUT_* build the arguments of a call: f(a, X4), a, [], 2^61, and X4 shared.
TEST_F(UnifyInsnTest, PutBuildsCallArguments) {
  Assembler a;
  a.op(LV_OP_PUT_STRUCTURE, {X(0), F(lv_make_functor(atom("f"), 2))})
      .op(LV_OP_UNIFY_CONSTANT, {C(atom("a"))})
      .op(LV_OP_UNIFY_X_VARIABLE, {X(4)})
      .op(LV_OP_PUT_CONSTANT, {X(1), C(atom("a"))})
      .op(LV_OP_PUT_NIL, {X(2)})
      .op(LV_OP_PUT_LARGE, {X(3), B({LV_BOX_INT1, static_cast<uint64_t>(BIG)})})
      .op(LV_OP_GET_X_VALUE, {X(4), X(3)})
      .op(LV_OP_EXECUTE, {P(observe)});
  ASSERT_EQ(call(program(a, 0)), 1);
  lv_term big = box(BIG);
  EXPECT_EQ(show(seen.args[0]), show(terms::fn(w, atom("f"), {atom("a"), big})));
  EXPECT_EQ(seen.args[1], atom("a"));
  EXPECT_EQ(seen.args[2], LV_ATOM_NIL);
  EXPECT_EQ(show(seen.args[3]), show(big));
}

// GET_FACT_3/4 and GET_CONSTANT match X1.. in their plain and Q forms (the
// one-word GET_X0_X1 in front moves the constants' alignment).
TEST_F(UnifyInsnTest, FactsInPlainAndQForms) {
  lv_term a = atom("a"), b = atom("b");
  std::vector<bool> q_forms;
  for (int shift = 0; shift < 2; shift++) {
    Assembler f3, f4, g;
    for (Assembler* x : {&f3, &f4, &g})
      if (shift != 0) x->op(LV_OP_GET_X0_X1);
    f3.op(LV_OP_GET_FACT_3, {C(a), C(b)});
    f4.op(LV_OP_GET_FACT_4, {C(a), C(b), C(small(3))});
    g.op(LV_OP_GET_CONSTANT, {X(1), C(a)}).op(LV_OP_PROCEED);
    lv_pred* p3 = program(f3);
    lv_pred* p4 = program(f4);
    lv_pred* pg = program(g);
    q_forms.push_back(lv_insn_is_q(static_cast<lv_insn>(f4.start()[shift] >> 1)));
    lv_term v = terms::var(w);
    EXPECT_EQ(call(p3, {small(0), a, b}), 1);
    EXPECT_EQ(call(p3, {small(0), a, a}), 0);
    EXPECT_EQ(call(p4, {small(0), a, v, small(3)}), 1);
    EXPECT_EQ(lv_deref(v), b);
    EXPECT_EQ(call(p4, {small(0), a, b, small(4)}), 0);
    EXPECT_EQ(call(pg, {small(0), a}), 1);
    EXPECT_EQ(call(pg, {small(0), box(BIG)}), 0);
  }
  EXPECT_NE(q_forms[0], q_forms[1]);
}

// ---- Progress with an event pending ---------------------------------------------

// t(L, V) :- noop (which requests an event), L = [_|T], T = V checked by
// UNIFY_Y_VALUE_PROGRESS in read mode. The event is handled at the shared
// PROGRESS code and nothing is written to the heap.
TEST_F(UnifyInsnTest, ProgressFormTakesTheEventWithoutRunningAgain) {
  Assembler t;
  t.op(LV_OP_GET_Y_FIRST_VARIABLE, {X(1), Y(1)})
      .op(LV_OP_GET_Y_VARIABLE, {X(0), Y(0)})
      .op(LV_OP_FIRSTCALL, {R(0, {}), P(c_pred("zero", 0, zero_soft_limit)), S(2)})
      .op(LV_OP_PUT_Y_VALUE, {X(0), Y(0)})
      .op(LV_OP_GET_LIST, {X(0)})
      .op(LV_OP_UNIFY_VOID_1)
      .op(LV_OP_UNIFY_Y_VALUE_PROGRESS, {Y(1)});
  lv_pred* p = program(t, 2);
  lv_term v = terms::var(w);
  lv_term l = ints({1, 2, 3});
  lv_term* h = w->H;
  ASSERT_EQ(call(p, {l, v}), 1);
  EXPECT_EQ(seen.events, 1);
  EXPECT_EQ(show(v), "[2,3]");
  EXPECT_EQ(w->H, h);
  EXPECT_NE(lv_soft_limit(w), nullptr);
}

}  // namespace
