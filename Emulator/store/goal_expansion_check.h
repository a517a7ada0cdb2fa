// Whether a goal can be called directly, without goal expansion.
#pragma once

struct lv_pred;

// 1 when no goal_expansion/5 clause of the predicate's defining module can
// apply to a goal of the predicate, else 0. Always 0 for ':'/2, for a
// predicate with a meta-argument specification and for an undefined one.
// The test looks only at the first-argument index of goal_expansion/5: a
// clause keyed on the predicate's functor, or one with a variable first
// argument, may apply.
int lv_no_goal_expansion(const lv_pred* pred);

// The index test alone, for any predicate: 1 when no goal_expansion/5
// clause of its defining module can apply to a goal of it.
int lv_goal_expansion_absent(const lv_pred* pred);
