// Propagation over a real engine: tells and their events, exporting dvars
// directly or against a domain changed meanwhile, the propagator exit, the
// queues' order, single queueing and growth, queued terms across a
// collection and a heap move, and the driver running a C propagator.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/gc.h"
#include "core/stack_shift.h"
#include "domsolve/solver_fixture.h"
#include "kernel/attributes.h"
#include "kernel/clauses.h"
#include "kernel/dvar.h"
#include "kernel/foreign_predicates.h"
#include "kernel/propagation.h"
#include "kernel/state_terms.h"

namespace {

class Propagation : public SolverTest {
 protected:
  // A variable with domain lo..hi; its term and attribute kept in term
  // references, whose cells the dvars refer to.
  struct variable {
    lv_term_ref var, attr;
  };
  variable make_var(int64_t lo, int64_t hi) {
    variable v{ref("_"), LV_new_term_ref()};
    lv_term a = fd_make_dvar_attribute(&env, w->termrefs[v.var].term, lv_make_small(lo), lv_make_small(hi),
                                       lv_make_small(hi - lo + 1), 0, 0);
    w->termrefs[v.attr].term = a;
    return v;
  }
  lv_term attr(variable v) { return lv_deref(w->termrefs[v.attr].term); }
  lv_term var(variable v) { return lv_deref(w->termrefs[v.var].term); }
  lv_term attr_cell(variable v) { return fd_make_ref(&w->termrefs[v.attr].term); }
  lv_term var_cell(variable v) { return fd_make_ref(&w->termrefs[v.var].term); }
  std::string domain(variable v) { return text(fd_attribute_domain(attr(v))); }

};

TEST_F(Propagation, ValueEvents) {
  const struct {
    const char* old;
    int64_t value, event;
  } cases[] = {{"dom([[1|9]],1,9,9)", 5, 31},
               {"dom([[1|9]],1,9,9)", 1, 29},
               {"dom([[1|9]],1,9,9)", 9, 27},
               {"dom([[5|5]],5,5,1)", 5, 25}};
  for (const auto& c : cases) EXPECT_EQ(fd_value_event(read(c.old), lv_make_small(c.value)), c.event) << c.value;
}

TEST_F(Propagation, TellsNarrowAndBind) {
  variable x = make_var(1, 9);
  fd_queue_open(&env);
  fd_tell_interval(&env, attr(x), var(x), lv_make_small(2), lv_make_small(7), 15, 0);
  EXPECT_EQ(domain(x), "dom([[2|7]],2,7,6)");
  fd_tell_fdset(&env, attr(x), var(x), read("[[2|3],[6|7]]"), 0);
  EXPECT_EQ(domain(x), "dom([[2|3],[6|7]],2,7,4)");
  // One value left: the variable is bound.
  fd_tell_interval(&env, attr(x), var(x), lv_make_small(6), lv_make_small(6), 11, 0);
  EXPECT_EQ(var(x), lv_make_small(6));
  // A value past the small integers only records the overflow.
  variable y = make_var(1, 9);
  fd_tell_value(&env, attr(y), var(y), FD_SUP, 0);
  EXPECT_EQ(state->pending_overflow, FD_OVERFLOW_SUP);
  EXPECT_EQ(domain(y), "dom([[1|9]],1,9,9)");
  state->pending_overflow = 0;
}

TEST_F(Propagation, ExportDirectOrAgainstTheCurrentDomain) {
  fd_queue_open(&env);
  lv_term_ref actions = ref("[]");
  // Nobody else changed the variable: the pruned record is stored as it is.
  variable x = make_var(1, 9);
  dvar d;
  dvar_init(&env, &d, attr_cell(x), var_cell(x));
  ASSERT_EQ(dvar_prune_interval(&env, &d, lv_make_small(3), lv_make_small(7)), 1);
  dvar_pruning_set(&env, &d);
  dvar_export(&env, &d, actions, 0);
  EXPECT_EQ(domain(x), "dom([[1|2],[8|9]],1,9,4)");
  EXPECT_NE(d.flags & DVAR_EXPORTED, 0u);

  // Narrowed meanwhile to 1..5: the export intersects with that.
  variable y = make_var(1, 9);
  dvar_init(&env, &d, attr_cell(y), var_cell(y));
  ASSERT_EQ(dvar_prune_interval(&env, &d, lv_make_small(3), lv_make_small(7)), 1);
  fd_tell_interval(&env, attr(y), var(y), lv_make_small(1), lv_make_small(5), 13, 0);
  dvar_pruning_set(&env, &d);
  dvar_export(&env, &d, actions, 0);
  EXPECT_EQ(domain(y), "dom([[1|2]],1,2,2)");

  // Narrowed meanwhile to 3..5, which the record has removed: failure.
  variable z = make_var(1, 9);
  dvar_init(&env, &d, attr_cell(z), var_cell(z));
  ASSERT_EQ(dvar_prune_interval(&env, &d, lv_make_small(3), lv_make_small(7)), 1);
  fd_tell_interval(&env, attr(z), var(z), lv_make_small(3), lv_make_small(5), 15, 0);
  dvar_pruning_set(&env, &d);
  dvar_export(&env, &d, actions, 0);
  EXPECT_EQ(text_of(actions), "[fail]");
  EXPECT_EQ(domain(z), "dom([[3|5]],3,5,3)");

  // A fixed record binds; a bounds record's value export takes 64-bit
  // values (one past the small integers is refused as an overflow).
  variable u = make_var(1, 9);
  dvar_init(&env, &d, attr_cell(u), var_cell(u));
  ASSERT_EQ(dvar_fix_interval(&env, &d, lv_make_small(4), lv_make_small(4)), 15);
  dvar_pruning_set(&env, &d);
  dvar_export(&env, &d, actions, 0);
  EXPECT_EQ(var(u), lv_make_small(4));
  variable v = make_var(1, 9);
  dvar_bounds b;
  dvar_init_bounds(&b, attr_cell(v), var_cell(v));
  EXPECT_EQ(dvar_fix_value_and_export(&env, &b, int64_t{1} << 61, actions, 0), 0);
  EXPECT_EQ(state->pending_overflow, FD_OVERFLOW_SUP);
  state->pending_overflow = 0;
  EXPECT_EQ(dvar_fix_value_and_export(&env, &b, 7, actions, 0), 1);
  EXPECT_EQ(var(v), lv_make_small(7));
}

// A domain of n values 0, 2, 4, ... (n intervals).
TEST_F(Propagation, SetTellsCostWhatChangedNotTheDomainsLength) {
  fd_queue_open(&env);
  lv_term_ref actions = ref("[]");
  // Heap words used by one prune of a whole domain: a value near the front
  // removed, and the lower bound raised past it.
  auto cost = [&](int64_t n, bool raise_min) {
    variable x = make_var(0, 2 * n);
    std::string set = "[";
    for (int64_t i = 0; i < n; i++) set += (i ? ",[" : "[") + std::to_string(2 * i) + "|" + std::to_string(2 * i) + "]";
    fd_tell_fdset(&env, attr(x), var(x), read(set + "]"), 0);
    dvar d;
    dvar_init(&env, &d, attr_cell(x), var_cell(x));
    if (raise_min)
      EXPECT_GT(dvar_fix_interval(&env, &d, lv_make_small(3), FD_SUP), 0);
    else
      EXPECT_GT(dvar_prune_interval(&env, &d, lv_make_small(2), lv_make_small(2)), 0);
    lv_term* before = w->H;
    dvar_pruning_set(&env, &d);
    dvar_export(&env, &d, actions, 0);
    int64_t words = w->H - before;
    // The domain is right, size and bounds included.
    lv_term dom = fd_attribute_domain(attr(x));
    EXPECT_EQ(text(lv_struct_cells(dom)[2]), raise_min ? "4" : "0");
    EXPECT_EQ(text(lv_struct_cells(dom)[3]), std::to_string(2 * n - 2));
    int64_t left = raise_min ? n - 2 : n - 1;
    EXPECT_EQ(text(lv_struct_cells(dom)[4]), std::to_string(left));
    EXPECT_EQ(fdset_size(lv_deref(lv_struct_cells(dom)[1])), left);
    return words;
  };
  for (bool raise_min : {false, true}) {
    int64_t small = cost(10, raise_min), large = cost(2000, raise_min);
    EXPECT_EQ(small, large) << raise_min;
    EXPECT_LT(large, 20) << raise_min;
  }
}

// Bounds narrowed in a domain with holes, exported at once: the lower bound
// alone raised (into a hole, into the last interval, onto the maximum),
// the upper bound alone, and both.
TEST_F(Propagation, BoundsNarrowedInADomainWithHoles) {
  fd_queue_open(&env);
  const struct {
    int64_t min, max;
    const char* domain;
  } cases[] = {{1, 9, "dom([[2|2],[4|9]],2,9,7)"}, {2, 9, "dom([[2|2],[4|9]],2,9,7)"},
               {5, 9, "dom([[5|9]],5,9,5)"},       {9, 9, "9"},
               {0, 3, "dom([[0|0],[2|2]],0,2,2)"}, {1, 5, "dom([[2|2],[4|5]],2,5,3)"}};
  for (bool bounds_only : {false, true}) {
    for (const auto& c : cases) {
      variable x = make_var(0, 9);
      fd_tell_fdset(&env, attr(x), var(x), read("[[0|0],[2|2],[4|9]]"), 0);
      dvar d;
      dvar_init(&env, &d, attr_cell(x), var_cell(x));
      lv_term lo = lv_make_small(c.min), hi = lv_make_small(c.max);
      if (bounds_only) {
        ASSERT_EQ(dvar_bounds_fix_interval(&env, &d, lo, hi, 0), 1) << c.min << ".." << c.max;
      } else {
        ASSERT_GT(dvar_fix_interval(&env, &d, lo, hi), 0) << c.min << ".." << c.max;
        dvar_pruning_set(&env, &d);
        lv_term_ref actions = ref("[]");
        dvar_export(&env, &d, actions, 0);
        EXPECT_EQ(text_of(actions), "[]");
      }
      EXPECT_EQ(domain(x), c.domain) << c.min << ".." << c.max << " " << bounds_only;
    }
  }
}

TEST_F(Propagation, DebuggingDefersChangesToTheActions) {
  state->debug = 1;
  lv_term_ref actions = ref("[]");
  variable x = make_var(1, 9), y = make_var(1, 9);
  dvar d;
  dvar_init(&env, &d, attr_cell(x), var_cell(x));
  ASSERT_EQ(dvar_fix_interval(&env, &d, lv_make_small(4), lv_make_small(4)), 15);
  dvar_pruning_set(&env, &d);
  dvar_export(&env, &d, actions, 0);
  dvar_init(&env, &d, attr_cell(y), var_cell(y));
  ASSERT_EQ(dvar_prune_interval(&env, &d, lv_make_small(3), lv_make_small(7)), 1);
  dvar_pruning_set(&env, &d);
  dvar_export(&env, &d, actions, 0);
  // Nothing told; both changes wait on the actions list.
  EXPECT_EQ(domain(x), "dom([[1|9]],1,9,9)");
  EXPECT_EQ(domain(y), "dom([[1|9]],1,9,9)");
  EXPECT_EQ(text_of(actions), "[in_set(_,[[1|2],[8|9]]),=(_,4)]");
  state->debug = 0;
}

TEST_F(Propagation, PropagatorExit) {
  const struct {
    int status;
    const char* actions;
  } cases[] = {{2, "[]"}, {3, "[exit]"}, {4, "[fail]"}};
  for (const auto& c : cases) {
    lv_term_ref actions = ref("[]");
    EXPECT_EQ(fd_propagator_exit(&env, 0, actions, ref("g(a, b)"), c.status, 0), 1);
    EXPECT_EQ(text_of(actions), c.actions) << c.status;
  }
}

// A daemon that records its calls and asks for its propagator to run.
int daemon_calls = 0;
int64_t test_daemon(lv_foreign_env*, void*, lv_term*, lv_term*) {
  daemon_calls++;
  return 1;
}

TEST_F(Propagation, QueueOrderAndSingleQueueing) {
  fd_queue_open(&env);
  variable x = make_var(1, 9);
  // P is woken by a daemon on x; Q is suspended on x's domain directly.
  lv_term_ref p = ref("'$global'('$mutable'(s, 0), p, 0, S, [], true)");
  lv_term_ref q = ref("'$global'('$mutable'(s, 0), q, 0, T, [], true)");
  void* block[2] = {nullptr, reinterpret_cast<void*>(&test_daemon)};
  dvar d;
  dvar_init(&env, &d, attr_cell(x), var_cell(x));
  dvar_attach_daemon(&env, &d, block, p, read("dom(_)"), 0);
  fd_add_suspension(&env, attr(x), read("dom(_)"), w->termrefs[q].term, FD_NIL, 0);
  EXPECT_EQ(text(fd_mutable_value(lv_struct_cells(attr(x))[FD_ATTR_COUNT])), "2");

  // Two tells: Q is queued once; the daemon item twice (daemons run in C).
  daemon_calls = 0;
  fd_tell_interval(&env, attr(x), var(x), lv_make_small(2), lv_make_small(9), 3, 0);
  fd_tell_interval(&env, attr(x), var(x), lv_make_small(3), lv_make_small(9), 3, 0);
  EXPECT_EQ(queue_text(8), "$global($mutable(s,0),q,1,T,[],true) ");
  EXPECT_EQ(state->queues->mask, (1u << 5) | (1u << 8));

  // The daemons run first (queue 5); P is queued once, behind Q.
  lv_term out = 0;
  ASSERT_EQ(fd_propagate(&env, &out, 0), 2);
  EXPECT_EQ(daemon_calls, 2);
  EXPECT_EQ(text(out), "$global($mutable(s,0),q,1,T,[],true)");
  ASSERT_EQ(fd_propagate(&env, &out, 0), 2);
  EXPECT_EQ(text(out), "$global($mutable(s,0),p,1,S,[],true)");
  EXPECT_EQ(fd_propagate(&env, &out, 0), 0);

  // A running propagator that may not be queued again is not re-added by
  // its own daemon; one that may, is.
  lv_term suspension = lv_deref(lv_list_cells(lv_deref(lv_struct_cells(
      fd_mutable_value(lv_struct_cells(attr(x))[FD_ATTR_SUSPENSIONS]))[2]))[0]);
  fd_set_item_flags(lv_deref(w->termrefs[p].term), FD_PROP_RUNNING);
  fd_enqueue(&env, suspension, 1, FD_NIL);
  EXPECT_EQ(queue_text(5), "");
  fd_set_item_flags(lv_deref(w->termrefs[p].term), FD_PROP_RUNNING | FD_PROP_REQUEUE);
  fd_enqueue(&env, suspension, 1, FD_NIL);
  EXPECT_NE(queue_text(5), "");
}

// A daemon that makes many term references (the array moves) and has the
// heap collected before it reads and updates its propagator.
int64_t moving_daemon(lv_foreign_env* env, void*, lv_term*, lv_term* propagator) {
  fd_rt::reset_term_refs(env, LV_new_term_refs(100000));
  lv_gc(get_current_worker());
  lv_term p = fd_deref(*propagator);
  *propagator = p;
  daemon_calls += fd_functor_of(p) == fd_functor(FD_ATOM_GLOBAL, 6);
  return 1;
}

TEST_F(Propagation, DaemonsUpdateTheirPropagatorInASlotThatStaysValid) {
  fd_queue_open(&env);
  variable x = make_var(1, 9);
  lv_term_ref p = ref("'$global'('$mutable'(s, 0), p(1, 2, 3), 0, S, [], true)");
  void* block[2] = {nullptr, reinterpret_cast<void*>(&moving_daemon)};
  dvar d;
  dvar_init(&env, &d, attr_cell(x), var_cell(x));
  dvar_attach_daemon(&env, &d, block, p, read("dom(_)"), 0);
  daemon_calls = 0;
  fd_tell_interval(&env, attr(x), var(x), lv_make_small(2), lv_make_small(9), 3, 0);
  lv_term out = 0;
  ASSERT_EQ(fd_propagate(&env, &out, 0), 2);
  EXPECT_EQ(daemon_calls, 1);
  EXPECT_EQ(fd_functor_of(out), fd_functor(FD_ATOM_GLOBAL, 6));
  EXPECT_EQ(text(lv_struct_cells(out)[2]), "p(1,2,3)");
}

TEST_F(Propagation, AFullQueueGrowsKeepingTheOrder) {
  fd_queue_open(&env);
  fd_queue& q = state->queues->queues[7];
  ASSERT_EQ(q.end - q.start, 4);
  for (int i = 0; i < 3; i++) fd_queue_push_back(&env, 7, lv_make_small(i));
  fd_queue_take(&env, 7);
  fd_queue_take(&env, 7);
  // The items now wrap round the buffer's end; the third push fills it.
  for (int i = 3; i < 6; i++) fd_queue_push_back(&env, 7, lv_make_small(i));
  EXPECT_EQ(q.end - q.start, 8);
  fd_queue_push_front(&env, 7, lv_make_small(-1));
  for (int i = 6; i < 9; i++) fd_queue_push_back(&env, 7, lv_make_small(i));
  EXPECT_EQ(q.end - q.start, 16);
  EXPECT_EQ(queue_text(7), "-1 2 3 4 5 6 7 8 ");
}

TEST_F(Propagation, FullQueuesLoseNothingAcrossACollectionAndAHeapMove) {
  fd_queue_open(&env);
  for (int i = 0; i < 40; i++) {
    for (int j = 0; j < 50; j++) read("junk(1, 2, 3)");
    std::string t = "'$global'(m, keep(" + std::to_string(i) + ", [a, b]), 9, _, [], true)";
    fd_queue_push_back(&env, 6, read(t));
    // A coreference item: domain, event and base as small integers, list.
    fd_queue_push_front(&env, 0, lv_make_small(i));
    fd_queue_push_front(&env, 0, read("[-(0, f(x))]"));
    fd_queue_push_front(&env, 0, lv_make_small(15));
    fd_queue_push_front(&env, 0, read("dom([[1|3]],1,3,3)"));
    fd_queue_push_back(&env, 9, read("-(_, " + std::to_string(i) + ")"));
  }
  // The items of queues 6, 0 and 9 as text.
  auto contents = [&]() {
    std::vector<std::string> got(3);
    terms::reader fresh(w);
    int queues[3] = {6, 0, 9};
    for (int k = 0; k < 3; k++) {
      const fd_queue& queue = state->queues->queues[queues[k]];
      for (fd_termref_slot* s = queue.head; s != queue.tail;) {
        got[k] += fresh.write(s->term) + " ";
        if (++s == queue.end) s = queue.start;
      }
    }
    return got;
  };
  std::vector<std::string> expected = contents();
  EXPECT_NE(expected[0].find("keep(39,[a,b])"), std::string::npos);
  lv_term* before = w->H;
  lv_gc(w);
  EXPECT_LT(w->H, before);
  EXPECT_EQ(contents(), expected);
  lv_term* area = w->area_start;
  call_overflow(w, 2 * (w->area_end - w->area_start), 0);
  EXPECT_NE(w->area_start, area);
  EXPECT_EQ(contents(), expected);
}

// A C propagator for the driver: narrows the variable of its state s(X) to
// Lo..Hi of its goal k2test(X, Lo, Hi) and is entailed.
int test_propagator(lv_foreign_env* env, lv_term_ref st, lv_term_ref, lv_term_ref actions, lv_term_ref goal) {
  lv_term g = fd_deref(fd_termref(env, goal));
  lv_term call = fd_deref(fd_arg(g, 2));
  lv_term_ref a = fd_rt::new_term_ref(env);
  lv_term_ref x = fd_rt::new_term_ref(env);
  fd_termref(env, x) = fd_deref(fd_arg(fd_deref(fd_termref(env, st)), 1));
  fd_termref(env, a) = fd_rt::get_attributes(env, fd_termref(env, x), fd_state(env)->module);
  dvar d;
  dvar_init(env, &d, fd_make_ref(&fd_termref(env, a)), fd_make_ref(&fd_termref(env, x)));
  int r = dvar_fix_interval(env, &d, fd_deref(fd_arg(call, 2)), fd_deref(fd_arg(call, 3)));
  if (r > 0) {
    dvar_pruning_set(env, &d);
    dvar_export(env, &d, actions, 0);
  }
  return fd_propagator_exit(env, 0, actions, goal, r < 0 ? 4 : 3, 0);
}

TEST_F(Propagation, DriverRunsCPropagators) {
  lv_term key = fd_functor(LV_atom_from_string("k2test"), 3);
  fd_rt::puthash(&env, &state->propagators, key)->value = reinterpret_cast<uint64_t>(&test_propagator);
  const struct {
    const char* goal;
    int64_t result;
    const char* domain;
  } cases[] = {{"k2test(X, 3, 5)", 0, "dom([[3|5]],3,5,3)"}, {"k2test(X, 20, 30)", -1, "dom([[1|9]],1,9,9)"}};
  for (const auto& c : cases) {
    begin_call();
    variable x = make_var(1, 9);
    lv_term p = read("'$global'('$mutable'(s(X), 0), " + std::string(c.goal) + ", 0, _, [], true)");
    lv_struct_cells(fd_mutable_value(lv_struct_cells(p)[1]))[1] = var(x);
    lv_term_ref pr = ref(p);
    fd_queue_open(&env);
    fd_set_item_flags(p, FD_PROP_QUEUED);
    fd_queue_push_back(&env, 6, p);
    int64_t failures = state->failures;
    lv_term_ref out = LV_new_term_ref();
    EXPECT_EQ(fd_evaluate_indexical(&env, out), c.result) << c.goal;
    EXPECT_EQ(domain(x), c.domain) << c.goal;
    p = lv_deref(w->termrefs[pr].term);
    EXPECT_EQ(fd_item_flags(p) & (FD_PROP_QUEUED | FD_PROP_RUNNING), 0);
    EXPECT_EQ(state->queues->mask, 0u);
    if (c.result == 0) {
      EXPECT_EQ(text(lv_struct_cells(p)[4]), "1");  // entailed
      EXPECT_EQ(fd_solver_flags(&env) & FD_FLAG_PROPAGATING, 0);
      EXPECT_FALSE(call_failed());
    } else {
      EXPECT_EQ(state->failures, failures + 1);
      EXPECT_TRUE(call_failed());
    }
  }
}

// The first suspension of a variable, as text.
std::string first_suspension(lv_term attribute, terms::reader& r) {
  lv_term array = fd_mutable_value(lv_struct_cells(attribute)[FD_ATTR_SUSPENSIONS]);
  if (!lv_is_struct(array)) return "none";
  return r.write(lv_deref(lv_list_cells(lv_deref(lv_struct_cells(array)[2]))[0]));
}

TEST_F(Propagation, ClauseWatchersAndImplications) {
  fd_queue_open(&env);
  variable x = make_var(0, 1), y = make_var(0, 1), z = make_var(0, 1);
  lv_term_ref pos = ref("[lit(a, _, b), lit(a, _, b)]"), neg = ref("[lit(a, _, b)]");
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(w->termrefs[pos].term))[0]))[2] = var(x);
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(lv_list_cells(lv_deref(w->termrefs[pos].term))[1]))[0]))[2] =
      var(y);
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(w->termrefs[neg].term))[0]))[2] = var(z);
  fd_post_clause_watchers(&env, pos, neg, 0);
  // The clause watches its last two literals, 2 and -1.
  std::string s = first_suspension(attr(z), *r);
  EXPECT_EQ(s.substr(0, 44), "propagator(16,3,_,watcher(-1,[],0,_,clause(2") << s;
  EXPECT_NE(s.find("clause(2,-1,0,_,"), std::string::npos) << s;
  // x's literal is not watched: its value queues nothing; z's is.
  fd_tell_value(&env, attr(x), var(x), lv_make_small(1), 0);
  EXPECT_EQ(queue_text(3), "");
  fd_tell_value(&env, attr(z), var(z), lv_make_small(0), 0);
  EXPECT_EQ(queue_text(3).substr(0, 12), "0 watcher(-1");

  // One positive, one negative literal: two implications.
  variable p = make_var(0, 1), n = make_var(0, 1);
  lv_term_ref ppos = ref("[lit(a, _, b)]"), pneg = ref("[lit(a, _, b)]");
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(w->termrefs[ppos].term))[0]))[2] = var(p);
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(w->termrefs[pneg].term))[0]))[2] = var(n);
  fd_post_binary_implications(&env, ppos, pneg, 0);
  EXPECT_EQ(first_suspension(attr(p), *r), "propagator(16,0,a,implication(lit(a,_,b),0,lit(a,_,b),1))");
  EXPECT_EQ(first_suspension(attr(n), *r), "propagator(16,1,a,implication(lit(a,_,b),1,lit(a,_,b),0))");

  // Coreference lists written into every attribute of a list.
  lv_term list = read("[-(0, A), -(2, B)]");
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(list))[0]))[2] = attr(p);
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(lv_list_cells(lv_deref(list))[1]))[0]))[2] = attr(n);
  fd_set_mutables(&env, list, read("joined"));
  EXPECT_EQ(text(fd_mutable_value(lv_struct_cells(attr(p))[FD_ATTR_COREFERENCES])), "joined");
  EXPECT_EQ(text(fd_mutable_value(lv_struct_cells(attr(n))[FD_ATTR_COREFERENCES])), "joined");

  // A propagator name with no C function.
  EXPECT_EQ(fd_call_propagator_by_name(&env, read("no_such"), 2, ref("s"), ref("s"), ref("[]"), ref("g")), 0);
}

TEST_F(Propagation, CoreferencedVariablesShareTheirDomains) {
  fd_queue_open(&env);
  // Y = X - 2: keys 0 and 2 on one coreference list.
  variable x = make_var(1, 9), y = make_var(-1, 7);
  lv_term list = read("[-(0, A), -(2, B) | _]");
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(list))[0]))[2] = attr(x);
  lv_struct_cells(lv_deref(lv_list_cells(lv_deref(lv_list_cells(lv_deref(list))[1]))[0]))[2] = attr(y);
  fd_set_mutables(&env, list, list);
  fd_tell_interval(&env, attr(x), var(x), lv_make_small(3), lv_make_small(5), 15, 0);
  EXPECT_EQ(domain(y), "dom([[1|3]],1,3,3)");
  EXPECT_EQ(queue_text(0).substr(0, 22), "dom([[3|5]],3,5,3) 15 ");
  lv_term out;
  EXPECT_EQ(fd_propagate(&env, &out, 0), 0);
  // A value: both variables are bound through queue 0.
  fd_tell_value(&env, attr(x), var(x), lv_make_small(4), 0);
  EXPECT_EQ(domain(y), "2");
  EXPECT_EQ(fd_propagate(&env, &out, 0), 0);
  EXPECT_EQ(var(x), lv_make_small(4));
  EXPECT_EQ(var(y), lv_make_small(2));
}

}  // namespace
