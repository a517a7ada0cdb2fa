// Indexicals: compiled range expressions kept as definition records (C
// memory owned by a chain of records, four chains per predicate), attached
// to the variables they read and evaluated by a small stack machine.
//
// A definition comes from Prolog, so it is checked whole when it is
// installed: every opcode's operands (register numbers, variable
// positions, jump targets at instruction starts, stored-term indexes of the
// right kind) are in range, and stored terms are copies in C memory whose
// atoms are held against atom collection. What can only be known while
// evaluating (variable positions against the posted tuple, the value
// stack's depth, return addresses) is checked then.
#pragma once

#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// Registers of the evaluation context: the target's dvar (words 0-6: 0 min,
// 1 max, 2 set) and loop registers after it.
constexpr int64_t FD_IX_FIRST_LOOP_REGISTER = 7;
constexpr int64_t FD_IX_REGISTERS = 23;
// The value stack's depth, in argument registers above the live ones.
constexpr int64_t FD_IX_STACK = 64;
constexpr int64_t FD_IX_LAST_OPCODE = 86;

// Flag bits of a record.
enum : uint32_t {
  FD_IX_TARGET_MASK = 0xff,
  FD_IX_WAIT16 = 0x100,  // wait mark 16 in use (else 8)
  FD_IX_TRUE = 0x200,    // the truth value written on entailment is 1
};

// A stored term: an atomic word, a copy of a term in one C block (the word
// points into it), or a keyed hash table.
enum : uint32_t { FD_STORED_ATOMIC, FD_STORED_COPY, FD_STORED_HASH };
struct fd_stored_term {
  uint32_t kind;
  uint32_t words;  // of a copy
  lv_term term;    // the word (atomic or copy), or the hash table's address
};

struct fd_definition {
  void* owner;
  uint64_t* entries;  // position << 8 | mark byte
  int32_t entry_count;
  int32_t code_length;
  int64_t stored_count;
  uint32_t flags;
  uint32_t unused;
  uint64_t* code;
  uint8_t* starts;  // 1 at every instruction start (and at code_length)
  fd_stored_term* stored;
  lv_term* atoms;  // the atoms its stored terms hold, registered
  int64_t atom_count;
  fd_definition* next;
};

// Builds count records from the compiled list and stores the chain in
// table[slot] (the chain there before is freed). 1 done; 0 a malformed
// definition: nothing is stored and *why says what was wrong.
int fd_build_definition_chain(const lv_foreign_env* env, lv_term list, int64_t slot, int64_t count, void** table,
                              const char** why);
// Takes the chain whose head is in *head out of its table and empties the
// head. Posted indexicals hold their record's address in a heap term that
// nothing tracks, so the records are not freed then: they are kept with the
// solver state until the plug-in is unloaded (fd_free_retired_definitions).
void fd_release_definition_chain(const lv_foreign_env* env, void** head);
void fd_free_retired_definitions(const lv_foreign_env* env);

// Adds the posted indexical (a $indexical/8 term) to every variable it
// waits on for domain changes.
void fd_attach_indexical(const lv_foreign_env* env, const fd_definition* def, lv_term indexical, int live_registers);

// Evaluates the indexical in term reference indexical: 0 failure, 1 waiting
// for a value, otherwise the overflow report's verdict (1 go on, 0 failed).
int fd_eval_indexical_code(lv_foreign_env* env, lv_term_ref actions, lv_term_ref indexical, int live_registers);
