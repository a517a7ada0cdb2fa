// Running the cleanup goals that a cut or a failure passes. The cleanup
// chain is the value of the '$mutable'/2 term in term-reference slot 6: a
// list of entries [Status | Goal], newest first. Bit 0 of a choicepoint's
// alternative word marks a choicepoint that guards entries pushed after it.
#pragma once

#include "core/worker.h"

struct lv_pred;

// The term-reference slot of the cleanup chain.
constexpr int LV_CLEANUP_CHAIN_SLOT = 6;

// The cleanup chain's mutable (a structure word), or 0 when the slot holds
// none.
lv_term lv_cleanup_chain(lv_worker* w);

// Whether the chain (lv_cleanup_chain) holds entries pushed since the
// newest choicepoint that no cut or failure has taken yet.
bool lv_cleanups_pending(lv_worker* w, lv_term chain);

// Selects the entries pushed since the newest choicepoint that are due for
// the reason (the atom ! or fail): status 1, or unbound for fail; for ! an
// unbound entry is a cut entry. An entry whose goal is '$free'(Handle) is a
// constraint solver's block: released at once through the solver's hook
// when due (status 1, or unbound for fail), kept on the chain when a cut
// passes it unbound (its propagator lives on). Unlinks the other scanned
// entries and loads the cleanup runner's arguments: X0 the goals (true, a
// goal, or call_cleanup_internal(Earlier, Goal) for more), X1 the cut
// entries, X2 a fresh variable; returns the cleanup runner. For ! with
// nothing selected, clears the guard bit of the newest choicepoint and
// returns null.
lv_pred* lv_run_trail_cleanups(lv_worker* w, lv_term reason);

// At an event check with a guarding newest choicepoint: returns k when the
// chain has nothing newer than that choicepoint (clearing its guard bit),
// else makes k a continuation and returns the predicate that runs the cut
// cleanups.
lv_pred* lv_cut_run_cleanups(lv_worker* w, lv_pred* k);
