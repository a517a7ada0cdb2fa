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
// Choicepoints a reclamation scan has passed: bit 1 of the saved trail top.
constexpr lv_term SCANNED = 2;

struct erased_list {
  lv_db_clause* first;
  lv_db_clause* last;
  uint64_t lowest;  // lowest generation a dynamic choicepoint of the predicate uses
};
static_assert(sizeof(erased_list) == 24);

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
  erased_lists = nullptr;
}

uint32_t lv_db_timestamp(lv_worker* w) {
  uint64_t used = static_cast<uint64_t>(w->choice_base - w->B);
  if (lv_db.skipped_erased != 0 && lv_db.skipped_erased >= lv_db.reclaim_margin * used) lv_reclaim_erased_clauses(w);
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
  if (erased_lists == nullptr) erased_lists = new_switch_on_key(4, 0);
  lv_hash_entry* e = dyn_puthash(&erased_lists, reinterpret_cast<uint64_t>(c->pred));
  auto* list = reinterpret_cast<erased_list*>(e->value);
  c->source_key = 0;
  if (list == nullptr) {
    list = static_cast<erased_list*>(lv_mem_alloc(sizeof(erased_list), ERASED_FLAGS));
    *list = {c, c, LV_GEN_ALIVE};
    e->value = reinterpret_cast<uint64_t>(list);
    return;
  }
  list->last->source_key = reinterpret_cast<lv_term>(c);
  list->last = c;
}

void lv_for_each_instance(void (*visit)(lv_term word)) {
  for_each_list([&](lv_pred* pred, erased_list* list, lv_hash_entry*) {
    pred->flags |= LV_PRED_REFERENCED;
    for (lv_db_clause* c = list->first; c != nullptr && c->next == 0; c = erased_next(c))
      lv_walk_block_cells(lv_block_of(c), visit);
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
    }
    if (list->first == nullptr) {
      lv_mem_free(list, sizeof *list, ERASED_FLAGS);
      entry->value = 0;
    }
  });
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
  // Erased clauses whose table was abolished are only on erased lists.
  for_each_list([&](lv_pred*, erased_list* list, lv_hash_entry*) {
    for (lv_db_clause* c = list->first; c != nullptr; c = erased_next(c))
      if (c->next == 0) renumber_clause(c, gens, k);
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
