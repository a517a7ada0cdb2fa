// Stepping over and decoding instructions: the walker contract every reader
// of code relies on. A walker needs nothing but the opcode word, the format
// table and the length rules of the variable formats.
#pragma once

#include <cstddef>
#include <cstdint>

#include "machine/instructions.h"

// The layout of an internal entry header (the code of a predicate whose
// call kind is ENTER_INTERNAL): shaped like the head of a predicate record.
struct lv_internal_entry {
  uint32_t marker;      // LV_INTERNAL_HEADER_WORD
  uint32_t arity;
  uint32_t frame_size;  // 16 + 8 * arity
  uint32_t kontinue;    // the KONTINUE opcode word
  const uint32_t* first_entry;  // header + 32 for one clause, else the first clause entry
  uint64_t unused;
};
static_assert(sizeof(lv_internal_entry) == 32);

// A clause entry behind an internal entry header.
struct lv_clause_entry {
  lv_clause_entry* link;  // 0 in the last entry
  const uint32_t* code;
  uint64_t unused[2];
};
static_assert(sizeof(lv_clause_entry) == 32);

// Classification of the instruction stepped over.
enum : int {
  LV_STEP_ORDINARY = 0,
  LV_STEP_CALL = 1,   // calls and leaves a return address behind
  LV_STEP_LEAVE = 2,  // leaves the clause
  LV_STEP_END = 3,    // ends straight-line code
};

// Steps over the instruction (or internal entry header) at p and returns the
// address of the next one; *classification (when non-null) receives the
// classification. From a KONTINUE word the result is the start of its 16-byte
// continuation stub, 12 bytes earlier.
const uint32_t* lv_insn_next(const uint32_t* p, int* classification);

// As lv_insn_next, and every L operand holding the shared "fail for now"
// code is replaced by fail_address.
const uint32_t* lv_insn_next_replacing(uint32_t* p, int* classification, const uint32_t* fail_address);

// Length in words of the instruction at p (not for headers or KONTINUE).
uint64_t lv_insn_length(const uint32_t* p);

// One decoded operand.
struct lv_operand {
  char kind;             // a letter of the operand formats
  uint64_t value;        // X, Y, S, N: the word; C, F, P, A, L, I: the 64-bit value;
                         // B: the box header; R: the first register; G: the count
  const uint32_t* at;    // the operand's first word
  uint32_t count;        // R: the list's length; G: pairs; B: value words
};

constexpr unsigned LV_MAX_OPERANDS = 6;

struct lv_decoded_insn {
  lv_insn number;
  int32_t format;
  unsigned operand_count;  // alignment words not counted
  lv_operand operands[LV_MAX_OPERANDS];
  uint64_t length;  // words
};

// Decodes the instruction at p. Returns false for an odd opcode word, a word
// past the table or an invalid format.
bool lv_insn_decode(const uint32_t* p, lv_decoded_insn* out);

// Reads a 64-bit operand (two words).
inline uint64_t lv_code_read64(const uint32_t* p) {
  uint64_t v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
inline void lv_code_write64(uint32_t* p, uint64_t v) { __builtin_memcpy(p, &v, sizeof v); }

// Register operand encodings.
constexpr uint32_t lv_x_operand(unsigned n) { return 320 + 8 * n; }
constexpr uint32_t lv_y_operand(unsigned k) { return 16 + 8 * k; }
constexpr unsigned lv_x_index(uint32_t operand) { return (operand - 320) / 8; }
constexpr unsigned lv_y_index(uint32_t operand) { return (operand - 16) / 8; }

// Prints one instruction as "<address>: NAME operands" into buffer (cut to
// size), with terms printed by the given function (or as hexadecimal words
// when it is null). Returns the next instruction's address.
typedef void (*lv_term_printer)(uint64_t term, char* buffer, size_t size);
const uint32_t* lv_insn_print(const uint32_t* p, char* buffer, size_t size, lv_term_printer print_term);
