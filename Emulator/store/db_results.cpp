// The stored exception and the setof roots.
#include "store/db_results.h"

#include "core/bind.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/db_blackboard.h"
#include "store/db_roots.h"

namespace {

constexpr uint32_t ROOT_FLAGS = lv_mem_flags(LV_CAT_ALL_SOLUTIONS);

lv_stored_block* stored_exception;
// A block made ahead for an exception raised when memory is short; never
// freed. None is made here.
lv_stored_block* preallocated_exception;

// A setof root: the blocks stored under it, newest first, chained through
// their first header word.
struct setof_root {
  int64_t depth;  // bytes of the choice stack in use when the root was made
  lv_stored_block* newest;
  lv_stored_block* oldest;
  setof_root* next;  // older root
  setof_root* prev;  // newer root
};
static_assert(sizeof(setof_root) == 40);

setof_root* roots;

lv_stored_block* chain_next(const lv_stored_block* b) { return reinterpret_cast<lv_stored_block*>(b->db_a[0]); }
void set_chain_next(lv_stored_block* b, lv_stored_block* next) { b->db_a[0] = reinterpret_cast<uint64_t>(next); }

int64_t choice_depth(const lv_worker* w) {
  return reinterpret_cast<const char*>(w->choice_base) - reinterpret_cast<const char*>(w->B);
}

void free_root(setof_root* r) {
  for (lv_stored_block* b = r->newest; b != nullptr;) {
    lv_stored_block* older = chain_next(b);
    lv_free_stored_block(b);
    b = older;
  }
  if (r->prev != nullptr) r->prev->next = r->next; else roots = r->next;
  if (r->next != nullptr) r->next->prev = r->prev;
  lv_mem_free(r, sizeof *r, ROOT_FLAGS);
}

// The root a term names, or null unless it is on the root list.
setof_root* root_of(lv_term t) {
  t = lv_deref(t);
  if (!lv_is_small(t)) return nullptr;
  for (setof_root* r = roots; r != nullptr; r = r->next)
    if (lv_pointer_to_term(r) == t) return r;
  return nullptr;
}

void free_exception() {
  if (stored_exception != nullptr && stored_exception != preallocated_exception) lv_free_stored_block(stored_exception);
  stored_exception = nullptr;
}

}  // namespace

lv_term lv_decode_pending_db_node(lv_worker* w) {
  if (stored_exception == nullptr) return 0;
  return lv_list_cells(lv_block_to_heap(w, stored_exception, 0, 0))[0];
}

void lv_db_free_pending_node() { free_exception(); }

void lv_db_reset_release_list() {
  roots = nullptr;
  stored_exception = nullptr;
}

void lv_db_free_released() {
  while (roots != nullptr) free_root(roots);
}

void lv_db_mark_other_blocks(void (*visit)(lv_term word)) {
  if (stored_exception != nullptr) lv_walk_block_cells(stored_exception, visit);
  for (setof_root* r = roots; r != nullptr; r = r->next)
    for (lv_stored_block* b = r->newest; b != nullptr; b = chain_next(b)) lv_walk_block_cells(b, visit);
}

int prolog_store_exception(lv_worker* w) {
  w->X[1] = w->X[0];
  lv_stored_block* b = lv_db_store_term(w, 1);
  free_exception();
  stored_exception = b;
  return 1;
}

int prolog_load_exception(lv_worker* w) {
  lv_term t = lv_decode_pending_db_node(w);
  return t != 0 && cunify(w, w->X[0], t);
}

int prolog_erase_exception(lv_worker*) {
  free_exception();
  return 1;
}

int prolog_add_setof_root(lv_worker* w) {
  int64_t depth = choice_depth(w);
  // Roots made deeper than the choice stack now reaches belong to calls
  // that are gone.
  for (setof_root* r = roots; r != nullptr;) {
    setof_root* older = r->next;
    if (r->depth > depth) free_root(r);
    r = older;
  }
  auto* r = static_cast<setof_root*>(lv_mem_alloc(sizeof(setof_root), ROOT_FLAGS));
  *r = {depth, nullptr, nullptr, roots, nullptr};
  if (roots != nullptr) roots->prev = r;
  roots = r;
  return cunify(w, w->X[0], lv_pointer_to_term(r));
}

int prolog_setof_inserta(lv_worker* w) {
  if (root_of(w->X[0]) == nullptr) return 0;
  w->X[3] = w->X[1];
  lv_stored_block* b = lv_db_store_term(w, 3);
  setof_root* r = root_of(w->X[0]);
  set_chain_next(b, r->newest);
  r->newest = b;
  if (r->oldest == nullptr) r->oldest = b;
  return 1;
}

int prolog_setof_list_instances(lv_worker* w) {
  setof_root* r = root_of(w->X[0]);
  if (r == nullptr) return 0;
  lv_term tail = lv_deref(w->X[2]);
  if (lv_is_ref(tail) && lv_ref_cell(tail) >= w->H) {
    if (w->heap_hard_limit - w->H < 1) call_overflow(w, LV_HEAP_RESERVE_CELLS + 1, 3);
    tail = lv_deref(w->X[2]);
    lv_term* cell = w->H++;
    *cell = lv_make_ref(cell);
    lv_bind(w, lv_ref_cell(tail), *cell);
    tail = *cell;
  }
  w->X[2] = tail;
  uint64_t cells = 0;
  for (lv_stored_block* b = r->newest; b != nullptr; b = chain_next(b)) cells += lv_block_cell_count(b);
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(cells)) {
    call_overflow(w, static_cast<int64_t>(cells) + LV_HEAP_RESERVE_CELLS, 3);
    r = root_of(w->X[0]);
  }
  lv_term list = w->X[2];
  for (lv_stored_block* b = r->newest; b != nullptr;) {
    lv_stored_block* older = chain_next(b);
    lv_term copy = lv_block_to_heap(w, b, 3, 0);
    r->newest = older;
    lv_free_stored_block(b);
    lv_list_cells(copy)[1] = list;
    list = copy;
    b = older;
  }
  r->oldest = nullptr;
  free_root(r);
  lv_term out = lv_deref(w->X[1]);
  if (!lv_is_ref(out)) return 0;
  lv_bind(w, lv_ref_cell(out), list);
  return 1;
}

int prolog_term_ref(lv_worker* w) {
  lv_term i = lv_deref(w->X[0]);
  if (!lv_is_small(i) || lv_small_value(i) < 0 || lv_small_value(i) >= w->termref_top) return 0;
  return cunify(w, w->X[1], w->termrefs[lv_small_value(i)].term);
}
