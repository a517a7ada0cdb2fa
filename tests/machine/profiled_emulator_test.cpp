// The profiled emulator: the same results as the plain one, its counts, the
// call trace, the counter built-ins, and the profiling switch.
#include <gtest/gtest.h>

#include <vector>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "store/db_builtins.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/instance_records.h"
#include "store/source_table.h"
#include "store/store_builtins.h"
#include "store/counter_builtins.h"
#include "store/counters.h"
#include "support/emulator_fixture.h"
#include "support/nrev_program.h"
#include "support/terms.h"

namespace {

using namespace assembler;
using terms::small;

class ProfiledEmulatorTest : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    lv_profiling_switch = LV_ATOM_OFF;
    lv_predtrace_level = 0;
  }
  void TearDown() override {
    lv_profiling_switch = LV_ATOM_OFF;
    lv_predtrace_level = 0;
    prolog_reset_counters(w);
    EmulatorTest::TearDown();
  }

  static lv_counter_object* counters(const lv_pred* p) { return static_cast<lv_counter_object*>(p->counters); }
  static uint64_t count(const lv_pred* p, uint64_t key) {
    lv_hash_entry* e = lv_wordtab_find(counters(p)->table, key);
    return e != nullptr && e->key == key ? e->value : 0;
  }

  // A fact Name(Value) of one clause block, owned through END_OF_CLAUSE.
  lv_code_block* fact(lv_pred* owner, lv_term value) {
    Assembler a;
    a.op(LV_OP_GET_CONSTANT, {X(0), C(value)}).op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(owner)});
    return clause(a);
  }
  // Name(a). Name(b). in module.
  lv_pred* two_facts(const char* name, const char* module = "user") {
    lv_pred* p = pred(module, name, 1);
    lv_new_clause_list(p, LV_DEF_COMPACTCODE);
    lv_append_clause(p, fact(p, atom("a")), LV_KEY_NONE, 0);
    lv_append_clause(p, fact(p, atom("b")), LV_KEY_NONE, 0);
    return p;
  }

  lv_term get_counters() {
    lv_term list = terms::var(w);
    w->X[0] = list;
    EXPECT_EQ(prolog_get_counters(w), 1);
    return lv_deref(list);
  }
  static std::vector<lv_term> elements(lv_term list) {
    std::vector<lv_term> v;
    for (list = lv_deref(list); lv_is_list(list); list = lv_deref(lv_list_cells(list)[1]))
      v.push_back(lv_deref(lv_list_cells(list)[0]));
    return v;
  }
  static lv_term arg(lv_term t, int i) { return lv_deref(lv_struct_cells(lv_deref(t))[i]); }
  // Whether t is det(N).
  bool det(lv_term t, int64_t n) {
    return lv_is_struct(t) && arg(t, 0) == lv_make_functor(atom("det"), 1) && arg(t, 1) == small(n);
  }
};

// nrev of a 30-element list gives the same answer and the same heap cells
// under both emulators.
TEST_F(ProfiledEmulatorTest, BothEmulatorsLeaveTheSameHeap) {
  lv_pred* app = pred("user", "app", 3);
  lv_pred* nrev = pred("user", "nrev", 2);
  lv_new_clause_list(app, LV_DEF_COMPACTCODE);
  lv_new_clause_list(nrev, LV_DEF_COMPACTCODE);
  programs::define_nrev(app, nrev);
  lv_term input = LV_ATOM_NIL;
  for (int i = 30; i >= 1; i--) input = terms::list(w, {small(i)}, input);
  lv_term out = terms::var(w);
  lv_term* start = w->H;
  std::vector<lv_term> heaps[2];
  for (int run = 0; run < 2; run++) {
    ASSERT_EQ(w->H, start);
    lv_profiling_switch = run == 0 ? LV_ATOM_OFF : LV_ATOM_ON;
    ASSERT_EQ(call(nrev, {input, out}), 1);
    ASSERT_TRUE(lv_is_list(lv_deref(out)));
    EXPECT_EQ(lv_deref(lv_list_cells(lv_deref(out))[0]), small(30));
    heaps[run].assign(start, w->H);
    EXPECT_EQ(redo(), 0);
  }
  EXPECT_EQ(heaps[0], heaps[1]);
  // The profiled run counted: 31 calls of nrev, 465 of app, all det.
  ASSERT_NE(nrev->counters, nullptr);
  ASSERT_NE(app->counters, nullptr);
  EXPECT_EQ(counters(nrev)->calls, 2u * 31);
  EXPECT_EQ(counters(app)->calls, 2u * 465);
  EXPECT_GT(counters(app)->instructions, counters(app)->calls);
}

// Two clauses tried in turn: one call, a TRY and a backtrack, each clause
// counted once under its key.
TEST_F(ProfiledEmulatorTest, CountsOfATwoClausePredicate) {
  lv_pred* p = two_facts("p");
  const auto* list = static_cast<lv_clause_list*>(p->definition);
  const uint32_t* first = lv_code_block_code(list->head);
  const uint32_t* second = lv_code_block_code(list->tail);
  lv_profiling_switch = LV_ATOM_ON;
  lv_term x = terms::var(w);
  ASSERT_EQ(call(p, {x}), 1);
  EXPECT_EQ(lv_deref(x), atom("a"));
  ASSERT_EQ(redo(), 1);
  EXPECT_EQ(lv_deref(x), atom("b"));
  EXPECT_EQ(redo(), 0);
  ASSERT_NE(counters(p), nullptr);
  EXPECT_EQ(counters(p)->calls, 2u);
  EXPECT_EQ(counters(p)->choices, 2u);
  EXPECT_EQ(count(p, lv_profile_clause_key(first)), 2u);
  EXPECT_EQ(count(p, lv_profile_clause_key(second)), 2u);
  // The same in $get_counters: user:(p/1) - counter(Sites, I, 2, det(1)).
  std::vector<lv_term> all = elements(get_counters());
  ASSERT_EQ(all.size(), 1u);
  lv_term c = arg(all[0], 2);
  EXPECT_EQ(arg(c, 3), small(2));
  EXPECT_TRUE(det(arg(c, 4), 1));
  std::vector<lv_term> sites = elements(arg(c, 1));
  ASSERT_EQ(sites.size(), 2u);
  for (lv_term s : sites) EXPECT_TRUE(det(arg(s, 2), 1));
}

TEST_F(ProfiledEmulatorTest, NothingCountedAndAfterResetGivesNoCounters) {
  EXPECT_EQ(get_counters(), LV_ATOM_NIL);
  lv_pred* p = two_facts("p");
  ASSERT_EQ(call(p, {atom("b")}), 1);  // plain emulator: nothing counted
  EXPECT_EQ(redo(), 0);
  EXPECT_EQ(get_counters(), LV_ATOM_NIL);
  lv_profiling_switch = LV_ATOM_ON;
  ASSERT_EQ(call(p, {atom("b")}), 1);
  EXPECT_EQ(redo(), 0);
  EXPECT_NE(get_counters(), LV_ATOM_NIL);
  EXPECT_EQ(prolog_reset_counters(w), 1);
  EXPECT_EQ(p->counters, nullptr);
  EXPECT_EQ(get_counters(), LV_ATOM_NIL);
}

// Counters freed while the profiled emulator counts into them: the run
// goes on into fresh objects.
TEST_F(ProfiledEmulatorTest, ResetInTheMiddleOfARun) {
  lv_pred* tick = two_facts("tick");
  lv_pred* q = pred("user", "q", 0);
  Assembler body;
  body.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("reset", 0, prolog_reset_counters)), S(0)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(tick)})
      .op(LV_OP_END_OF_CLAUSE, {P(q)});
  lv_new_clause_list(q, LV_DEF_COMPACTCODE);
  lv_append_clause(q, clause(body), LV_KEY_NONE, 0);
  lv_profiling_switch = LV_ATOM_ON;
  for (int run = 0; run < 2; run++) {
    w->X[0] = atom("a");
    ASSERT_EQ(call(q, {}), 1);
    EXPECT_EQ(redo(), 0);
  }
  ASSERT_NE(tick->counters, nullptr);
  EXPECT_EQ(counters(tick)->calls, 2u);  // counted after the last reset
  EXPECT_EQ(elements(get_counters()).size(), 2u);
}

// A predicate called through an importing module counts in its home
// record, which alone is listed.
TEST_F(ProfiledEmulatorTest, ImportedPredicateIsListedOnceUnderItsHomeModule) {
  lv_pred* source = two_facts("q", "lib");
  lv_pred* importer = pred("user", "q", 1);
  lv_pred_chain_dependent(source, find_module(atom("lib"), 0), importer);
  ASSERT_EQ(importer->definition, source->definition);
  lv_profiling_switch = LV_ATOM_ON;
  ASSERT_EQ(call(importer, {atom("a")}), 1);
  EXPECT_EQ(redo(), 0);
  ASSERT_NE(source->counters, nullptr);
  EXPECT_EQ(importer->counters, source->counters);
  std::vector<lv_term> all = elements(get_counters());
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(arg(arg(all[0], 1), 1), atom("lib"));
  EXPECT_EQ(prolog_reset_counters(w), 1);
  EXPECT_EQ(importer->counters, nullptr);
}

// A dynamic predicate counts its calls in its call word and its clauses
// under their instance records; $get_coverage lists the counted instances
// with their lines, then every line of the clauses' tables.
TEST_F(ProfiledEmulatorTest, DynamicClausesAreCountedPerInstance) {
  lv_set_typein_module(find_module(atom("user"), 1));
  w->X[0] = terms::fn(w, atom("/"), {atom("f"), small(1)});
  w->X[1] = atom("dynamic");
  ASSERT_EQ(prolog_define_predicate(w), 1);
  lv_pred* f = pred("user", "f", 1);
  lv_db_clause* added[2];
  for (int i = 0; i < 2; i++) {
    lv_term ref = terms::var(w);
    w->X[0] = lv_pointer_to_term(f);
    w->X[1] = terms::fn(w, atom("f"), {atom(i == 0 ? "a" : "b")});
    w->X[2] = ref;
    ASSERT_EQ(prolog_insertz(w), 1);
    added[i] = lv_clause_of(lv_dbref_to_block(lv_deref(ref)));
    // A source-position table of one entry: the clause on line 10 + i.
    auto* table = static_cast<uint64_t*>(lv_mem_alloc(32, lv_mem_flags(LV_CAT_SOURCE_INFO)));
    table[0] = 32;
    table[1] = 2;
    table[2] = uint64_t{1} << 60;
    table[3] = static_cast<uint64_t>(10 + i);
    added[i]->positions = table;
  }
  lv_profiling_switch = LV_ATOM_ON;
  lv_term x = terms::var(w);
  ASSERT_EQ(call(f, {x}), 1);
  ASSERT_EQ(redo(), 1);
  EXPECT_EQ(redo(), 0);
  ASSERT_NE(f->counters, nullptr);
  EXPECT_EQ(counters(f)->calls, 2u);
  for (lv_db_clause* c : added) {
    lv_instance_record* r = lv_instance_source_record(c);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(count(f, reinterpret_cast<uint64_t>(r)), 2u);
  }
  lv_term list = terms::var(w);
  w->X[0] = list;
  ASSERT_EQ(prolog_get_coverage(w), 1);
  // counter(File, user:(f/1), Clause, Line) - Count, Count det(1) for the
  // runs and det(0) for the table lines.
  int64_t run_lines = 0, table_lines = 0;
  for (lv_term e : elements(list)) {
    lv_term c = arg(e, 1);
    int64_t clause = lv_small_value(arg(c, 3));
    EXPECT_EQ(lv_small_value(arg(c, 4)), 9 + clause);
    if (det(arg(e, 2), 1)) run_lines += clause;
    if (det(arg(e, 2), 0)) table_lines += clause;
  }
  EXPECT_EQ(run_lines, 1 + 2);
  EXPECT_EQ(table_lines, 1 + 2);
}

// Predicates marked for native code run their bytecode here, and a
// candidate's calls do not count toward its compilation.
TEST_F(ProfiledEmulatorTest, NativeKindsRunTheirBytecode) {
  for (uint32_t flag : {LV_PRED_JITTED, LV_PRED_JIT_CANDIDATE}) {
    lv_pred* p = two_facts(flag == LV_PRED_JITTED ? "jitted" : "candidate");
    p->flags |= flag;
    p->kind = flag == LV_PRED_JITTED ? LV_KIND_JITTED : LV_KIND_JITTABLE;
    lv_profiling_switch = LV_ATOM_ON;
    ASSERT_EQ(call(p, {atom("b")}), 1);
    EXPECT_EQ(redo(), 0);
    EXPECT_EQ(p->jit_counter, 0u);
    ASSERT_NE(p->counters, nullptr);
    EXPECT_EQ(counters(p)->calls, 2u);
  }
}

int no_op(lv_worker*) { return 1; }

TEST_F(ProfiledEmulatorTest, CallTraceShowsTheGoalOrThePredicate) {
  lv_pred* foo = c_pred("foo", 2, no_op);
  const struct {
    int level;
    const char* text;
  } cases[] = {{2, "user:foo(1, bar)\n"}, {1, "user:foo/2\n"}, {0, ""}};
  for (const auto& c : cases) {
    lv_profiling_switch = LV_ATOM_ON;
    lv_predtrace_level = c.level;
    testing::internal::CaptureStderr();
    ASSERT_EQ(call(foo, {small(1), atom("bar")}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.text) << c.level;
    EXPECT_EQ(redo(), 0);
  }
}

// $profiling(_, on) moves the query to the profiled emulator at once;
// $profiling(_, off) leaves it there until the query ends.
int switch_on(lv_worker* w) {
  w->X[0] = lv_make_ref(w->H);
  *w->H++ = w->X[0];
  w->X[1] = LV_ATOM_ON;
  return 1;
}
int switch_off(lv_worker* w) {
  w->X[0] = LV_ATOM_ON;
  w->X[1] = LV_ATOM_OFF;
  return 1;
}

TEST_F(ProfiledEmulatorTest, SwitchingOnCountsAtOnceSwitchingOffAtTheQuerysEnd) {
  lv_pred* flag = lv_kind_pred[LV_KIND_BUILTIN_PROFILING_FLAG];
  for (const bool on : {true, false}) {
    // tick. and q :- set, $profiling(Old, New), tick.
    lv_pred* tick = pred("user", on ? "tick_on" : "tick_off", 0);
    Assembler fact;
    fact.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(tick)});
    lv_new_clause_list(tick, LV_DEF_COMPACTCODE);
    lv_append_clause(tick, clause(fact), LV_KEY_NONE, 0);
    Assembler body;
    body.op(LV_OP_INITCALL, {R(0, {}), P(c_pred(on ? "set_on" : "set_off", 0, on ? switch_on : switch_off)), S(0)})
        .op(LV_OP_CALL, {R(0, {}), P(flag), S(0)})
        .op(LV_OP_LASTCALL, {R(0, {}), P(tick)});
    lv_pred* q = clauses(on ? "q_on" : "q_off", 0, {&body});
    lv_profiling_switch = on ? LV_ATOM_OFF : LV_ATOM_ON;
    ASSERT_EQ(call(q), 1) << on;
    EXPECT_EQ(lv_profiling_switch, on ? LV_ATOM_ON : LV_ATOM_OFF);
    ASSERT_NE(tick->counters, nullptr) << on;  // counted in the same query
    EXPECT_EQ(counters(tick)->calls, 2u);
    EXPECT_EQ(redo(), 0);
  }
}

// $profiling(_, _) starts a query of the top level: a run whose switch was
// turned off moves to the plain emulator there and counts no more.
int query_start(lv_worker* w) {
  w->X[0] = lv_make_ref(w->H);
  *w->H++ = w->X[0];
  w->X[1] = lv_make_ref(w->H);
  *w->H++ = w->X[1];
  return 1;
}

TEST_F(ProfiledEmulatorTest, AQueryStartMovesARunSwitchedOffToThePlainEmulator) {
  lv_pred* flag = lv_kind_pred[LV_KIND_BUILTIN_PROFILING_FLAG];
  std::vector<lv_pred*> ticks;
  for (const char* name : {"before_start", "after_start"}) {
    lv_pred* tick = pred("user", name, 0);
    Assembler fact;
    fact.op(LV_OP_PROCEED).op(LV_OP_END_OF_CLAUSE, {P(tick)});
    lv_new_clause_list(tick, LV_DEF_COMPACTCODE);
    lv_append_clause(tick, clause(fact), LV_KEY_NONE, 0);
    ticks.push_back(tick);
  }
  // q :- set off, $profiling(on, off), before_start, $profiling(_, _), after_start.
  Assembler body;
  body.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("set_off", 0, switch_off)), S(0)})
      .op(LV_OP_CALL, {R(0, {}), P(flag), S(0)})
      .op(LV_OP_CALL, {R(0, {}), P(ticks[0]), S(0)})
      .op(LV_OP_CALL, {R(0, {}), P(c_pred("query_start", 0, query_start)), S(0)})
      .op(LV_OP_CALL, {R(0, {}), P(flag), S(0)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(ticks[1])});
  lv_pred* q = clauses("q_start", 0, {&body});
  lv_profiling_switch = LV_ATOM_ON;
  ASSERT_EQ(call(q), 1);
  EXPECT_EQ(lv_profiling_switch, LV_ATOM_OFF);
  EXPECT_NE(ticks[0]->counters, nullptr);  // the run went on counting
  EXPECT_EQ(ticks[1]->counters, nullptr);  // until the query start
  EXPECT_EQ(redo(), 0);
}

// $profiling(V, V) reads the switch without changing it.
int read_switch(lv_worker* w) {
  w->X[0] = lv_make_ref(w->H);
  *w->H++ = w->X[0];
  w->X[1] = w->X[0];
  return 1;
}

TEST_F(ProfiledEmulatorTest, ReadingTheSwitchLeavesIt) {
  lv_pred* flag = lv_kind_pred[LV_KIND_BUILTIN_PROFILING_FLAG];
  Assembler body;
  body.op(LV_OP_INITCALL, {R(0, {}), P(c_pred("read", 0, read_switch)), S(0)})
      .op(LV_OP_LASTCALL, {R(0, {}), P(flag)});
  lv_pred* q = clauses("q", 0, {&body});
  for (lv_term value : {LV_ATOM_OFF, LV_ATOM_ON}) {
    lv_profiling_switch = value;
    ASSERT_EQ(call(q), 1);
    EXPECT_EQ(lv_profiling_switch, value);
    EXPECT_EQ(redo(), 0);
  }
}

}  // namespace
