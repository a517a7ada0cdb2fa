// Building and tearing down the solver state, and the propagator lookup.
#include "kernel/solver_state.h"

#include <initializer_list>

#include "kernel/handles.h"
#include "kernel/indexical.h"
#include "kernel/memory.h"
#include "kernel/propagator_table.h"
#include "kernel/queues.h"

namespace {

struct functor_name {
  const char* name;
  unsigned arity;
};

// State words 13-35 in order; 13-30 are interned first, 31-35 after the
// heuristics' atoms.
constexpr functor_name functor_names[FD_FUNCTOR_COUNT] = {
    {"in_set", 2}, {"min", 1},    {"max", 1},   {"minmax", 1},       {"val", 1},     {"none", 1},
    {"call", 1},   {"=", 2},      {"t=u IND", 2}, {"t=<u+c", 3},     {"all_distinct", 1}, {"colored", 1},
    {"\\", 1},     {"/\\", 2},    {"\\/", 2},   {"..", 2},           {"{}", 1},      {"lit", 3},
    {"a", 1},      {"d", 1},      {"h", 1},     {"l", 1},            {"t", 1},
};
constexpr unsigned FIRST_LATE_FUNCTOR = FD_F_A_1;

constexpr const char* heuristic_names[FD_HEURISTIC_COUNT] = {
    "ff", "ffc", "anti_first_fail", "occurrence", "max_regret", "impact", "dom_w_deg",
};

lv_term intern_functor(lv_foreign_env* env, const functor_name& f) {
  lv_term word = fd_functor(fd_rt::atom(env, f.name), f.arity);
  fd_rt::register_atom(env, word);
  return word;
}

lv_term propagator_key(lv_foreign_env* env, const fd_propagator_row& row) {
  return fd_functor(fd_rt::atom(env, row.name), static_cast<unsigned>(row.arity));
}

}  // namespace

extern "C" void domsolve_init(lv_foreign_env* env, int) {
  // The whole record starts zeroed: no field is left to chance.
  auto* state = static_cast<fd_solver_state*>(fd_malloc(env, sizeof(fd_solver_state)));
  *state = fd_solver_state{};
  env->state = reinterpret_cast<uint64_t>(state);
  state->overflow = 1;

  for (unsigned i = 0; i < FIRST_LATE_FUNCTOR; i++) state->functors[i] = intern_functor(env, functor_names[i]);
  const unsigned events[4] = {FD_F_VAL_1, FD_F_MIN_1, FD_F_MAX_1, FD_F_MINMAX_1};
  for (int i = 0; i < 4; i++) {
    state->event_templates[2 * i] = state->functors[events[i]];
    state->event_templates[2 * i + 1] = fd_functor(FD_ATOM_DOM, 1);
  }
  state->atom_min = fd_functor_name(state->functors[FD_F_MIN_1]);
  state->atom_max = fd_functor_name(state->functors[FD_F_MAX_1]);
  for (unsigned i = 0; i < FD_HEURISTIC_COUNT; i++) {
    state->heuristics[i] = fd_rt::atom(env, heuristic_names[i]);
    fd_rt::register_atom(env, state->heuristics[i]);
  }
  for (unsigned i = FIRST_LATE_FUNCTOR; i < FD_FUNCTOR_COUNT; i++)
    state->functors[i] = intern_functor(env, functor_names[i]);

  state->module = fd_rt::find_module(env, fd_rt::atom(env, "domsolve"), 1);
  fd_rt::install_fd_hooks(env, fd_engine_hook, fd_free_definition_chain, 1);
  // overflow_action/2 is looked up when an overflow is first reported.
  state->propagators = fd_rt::new_switch_on_key(env, 32, 0);
  for (const fd_propagator_row* row = fd_propagator_table; row->name != nullptr; row++) {
    lv_term key = propagator_key(env, *row);
    fd_rt::register_atom(env, key);
    fd_rt::puthash(env, &state->propagators, key)->value = reinterpret_cast<uint64_t>(row->function);
  }
  state->queues = fd_queue_create(env);

  auto* t = static_cast<fd_kernel_tables*>(fd_malloc(env, sizeof(fd_kernel_tables)));
  *t = fd_kernel_tables{};
  t->blocks = fd_rt::new_switch_on_key(env, 8, 0);
  t->definitions = fd_rt::new_switch_on_key(env, 2, 0);
  t->tables = fd_rt::new_switch_on_key(env, 2, 0);
  t->records = fd_rt::new_switch_on_key(env, 8, 0);
  t->daemon_propagator = {FD_NIL, 0};
  state->tables = t;
}

extern "C" void domsolve_deinit(lv_foreign_env* env, int) {
  fd_solver_state* state = fd_state(env);
  if (state == nullptr) return;
  for (const fd_propagator_row* row = fd_propagator_table; row->name != nullptr; row++)
    fd_rt::unregister_atom(env, propagator_key(env, *row));
  fd_rt::dispose_switch_on_key(env, state->propagators);
  for (lv_term f : state->functors) fd_rt::unregister_atom(env, f);
  for (lv_term a : state->heuristics) fd_rt::unregister_atom(env, a);
  fd_rt::install_fd_hooks(env, fd_engine_hook, fd_free_definition_chain, 0);
  fd_queue_destroy(env);
  fd_free_retired_definitions(env);
  fd_kernel_tables* t = state->tables;
  // The blocks of propagators still alive go with the plug-in (their
  // global references too, which the runtime would otherwise keep).
  fd_keyed_for_each(t->blocks, [&](uint64_t key, uint64_t value) {
    if (value != 0) reinterpret_cast<fd_propagator_block*>(key)->destroy(reinterpret_cast<void*>(key));
  });
  for (void* table : {t->blocks, t->definitions, t->tables, t->records}) fd_rt::dispose_switch_on_key(env, table);
  if (t->pins != nullptr) fd_free(env, t->pins);
  fd_free(env, t);
  env->state = 0;
  fd_free(env, state);
}

uint64_t fd_keyed_get(const lv_foreign_env* env, void* table, const void* key) {
  uint64_t k = reinterpret_cast<uint64_t>(key);
  fd_hash_entry* e = fd_rt::gethash(env, table, k);
  return e != nullptr && e->key == k ? e->value : 0;
}

void fd_keyed_put(const lv_foreign_env* env, void** table, const void* key, uint64_t value) {
  fd_rt::puthash(env, table, reinterpret_cast<uint64_t>(key))->value = value;
}

fd_propagator_fn fd_find_propagator(const lv_foreign_env* env, lv_term key) {
  fd_hash_entry* e = fd_rt::gethash(env, fd_state(env)->propagators, key);
  if (e == nullptr || e->key != key) return nullptr;
  return reinterpret_cast<fd_propagator_fn>(e->value);
}
