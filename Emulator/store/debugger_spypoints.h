// Spy points: flag bit 0 of a predicate record, which makes its calls enter
// the debugger.
#pragma once

#include "core/worker.h"

int prolog_spypoint(lv_worker* w);  // $spypoint(Head, Module, Old, New)
