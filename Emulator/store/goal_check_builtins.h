// Goal checks that the compiler and call/N use to call goals directly.
#pragma once

#include "core/worker.h"

int prolog_fast_goal(lv_worker* w);                        // $fast_goal(Goal, Module)
int prolog_fast_wellformed_call_body_expand(lv_worker* w);  // (Goal, Expanded, Module, Context)
int prolog_fast_callable_closure_arg(lv_worker* w);        // $fast_callable_closure_arg(Goal)
