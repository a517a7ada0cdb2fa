// The runtime as the front-end programs reach it: only through the dispatch
// record, one typed call per service they use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "lorvika.h"
#include "support.h"

// The start-up parameter block handed to lv_init_ds (lv_frontend_params,
// support.h) and the abort record a fatal fault jumps to (lv_jump_record,
// lorvika.h) are the interface's own records.

// The dispatch record, fetched on first use.
const lv_dispatch* frontend_dispatch();

namespace rt {

// The slots' functions with their types (also for lvwin_runtime.h).
#define RT_API(name) LV_API(frontend_dispatch()->c_interface, name)
#define RT_SUPPORT(name) LV_SUPPORT_API(frontend_dispatch()->support, name)

inline int glue_initialize(const lv_init_options* options, const char* const* names, void* const* values, int kind,
                           int flags) {
  return RT_API(lv_glue_initialize)(0, nullptr, options, names, values, kind, flags);
}
inline void deinitialize() { RT_API(LV_deinitialize)(); }
inline void force_interactive() { RT_API(LV_force_interactive)(); }
inline int set_argv(int argc, const char* const* argv) { return RT_API(LV_set_argv)(argc, argv, 0); }
inline int64_t init_ds(const lv_frontend_params* block) { return RT_SUPPORT(lv_init_ds)(block); }
inline lv_term_ref new_term_ref() { return RT_API(LV_new_term_ref)(); }
inline void reset_term_refs(lv_term_ref t) { RT_API(LV_reset_term_refs)(t); }
inline int put_string(lv_term_ref t, const char* s) { return RT_API(LV_put_string)(t, s); }
inline int put_integer(lv_term_ref t, int64_t v) { return RT_API(LV_put_integer)(t, v); }
inline int put_variable(lv_term_ref t) { return RT_API(LV_put_variable)(t); }
inline int get_integer(lv_term_ref t, int64_t* v) { return RT_API(LV_get_integer)(t, v); }
inline lv_pred* predicate(const char* name, int64_t arity, const char* module) {
  return RT_API(LV_predicate)(name, arity, module);
}
// The arguments are term references.
template <typename... A>
inline int query(lv_pred* pred, A... args) {
  static_assert((std::is_same_v<A, lv_term_ref> && ...));
  return RT_API(LV_query)(pred, args...);
}
template <typename... A>
inline int query_cut_fail(lv_pred* pred, A... args) {
  static_assert((std::is_same_v<A, lv_term_ref> && ...));
  return RT_API(LV_query_cut_fail)(pred, args...);
}
inline int exception_term(lv_term_ref t) { return RT_API(LV_exception_term)(t); }
inline int decode_reserved_exception(lv_term_ref t, int* code) { return RT_API(LV_decode_reserved_exception)(t, code); }
inline int get_errno() { return RT_API(LV_get_errno)(); }
inline const char* error_message(int n) { return RT_API(LV_error_message)(n); }
inline const char* failed_bootpath() { return RT_API(lv_get_failed_bootpath)(); }
inline int qload_or_restore(const char* path, int flags) { return RT_API(lv_qload_or_restore)(path, flags); }
inline int define_c_predicate(const char* name, int arity, const char* module, lv_c_predicate_fn f) {
  return RT_API(LV_define_c_predicate)(name, arity, module, f, nullptr);
}
inline void signal(int sig, lv_signal_handler h) { (void)RT_API(LV_signal)(sig, h, nullptr); }
inline void ctrlc_action() { (void)RT_API(LV_ctrlc_action)(); }
inline void ctrlbreak_action() { (void)RT_API(LV_ctrlbreak_action)(); }
inline char* strdup(const char* s) { return RT_API(LV_strdup)(s); }
inline void* malloc(size_t n) { return RT_API(LV_malloc)(n); }
inline void free(void* p) { RT_API(LV_free)(p); }
[[noreturn]] inline void raise_fault(const char* message) {
  RT_API(LV_raise_fault)(message);
  __builtin_unreachable();
}
inline void set_abort_env(lv_jump_record* r) { RT_API(lv_set_abort_env)(r); }
inline const char* abort_err() { return RT_API(lv_get_abort_err_ienc)(); }
inline char* from_os(const char* s) { return RT_API(LV_from_os)(s, 2); }
inline lv_errprintf_hook set_errprintf_hook(lv_errprintf_hook hook) {
  return RT_SUPPORT(LV_set_errprintf_hook)(hook, nullptr);
}

// The message channel: flags 2 a line more lines follow, 1 the last line
// (standard error); 18 and 17 the same on standard output.
template <typename... A>
inline int errprintf(uint32_t flags, const char* format, A... args) {
  return RT_SUPPORT(errprintf)(flags, format, args...);
}

}  // namespace rt
