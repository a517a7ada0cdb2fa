// The reified scalar product B <=> (sum of a_i * x_i  R  c): what its
// variants share. The state term is
//   st(Terms, P, C, B-pair, UndoDepth, Handle, Stamp)
// Terms a list of t(A, X, Attribute) (replaced by [] once the block holds
// them), P the relation code (bits 0-2) and the mode (P >> 3) that selects
// the variant, C the right-hand side, B-pair a term (B, Attribute), and
// UndoDepth what the incremental variants' undo stacks held when this
// version of the state was made.
//
// Relation codes 1-6: <, =<, =, \=, >, >=; 7 - r negates r. The effective
// relation e is r when B is 1, 7 - r when B is 0, and r + 6 while B is
// open (7-12 only decide B).
//
// The slacks: le = c - sum of the least values of the terms (the sum can
// still be =< c exactly when le >= 0), ge = sum of the greatest values - c.
#pragma once

#include <cstdint>

#include "arith/int192.h"
#include "kernel/dvar.h"
#include "kernel/runtime.h"

enum : int { LIN_LT = 1, LIN_LE = 2, LIN_EQ = 3, LIN_NE = 4, LIN_GT = 5, LIN_GE = 6 };

// The variants, as the mode selects them.
enum lin_variant : int {
  LIN_GENERIC,   // any count, 192-bit sums, incremental
  LIN_M_K04,     // one to three summands, 192-bit, recomputed every call
  LIN_K15,       // any count, 64-bit, incremental
  LIN_M_K15,     // one to three summands, 64-bit
  LIN_K23,       // any count, 0/1 variables
  LIN_M_K23,     // one to three 0/1 variables
  LIN_K67,       // any count, 0/1 variables, coefficients +-1
  LIN_M_K67,     // one to three of those
};

// The variant of a mode and the summand count it fixes (0 for any).
lin_variant lin_select(int64_t mode, int* count);

// The effective relation for relation r and B's bounds.
int lin_effective(int r, lv_term bmin, lv_term bmax);

// Arithmetic the variants are written over: 192-bit sums (the exact ones)
// or 64-bit sums (where the posting side made sure nothing overflows).
template <typename N>
struct lin_num;

template <>
struct lin_num<fd_int192> {
  static fd_int192 zero() { return fd_int192{0, 0, 0}; }
  static fd_int192 from(int64_t v) { return fd_int192_ops::from_i64(v); }
  static int sign(const fd_int192& a) { return fd_int192_ops::sign(a); }
  static int compare(const fd_int192& a, const fd_int192& b) { return fd_int192_ops::compare(a, b); }
  static fd_int192 term(int64_t a, lv_term bound) { return fd_int192_ops::term_product(a, bound); }
  // Addition and subtraction report an overflow of the 192 bits.
  static fd_int192 add(const lv_foreign_env* env, const fd_int192& a, const fd_int192& b);
  static fd_int192 sub(const lv_foreign_env* env, const fd_int192& a, const fd_int192& b);
  // t / d rounded down or up: 0 when the quotient is a small integer
  // (*q), otherwise -1 below the small integers, 1 above them.
  static int div_floor(const fd_int192& t, int64_t d, int64_t* q);
  static int div_ceil(const fd_int192& t, int64_t d, int64_t* q);
  static uint64_t mod(const fd_int192& t, uint64_t d) { return fd_int192_ops::mod(t, d); }
  static bool small(const fd_int192& t, int64_t* v) { return fd_int192_ops::to_small(t, v); }
};

template <>
struct lin_num<int64_t> {
  static int64_t zero() { return 0; }
  static int64_t from(int64_t v) { return v; }
  static int sign(int64_t a) { return a < 0 ? -1 : a > 0; }
  static int compare(int64_t a, int64_t b) { return a < b ? -1 : a > b; }
  static int64_t term(int64_t a, lv_term bound) { return a * fd_small_value(bound); }
  static int64_t add(const lv_foreign_env*, int64_t a, int64_t b) { return a + b; }
  static int64_t sub(const lv_foreign_env*, int64_t a, int64_t b) { return a - b; }
  static int div_floor(int64_t t, int64_t d, int64_t* q);
  static int div_ceil(int64_t t, int64_t d, int64_t* q);
  static uint64_t mod(int64_t t, uint64_t d) {
    int64_t r = t % static_cast<int64_t>(d);
    return static_cast<uint64_t>(r < 0 ? r + static_cast<int64_t>(d) : r);
  }
  static bool small(int64_t t, int64_t* v) {
    *v = t;
    return fd_fits_small(t);
  }
};

// Decisions from the slacks (sign tests only), for effective relations:
// with B decided (1-6), the status 3 entailed, 4 failed or 2 undecided
// (4 for \= comes from its own step); with B open (7-12), the value B must
// take: 1, 0, or -1 while undecided.
int lin_status(int e, int le_sign, int ge_sign, int unfixed);
int lin_decide(int e, int le_sign, int ge_sign);

// Whether a list is a proper list of t(A, X, Attribute) with small
// coefficients (nonzero unless zero is allowed) and attributes.
bool lin_summands_well_formed(lv_term list, bool zero_allowed);

// The propagator entries of the variants (the propagator protocol).
int lin_run(lv_foreign_env* env, lv_term_ref state, lv_term_ref new_state, lv_term_ref actions, lv_term_ref goal,
            lin_variant variant, int count);
