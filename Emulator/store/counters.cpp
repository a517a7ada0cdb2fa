// Execution counters of predicates. Counter records are made by the
// instrumented emulator; until it runs, no record has any.
#include "store/counters.h"

#include "store/predicates.h"

void lv_counters_free(lv_pred* pred) { pred->counters = nullptr; }
