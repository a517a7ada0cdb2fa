// List built-ins: the groups of equal keys in a list of pairs, and the
// length and end of a list prefix.
#pragma once

#include "core/worker.h"

// $keyclumped(+Pairs, -Groups): consecutive Key-Value pairs with identical
// keys gathered into Key-[V1, ...]. Fails when Pairs is no proper list of
// -/2 pairs or Groups is bound.
int prolog_keyclumped(lv_worker* w);
// $list_info(+Term, ?Length, ?Tail): the number of list cells before the
// first term that is no list cell, and that term; on a cyclic list the walk
// stops at a list cell of the cycle.
int prolog_list_info(lv_worker* w);
