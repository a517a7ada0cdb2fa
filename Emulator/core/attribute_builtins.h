// Built-ins over attributed variables and suspended goals. Each takes its
// arguments in X0, X1, ... and answers 1 (success) or 0 (failure).
#pragma once

#include "core/worker.h"

int prolog_save_attribute_info(lv_worker* w);         // $save_attribute_info(Module)
int prolog_get_all_attribute_modules(lv_worker* w);   // $get_all_attribute_modules(Names)
int prolog_get_attribute_modules(lv_worker* w);       // $get_attribute_modules(Vector, Names)
int prolog_get_cva(lv_worker* w);                     // $get_cva(Var, Attrs, Goals)
int prolog_put_cva(lv_worker* w);                     // $put_cva(Var, Attrs, Goals)
int prolog_disjunctive_geler(lv_worker* w);           // $disjunctive_geler(Vars, Goal)
int prolog_constraint_list(lv_worker* w);             // $constraint_list(Mark, Vars)
