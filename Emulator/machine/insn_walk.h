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

// Length in words of the instruction (or internal entry header with its
// clause entries) at p when all of it lies before end; 0 when p holds no
// instruction or the instruction runs past end. Reads nothing at or past
// end: the walkers of code that is not trusted (any address given by Prolog
// code) step with it.
uint64_t lv_insn_length_within(const uint32_t* p, const uint32_t* end);

// lv_insn_decode for an instruction that must lie before end.
bool lv_insn_decode_within(const uint32_t* p, const uint32_t* end, lv_decoded_insn* out);

// Operands that receive a new variable. A clause's source information holds
// one word (the variable's name) for each of them, in code order. They are:
// the target X register of GET_X_VARIABLE, PUT_X_VARIABLE, UNIFY_X_VARIABLE
// and STORE_X_VARIABLE, and the XVAR positions of GET_XVAR_XVAR,
// GET_LIST_XVAR_XVAR, GET_STRUCTURE_XVAR_XVAR and the U2_ forms; the Y
// operand of every *_Y_VARIABLE, *_Y_UNSAFE_VARIABLE and *_Y_FIRST_VARIABLE
// instruction; each "variable" entry of a register-load list; each pair of
// a register-save list.
//
// Whether operand i (alignment words not counted) receives one; for a list
// operand, whether its entry does.
bool lv_insn_receives_new_variable(const lv_decoded_insn& d, unsigned i, uint32_t entry);
// How many new variables the instruction makes.
uint64_t lv_insn_new_variable_count(const lv_decoded_insn& d);

// Whether the instruction is a call site of the source information (one
// word, the call's line, follows each): the calls that leave a return
// address, the last calls and the EXECUTE forms (END_OF_CLAUSE is none).
bool lv_insn_is_call_site(lv_insn n);

// Prints one instruction as "<address>: NAME operands" into buffer (cut to
// size), with terms printed by the given function (or as hexadecimal words
// when it is null). Returns the next instruction's address.
typedef void (*lv_term_printer)(uint64_t term, char* buffer, size_t size);
const uint32_t* lv_insn_print(const uint32_t* p, char* buffer, size_t size, lv_term_printer print_term);

// What lv_insn_print_with asks its caller; every hook may be null.
struct lv_insn_print_options {
  lv_term_printer term;  // C and F operands; null: hexadecimal words
  // P operands and the predicate of a KONTINUE stub; null: the address.
  void (*pred)(const void* pred, char* buffer, size_t size);
  // The name of a shared code address in an A operand, or null.
  const char* (*code_name)(const void* address);
  // Called for each operand that receives a new variable, in code order;
  // a non-null result is printed after the register in square brackets.
  const char* (*new_variable)(void* arg, char* buffer, size_t size);
  void* arg;
};

// lv_insn_print with the hooks; reads nothing at or past end (a word that
// is no instruction within it prints as its number, and the result is
// p + 1). A KONTINUE of a predicate's stub prints that predicate.
const uint32_t* lv_insn_print_with(const uint32_t* p, const uint32_t* end, char* buffer, size_t size,
                                   const lv_insn_print_options* options);
