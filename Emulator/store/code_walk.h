// Walking the code of a block: the owner of a code address, its clause and
// source line, the operands that refer to predicates and atoms, and the
// reset of code loaded from a file.
//
// Every walk here stays inside the registered block that holds its start
// (an address given by Prolog code may point anywhere): it stops at a word
// that is no instruction, at an instruction that would run past the block,
// and at the end of straight-line code.
#pragma once

#include <cstdint>

#include "core/term.h"
#include "store/code_block.h"

struct lv_pred;

// The first address past a block.
inline const uint32_t* lv_code_block_limit(const lv_code_block* b) {
  return reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(b) + lv_code_block_size(b));
}

// The block whose code holds an instruction address: a 4-aligned address
// from its code start to its end; null for any other address.
inline lv_code_block* lv_code_block_of(const void* address) {
  if ((reinterpret_cast<uintptr_t>(address) & 3) != 0) return nullptr;
  lv_code_block* b = lv_find_code_block(address);
  return b != nullptr && address >= static_cast<const void*>(lv_code_block_code(b)) ? b : nullptr;
}

// Steps over the instruction at p, which must lie before end; null when it
// is no instruction or runs past end. A NATIVE_OP continues at its operand,
// a KONTINUE at its stub (as lv_insn_next).
const uint32_t* lv_code_step(const uint32_t* p, const uint32_t* end, int* classification);

// Walks one clause's code from the block start to the first instruction
// that is not ordinary, replacing every "fail for now" operand by the
// block's alt_entry; returns the address reached.
const uint32_t* lv_code_block_end(lv_code_block* block);

// Walks the block's straight-line code and, in every internal entry header
// with several clauses, sets each clause entry's third word to the current
// retry end.
void lv_code_reset_entries(lv_code_block* block);

// The owner of the straight-line code that starts at start (an instruction
// of a registered block): the predicate operand of the END_OF_CLAUSE that
// ends it, or null for a stub, for code outside every block and when the
// code ends otherwise. *end (when non-null) receives the address after the
// last instruction stepped over.
lv_pred* lv_code_block_owner(const uint32_t* start, const uint32_t** end);

// 1 and *owner for a code address whose straight-line code has an owner;
// 0 when it lies in no registered block, or is a stub or a KONTINUE.
int lv_code_owner(const void* address, lv_pred** owner);

// Whether a word read from code names a predicate: a record of some
// module's table, or an internal entry header inside a registered block.
// Printers check predicate operands with it before they read them.
bool lv_code_known_pred(const void* pred);
// Whether it is an internal entry header inside a registered block.
bool lv_code_is_internal_header(const void* pred);

// The predicate called by the call instruction that ends just before a
// return address (its predicate operand), or null.
lv_pred* lv_code_pc_owner(const uint32_t* return_address);

// The position of a code address in a static clause.
struct lv_code_position {
  lv_pred* pred;
  lv_code_block* block;
  lv_term source_key;  // the block's source key
  int64_t clause;      // among the clauses with the same source key, from 1; 0 when not met
  int64_t calls;       // call sites before the address
  int64_t line;        // the source line there, or -1
};

// 1 and the position when the address lies in a clause of a static
// predicate (definition type 0 or 1) with a clause list; else 0.
int lv_code_owner_info(const void* address, lv_code_position* out);

// Visits the predicate, constant and functor operands of code: lv_code_scan_refs
// those of one clause's straight-line code from address, lv_code_scan_block
// those of all code of a block (internal predicates and the targets of
// failure continuations inside it included). kind is 'P', 'C' or 'F';
// operand is the operand's first word (two words hold the value).
typedef void (*lv_code_ref_visitor)(char kind, const uint32_t* operand, uint64_t value, void* arg);
void lv_code_scan_refs(const uint32_t* address, lv_code_ref_visitor visit, void* arg);
void lv_code_scan_block(lv_code_block* block, lv_code_ref_visitor visit, void* arg);

// The order of two code addresses (unsigned): -1, 0 or 1.
int lv_code_address_compare(const void* a, const void* b);

// A start-up step that does nothing.
void lv_empty_init_step();
