// The runtime's services as the solver calls them: every call goes through
// the C-interface table or the support table whose headers stand in words 0
// and 1 of the solver's lv_foreign_env. Nothing of the runtime is linked.
// Each slot has its C type in lorvika.h and support.h (LV_API,
// LV_SUPPORT_API); the runtime's records behind the opaque pointers are never
// looked into except where a layout is fixed (the engine view, hash-table
// entries).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/engine.h"
#include "lorvika.h"
#include "support.h"

// A keyed hash table's entry: {key, value}.
struct fd_hash_entry {
  uint64_t key;
  uint64_t value;
};

// The solver's engine hooks, as LV_install_fd_hooks takes them.
typedef lv_fd_event_hook fd_event_hook_fn;
typedef lv_fd_free_hook fd_free_hook_fn;

// Pinned words take their values back after a collection (roots.h).
void fd_pins_follow(const lv_foreign_env* env);

namespace fd_rt {

// The slots overflow_report.cpp names by type.
using ::LV_query_fn;

template <typename F>
inline F* support(const lv_foreign_env* env, int slot) {
  return reinterpret_cast<F*>(lv_api_slot(env->support, slot));
}
template <typename F>
inline F* api(const lv_foreign_env* env, int slot) {
  return reinterpret_cast<F*>(lv_api_slot(env->c_interface, slot));
}

inline lv_worker* worker(const lv_foreign_env* env) { return static_cast<lv_worker*>(env->engine); }

// Support table.
inline lv_module* find_module(const lv_foreign_env* env, lv_term name, int create) {
  return LV_SUPPORT_API(env->support, find_module)(name, create);
}
inline void call_overflow(const lv_foreign_env* env, int64_t cells, int64_t live_registers) {
  LV_SUPPORT_API(env->support, call_overflow)(worker(env), cells, live_registers);
  fd_pins_follow(env);
}
inline lv_term* numstack_overflow(const lv_foreign_env* env) {
  lv_term* top = LV_SUPPORT_API(env->support, numstack_overflow)(worker(env));
  fd_pins_follow(env);
  return top;
}
inline lv_term make_integer(const lv_foreign_env* env, int64_t value) {
  return LV_SUPPORT_API(env->support, lv_make_integer)(worker(env), value);
}
inline int unify_terms(const lv_foreign_env* env, lv_term x, lv_term y) {
  return LV_SUPPORT_API(env->support, cunify)(worker(env), x, y);
}
inline fd_hash_entry* gethash(const lv_foreign_env* env, void* table, uint64_t key) {
  return reinterpret_cast<fd_hash_entry*>(
      LV_SUPPORT_API(env->support, incore_gethash)(static_cast<lv_keytab*>(table), key));
}
inline void choice_overflow(const lv_foreign_env* env, int64_t entries) {
  LV_SUPPORT_API(env->support, lv_choice_overflow)(worker(env), entries);
  fd_pins_follow(env);
}
inline void* checkalloc(const lv_foreign_env* env, size_t size, int flag) {
  return LV_SUPPORT_API(env->support, lv_checkalloc)(size, flag);
}
inline void checkdealloc(const lv_foreign_env* env, void* block, size_t size, int flag) {
  LV_SUPPORT_API(env->support, lv_checkdealloc)(block, size, flag);
}
inline void* checkrealloc(const lv_foreign_env* env, void* block, size_t old_size, size_t new_size, int flag) {
  return LV_SUPPORT_API(env->support, lv_checkrealloc)(block, old_size, new_size, flag);
}
inline fd_hash_entry* puthash(const lv_foreign_env* env, void** table, uint64_t key) {
  return reinterpret_cast<fd_hash_entry*>(
      LV_SUPPORT_API(env->support, dyn_puthash)(reinterpret_cast<lv_keytab**>(table), key));
}
inline void* new_switch_on_key(const lv_foreign_env* env, uint64_t capacity, uint64_t default_value) {
  return LV_SUPPORT_API(env->support, new_switch_on_key)(capacity, default_value);
}
inline void dispose_switch_on_key(const lv_foreign_env* env, void* table) {
  LV_SUPPORT_API(env->support, dispose_switch_on_key)(static_cast<lv_keytab*>(table));
}
inline void install_fd_hooks(const lv_foreign_env* env, fd_event_hook_fn event_hook, fd_free_hook_fn free_hook,
                             int install) {
  LV_SUPPORT_API(env->support, LV_install_fd_hooks)(const_cast<lv_foreign_env*>(env), event_hook,
                                                                        free_hook, install);
}
inline lv_term get_attributes(const lv_foreign_env* env, lv_term var, const lv_module* module) {
  return LV_SUPPORT_API(env->support, get_attributes)(worker(env), var, module);
}
inline void put_attributes(const lv_foreign_env* env, lv_term var, const lv_module* module, lv_term value) {
  LV_SUPPORT_API(env->support, put_attributes)(worker(env), var, module, value);
}
inline void delete_attributes(const lv_foreign_env* env, lv_term var, const lv_module* module) {
  LV_SUPPORT_API(env->support, delete_attributes)(worker(env), var, module);
}
inline lv_stored_block* decode_dbref(const lv_foreign_env* env, lv_term reference) {
  return LV_SUPPORT_API(env->support, lv_decode_dbref)(reference);
}
inline void mark_term(const lv_foreign_env* env, lv_term term) {
  LV_SUPPORT_API(env->support, markTerm)(term);
}
inline void into_relocation_chain(const lv_foreign_env* env, lv_term* target, lv_term* cell) {
  LV_SUPPORT_API(env->support, intoRelocationChain)(worker(env), target, cell);
}

// C-interface table.
inline lv_term atom(const lv_foreign_env* env, const char* text) {
  return LV_API(env->c_interface, LV_atom_from_string)(text);
}
inline void register_atom(const lv_foreign_env* env, lv_term atom) {
  LV_API(env->c_interface, LV_register_atom)(atom);
}
inline void unregister_atom(const lv_foreign_env* env, lv_term atom) {
  LV_API(env->c_interface, LV_unregister_atom)(atom);
}
inline lv_pred* predicate(const lv_foreign_env* env, const char* name, int64_t arity, const char* module) {
  return LV_API(env->c_interface, LV_predicate)(name, arity, module);
}
inline lv_term_ref new_term_ref(const lv_foreign_env* env) {
  return LV_API(env->c_interface, LV_new_term_ref)();
}
inline void reset_term_refs(const lv_foreign_env* env, lv_term_ref first) {
  LV_API(env->c_interface, LV_reset_term_refs)(first);
}
inline int put_atom(const lv_foreign_env* env, lv_term_ref t, lv_term atom) {
  return LV_API(env->c_interface, LV_put_atom)(t, atom);
}
inline int put_integer(const lv_foreign_env* env, lv_term_ref t, int64_t value) {
  return LV_API(env->c_interface, LV_put_integer)(t, value);
}
inline int put_string(const lv_foreign_env* env, lv_term_ref t, const char* text) {
  return LV_API(env->c_interface, LV_put_string)(t, text);
}
inline int put_variable(const lv_foreign_env* env, lv_term_ref t) {
  return LV_API(env->c_interface, LV_put_variable)(t);
}
// t := name(arguments...).
inline int cons_functor(const lv_foreign_env* env, lv_term_ref t, lv_term name, int arity,
                        const lv_term_ref* arguments) {
  return LV_API(env->c_interface, LV_cons_functor_array)(t, name, arity, arguments);
}
inline int unify(const lv_foreign_env* env, lv_term_ref a, lv_term_ref b) {
  return LV_API(env->c_interface, LV_unify)(a, b);
}
inline void fail(const lv_foreign_env* env) { LV_API(env->c_interface, LV_fail)(); }
inline int exception_term(const lv_foreign_env* env, lv_term_ref t) {
  return LV_API(env->c_interface, LV_exception_term)(t);
}
// count global references ({term, 0}, initially []) that the collector
// keeps and relocates, in one block; and releasing them.
inline fd_termref_slot* alloc_globrefs(const lv_foreign_env* env, uint64_t count) {
  return reinterpret_cast<fd_termref_slot*>(LV_API(env->c_interface, LV_alloc_globrefs)(count));
}
inline void free_globrefs(const lv_foreign_env* env, fd_termref_slot* first) {
  LV_API(env->c_interface, LV_free_globrefs)(reinterpret_cast<lv_termref_slot*>(first));
}
inline int raise_exception(const lv_foreign_env* env, lv_term_ref t) {
  return LV_API(env->c_interface, LV_raise_exception)(t);
}

}  // namespace fd_rt

// The term held in a term reference's slot, and storing one there.
inline lv_term& fd_termref(const lv_foreign_env* env, lv_term_ref t) { return fd_engine_of(env)->termrefs[t].term; }
