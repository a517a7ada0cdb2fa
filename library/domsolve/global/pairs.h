// Variable/attribute pairs: a global propagator's state gives each of its
// variables as p(X, Attribute). At the first call the pair's two terms move
// into two consecutive global references, attribute first, and a dvar (or
// a bounds record) is read through them.
#pragma once

#include <cstdint>

#include "kernel/dvar.h"
#include "kernel/runtime.h"

// Whether t (dereferenced) is a pair: a two-argument structure whose second
// argument is a domain-variable attribute.
bool fd_is_pair(lv_term t);
// Whether list is a proper list of pairs.
bool fd_pair_list_well_formed(lv_term list);
// Whether list is a proper list of small integers.
bool fd_small_list_well_formed(lv_term list);

// The pair's attribute and variable into refs[0] and refs[1], and the
// record read through them.
void fd_pair_take(const lv_foreign_env* env, lv_term pair, fd_termref_slot* refs, dvar* d);
void fd_pair_take_bounds(const lv_foreign_env* env, lv_term pair, fd_termref_slot* refs, dvar_bounds* b);
// Every pair of the list, in order: two references and one dvar each.
void fd_pair_list_take(const lv_foreign_env* env, lv_term list, fd_termref_slot* refs, dvar* d);

// The bounds record read again from its attribute.
inline void fd_bounds_refresh(dvar_bounds* b) { dvar_init_bounds(b, b->attribute, b->variable); }

// The index of the pair whose attribute reference is the cell a daemon is
// given: the cell is refs[2 * index].term.
inline int64_t fd_pair_index(const fd_termref_slot* refs, const lv_term* cell) {
  return (reinterpret_cast<const char*>(cell) - reinterpret_cast<const char*>(refs)) /
         static_cast<int64_t>(2 * sizeof(fd_termref_slot));
}

// The export at the end of a call over chosen records (the ones the call
// refreshed): the sets of the changed ones made ready, the changed ones
// exported, then every one marked stale.
void fd_export_records(const lv_foreign_env* env, dvar* const* records, int64_t count, lv_term_ref actions);
