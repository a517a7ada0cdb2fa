// Predicate handles and queries run from C.
//
// An open query is a 10-word choicepoint on the choice stack (the query
// frame): the six saved machine words, then the goal Module:Goal, the entry
// mode (3 before the first solution, 0 after), the term-reference top at
// opening and []. Its alternative is the query marker, which ends a run with
// 0 when the goal has no (more) solutions. A query id is the frame's byte
// offset below the base of the choice stack with the low bits 011; it stays
// valid while the frame is on the stack.
//
// Queries nest: a C predicate may open queries of its own, and each must be
// cut or closed before the one below it is used again.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "core/termrefs.h"
#include "lorvika.h"

// The record of Name/Arity in the module (the runtime's default module for
// a null or empty text), created when absent; null with interface error 14
// (text not internable) or 4 (arity 256 or more, no record).
lv_pred* LV_predicate(const char* name, int64_t arity, const char* module);
lv_pred* LV_pred(lv_term name, int64_t arity, lv_term module);

// Open a query on the predicate with one term reference per argument; the
// id, or 0 (error 1 before start-up, 2 for a null predicate or an invalid
// reference).
lv_query_id LV_open_query(lv_pred* pred, ...);
lv_query_id LV_open_query_va(lv_pred* pred, va_list args);
lv_query_id LV_open_query_array(lv_pred* pred, const int* refs);

// 1 for a solution, 0 for no (more) solutions, -1 for an exception (error
// 10, the exception stays pending) or an invalid id (error 6). Only the
// newest open query can be asked.
int LV_next_solution(lv_query_id query);
// Discard the query keeping the bindings of its last solution (cut) or
// undoing them (close). 1, also for a query already discarded; -1 with
// error 6 for an invalid id.
int LV_cut_query(lv_query_id query);
int LV_close_query(lv_query_id query);

// Open, take one solution, then cut on success or close otherwise; the
// solution's result (-1 when the query cannot be opened).
int LV_query(lv_pred* pred, ...);
int LV_query_va(lv_pred* pred, va_list args);
// The same, always closing (the bindings are undone).
int LV_query_cut_fail(lv_pred* pred, ...);
int LV_query_cut_fail_va(lv_pred* pred, va_list args);
