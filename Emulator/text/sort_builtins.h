// Sorting lists in the standard order of terms: the native cores of sort/2,
// keysort/2 and setof/3. A first argument that is no proper list raises the
// error of sort/2 or keysort/2 (argument 1): a partial list an instantiation
// error, a cyclic list or one ending in something other than [] a type
// error. A keysort element that is not Key-Value and a bound output make
// them fail; the Prolog side reports those.
#pragma once

#include "core/worker.h"

// $sort(List, Sorted): List's elements in standard order, duplicates
// removed; Sorted must be unbound.
int prolog_sort(lv_worker* w);
// $keysort(Pairs, Sorted): the Key-Value pairs ordered by key, pairs with
// equal keys in their original order; Sorted must be unbound.
int prolog_keysort(lv_worker* w);
