// Sub-tour elimination for all_distinct over successor variables: variable
// j (0-based) is node j+1 and its value the node that follows it. Mode 1:
// one circuit through all n nodes; mode 2: one circuit through some of
// them, the others their own successors.
#pragma once

#include "global/distinct.h"

// One round over all n variables of the block (the retired ones are
// fixed): 1 something was pruned (run the matching again), 2 nothing to
// do, 4 failure. Every domain lies within 1..n.
int fd_circuit_prune(const lv_foreign_env* env, fd_distinct_block* b, int mode);
