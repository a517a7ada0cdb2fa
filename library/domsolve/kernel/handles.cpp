// Handle blocks and propagator entailment.
#include "kernel/handles.h"

#include "kernel/engine.h"
#include "kernel/foreign_predicates.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

// Heap words a new handle takes: '$free'(A), the handle cell (whose head is
// the Status variable) and the handle-list cell.
constexpr int64_t HANDLE_WORDS = 6;

lv_term handle_list_term(const lv_foreign_env* env) { return fd_deref(fd_termref(env, FD_SLOT_HANDLE_LIST)); }

}  // namespace

void* fd_new_handle_block(const lv_foreign_env* env, size_t size, lv_term slot, int xreg) {
  void* block = fd_rt::checkalloc(env, size, 0);
  fd_keyed_put(env, &fd_tables(env)->blocks, block, 1);
  fd_engine* w = fd_engine_of(env);
  if (w->heap_hard_limit - w->H < HANDLE_WORDS) {
    w->X[xreg] = slot;
    fd_rt::call_overflow(env, HANDLE_WORDS, xreg + 1);
    slot = w->X[xreg];
  }
  lv_term list = handle_list_term(env);
  lv_term* h = w->H;
  h[0] = FD_FUNCTOR_FREE_1;
  h[1] = fd_pointer_term(block);
  h[2] = fd_make_ref(&h[2]);  // Status
  h[3] = fd_make_struct(h);
  h[4] = fd_make_list(h + 2);
  h[5] = fd_deref(fd_struct_cells(list)[1]);
  w->H = h + HANDLE_WORDS;
  fd_trail_assign(env, fd_make_list(h + 4), list);
  lv_term var = fd_deref(slot);
  if (fd_is_ref(var)) fd_bind(env, fd_ref_cell(var), fd_make_list(h + 2));
  return block;
}

void* fd_handle_pointer(lv_term handle) {
  return fd_term_pointer(fd_deref(fd_struct_cells(fd_deref(fd_list_cells(fd_deref(handle))[1]))[1]));
}

void fd_propagator_entailed_term(const lv_foreign_env* env, lv_term state) {
  state = fd_deref(state);
  const lv_term* cells = fd_struct_cells(state);
  lv_term handle = fd_deref(cells[fd_functor_arity(cells[0]) - 1]);
  if (!fd_is_list(handle)) return;
  lv_term status = fd_deref(fd_list_cells(handle)[0]);
  if (!fd_is_ref(status)) return;  // already dead
  lv_term* cell = fd_ref_cell(status);
  fd_engine* w = fd_engine_of(env);
  if (!fd_older_than_choice(w, cell)) {
    *cell = fd_make_small(0);
    fd_release_block(env, fd_handle_pointer(handle));
    return;
  }
  fd_bind(env, cell, fd_make_small(1));
  for (lv_term* b = w->B; b < w->choice_base && (b[FD_CP_ALT] & 1) == 0; b += fd_choice_size(b) / 8)
    b[FD_CP_ALT] |= 1;
}

int fd_release_block(const lv_foreign_env* env, void* block) {
  fd_kernel_tables* t = fd_tables(env);
  if (fd_keyed_get(env, t->blocks, block) == 0) return 0;
  fd_keyed_put(env, &t->blocks, block, 0);
  auto* b = static_cast<fd_propagator_block*>(block);
  b->destroy(b);
  return 1;
}

int fd_release_handle(const lv_foreign_env* env, lv_term handle) {
  handle = fd_deref(handle);
  if (!fd_is_small(handle)) return 0;
  return fd_release_block(env, fd_term_pointer(handle));
}

void fd_propagator_entailed(const lv_foreign_env* env, lv_term term, int i) {
  fd_propagator_entailed_term(env, fd_struct_cells(fd_deref(term))[i]);
}

void fd_trailed_Dfree(lv_foreign_env* env, fd_t handle_ref) {
  for (lv_term l = fd_deref(fd_struct_cells(handle_list_term(env))[1]); fd_is_list(l);
       l = fd_deref(fd_list_cells(l)[1])) {
    lv_term handle = fd_deref(fd_list_cells(l)[0]);
    if (!fd_is_list(handle) || !fd_is_ref(fd_deref(fd_list_cells(handle)[0]))) continue;
    lv_term free_term = fd_deref(fd_list_cells(handle)[1]);
    if (!fd_rt::unify_terms(env, fd_termref(env, handle_ref), free_term)) fd_rt::fail(env);
    return;
  }
}
