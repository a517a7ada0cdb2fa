// Test support for big integers: boxes held in vectors, conversions to and
// from GMP integers, random boxes, and a runner that drives a kernel through
// its room protocol and checks what it wrote.
#pragma once

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/term.h"
#include "machine/bignum.h"

namespace bignum_test {

// A box: header, limbs and the trailer.
using Box = std::vector<lv_term>;

inline uint64_t limb_count(const lv_term* box) { return lv_box_value_words(box[0]); }

inline bool is_normal(const lv_term* box) {
  uint64_t n = limb_count(box);
  if (n < 1 || lv_box_is_float(box[0])) return false;
  if (n == 1) return true;
  int64_t top = static_cast<int64_t>(box[n]);
  bool below_negative = static_cast<int64_t>(box[n - 1]) < 0;
  if (top == 0 && !below_negative) return false;
  if (top == -1 && below_negative) return false;
  return true;
}

// A box from limbs, normalised.
inline Box make_box(std::vector<uint64_t> limbs) {
  while (limbs.size() > 1) {
    uint64_t top = limbs.back();
    bool below_negative = static_cast<int64_t>(limbs[limbs.size() - 2]) < 0;
    if ((top == 0 && !below_negative) || (top == ~uint64_t{0} && below_negative))
      limbs.pop_back();
    else
      break;
  }
  Box b;
  b.push_back(lv_box_header(limbs.size(), false));
  b.insert(b.end(), limbs.begin(), limbs.end());
  b.push_back(b[0]);
  return b;
}

// RAII holder of a GMP integer.
struct Z {
  mpz_t v;
  Z() { mpz_init(v); }
  explicit Z(const char* decimal) { mpz_init_set_str(v, decimal, 10); }
  explicit Z(const lv_term* box) {
    mpz_init(v);
    uint64_t n = limb_count(box);
    mpz_import(v, n, -1, 8, 0, 0, box + 1);
    if (static_cast<int64_t>(box[n]) < 0) {
      mpz_t modulus;
      mpz_init(modulus);
      mpz_setbit(modulus, 64 * n);
      mpz_sub(v, v, modulus);
      mpz_clear(modulus);
    }
  }
  Z(const Z& other) { mpz_init_set(v, other.v); }
  Z& operator=(const Z& other) {
    mpz_set(v, other.v);
    return *this;
  }
  ~Z() { mpz_clear(v); }
  std::string str(int base = 10) const {
    std::vector<char> buffer(mpz_sizeinbase(v, base < 0 ? -base : base) + 2);
    mpz_get_str(buffer.data(), base, v);
    return buffer.data();
  }
  bool operator==(const Z& other) const { return mpz_cmp(v, other.v) == 0; }
};

inline std::ostream& operator<<(std::ostream& os, const Z& z) { return os << z.str(16); }

// The normal box of a GMP integer.
inline Box box_of(const Z& z) {
  size_t bits = mpz_sizeinbase(z.v, 2);
  std::vector<uint64_t> limbs(bits / 64 + 2, 0);
  size_t count = 0;
  mpz_export(limbs.data(), &count, -1, 8, 0, 0, z.v);
  if (mpz_sgn(z.v) < 0) {
    // Two's complement over all the limbs (one more than the magnitude).
    uint64_t carry = 1;
    for (auto& l : limbs) {
      l = ~l + carry;
      carry = carry != 0 && l == 0 ? 1 : 0;
    }
  }
  return make_box(limbs);
}

// Random boxes whose limbs and 32-bit digits favour the patterns that reach
// the carry, borrow and correction paths: 0, all ones, the sign bit alone.
class Generator {
 public:
  explicit Generator(uint64_t seed) : rng_(seed) {}

  uint64_t below(uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(rng_); }
  uint64_t word() { return rng_(); }

  uint32_t digit() {
    switch (below(8)) {
      case 0: return 0;
      case 1: return 0xFFFFFFFF;
      case 2: return 0x80000000;
      case 3: return 0x7FFFFFFF;
      case 4: return 1;
      default: return static_cast<uint32_t>(rng_());
    }
  }

  uint64_t limb() {
    switch (below(6)) {
      case 0: return word();
      case 1: return (static_cast<uint64_t>(digit()) << 32) | digit();
      default: return word();
    }
  }

  // Limb counts from 1 to max_limbs, mostly short.
  uint64_t length(uint64_t max_limbs) {
    switch (below(10)) {
      case 0: case 1: case 2: case 3: return 1 + below(std::min<uint64_t>(2, max_limbs));
      case 4: case 5: case 6: return 1 + below(std::min<uint64_t>(12, max_limbs));
      default: return 1 + below(max_limbs);
    }
  }

  Box box(uint64_t max_limbs = 400) {
    uint64_t n = length(max_limbs);
    std::vector<uint64_t> limbs(n);
    for (auto& l : limbs) l = limb();
    if (below(8) == 0) limbs[n - 1] = below(2) ? 0 : ~uint64_t{0};  // a redundant top: shorter box
    return make_box(limbs);
  }

 private:
  std::mt19937_64 rng_;
};

// A kernel's result: a negative code, or 0 and the box (header and limbs).
struct Result {
  int32_t code = 0;
  Box box;
};

constexpr lv_term CANARY = 0x5a5a5a5a5a5a5a5a;
constexpr int CANARY_WORDS = 4;

// Runs a kernel first on an empty region and on one word less than it asks
// for (it must answer the same, or succeed when its count is only an upper
// bound, and write nothing beyond the region), then on exactly the words it
// asked for, where it must succeed, leave room for the trailer and, when
// normal is set, leave a normal box.
template <typename Kernel>
Result run(Kernel kernel, const lv_term* x, const lv_term* y, bool normal = true, bool exact = true) {
  Result r;
  std::vector<lv_term> region(CANARY_WORDS, CANARY);
  int32_t need = kernel(x, y, region.data(), region.data());
  if (need < 0) {
    r.code = need;
    return r;
  }
  EXPECT_GT(need, 0) << "succeeded in an empty region";
  if (need <= 0) return r;
  if (need > 1) {
    region.assign(need - 1 + CANARY_WORDS, CANARY);
    int32_t short_code = kernel(x, y, region.data(), region.data() + need - 1);
    if (exact || short_code != 0) {
      EXPECT_EQ(short_code, need);
    }
    for (int i = 0; i < CANARY_WORDS; i++) EXPECT_EQ(region[need - 1 + i], CANARY) << "wrote past a short region";
  }
  region.assign(need + CANARY_WORDS, CANARY);
  int32_t code = kernel(x, y, region.data(), region.data() + need);
  EXPECT_EQ(code, 0) << "asked for room twice";
  if (code != 0) {
    r.code = code;
    return r;
  }
  for (int i = 0; i < CANARY_WORDS; i++) EXPECT_EQ(region[need + i], CANARY) << "wrote past the region";
  uint64_t n = limb_count(region.data());
  EXPECT_LE(n + 2, static_cast<uint64_t>(need)) << "no room for the trailer";
  if (normal) {
    EXPECT_TRUE(is_normal(region.data())) << "result not normal";
  }
  r.box.assign(region.begin(), region.begin() + static_cast<int64_t>(std::min<uint64_t>(n + 1, need)));
  r.box.push_back(r.box[0]);
  return r;
}

}  // namespace bignum_test
