// The debugger's term slots: slots 0-31 are the debugger words of the engine
// context, slots from 1024 up a process-wide table. Indexes 32-1023 and
// those past the table name no slot. A slot holds an atomic word, or a
// stored block holding the list cell [_ | Value] tagged as a structure
// pointer; never a pointer into the stacks, so that no collection or stack
// move can leave a slot dangling. Slots are not undone on backtracking.
#pragma once

#include <cstdint>

#include "core/worker.h"

constexpr int64_t LV_DEBUGGER_TABLE_FIRST = 1024;
constexpr int64_t LV_DEBUGGER_TABLE_SLOTS = 64;

// The word of slot index, or null when the index names no slot.
lv_term* lv_debugger_slot(lv_worker* w, int64_t index);

// The value of a slot word: an atomic word as it is, a stored value copied
// onto the heap (argument registers below live are kept).
lv_term lv_debugger_slot_value(lv_worker* w, lv_term word, unsigned live);

// A slot word's stored structure, read in its block (the cells of a
// structure or box), or null when the word holds no stored structure.
const lv_term* lv_debugger_stored_structure(lv_term word);

// The sign of an integer slot word, stored big integers included (-1, 0,
// 1); 2 for anything that is no integer.
int lv_debugger_integer_sign(lv_term word);

// Sets a slot to an atomic word, freeing the block it held.
void lv_debugger_set_atomic(lv_term* slot, lv_term atomic);

// Sets slot index to the term in X[reg]: atomic words inline, anything else
// as a new stored block (registers below reg are kept). False when the
// index names no slot.
bool lv_debugger_put(lv_worker* w, int64_t index, unsigned reg);

// Frees the blocks of the engine's slots (0-31) and sets them to `off`,
// before the engine context is cleared.
void lv_debugger_slots_release(lv_worker* w);
// The same for the process-wide table, at shutdown: its words would name
// atoms of the next start's atom table.
void lv_debugger_table_release();

int prolog_get_aux(lv_worker* w);  // $get_aux(Index, Value)
int prolog_put_aux(lv_worker* w);  // $put_aux(Index, Value)
