// The runtime as the front-end programs reach it: only through the dispatch
// record, one typed call per service they use.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "lorvika.h"
#include "support.h"

// The start-up parameter block handed to lv_init_ds (80 bytes, fixed).
struct frontend_params_block {
  uint64_t size;  // 80
  int32_t fast;
  int32_t padding;
  uint64_t file_count;
  char** files;
  char* restore_file;
  char* goal;
  int32_t reserved;
  int32_t nologo;
  int32_t noinfo;
  int32_t padding2;
  char* ide_attach;
  char* patch_file;
};
static_assert(sizeof(frontend_params_block) == 80);
static_assert(offsetof(frontend_params_block, file_count) == 16);
static_assert(offsetof(frontend_params_block, ide_attach) == 64);

// The abort record a fatal fault jumps to: type word, itself, jump buffer.
constexpr uint64_t FRONTEND_ABORT_RECORD_TYPE = 0x110;
struct frontend_abort_record {
  uint64_t type;
  frontend_abort_record* self;
  jmp_buf buffer;
};
static_assert(offsetof(frontend_abort_record, buffer) == 16);

typedef int (*frontend_c_predicate)(lv_term_ref goal, void* stash);
typedef void (*frontend_signal_handler)(int signal, void* user);

// The dispatch record, fetched on first use.
const lv_dispatch* frontend_dispatch();

namespace rt {

template <typename F>
inline F* c_slot(int slot) {
  return reinterpret_cast<F*>(lv_api_slot(frontend_dispatch()->c_interface, slot));
}
template <typename F>
inline F* support_slot(int slot) {
  return reinterpret_cast<F*>(lv_api_slot(frontend_dispatch()->support, slot));
}

inline int glue_initialize(const lv_init_options* options, const char* const* names, void* const* values, int kind,
                           int flags) {
  return c_slot<int(int, const char* const*, const lv_init_options*, const char* const*, void* const*, int, int)>(
      LV_SLOT_lv_glue_initialize)(0, nullptr, options, names, values, kind, flags);
}
inline void deinitialize() { c_slot<void()>(LV_SLOT_LV_deinitialize)(); }
inline void force_interactive() { c_slot<void()>(LV_SLOT_LV_force_interactive)(); }
inline int set_argv(int argc, const char* const* argv) {
  return c_slot<int(int, const char* const*, int)>(LV_SLOT_LV_set_argv)(argc, argv, 0);
}
inline int64_t init_ds(const frontend_params_block* block) {
  return support_slot<int64_t(const frontend_params_block*)>(LV_SUPPORT_lv_init_ds)(block);
}
inline lv_term_ref new_term_ref() { return c_slot<lv_term_ref()>(LV_SLOT_LV_new_term_ref)(); }
inline void reset_term_refs(lv_term_ref t) { c_slot<void(lv_term_ref)>(LV_SLOT_LV_reset_term_refs)(t); }
inline int put_string(lv_term_ref t, const char* s) {
  return c_slot<int(lv_term_ref, const char*)>(LV_SLOT_LV_put_string)(t, s);
}
inline int put_integer(lv_term_ref t, int64_t v) {
  return c_slot<int(lv_term_ref, int64_t)>(LV_SLOT_LV_put_integer)(t, v);
}
inline int put_variable(lv_term_ref t) { return c_slot<int(lv_term_ref)>(LV_SLOT_LV_put_variable)(t); }
inline int get_integer(lv_term_ref t, int64_t* v) {
  return c_slot<int(lv_term_ref, int64_t*)>(LV_SLOT_LV_get_integer)(t, v);
}
inline void* predicate(const char* name, int64_t arity, const char* module) {
  return c_slot<void*(const char*, int64_t, const char*)>(LV_SLOT_LV_predicate)(name, arity, module);
}
template <typename... A>
inline int query(void* pred, A... args) {
  return c_slot<int(void*, ...)>(LV_SLOT_LV_query)(pred, args...);
}
template <typename... A>
inline int query_cut_fail(void* pred, A... args) {
  return c_slot<int(void*, ...)>(LV_SLOT_LV_query_cut_fail)(pred, args...);
}
inline int exception_term(lv_term_ref t) { return c_slot<int(lv_term_ref)>(LV_SLOT_LV_exception_term)(t); }
inline int decode_reserved_exception(lv_term_ref t, int* code) {
  return c_slot<int(lv_term_ref, int*)>(LV_SLOT_LV_decode_reserved_exception)(t, code);
}
inline int get_errno() { return c_slot<int()>(LV_SLOT_LV_get_errno)(); }
inline const char* error_message(int n) { return c_slot<const char*(int)>(LV_SLOT_LV_error_message)(n); }
inline const char* failed_bootpath() { return c_slot<const char*()>(LV_SLOT_lv_get_failed_bootpath)(); }
inline int qload_or_restore(const char* path, int flags) {
  return c_slot<int(const char*, int)>(LV_SLOT_lv_qload_or_restore)(path, flags);
}
inline int define_c_predicate(const char* name, int arity, const char* module, frontend_c_predicate f) {
  return c_slot<int(const char*, int, const char*, frontend_c_predicate, void*)>(LV_SLOT_LV_define_c_predicate)(
      name, arity, module, f, nullptr);
}
inline void signal(int sig, frontend_signal_handler h) {
  (void)c_slot<frontend_signal_handler(int, frontend_signal_handler, void*)>(LV_SLOT_LV_signal)(sig, h, nullptr);
}
inline void ctrlc_action() { (void)c_slot<int64_t()>(LV_SLOT_LV_ctrlc_action)(); }
inline void ctrlbreak_action() { (void)c_slot<int64_t()>(LV_SLOT_LV_ctrlbreak_action)(); }
inline char* strdup(const char* s) { return c_slot<char*(const char*)>(LV_SLOT_LV_strdup)(s); }
inline void* malloc(size_t n) { return c_slot<void*(size_t)>(LV_SLOT_LV_malloc)(n); }
inline void free(void* p) { c_slot<void(void*)>(LV_SLOT_LV_free)(p); }
[[noreturn]] inline void raise_fault(const char* message) {
  c_slot<void(const char*)>(LV_SLOT_LV_raise_fault)(message);
  __builtin_unreachable();
}
inline void set_abort_env(frontend_abort_record* r) {
  c_slot<void(frontend_abort_record*)>(LV_SLOT_lv_set_abort_env)(r);
}
inline const char* abort_err() { return c_slot<const char*()>(LV_SLOT_lv_get_abort_err_ienc)(); }
inline char* from_os(const char* s) { return c_slot<char*(const char*, int)>(LV_SLOT_LV_from_os)(s, 2); }

// The message channel: flags 2 a line more lines follow, 1 the last line
// (standard error); 18 and 17 the same on standard output.
template <typename... A>
inline int errprintf(uint32_t flags, const char* format, A... args) {
  return support_slot<int(uint32_t, const char*, ...)>(LV_SUPPORT_errprintf)(flags, format, args...);
}

}  // namespace rt
