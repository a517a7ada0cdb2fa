// The relocation table of a saved-state write or restore.
//
// Keys are words of the writer (state_format.h: an atom word without its
// arity bits, an address with bit 0 set). The reader maps each key to its
// own record as the record that defines it arrives; the writer uses the
// same table as the set of keys it has written.
//
// A value keeps what the key stands for in its low three bits, so that a
// key defined as one kind of record is never used as another: an atom is
// stored as its new word minus 2 (low bits 101: one reference held by the
// restore), a predicate as its address plus 2 (010: marked 0x200 by the
// restore), a module plus 4, a dynamic clause plus 6, a stored record plus
// 3; the writer's mark is 1.
#pragma once

#include <cstdint>

#include "core/hashtab.h"

enum lv_reloc_kind : uint32_t {
  LV_RELOC_MARK = 1,
  LV_RELOC_PRED = 2,
  LV_RELOC_RECORD = 3,
  LV_RELOC_MODULE = 4,
  LV_RELOC_ATOM = 5,
  LV_RELOC_CLAUSE = 6,
};

// A table with room for 256 entries (memory category "sw_on_key:").
lv_keytab* lv_reloc_new();
// Drops what the restore holds through the table (the atom references and
// the predicates' 0x200 marks) and frees it.
void lv_reloc_free(lv_keytab* table);

// The key of a word read from a state.
uint64_t lv_reloc_key(uint64_t word);

// Defines the key of the word as a record of the kind: for an atom the new
// atom word (a reference is taken), else the record's address (a predicate
// is marked 0x200). A key defined again prints a message on user_error and
// the new value wins. Keys of the predefined atoms 0 to 12 are not entered.
void lv_reloc_define(lv_keytab** table, uint64_t word, lv_reloc_kind kind, uint64_t value);

// The reader's value of a word: for an atom or functor word its new word
// with the word's own arity bits (the atoms 0 to 12 stand for themselves),
// else the address of the record of the given kind. False when the key is
// undefined or was defined as another kind of record.
bool lv_reloc_lookup(lv_keytab* table, uint64_t word, lv_reloc_kind kind, uint64_t* value);

// The writer's set: true when the key was not marked before (it is now).
bool lv_reloc_mark(lv_keytab** table, uint64_t key);
bool lv_reloc_marked(lv_keytab* table, uint64_t key);
