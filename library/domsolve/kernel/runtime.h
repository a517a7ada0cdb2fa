// The runtime's services as the solver calls them: every call goes through
// the C-interface table or the support table whose headers stand in words 0
// and 1 of the solver's lv_foreign_env. Nothing of the runtime is linked.
// The function types below are the calling shapes of the slots; the
// runtime's records behind the opaque pointers are never looked into except
// where a layout is fixed (the engine view, hash-table entries).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernel/engine.h"
#include "lorvika.h"
#include "support.h"

struct lv_worker;
struct lv_module;
struct lv_pred;
struct lv_keytab;
struct lv_hash_entry;
struct lv_stored_block;

// A keyed hash table's entry: {key, value}.
struct fd_hash_entry {
  uint64_t key;
  uint64_t value;
};

// The solver's engine hooks, as LV_install_fd_hooks takes them.
typedef int64_t (*fd_event_hook_fn)(void* env, lv_worker* w, int64_t event, int64_t argument);
typedef void (*fd_free_hook_fn)(void* env, uint64_t* chain);

namespace fd_rt {

// Support-table slots.
typedef lv_module* find_module_fn(lv_term name, int create);
typedef void call_overflow_fn(lv_worker* w, int64_t cells, int64_t live_registers);
typedef lv_term* numstack_overflow_fn(lv_worker* w);
typedef lv_term lv_make_integer_fn(lv_worker* w, int64_t value);
typedef int cunify_fn(lv_worker* w, lv_term x, lv_term y);
typedef lv_hash_entry* incore_gethash_fn(lv_keytab* table, uint64_t key);
typedef int64_t lv_choice_overflow_fn(lv_worker* w, int64_t entries);
typedef void* lv_checkalloc_fn(size_t size, int flag);
typedef void lv_checkdealloc_fn(void* block, size_t size, int flag);
typedef void* lv_checkrealloc_fn(void* block, size_t old_size, size_t new_size, int flag);
typedef lv_hash_entry* dyn_puthash_fn(lv_keytab** table, uint64_t key);
typedef lv_keytab* new_switch_on_key_fn(uint64_t capacity, uint64_t default_value);
typedef void dispose_switch_on_key_fn(lv_keytab* table);
typedef int LV_install_fd_hooks_fn(void* data, fd_event_hook_fn event_hook, fd_free_hook_fn free_hook, int install);
typedef lv_term get_attributes_fn(lv_worker* w, lv_term var, const lv_module* module);
typedef void put_attributes_fn(lv_worker* w, lv_term var, const lv_module* module, lv_term value);
typedef void delete_attributes_fn(lv_worker* w, lv_term var, const lv_module* module);
typedef lv_stored_block* lv_decode_dbref_fn(lv_term reference);
typedef void markTerm_fn(lv_term term);
typedef void intoRelocationChain_fn(lv_worker* w, lv_term* target, lv_term* cell);

// C-interface slots.
typedef lv_term LV_atom_from_string_fn(const char* text);
typedef int LV_register_atom_fn(lv_term atom);
typedef lv_pred* LV_predicate_fn(const char* name, int64_t arity, const char* module);
typedef int LV_query_fn(lv_pred* pred, ...);
typedef lv_term_ref LV_new_term_ref_fn();
typedef void LV_reset_term_refs_fn(lv_term_ref first);
typedef int LV_put_atom_fn(lv_term_ref t, lv_term atom);
typedef int LV_put_integer_fn(lv_term_ref t, int64_t value);
typedef int LV_put_string_fn(lv_term_ref t, const char* text);
typedef int LV_put_variable_fn(lv_term_ref t);
typedef int LV_cons_functor_array_fn(lv_term_ref t, lv_term name, int arity, const lv_term_ref* arguments);
typedef int LV_unify_fn(lv_term_ref a, lv_term_ref b);
typedef void LV_fail_fn();
typedef int LV_exception_term_fn(lv_term_ref t);
typedef int LV_raise_exception_fn(lv_term_ref t);
typedef fd_termref_slot* LV_alloc_globrefs_fn(uint64_t count);
typedef void LV_free_globrefs_fn(fd_termref_slot* first);

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
  return support<find_module_fn>(env, LV_SUPPORT_find_module)(name, create);
}
inline void call_overflow(const lv_foreign_env* env, int64_t cells, int64_t live_registers) {
  support<call_overflow_fn>(env, LV_SUPPORT_call_overflow)(worker(env), cells, live_registers);
}
inline lv_term* numstack_overflow(const lv_foreign_env* env) {
  return support<numstack_overflow_fn>(env, LV_SUPPORT_numstack_overflow)(worker(env));
}
inline lv_term make_integer(const lv_foreign_env* env, int64_t value) {
  return support<lv_make_integer_fn>(env, LV_SUPPORT_lv_make_integer)(worker(env), value);
}
inline int unify_terms(const lv_foreign_env* env, lv_term x, lv_term y) {
  return support<cunify_fn>(env, LV_SUPPORT_cunify)(worker(env), x, y);
}
inline fd_hash_entry* gethash(const lv_foreign_env* env, void* table, uint64_t key) {
  return reinterpret_cast<fd_hash_entry*>(
      support<incore_gethash_fn>(env, LV_SUPPORT_incore_gethash)(static_cast<lv_keytab*>(table), key));
}
inline void choice_overflow(const lv_foreign_env* env, int64_t entries) {
  support<lv_choice_overflow_fn>(env, LV_SUPPORT_lv_choice_overflow)(worker(env), entries);
}
inline void* checkalloc(const lv_foreign_env* env, size_t size, int flag) {
  return support<lv_checkalloc_fn>(env, LV_SUPPORT_lv_checkalloc)(size, flag);
}
inline void checkdealloc(const lv_foreign_env* env, void* block, size_t size, int flag) {
  support<lv_checkdealloc_fn>(env, LV_SUPPORT_lv_checkdealloc)(block, size, flag);
}
inline void* checkrealloc(const lv_foreign_env* env, void* block, size_t old_size, size_t new_size, int flag) {
  return support<lv_checkrealloc_fn>(env, LV_SUPPORT_lv_checkrealloc)(block, old_size, new_size, flag);
}
inline fd_hash_entry* puthash(const lv_foreign_env* env, void** table, uint64_t key) {
  return reinterpret_cast<fd_hash_entry*>(
      support<dyn_puthash_fn>(env, LV_SUPPORT_dyn_puthash)(reinterpret_cast<lv_keytab**>(table), key));
}
inline void* new_switch_on_key(const lv_foreign_env* env, uint64_t capacity, uint64_t default_value) {
  return support<new_switch_on_key_fn>(env, LV_SUPPORT_new_switch_on_key)(capacity, default_value);
}
inline void dispose_switch_on_key(const lv_foreign_env* env, void* table) {
  support<dispose_switch_on_key_fn>(env, LV_SUPPORT_dispose_switch_on_key)(static_cast<lv_keytab*>(table));
}
inline void install_fd_hooks(const lv_foreign_env* env, fd_event_hook_fn event_hook, fd_free_hook_fn free_hook,
                             int install) {
  support<LV_install_fd_hooks_fn>(env, LV_SUPPORT_LV_install_fd_hooks)(const_cast<lv_foreign_env*>(env), event_hook,
                                                                        free_hook, install);
}
inline lv_term get_attributes(const lv_foreign_env* env, lv_term var, const lv_module* module) {
  return support<get_attributes_fn>(env, LV_SUPPORT_get_attributes)(worker(env), var, module);
}
inline void put_attributes(const lv_foreign_env* env, lv_term var, const lv_module* module, lv_term value) {
  support<put_attributes_fn>(env, LV_SUPPORT_put_attributes)(worker(env), var, module, value);
}
inline void delete_attributes(const lv_foreign_env* env, lv_term var, const lv_module* module) {
  support<delete_attributes_fn>(env, LV_SUPPORT_delete_attributes)(worker(env), var, module);
}
inline lv_stored_block* decode_dbref(const lv_foreign_env* env, lv_term reference) {
  return support<lv_decode_dbref_fn>(env, LV_SUPPORT_lv_decode_dbref)(reference);
}
inline void mark_term(const lv_foreign_env* env, lv_term term) {
  support<markTerm_fn>(env, LV_SUPPORT_markTerm)(term);
}
inline void into_relocation_chain(const lv_foreign_env* env, lv_term* target, lv_term* cell) {
  support<intoRelocationChain_fn>(env, LV_SUPPORT_intoRelocationChain)(worker(env), target, cell);
}

// C-interface table.
inline lv_term atom(const lv_foreign_env* env, const char* text) {
  return api<LV_atom_from_string_fn>(env, LV_SLOT_LV_atom_from_string)(text);
}
inline void register_atom(const lv_foreign_env* env, lv_term atom) {
  api<LV_register_atom_fn>(env, LV_SLOT_LV_register_atom)(atom);
}
inline void unregister_atom(const lv_foreign_env* env, lv_term atom) {
  api<LV_register_atom_fn>(env, LV_SLOT_LV_unregister_atom)(atom);
}
inline lv_pred* predicate(const lv_foreign_env* env, const char* name, int64_t arity, const char* module) {
  return api<LV_predicate_fn>(env, LV_SLOT_LV_predicate)(name, arity, module);
}
inline lv_term_ref new_term_ref(const lv_foreign_env* env) {
  return api<LV_new_term_ref_fn>(env, LV_SLOT_LV_new_term_ref)();
}
inline void reset_term_refs(const lv_foreign_env* env, lv_term_ref first) {
  api<LV_reset_term_refs_fn>(env, LV_SLOT_LV_reset_term_refs)(first);
}
inline int put_atom(const lv_foreign_env* env, lv_term_ref t, lv_term atom) {
  return api<LV_put_atom_fn>(env, LV_SLOT_LV_put_atom)(t, atom);
}
inline int put_integer(const lv_foreign_env* env, lv_term_ref t, int64_t value) {
  return api<LV_put_integer_fn>(env, LV_SLOT_LV_put_integer)(t, value);
}
inline int put_string(const lv_foreign_env* env, lv_term_ref t, const char* text) {
  return api<LV_put_string_fn>(env, LV_SLOT_LV_put_string)(t, text);
}
inline int put_variable(const lv_foreign_env* env, lv_term_ref t) {
  return api<LV_put_variable_fn>(env, LV_SLOT_LV_put_variable)(t);
}
// t := name(arguments...).
inline int cons_functor(const lv_foreign_env* env, lv_term_ref t, lv_term name, int arity,
                        const lv_term_ref* arguments) {
  return api<LV_cons_functor_array_fn>(env, LV_SLOT_LV_cons_functor_array)(t, name, arity, arguments);
}
inline int unify(const lv_foreign_env* env, lv_term_ref a, lv_term_ref b) {
  return api<LV_unify_fn>(env, LV_SLOT_LV_unify)(a, b);
}
inline void fail(const lv_foreign_env* env) { api<LV_fail_fn>(env, LV_SLOT_LV_fail)(); }
inline int exception_term(const lv_foreign_env* env, lv_term_ref t) {
  return api<LV_exception_term_fn>(env, LV_SLOT_LV_exception_term)(t);
}
// count global references ({term, 0}, initially []) that the collector
// keeps and relocates, in one block; and releasing them.
inline fd_termref_slot* alloc_globrefs(const lv_foreign_env* env, uint64_t count) {
  return api<LV_alloc_globrefs_fn>(env, LV_SLOT_LV_alloc_globrefs)(count);
}
inline void free_globrefs(const lv_foreign_env* env, fd_termref_slot* first) {
  api<LV_free_globrefs_fn>(env, LV_SLOT_LV_free_globrefs)(first);
}
inline int raise_exception(const lv_foreign_env* env, lv_term_ref t) {
  return api<LV_raise_exception_fn>(env, LV_SLOT_LV_raise_exception)(t);
}

}  // namespace fd_rt

// The term held in a term reference's slot, and storing one there.
inline lv_term& fd_termref(const lv_foreign_env* env, lv_term_ref t) { return fd_engine_of(env)->termrefs[t].term; }
