// Enumerating built-ins: current_atom/1, $current_module/1,
// $predicate_property/5 and $predicate_arities/4.
#pragma once

#include "core/worker.h"

// Makes the call stubs of the retry routines (start-up).
void lv_db_enumerate_init();

int prolog_current_atom(lv_worker* w);
int prolog_current_module(lv_worker* w);
int prolog_predicate_property(lv_worker* w);
int prolog_predicate_arities(lv_worker* w);
