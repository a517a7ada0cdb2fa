// Generations of the dynamic database and the reclamation of erased
// clauses. A call takes the generation now; a change takes next. A clause is
// visible to a call of generation G when birth <= G < death.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_pred;
struct lv_db_clause;
struct lv_dynamic_clause_table;

struct lv_db_state {
  uint32_t now;                // the generation a new call takes
  uint32_t next;               // the generation the next change takes
  bool no_dynamic_choices;     // no dynamic choicepoint has been pushed since the last scan
  uint64_t skipped_erased;     // erased clauses passed by walks since the last reclamation
  uint64_t reclaim_margin;     // LV_DCGC_MARGIN
  uint64_t reclaim_runs;
  uint64_t reclaim_ms;
  uint64_t waiting;            // erased clauses not yet freed (erased lists and abolished tables)
  uint64_t waiting_kept;       // of those, the ones the last reclamation had to keep
  uint64_t reclaimed;          // clauses freed by reclamation
};
extern lv_db_state lv_db;

// Start-up.
void lv_db_generations_init();

// Marks a change: now := next.
inline void lv_db_change() { lv_db.now = lv_db.next; }

// Before a dynamic call: reclaims erased clauses when due; the generation.
uint32_t lv_db_timestamp(lv_worker* w);
// Reclaims erased clauses when due: when walks have passed enough of them,
// or when enough were erased since the last reclamation, whether or not a
// walk ever meets them (a clause erased by its reference, retracted through
// its own key chain). Run where no C walk holds a clause: at the start of a
// dynamic call and before an erase.
void lv_db_reclaim_if_due(lv_worker* w);
// After a dynamic choicepoint was pushed: the next change takes a new
// generation (renumbering when the counter is near its end).
void lv_db_after_dynamic_choice(lv_worker* w);

// Queues an erased clause on its predicate's erased list.
void lv_db_queue_erased(lv_db_clause* clause);
// Keeps the table of an abolished predicate for the calls still walking
// it: its clauses (every one erased, the last at generation death) stay
// linked until no dynamic choicepoint of the predicate older than death is
// left, and are then freed with the table. The predicate's erased list,
// whose clauses are in that table, goes with it.
void lv_db_keep_abolished(lv_pred* pred, lv_dynamic_clause_table* table, uint32_t death);
// Atom collection's walk of the erased lists: each predicate with one is
// marked referenced, and visit gets every cell of its clauses that are no
// longer in their table (those come first in a list).
void lv_for_each_instance(void (*visit)(lv_term word));

// Detaches and frees erased clauses no dynamic choicepoint can see.
void lv_reclaim_erased_clauses(lv_worker* w);
// Maps every generation in use onto 0..k (dynamic choicepoints, clauses).
void lv_renumber_generations(lv_worker* w);

// The dynamic choicepoints' generation words on the choice stack.
bool lv_is_dynamic_choice(const lv_term* b);
