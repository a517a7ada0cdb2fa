// Built-ins over database references: the module of a clause's predicate
// and the clause's position.
#pragma once

#include "core/worker.h"

int prolog_instance_module(lv_worker* w);  // $instance_module(Ref, Module)
int prolog_nth_instance(lv_worker* w);     // $nth_instance(Ref, N)
