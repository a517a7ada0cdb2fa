// Sub-tour elimination over successor variables.
//
// Chains of fixed successors: a chain from start i to end e (e's successor
// still open) must not close on itself before it holds every node of the
// circuit, so e loses i's number. In mode 1 a closed cycle of fixed
// successors shorter than n fails, and the graph of possible successors
// must be strongly connected (every node reaches node 1 and is reached
// from it). In mode 2 a closed cycle leaves every other node off the
// circuit (its own successor); a chain cannot close while some node
// outside it cannot be its own successor.
#include "global/circuit.h"

#include "kernel/memory.h"

namespace {

struct graph_work {
  const lv_foreign_env* env;
  int32_t n;
  int32_t *succ, *pred, *start, *mark, *stack;

  bool fixed(fd_distinct_block* b, int32_t j) { return dvar_is_fixed(&b->d[j]); }
};

// Removes value v from variable j: 4 failure, 1 changed, 2 unchanged.
int remove_value(const lv_foreign_env* env, fd_distinct_block* b, int32_t j, int64_t v) {
  int r = dvar_prune_value(env, &b->d[j], fd_make_small(v));
  return r < 0 ? 4 : r > 0 ? 1 : 2;
}

int combine(int a, int c) { return a == 4 || c == 4 ? 4 : a == 1 || c == 1 ? 1 : 2; }

// Whether every node reaches node 0 and is reached from it over the
// possible successors (forward, then over the reversed edges).
bool strongly_connected(graph_work& g, fd_distinct_block* b) {
  int32_t n = g.n;
  for (int direction = 0; direction < 2; direction++) {
    for (int32_t j = 0; j < n; j++) g.mark[j] = 0;
    int32_t top = 0, seen = 1;
    g.stack[top++] = 0;
    g.mark[0] = 1;
    while (top > 0) {
      int32_t u = g.stack[--top];
      if (direction == 0) {
        dvar_iter it;
        for (dvar_iter_init(&b->d[u], &it); !dvar_iter_done(&it);) {
          int64_t w = dvar_iter_next(&it) - 1;
          if (w < 0 || w >= n || g.mark[w]) continue;
          g.mark[w] = 1;
          seen++;
          g.stack[top++] = static_cast<int32_t>(w);
        }
      } else {
        for (int32_t w = 0; w < n; w++)
          if (!g.mark[w] && dvar_contains(&b->d[w], fd_make_small(u + 1))) {
            g.mark[w] = 1;
            seen++;
            g.stack[top++] = w;
          }
      }
    }
    if (seen < n) return false;
  }
  return true;
}

}  // namespace

int fd_circuit_prune(const lv_foreign_env* env, fd_distinct_block* b, int mode) {
  int32_t n = b->n;
  graph_work g{env, n, nullptr, nullptr, nullptr, nullptr, nullptr};
  auto* mem = static_cast<int32_t*>(fd_malloc(env, static_cast<size_t>(5 * n + 1) * sizeof(int32_t)));
  g.succ = mem;
  g.pred = mem + n;
  g.start = mem + 2 * n;
  g.mark = mem + 3 * n;
  g.stack = mem + 4 * n;
  int result = 2;
  for (int32_t j = 0; j < n; j++) g.succ[j] = g.pred[j] = -1;
  for (int32_t j = 0; j < n && result != 4; j++) {
    if (!g.fixed(b, j)) continue;
    int64_t v = fd_small_value(b->d[j].min) - 1;
    if (v < 0 || v >= n || g.pred[v] >= 0) result = 4;  // outside the nodes, or a value taken twice
    else {
      g.succ[j] = static_cast<int32_t>(v);
      g.pred[v] = j;
    }
  }
  // Each chain's start and end: start[j] for every node of a chain, and
  // the chains as (start, end) pairs on the stack.
  int32_t chains = 0;
  for (int32_t j = 0; j < n; j++) g.start[j] = -1;
  for (int32_t j = 0; j < n && result != 4; j++) {
    if (g.pred[j] >= 0) continue;
    int32_t e = j;
    g.start[j] = j;
    while (g.succ[e] >= 0) {
      e = g.succ[e];
      g.start[e] = j;
    }
    if (e != j) {
      g.mark[chains] = j;
      g.stack[chains++] = e;
    }
  }
  // Cycles of fixed successors (self-loops apart): start at the node met
  // first, end at its predecessor.
  for (int32_t j = 0; j < n && result != 4; j++) {
    if (g.start[j] >= 0 || g.succ[j] == j) continue;
    int32_t u = j;
    do {
      g.start[u] = j;
      u = g.succ[u];
    } while (u != j);
    g.mark[chains] = j;
    g.stack[chains++] = g.pred[j];
  }
  bool one_chain = result != 4;
  for (int32_t j = 0; j < n && one_chain; j++) one_chain = g.start[j] == g.start[0] && g.start[0] >= 0;
  if (result != 4 && !one_chain) {
    for (int32_t c = 0; c < chains && result != 4; c++) {
      int32_t i = g.mark[c], e = g.stack[c];
      if (mode == 1) {
        result = combine(result, remove_value(env, b, e, i + 1));
        continue;
      }
      // Mode 2: the first node outside the chain that must lie on the
      // circuit.
      int32_t needed = -1;
      for (int32_t k = 0; k < n && needed < 0; k++)
        if (g.start[k] != i && !dvar_contains(&b->d[k], fd_make_small(k + 1))) needed = k;
      if (needed >= 0) {
        result = combine(result, remove_value(env, b, e, i + 1));
      } else if (g.fixed(b, e)) {
        for (int32_t k = 0; k < n; k++)
          if (g.start[k] != i && !g.fixed(b, k)) {
            int r = dvar_fix_value(env, &b->d[k], fd_make_small(k + 1));
            if (r > 0) result = combine(result, 1);
          }
      }
    }
  }
  // The mode-1 graph must stay strongly connected.
  if (mode == 1 && result == 2 && !one_chain && n > 1 && !strongly_connected(g, b)) result = 4;
  fd_free(env, mem);
  return result;
}
