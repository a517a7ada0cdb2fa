// Clauses over Boolean literals, as posting builds them: clause watchers
// (a clause/6 term and a watcher/5 suspension on every literal's variable)
// and pairs of binary implications; the coreference lists written into
// attributes; and calling a C propagator by its name.
#pragma once

#include <cstdint>

#include "kernel/runtime.h"
#include "kernel/terms.h"

// The clause whose positive and negative literals (lit/3 terms, the
// variable in argument 2) are the lists in the term references pos and neg.
void fd_post_clause_watchers(const lv_foreign_env* env, lv_term_ref pos, lv_term_ref neg, int live_registers);
// A clause of exactly two literals as two implication/4 terms.
void fd_post_binary_implications(const lv_foreign_env* env, lv_term_ref pos, lv_term_ref neg, int live_registers);
// value into the coreference mutable of every Key-Attribute pair of list.
void fd_set_mutables(const lv_foreign_env* env, lv_term list, lv_term value);
// Runs the C propagator of name/arity (name an atom, or a structure whose
// name is taken): 0 when there is none or an overflow is pending after it,
// else 1.
int fd_call_propagator_by_name(lv_foreign_env* env, lv_term name, int64_t arity, lv_term_ref state,
                               lv_term_ref new_state, lv_term_ref actions, lv_term_ref goal);
