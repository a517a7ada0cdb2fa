// all_distinct: domain consistency for pairwise different variables. A
// pass matches the variables to values (a maximum matching of the
// variable/value graph) and removes every variable/value pair that lies in
// no maximum matching: a value stays with a variable when it is the
// variable's mate, or lies in the same strongly connected component of the
// value graph as the mate (u -> w when w is in the domain of u's mate), or
// can reach a free value there.
//
// Variables with more values than there are variables left in the pass are
// left out (dropped, repeatedly: the count falls as they go): whatever the
// others take, each keeps a value of its own, so the others' matching
// decides alone; the dropped ones lose the values the others need in every
// matching (those that cannot reach a free value), after which the pass
// runs again while that changed something.
//
// State: s(Pairs, RetiredVariables, RetiredValues, Mode, Handle, Stamp):
// Pairs a list of p(X, Attribute) (replaced by [] once the block holds
// them), the variables retired as fixed kept behind the live prefix of the
// block's order array (their count in each state version brings the live
// set back), Mode 0, or 1 or 2 for successor variables (one circuit
// through all nodes, or through some; see circuit.h), whose sub-tour
// elimination runs after each matching pass at its fixpoint. Values are
// worked out from the live domains at every pass: none is retired.
#include <initializer_list>

#include "global/circuit.h"
#include "global/distinct.h"
#include "kernel/attributes.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

// The arrays of one pass, from the solver allocator, freed at its end.
struct pass {
  const lv_foreign_env* env;
  fd_distinct_block* b;
  int32_t live;
  fd_words kept, dropped, values, adj_start, adj, mate_var, mate_val, seen, rev_start, rev, reach, scc, index, low,
      stack, call;

  void init(const lv_foreign_env* e, fd_distinct_block* blk, int32_t l) {
    env = e;
    b = blk;
    live = l;
    each([](fd_words* a) { fd_words_init(a); });
  }
  void free() {
    each([this](fd_words* a) { fd_words_free(env, a); });
  }
  template <typename F>
  void each(F f) {
    for (fd_words* a : {&kept, &dropped, &values, &adj_start, &adj, &mate_var, &mate_val, &seen, &rev_start, &rev,
                        &reach, &scc, &index, &low, &stack, &call})
      f(a);
  }
  static int64_t& at(fd_words& a, int64_t i) { return reinterpret_cast<int64_t*>(a.data)[i]; }
  void fill(fd_words& a, int64_t n, int64_t v) {
    fd_words_resize(env, &a, n);
    for (int64_t i = 0; i < n; i++) at(a, i) = v;
  }

  dvar* var(int64_t k) { return &b->d[at(kept, k)]; }

  // Keeps the variables with at most as many values as variables are
  // kept, again until none more goes.
  void choose() {
    kept.count = dropped.count = 0;
    for (int32_t p = 0; p < live; p++) fd_words_push(env, &kept, static_cast<uint64_t>(b->order[p]));
    for (bool again = true; again;) {
      again = false;
      int64_t k = kept.count, j = 0;
      for (int64_t i = 0; i < k; i++) {
        const dvar* x = &b->d[at(kept, i)];
        bool finite = fd_is_small(x->min) && fd_is_small(x->max);
        if (finite && dvar_size(x) <= k) {
          at(kept, j++) = at(kept, i);
        } else {
          fd_words_push(env, &dropped, static_cast<uint64_t>(at(kept, i)));
          again = true;
        }
      }
      kept.count = j;
    }
  }

  int64_t value_index(int64_t v) {
    int64_t lo = 0, hi = values.count - 1;
    while (lo < hi) {
      int64_t mid = (lo + hi) / 2;
      if (at(values, mid) < v) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  }

  // The values of the kept variables, and each one's adjacency (value
  // indexes, ascending).
  void graph() {
    values.count = 0;
    for (int64_t k = 0; k < kept.count; k++) {
      dvar_iter it;
      dvar_iter_init(var(k), &it);
      while (!dvar_iter_done(&it)) fd_words_push(env, &values, static_cast<uint64_t>(dvar_iter_next(&it)));
    }
    fd_sort_longs(env, reinterpret_cast<int64_t*>(values.data), values.count);
    int64_t m = 0;
    for (int64_t i = 0; i < values.count; i++)
      if (m == 0 || at(values, m - 1) != at(values, i)) at(values, m++) = at(values, i);
    values.count = m;
    fd_words_resize(env, &adj_start, kept.count + 1);
    adj.count = 0;
    for (int64_t k = 0; k < kept.count; k++) {
      at(adj_start, k) = adj.count;
      dvar_iter it;
      dvar_iter_init(var(k), &it);
      while (!dvar_iter_done(&it)) fd_words_push(env, &adj, static_cast<uint64_t>(value_index(dvar_iter_next(&it))));
    }
    at(adj_start, kept.count) = adj.count;
  }

  // An augmenting path from variable k (depth first over the values; seen
  // marks the values visited in this search).
  bool augment(int64_t k, int64_t stamp) {
    for (int64_t e = at(adj_start, k); e < at(adj_start, k + 1); e++) {
      int64_t v = at(adj, e);
      if (at(seen, v) == stamp) continue;
      at(seen, v) = stamp;
      if (at(mate_val, v) < 0 || augment(at(mate_val, v), stamp)) {
        at(mate_var, k) = v;
        at(mate_val, v) = k;
        return true;
      }
    }
    return false;
  }

  bool match() {
    int64_t k = kept.count, m = values.count;
    fill(mate_var, k, -1);
    fill(mate_val, m, -1);
    fill(seen, m, -1);
    // A greedy start, then augmenting paths for the rest.
    for (int64_t x = 0; x < k; x++)
      for (int64_t e = at(adj_start, x); e < at(adj_start, x + 1); e++)
        if (at(mate_val, at(adj, e)) < 0) {
          at(mate_var, x) = at(adj, e);
          at(mate_val, at(adj, e)) = x;
          break;
        }
    for (int64_t x = 0; x < k; x++)
      if (at(mate_var, x) < 0 && !augment(x, x)) return false;
    return true;
  }

  // The values that can reach a free value in the value graph (u -> w for
  // w in the domain of u's mate): backwards from the free values.
  void reachable() {
    int64_t m = values.count;
    fill(rev_start, m + 1, 0);
    for (int64_t u = 0; u < m; u++) {
      int64_t x = at(mate_val, u);
      if (x < 0) continue;
      for (int64_t e = at(adj_start, x); e < at(adj_start, x + 1); e++)
        if (at(adj, e) != u) at(rev_start, at(adj, e) + 1)++;
    }
    for (int64_t u = 0; u < m; u++) at(rev_start, u + 1) += at(rev_start, u);
    fd_words_resize(env, &rev, at(rev_start, m));
    fill(index, m, 0);
    for (int64_t u = 0; u < m; u++) {
      int64_t x = at(mate_val, u);
      if (x < 0) continue;
      for (int64_t e = at(adj_start, x); e < at(adj_start, x + 1); e++) {
        int64_t w = at(adj, e);
        if (w != u) at(rev, at(rev_start, w) + at(index, w)++) = u;
      }
    }
    fill(reach, m, 0);
    stack.count = 0;
    for (int64_t u = 0; u < m; u++)
      if (at(mate_val, u) < 0) {
        at(reach, u) = 1;
        fd_words_push(env, &stack, static_cast<uint64_t>(u));
      }
    while (stack.count > 0) {
      int64_t w = at(stack, --stack.count);
      for (int64_t e = at(rev_start, w); e < at(rev_start, w + 1); e++) {
        int64_t u = at(rev, e);
        if (at(reach, u)) continue;
        at(reach, u) = 1;
        fd_words_push(env, &stack, static_cast<uint64_t>(u));
      }
    }
  }

  // Strongly connected components of the matched values (Tarjan, without
  // recursion): scc[u] a component number, -1 for a free value.
  void components() {
    int64_t m = values.count;
    fill(scc, m, -1);
    fill(index, m, -1);
    fill(low, m, 0);
    fd_words_resize(env, &call, 0);
    stack.count = 0;
    int64_t counter = 0, next_component = 0;
    fd_words on_stack;
    fd_words_init(&on_stack);
    fill(on_stack, m, 0);
    for (int64_t root = 0; root < m; root++) {
      if (at(index, root) >= 0 || at(mate_val, root) < 0) continue;
      // The call stack holds {node, next edge}.
      fd_words_push(env, &call, static_cast<uint64_t>(root));
      fd_words_push(env, &call, static_cast<uint64_t>(at(adj_start, at(mate_val, root))));
      at(index, root) = at(low, root) = counter++;
      fd_words_push(env, &stack, static_cast<uint64_t>(root));
      at(on_stack, root) = 1;
      while (call.count > 0) {
        int64_t u = at(call, call.count - 2);
        int64_t& e = at(call, call.count - 1);
        int64_t x = at(mate_val, u);
        if (e < at(adj_start, x + 1)) {
          int64_t w = at(adj, e++);
          if (w == u || at(mate_val, w) < 0) continue;  // free values end no cycle
          if (at(index, w) < 0) {
            at(index, w) = at(low, w) = counter++;
            fd_words_push(env, &stack, static_cast<uint64_t>(w));
            at(on_stack, w) = 1;
            fd_words_push(env, &call, static_cast<uint64_t>(w));
            fd_words_push(env, &call, static_cast<uint64_t>(at(adj_start, at(mate_val, w))));
          } else if (at(on_stack, w) && at(index, w) < at(low, u)) {
            at(low, u) = at(index, w);
          }
          continue;
        }
        call.count -= 2;
        if (call.count > 0) {
          int64_t parent = at(call, call.count - 2);
          if (at(low, u) < at(low, parent)) at(low, parent) = at(low, u);
        }
        if (at(low, u) == at(index, u)) {
          int64_t w;
          do {
            w = at(stack, --stack.count);
            at(on_stack, w) = 0;
            at(scc, w) = next_component;
          } while (w != u);
          next_component++;
        }
      }
    }
    fd_words_free(env, &on_stack);
  }

  // One pass: 4 failure, 1 a dropped variable changed (run again), 2 done.
  int run() {
    choose();
    if (kept.count == 0) return 2;
    graph();
    if (values.count < kept.count || !match()) return 4;
    reachable();
    components();
    for (int64_t k = 0; k < kept.count; k++) {
      int64_t u = at(mate_var, k);
      fdset_builder allowed;
      fdset_builder_init(&allowed);
      int64_t kept_values = 0;
      for (int64_t e = at(adj_start, k); e < at(adj_start, k + 1); e++) {
        int64_t w = at(adj, e);
        if (w == u || at(reach, w) || at(scc, w) == at(scc, u)) {
          fdset_builder_add_value(env, &allowed, fd_make_small(at(values, w)));
          kept_values++;
        }
      }
      if (kept_values < at(adj_start, k + 1) - at(adj_start, k) && dvar_fix_set(env, var(k), allowed.head) < 0)
        return 4;
    }
    if (dropped.count == 0) return 2;
    // The values every matching gives to the kept variables.
    fdset_builder hall;
    fdset_builder_init(&hall);
    for (int64_t u = 0; u < values.count; u++)
      if (at(mate_val, u) >= 0 && !at(reach, u)) fdset_builder_add_value(env, &hall, fd_make_small(at(values, u)));
    if (hall.head == FD_NIL) return 2;
    int result = 2;
    for (int64_t i = 0; i < dropped.count; i++) {
      int r = dvar_prune_set(env, &b->d[at(dropped, i)], hall.head);
      if (r < 0) return 4;
      if (r > 0) result = 1;
    }
    return result;
  }
};

}  // namespace

int all_distinct(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  fd_distinct_block* b;
  int32_t live;
  if (fd_is_ref(handle)) {
    if (!fd_distinct_state_well_formed(state, 6)) {
      fd_raise_system_error(env, "all_distinct: malformed state");
      return 0;
    }
    int64_t mode = fd_small_value(fd_deref(fd_arg(state, 4)));
    if (mode < 0 || mode > 2) {
      fd_raise_system_error(env, "all_distinct: unknown successor mode");
      return 0;
    }
    int64_t n = fd_proper_length(fd_arg(state, 1));
    if (n == 0) return fd_propagator_exit(env, new_state, actions, goal, 3, 0);
    b = fd_distinct_create(env, new_state, 5, n);
    state = fd_deref(fd_termref(env, new_state));
    live = b->n;
  } else {
    b = fd_distinct_resume(env, state, handle, &live);
  }
  pass work;
  work.init(env, b, live);
  auto mode = static_cast<int>(fd_small_value(fd_deref(fd_arg(state, 4))));
  int r;
  do {
    r = work.run();
    if (r == 2 && mode != 0) r = fd_circuit_prune(env, b, mode);
  } while (r == 1);
  work.free();
  if (r == 4) return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
  dvar_export_changed(env, b->d, b->order, live, actions);
  // The fixed variables retire behind the unfixed ones, each part keeping
  // its order.
  int32_t unfixed = 0;
  for (int32_t p = 0; p < live; p++)
    if (!dvar_is_fixed(&b->d[b->order[p]])) unfixed++;
  fd_words order;
  fd_words_init(&order);
  for (int pass_fixed = 0; pass_fixed < 2; pass_fixed++)
    for (int32_t p = 0; p < live; p++)
      if (dvar_is_fixed(&b->d[b->order[p]]) == (pass_fixed == 1))
        fd_words_push(env, &order, static_cast<uint64_t>(b->order[p]));
  for (int32_t p = 0; p < live; p++) b->order[p] = static_cast<int32_t>(order.data[p]);
  fd_words_free(env, &order);
  state = fd_deref(fd_termref(env, new_state));
  fd_struct_cells(state)[2] = fd_make_small(b->n - unfixed);
  return fd_propagator_exit(env, new_state, actions, goal, unfixed < 2 ? 3 : 2, 0);
}
