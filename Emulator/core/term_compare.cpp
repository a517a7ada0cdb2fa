// The standard order of terms.
//
// lv_compare_terms is iterative. Argument runs still to be compared wait on a
// work stack of {left cell, right cell, count} records that grows upward from
// TR. When two different compound terms with the same functor meet, the
// argument cell that led to the one at the higher address is overwritten
// with the other one, its old content saved on the pair stack below B: met
// again, as in cyclic terms, the pair is then one word and compares equal at
// once. Every overwrite is undone before the comparison returns.
#include "core/term_compare.h"

#include "core/atoms.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_walks.h"

namespace {

enum kind : int { NUMBER = 1, ATOM = 2, COMPOUND = 3 };

inline int kind_of(lv_term t) {
  if (lv_is_atomic(t)) return lv_is_small(t) ? NUMBER : ATOM;
  if (lv_is_list(t)) return COMPOUND;
  return lv_is_box_header(*lv_struct_cells(t)) ? NUMBER : COMPOUND;
}

inline int sign(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }
inline int usign(uint64_t a, uint64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// Two's-complement limbs, least significant first; the shorter one is
// sign-extended. Once the signs agree, the limbs compare as unsigned words
// from the most significant down.
int compare_big(const lv_term* a, const lv_term* b) {
  uint64_t na = lv_box_value_words(a[0]), nb = lv_box_value_words(b[0]);
  uint64_t fill_a = static_cast<int64_t>(a[na]) < 0 ? ~uint64_t{0} : 0;
  uint64_t fill_b = static_cast<int64_t>(b[nb]) < 0 ? ~uint64_t{0} : 0;
  if (fill_a != fill_b) return fill_a != 0 ? -1 : 1;
  for (uint64_t i = na > nb ? na : nb; i >= 1; i--) {
    uint64_t x = i <= na ? a[i] : fill_a;
    uint64_t y = i <= nb ? b[i] : fill_b;
    if (x != y) return usign(x, y);
  }
  return 0;
}

int compare_numbers(lv_term l, lv_term r) {
  bool lbox = lv_is_struct(l), rbox = lv_is_struct(r);
  const lv_term* lc = lbox ? lv_struct_cells(l) : nullptr;
  const lv_term* rc = rbox ? lv_struct_cells(r) : nullptr;
  bool lfloat = lbox && lv_box_is_float(lc[0]);
  bool rfloat = rbox && lv_box_is_float(rc[0]);
  if (lfloat != rfloat) return lfloat ? -1 : 1;
  if (lfloat) {
    double x = lv_double_from_bits(lc[1]), y = lv_double_from_bits(rc[1]);
    bool xnan = x != x, ynan = y != y;
    if (xnan || ynan) return xnan == ynan ? 0 : xnan ? 1 : -1;
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (!lbox && !rbox) return sign(lv_small_value(l), lv_small_value(r));
  // A big integer lies outside the small range: its sign decides.
  if (!lbox) return static_cast<int64_t>(rc[lv_box_value_words(rc[0])]) < 0 ? 1 : -1;
  if (!rbox) return static_cast<int64_t>(lc[lv_box_value_words(lc[0])]) < 0 ? -1 : 1;
  return compare_big(lc, rc);
}

// Frozen-variable markers are atom-tagged but are no atoms: they come before
// every atom, in the order they were made.
int compare_atoms(lv_term l, lv_term r) {
  bool lm = lv_is_frozen_marker(l), rm = lv_is_frozen_marker(r);
  if (lm || rm) return lm && rm ? usign(l, r) : lm ? -1 : 1;
  return lv_compare_atom_text(lv_atom_text(l), lv_atom_text(r));
}

inline lv_term functor_of(lv_term t) { return lv_is_list(t) ? LV_FUNCTOR_DOT_2 : *lv_struct_cells(t); }

// Compound terms by arity, then name.
int compare_functors(lv_term lf, lv_term rf) {
  if (lf == rf) return 0;
  unsigned la = lv_functor_arity(lf), ra = lv_functor_arity(rf);
  if (la != ra) return la < ra ? -1 : 1;
  return compare_atoms(lv_functor_atom(lf), lv_functor_atom(rf));
}

// The order of two different non-variable words as far as it can be told
// without their arguments; 0 for two compound terms with the same functor
// (mutables excepted: they are ordered by address).
int compare_top(lv_term l, lv_term r) {
  int lk = kind_of(l), rk = kind_of(r);
  if (lk != rk) return lk < rk ? -1 : 1;
  if (lk == NUMBER) return compare_numbers(l, r);
  if (lk == ATOM) return compare_atoms(l, r);
  lv_term lf = functor_of(l), rf = functor_of(r);
  int c = compare_functors(lf, rf);
  if (c != 0) return c;
  if (lf == LV_FUNCTOR_MUTABLE_2) return usign(l, r);
  return 0;
}

// Words of a work record, and words that must stay free between the work
// stack and the pair stack for one more record and one more undo entry.
constexpr int64_t RECORD_WORDS = 3;
constexpr int64_t PUSH_WORDS = RECORD_WORDS + 2;
constexpr int64_t GROW_CELLS = 512;

inline void ensure_room(lv_worker* w, int64_t depth) {
  if ((w->B + w->pair_index) - (w->TR + depth) < PUSH_WORDS) lv_shift_args_to_choice(w, depth, GROW_CELLS);
}

}  // namespace

int lv_compare_atom_text(const char* left, const char* right) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(left);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(right);
  while (*a == *b) {
    if (*a == 0) return 0;
    a++;
    b++;
  }
  if (*a == 0) return -1;
  if (*b == 0) return 1;
  if (*a == 0xC0) return -1;  // code 0 comes first
  if (*b == 0xC0) return 1;
  return *a < *b ? -1 : 1;
}

int lv_compare_shallow(lv_term left, lv_term right) {
  if (left == right) return 0;
  int c = compare_top(left, right);
  if (c != 0 || kind_of(left) != COMPOUND) return c;
  return usign(left & ~LV_TAG_MASK, right & ~LV_TAG_MASK);
}

int lv_compare_terms(lv_worker* w, lv_term left, lv_term right) {
  int result = compare_top(left, right);
  if (result != 0 || kind_of(left) != COMPOUND) return result;
  const int32_t undo_rest = w->pair_index;
  int64_t depth = 0;  // words on the work stack
  lv_term* lp;
  lv_term* rp;
  uint64_t n;
  if (lv_is_list(left)) {
    lp = lv_list_cells(left);
    rp = lv_list_cells(right);
    n = 2;
  } else {
    lp = lv_struct_cells(left) + 1;
    rp = lv_struct_cells(right) + 1;
    n = lv_functor_arity(lp[-1]);
  }
  for (;;) {
    while (n == 0) {
      if (depth == 0) goto out;
      depth -= RECORD_WORDS;
      lv_term* record = w->TR + depth;
      lp = reinterpret_cast<lv_term*>(record[0]);
      rp = reinterpret_cast<lv_term*>(record[1]);
      n = record[2];
    }
    lv_term* lc = lp++;
    lv_term* rc = rp++;
    n--;
    lv_term x = *lc, y = *rc;
    if (x == y) continue;
    x = lv_deref(x);
    y = lv_deref(y);
    if (x == y) continue;
    if (lv_is_ref(x) || lv_is_ref(y)) {
      result = lv_is_ref(x) && lv_is_ref(y) ? usign(x, y) : lv_is_ref(x) ? -1 : 1;
      goto out;
    }
    result = compare_top(x, y);
    if (result != 0) goto out;
    if (kind_of(x) != COMPOUND) continue;
    // The same functor: the arguments decide. Make the pair one word for
    // later meetings, and keep the rest of the present run.
    ensure_room(w, depth);
    if (x > y)
      lv_pair_overwrite(w, lc, y);
    else
      lv_pair_overwrite(w, rc, x);
    if (n > 0) {
      lv_term* record = w->TR + depth;
      record[0] = reinterpret_cast<lv_term>(lp);
      record[1] = reinterpret_cast<lv_term>(rp);
      record[2] = n;
      depth += RECORD_WORDS;
    }
    if (lv_is_list(x)) {
      lp = lv_list_cells(x);
      rp = lv_list_cells(y);
      n = 2;
    } else {
      lp = lv_struct_cells(x) + 1;
      rp = lv_struct_cells(y) + 1;
      n = lv_functor_arity(lp[-1]);
    }
  }
out:
  lv_pair_undo(w, undo_rest);
  return result;
}

int lv_standard_order(lv_worker* w, lv_term left, lv_term right) {
  left = lv_deref(left);
  right = lv_deref(right);
  if (left == right) return 0;
  if (lv_is_ref(left) || lv_is_ref(right)) {
    if (lv_is_ref(left) && lv_is_ref(right)) return usign(left, right);
    return lv_is_ref(left) ? -1 : 1;
  }
  return lv_compare_terms(w, left, right);
}
