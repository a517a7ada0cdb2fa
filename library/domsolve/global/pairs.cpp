// Variable/attribute pairs of the global propagators' states.
#include "global/pairs.h"

#include "kernel/term_helpers.h"

bool fd_is_pair(lv_term t) {
  t = fd_deref(t);
  return fd_is_compound_struct(t) && fd_functor_arity(fd_functor_of(t)) == 2 &&
         fd_functor_of(fd_deref(fd_arg(t, 2))) == FD_FUNCTOR_V_7;
}

bool fd_pair_list_well_formed(lv_term list) {
  if (fd_proper_length(list) < 0) return false;
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1]))
    if (!fd_is_pair(fd_list_cells(list)[0])) return false;
  return true;
}

bool fd_small_list_well_formed(lv_term list) {
  if (fd_proper_length(list) < 0) return false;
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1]))
    if (!fd_is_small(fd_deref(fd_list_cells(list)[0]))) return false;
  return true;
}

void fd_pair_take(const lv_foreign_env* env, lv_term pair, fd_termref_slot* refs, dvar* d) {
  pair = fd_deref(pair);
  refs[0].term = fd_deref(fd_arg(pair, 2));
  refs[1].term = fd_deref(fd_arg(pair, 1));
  dvar_init(env, d, fd_make_ref(&refs[0].term), fd_make_ref(&refs[1].term));
}

void fd_pair_take_bounds(const lv_foreign_env*, lv_term pair, fd_termref_slot* refs, dvar_bounds* b) {
  pair = fd_deref(pair);
  refs[0].term = fd_deref(fd_arg(pair, 2));
  refs[1].term = fd_deref(fd_arg(pair, 1));
  dvar_init_bounds(b, fd_make_ref(&refs[0].term), fd_make_ref(&refs[1].term));
}

void fd_pair_list_take(const lv_foreign_env* env, lv_term list, fd_termref_slot* refs, dvar* d) {
  int64_t i = 0;
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1]), i++)
    fd_pair_take(env, fd_list_cells(list)[0], &refs[2 * i], &d[i]);
}

void fd_export_records(const lv_foreign_env* env, dvar* const* records, int64_t count, lv_term_ref actions) {
  constexpr uint32_t CHANGED = DVAR_DOM_CHANGED | DVAR_MIN_CHANGED | DVAR_MAX_CHANGED;
  for (int64_t i = 0; i < count; i++)
    if (records[i]->flags & CHANGED) dvar_pruning_set(env, records[i]);
  for (int64_t i = 0; i < count; i++)
    if (records[i]->flags & CHANGED) dvar_export(env, records[i], actions, 0);
  for (int64_t i = 0; i < count; i++) records[i]->set = DVAR_STALE;
}
