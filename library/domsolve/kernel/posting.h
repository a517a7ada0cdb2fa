// What the posting predicates share.
#pragma once

#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// Opens propagation for a posting: the queues are reset and propagation
// marked under way, unless it is under way already (a posting made while
// propagating, by a propagator run at the Prolog level, keeps the work
// queued before it).
void fd_posting_open(const lv_foreign_env* env);

// The attribute of a variable (created with bounds inf..sup when missing)
// or of a small integer; 0 for anything else. X register xreg and up may be
// used while heap room is made.
lv_term fd_attribute_of(const lv_foreign_env* env, lv_term term, int xreg);

// The hook's part in freeing a predicate's indexical definition: the table
// that holds the chain head at the given address is no longer a
// predicate's (see $fd_install).
void fd_forget_definition_table(const lv_foreign_env* env, const void* chain);
