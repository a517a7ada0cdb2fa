// Procedure boxes: the records invst/9 that the debugger keeps, innermost
// first, as the value of the '$mutable'/2 term held in engine term
// reference 2, so that backtracking pops them. A box is
// invst(Counter, Depth, Goal, Module, Extra, _, ExitChoice, Choice, Parent):
// Counter is debugger slot 5's value, Depth the parent's depth + 1 (1 at the
// top), Choice the reference of the newest choicepoint when the box was
// made, ExitChoice bound by $exit_setup, Parent the enclosing box or [].
// When a box is concluded deterministically it is dropped; the stack's
// value may then be exec_st(Marker, Boxes), Marker being the concluded
// box's Choice.
#pragma once

#include "core/worker.h"

enum : unsigned {
  LV_BOX_COUNTER = 1,
  LV_BOX_DEPTH = 2,
  LV_BOX_GOAL = 3,
  LV_BOX_MODULE = 4,
  LV_BOX_EXTRA = 5,
  LV_BOX_EXIT_CHOICE = 7,
  LV_BOX_CHOICE = 8,
  LV_BOX_PARENT = 9,
};

// The cells of a box record (the functor word first), or null when the
// term is none.
lv_term* lv_box_cells(lv_term box);

// Concludes the innermost box: unless det is false it is dropped from the
// stack (backtrackably).
void lv_box_conclude(lv_worker* w, bool det, lv_term box);

// Makes the choicepoint just older than the newest `count` ones (C-call
// frames not counted) the newest, never going past the box's own
// choicepoint.
void lv_box_remove_choicepoints(lv_worker* w, lv_term box, int count);

int prolog_box_setup(lv_worker* w);             // $box_setup(Goal, Module, Extra, InBox, Box)
int prolog_exit_setup(lv_worker* w);            // $exit_setup(Determinism, Box, InBox)
int prolog_exit_port_conclusion(lv_worker* w);  // $exit_port_conclusion(Port, Box)
