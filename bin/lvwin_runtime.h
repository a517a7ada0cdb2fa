// The runtime services the windowed program's glue uses, each a typed call
// through the dispatch record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frontend_runtime.h"
#include "lvwin.h"

// Callbacks of a stream made with LV_create_stream, and the hooks.
typedef lv_device_read_fn lvwin_read_fn;
typedef lv_device_write_fn lvwin_write_fn;
typedef lv_device_close_fn lvwin_close_fn;
typedef lv_user_stream_hook lvwin_stream_hook_fn;
typedef lv_set_title_hook_fn lvwin_set_title_fn;
typedef lv_get_title_hook lvwin_get_title_fn;

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

inline void set_user_stream_hook(lvwin_stream_hook_fn hook) { (void)RT_API(LV_set_user_stream_hook)(hook, nullptr); }
inline void set_set_title_hook(lvwin_set_title_fn hook) { (void)RT_API(LV_set_set_window_title_hook)(hook, nullptr); }
inline void set_get_title_hook(lvwin_get_title_fn hook) { (void)RT_API(LV_set_get_window_title_hook)(hook, nullptr); }
inline int64_t create_stream(void* user, const void* class_tag, lvwin_read_fn read, lvwin_write_fn write,
                             lvwin_close_fn close, uint32_t options, lv_stream** out) {
  return RT_API(LV_create_stream)(user, class_tag, read, write, nullptr, nullptr, close, nullptr, nullptr, nullptr,
                                  options, out);
}
inline int64_t fopen(const char* path, uintptr_t encoding, uint32_t mode, lv_stream** out) {
  return RT_API(LV_fopen)(path, encoding, mode, out);
}
inline int64_t fclose(lv_stream* s) { return RT_API(LV_fclose)(s, 0); }
inline int64_t get_code(lv_stream* s) { return RT_API(lv_get_code_helper)(s, 0); }
inline int64_t put_code(lv_stream* s, int64_t code) { return RT_API(lv_put_code_helper)(s, code, 0); }
// Waits, with no time limit, until the handle is readable: 0, or
// LVIO_E_INTERRUPTED once the runtime has taken in an interrupt (Ctrl-C).
inline int64_t wait_readable(int64_t handle) {
  int64_t count = 1;
  return RT_API(LV_select)(&handle, &count, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
}
inline char* widechar_to_ienc(const char16_t* text) { return RT_SUPPORT(lv_widechar_to_ienc)(text); }
inline char16_t* ienc_to_widechar(const char* text) { return RT_SUPPORT(lv_ienc_to_widechar)(text); }
inline lv_term atom_from_string(const char* text) { return RT_API(LV_atom_from_string)(text); }
inline int cons_functor(lv_term_ref t, lv_term name, lv_term_ref a1, lv_term_ref a2, lv_term_ref a3) {
  return RT_API(LV_cons_functor)(t, name, 3, a1, a2, a3);
}

}  // namespace rt
