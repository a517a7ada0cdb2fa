// Generations of the dynamic database, erased lists and their reclamation.
#include "store/db_generations.h"

#include <algorithm>

#include "core/fault.h"
#include "core/memory.h"
#include "core/settings.h"
#include "core/thread_time.h"
#include "store/db_clause.h"
#include "store/db_roots.h"
#include "store/dynamic_call.h"
#include "store/dynamic_table.h"
#include "store/predicates.h"

lv_db_state lv_db;

namespace {

constexpr uint32_t ERASED_FLAGS = lv_mem_flags(LV_CAT_GARBAGE);
constexpr uint32_t MAP_FLAGS = lv_mem_flags(LV_CAT_GARBAGE);
constexpr uint32_t TABLE_FLAGS = lv_mem_flags(LV_CAT_INT_INFO);
// Choicepoints a reclamation scan has passed: bit 1 of the saved trail top.
constexpr lv_term SCANNED = 2;

// The table of an abolished predicate, kept while calls may walk it.
struct abolished_table {
  abolished_table* next;
  lv_dynamic_clause_table* table;
  uint64_t death;  // the latest death of its clauses
};

struct erased_list {
  lv_db_clause* first;
  lv_db_clause* last;
  uint64_t lowest;           // lowest generation a dynamic choicepoint of the predicate uses
  abolished_table* abolished;  // the predicate's earlier tables, newest first
};

// Predicate -> erased list.
lv_keytab* erased_lists;

lv_db_clause* erased_next(const lv_db_clause* c) { return reinterpret_cast<lv_db_clause*>(c->source_key); }

template <typename F>
void for_each_list(F visit) {
  if (erased_lists == nullptr) return;
  lv_hash_entry* entries = lv_keytab_entries(erased_lists);
  for (uint64_t i = lv_keytab_capacity(erased_lists); i-- > 0;)
    if (entries[i].key != 0 && entries[i].value != 0)
      visit(reinterpret_cast<lv_pred*>(entries[i].key), reinterpret_cast<erased_list*>(entries[i].value), &entries[i]);
}

erased_list* list_of(lv_pred* pred) {
  if (erased_lists == nullptr) return nullptr;
  lv_hash_entry* e = incore_gethash(erased_lists, reinterpret_cast<uint64_t>(pred));
  return e != nullptr && e->key == reinterpret_cast<uint64_t>(pred) ? reinterpret_cast<erased_list*>(e->value) : nullptr;
}

// The predicate's erased list, made empty when it has none.
erased_list* list_for(lv_pred* pred) {
  if (erased_lists == nullptr) erased_lists = new_switch_on_key(4, 0);
  lv_hash_entry* e = dyn_puthash(&erased_lists, reinterpret_cast<uint64_t>(pred));
  auto* list = reinterpret_cast<erased_list*>(e->value);
  if (list == nullptr) {
    list = static_cast<erased_list*>(lv_mem_alloc(sizeof(erased_list), ERASED_FLAGS));
    *list = {nullptr, nullptr, LV_GEN_ALIVE, nullptr};
    e->value = reinterpret_cast<uint64_t>(list);
  }
  return list;
}

// The clauses of an abolished table, still linked in table order.
template <typename F>
void for_each_abolished_clause(const abolished_table* a, F visit) {
  for (lv_db_clause* c = a->table->first; c != nullptr;) {
    lv_db_clause* after = lv_clause_next(c);
    visit(c);
    c = after;
  }
}

// Frees an abolished table with its clauses.
void free_abolished(abolished_table* a) {
  for_each_abolished_clause(a, [](lv_db_clause* c) {
    lv_db_detach_clause(c, nullptr);
    lv_db.waiting--;
    lv_db.reclaimed++;
  });
  dispose_switch_on_key(a->table->key_table);
  if (a->table->large_table != nullptr) lv_hash_free(a->table->large_table);
  lv_mem_free(a->table, sizeof *a->table, TABLE_FLAGS);
  lv_mem_free(a, sizeof *a, ERASED_FLAGS);
}

// Visits each dynamic choicepoint from the newest down to stop (exclusive).
template <typename F>
void for_each_dynamic_choice(lv_worker* w, F visit) {
  for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b))
    if (lv_is_dynamic_choice(b)) visit(reinterpret_cast<lv_dynamic_choice*>(b));
}

// Maps a generation through the sorted distinct generations in use.
uint32_t map_generation(uint32_t x, const uint32_t* gens, uint64_t k) {
  if (x == 0 || x == LV_GEN_ALIVE) return x;
  return static_cast<uint32_t>(std::lower_bound(gens, gens + k, x) - gens);
}

void renumber_clause(lv_db_clause* c, const uint32_t* gens, uint64_t k) {
  c->birth = map_generation(c->birth, gens, k);
  c->death = map_generation(c->death, gens, k);
}

struct renumber_pass {
  const uint32_t* gens;
  uint64_t k;
};

void renumber_module(lv_module* m, void* arg) {
  auto* pass = static_cast<renumber_pass*>(arg);
  lv_keytab* table = m->pred_table;
  if (table == nullptr) return;
  lv_hash_entry* entries = lv_keytab_entries(table);
  for (uint64_t i = 0; i < lv_keytab_capacity(table); i++) {
    if (entries[i].key == 0 || entries[i].value == 0) continue;
    auto* p = reinterpret_cast<lv_pred*>(entries[i].value);
    // An importing record shares its definition with the exporter's.
    if (p->owner_module != m || p->import_module != m) continue;
    if (lv_definition_type(p) != LV_DEF_DYNAMIC || p->definition == nullptr) continue;
    for (lv_db_clause* c = lv_dynamic_table(p)->first; c != nullptr; c = lv_clause_next(c))
      renumber_clause(c, pass->gens, pass->k);
  }
}

}  // namespace

void lv_db_generations_init() {
  lv_db.now = 0;
  lv_db.next = 0;
  lv_db.no_dynamic_choices = true;
  lv_db.skipped_erased = 0;
  lv_db.reclaim_margin = lv_getenv_int_suffixed("LV_DCGC_MARGIN", 512, 0);
  lv_db.reclaim_runs = 0;
  lv_db.reclaim_ms = 0;
  lv_db.waiting = 0;
  lv_db.waiting_kept = 0;
  lv_db.reclaimed = 0;
  erased_lists = nullptr;
}

void lv_db_reclaim_if_due(lv_worker* w) {
  uint64_t used = static_cast<uint64_t>(w->choice_base - w->B);
  if (lv_db.skipped_erased != 0 && lv_db.skipped_erased >= lv_db.reclaim_margin * used) {
    lv_reclaim_erased_clauses(w);
    return;
  }
  // Clauses erased since the last run: a run costs the choice stack's scan
  // and the clauses it keeps, so it waits for at least as many new ones
  // (and the margin), which keeps its cost per erased clause bounded.
  uint64_t fresh = lv_db.waiting - lv_db.waiting_kept;
  if (lv_db.waiting > lv_db.waiting_kept && fresh >= lv_db.reclaim_margin && fresh >= lv_db.waiting_kept && fresh >= used)
    lv_reclaim_erased_clauses(w);
}

uint32_t lv_db_timestamp(lv_worker* w) {
  lv_db_reclaim_if_due(w);
  return lv_db.now;
}

void lv_db_after_dynamic_choice(lv_worker* w) {
  lv_db.no_dynamic_choices = false;
  if (lv_db.now >= 0xFFFFFFFEu) {
    lv_renumber_generations(w);
  } else {
    lv_db.next = lv_db.now + 1;
  }
}

void lv_db_queue_erased(lv_db_clause* c) {
  erased_list* list = list_for(c->pred);
  c->source_key = 0;
  lv_db.waiting++;
  if (list->first == nullptr) {
    list->first = list->last = c;
    return;
  }
  list->last->source_key = reinterpret_cast<lv_term>(c);
  list->last = c;
}

void lv_db_keep_abolished(lv_pred* pred, lv_dynamic_clause_table* table, uint32_t death) {
  erased_list* list = list_for(pred);
  // The erased list's clauses are the table's: they now wait with it.
  list->first = list->last = nullptr;
  auto* a = static_cast<abolished_table*>(lv_mem_alloc(sizeof(abolished_table), ERASED_FLAGS));
  *a = {list->abolished, table, death};
  list->abolished = a;
}

void lv_for_each_instance(void (*visit)(lv_term word)) {
  // The clauses of tables still in place are visited with their tables.
  for_each_list([&](lv_pred* pred, erased_list* list, lv_hash_entry*) {
    pred->flags |= LV_PRED_REFERENCED;
    for (const abolished_table* a = list->abolished; a != nullptr; a = a->next)
      for_each_abolished_clause(a, [&](lv_db_clause* c) { lv_walk_block_cells(lv_block_of(c), visit); });
  });
}

void lv_reclaim_erased_clauses(lv_worker* w) {
  uint64_t start = lv_thread_cpu_ms();
  for_each_list([](lv_pred*, erased_list* list, lv_hash_entry*) { list->lowest = LV_GEN_ALIVE; });
  lv_db.no_dynamic_choices = true;
  lv_db.skipped_erased = 0;
  lv_term* oldest = nullptr;
  lv_term* b = w->B;
  for (; b < w->choice_base && (lv_choice_view(b)->tr & SCANNED) == 0; b = lv_choice_prev(b)) {
    if (!lv_is_dynamic_choice(b)) continue;
    lv_db.no_dynamic_choices = false;
    oldest = b;
    auto* cp = reinterpret_cast<lv_dynamic_choice*>(b);
    lv_db_clause* pending = lv_dynamic_choice_pending(cp);
    if (pending == nullptr) continue;
    erased_list* list = list_of(pending->pred);
    if (list != nullptr) list->lowest = std::min<uint64_t>(list->lowest, lv_dynamic_choice_generation(cp));
  }
  for (b = oldest != nullptr ? lv_choice_prev(oldest) : w->B;
       b < w->choice_base && (lv_choice_view(b)->tr & SCANNED) == 0; b = lv_choice_prev(b))
    lv_choice_view(b)->tr |= SCANNED;
  for_each_list([](lv_pred* pred, erased_list* list, lv_hash_entry* entry) {
    while (list->first != nullptr && list->first->death <= list->lowest) {
      lv_db_clause* c = list->first;
      list->first = erased_next(c);
      lv_db_detach_clause(c, lv_definition_type(pred) == LV_DEF_DYNAMIC ? lv_dynamic_table(pred) : nullptr);
      lv_db.waiting--;
      lv_db.reclaimed++;
    }
    for (abolished_table** link = &list->abolished; *link != nullptr;) {
      abolished_table* a = *link;
      if (a->death > list->lowest) {
        link = &a->next;
        continue;
      }
      *link = a->next;
      free_abolished(a);
    }
    if (list->first == nullptr && list->abolished == nullptr) {
      lv_mem_free(list, sizeof *list, ERASED_FLAGS);
      entry->value = 0;
    }
  });
  lv_db.waiting_kept = lv_db.waiting;
  lv_db.reclaim_runs++;
  lv_db.reclaim_ms += lv_thread_cpu_ms() - start;
}

void lv_renumber_generations(lv_worker* w) {
  uint64_t n = 0;
  for_each_dynamic_choice(w, [&](lv_dynamic_choice*) { n++; });
  uint64_t bytes = 4 * (n + 1);
  auto* gens = static_cast<uint32_t*>(lv_mem_alloc(bytes, MAP_FLAGS));
  uint64_t i = 0;
  for_each_dynamic_choice(w, [&](lv_dynamic_choice* cp) { gens[i++] = lv_dynamic_choice_generation(cp); });
  std::sort(gens, gens + n);
  uint64_t k = static_cast<uint64_t>(std::unique(gens, gens + n) - gens);
  if (k >= 0xFFFFFFFEu) {
    lv_mem_free(gens, bytes, MAP_FLAGS);
    LV_raise_fault("too many dynamic choicepoints");
  }
  for_each_dynamic_choice(w, [&](lv_dynamic_choice* cp) {
    lv_set_dynamic_choice_generation(cp, map_generation(lv_dynamic_choice_generation(cp), gens, k));
  });
  renumber_pass pass{gens, k};
  lv_for_each_module(renumber_module, &pass);
  // The clauses of abolished tables are in no module's table.
  for_each_list([&](lv_pred*, erased_list* list, lv_hash_entry*) {
    for (abolished_table* a = list->abolished; a != nullptr; a = a->next) {
      a->death = map_generation(static_cast<uint32_t>(a->death), gens, k);
      for_each_abolished_clause(a, [&](lv_db_clause* c) { renumber_clause(c, gens, k); });
    }
  });
  lv_mem_free(gens, bytes, MAP_FLAGS);
  if (k == 0) {
    lv_db.next = 1;
    lv_db.now = 0;
  } else {
    lv_db.next = static_cast<uint32_t>(k);
    lv_db.now = static_cast<uint32_t>(k - 1);
  }
}
