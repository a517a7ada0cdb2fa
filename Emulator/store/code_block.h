// Code blocks: compiled code with a fixed header, registered in one
// address-ordered tree so that any code address maps back to its block.
#pragma once

#include <cstdint>

#include "core/term.h"

struct lv_code_block {
  lv_code_block* next;     // next block of the clause list; in the last, its clause number
  const uint32_t* alt_entry;  // the static fail code when made
  uint32_t size_key;       // block bytes (header included) << 9 | nine clause-key bits
  uint32_t marks;          // LV_BLOCK_IN_LIST while the block belongs to a clause list
  lv_term source_key;      // the key by which clauses are erased by source; [] when none
  lv_term source;          // source information; [] when none
  uint64_t* side_table;    // {byte size, entries...} or null
  // code words follow
};
static_assert(sizeof(lv_code_block) == 48);

constexpr uint32_t LV_BLOCK_IN_LIST = 1;
// The block's code is a hidden call ($pc_hidden_call/1 answers yes for it).
constexpr uint32_t LV_BLOCK_HIDDEN_CALL = 2;

inline uint32_t* lv_code_block_code(lv_code_block* b) { return reinterpret_cast<uint32_t*>(b + 1); }
inline uint64_t lv_code_block_size(const lv_code_block* b) { return b->size_key >> 9; }
// The largest block (header included) whose byte size the 23 bits of the
// size word hold, a whole number of 8-byte words.
constexpr uint64_t LV_CODE_BLOCK_MAX_BYTES = (uint64_t{1} << 23) - 8;
inline uint32_t lv_code_block_key_bits(const lv_code_block* b) { return b->size_key & 0x1FF; }

// A block with room for the given number of code words (memory category
// "compiled code:"), its header set, the code cleared; not registered.
lv_code_block* lv_code_block_new(uint64_t code_words);
void lv_code_block_free(lv_code_block* block);

// The tree of registered blocks.
void lv_code_block_register(lv_code_block* block);
void lv_code_block_unregister(lv_code_block* block);
// The registered block with start <= address < start + size, or null.
lv_code_block* lv_find_code_block(const void* address);
// Empties the tree (start-up).
void lv_code_blocks_reset();
// Registered blocks, and the tree's height (for tests).
uint64_t lv_code_block_count();
unsigned lv_code_tree_level();

// Writes code-resident headers at position and returns the position after
// them. Form 1: an internal entry header for target. Form 0: an inline try
// record for target (cp_size 48 + 8 x arity rounded up to even), its
// last_or_end pointing to itself, linked from the previous record (the
// 64-bit word 32 bytes before position) when the 32 bytes before position
// are a try record. An internal entry header's target is the first record's
// TRY word when several clauses follow it, or the clause's code at
// header + 32 for one. Form 2: first closes the series with
// a record for the target in the previous record's last_or_end word
// (cp_size 48 + 8 x arity, next 0), then writes a form-0 record.
uint32_t* lv_code_write_entry_header(uint32_t* position, const uint32_t* target, unsigned arity, int form);

// The bytecode a NATIVE_OP at address replaced, else the address itself.
const uint32_t* lv_code_deref(const uint32_t* address);

// Words of a first-argument test that a key chain skips: 4 for
// GET_CONSTANT_X0Q and GET_STRUCTURE_X0Q, 3 for their plain forms, 1 for
// GET_NIL_X0 and GET_LIST_X0, else 0.
int lv_insn_arg_class(uint32_t first_word);

// -1 when entry is not 8-aligned; -4 when the instruction four words before
// it is GET_CONSTANT_X0Q or GET_STRUCTURE_X0Q with the operand key; else 0.
int lv_entry_tests_key(const uint32_t* entry, lv_term key);
