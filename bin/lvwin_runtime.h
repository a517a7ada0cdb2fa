// The runtime services the windowed program's glue uses, each a typed call
// through the dispatch record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frontend_runtime.h"
#include "lvwin.h"

// Callbacks of a stream made with LV_create_stream.
typedef lvio_code (*lvwin_read_fn)(void* user, void* buffer, uint64_t* size, uint32_t options);
typedef lvio_code (*lvwin_write_fn)(void* user, const void* buffer, uint64_t* size, uint32_t options);
typedef lvio_code (*lvwin_close_fn)(void** user_field, uint32_t directions, int abortive);
typedef lv_stream* (*lvwin_stream_hook_fn)(void* data, int which);
typedef void (*lvwin_set_title_fn)(void* data, const char* title);
typedef const char* (*lvwin_get_title_fn)(void* data);

// Stream options: code items, interactive, reset after the end of file.
constexpr uint32_t LVWIN_CONSOLE_STREAM_OPTIONS = 0x26;
// Directions given to a close callback.
constexpr uint32_t LVWIN_INPUT = 1;
constexpr uint32_t LVWIN_OUTPUT = 2;
// File modes of LV_fopen: text, read or write; the encoding argument is
// a term reference.
constexpr uint32_t LVWIN_OPEN_READ = 17;
constexpr uint32_t LVWIN_OPEN_WRITE = 18;
constexpr uint32_t LVWIN_OPEN_ENCODING_REF = 0x4000;

namespace rt {

inline void set_user_stream_hook(lvwin_stream_hook_fn hook) {
  (void)c_slot<lvwin_stream_hook_fn(lvwin_stream_hook_fn, void*)>(LV_SLOT_LV_set_user_stream_hook)(hook, nullptr);
}
inline void set_set_title_hook(lvwin_set_title_fn hook) {
  (void)c_slot<lvwin_set_title_fn(lvwin_set_title_fn, void*)>(LV_SLOT_LV_set_set_window_title_hook)(hook, nullptr);
}
inline void set_get_title_hook(lvwin_get_title_fn hook) {
  (void)c_slot<lvwin_get_title_fn(lvwin_get_title_fn, void*)>(LV_SLOT_LV_set_get_window_title_hook)(hook, nullptr);
}
inline int64_t create_stream(void* user, const void* class_tag, lvwin_read_fn read, lvwin_write_fn write,
                             lvwin_close_fn close, uint32_t options, lv_stream** out) {
  return c_slot<int64_t(void*, const void*, lvwin_read_fn, lvwin_write_fn, void*, void*, lvwin_close_fn, void*,
                        void*, void*, uint32_t, lv_stream**)>(LV_SLOT_LV_create_stream)(
      user, class_tag, read, write, nullptr, nullptr, close, nullptr, nullptr, nullptr, options, out);
}
inline int64_t fopen(const char* path, uintptr_t encoding, uint32_t mode, lv_stream** out) {
  return c_slot<int64_t(const char*, uintptr_t, uint32_t, lv_stream**)>(LV_SLOT_LV_fopen)(path, encoding, mode, out);
}
inline int64_t fclose(lv_stream* s) { return c_slot<int64_t(void*, uint32_t)>(LV_SLOT_LV_fclose)(s, 0); }
inline int64_t get_code(lv_stream* s) {
  return c_slot<int64_t(lv_stream*, uint32_t)>(LV_SLOT_lv_get_code_helper)(s, 0);
}
inline int64_t put_code(lv_stream* s, int64_t code) {
  return c_slot<int64_t(lv_stream*, int64_t, uint32_t)>(LV_SLOT_lv_put_code_helper)(s, code, 0);
}
// Waits, with no time limit, until the handle is readable: 0, or
// LVIO_E_INTERRUPTED once the runtime has taken in an interrupt (Ctrl-C).
inline int64_t wait_readable(int64_t handle) {
  int64_t count = 1;
  return c_slot<int64_t(int64_t*, int64_t*, lv_stream**, int64_t*, lv_stream**, int64_t*, const void*, uint32_t)>(
      LV_SLOT_LV_select)(&handle, &count, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
}
inline char* widechar_to_ienc(const char16_t* text) {
  return support_slot<char*(const char16_t*)>(LV_SUPPORT_lv_widechar_to_ienc)(text);
}
inline char16_t* ienc_to_widechar(const char* text) {
  return support_slot<char16_t*(const char*)>(LV_SUPPORT_lv_ienc_to_widechar)(text);
}
inline uint64_t atom_from_string(const char* text) {
  return c_slot<uint64_t(const char*)>(LV_SLOT_LV_atom_from_string)(text);
}
inline int cons_functor(lv_term_ref t, uint64_t name, lv_term_ref a1, lv_term_ref a2, lv_term_ref a3) {
  return c_slot<int(lv_term_ref, uint64_t, int, ...)>(LV_SLOT_LV_cons_functor)(t, name, 3, a1, a2, a3);
}

}  // namespace rt
