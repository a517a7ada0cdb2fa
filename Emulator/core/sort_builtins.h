// Sorting lists in the standard order of terms: the native cores of sort/2,
// keysort/2 and setof/3. Neither raises an error: a list that is not proper
// (partial, cyclic, or ending in something other than []), a keysort
// element that is not Key-Value, and a bound output make them fail; the
// Prolog side reports the error.
#pragma once

#include "core/worker.h"

// $sort(List, Sorted): List's elements in standard order, duplicates
// removed; Sorted must be unbound.
int prolog_sort(lv_worker* w);
// $keysort(Pairs, Sorted): the Key-Value pairs ordered by key, pairs with
// equal keys in their original order; Sorted must be unbound.
int prolog_keysort(lv_worker* w);
