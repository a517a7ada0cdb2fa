// Set-up of a cleared engine context.
#pragma once

#include "core/worker.h"

// Makes the stack blocks, the number stack, the bottom frames, the
// decision-diagram tables and the term-reference array. Returns 0 or a
// negative code.
int lv_context_init(lv_worker* w);

// Empties the stacks down to the bottom frame and the bottom choicepoint,
// as the context starts.
void lv_context_reset_stacks(lv_worker* w);
