// The code walker of saved states: it visits the operands of a code block
// that name atoms and predicates, and on restore turns code written by
// another runtime into this runtime's code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/code_block.h"

// What the walker reports.
enum : int {
  LV_WALK_ATOM = 1,     // a C or F operand holding an atom or functor word
  LV_WALK_PRED = 2,     // a P operand outside the block: a predicate record
  LV_WALK_ADDRESS = 3,  // an A operand outside the block: a C address
};

// Called with the kind, the operand letter and the operand's value, which
// the callback may replace; false stops the walk (the callback has said
// why in the message).
typedef bool (*lv_walk_callback)(int kind, char letter, uint64_t* value, void* arg);

struct lv_code_walk {
  lv_code_block* block;
  // Restoring: the block holds the code as read from the file, its header
  // already this runtime's.
  int64_t delta_words;   // (new end - the writer's end) / 4
  uint64_t old_fail;     // the writer's "fail always" code
  uint32_t file_mask;    // the file's archmask
  uint32_t own_mask;     // this runtime's
  bool swap;             // byte-reverse the code as it is read
  lv_walk_callback callback;
  void* arg;
  char* message;         // the reason of a refusal
  size_t message_size;
};

// Restoring: walks the code from the first word after the header to the
// end of the block, one instruction or internal entry header at a time.
// Each opcode is byte-swapped when asked and re-encoded (shifted right by
// the file's opcode shift and left by this runtime's); X operands move by
// the difference of the X0 positions; atom and functor operands and P and
// A operands that do not point into the block go to the callback; the
// others move with the block; a failure continuation holding the writer's
// "fail always" code becomes this runtime's, any other becomes "fail for
// now" until an internal entry header has been passed and moves with the
// block after it; inline boxes are stepped over, their words swapped; an
// internal entry header and its try records are rebuilt for their new
// place. Then the block is checked as code loaded from a file is: false
// with the reason when anything is refused.
bool lv_walk_code(lv_code_walk* walk);

// Writing: reports the atom and functor operands, the P operands outside
// the block and the A operands of a block of this runtime's code, which is
// not changed. False when the callback stops the walk or the code holds an
// instruction code read from a file may not hold (message says which).
bool lv_walk_clause_code(lv_code_block* block, lv_walk_callback callback, void* arg, char* message, size_t size);
