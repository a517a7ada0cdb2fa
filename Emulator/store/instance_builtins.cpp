// Database references name clauses of the dynamic database. This store
// holds no dynamic clauses yet, so no reference names one: both built-ins
// fail on every argument.
#include "store/instance_builtins.h"

int prolog_instance_module(lv_worker*) { return 0; }

int prolog_nth_instance(lv_worker*) { return 0; }
