// bc_alldiff: bounds consistency for pairwise different variables. Each
// pass ranks the variables' bounds into one sorted array and narrows every
// minimum past the Hall intervals below it and every maximum past those
// above it, with path-compressed tree and Hall links (linear after the
// sorts); passes repeat while a new bound fell into a hole of its domain,
// moving further than the pass assumed. Variables with an infinite bound
// always find a value of their own and take no part.
//
// State: s(Pairs, Retired, Handle, Stamp): Pairs a list of p(X,
// Attribute) (replaced by [] once the block holds them); fixed variables
// whose value lies outside the range of the unfixed ones retire behind the
// live prefix of the order array, Retired counting them.
#include <algorithm>

#include "global/distinct.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

struct bc_pass {
  const lv_foreign_env* env;
  fd_distinct_block* b;
  int32_t n;  // variables taking part
  int64_t* mem;
  int64_t *vars, *minsorted, *maxsorted, *minrank, *maxrank, *bounds, *t, *d, *h, *lo, *hi, *newmin, *newmax;

  void init(int32_t live) {
    // 13 arrays; bounds, t, d and h need 2n + 2 entries.
    size_t words = static_cast<size_t>(9 * live + 4 * (2 * live + 2));
    mem = static_cast<int64_t*>(fd_malloc(env, words * sizeof(int64_t)));
    int64_t* p = mem;
    for (int64_t** a : {&vars, &minsorted, &maxsorted, &minrank, &maxrank, &lo, &hi, &newmin, &newmax}) {
      *a = p;
      p += live;
    }
    for (int64_t** a : {&bounds, &t, &d, &h}) {
      *a = p;
      p += 2 * live + 2;
    }
  }
  void done() { fd_free(env, mem); }

  static int64_t pathmax(const int64_t* a, int64_t i) {
    while (a[i] > i) i = a[i];
    return i;
  }
  static int64_t pathmin(const int64_t* a, int64_t i) {
    while (a[i] < i) i = a[i];
    return i;
  }
  static void pathset(int64_t* a, int64_t start, int64_t end, int64_t to) {
    int64_t k, l = start;
    while ((k = l) != end) {
      l = a[k];
      a[k] = to;
    }
  }

  // The variables with finite bounds, ranked: bounds[1..nb] the distinct
  // minima and maxima + 1, sentinels around them.
  int64_t rank() {
    for (int32_t i = 0; i < n; i++) minsorted[i] = maxsorted[i] = i;
    std::sort(minsorted, minsorted + n, [this](int64_t a, int64_t c) { return lo[a] < lo[c]; });
    std::sort(maxsorted, maxsorted + n, [this](int64_t a, int64_t c) { return hi[a] < hi[c]; });
    int64_t mn = lo[minsorted[0]], mx = hi[maxsorted[0]] + 1, last = mn - 2, nb = 0;
    bounds[0] = last;
    for (int32_t i = 0, j = 0;;) {
      if (i < n && mn <= mx) {
        if (mn != last) bounds[++nb] = last = mn;
        minrank[minsorted[i]] = nb;
        if (++i < n) mn = lo[minsorted[i]];
      } else {
        if (mx != last) bounds[++nb] = last = mx;
        maxrank[maxsorted[j]] = nb;
        if (++j == n) break;
        mx = hi[maxsorted[j]] + 1;
      }
    }
    bounds[nb + 1] = bounds[nb] + 2;
    return nb;
  }

  bool filter_lower(int64_t nb) {
    for (int64_t i = 1; i <= nb + 1; i++) {
      t[i] = h[i] = i - 1;
      d[i] = bounds[i] - bounds[i - 1];
    }
    for (int32_t i = 0; i < n; i++) {
      int64_t v = maxsorted[i], x = minrank[v], y = maxrank[v];
      int64_t z = pathmax(t, x + 1), j = t[z];
      if (--d[z] == 0) {
        t[z] = z + 1;
        z = pathmax(t, t[z]);
        t[z] = j;
      }
      pathset(t, x + 1, z, z);
      if (d[z] < bounds[z] - bounds[y]) return false;
      if (h[x] > x) {
        int64_t w = pathmax(h, h[x]);
        newmin[v] = bounds[w];
        pathset(h, x, w, w);
      }
      if (d[z] == bounds[z] - bounds[y]) {
        pathset(h, h[y], j - 1, y);
        h[y] = j - 1;
      }
    }
    return true;
  }

  bool filter_upper(int64_t nb) {
    for (int64_t i = 0; i <= nb; i++) {
      t[i] = h[i] = i + 1;
      d[i] = bounds[i + 1] - bounds[i];
    }
    for (int32_t i = n - 1; i >= 0; i--) {
      int64_t v = minsorted[i], x = maxrank[v], y = minrank[v];
      int64_t z = pathmin(t, x - 1), j = t[z];
      if (--d[z] == 0) {
        t[z] = z - 1;
        z = pathmin(t, t[z]);
        t[z] = j;
      }
      pathset(t, x - 1, z, z);
      if (d[z] < bounds[y] - bounds[z]) return false;
      if (h[x] < x) {
        int64_t w = pathmin(h, h[x]);
        newmax[v] = bounds[w] - 1;
        pathset(h, x, w, w);
      }
      if (d[z] == bounds[y] - bounds[z]) {
        pathset(h, h[y], j + 1, y);
        h[y] = j + 1;
      }
    }
    return true;
  }

  // One pass over the live variables: -1 failure, 1 a bound fell into a
  // hole (run again), 0 done.
  int run(int32_t live) {
    n = 0;
    for (int32_t p = 0; p < live; p++) {
      dvar* x = &b->d[b->order[p]];
      if (!fd_is_small(x->min) || !fd_is_small(x->max)) continue;
      vars[n] = b->order[p];
      lo[n] = newmin[n] = fd_small_value(x->min);
      hi[n] = newmax[n] = fd_small_value(x->max);
      n++;
    }
    if (n == 0) return 0;
    int64_t nb = rank();
    if (!filter_lower(nb) || !filter_upper(nb)) return -1;
    int result = 0;
    for (int32_t i = 0; i < n; i++) {
      if (newmin[i] == lo[i] && newmax[i] == hi[i]) continue;
      dvar* x = &b->d[vars[i]];
      if (dvar_fix_interval(env, x, fd_make_small(newmin[i]), fd_make_small(newmax[i])) < 0) return -1;
      if (fd_small_value(x->min) != newmin[i] || fd_small_value(x->max) != newmax[i]) result = 1;
    }
    return result;
  }
};

}  // namespace

int bc_alldiff(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  fd_distinct_block* b;
  int32_t live;
  if (fd_is_ref(handle)) {
    if (!fd_distinct_state_well_formed(state, 4)) {
      fd_raise_system_error(env, "bc_alldiff: malformed state");
      return 0;
    }
    int64_t n = fd_proper_length(fd_arg(state, 1));
    if (n == 0) return fd_propagator_exit(env, new_state, actions, goal, 3, 0);
    b = fd_distinct_create(env, new_state, 3, n);
    live = b->n;
    for (int32_t i = 0; i < live; i++) dvar_refresh(env, &b->d[i]);
  } else {
    b = fd_distinct_resume(env, state, handle, &live);
  }
  bc_pass work{env, b, 0, nullptr, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}};
  work.init(live);
  int r;
  do r = work.run(live);
  while (r == 1);
  work.done();
  if (r < 0) return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
  dvar_export_changed(env, b->d, b->order, live, actions);
  // Fixed variables outside [lo, hi] of the unfixed ones can meet none of
  // them again: they retire behind the others.
  lv_term lo = FD_SUP, hi = FD_INF;
  for (int32_t p = 0; p < live; p++) {
    dvar* x = &b->d[b->order[p]];
    if (dvar_is_fixed(x)) continue;
    if (fd_bound_compare(x->min, lo) < 0) lo = x->min;
    if (fd_bound_compare(x->max, hi) > 0) hi = x->max;
  }
  int32_t keep = 0;
  for (int32_t p = 0; p < live; p++) {
    dvar* x = &b->d[b->order[p]];
    bool retire = dvar_is_fixed(x) && (fd_bound_compare(x->min, lo) < 0 || fd_bound_compare(x->min, hi) > 0);
    if (!retire) std::swap(b->order[keep++], b->order[p]);
  }
  state = fd_deref(fd_termref(env, new_state));
  fd_struct_cells(state)[2] = fd_make_small(b->n - keep);
  return fd_propagator_exit(env, new_state, actions, goal, keep < 2 ? 3 : 2, 0);
}
