// Goals suspended on variables.
//
// An attributed variable is four heap words {-1, cell, attribute vector,
// goal list}: the marker, the variable's own cell, the vector ([] when the
// variable has no attributes) and a proper list of suspension records, newest
// first. A suspension record is '$apply'(Goal, Module, Done): Goal runs in
// the module named Module once one of its variables is bound, and Done is a
// fresh variable that the wake-up code binds after the goal has run, so that
// a record shared by several variables runs once.
//
// These routines write at the heap top; the caller has made room.
#pragma once

#include "core/worker.h"

// Heap cells of a suspension record.
constexpr int64_t LV_SUSPENSION_CELLS = 4;
// Heap cells lv_bind_attributed may take for one variable: a new
// attributed variable and a list cell.
constexpr int64_t LV_BIND_ATTRIBUTED_CELLS = 6;

// Words of an attributed variable, from its cell.
inline lv_term& lv_attvar_vector(lv_term* cell) { return cell[1]; }
inline lv_term& lv_attvar_goals(lv_term* cell) { return cell[2]; }

// Heap cells of an attributed variable.
constexpr int64_t LV_ATTVAR_CELLS = 4;

// Makes a new attributed variable {-1, cell, vector, goals} at the heap top
// and binds the unbound variable at cell to it: a plain variable by the usual
// binding rule; an attributed one is moved without waking its goals (the
// move is trailed, so backtracking undoes it). Returns the new cell.
lv_term* lv_attvar_renew(lv_worker* w, lv_term* cell, lv_term vector, lv_term goals);

// '$apply'(Goal, Module, Done) with a fresh Done.
lv_term lv_make_suspension(lv_worker* w, lv_term goal, lv_term module);

// Puts a suspension record at the front of the goal list of an unbound
// variable (given dereferenced). A plain variable is bound to a new
// attributed variable whose list is [suspension]; an attributed variable
// older than the newest choicepoint is bound to a new one with the same
// vector and the longer list; a newer one has its list replaced in place.
// The bindings are trailed by the usual rules and wake nothing.
void lv_bind_attributed(lv_worker* w, lv_term suspension, lv_term variable);
