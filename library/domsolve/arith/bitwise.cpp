// Z = X op Y for op bitwise and (x/\y=z), or (x\/y=z) and xor (x\y=z) on
// integers in two's complement. State s(PX, PY, PZ, _, _, _, Kind, Handle,
// Stamp): Kind 1 selects the variant for 0/1 variables (used while the
// three domains lie within 0..1), anything else the general one.
//
// The 0/1 variant keeps the combinations of the truth table that the
// domains allow, fixes each variable that they leave one value, and is
// entailed when every combination of the domains satisfies the relation.
//
// The general variant loops until a pass changes nothing, over
//   a sign step on the high parts (the bits above the n bits that hold
//   every finite end point of the domains: all ones, all zeros, or, only
//   beside an infinite bound, a value below -1 (N) or above 0 (P)): each
//   variable keeps the high parts that some high parts of the other two fit;
//   a per-bit step on the bits the domains leave possible as 0 and as 1
//   (from their intervals, holes included): a bit value with no partners in
//   the truth table goes;
//   a bounds step: each bound moves to the nearest value that carries the
//   bits now fixed.
// Values go only through bounds.
#include "arith/arith_frame.h"

namespace {

enum op_kind { OP_AND, OP_OR, OP_XOR };

int apply(op_kind op, int x, int y) {
  switch (op) {
    case OP_AND: return x & y;
    case OP_OR: return x | y;
    default: return x ^ y;
  }
}

// The combinations (x, y, z) of one bit, as bit 4x + 2y + z of a mask,
// that the relation allows among the values given (bit v of each set: the
// value v is possible).
unsigned supported(op_kind op, unsigned xs, unsigned ys, unsigned zs) {
  unsigned out = 0;
  for (int x = 0; x < 2; x++)
    for (int y = 0; y < 2; y++) {
      int z = apply(op, x, y);
      if ((xs >> x & 1) && (ys >> y & 1) && (zs >> z & 1)) out |= 1u << (4 * x + 2 * y + z);
    }
  return out;
}
// The values of one variable (0 x, 1 y, 2 z) in a set of combinations.
unsigned projection(unsigned combos, int which) {
  unsigned out = 0;
  for (int c = 0; c < 8; c++)
    if (combos >> c & 1) out |= 1u << ((c >> (2 - which)) & 1);
  return out;
}

// The 0/1 variant.
int boolean_pass(const lv_foreign_env* env, op_kind op, dvar* v[3]) {
  unsigned sets[3];
  for (int i = 0; i < 3; i++)
    sets[i] = (dvar_contains(v[i], fd_make_small(0)) ? 1u : 0u) | (dvar_contains(v[i], fd_make_small(1)) ? 2u : 0u);
  unsigned combos = supported(op, sets[0], sets[1], sets[2]);
  if (combos == 0) return 4;
  int all = 1;
  for (int i = 0; i < 3; i++) {
    unsigned p = projection(combos, i);
    if (p != sets[i] && dvar_fix_interval(env, v[i], fd_make_small(p == 1 ? 0 : 1), fd_make_small(p == 1 ? 0 : 1)) < 0)
      return 4;
    all *= p == 3 ? 2 : 1;
  }
  return __builtin_popcount(combos) == all ? 3 : 2;
}

// High parts as a set of four: N (below -1), -1, 0, P (above 0).
enum : unsigned { H_N = 1, H_M1 = 2, H_0 = 4, H_P = 8 };

unsigned high_of(unsigned hx, unsigned hy, op_kind op) {
  // One high part with one other.
  auto one = [op](unsigned a, unsigned b) -> unsigned {
    switch (op) {
      case OP_AND:
        if (a == H_M1) return b;
        if (b == H_M1) return a;
        if (a == H_0 || b == H_0) return H_0;
        return a == H_N && b == H_N ? H_N : H_0 | H_P;
      case OP_OR:
        if (a == H_0) return b;
        if (b == H_0) return a;
        if (a == H_M1 || b == H_M1) return H_M1;
        return a == H_P && b == H_P ? H_P : H_M1 | H_N;
      default: {
        auto complement = [](unsigned h) -> unsigned {
          return h == H_M1 ? H_0 : h == H_0 ? H_M1 : h == H_N ? H_P : H_N;
        };
        if (a == H_0) return b;
        if (b == H_0) return a;
        if (a == H_M1) return complement(b);
        if (b == H_M1) return complement(a);
        return a == b ? H_0 | H_P : H_M1 | H_N;
      }
    }
  };
  unsigned out = 0;
  for (unsigned a = 1; a <= 8; a <<= 1)
    for (unsigned b = 1; b <= 8; b <<= 1)
      if ((hx & a) && (hy & b)) out |= one(a, b);
  return out;
}

unsigned possible_highs(const dvar* d) {
  unsigned h = 0;
  bool lo_inf = d->min == FD_INF, hi_sup = d->max == FD_SUP;
  if (lo_inf) h |= H_N;
  if (lo_inf || fd_small_value(d->min) < 0) h |= H_M1;
  if (hi_sup || fd_small_value(d->max) >= 0) h |= H_0;
  if (hi_sup) h |= H_P;
  return h;
}

// The sign step for the three variables. -1 failure, else whether a bound
// moved.
int sign_step(const lv_foreign_env* env, op_kind op, dvar* v[3], int n) {
  unsigned h[3] = {possible_highs(v[0]), possible_highs(v[1]), possible_highs(v[2])};
  unsigned keep[3] = {0, 0, 0};
  for (unsigned a = 1; a <= 8; a <<= 1)
    for (unsigned b = 1; b <= 8; b <<= 1) {
      if (!(h[0] & a) || !(h[1] & b)) continue;
      unsigned r = high_of(a, b, op) & h[2];
      if (r == 0) continue;
      keep[0] |= a;
      keep[1] |= b;
      keep[2] |= r;
    }
  int changed = 0;
  for (int i = 0; i < 3; i++) {
    unsigned r = keep[i];
    if (r == 0) return -1;
    lv_term lo = v[i]->min, hi = v[i]->max;
    if ((r & (H_0 | H_P)) == 0) hi = fd_make_small(-1);
    else if ((r & H_P) == 0) hi = fd_make_small((int64_t{1} << n) - 1);
    if ((r & (H_N | H_M1)) == 0) lo = fd_make_small(0);
    else if ((r & H_N) == 0) lo = fd_make_small(-(int64_t{1} << n));
    int c = dvar_fix_interval(env, v[i], lo, hi);
    if (c < 0) return -1;
    if (c > 0) changed = 1;
  }
  return changed;
}

// The bit count: the bit length of the largest magnitude (a negative v
// counting as -v - 1) over the finite ends of the domains' intervals
// nearest each infinite bound, and their finite bounds.
int bit_count(const dvar* const v[3]) {
  int64_t m = 0;
  auto take = [&m](lv_term b) {
    if (!fd_is_small(b)) return;
    int64_t x = fd_small_value(b);
    x = x < 0 ? -x - 1 : x;
    if (x > m) m = x;
  };
  for (int i = 0; i < 3; i++) {
    const dvar* d = v[i];
    take(d->min);
    take(d->max);
    if (d->min == FD_INF && d->max == FD_SUP) continue;
    if (d->min == FD_INF || d->max == FD_SUP) {
      dvar_iter it;
      dvar_iter_init(d, &it);
      lv_term lo, hi, first_hi = 0, last_lo = 0;
      bool first = true;
      do {
        dvar_iter_next_interval_tagged(&it, &lo, &hi);
        if (first) first_hi = hi;
        first = false;
        last_lo = lo;
      } while (!dvar_iter_done(&it));
      if (d->min == FD_INF) take(first_hi);
      if (d->max == FD_SUP) take(last_lo);
    }
  }
  int n = 0;
  while (n < 62 && (m >> n) != 0) n++;
  return n;
}

// The bits 0..n of a domain possible as 0 and as 1 (bit n both, the high
// part being the sign step's).
struct bit_masks {
  uint64_t may0, may1;
};

bit_masks masks_of(const dvar* d, int n) {
  uint64_t all = (uint64_t{2} << n) - 1;
  bit_masks m{uint64_t{1} << n, uint64_t{1} << n};
  dvar_iter it;
  dvar_iter_init(d, &it);
  do {
    lv_term lo, hi;
    dvar_iter_next_interval_tagged(&it, &lo, &hi);
    if (!fd_is_small(lo) || !fd_is_small(hi)) return {all, all};
    int64_t a = fd_small_value(lo), b = fd_small_value(hi);
    for (int i = 0; i < n; i++) {
      uint64_t bit = uint64_t{1} << i;
      if (static_cast<uint64_t>(b - a) >= bit || ((a ^ b) >> i & 1) != 0) {
        m.may0 |= bit;
        m.may1 |= bit;
      } else if ((a >> i) & 1) {
        m.may1 |= bit;
      } else {
        m.may0 |= bit;
      }
    }
  } while (!dvar_iter_done(&it) && (m.may0 & m.may1) != all);
  return m;
}

// The least value >= v whose bits 0..n-1 under the mask equal f (mask
// bits only); false when it would pass 2^62.
bool least_carrying(int64_t v, uint64_t mask, uint64_t f, int n, int64_t* out) {
  uint64_t low_all = (uint64_t{1} << n) - 1;
  int64_t high = v >> n;
  uint64_t y = static_cast<uint64_t>(v) & low_all;
  uint64_t d = (y & mask) ^ f;
  uint64_t x;
  bool found = true;
  if (d == 0) {
    x = y;
  } else {
    int i = 63 - __builtin_clzll(d);
    uint64_t upto_i = (uint64_t{2} << i) - 1;
    if (f >> i & 1) {
      x = (y & ~upto_i) | (f & upto_i);
    } else {
      uint64_t candidates = ~y & ~mask & low_all & ~upto_i;
      if (candidates == 0) {
        found = false;
        x = 0;
      } else {
        int j = __builtin_ctzll(candidates);
        uint64_t below_j = (uint64_t{1} << j) - 1;
        x = (y & ~((below_j << 1) | 1)) | (uint64_t{1} << j) | (f & below_j);
      }
    }
  }
  if (!found) {
    // Into the next high part, with the free bits clear.
    high += 1;
    x = f;
  }
  if (high >= (int64_t{1} << (62 - n))) return false;
  *out = static_cast<int64_t>((static_cast<uint64_t>(high) << n) | x);
  return true;
}

// The greatest value <= v carrying the bits: the least one at or above ~v
// carrying the complemented bits, complemented.
bool greatest_carrying(int64_t v, uint64_t mask, uint64_t f, int n, int64_t* out) {
  int64_t r;
  if (!least_carrying(~v, mask, ~f & mask, n, &r)) return false;
  *out = ~r;
  return true;
}

// The bounds step for one variable: -1 failure, else whether it changed.
int bounds_step(const lv_foreign_env* env, dvar* d, bit_masks m, int n) {
  uint64_t low_all = (uint64_t{1} << n) - 1;
  uint64_t fixed = (m.may0 ^ m.may1) & low_all, f = m.may1 & fixed;
  if (fixed == 0) return 0;
  int changed = 0;
  for (;;) {
    lv_term lo = d->min, hi = d->max;
    int64_t v;
    if (fd_is_small(lo)) {
      if (!least_carrying(fd_small_value(lo), fixed, f, n, &v) || v > FD_SMALL_MAX) return -1;
      lo = fd_make_small(v);
    }
    if (fd_is_small(hi)) {
      if (!greatest_carrying(fd_small_value(hi), fixed, f, n, &v) || v < FD_SMALL_MIN) return -1;
      hi = fd_make_small(v);
    }
    int c = dvar_fix_interval(env, d, lo, hi);
    if (c < 0) return -1;
    if (c == 0) return changed;
    changed = 1;
    // Holes may have moved the bounds further: again from there.
    if (d->min == lo && d->max == hi) return changed;
  }
}

int general_pass(const lv_foreign_env* env, op_kind op, dvar* v[3]) {
  const dvar* cv[3] = {v[0], v[1], v[2]};
  int n = bit_count(cv);
  for (;;) {
    int changed = sign_step(env, op, v, n);
    if (changed < 0) return 4;
    bit_masks m[3];
    for (int i = 0; i < 3; i++) m[i] = masks_of(v[i], n);
    // Per bit: the values without a partner in the truth table go.
    for (int i = 0; i <= n; i++) {
      unsigned s[3];
      for (int k = 0; k < 3; k++) s[k] = (m[k].may0 >> i & 1) | (m[k].may1 >> i & 1) << 1;
      unsigned combos = supported(op, s[0], s[1], s[2]);
      if (combos == 0) return 4;
      for (int k = 0; k < 3; k++) {
        unsigned p = projection(combos, k);
        if (!(p & 1)) m[k].may0 &= ~(uint64_t{1} << i);
        if (!(p & 2)) m[k].may1 &= ~(uint64_t{1} << i);
      }
    }
    for (int k = 0; k < 3; k++) {
      int c = bounds_step(env, v[k], m[k], n);
      if (c < 0) return 4;
      changed |= c;
    }
    if (!changed) break;
  }
  return dvar_is_fixed(v[0]) && dvar_is_fixed(v[1]) && dvar_is_fixed(v[2]) ? 3 : 2;
}

bool within_0_1(const dvar* d) {
  return fd_bound_compare(d->min, fd_make_small(0)) >= 0 && fd_bound_compare(d->max, fd_make_small(1)) <= 0;
}

int bitwise(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal, op_kind op, const char* name) {
  fd_arith_block* b = fd_arith_begin(env, state, new_state, actions, 3, 9, name);
  if (b == nullptr) return 0;
  dvar* v[3] = {&b->d[0], &b->d[1], &b->d[2]};
  lv_term kind = fd_deref(fd_arg(fd_deref(fd_termref(env, new_state)), 7));
  bool boolean = kind == fd_make_small(1) && within_0_1(v[0]) && within_0_1(v[1]) && within_0_1(v[2]);
  int status = boolean ? boolean_pass(env, op, v) : general_pass(env, op, v);
  return fd_arith_end(env, b, 3, new_state, actions, goal, status);
}

}  // namespace

int fd_and(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return bitwise(env, state, new_state, actions, goal, OP_AND, "x/\\y=z: malformed state");
}

int fd_or(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return bitwise(env, state, new_state, actions, goal, OP_OR, "x\\/y=z: malformed state");
}

int fd_xor(lv_foreign_env* env, fd_t state, fd_t new_state, fd_t actions, fd_t goal) {
  return bitwise(env, state, new_state, actions, goal, OP_XOR, "x\\y=z: malformed state");
}
