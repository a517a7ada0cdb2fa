// The solver kernel over a real engine: the state that init builds and
// deinit takes down, value trailing and state terms across choicepoints,
// handle blocks and entailment, attributes, the coreference and purge
// predicates, the incumbent record, the overflow report and the queues'
// engine hook.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/cleanups.h"
#include "core/fd_hooks.h"
#include "core/predefined_atoms.h"
#include "core/gc.h"
#include "core/stack_shift.h"
#include "core/stored_block.h"
#include "domsolve/solver_fixture.h"
#include "kernel/attributes.h"
#include "kernel/fdset.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/propagator_table.h"
#include "kernel/queues.h"
#include "kernel/roots.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"
#include "store/call_choicepoint.h"
#include "store/dbref_table.h"
#include "support/random_roots.h"

namespace {

using terms::backtrack_and_pop;
using terms::push_choice;

class Kernel : public SolverTest {};

TEST_F(Kernel, InitBuildsTheState) {
  EXPECT_EQ(state->debug, 0);
  EXPECT_EQ(state->overflow, 1);
  EXPECT_EQ(state->resumptions + state->entailments + state->prunings + state->failures + state->constraints, 0);
  EXPECT_EQ(state->scratch, nullptr);
  EXPECT_EQ(state->tables->retired_definitions, nullptr);
  EXPECT_EQ(state->overflow_handler, nullptr);  // looked up when first needed
  EXPECT_EQ(state->pending_overflow, 0);
  EXPECT_EQ(state->module, find_module(LV_atom_from_string("domsolve"), 0));
  const char* names[] = {"in_set", "min", "max", "minmax", "val", "none", "call", "=", "t=u IND", "t=<u+c",
                         "all_distinct", "colored", "\\", "/\\", "\\/", "..", "{}", "lit", "a", "d", "h", "l", "t"};
  const unsigned arities[] = {2, 1, 1, 1, 1, 1, 1, 2, 2, 3, 1, 1, 1, 2, 2, 2, 1, 3, 1, 1, 1, 1, 1};
  for (unsigned i = 0; i < FD_FUNCTOR_COUNT; i++)
    EXPECT_EQ(state->functors[i], fd_functor(LV_atom_from_string(names[i]), arities[i])) << names[i];
  const lv_term dom1 = fd_functor(FD_ATOM_DOM, 1);
  const lv_term templates[8] = {state->functors[FD_F_VAL_1], dom1, state->functors[FD_F_MIN_1], dom1,
                                state->functors[FD_F_MAX_1], dom1, state->functors[FD_F_MINMAX_1], dom1};
  for (int i = 0; i < 8; i++) EXPECT_EQ(state->event_templates[i], templates[i]) << i;
  EXPECT_EQ(state->atom_min, LV_atom_from_string("min"));
  EXPECT_EQ(state->atom_max, LV_atom_from_string("max"));
  EXPECT_EQ(state->heuristics[FD_H_DOM_W_DEG], LV_atom_from_string("dom_w_deg"));
  // Ten empty queues of 64 bytes.
  fd_queue_block* q = state->queues;
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->mask, 0u);
  for (const fd_queue& queue : q->queues) {
    EXPECT_EQ(queue.head, queue.start);
    EXPECT_EQ(queue.tail, queue.start);
    EXPECT_EQ(reinterpret_cast<char*>(queue.end) - reinterpret_cast<char*>(queue.start), 64);
  }
  EXPECT_EQ(q->current->term, FD_NIL);
}

TEST_F(Kernel, PropagatorTableHasFiftyOneKeys) {
  int rows = 0;
  for (const fd_propagator_row* row = fd_propagator_table; row->name != nullptr; row++) rows++;
  EXPECT_EQ(rows, 51);
  std::vector<lv_term> keys;
  for (const fd_propagator_row* row = fd_propagator_table; row->name != nullptr; row++) {
    lv_term key = fd_functor(LV_atom_from_string(row->name), static_cast<unsigned>(row->arity));
    lv_hash_entry* e = incore_gethash(static_cast<lv_keytab*>(state->propagators), key);
    ASSERT_NE(e, nullptr) << row->name;
    EXPECT_EQ(e->key, key) << row->name;
    EXPECT_EQ(fd_find_propagator(&env, key), row->function) << row->name;
    keys.push_back(key);
  }
  // "element" stands twice, as two keys.
  lv_term element3 = fd_functor(LV_atom_from_string("element"), 3);
  lv_term element2 = fd_functor(LV_atom_from_string("element"), 2);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), element3), 1);
  EXPECT_EQ(std::count(keys.begin(), keys.end(), element2), 1);
  EXPECT_EQ(fd_find_propagator(&env, element3), &element);
  EXPECT_EQ(fd_find_propagator(&env, element2), &element_member);
  EXPECT_EQ(fd_find_propagator(&env, fd_functor(LV_atom_from_string("no_such"), 2)), nullptr);
}

TEST_F(Kernel, DeinitTakesItAllDown) {
  lv_term key = fd_functor(LV_atom_from_string("ax=y"), 3);
  domsolve_deinit(&env, 0);
  EXPECT_EQ(env.state, 0u);
  // The hooks are gone: an engine event reaches nothing.
  EXPECT_EQ(lv_call_fd_hook(5, 0), 0);
  (void)key;
}

// A choicepoint that makes every term built so far older than it.
void push_choicepoint(lv_worker* w) { push_choice(w, 0); }

TEST_F(Kernel, TrailAssignKeepsOldValuesForBacktracking) {
  lv_term m = read("'$mutable'(a, 0)");
  // Newer than every choicepoint: changed in place, nothing trailed.
  lv_term* tr = w->TR;
  fd_trail_assign(&env, read("b"), m);
  EXPECT_EQ(w->TR, tr);
  EXPECT_EQ(text(m), "$mutable(b,0)");
  // Older: value-trailed once; a second change after it needs no entry.
  push_choicepoint(w);
  fd_trail_assign(&env, read("c"), m);
  EXPECT_EQ(w->TR, tr + 3);
  fd_trail_assign(&env, read("d"), m);
  EXPECT_EQ(w->TR, tr + 3);
  EXPECT_EQ(text(fd_struct_cells(m)[1]), "d");
  backtrack_and_pop(w);
  EXPECT_EQ(text(m), "$mutable(b,0)");
}

TEST_F(Kernel, SolverFlagsAreValueTrailed) {
  EXPECT_EQ(fd_solver_flags(&env), 0);
  push_choicepoint(w);
  fd_set_solver_flags(&env, FD_FLAG_HIDING);
  EXPECT_EQ(fd_solver_flags(&env), FD_FLAG_HIDING);
  backtrack_and_pop(w);
  EXPECT_EQ(fd_solver_flags(&env), 0);
}

TEST_F(Kernel, StateTermsAreCopiedOnlyWhenOlderThanTheNewestChoicepoint) {
  lv_term old_state = read("s(a, H, 4)");
  push_choicepoint(w);
  lv_term handle;
  int64_t stamp;
  int fresh;
  lv_term updated = fd_mutable_begin_update(&env, old_state, &handle, &stamp, &fresh, 0);
  EXPECT_EQ(stamp, 4);
  EXPECT_EQ(fresh, 1);  // an unbound handle
  EXPECT_NE(updated, old_state);
  EXPECT_EQ(text(updated), "s(a,H,5)");
  EXPECT_EQ(text(old_state), "s(a,H,4)");
  EXPECT_EQ(lv_deref(lv_struct_cells(updated)[2]), lv_deref(lv_struct_cells(old_state)[2]));  // one variable
  // The copy is newer than the choicepoint: updated in place from now on.
  lv_term again = fd_mutable_begin_update(&env, updated, &handle, &stamp, &fresh, 0);
  EXPECT_EQ(again, updated);
  EXPECT_EQ(text(again), "s(a,H,6)");

  // A propagator's $mutable(State, Stamp): an old state is copied and
  // stored back (value-trailed); backtracking gives the old one back.
  lv_term propagator = read("'$global'('$mutable'(t(x, 1), 0), g, 0, S, [], true)");
  push_choicepoint(w);
  int copied;
  lv_term next = fd_mutable_copy(&env, &propagator, &copied, 0);
  EXPECT_EQ(copied, 1);
  EXPECT_EQ(text(next), "t(x,2)");
  EXPECT_EQ(text(fd_mutable_value(fd_struct_cells(propagator)[1])), "t(x,2)");
  next = fd_mutable_copy(&env, &propagator, &copied, 0);
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(text(next), "t(x,3)");
  backtrack_and_pop(w);
  EXPECT_EQ(text(fd_mutable_value(fd_struct_cells(propagator)[1])), "t(x,1)");

  lv_term_ref p = ref("'$global'(m, g, 15, S, [], true)");
  fd_propagator_clear_marks(&env, p);
  EXPECT_EQ(text_of(p), "$global(m,g,6,S,[],true)");
}

int destroyed;
const lv_foreign_env* block_env;
// A destroy callback: counts and frees the block.
void destroy_block(void* block) {
  destroyed++;
  fd_rt::checkdealloc(block_env, block, 1, 0);
}

TEST_F(Kernel, EntailedPropagatorsFreeTheirBlocksNowOrAfterBacktracking) {
  destroyed = 0;
  block_env = &env;
  // Made after the newest choicepoint: destroyed at once, Status 0.
  lv_term s1 = read("s(a, H, 0)");
  auto* b1 = static_cast<fd_propagator_block*>(fd_new_handle_block(&env, 64, lv_struct_cells(s1)[2], 0));
  b1->destroy = destroy_block;
  EXPECT_EQ(text(s1).substr(0, 12), "s(a,[_|$free");
  EXPECT_EQ(fd_handle_pointer(lv_struct_cells(s1)[2]), b1);
  EXPECT_EQ(text(lv_struct_cells(lv_deref(w->termrefs[FD_SLOT_HANDLE_LIST].term))[1]).substr(0, 4), "[[_|");
  fd_propagator_entailed_term(&env, s1);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(text(lv_list_cells(lv_deref(lv_struct_cells(s1)[2]))[0]), "0");
}

TEST_F(Kernel, EntailmentUnderAChoicepointDefersTheFree) {
  destroyed = 0;
  lv_term s = read("s(a, H, 0)");
  auto* b = static_cast<fd_propagator_block*>(fd_new_handle_block(&env, 64, lv_struct_cells(s)[2], 0));
  block_env = &env;
  b->destroy = destroy_block;
  push_choicepoint(w);
  push_choicepoint(w);
  lv_term* newest = w->B;
  lv_term* older = w->B + fd_choice_size(w->B) / 8;
  fd_propagator_entailed_term(&env, s);
  EXPECT_EQ(destroyed, 0);
  lv_term handle = lv_deref(lv_struct_cells(s)[2]);
  EXPECT_EQ(text(lv_list_cells(handle)[0]), "1");
  EXPECT_TRUE(newest[LV_CP_ALT] & 1);
  EXPECT_TRUE(older[LV_CP_ALT] & 1);
  // $fd_trailed_Dfree finds no live handle now.
  lv_term_ref out = ref("X");
  fd_trailed_Dfree(&env, out);
  EXPECT_EQ(text_of(out), "X");
  // Backtracking brings the propagator back to life.
  newest[LV_CP_ALT] &= ~lv_term{1};
  backtrack_and_pop(w);
  EXPECT_TRUE(lv_is_ref(lv_deref(lv_list_cells(handle)[0])));
  out = ref("X2");
  fd_trailed_Dfree(&env, out);
  EXPECT_EQ(fd_term_pointer(lv_struct_cells(lv_deref(w->termrefs[out].term))[1]), b);
  older[LV_CP_ALT] &= ~lv_term{1};
  EXPECT_EQ(fd_release_block(&env, b), 1);
  EXPECT_EQ(destroyed, 1);
}

// A handle on the cleanup chain is handed back to the solver when a
// failure passes it, or a cut passes it dead; a cut keeps a live one on the
// chain; nothing the solver does not know is freed.
TEST_F(Kernel, TheCleanupChainReleasesBlocksOfPropagatorsGoneOrDead) {
  destroyed = 0;
  block_env = &env;
  auto make_block = [&](lv_term state) {
    auto* b = static_cast<fd_propagator_block*>(fd_new_handle_block(&env, 64, lv_struct_cells(state)[2], 0));
    b->destroy = destroy_block;
    return b;
  };
  // Made after a choicepoint, then backtracked over: released.
  push_choicepoint(w);
  lv_term_ref s1 = ref(read("s(a, H1, 0)"));
  make_block(lv_deref(w->termrefs[s1].term));
  lv_run_trail_cleanups(w, LV_ATOM_FAIL);
  EXPECT_EQ(destroyed, 1);
  backtrack_and_pop(w);

  // Under a choicepoint B1: a live one (L) and one that died while a newer
  // choicepoint could revive it (D). A cut back to B1 releases D and keeps
  // L on the chain; the failure that then passes L releases it.
  destroyed = 0;
  push_choicepoint(w);
  lv_term* b1 = w->B;
  lv_term_ref live = ref(read("s(l, HL, 0)")), dead = ref(read("s(d, HD, 0)"));
  make_block(lv_deref(w->termrefs[live].term));
  make_block(lv_deref(w->termrefs[dead].term));
  push_choicepoint(w);
  fd_propagator_entailed_term(&env, lv_deref(w->termrefs[dead].term));
  EXPECT_EQ(destroyed, 0);
  EXPECT_TRUE(w->B[LV_CP_ALT] & 1);
  lv_pop_call_choicepoint(w);  // the cut
  ASSERT_EQ(w->B, b1);
  EXPECT_EQ(lv_run_trail_cleanups(w, LV_ATOM_CUT), nullptr);
  EXPECT_EQ(destroyed, 1);
  lv_term live_handle = lv_deref(lv_struct_cells(lv_deref(w->termrefs[live].term))[2]);
  bool on_chain = false;
  for (lv_term l = lv_deref(lv_struct_cells(lv_deref(w->termrefs[FD_SLOT_HANDLE_LIST].term))[1]); lv_is_list(l);
       l = lv_deref(lv_list_cells(l)[1]))
    on_chain = on_chain || lv_deref(lv_list_cells(l)[0]) == live_handle;
  EXPECT_TRUE(on_chain);
  EXPECT_TRUE(lv_is_ref(lv_deref(lv_list_cells(live_handle)[0])));
  EXPECT_EQ(text(lv_list_cells(lv_deref(lv_struct_cells(lv_deref(w->termrefs[dead].term))[2]))[0]), "0");
  lv_run_trail_cleanups(w, LV_ATOM_FAIL);
  EXPECT_EQ(destroyed, 2);
  backtrack_and_pop(w);

  // A made-up handle on the chain is released by nobody.
  push_choicepoint(w);
  lv_term chain_mutable = lv_deref(w->termrefs[FD_SLOT_HANDLE_LIST].term);
  lv_term entry = read("[S | '$free'(12345)]");
  lv_term cell = read("[x | y]");
  lv_list_cells(cell)[0] = entry;
  lv_list_cells(cell)[1] = lv_deref(lv_struct_cells(chain_mutable)[1]);
  fd_trail_assign(&env, cell, chain_mutable);
  lv_run_trail_cleanups(w, LV_ATOM_FAIL);
  EXPECT_EQ(destroyed, 2);
  backtrack_and_pop(w);
}

TEST_F(Kernel, ScratchRecords) {
  // Capacity 0: a fresh block each time, freed on release.
  fd_scratch none{0, nullptr};
  void* p = fd_scratch_reserve(&env, 100, &none);
  std::memset(p, 1, 100);
  fd_scratch_release(&env, p, &none);
  // A persistent buffer grows and is left alone by release.
  fd_scratch kept{5, fd_malloc(&env, 5)};
  void* q = fd_scratch_reserve(&env, 3, &kept);
  EXPECT_EQ(q, kept.buffer);
  fd_scratch_release(&env, q, &kept);
  q = fd_scratch_reserve(&env, 200, &kept);
  EXPECT_EQ(kept.capacity, 200);
  std::memset(q, 2, 200);  // still ours
  fd_free(&env, kept.buffer);
  // Temporary memory from the number stack, in whole words.
  void* t1 = fd_temp_alloc(&env, 1);
  void* t2 = fd_temp_alloc(&env, 9);
  EXPECT_EQ(static_cast<char*>(t2) - static_cast<char*>(t1), 8);
}

TEST_F(Kernel, AttributesFromTheTemplate) {
  lv_term x = read("X");
  lv_term a = fd_make_dvar_attribute(&env, x, lv_make_small(1), lv_make_small(5), lv_make_small(5), 0, 0);
  ASSERT_NE(a, 0u);
  const lv_term* v = lv_struct_cells(a);
  EXPECT_EQ(v[0], fd_functor(FD_ATOM_V, 7));
  EXPECT_EQ(lv_deref(v[2]), lv_deref(x));
  lv_term dom = fd_attribute_domain(a);
  EXPECT_EQ(text(dom), "dom([[1|5]],1,5,5)");
  // The set's interval cell is dom/4's Min and Max.
  EXPECT_EQ(fd_list_cells(lv_deref(fd_list_cells(lv_deref(lv_struct_cells(dom)[1]))[0])), lv_struct_cells(dom) + 2);
  EXPECT_EQ(text(fd_mutable_value(v[4])), "[]");
  EXPECT_EQ(text(fd_mutable_value(v[5])), "0");
  lv_term coref = fd_mutable_value(v[6]);
  lv_term first = lv_deref(lv_list_cells(coref)[0]);
  EXPECT_EQ(text(lv_struct_cells(first)[1]), "0");
  EXPECT_EQ(lv_deref(lv_struct_cells(first)[2]), a);
  EXPECT_TRUE(lv_is_ref(lv_deref(lv_list_cells(coref)[1])));
  EXPECT_EQ(text(v[7]), "0");
  // The variable carries it; asking again gives the same attribute.
  EXPECT_EQ(get_attributes(w, lv_deref(x), state->module), a);
  EXPECT_EQ(fd_make_dvar_attribute(&env, x, FD_INF, FD_SUP, FD_SUP, 0, 0), a);
  // An integer's attribute; anything else has none.
  EXPECT_EQ(text(fd_make_dvar_attribute(&env, read("7"), FD_INF, FD_SUP, FD_SUP, 0, 0)),
            "v(1,7,$mutable(7,0),0,0,0,0)");
  EXPECT_EQ(fd_make_dvar_attribute(&env, read("f(x)"), FD_INF, FD_SUP, FD_SUP, 0, 0), 0u);
  EXPECT_EQ(fd_make_dvar_attribute(&env, read("a"), FD_INF, FD_SUP, FD_SUP, 0, 0), 0u);
  // A variable whose domain is one value reads as that value.
  EXPECT_EQ(fd_deref_attribute(&env, x), lv_deref(x));
  fd_struct_cells(lv_deref(v[3]))[1] = lv_make_small(4);
  EXPECT_EQ(fd_deref_attribute(&env, x), lv_make_small(4));
  EXPECT_EQ(fd_deref_attribute(&env, read("Y")), lv_deref(read("Y")));
}

TEST_F(Kernel, MakingAnAttributeKeepsTheCallersRegisters) {
  w->X[0] = read("keep0");
  w->X[1] = read("keep1(x)");
  w->X[2] = read("keep2");
  lv_term x = read("X");
  ASSERT_NE(fd_make_dvar_attribute(&env, x, lv_make_small(1), lv_make_small(5), lv_make_small(5), 0, 3), 0u);
  EXPECT_EQ(text(w->X[0]), "keep0");
  EXPECT_EQ(text(w->X[1]), "keep1(x)");
  EXPECT_EQ(text(w->X[2]), "keep2");
  EXPECT_EQ(lv_deref(lv_struct_cells(get_attributes(w, lv_deref(x), state->module))[2]), lv_deref(x));
}

TEST_F(Kernel, ArgAttributeAndDvarList) {
  const struct {
    const char* list;
    int64_t finite;
    bool ok;
  } cases[] = {
      {"[1, X]", 1, false},  // X's new domain is unbounded
      {"[1, X]", 0, true},
      {"[1, 2, 3]", 1, true},
      {"[]", 1, true},
      {"[1 | T]", 0, false},  // not a proper list
      {"[1, f(x)]", 0, false},
  };
  for (const auto& c : cases) {
    begin_call();
    fd_dvar_list(&env, ref(c.list), c.finite);
    EXPECT_EQ(!call_failed(), c.ok) << c.list << " " << c.finite;
  }
  // A cyclic list.
  lv_term l = read("[A, B | T]");
  lv_bind_term(w, lv_deref(lv_list_cells(lv_deref(lv_list_cells(l)[1]))[1]), l);
  begin_call();
  fd_dvar_list(&env, ref(l), 0);
  EXPECT_TRUE(call_failed());

  lv_term_ref attr = ref("A");
  begin_call();
  fd_arg_attribute(&env, ref("X1"), 1, attr);
  EXPECT_TRUE(call_failed());
  begin_call();
  fd_arg_attribute(&env, ref("X2"), 0, attr);
  EXPECT_FALSE(call_failed());
  EXPECT_EQ(text(fd_attribute_domain(lv_deref(w->termrefs[attr].term))), "dom([[inf|sup]],inf,sup,sup)");
  begin_call();
  fd_arg_attribute(&env, ref("3"), 1, ref("B"));
  EXPECT_FALSE(call_failed());
}

TEST_F(Kernel, Coref) {
  const struct {
    const char* list;
    bool ok;
    const char* after;
  } cases[] = {
      {"[f(A, 1), f(B, 2), f([], 3), f(C, 4)]", true, "[f([],1),f([],2),f([],3),f(C,4)]"},
      {"[f(x, 1), g([])]", true, "[f(x,1),g([])]"},
      {"[f(P), f(Q)]", false, "[f([]),f([])]"},  // the end of the list is reached
      {"[a, 1, f(x)]", false, "[a,1,f(x)]"},
  };
  for (const auto& c : cases) {
    begin_call();
    lv_term_ref l = ref(c.list);
    fd_coref(&env, l);
    EXPECT_EQ(!call_failed(), c.ok) << c.list;
    EXPECT_EQ(text_of(l), c.after) << c.list;
  }
  // A cyclic list whose elements never end the walk.
  lv_term l = read("[a, b | T]");
  lv_bind_term(w, lv_deref(lv_list_cells(lv_deref(lv_list_cells(l)[1]))[1]), l);
  begin_call();
  fd_coref(&env, ref(l));
  EXPECT_TRUE(call_failed());
}

TEST_F(Kernel, PurgeKillsSuspensionsAndDropsTheVariable) {
  lv_term x = read("X"), y = read("Y");
  lv_term ax = fd_make_dvar_attribute(&env, x, lv_make_small(1), lv_make_small(9), lv_make_small(9), 0, 0);
  lv_term ay = fd_make_dvar_attribute(&env, y, lv_make_small(1), lv_make_small(9), lv_make_small(9), 0, 0);
  ax = get_attributes(w, lv_deref(read("X")), state->module);
  ay = get_attributes(w, lv_deref(read("Y")), state->module);
  // X and Y coreferenced: one list [0-AX, 3-AY | _] in both.
  lv_term list = read("['-'(0, AX), '-'(3, AY) | _]");
  lv_bind_term(w, lv_deref(read("AX")), ax);
  lv_bind_term(w, lv_deref(read("AY")), ay);
  fd_struct_cells(lv_deref(lv_struct_cells(ax)[FD_ATTR_COREFERENCES]))[1] = list;
  fd_struct_cells(lv_deref(lv_struct_cells(ay)[FD_ATTR_COREFERENCES]))[1] = list;
  // Suspensions of kinds 2 (a disequation with its counter after it), 3, 4,
  // 6 (a propagator without a C function) and one already dead.
  lv_term diseq = read("disequation(a, b, c, d)");
  lv_term counter = read("'$mutable'(2, 0)");
  ASSERT_EQ(lv_struct_cells(counter), lv_struct_cells(diseq) + 5);
  const char* items[] = {
      "propagator(1, 2, S2, D)",
      "propagator(1, 3, S3, watcher(a, b, c, d, e))",
      "propagator(1, 4, S4, i)",
      "propagator(1, 6, S6, '$global'('$mutable'(st(h, 0), 0), goal(x), 0, P, [], true))",
      "propagator(1, 3, dead, w)",
  };
  lv_term suspension[5];
  for (int i = 0; i < 5; i++) suspension[i] = read(items[i]);
  lv_bind_term(w, lv_deref(read("D")), diseq);
  // The run of six consecutive list cells, the last one unused.
  lv_term* cells = w->H;
  for (int i = 0; i < 6; i++) {
    cells[2 * i] = i < 5 ? suspension[i] : LV_ATOM_NIL;
    cells[2 * i + 1] = i < 5 ? lv_make_list(cells + 2 * i + 2) : LV_ATOM_NIL;
  }
  w->H += 12;
  fd_struct_cells(lv_deref(lv_struct_cells(ax)[FD_ATTR_SUSPENSIONS]))[1] =
      terms::fn(w, FD_ATOM_ARRAY1D, {lv_make_small(6), lv_make_list(cells)});
  fd_struct_cells(lv_deref(lv_struct_cells(ax)[FD_ATTR_COUNT]))[1] = lv_make_small(5);

  begin_call();
  fd_purge(&env, ref(x));
  EXPECT_FALSE(call_failed());
  EXPECT_EQ(text(read("S2")), "S2");  // a disequation's status stays; its counter drops to 0
  EXPECT_EQ(text(counter), "$mutable(0,0)");
  EXPECT_EQ(text(read("S3")), "1");
  EXPECT_EQ(text(read("S4")), "1");
  EXPECT_EQ(text(read("S6")), "1");
  // Y's list no longer holds X; X has no solver attribute any more.
  lv_term shortened = fd_mutable_value(lv_struct_cells(ay)[FD_ATTR_COREFERENCES]);
  EXPECT_EQ(fd_list_length(shortened), 1);
  EXPECT_EQ(lv_deref(lv_struct_cells(lv_deref(lv_list_cells(shortened)[0]))[2]), ay);
  EXPECT_EQ(get_attributes(w, lv_deref(x), state->module), 0u);
}

// Stores incumbent(Cost, Values) as a database record; its reference.
lv_term store_incumbent(lv_worker* w, terms::reader* r, const char* record) {
  w->X[0] = terms::cons(w, r->read(record), LV_ATOM_NIL);
  lv_stored_block* block = lv_store_term(w, 0);
  lv_term* h = w->H;
  lv_term ref = lv_register_dbref(block, &h, true);
  w->H = h;
  return ref;
}

std::string stored_text(lv_worker* w, terms::reader* r, lv_term ref) {
  lv_term back = lv_block_to_heap(w, lv_decode_dbref(ref), 0, 0);
  return r->write(lv_list_cells(back)[0]);
}

TEST_F(Kernel, IncumbentRecord) {
  lv_term dbref = store_incumbent(w, r, "incumbent(100, [0, 0, 0])");
  lv_term_ref bound = ref("B");
  fd_incumbent_bound(&env, ref(dbref), bound);
  EXPECT_EQ(text_of(bound), "100");

  begin_call();
  fd_update_incumbent(&env, ref(dbref), ref("42"), ref("[7, a, -3]"));
  EXPECT_FALSE(call_failed());
  EXPECT_EQ(stored_text(w, r, dbref), "incumbent(42,[7,a,-3])");
  fd_incumbent_bound(&env, ref(dbref), bound = ref("B2"));
  EXPECT_EQ(text_of(bound), "42");
  // Fewer values than places: the rest stay.
  fd_update_incumbent(&env, ref(dbref), ref("41"), ref("[1]"));
  EXPECT_EQ(stored_text(w, r, dbref), "incumbent(41,[1,a,-3])");

  // Refused, with the record unchanged: more values than places, a list
  // that is not proper, a record of another shape, a stale reference.
  const struct {
    lv_term ref;
    const char* cost;
    const char* values;
  } refused[] = {
      {dbref, "40", "[1, 2, 3, 4]"},
      {dbref, "40", "[1 | _]"},
      {store_incumbent(w, r, "incumbent(1, foo)"), "40", "[1]"},
      {read("'$ref'(99999, 1)"), "40", "[1]"},
  };
  for (const auto& c : refused) {
    begin_call();
    fd_update_incumbent(&env, ref(c.ref), ref(c.cost), ref(c.values));
    EXPECT_TRUE(call_failed()) << c.values;
  }
  EXPECT_EQ(stored_text(w, r, dbref), "incumbent(41,[1,a,-3])");

  // Values that take more than one word (a float or big-integer box, a
  // compound, a variable) are refused with a type error before anything is
  // written.
  const struct {
    const char* cost;
    const char* values;
    const char* culprit;
  } boxed[] = {
      {"2.5", "[1]", "2.5"},
      {"40", "[1, f(x)]", "f(x)"},
      {"40", "[V]", "V"},
      {"40", "[1152921504606846976]", "1152921504606846976"},
  };
  for (const auto& c : boxed) {
    begin_call();
    fd_update_incumbent(&env, ref(dbref), ref(c.cost), ref(c.values));
    EXPECT_TRUE(call_failed()) << c.values;
    std::string error = text(w->X[0]);
    EXPECT_EQ(error.substr(0, 25 + std::strlen(c.culprit)),
              std::string("error(type_error(integer,") + c.culprit)
        << error;
  }
  EXPECT_EQ(stored_text(w, r, dbref), "incumbent(41,[1,a,-3])");
}

TEST_F(Kernel, CopiesOntoTheHeapRecordSaturatedBounds) {
  const struct {
    const char* set;
    int32_t overflow;
  } cases[] = {{"[[1|5]]", 0}, {"[[sup|sup]]", FD_OVERFLOW_SUP}, {"[[inf|inf],[3|4]]", FD_OVERFLOW_INF},
               {"[[inf|sup]]", 0}, {"[]", 0}};
  for (const auto& c : cases) {
    state->pending_overflow = 0;
    lv_term copy = fdset_copy_checked(&env, fdset_copy_off_heap(&env, read(c.set)), 0, 0);
    EXPECT_EQ(text(copy), c.set);
    EXPECT_EQ(state->pending_overflow, c.overflow) << c.set;
  }
}

TEST_F(Kernel, SetResultsSurviveHeapGrowth) {
  // A union whose result needs more heap than is free: one operand on the
  // heap (its cells are shared by the result and must be moved out before
  // the heap grows), the other outside it.
  int64_t n = (w->heap_hard_limit - w->H) / 12 + 1000;
  lv_term* a = w->H;
  w->H += 4 * n;
  std::vector<lv_term> b(4 * n);
  for (int64_t i = 0; i < n; i++) {
    for (auto [cells, value] : {std::pair{a, 4 * i}, std::pair{b.data(), 4 * i + 2}}) {
      lv_term* p = cells + 4 * i;
      p[0] = lv_make_list(p + 2);
      p[1] = i + 1 < n ? lv_make_list(p + 4) : LV_ATOM_NIL;
      p[2] = p[3] = lv_make_small(value);
    }
  }
  lv_term_ref ra = ref(lv_make_list(a)), rb = ref(lv_make_list(b.data())), out = ref("U");
  lv_term* limit = w->heap_hard_limit;
  lv_term* start = w->area_start;
  begin_call();
  fd_dom_union(&env, ra, rb, out);
  EXPECT_FALSE(call_failed());
  EXPECT_TRUE(w->heap_hard_limit - w->area_start > limit - start) << "the heap grew";
  lv_term u = lv_deref(w->termrefs[out].term);
  int64_t count = 0;
  for (; lv_is_list(u); u = lv_deref(lv_list_cells(u)[1]), count++) {
    lv_term iv = lv_deref(lv_list_cells(u)[0]);
    ASSERT_EQ(lv_deref(lv_list_cells(iv)[0]), lv_make_small(2 * count)) << count;
    ASSERT_TRUE(lv_list_cells(iv) >= w->area_start && lv_list_cells(iv) < w->H) << "a heap copy";
  }
  EXPECT_EQ(count, 2 * n);
}

// domsolve:overflow_action(Goal, Code): records its arguments, then fails,
// succeeds or raises as the test asks.
std::string handled;
int handler_outcome;
int overflow_action(lv_worker* w) {
  terms::reader r(w);
  handled = r.write(w->X[0]) + " " + r.write(w->X[1]);
  if (handler_outcome < 0) {
    w->X[0] = r.read("overflowed");
    return query_programs::throw_term(w);
  }
  return handler_outcome;
}

TEST_F(Kernel, OverflowReport) {
  // Nothing pending: 1.
  begin_call();
  EXPECT_EQ(fd_report_overflow(&env, read("g")), 1);
  EXPECT_FALSE(call_failed());
  // Setting fail: a quiet failure.
  state->overflow = 0;
  state->pending_overflow = FD_OVERFLOW_SUP;
  EXPECT_EQ(fd_report_overflow(&env, read("g")), 0);
  EXPECT_TRUE(call_failed());
  EXPECT_EQ(state->pending_overflow, 0);
  // Setting error: overflow_action(Goal, Code) is called, then the caller
  // fails; what it raises is raised again.
  c_pred("overflow_action", 2, overflow_action, "domsolve");
  state->overflow = 1;
  for (int outcome : {1, 0}) {
    handler_outcome = outcome;
    begin_call();
    state->pending_overflow = FD_OVERFLOW_SUP;
    EXPECT_EQ(fd_report_overflow(&env, read("'x*y=z'")), 0);
    EXPECT_TRUE(call_failed());
    EXPECT_EQ(handled, "x*y=z 2");
  }
  EXPECT_NE(state->overflow_handler, nullptr);
  handler_outcome = -1;
  begin_call();
  state->pending_overflow = FD_OVERFLOW_INF;
  EXPECT_EQ(fd_report_overflow(&env, read("g(1)")), 0);
  EXPECT_EQ(handled, "g(1) 1");
  EXPECT_TRUE(call_failed());
  EXPECT_EQ(text(w->X[0]), "overflowed");  // raised again for the caller
}

TEST_F(Kernel, QueuesOpenCloseAndReset) {
  fd_queue_block* q = state->queues;
  // A queued propagator in queue 6 and the current-propagator cell.
  lv_term p = read("'$global'(m, g, 9, S, [], true)");
  lv_term c = read("'$global'(m, g, 13, S, [], true)");
  q->queues[6].tail->term = p;
  q->queues[6].tail++;
  q->mask = 1u << 6;
  q->current->term = c;
  fd_queue_open(&env);
  EXPECT_EQ(fd_solver_flags(&env), FD_FLAG_PROPAGATING);
  EXPECT_EQ(q->mask, 0u);
  EXPECT_EQ(q->queues[6].head, q->queues[6].tail);
  EXPECT_EQ(text(lv_struct_cells(p)[3]), "8");  // queued bit cleared
  EXPECT_EQ(text(lv_struct_cells(c)[3]), "4");  // queued and running bits cleared
  EXPECT_EQ(q->current->term, FD_NIL);
  fd_queue_close(&env);
  EXPECT_EQ(fd_solver_flags(&env), 0);
  // In batch mode opening and closing leave the flags alone.
  fd_set_solver_flags(&env, FD_FLAG_BATCH);
  fd_queue_open(&env);
  EXPECT_EQ(fd_solver_flags(&env), FD_FLAG_BATCH);
}

TEST_F(Kernel, QueuedTermsSurviveGarbageCollection) {
  fd_queue_block* q = state->queues;
  fd_queue_open(&env);
  // Garbage, then a term that only the queue holds.
  for (int i = 0; i < 1000; i++) read("junk(1, 2, 3)");
  q->queues[6].tail->term = read("'$global'(m, keep(me, [1, 2]), 9, S, [], true)");
  q->queues[6].tail++;
  q->mask = 1u << 6;
  lv_term* before = w->H;
  lv_gc(w);
  EXPECT_LT(w->H, before);
  EXPECT_EQ(text(q->queues[6].head->term), "$global(m,keep(me,[1,2]),9,S,[],true)");
  // Growing the heap beyond its area moves it: the slot follows.
  lv_term* area = w->area_start;
  call_overflow(w, 2 * (w->area_end - w->area_start), 0);
  EXPECT_NE(w->area_start, area);
  // (A fresh reader: the fixture's one keeps addresses of the old area.)
  EXPECT_EQ(terms::reader(w).write(q->queues[6].head->term), "$global(m,keep(me,[1,2]),9,_,[],true)");
  // With propagation not under way, the reset event empties the queues.
  fd_queue_close(&env);
  lv_call_fd_hook(5, 0);
  EXPECT_EQ(q->mask, 0u);
  EXPECT_EQ(q->queues[6].head, q->queues[6].tail);
}

// Pinned words (sets' shared rests on their way to a variable) are words
// anywhere, whose neighbours the collector must leave alone: they follow a
// collection and a heap move, each of two pins of one list, and the words
// beside them keep their values.
TEST_F(Kernel, PinnedWordsFollowCollectionsAndMovesLeavingTheirNeighbours) {
  for (int i = 0; i < 1000; i++) read("junk(1, 2, 3)");
  w->X[0] = read("[[1|2], [4|5], [7|9]]");
  auto rest = [&] { return lv_list_cells(lv_deref(w->X[0]))[1]; };
  const lv_term neighbour = lv_make_small(77);
  lv_term words[4] = {rest(), neighbour, rest(), neighbour};
  for (int round = 0; round < 2; round++) {
    fd_pin(&env, &words[0]);
    fd_pin(&env, &words[2]);
    lv_term* before = w->H;
    lv_term* area = w->area_start;
    if (round == 0) {
      lv_gc(w);
      EXPECT_LT(w->H, before);
    } else {
      call_overflow(w, 2 * (w->area_end - w->area_start), 1);
      EXPECT_NE(w->area_start, area);
    }
    fd_unpin(&env, &words[2]);
    fd_unpin(&env, &words[0]);
    EXPECT_EQ(words[0], rest()) << round;
    EXPECT_EQ(words[2], rest()) << round;
    EXPECT_EQ(words[1], neighbour) << round;
    EXPECT_EQ(words[3], neighbour) << round;
    EXPECT_EQ(terms::reader(w).write(words[0]), "[[4|5],[7|9]]") << round;
  }
}

}  // namespace
