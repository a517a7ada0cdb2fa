// The call frame of the block-holding arithmetic propagators.
#include "arith/arith_frame.h"

#include <algorithm>

#include "kernel/errors.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

void fd_arith_block_destroy(void* block) {
  auto* b = static_cast<fd_arith_block*>(block);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

bool fd_arith_pairs_well_formed(lv_term state, unsigned first, int k) {
  for (unsigned i = first; i < first + static_cast<unsigned>(k); i++) {
    lv_term p = fd_deref(fd_arg(state, i));
    if (!fd_is_compound_struct(p) || fd_functor_arity(fd_functor_of(p)) != 2) return false;
    lv_term v = fd_deref(fd_arg(p, 1));
    if (!fd_is_ref(v) && !fd_is_small(v)) return false;
    if (fd_functor_of(fd_deref(fd_arg(p, 2))) != FD_FUNCTOR_V_7) return false;
  }
  return true;
}

namespace {

// The state's handle: its second-to-last argument.
lv_term handle_of(lv_term state) { return fd_deref(fd_arg(state, fd_functor_arity(fd_functor_of(state)) - 1)); }

// Whether a bound handle is a handle, [Status | '$free'(Address)], of a
// block the solver still holds.
bool live_handle(const lv_foreign_env* env, lv_term handle) {
  if (!fd_is_list(handle)) return false;
  lv_term f = fd_deref(fd_list_cells(handle)[1]);
  if (fd_functor_of(f) != FD_FUNCTOR_FREE_1) return false;
  lv_term a = fd_deref(fd_arg(f, 1));
  return fd_is_small(a) && fd_keyed_get(env, fd_tables(env)->blocks, fd_term_pointer(a)) != 0;
}

fd_arith_block* create(lv_foreign_env* env, fd_t new_state, int k) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  unsigned arity = fd_functor_arity(fd_functor_of(state));
  size_t size = sizeof(fd_arith_block) + static_cast<size_t>(k) * sizeof(dvar);
  auto* b = static_cast<fd_arith_block*>(fd_new_handle_block(env, size, fd_arg(state, arity - 1), 0));
  *b = fd_arith_block{};
  b->destroy = fd_arith_block_destroy;
  b->env = env;
  b->d = reinterpret_cast<dvar*>(b + 1);
  b->count = 2 * k;
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * k));
  // Making the handle may have moved the heap.
  state = fd_deref(fd_termref(env, new_state));
  for (int i = 0; i < k; i++) {
    lv_term pair[2];
    fd_get_arg_pair(fd_arg(state, static_cast<unsigned>(i + 1)), pair);
    b->refs[2 * i].term = pair[0];
    b->refs[2 * i + 1].term = pair[1];
    dvar_init(env, &b->d[i], fd_make_ref(&b->refs[2 * i].term), fd_make_ref(&b->refs[2 * i + 1].term));
  }
  return b;
}

}  // namespace

fd_arith_block* fd_arith_begin(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, int k,
                               unsigned min_arity, const char* name) {
  fd_scratch_reset(env);
  fd_termref(env, actions) = FD_NIL;
  lv_term state = fd_deref(fd_termref(env, state_ref));
  fd_termref(env, new_state) = state;
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) < min_arity) {
    fd_raise_system_error(env, name);
    return nullptr;
  }
  lv_term handle = handle_of(state);
  if (fd_is_ref(handle)) {
    if (!fd_arith_pairs_well_formed(state, 1, k)) {
      fd_raise_system_error(env, name);
      return nullptr;
    }
    return create(env, new_state, k);
  }
  if (!live_handle(env, handle)) {
    fd_raise_system_error(env, name);
    return nullptr;
  }
  auto* b = static_cast<fd_arith_block*>(fd_handle_pointer(handle));
  for (int i = 0; i < k; i++) dvar_refresh(env, &b->d[i]);
  return b;
}

int fd_arith_end(lv_foreign_env* env, fd_arith_block* b, int k, fd_t new_state, fd_t actions, fd_t goal, int status) {
  if (status == 4) {
    for (int i = 0; i < k; i++) b->d[i].set = DVAR_STALE;
  } else {
    dvar_export_changed(env, b->d, nullptr, k, actions);
  }
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}

int fd_arith_run(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal, int k, unsigned min_arity,
                 const char* name, fd_arith_pass pass) {
  fd_arith_block* b = fd_arith_begin(env, state, new_state, actions, k, min_arity, name);
  if (b == nullptr) return 0;
  return fd_arith_end(env, b, k, new_state, actions, goal, pass(env, b->d));
}

int fd_arith_narrow(const lv_foreign_env* env, dvar* d, lv_term lo, lv_term hi) {
  // A hull wholly beyond the small integers holds no value.
  if (lo == FD_SUP || hi == FD_INF) {
    fd_set_overflow(env, lo == FD_SUP ? FD_OVERFLOW_SUP : FD_OVERFLOW_INF);
    return -1;
  }
  int r = dvar_fix_interval(env, d, lo, hi);
  if (r < 0 && lo == FD_SUP) fd_set_overflow(env, FD_OVERFLOW_SUP);
  return r;
}

int fd_arith_prune_x(const lv_foreign_env* env, dvar* d, fd_xint lo, fd_xint hi) {
  // A range wholly beyond the small integers holds no value; one that
  // reaches past them on a side removes that whole side.
  if (lo > hi || lo > FD_SMALL_MAX || hi < FD_SMALL_MIN) return 0;
  return dvar_prune_interval(env, d, fd_xint_bound(lo), fd_xint_bound(hi));
}

int fd_arith_narrow_union(const lv_foreign_env* env, dvar* d, fd_xrange* ranges, int n) {
  // In key space, each range saturated: a range wholly beyond the small
  // integers shrinks to the key of `inf` or `sup`.
  struct krange {
    int64_t lo, hi;
  };
  krange k[8];
  int m = 0;
  for (int i = 0; i < n && m < 8; i++)
    if (!ranges[i].empty())
      k[m++] = {fd_bound_key(fd_xint_bound(ranges[i].lo)), fd_bound_key(fd_xint_bound(ranges[i].hi))};
  if (m == 0) return -1;
  std::sort(k, k + m, [](const krange& a, const krange& b) { return a.lo < b.lo; });
  // Merge overlapping and adjacent ranges; a gap that reaches an infinity
  // is kept in (it holds no value of its own, and the infinite side stays
  // for the overflow report to see).
  int u = 0;
  for (int i = 1; i < m; i++) {
    if (k[i].lo <= k[u].hi + 1 || k[i].lo == FD_KEY_SUP || k[u].hi == FD_KEY_INF) {
      k[u].hi = std::max(k[u].hi, k[i].hi);
    } else {
      k[++u] = k[i];
    }
  }
  int bits = fd_arith_narrow(env, d, fd_key_bound(k[0].lo), fd_key_bound(k[u].hi));
  if (bits < 0) return -1;
  for (int i = 0; i < u; i++) {
    int r = dvar_prune_interval(env, d, fd_make_small(k[i].hi + 1), fd_make_small(k[i + 1].lo - 1));
    if (r < 0) return -1;
    bits |= r;
  }
  return bits;
}
