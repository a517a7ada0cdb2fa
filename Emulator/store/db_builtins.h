// Built-ins of the dynamic database, the blackboard, modules and
// enumeration.
#pragma once

#include "core/builtins.h"
#include "core/worker.h"

// The table of these built-ins.
lv_builtin_table lv_db_builtins();

int prolog_current_clauses(lv_worker* w);
int prolog_inserta(lv_worker* w);
int prolog_insertz(lv_worker* w);
int prolog_inserta_quick(lv_worker* w);
int prolog_insertz_quick(lv_worker* w);
int prolog_inserta2_quick(lv_worker* w);
int prolog_insertz2_quick(lv_worker* w);
int prolog_erase(lv_worker* w);
int prolog_purge(lv_worker* w);
int prolog_instance_source(lv_worker* w);
int prolog_instance_file(lv_worker* w);
int prolog_instance_defmap(lv_worker* w);
int prolog_set_clock_remaining(lv_worker* w);
int prolog_retractall(lv_worker* w);
int prolog_multifile_retractall(lv_worker* w);
int prolog_current_key(lv_worker* w);
