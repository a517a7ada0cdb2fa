// The cells of stored blocks (dynamic clauses, blackboard records) in saved
// states.
//
// A database reference '$ref'(Index, Stamp) in a stored term names a block
// through this runtime's reference table, which a reader does not share.
// The writer therefore saves it as '$ref'(A, 0), A being the referenced
// clause's address divided by 8 (a relocation key), or as '$ref'(0, 0)
// when the clause is erased or not saved; the reader makes each such term
// name the restored clause again, once every clause of the state has
// arrived (a reference may name a clause written after it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hashtab.h"
#include "core/stored_block.h"

struct lv_db_clause;

// Writing: what the copy reports.
struct lv_cell_visitor {
  // An atom or functor word of the block (its atom record is due).
  bool (*atom)(uint64_t word, void* arg);
  // A live clause that a '$ref' names: true when the state will hold it.
  bool (*clause)(lv_db_clause* clause, void* arg);
  void* arg;
};

// Copies the cells after the block's header into out (the block's cell
// count of words), with every '$ref' term rewritten; false when a visit
// function said so.
bool lv_state_copy_cells(lv_stored_block* block, uint64_t* out, const lv_cell_visitor* visitor);

// A '$ref' term of a restored block waiting for its clause.
struct lv_ref_fixup {
  lv_stored_block* block;
  uint64_t cell;  // the index of the term's functor cell
};

// Fixups of one restore: a growing array.
struct lv_ref_fixups {
  lv_ref_fixup* items;
  uint64_t count;
  uint64_t capacity;
};
void lv_ref_fixups_free(lv_ref_fixups* fixups);
// Points every waiting '$ref' term at its restored clause: false (with the
// reason) when one names no clause of the state.
bool lv_ref_fixups_resolve(lv_ref_fixups* fixups, lv_keytab* reloc, char* message, size_t size);
// Makes every waiting '$ref' term '$ref'(0, 0) (a restore that failed).
void lv_ref_fixups_drop(lv_ref_fixups* fixups);

// Reading: checks that the block's cells (read from a state) are a well-formed
// stored term [Head|Body] (every pointer inside the block and aimed at its
// kind of cell, boxes whole, functor words only where structures start),
// relocates its atom and functor words and records its '$ref' terms. False
// with the reason when anything is refused.
bool lv_state_restore_cells(lv_stored_block* block, lv_keytab* reloc, lv_ref_fixups* fixups, char* message,
                            size_t size);

// The first-argument key of a checked stored clause [Head|Body] (as
// lv_stored_key gives it for the term), and whether Head is a term of the
// functor (an atom for arity 0).
lv_term lv_state_clause_key(lv_stored_block* block);
bool lv_state_head_is(lv_stored_block* block, lv_term functor);
