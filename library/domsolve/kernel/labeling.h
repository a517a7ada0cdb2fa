// Boolean work of the propagation loop (implications, disequations, clause
// watchers), variable choice by score, and the labeling step that the
// engine runs for $fd_labeling/7 through the hook's event 6.
#pragma once

#include <cstdint>

#include "kernel/fdset.h"
#include "kernel/runtime.h"
#include "kernel/terms.h"

// Clause mode: the watched literal l of the clause became false; moves the
// watch to an open literal, or forces the other watched literal, or sees
// the clause entailed (status bound to 1). 0 when every literal is false.
// X registers from xreg on are used to keep terms across tells.
int fd_clause_update_watch(lv_foreign_env* env, int64_t literal, lv_term status, lv_term clause, int xreg);

// Variable-choice heuristics, numbered as their keys are.
enum : int64_t {
  FD_HEUR_MIN = 0,
  FD_HEUR_MAX = 1,
  FD_HEUR_FF = 2,
  FD_HEUR_FFC = 3,
  FD_HEUR_ANTI_FIRST_FAIL = 4,
  FD_HEUR_OCCURRENCE = 5,
  FD_HEUR_MAX_REGRET = 6,
  FD_HEUR_IMPACT = 7,
  FD_HEUR_DOM_W_DEG = 8,
  FD_HEUR_FIRST = 9,  // the first unbound variable, nothing scored
};

// The keys of an unbound domain variable under a heuristic; smaller
// (key1, key2) in lexicographic order is better.
void fd_var_score(const lv_foreign_env* env, lv_term var, int64_t heuristic, int64_t* key1, int64_t* key2);
// The suspension count of the attribute's variable plus one for every
// other variable coreferenced with it.
int64_t fd_var_degree(lv_term attribute);

// Option bits of the labeling step (the small integer in X4).
enum : int64_t {
  FD_LABEL_SCORE_BITS = 0x1fe,  // 2 .. 256: score 0 .. 7, the lowest set bit wins
  FD_LABEL_DOM_W_DEG = 512,
  FD_LABEL_ENUMERATE = 4096,
  FD_LABEL_BISECT = 16384,
  FD_LABEL_UP = 65536,
  FD_LABEL_DOWN = 131072,
  FD_LABEL_MIDDLE = 524288,
  FD_LABEL_BELOW_INCUMBENT = 1048576,
  FD_LABEL_ABOVE_INCUMBENT = 2097152,
};

// The heuristic the option word selects.
int64_t fd_label_heuristic(int64_t options);
// The value (tagged) that a one-value choice takes from the non-empty
// finite set.
lv_term fd_choose_value(fdset set, int64_t options);
// Pushes the labeling choicepoint of the alternative (a 32-bit instruction
// word preceded by the frame's size in bytes), saving the argument
// registers the frame has room for, X7 set to [] first.
void fd_push_label_choicepoint(const lv_foreign_env* env, const uint32_t* alternative);
// The labeling step over the registers X0-X6 of $fd_labeling/7, keeping
// extra further registers live; the outcome goes to X6's four variables.
void fd_label_step(lv_foreign_env* env, const uint32_t* alternative, int64_t extra);

// The cost kept in the incumbent record that the database reference names,
// or 0 when it names no record with a one-word cost.
lv_term fd_incumbent_cost(const lv_foreign_env* env, lv_term reference);
