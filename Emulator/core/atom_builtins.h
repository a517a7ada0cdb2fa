// Built-ins of the atom table and of the pending error.
#pragma once

#include "core/worker.h"

int prolog_garbage_collect_atoms(lv_worker* w);  // garbage_collect_atoms
int prolog_agc_margin(lv_worker* w);              // $agc_margin(Old, New)
int prolog_atomic_mode(lv_worker* w);             // $atomic_mode(Term, Left, Right)
int prolog_replace_suffix(lv_worker* w);          // $replace_suffix(File, NewSuffix, OldSuffix, NewFile)
int prolog_cerror_data(lv_worker* w);             // $cerror_data(Code, Message)
int prolog_error_message(lv_worker* w);           // $error_message(Code, Message)
