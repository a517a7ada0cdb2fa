// The argument registers live at a code address: what a handler frame
// injected there must save and restore.
#pragma once

#include <cstdint>

struct lv_worker;

// Registers live at an address: X0..X255 exactly, and for the overflow
// registers one more than the highest that is read (0 when none).
struct lv_live_set {
  uint64_t bits[4];
  uint64_t overflow;
};

inline bool lv_live_set_has(const lv_live_set& s, unsigned r) { return r < 256 && (s.bits[r >> 6] >> (r & 63) & 1) != 0; }

// One more than the highest live register, 0 when none is live.
uint64_t lv_live_set_count(const lv_live_set& s);

// The registers live at address: a NATIVE_OP there is followed to the
// bytecode it replaced; the straight-line code from there is decoded to its
// end, failure continuations and choicepoint alternatives are analysed in
// turn, and the code is walked backwards. A register written before it is
// read is not live. The worker names the called predicate (SWITCH_ON_PRED);
// it may be null.
void lv_live_x_register_set(lv_worker* w, const uint32_t* address, lv_live_set* out);

// The number of argument registers live at address, at least nested (the
// count carried from an enclosing analysis; 0 at the top).
int lv_live_x_registers(lv_worker* w, const uint32_t* address, int nested);

// The epoch of the mark table, 1 to 255 (0 before the first run). Each run
// takes the next; after 255 the marks are cleared and it starts at 1 again.
unsigned lv_live_registers_epoch();
