// Built-ins over one-dimensional arrays (core/array_terms.h).
#pragma once

#include "core/worker.h"

int prolog_array1d_new(lv_worker* w);         // $array1d_new(SizeOrList, Array)
int prolog_array1d_nth(lv_worker* w);         // $array1d_nth(Array, I, X)
int prolog_array1d_set_length(lv_worker* w);  // $array1d_set_length(Length, Array, New)
int prolog_array1d_set_nth(lv_worker* w);     // $array1d_set_nth(Array, I, X, New)
