// The state of the distinctness propagators.
#include "global/distinct.h"

#include "global/pairs.h"

#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

void destroy_block(void* p) {
  auto* b = static_cast<fd_distinct_block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

}  // namespace

bool fd_distinct_state_well_formed(lv_term state, unsigned arity) {
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) != arity) return false;
  for (unsigned i = 2; i + 2 <= arity; i++)
    if (!fd_is_small(fd_deref(fd_arg(state, i)))) return false;
  return fd_pair_list_well_formed(fd_arg(state, 1));
}

fd_distinct_block* fd_distinct_create(lv_foreign_env* env, lv_term_ref new_state, unsigned handle_arg, int64_t n) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  size_t size = sizeof(fd_distinct_block) + static_cast<size_t>(n) * (sizeof(dvar) + sizeof(int32_t));
  auto* b = static_cast<fd_distinct_block*>(fd_new_handle_block(env, size, fd_arg(state, handle_arg), 0));
  *b = fd_distinct_block{};
  b->destroy = destroy_block;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  b->d = reinterpret_cast<dvar*>(b + 1);
  b->order = reinterpret_cast<int32_t*>(b->d + n);
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * n));
  state = fd_deref(fd_termref(env, new_state));
  fd_pair_list_take(env, fd_arg(state, 1), b->refs, b->d);
  for (int32_t i = 0; i < b->n; i++) b->order[i] = i;
  fd_struct_cells(state)[1] = FD_NIL;
  return b;
}

fd_distinct_block* fd_distinct_resume(lv_foreign_env* env, lv_term state, lv_term handle, int32_t* live) {
  auto* b = static_cast<fd_distinct_block*>(fd_handle_pointer(handle));
  *live = b->n - static_cast<int32_t>(fd_small_value(fd_deref(fd_arg(state, 2))));
  for (int32_t p = 0; p < *live; p++) dvar_refresh(env, &b->d[b->order[p]]);
  return b;
}
