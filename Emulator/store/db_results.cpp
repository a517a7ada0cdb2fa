// The stored exception and the setof roots.
#include "store/db_results.h"

#include <algorithm>

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

// The solutions of a setof root are stored one after the other in chunks,
// each as its cell count and then its cells (lv_store_cells), so that a
// solution costs its cells and one word, not a block header of its own.
struct solution_chunk {
  solution_chunk* newer;
  uint64_t used;      // words in use
  uint64_t capacity;  // words after the header
  uint64_t bytes;     // of the whole chunk
};
static_assert(sizeof(solution_chunk) == 32);

constexpr uint64_t FIRST_CHUNK_WORDS = 256;
constexpr uint64_t LARGEST_CHUNK_WORDS = uint64_t{1} << 16;

lv_term* chunk_words(solution_chunk* c) { return reinterpret_cast<lv_term*>(c + 1); }

// A setof root: the chunks of its solutions, oldest first.
struct setof_root {
  int64_t depth;  // bytes of the choice stack in use when the root was made
  solution_chunk* newest;
  solution_chunk* oldest;
  setof_root* next;  // older root
  setof_root* prev;  // newer root
};
static_assert(sizeof(setof_root) == 40);

setof_root* roots;

void free_chunk(solution_chunk* c) { lv_mem_free(c, c->bytes, ROOT_FLAGS); }

// Room for a solution of n cells and its count at the end of the root's
// chunks: a new chunk when the newest is full, twice the size of the last
// up to a limit, or as large as the solution needs; null when memory is out.
lv_term* solution_room(void* context, uint64_t n) {
  auto* r = static_cast<setof_root*>(context);
  solution_chunk* c = r->newest;
  if (c == nullptr || c->capacity - c->used < n + 1) {
    uint64_t words = c == nullptr ? FIRST_CHUNK_WORDS : std::min(2 * c->capacity, LARGEST_CHUNK_WORDS);
    if (words < n + 1) words = n + 1;
    uint64_t bytes = sizeof(solution_chunk) + 8 * words;
    auto* fresh = static_cast<solution_chunk*>(lv_mem_alloc(bytes, ROOT_FLAGS | LV_MEM_MAY_FAIL));
    if (fresh == nullptr) return nullptr;
    *fresh = {nullptr, 0, words, bytes};
    if (c != nullptr) c->newer = fresh; else r->oldest = fresh;
    r->newest = c = fresh;
  }
  lv_term* at = chunk_words(c) + c->used;
  at[0] = n;
  c->used += n + 1;
  return at + 1;
}

// Calls f(cells, n) for each solution of a chunk, oldest first.
template <typename F>
void for_each_solution(solution_chunk* c, F f) {
  lv_term* words = chunk_words(c);
  for (uint64_t k = 0; k < c->used; k += words[k] + 1) f(&words[k + 1], static_cast<uint64_t>(words[k]));
}

int64_t choice_depth(const lv_worker* w) {
  return reinterpret_cast<const char*>(w->choice_base) - reinterpret_cast<const char*>(w->B);
}

void free_root(setof_root* r) {
  for (solution_chunk* c = r->oldest; c != nullptr;) {
    solution_chunk* newer = c->newer;
    free_chunk(c);
    c = newer;
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
    for (solution_chunk* c = r->oldest; c != nullptr; c = c->newer)
      for_each_solution(c, [visit](const lv_term* cells, uint64_t n) { lv_walk_stored_cells(cells, n, visit); });
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
  if (w->heap_hard_limit - w->H < 2) call_overflow(w, LV_HEAP_RESERVE_CELLS + 2, 2);
  lv_term* h = w->H;
  h[0] = w->X[1];
  h[1] = LV_ATOM_NIL;
  w->H = h + 2;
  w->X[3] = lv_make_list(h);
  lv_store_cells(w, 3, solution_room, root_of(w->X[0]), LV_CAT_ALL_SOLUTIONS);
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
  for (solution_chunk* c = r->oldest; c != nullptr; c = c->newer) cells += c->used;
  if (w->heap_hard_limit - w->H < static_cast<int64_t>(cells)) {
    call_overflow(w, static_cast<int64_t>(cells) + LV_HEAP_RESERVE_CELLS, 3);
    r = root_of(w->X[0]);
  }
  // The solutions in the order found, each list cell's tail set to the
  // next; a chunk is freed once copied.
  lv_term list = w->X[2];
  lv_term* last_tail = &list;
  for (solution_chunk* c = r->oldest; c != nullptr;) {
    for_each_solution(c, [w, &last_tail](const lv_term* stored, uint64_t n) {
      lv_term copy = lv_cells_to_heap(w, stored, n, 3, 0);
      *last_tail = copy;
      last_tail = &lv_list_cells(copy)[1];
    });
    solution_chunk* newer = c->newer;
    r->oldest = newer;
    free_chunk(c);
    c = newer;
  }
  *last_tail = w->X[2];
  r->newest = nullptr;
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
