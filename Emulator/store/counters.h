// Execution counters of predicates.
#pragma once

struct lv_pred;

// Frees the predicate's counter record and its counter range, if any.
void lv_counters_free(lv_pred* pred);
