// $statistics/2, the source of statistics/0,2, and $local_stack_avail/1.
#pragma once

#include "core/worker.h"

// Sets the "last query" times of runtime, total_runtime and walltime to the
// start-up times (start-up, once the memory manager runs).
void lv_statistics_reset();

// $statistics(+Key, -Value): Key an atom (else fail); an atom that names no
// statistic gives [].
int prolog_statistics(lv_worker* w);
// $local_stack_avail(-N): the free cells above the local-stack top.
int prolog_local_stack_avail(lv_worker* w);
