// $mgu_variables(X, Y, Bindings): the bindings that unifying X and Y would
// make, handed back without being made.
#pragma once

#include "core/worker.h"

int prolog_mgu_variables(lv_worker* w);
