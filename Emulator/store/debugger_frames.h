// What the debugger reads of the machine state: permanent variables of the
// frames a choicepoint saved, saved argument registers, catch frames, the
// previous value of a mutable term, and block conditions.
#pragma once

#include "core/worker.h"

int prolog_get_slot(lv_worker* w);             // $get_slot(ChoiceRef, Key, Index, Value)
int prolog_prev_mutable(lv_worker* w);         // $prev_mutable(Value, Mutable)
int prolog_choicepoint_arg(lv_worker* w);      // $choicepoint_arg(ChoiceRef, N, X)
int prolog_invalid_choicepoint(lv_worker* w);  // $invalid_choicepoint(ChoiceRef)
int prolog_blocked_goal(lv_worker* w);         // $blocked_goal(Goal, Module)
