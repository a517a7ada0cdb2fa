// The built-ins over source-position tables and compiled code's lines.
#include "store/source_table_builtins.h"

#include "core/numbers.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "core/worker.h"
#include "store/clause_list.h"
#include "store/db_clause.h"
#include "store/dbref_table.h"
#include "store/predicates.h"
#include "store/source_table.h"

namespace {

lv_db_clause* clause_arg(lv_term t) {
  lv_stored_block* b = lv_dbref_to_block(lv_deref(t));
  return b != nullptr ? lv_clause_of(b) : nullptr;
}

// A positive line: a small integer, or an integer box of one limb.
bool positive_line(lv_term t, int64_t* line) {
  t = lv_deref(t);
  if (lv_is_small(t)) {
    *line = lv_small_value(t);
  } else if (lv_is_integer_box(t) && lv_box_value_words(*lv_struct_cells(t)) == 1) {
    *line = static_cast<int64_t>(lv_struct_cells(t)[1]);
  } else {
    return false;
  }
  return *line > 0;
}

// The positions of the clause itself (the empty path) and of its head.
constexpr uint64_t CLAUSE_POSITION = uint64_t{1} << 60;
constexpr uint64_t HEAD_POSITION = (uint64_t{1} << 60) + (uint64_t{1} << 56);

}  // namespace

int prolog_new_table_interp(lv_worker* w) {
  lv_db_clause* clause = clause_arg(w->X[1]);
  if (clause == nullptr) return 0;
  if (!lv_source_tree_entries(w->X[0])) {
    lv_reset_source_table();
    return 0;
  }
  uint64_t* table = lv_take_source_table();
  if (table == nullptr) return 0;
  lv_free_source_table(clause->positions);
  clause->positions = table;
  return 1;
}

int prolog_search_table_interp(lv_worker* w) {
  lv_term file;
  int64_t line;
  if (lv_search_source_table(w->X[0], &file, &line) == 0) return 0;
  lv_heap_room(w, 3, 3);
  return cunify(w, w->X[1], file) && cunify(w, w->X[2], lv_make_integer(w, line));
}

int prolog_instance_has_line(lv_worker* w) {
  lv_db_clause* clause = clause_arg(w->X[0]);
  int64_t line;
  if (clause == nullptr || clause->positions == nullptr || !positive_line(w->X[2], &line)) return 0;
  if (lv_deref(w->X[1]) != clause->source_key) return 0;
  const auto* table = static_cast<const uint64_t*>(clause->positions);
  uint64_t n, area_words;
  const uint64_t* area;
  if (!lv_source_table_shape(table, &n, &area, &area_words)) return 0;
  for (uint64_t k = 1; k <= n; k++) {
    const uint64_t* e = table + 2 * k;
    if (lv_source_entry_line(table, k) == line && e[0] != CLAUSE_POSITION && e[0] != HEAD_POSITION) return 1;
  }
  return 0;
}

int prolog_comp_has_line(lv_worker* w) {
  lv_term module_name = lv_deref(w->X[0]);
  lv_term name = lv_deref(w->X[1]);
  lv_term arity = lv_deref(w->X[2]);
  lv_term file = lv_deref(w->X[3]);
  lv_term line = lv_deref(w->X[4]);
  if (!lv_is_atom(module_name) || !lv_is_atom(name) || !lv_is_atom(file) || !lv_is_small(arity) ||
      lv_small_value(arity) < 0 || lv_small_value(arity) > 255 || !lv_is_small(line))
    return 0;
  lv_module* m = find_module(module_name, 0);
  if (m == nullptr) return 0;
  lv_pred* p = lv_lookup_predicate(m, name, static_cast<unsigned>(lv_small_value(arity)), LV_LOOKUP_FIND);
  if (p == nullptr || lv_definition_type(p) > LV_DEF_COMPACTCODE_INDEXED || p->definition == nullptr) return 0;
  auto* list = static_cast<lv_clause_list*>(p->definition);
  if (list->head == nullptr) return 0;
  // A block's source words: its size, a word per head argument, then the
  // head's line, the names of new variables and the lines of calls.
  for (lv_code_block* b = list->head;; b = b->next) {
    const uint64_t* source = b->side_table;
    if (b->source_key == file && source != nullptr) {
      uint64_t words = source[0] / 8;
      for (uint64_t i = 1 + p->arity; i < words; i++)
        if (source[i] == line) return 1;
    }
    if (b == list->tail || b->next == nullptr) break;
  }
  return 0;
}
