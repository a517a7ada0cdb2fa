// The memory manager's built-ins and statistics term.
#pragma once

#include "core/worker.h"

// '.'(C0, ..., C27) on the heap: the 28 category counters as integers.
lv_term lv_mem_bucket_counts(lv_worker* w);

// $trimcore(Mode): trims memory; fails when Mode is not an integer.
int prolog_trimcore(lv_worker* w);
// $minfo: prints the memory manager's dump; succeeds when it is consistent.
int prolog_minfo(lv_worker* w);
