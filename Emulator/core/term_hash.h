// Term hashing: byte-hash functions and the walks that feed them a term.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/worker.h"

// A byte hash: (bytes, length, running value) -> new running value. All
// arithmetic is unsigned 32-bit.
typedef uint32_t (*lv_byte_hash)(const uint8_t* bytes, size_t length, uint32_t h);

// Paul Hsieh's SuperFastHash started from the running value instead of the
// length; an empty input gives 0.
uint32_t lv_hash_superfast(const uint8_t* bytes, size_t length, uint32_t h);
uint32_t lv_hash_sdbm(const uint8_t* bytes, size_t length, uint32_t h);      // h * 65599 + byte
uint32_t lv_hash_bytesum(const uint8_t* bytes, size_t length, uint32_t h);   // h + the bytes
uint32_t lv_hash_mul31(const uint8_t* bytes, size_t length, uint32_t h);     // h * 31 + byte
uint32_t lv_hash_djb2(const uint8_t* bytes, size_t length, uint32_t h);      // h * 33 + byte
uint32_t lv_hash_djb2_xor(const uint8_t* bytes, size_t length, uint32_t h);  // (h * 33) ^ byte
// h for a non-empty input, 0 for an empty one.
uint32_t lv_hash_constant(const uint8_t* bytes, size_t length, uint32_t h);
// Bob Jenkins' lookup3 byte-oriented little-endian hash with the running
// value as its initial value.
uint32_t lv_hash_lookup3(const uint8_t* bytes, size_t length, uint32_t h);

// The hash mode of the computation under way: 1 when an unbound variable
// abandons the hash, 2 when variables are skipped; set to 0 when a hash was
// abandoned.
extern int lv_term_hash_mode;

// Hashes a term with a byte hash over at most depth levels (-1: no limit;
// the term must then be acyclic), starting from seed. Algorithms 2 to 9.
uint32_t lv_term_hash_walk(lv_term t, int64_t depth, uint32_t seed, lv_byte_hash hash);

// Algorithm 1: adds the term's parts to the accumulators A0-A2 of
// lv_term_hash_sum3_state, starting at the given cursor; returns the cursor.
struct lv_hash_sum3 {
  int32_t a[3];
};
extern lv_hash_sum3 lv_term_hash_sum3_state;
int lv_term_hash_sum3(lv_term t, int64_t depth, int cursor);

// The hash of a term by algorithm (0-15) over depth levels in the current
// mode; algorithms without a byte hash give 0.
uint32_t lv_term_hash(lv_term t, unsigned algorithm, int64_t depth);

// $term_hash_4_0_5(Term, Algorithm, Depth, Range, Hash).
int prolog_term_hash_4_0_5(lv_worker* w);
