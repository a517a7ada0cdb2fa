// The permanent variables live at a continuation: those that the code from
// there may read before it writes them. The garbage collector treats only
// these as roots of a frame; a dead one may hold a stale word.
//
// The code is walked forward from the continuation to the end of the clause,
// through calls and into the targets of failure continuations inside the
// same block. Every case the walk cannot follow counts every variable live:
// a continuation outside the registered blocks (stubs, the static code), an
// instruction that builds a new frame, an end of straight-line code other
// than END_OF_CLAUSE, an entry into other code without a call, a word that
// is no instruction. The walk allocates nothing.
#pragma once

#include <cstdint>

// Variables 0 to 255 are told apart; any above them counts as live.
constexpr unsigned LV_TRACKED_PERMANENTS = 256;

struct lv_live_permanents {
  bool all;  // every variable counts as live
  uint64_t bits[LV_TRACKED_PERMANENTS / 64];
};

inline bool lv_permanent_live(const lv_live_permanents& s, uint64_t k) {
  return s.all || k >= LV_TRACKED_PERMANENTS || (s.bits[k >> 6] >> (k & 63) & 1) != 0;
}

// Results kept by continuation during one run of a caller (the collector
// clears it before each environment pass: code may change between runs).
struct lv_permanents_memo {
  static constexpr unsigned SLOTS = 64;
  struct slot {
    const uint32_t* continuation;
    lv_live_permanents set;
  } slots[SLOTS];
};
void lv_permanents_memo_clear(lv_permanents_memo* memo);

// The permanent variables live at the continuation; memo may be null.
void lv_code_live_permanents(const uint32_t* continuation, lv_live_permanents* out, lv_permanents_memo* memo);
