// The check of a code block restored from a saved state, before it is
// registered: its words are instructions and internal entry headers with
// their try records and nothing else, no instruction is one that code read
// from a file may not hold, and every operand is one the emulator can
// trust (store/code_bounds.h): constants atomic, functors functor words,
// boxes well formed, predicate operands inside the block at an internal
// entry header, failure continuations a shared fail code or an
// instruction (or try record) of the block, try records aimed at its
// instructions. Predicate operands outside the block are not looked at:
// the relocation made them predicate records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/code_block.h"

// True when the block passes; else false and the reason in message.
bool lv_state_check_code(lv_code_block* block, char* message, size_t size);

// A box (header and value words, words of 64 bits in all) as the runtime
// makes them: a float holds one canonical value, an integer the fewest
// limbs and a value outside the small-integer range.
bool lv_state_box_valid(const uint64_t* box, uint64_t words);
