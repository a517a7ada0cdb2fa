// What the arithmetic propagators x*y=z, x/y=z, x div y=z, x mod y=z,
// x rem y=z, x^y=z, the bitwise ones, abs(x)=y and x*x=y share: their state
// term s(P1, ..., Pk, ..., Handle, Stamp) holds a pair p(Variable,
// Attribute) per variable in its first k arguments and the handle of a C
// block in its second-to-last; the block, made at the first call, keeps a
// global reference pair (attribute, variable) and a dvar per variable, and
// every call reads the dvars afresh. A call does its pass over the dvars,
// exports the changed ones and ends through the propagator exit.
#pragma once

#include <cstdint>

#include <initializer_list>

#include "arith/xint.h"
#include "kernel/dvar.h"
#include "kernel/foreign_predicates.h"
#include "kernel/runtime.h"

struct fd_arith_block {
  void (*destroy)(void*);
  lv_foreign_env* env;
  fd_termref_slot* refs;  // 2k: each variable's attribute, then the variable
  dvar* d;                // the k records, right behind the block
  int32_t count;          // 2k
  int32_t unused;
};

// Frees the block's global references and the block.
void fd_arith_block_destroy(void* block);

// The start of a call over k variables: the scratch area emptied, the
// actions list [], the state (at least min_arity arguments, the first k
// pairs) put into new_state; the block made at the first call or found
// through the handle, and its dvars read. Null after raising an error when
// the state is malformed (name names the propagator in the message).
fd_arith_block* fd_arith_begin(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, int k,
                               unsigned min_arity, const char* name);

// The end of a call: unless it failed (status 4), the changed records are
// exported; every record is marked stale; then the propagator exit.
int fd_arith_end(lv_foreign_env* env, fd_arith_block* b, int k, fd_t new_state, fd_t actions, fd_t goal, int status);

// A whole call: fd_arith_begin, the pass over the k records (it answers
// the status: 2 suspended, 3 entailed, 4 failed), fd_arith_end.
typedef int (*fd_arith_pass)(const lv_foreign_env* env, dvar* d);
int fd_arith_run(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal, int k, unsigned min_arity,
                 const char* name, fd_arith_pass pass);

// Whether the state's k arguments from argument first on are pairs
// p(Variable, Attribute), Variable a variable or a small integer.
bool fd_arith_pairs_well_formed(lv_term state, unsigned first, int k);

// Narrows a record to [lo, hi] (bounds of the computed hull); when that
// empties it, a lower bound computed as `sup` records the pending overflow
// code 2 and an upper bound computed as `inf` the code 1: the hull lies
// beyond the small integers.
int fd_arith_narrow(const lv_foreign_env* env, dvar* d, lv_term lo, lv_term hi);
inline int fd_arith_narrow_x(const lv_foreign_env* env, dvar* d, fd_xint lo, fd_xint hi) {
  return fd_arith_narrow(env, d, fd_xint_bound(lo), fd_xint_bound(hi));
}
// Removes [lo, hi] from a record when the range is not empty; an empty
// range or one outside the domain changes nothing.
int fd_arith_prune_x(const lv_foreign_env* env, dvar* d, fd_xint lo, fd_xint hi);

// Narrows a record to a union of at most 8 ranges (in any order, empty
// ones ignored): to their hull with fd_arith_narrow, then every gap between
// them removed, but for gaps that reach an infinity. -1 when no range is
// left or the domain empties, else the change bits.
int fd_arith_narrow_union(const lv_foreign_env* env, dvar* d, fd_xrange* ranges, int n);

// The divisions, mod and rem over X, Y, Z: the divisor Y loses 0; false
// when nothing is left.
inline bool fd_divisor_nonzero(const lv_foreign_env* env, dvar* d) {
  return dvar_prune_interval(env, &d[1], fd_make_small(0), fd_make_small(0)) >= 0;
}

// The bounds of a record as extended integers.
inline fd_xint fd_dvar_xmin(const dvar* d) { return fd_bound_xint(d->min); }
inline fd_xint fd_dvar_xmax(const dvar* d) { return fd_bound_xint(d->max); }
// The value of a fixed record.
inline int64_t fd_dvar_value(const dvar* d) { return fd_small_value(d->min); }
