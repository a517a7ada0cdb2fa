// The dynamic database below the emulator: clause order numbers, erasing,
// database references, generations and the roots of atom collection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/atom_gc.h"
#include "core/atoms.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "embed/prolog_contract.h"
#include "store/db_builtins.h"
#include "store/db_modules.h"
#include "store/db_generations.h"
#include "store/dbref_table.h"
#include "store/dynamic_call.h"
#include "store/dynamic_table.h"
#include "store/instance_records.h"
#include "store/source_table.h"
#include "store/store_builtins.h"
#include "store/counters.h"
#include "store/warn_ndexit.h"
#include "support/store_fixture.h"
#include "support/terms.h"

namespace {

class DynamicDbTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    lv_set_typein_module(find_module(atom("user"), 1));
    p = pred("user", "f", 1);
    lv_term* h = w->H;
    h[0] = lv_make_functor(atom("/"), 2);
    h[1] = atom("f");
    h[2] = lv_make_small(1);
    w->H = h + 3;
    w->X[0] = lv_make_struct(h);
    w->X[1] = atom("dynamic");
    ASSERT_EQ(prolog_define_predicate(w), 1);
    ASSERT_EQ(lv_definition_type(p), LV_DEF_DYNAMIC);
    // The table reference, as $current_clauses hands it out.
    h = w->H;
    h[0] = lv_make_functor(atom("f"), 1);
    h[1] = lv_make_ref(&h[1]);
    h[2] = lv_make_ref(&h[2]);
    w->H = h + 3;
    w->X[0] = lv_make_struct(h);
    w->X[1] = h[2];
    w->X[2] = atom("user");
    ASSERT_EQ(prolog_current_clauses(w), 1);
    ASSERT_EQ(lv_deref(h[2]), lv_pointer_to_term(p));
  }

  // f(Arg) added at either end; its '$ref' term.
  lv_term insert(lv_term arg, bool at_front = false) {
    lv_term* h = w->H;
    h[0] = lv_make_functor(atom("f"), 1);
    h[1] = arg;
    h[2] = lv_make_ref(&h[2]);
    w->H = h + 3;
    w->X[0] = lv_pointer_to_term(p);
    w->X[1] = lv_make_struct(h);
    w->X[2] = h[2];
    EXPECT_EQ(at_front ? prolog_inserta(w) : prolog_insertz(w), 1);
    return lv_deref(h[2]);
  }

  lv_db_clause* clause_of(lv_term ref) {
    lv_stored_block* b = lv_dbref_to_block(ref);
    return b != nullptr ? lv_clause_of(b) : nullptr;
  }

  void erase(lv_term ref) {
    w->X[0] = ref;
    EXPECT_EQ(prolog_erase(w), 1);
  }

  // A first call f(_) of the predicate: the first candidate (a dynamic
  // choicepoint is pushed when more remain).
  lv_db_clause* first_call() {
    lv_term* h = w->H;
    h[0] = lv_make_functor(atom("f"), 1);
    h[1] = lv_make_ref(&h[1]);
    w->H = h + 2;
    w->X[0] = lv_make_struct(h);
    w->X[1] = atom("user");
    w->X[2] = lv_pointer_to_term(p);
    w->X[3] = LV_ATOM_NIL;
    return lv_dynamic_first_clause(w);
  }

  // Module:Name/Arity made dynamic; its record there.
  lv_pred* make_dynamic(const char* module, const char* name, unsigned arity) {
    lv_term spec = terms::fn(w, atom("/"), {atom(name), lv_make_small(arity)});
    w->X[0] = terms::fn(w, atom(":"), {atom(module), spec});
    w->X[1] = atom("dynamic");
    EXPECT_EQ(prolog_define_predicate(w), 1);
    return pred(module, name, arity);
  }

  // The table reference of Head in Module, as $current_clauses hands it out.
  lv_term table_ref(lv_term head, const char* module) {
    lv_term ref = terms::var(w);
    w->X[0] = head;
    w->X[1] = ref;
    w->X[2] = atom(module);
    EXPECT_EQ(prolog_current_clauses(w), 1);
    return lv_deref(ref);
  }

  lv_pred* p = nullptr;
};

TEST_F(DynamicDbTest, PrependingNumbersDownwardFromZero) {
  lv_term r1 = insert(lv_make_small(1), true);
  lv_term r2 = insert(lv_make_small(2), true);
  lv_term r3 = insert(lv_make_small(3), true);
  lv_term r4 = insert(lv_make_small(4));
  EXPECT_EQ(clause_of(r1)->seq, lv_make_small(0));
  EXPECT_EQ(clause_of(r2)->seq, lv_make_small(-1));
  EXPECT_EQ(clause_of(r3)->seq, lv_make_small(-2));
  EXPECT_EQ(clause_of(r4)->seq, lv_make_small(1));
  EXPECT_EQ(lv_dynamic_table(p)->first, clause_of(r3));
}

TEST_F(DynamicDbTest, ErasingWithoutDynamicChoicepointsFreesAtOnceAndStaleRefsFail) {
  lv_term r1 = insert(atom("a"));
  ASSERT_NE(clause_of(r1), nullptr);
  erase(r1);
  EXPECT_EQ(clause_of(r1), nullptr);
  EXPECT_EQ(lv_dynamic_table(p)->first, nullptr);
  // The index is reused with a new stamp: the old reference stays dead.
  lv_term r2 = insert(atom("b"));
  EXPECT_EQ(lv_struct_cells(r2)[1], lv_struct_cells(r1)[1]);
  EXPECT_NE(lv_struct_cells(r2)[2], lv_struct_cells(r1)[2]);
  EXPECT_EQ(clause_of(r1), nullptr);
  EXPECT_NE(clause_of(r2), nullptr);
  erase(r1);  // a stale reference changes nothing
  EXPECT_NE(clause_of(r2), nullptr);
}

TEST_F(DynamicDbTest, ErasedClauseSeenByAChoicepointIsQueuedThenReclaimed) {
  lv_term r1 = insert(atom("a"));
  lv_term r2 = insert(atom("b"));
  lv_term* b0 = w->B;
  EXPECT_EQ(first_call(), clause_of(r1));
  ASSERT_LT(w->B, b0);
  erase(r2);
  // Still there for the call's retry.
  lv_db_clause* c2 = clause_of(r2);
  ASSERT_NE(c2, nullptr);
  EXPECT_FALSE(lv_clause_alive(c2));
  lv_db_clause* next = nullptr;
  EXPECT_EQ(lv_dynamic_next_clause(w, &next), 1);
  EXPECT_EQ(next, c2);
  EXPECT_EQ(w->B, b0);  // the last candidate pops the choicepoint
  lv_reclaim_erased_clauses(w);
  EXPECT_EQ(clause_of(r2), nullptr);
  EXPECT_EQ(lv_dynamic_table(p)->first, clause_of(r1));
}

// assertz, a call of another dynamic predicate, retract: once any dynamic
// choicepoint has been pushed each erased clause waits, and no walk meets
// it (it is retracted through its own reference). The waiting clauses are
// reclaimed once enough have been erased, so that they stay few however
// long the loop runs.
TEST_F(DynamicDbTest, ClausesErasedWhereNoWalkMeetsThemStayFew) {
  insert(atom("a"));
  insert(atom("b"));
  lv_pred* seen = make_dynamic("user", "seen", 1);
  lv_term table = table_ref(terms::fn(w, atom("seen"), {terms::var(w)}), "user");
  ASSERT_EQ(table, lv_pointer_to_term(seen));
  ASSERT_NE(first_call(), nullptr);  // a choicepoint of f/1 that stays
  lv_term* b = w->B;
  uint64_t runs = lv_db.reclaim_runs;
  uint64_t most = 0;
  for (int i = 0; i < 20000; i++) {
    lv_term* h0 = w->H;
    w->X[0] = table;
    w->X[1] = terms::fn(w, atom("seen"), {lv_make_small(i)});
    w->X[2] = terms::var(w);
    lv_term ref = w->X[2];
    ASSERT_EQ(prolog_insertz(w), 1);
    ASSERT_NE(first_call(), nullptr);  // the other predicate's call, cut at once
    w->B = b;
    erase(lv_deref(ref));
    most = std::max(most, lv_db.waiting);
    w->H = h0;
  }
  EXPECT_GT(lv_db.reclaim_runs, runs);
  EXPECT_LE(most, lv_db.reclaim_margin + 1);
}

// abolish/1 under a running call: the call goes on over the clauses it
// started with (their links, order numbers and atoms kept), and they are
// freed with their table once no call can walk them.
TEST_F(DynamicDbTest, AbolishingUnderARunningCallLetsItFinish) {
  std::vector<lv_term> refs;
  for (const char* a : {"c1", "c2", "c3", "only_in_the_fourth", "c5"}) refs.push_back(insert(atom(a)));
  lv_term* b0 = w->B;
  ASSERT_EQ(first_call(), clause_of(refs[0]));
  lv_db_clause* next = nullptr;
  ASSERT_EQ(lv_dynamic_next_clause(w, &next), 1);
  ASSERT_EQ(next, clause_of(refs[1]));
  w->X[0] = terms::fn(w, atom("/"), {atom("f"), lv_make_small(1)});
  w->X[1] = atom("user");
  ASSERT_EQ(prolog_abolish(w), 1);
  EXPECT_EQ(p->definition, nullptr);
  lv_garbage_collect_atoms(w);
  EXPECT_NE(lv_atom_from_text("only_in_the_fourth", LV_ATOM_FIND), 0u);
  for (size_t i = 2; i < refs.size(); i++) {
    ASSERT_EQ(lv_dynamic_next_clause(w, &next), 1) << i;
    EXPECT_EQ(next, clause_of(refs[i])) << i;
  }
  EXPECT_EQ(w->B, b0);
  EXPECT_EQ(lv_db.waiting, 5u);
  lv_reclaim_erased_clauses(w);
  for (lv_term r : refs) EXPECT_EQ(clause_of(r), nullptr);
  EXPECT_EQ(lv_db.waiting, 0u);
}

TEST_F(DynamicDbTest, ReferenceTableDoublesAtTheThousandAndTwentyFifthReference) {
  EXPECT_EQ(lv_dbref_table_now()->capacity, 1024);
  for (int i = 0; i < 1023; i++) insert(lv_make_small(i));
  EXPECT_EQ(lv_dbref_table_now()->capacity, 1024);
  lv_term last = insert(lv_make_small(1023));
  EXPECT_EQ(lv_dbref_table_now()->capacity, 2048);
  EXPECT_EQ(lv_struct_cells(last)[1], lv_make_small(1024));
  EXPECT_NE(clause_of(last), nullptr);
}

TEST_F(DynamicDbTest, GenerationsAreRenumberedNearTheEndKeepingVisibility) {
  lv_term r1 = insert(atom("a"));
  lv_term r2 = insert(atom("b"));
  w->X[0] = lv_make_small(1);
  ASSERT_EQ(prolog_set_clock_remaining(w), 1);
  EXPECT_EQ(lv_db.now, 0xFFFFFFFDu);
  ASSERT_NE(first_call(), nullptr);
  auto* older = reinterpret_cast<lv_dynamic_choice*>(w->B);
  EXPECT_EQ(lv_dynamic_choice_generation(older), 0xFFFFFFFDu);
  lv_term r3 = insert(atom("c"));
  EXPECT_EQ(clause_of(r3)->birth, 0xFFFFFFFEu);
  ASSERT_NE(first_call(), nullptr);  // takes 0xFFFFFFFE: renumbered
  auto* newer = reinterpret_cast<lv_dynamic_choice*>(w->B);
  EXPECT_EQ(lv_dynamic_choice_generation(older), 0u);
  EXPECT_EQ(lv_dynamic_choice_generation(newer), 1u);
  EXPECT_EQ(clause_of(r1)->birth, 0u);
  EXPECT_EQ(clause_of(r2)->birth, 0u);
  EXPECT_EQ(clause_of(r3)->birth, 1u);
  EXPECT_EQ(lv_db.next, 2u);
  EXPECT_EQ(lv_db.now, 1u);
  // The newer call sees the third clause, the older one does not.
  lv_db_clause* c = nullptr;
  ASSERT_EQ(lv_dynamic_next_clause(w, &c), 1);
  EXPECT_EQ(c, clause_of(r2));
  ASSERT_EQ(lv_dynamic_next_clause(w, &c), 1);
  EXPECT_EQ(c, clause_of(r3));
  ASSERT_EQ(reinterpret_cast<lv_dynamic_choice*>(w->B), older);
  ASSERT_EQ(lv_dynamic_next_clause(w, &c), 1);
  EXPECT_EQ(c, clause_of(r2));
  EXPECT_NE(reinterpret_cast<lv_dynamic_choice*>(w->B), older);
}

TEST_F(DynamicDbTest, MadeUpTableReferencesAreRefused) {
  lv_pred* other = pred("user", "g", 1);
  lv_term* h = w->H;
  h[0] = lv_make_functor(atom("g"), 1);
  h[1] = atom("a");
  h[2] = lv_make_ref(&h[2]);
  w->H = h + 3;
  for (lv_term ref : {lv_pointer_to_term(other), lv_make_small(12345), lv_make_small(0)}) {
    w->X[0] = ref;
    w->X[1] = lv_make_struct(h);
    w->X[2] = h[2];
    EXPECT_EQ(prolog_insertz(w), 0);
  }
}

TEST_F(DynamicDbTest, SetClockRemainingRefusesToGoBack) {
  const struct {
    int64_t r;
    int ok;
  } cases[] = {{0, 0}, {int64_t{1} << 31, 0}, {100, 1}, {200, 0}, {50, 1}, {-10, 1}};
  for (const auto& c : cases) {
    w->X[0] = lv_make_small(c.r);
    EXPECT_EQ(prolog_set_clock_remaining(w), c.ok) << c.r;
  }
  EXPECT_EQ(lv_db.now, 0xFFFFFFFFu - 10);
}

TEST_F(DynamicDbTest, LargeNumberKeysShareAnEntryUntilTheirChainEmpties) {
  double x = 1.5;
  double y = 2.5;
  uint64_t bx, by;
  std::memcpy(&bx, &x, 8);
  std::memcpy(&by, &y, 8);
  lv_term fa[3] = {LV_BOX_FLOAT, bx, LV_BOX_FLOAT};
  lv_term fb[3] = {LV_BOX_FLOAT, by, LV_BOX_FLOAT};
  EXPECT_EQ(lv_term_key_hash(fa), lv_term_key_hash(fb));
  lv_term ia[4] = {LV_BOX_INT2, 0, 64, LV_BOX_INT2};
  lv_term ib[4] = {LV_BOX_INT2, 1, 64, LV_BOX_INT2};
  EXPECT_NE(lv_term_key_hash(ia), lv_term_key_hash(ib));

  auto box = [&](const lv_term* words, int n) {
    lv_term* h = w->H;
    for (int i = 0; i < n; i++) h[i] = words[i];
    w->H = h + n;
    return lv_make_struct(h);
  };
  lv_term r1 = insert(box(ia, 4));
  lv_term r2 = insert(box(ia, 4));
  insert(box(fa, 3));
  insert(box(fb, 3));
  lv_dynamic_clause_table* t = lv_dynamic_table(p);
  EXPECT_EQ(lv_key_chain_first(t, LV_BOX_INT2, ia), clause_of(r1));
  erase(r1);
  EXPECT_EQ(lv_key_chain_first(t, LV_BOX_INT2, ia), clause_of(r2));
  erase(r2);
  EXPECT_EQ(lv_key_chain_first(t, LV_BOX_INT2, ia), nullptr);
  EXPECT_NE(lv_key_chain_first(t, LV_BOX_FLOAT, fb), nullptr);
}

TEST_F(DynamicDbTest, AtomsHeldOnlyByClausesSurviveAtomCollection) {
  lv_term live = atom("only_in_a_live_clause");
  lv_term queued = atom("only_in_an_erased_clause");
  atom("held_by_nothing");
  insert(live);
  lv_term rq = insert(queued);
  ASSERT_NE(first_call(), nullptr);  // a choicepoint that still sees both
  erase(rq);
  lv_garbage_collect_atoms(w);
  EXPECT_TRUE(lv_atom_live(live));
  EXPECT_TRUE(lv_atom_live(queued));
  EXPECT_EQ(lv_atom_from_text("held_by_nothing", LV_ATOM_FIND), 0u);
  EXPECT_NE(clause_of(rq), nullptr);
}

TEST_F(DynamicDbTest, ClauseInstanceRecordsAreMadeOnceAlongTheirPath) {
  lv_term ref = insert(atom("a"));
  lv_db_clause* c = clause_of(ref);
  // Without a source-position table there are no records.
  EXPECT_EQ(lv_instance_source_record(c), nullptr);
  EXPECT_EQ(lv_position_instance_record(ref, p), nullptr);
  // A table: the clause on line 12, its body (argument 2) on line 14.
  lv_reset_source_table();
  lv_add_source_entry(12);
  lv_source_push_step(2);
  lv_add_source_entry(14);
  c->positions = lv_take_source_table();
  lv_free_source_builder();
  lv_instance_record* root = lv_instance_source_record(c);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->line, 12);
  EXPECT_EQ(root->clause, c);
  // The root's callee is the predicate dynamic clause bodies run through.
  EXPECT_EQ(root->callee, lv_role.clause_body);
  lv_term* h = w->H;
  h[0] = lv_make_small(2);
  h[1] = ref;
  w->H = h + 2;
  lv_term position = lv_make_list(h);
  lv_pred* q = pred("user", "g", 0);
  lv_instance_record* first = lv_position_instance_record(position, p);
  lv_instance_record* again = lv_position_instance_record(position, q);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, again);
  EXPECT_EQ(again->callee, q);
  EXPECT_EQ(again->line, 14);
  EXPECT_EQ(root->child[1], first);
  // Erasing frees the clause with its records and table.
  erase(ref);
  EXPECT_EQ(clause_of(ref), nullptr);
}

// $purge of a clause that a dynamic choicepoint holds as its next candidate
// erases it instead of freeing it: the call still runs it.
TEST_F(DynamicDbTest, PurgeUnderADynamicChoicepointLeavesTheCallItsCandidate) {
  lv_term r1 = insert(atom("a"));
  lv_term r2 = insert(atom("b"));
  lv_term* b0 = w->B;
  ASSERT_EQ(first_call(), clause_of(r1));
  w->X[0] = r2;
  ASSERT_EQ(prolog_purge(w), 1);
  lv_db_clause* c2 = clause_of(r2);
  ASSERT_NE(c2, nullptr);
  EXPECT_FALSE(lv_clause_alive(c2));
  lv_db_clause* next = nullptr;
  ASSERT_EQ(lv_dynamic_next_clause(w, &next), 1);
  EXPECT_EQ(next, c2);
  EXPECT_EQ(w->B, b0);
  // With no dynamic choicepoint left it is detached and freed at once.
  lv_reclaim_erased_clauses(w);
  lv_term r3 = insert(atom("c"));
  w->X[0] = r3;
  ASSERT_EQ(prolog_purge(w), 1);
  EXPECT_EQ(clause_of(r3), nullptr);
  EXPECT_EQ(lv_dynamic_table(p)->first, clause_of(r1));
  EXPECT_EQ(lv_clause_next(clause_of(r1)), nullptr);
}

// Clauses asserted through a chain of imports belong to the record of the
// definition's home module, whose table the store's walks visit.
TEST_F(DynamicDbTest, ClausesAssertedThroughAnImportChainBelongToTheHomeRecord) {
  lv_pred* home = make_dynamic("ma", "dp", 1);
  find_module(atom("mb"), 1);
  find_module(atom("mc"), 1);
  for (auto [importer, exporter] : {std::pair{"mb", "ma"}, std::pair{"mc", "mb"}}) {
    w->X[0] = atom(importer);
    w->X[1] = atom(exporter);
    w->X[2] = terms::list(w, {terms::fn(w, atom("/"), {atom("dp"), lv_make_small(1)})});
    ASSERT_EQ(prolog_import_preds(w), 1);
  }
  lv_term ref = table_ref(terms::fn(w, atom("dp"), {terms::var(w)}), "mc");
  lv_pred* through = reinterpret_cast<lv_pred*>(ref & ~uint64_t{7});
  ASSERT_EQ(through, pred("mc", "dp", 1));
  ASSERT_EQ(through->definition, home->definition);
  lv_term cref = terms::var(w);
  w->X[0] = ref;
  w->X[1] = terms::fn(w, atom("dp"), {atom("x")});
  w->X[2] = cref;
  ASSERT_EQ(prolog_insertz(w), 1);
  EXPECT_EQ(clause_of(lv_deref(cref))->pred, home);
}

// A table reference whose record the atom collector freed is refused, not read.
TEST_F(DynamicDbTest, TableReferenceOfAFreedRecordIsRefused) {
  lv_pred* gone = make_dynamic("user", "gone", 1);
  lv_term ref = table_ref(terms::fn(w, atom("gone"), {terms::var(w)}), "user");
  ASSERT_EQ(ref, lv_pointer_to_term(gone));
  w->X[0] = terms::fn(w, atom("/"), {atom("gone"), lv_make_small(1)});
  w->X[1] = atom("user");
  ASSERT_EQ(prolog_abolish(w), 1);
  ASSERT_EQ(lv_definition_type(gone), LV_DEF_UNDEFINED);
  lv_garbage_collect_atoms(w);
  ASSERT_EQ(lv_lookup_predicate(find_module(atom("user"), 0), atom("gone"), 1, LV_LOOKUP_FIND), nullptr);
  w->X[0] = ref;
  w->X[1] = terms::fn(w, atom("gone"), {atom("a")});
  w->X[2] = terms::var(w);
  EXPECT_EQ(prolog_insertz(w), 0);
  EXPECT_FALSE(lv_dynamic_ref_known(gone));
}

// $retractall takes a list cell head as the compound '.'(H, T).
TEST_F(DynamicDbTest, RetractallTakesAListCellHead) {
  lv_pred* dot = make_dynamic("user", ".", 2);
  lv_term ref = table_ref(terms::cons(w, terms::var(w), terms::var(w)), "user");
  ASSERT_EQ(ref, lv_pointer_to_term(dot));
  w->X[0] = ref;
  w->X[1] = terms::cons(w, atom("a"), atom("b"));
  w->X[2] = terms::var(w);
  ASSERT_EQ(prolog_insertz(w), 1);
  lv_term same = terms::var(w);
  w->X[0] = terms::cons(w, same, same);
  w->X[1] = atom("user");
  EXPECT_EQ(prolog_retractall(w), 0);
  EXPECT_NE(lv_dynamic_table(dot)->first, nullptr);
  w->X[0] = terms::cons(w, terms::var(w), terms::var(w));
  w->X[1] = atom("user");
  EXPECT_EQ(prolog_retractall(w), 1);
  EXPECT_EQ(lv_dynamic_table(dot)->first, nullptr);
}

// A non-determinate exit from a goal of a dynamic clause marks the goal's
// clause-instance record in the counters of the clause's predicate.
TEST_F(DynamicDbTest, WarnNdexitMarksTheInstanceRecordOfADynamicClause) {
  lv_term ref = insert(atom("a"));
  auto* table = static_cast<uint64_t*>(lv_mem_alloc(32, lv_mem_flags(LV_CAT_SOURCE_INFO)));
  table[0] = 32;
  table[1] = table[2] = 0;
  table[3] = 7;
  clause_of(ref)->positions = table;
  auto* counters = lv_new_counter_object();
  p->counters = counters;
  lv_pred* target = pred("user", "g", 0);
  lv_term position = terms::cons(w, lv_make_small(1), ref);
  lv_term* saved = w->saved_local_top;
  auto warn = [&](bool determinate) {
    w->saved_local_top = determinate ? w->E : w->E + 1;
    w->X[0] = position;
    w->X[1] = LV_ATOM_NIL;
    w->X[2] = lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(target) >> 3));
    int r = prolog_warn_ndexit(w);
    w->saved_local_top = saved;
    return r;
  };
  EXPECT_EQ(warn(true), 1);
  EXPECT_EQ(counters->table->count, 0u);
  EXPECT_EQ(warn(false), 1);
  lv_instance_record* record = lv_position_instance_record(position, nullptr);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->callee, target);
  lv_hash_entry* e = lv_wordtab_find(counters->table, reinterpret_cast<uint64_t>(record));
  ASSERT_TRUE(e != nullptr && e->key == reinterpret_cast<uint64_t>(record));
  EXPECT_EQ(e->value, 1u);
  EXPECT_EQ(counters->table->count, 1u);
  // Freeing the clause zeroes its records' counts.
  erase(ref);
  EXPECT_EQ(e->value, 0u);
  p->counters = nullptr;
  lv_free_counter_object(counters);
}


}  // namespace
