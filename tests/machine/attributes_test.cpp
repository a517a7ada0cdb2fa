// Attributed variables: the C accessors, the built-ins over attributes and
// suspended goals, and the collection of wake-ups at an event check.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/attribute_builtins.h"
#include "core/attributes.h"
#include "core/bind.h"
#include "core/suspension.h"
#include "core/unify.h"
#include "core/wakeup.h"
#include "machine/emulator.h"
#include "machine/instructions.h"
#include "machine/routines_fixture.h"
#include "store/predicates.h"
#include "store/try_record.h"

namespace {

using terms::small;

int succeed(lv_worker*) { return 1; }

class AttributesTest : public RoutinesTest {
 protected:
  void SetUp() override {
    RoutinesTest::SetUp();
    colour = module("colour");
    size = module("size");
  }

  lv_module* module(const char* name) {
    lv_module* m = find_module(atom(name), 1);
    EXPECT_EQ(lv_attr_module_register(m), 1);
    return m;
  }

  lv_term* attributed(lv_term var) {
    lv_term* cell = lv_ref_cell(lv_deref(var));
    return lv_is_attvar_cell(w, cell) ? cell : nullptr;
  }

  int run(int (*builtin)(lv_worker*), std::initializer_list<lv_term> args) {
    unsigned i = 0;
    for (lv_term a : args) w->X[i++] = a;
    return builtin(w);
  }

  // Defines the role predicates of the wake-up: the attribute handler as a
  // C predicate (defined) or an undefined record.
  void wake_roles(bool handler_defined) {
    lv_pred* handler = pred("prolog", "$wake_attributes", 2);
    if (handler_defined) {
      handler->definition = reinterpret_cast<void*>(succeed);
      lv_set_definition_type(handler, LV_DEF_C);
    }
    pred("prolog", "$run_woken_goals", 1);
    lv_lookup_role_predicates();
  }

  // The continuation frames from E down to the frame whose continuation is
  // the predicate k: the predicates they continue and their first argument.
  std::string continuations(const lv_pred* k) {
    std::string s;
    const uint32_t* cp = w->CP;
    for (lv_term* f = w->E;; f = reinterpret_cast<lv_term*>(f[LV_FRAME_E])) {
      const lv_pred* p = reinterpret_cast<const lv_pred*>(reinterpret_cast<const char*>(cp) - offsetof(lv_pred, continue_insn));
      s += std::string(lv_atom_text(p->name)) + (p->arity > 0 ? "(" + text(f[LV_FRAME_Y]) + ")" : "") + " ";
      if (p == k) return s;
      cp = reinterpret_cast<const uint32_t*>(f[LV_FRAME_CP]);
    }
  }

  lv_module* colour = nullptr;
  lv_module* size = nullptr;

  // A choicepoint that makes what exists now old.
  alignas(8) static inline uint32_t query_exit[3] = {16, lv_opcode(LV_OP_EXIT_TOPLEVEL), 0};
  static inline lv_try_record query_alternative = {nullptr, &query_exit[1], nullptr, 48, lv_opcode(LV_OP_TRY)};
};

// ---- Accessors and the per-module operations ----------------------------------

TEST_F(AttributesTest, AVectorGrowsToTheModulesRegisteredSince) {
  lv_term var = terms::var(w);
  put_attributes(w, var, colour, atom("red"));
  lv_term* cell = attributed(var);
  ASSERT_NE(cell, nullptr);
  EXPECT_EQ(text(cell[1]), "[](red,_)");  // sized for the modules registered then
  lv_module* shape = module("shape");
  put_attributes(w, lv_deref(var), shape, terms::fn(w, atom("s"), {small(3)}));
  cell = attributed(var);
  EXPECT_EQ(text(cell[1]), "[](red,_,s(3))");
  EXPECT_EQ(text(get_attributes(w, lv_deref(var), shape)), "s(3)");
  EXPECT_EQ(get_attributes(w, lv_deref(var), colour), 0u);  // an atom is no attribute here
  EXPECT_EQ(get_attributes(w, lv_deref(var), size), 0u);
  EXPECT_EQ(pure_attributes(w, lv_deref(var), shape), 0);
  EXPECT_EQ(single_attribute(w, lv_deref(var), shape), 0);
  delete_attributes(w, lv_deref(var), colour);
  EXPECT_EQ(pure_attributes(w, lv_deref(var), shape), 1);
  EXPECT_EQ(single_attribute(w, lv_deref(var), shape), 1);
  EXPECT_EQ(single_attribute(w, lv_deref(var), colour), 0);
}

TEST_F(AttributesTest, DeletingTheLastAttributeMakesThePlainVariable) {
  for (bool older : {false, true}) {
    SCOPED_TRACE(older ? "older than the choicepoint" : "newer");
    lv_term var = terms::var(w);
    put_attributes(w, var, colour, atom("red"));
    put_attributes(w, lv_deref(var), size, atom("big"));
    if (older) lv_push_call_choicepoint(w, &query_alternative);
    lv_term* tr = w->TR;
    put_attributes(w, lv_deref(var), size, LV_ATOM_NIL);  // [] deletes
    ASSERT_NE(attributed(var), nullptr);
    delete_attributes(w, lv_deref(var), colour);
    EXPECT_EQ(attributed(var), nullptr);
    // An old variable moved to a new cell (trailed) before the change.
    EXPECT_EQ(w->TR - tr, older ? 1 : 0);
    EXPECT_EQ(w->wakeup_count, 0);
    lv_term a = terms::var(w), g = terms::var(w);
    ASSERT_EQ(run(prolog_get_cva, {var, a, g}), 1);
    EXPECT_EQ(lv_deref(a), LV_ATOM_NIL);
    EXPECT_EQ(lv_deref(g), LV_ATOM_NIL);
  }
}

// A value that is an unbound local-stack variable is moved to the heap
// before a heap record keeps it.
TEST_F(AttributesTest, NoRecordKeepsAReferenceIntoTheLocalStack) {
  auto local_var = [&] {
    lv_term* cell = w->local_top++;
    *cell = lv_make_ref(cell);
    return *cell;
  };
  auto on_heap = [&](lv_term t) { return lv_is_ref(t) && lv_ref_cell(t) < w->H; };

  lv_term value = local_var();
  lv_term var = terms::var(w);
  put_attributes(w, var, colour, value);
  lv_term slot = lv_struct_cells(lv_deref(attributed(var)[1]))[colour->attribute_index];
  EXPECT_TRUE(on_heap(slot));
  EXPECT_EQ(lv_deref(value), slot);

  lv_term goals = local_var();
  lv_term other = terms::var(w);
  ASSERT_EQ(run(prolog_put_cva, {other, terms::fn(w, LV_ATOM_NIL, {atom("a")}), goals}), 1);
  EXPECT_TRUE(on_heap(lv_attvar_goals(attributed(other))));

  lv_term goal = local_var();
  lv_term x = terms::var(w);
  ASSERT_EQ(run(prolog_disjunctive_geler, {terms::list(w, {x}), goal}), 1);
  lv_term record = lv_list_cells(lv_deref(lv_attvar_goals(attributed(x))))[0];
  EXPECT_TRUE(on_heap(lv_struct_cells(record)[1]));
}

// Random puts and deletes on a few variables, under choicepoints pushed and
// backtracked into at random, against a model of every slot: a change is
// seen at once, a variable without attributes is plain, and backtracking
// brings back exactly the state of its choicepoint.
TEST_F(AttributesTest, RandomChangesAreUndoneByBacktracking) {
  constexpr int VARS = 4, MODULES = 3, STEPS = 3000;
  lv_module* modules[MODULES] = {colour, size, module("shape")};
  std::vector<lv_term> vars;
  for (int i = 0; i < VARS; i++) vars.push_back(terms::var(w));
  using Model = std::vector<lv_term>;  // VARS x MODULES slots, 0 = none
  Model model(VARS * MODULES, 0);
  std::vector<Model> saved;
  std::mt19937 random(20261210);
  for (int step = 0; step < STEPS; step++) {
    int op = static_cast<int>(random() % 10);
    int v = static_cast<int>(random() % VARS), m = static_cast<int>(random() % MODULES);
    if (op == 0 && saved.size() < 40) {
      lv_push_call_choicepoint(w, &query_alternative);
      saved.push_back(model);
    } else if (op == 1 && !saved.empty()) {
      ASSERT_EQ(lv_enter_emulator_protected(w, LV_ENTER_FAIL, nullptr), 0);
      model = saved.back();
      saved.pop_back();
    } else if (op < 6) {
      lv_term value = terms::fn(w, atom("a"), {small(step)});
      put_attributes(w, lv_deref(vars[v]), modules[m], value);
      model[v * MODULES + m] = value;
    } else {
      delete_attributes(w, lv_deref(vars[v]), modules[m]);
      model[v * MODULES + m] = 0;
    }
    for (int i = 0; i < VARS; i++) {
      bool any = false;
      for (int j = 0; j < MODULES; j++) {
        ASSERT_EQ(get_attributes(w, lv_deref(vars[i]), modules[j]), model[i * MODULES + j]) << "step " << step;
        any = any || model[i * MODULES + j] != 0;
      }
      ASSERT_EQ(attributed(vars[i]) != nullptr, any) << "step " << step;
    }
  }
  EXPECT_EQ(w->wakeup_count, 0);
}

// ---- $get_cva, $put_cva ---------------------------------------------------------

TEST_F(AttributesTest, PutCvaSetsAndClearsTheWholeRecord) {
  lv_term var = terms::var(w);
  lv_term vector = terms::fn(w, LV_ATOM_NIL, {atom("x"), terms::var(w)});
  lv_term goals = terms::list(w, {lv_make_suspension(w, atom("g"), LV_ATOM_USER)});
  ASSERT_EQ(run(prolog_put_cva, {var, vector, goals}), 1);
  lv_term a = terms::var(w), g = terms::var(w);
  ASSERT_EQ(run(prolog_get_cva, {var, a, g}), 1);
  EXPECT_EQ(lv_deref(a), vector);
  EXPECT_EQ(lv_deref(g), goals);
  lv_term names = terms::var(w);
  ASSERT_EQ(run(prolog_get_attribute_modules, {vector, names}), 1);
  EXPECT_EQ(text(names), "[colour|[]]");

  // Both [] make it plain: a new variable has its marker overwritten, an
  // old one is bound to a fresh plain variable, undone on backtracking.
  lv_push_call_choicepoint(w, &query_alternative);
  lv_term* old_cell = attributed(var);
  ASSERT_EQ(run(prolog_put_cva, {var, LV_ATOM_NIL, LV_ATOM_NIL}), 1);
  EXPECT_EQ(attributed(var), nullptr);
  EXPECT_EQ(old_cell[-1], LV_ATTVAR_MARKER);
  EXPECT_EQ(w->wakeup_count, 0);
  lv_term fresh = terms::var(w);
  ASSERT_EQ(run(prolog_put_cva, {fresh, vector, LV_ATOM_NIL}), 1);
  lv_term* young = attributed(fresh);
  ASSERT_NE(young, nullptr);
  ASSERT_EQ(run(prolog_put_cva, {fresh, LV_ATOM_NIL, LV_ATOM_NIL}), 1);
  EXPECT_EQ(young[-1], LV_ATOM_NIL);
  EXPECT_EQ(attributed(fresh), nullptr);
  // A plain variable with [] and [] is left alone; a bound one fails.
  lv_term plain = terms::var(w);
  EXPECT_EQ(run(prolog_put_cva, {plain, LV_ATOM_NIL, LV_ATOM_NIL}), 1);
  EXPECT_EQ(lv_deref(plain), plain);
  EXPECT_EQ(run(prolog_put_cva, {small(1), vector, LV_ATOM_NIL}), 0);
  // Only [] or a []/N compound is taken for a vector: the attribute
  // operations change it in place.
  lv_term boxed = lv_make_integer(w, int64_t{1} << 62);
  for (lv_term bad : {boxed, terms::fn(w, atom("f"), {atom("a")}), atom("x"), small(3)})
    EXPECT_EQ(run(prolog_put_cva, {terms::var(w), bad, LV_ATOM_NIL}), 0) << text(bad);
}

TEST_F(AttributesTest, GetCvaOfABoundTermRaises) {
  lv_term a = terms::var(w), g = terms::var(w);
  run(prolog_get_cva, {atom("x"), a, g});
  EXPECT_TRUE(error_handler_called());
  EXPECT_EQ(lv_pending_error_code(), LV_ERROR_VARIABLE_EXPECTED);
  EXPECT_EQ(text(handler_arg(0)), "prolog:$get_cva(x,_,_)");
}

TEST_F(AttributesTest, ModuleEnumerators) {
  lv_term names = terms::var(w);
  ASSERT_EQ(run(prolog_get_all_attribute_modules, {names}), 1);
  EXPECT_EQ(text(names), "[colour|[size|[]]]");
  lv_term vector = terms::fn(w, LV_ATOM_NIL, {terms::var(w), atom("b")});
  lv_term bound = terms::var(w);
  ASSERT_EQ(run(prolog_get_attribute_modules, {vector, bound}), 1);
  EXPECT_EQ(text(bound), "[size|[]]");
  lv_term none = terms::var(w);
  ASSERT_EQ(run(prolog_get_attribute_modules, {LV_ATOM_NIL, none}), 1);
  EXPECT_EQ(lv_deref(none), LV_ATOM_NIL);
  // $save_attribute_info numbers a new module once.
  ASSERT_EQ(run(prolog_save_attribute_info, {atom("shape")}), 1);
  ASSERT_EQ(run(prolog_save_attribute_info, {atom("shape")}), 1);
  EXPECT_EQ(find_module(atom("shape"), 0)->attribute_index, 3u);
  lv_pred* get = lv_lookup_predicate(find_module(atom("shape"), 0), atom("$get_attributes"), 3, LV_LOOKUP_FIND);
  ASSERT_NE(get, nullptr);
  EXPECT_EQ(get->kind, LV_KIND_BUILTIN_GET_ATTRIBUTES);
  EXPECT_EQ(run(prolog_save_attribute_info, {small(1)}), 0);
}

TEST_F(AttributesTest, RegistrationStopsAt255Modules) {
  for (uint32_t i = lv_attr_module_count() + 1; i <= LV_MAX_ATTRIBUTE_MODULES; i++)
    ASSERT_EQ(run(prolog_save_attribute_info, {atom(("m" + std::to_string(i)).c_str())}), 1);
  EXPECT_EQ(run(prolog_save_attribute_info, {atom("one_too_many")}), 0);
  EXPECT_EQ(run(prolog_save_attribute_info, {atom("colour")}), 1);  // already numbered
}

// ---- $disjunctive_geler ---------------------------------------------------------

TEST_F(AttributesTest, ASuspensionIsSharedByItsVariables) {
  lv_term x = terms::var(w), y = terms::attvar(w);
  lv_term goal = qualified(atom("lib"), terms::fn(w, atom("g"), {x, y}));
  ASSERT_EQ(run(prolog_disjunctive_geler, {terms::list(w, {x, y}), goal}), 1);
  lv_term* cx = attributed(x);
  lv_term* cy = attributed(y);
  ASSERT_NE(cx, nullptr);
  ASSERT_NE(cy, nullptr);
  lv_term sx = lv_list_cells(lv_deref(cx[2]))[0];
  EXPECT_EQ(sx, lv_list_cells(lv_deref(cy[2]))[0]);
  EXPECT_EQ(text(sx), "$apply(g(_,_),lib,_)");
  // A goal without a module runs in the type-in module.
  lv_term z = terms::var(w);
  ASSERT_EQ(run(prolog_disjunctive_geler, {terms::list(w, {z}), atom("h")}), 1);
  EXPECT_EQ(text(lv_attvar_goals(attributed(z))),
            "[$apply(h," + std::string(lv_atom_text(lv_typein_module()->name)) + ",_)|[]]");
  // A bound element or a partial list fails.
  EXPECT_EQ(run(prolog_disjunctive_geler, {terms::list(w, {terms::var(w), small(1)}), atom("h")}), 0);
  EXPECT_EQ(run(prolog_disjunctive_geler, {terms::list(w, {terms::var(w)}, terms::var(w)), atom("h")}), 0);
}

// ---- $constraint_list -----------------------------------------------------------

TEST_F(AttributesTest, ConstraintListFindsTheBoundAttributedVariablesAboveTheMark) {
  lv_term before = terms::attvar(w);
  lv_term mark = terms::var(w);
  lv_term a = terms::attvar(w), b = terms::attvar(w), plain = terms::var(w);
  lv_bind(w, lv_ref_cell(before), small(0));
  lv_bind(w, lv_ref_cell(a), small(1));
  lv_bind(w, lv_ref_cell(plain), small(2));
  lv_bind(w, lv_ref_cell(b), small(3));
  w->wakeup_count = 0;
  lv_term list = terms::var(w);
  ASSERT_EQ(run(prolog_constraint_list, {mark, list}), 1);
  // Newest first: the list's elements are the bound cells.
  EXPECT_EQ(text(list), "[3|[1|[]]]");
  EXPECT_EQ(run(prolog_constraint_list, {small(1), terms::var(w)}), 0);
}

// ---- Collecting wake-ups --------------------------------------------------------

TEST_F(AttributesTest, WakeUpsOneAtATimeRunTheOldestFirst) {
  wake_roles(false);  // an undefined handler takes them one at a time
  lv_pred* k = pred("user", "k", 1);
  lv_term x = terms::var(w), y = terms::var(w);
  put_attributes(w, x, colour, atom("red"));
  lv_term goals_var = terms::var(w);
  ASSERT_EQ(run(prolog_disjunctive_geler, {terms::list(w, {goals_var}), atom("g")}), 1);
  put_attributes(w, lv_deref(y), colour, atom("blue"));
  lv_term xv = lv_deref(x), yv = lv_deref(y), gv = lv_deref(goals_var);
  lv_term* tr = w->TR;
  lv_bind(w, lv_ref_cell(xv), small(1));
  lv_bind(w, lv_ref_cell(gv), small(2));
  lv_bind(w, lv_ref_cell(yv), small(3));
  EXPECT_EQ(w->wakeup_count, 3);
  EXPECT_EQ(w->TR - tr, 3);
  w->X[0] = atom("k_arg");
  lv_pred* first = lv_collect_woken_goals(w, k);
  EXPECT_EQ(first, lv_role.attribute_handler);
  EXPECT_EQ(w->wakeup_count, 0);
  // x first (unbound again, its value in X1), then the goals of the second
  // variable (the binding stands), then y, then k.
  EXPECT_EQ(lv_deref(w->X[0]), xv);
  EXPECT_EQ(w->X[1], small(1));
  std::string typein = lv_atom_text(lv_typein_module()->name);
  EXPECT_EQ(continuations(k), "$run_woken_goals([$apply(g," + typein + ",_)|[]]) $wake_attributes(_) k(k_arg) ");
  EXPECT_EQ(lv_deref(yv), yv);
  EXPECT_EQ(lv_deref(gv), small(2));
  // The entries of the new variables are gone, and the trail closed up.
  EXPECT_EQ(w->TR, tr);
}

TEST_F(AttributesTest, WakeUpsAllAtOnceGiveTwoLists) {
  wake_roles(true);
  lv_pred* k = pred("user", "k", 0);
  lv_term x = terms::var(w), y = terms::var(w);
  put_attributes(w, x, colour, atom("red"));
  put_attributes(w, y, size, atom("big"));
  lv_term xv = lv_deref(x), yv = lv_deref(y);
  lv_bind(w, lv_ref_cell(xv), small(1));
  lv_bind(w, lv_ref_cell(yv), small(2));
  lv_pred* first = lv_collect_woken_goals(w, k);
  EXPECT_EQ(first, lv_role.attribute_handler);
  EXPECT_EQ(text(w->X[0]), "[_|[_|[]]]");
  EXPECT_EQ(lv_deref(lv_list_cells(w->X[0])[0]), xv);
  EXPECT_EQ(text(w->X[1]), "[1|[2|[]]]");
  EXPECT_EQ(lv_deref(xv), xv);
  EXPECT_EQ(lv_deref(yv), yv);
  EXPECT_EQ(continuations(k), "k ");

  // A value that is no small integer, or a variable with goals, takes them
  // one at a time.
  lv_term z = terms::var(w);
  put_attributes(w, z, colour, atom("red"));
  lv_bind(w, lv_ref_cell(xv), small(1));
  lv_bind(w, lv_ref_cell(lv_deref(z)), atom("a"));
  lv_collect_woken_goals(w, k);
  EXPECT_EQ(lv_deref(w->X[0]), xv);
  EXPECT_EQ(lv_is_ref(lv_deref(w->X[0])), true);
}

TEST_F(AttributesTest, AWakeUpAboveAValueTrailEntryKeepsTheMutableRestorable) {
  wake_roles(false);
  lv_pred* k = pred("user", "k", 0);
  lv_term m = terms::mutable_term(w, atom("v0"));
  lv_term x = terms::var(w);
  put_attributes(w, x, colour, atom("red"));
  lv_term xv = lv_deref(x);
  lv_push_call_choicepoint(w, &query_alternative);
  lv_term* mark = w->TR;
  lv_bind(w, lv_ref_cell(xv), small(1));  // an entry that goes
  lv_update_mutable(w, atom("v1"), m);    // a value entry that moves down
  lv_update_mutable(w, atom("v2"), m);    // the same mutable: not trailed again
  lv_term* mcells = lv_struct_cells(m);
  EXPECT_EQ(lv_small_value(mcells[2]), mark + 1 - w->trail_base);
  lv_collect_woken_goals(w, k);
  ASSERT_EQ(w->TR, mark + 3);
  EXPECT_EQ(lv_small_value(mcells[2]), mark - w->trail_base);  // names the moved entry
  EXPECT_EQ(lv_struct_cells(mark[0]), mcells);
  // A choicepoint now, then an update: trailed, and undone on backtracking.
  lv_push_call_choicepoint(w, &query_alternative);
  lv_term* tr = w->TR;
  lv_update_mutable(w, atom("v3"), m);
  EXPECT_EQ(w->TR - tr, 3);
  EXPECT_EQ(lv_deref(tr[1]), atom("v2"));
}

}  // namespace
