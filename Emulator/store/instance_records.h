// Clause-instance records: the source positions of a dynamic clause that the
// instrumented emulator counts. A clause's records form a tree hanging from
// its record: the root stands for the clause, child A of a record for
// argument A (1 to 3) of the goal at that position.
#pragma once

#include <cstdint>

#include "core/term.h"

struct lv_pred;
struct lv_db_clause;

struct lv_instance_record {
  lv_db_clause* clause;
  int64_t line;  // -1 when not known
  lv_pred* callee;
  lv_instance_record* child[3];
};
static_assert(sizeof(lv_instance_record) == 48);

// The clause's root record, made on first use; null when the clause has no
// source-position table. Its callee is the predicate through which dynamic
// clause bodies run (the clause-body role).
lv_instance_record* lv_instance_source_record(lv_db_clause* clause);
// The record of a position ('$ref' term, or [A|P]), made with its path on
// first use; callee becomes the given predicate. Null when the clause is
// gone or has no source-position table.
lv_instance_record* lv_position_instance_record(lv_term position, lv_pred* callee);
// Frees the tree held in *slot (its counter entries are zeroed) and nulls it.
void lv_free_key_tree(void** slot);
