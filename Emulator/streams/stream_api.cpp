// The stream functions of the C interface that are not the read and write
// paths: standard-stream getters, counts, streams over handles and user
// callbacks, enumeration, push-back, idle hooks and the I/O layer's
// diagnostics.
#include "streams/stream_api.h"

#include <cstring>

#include "core/atoms.h"
#include "lvio/allocator.h"
#include "lvio/async_layer.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/locale_text.h"
#include "lvio/trace.h"
#include "lvio/buffer.h"
#include "streams/memory_stream.h"
#include "streams/stream_close.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"

lv_idle_hook* lv_idle_hooks = nullptr;
uint64_t lv_idle_hooks_changes = 0;

namespace {

uint64_t idle_hook_count = 0;  // entries, the terminator not counted

bool one_of(uint32_t word, uint32_t a, uint32_t b) { return ((word & a) != 0) != ((word & b) != 0); }

uint64_t idle_bytes(uint64_t count) { return (count + 1) * sizeof(lv_idle_hook); }

// Replaces the idle-hook array by one of count entries, the first of them
// copied from the old array.
bool resize_idle_hooks(uint64_t count) {
  lv_idle_hook* fresh = nullptr;
  if (count != 0) {
    fresh = static_cast<lv_idle_hook*>(lv_mem_alloc(idle_bytes(count), LV_STREAM_MEM));
    if (fresh == nullptr) return false;
    uint64_t keep = count < idle_hook_count ? count : idle_hook_count;
    if (keep != 0) std::memcpy(fresh, lv_idle_hooks, keep * sizeof(lv_idle_hook));
    fresh[count] = {nullptr, nullptr};
  }
  if (lv_idle_hooks != nullptr) lv_mem_free(lv_idle_hooks, idle_bytes(idle_hook_count), LV_STREAM_MEM);
  lv_idle_hooks = fresh;
  idle_hook_count = count;
  lv_idle_hooks_changes++;
  return true;
}

}  // namespace

void lv_free_idle_hooks() {
  if (lv_idle_hooks != nullptr) resize_idle_hooks(0);
}

lv_stream* LV_get_stdin() { return lv_streams.user[LV_STD_INPUT]; }
lv_stream* LV_get_stdout() { return lv_streams.user[LV_STD_OUTPUT]; }
lv_stream* LV_get_stderr() { return lv_streams.user[LV_STD_ERROR]; }
lv_stream* LV_get_curin() { return lv_streams.current_input; }
lv_stream* LV_get_curout() { return lv_streams.current_output; }

int64_t LV_get_stream_user_data(lv_stream* s, const void* class_tag, void** user_data) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (s->chain == nullptr) return LVIO_E_NOT_FOUND;
  return lvio_simple_device_user_data(&s->chain, class_tag, user_data);
}

int64_t LV_get_stream_counts(lv_stream* s, int64_t* items, int64_t* lines, int64_t* line_position,
                             uint32_t options) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((options & 2) != 0) {
    if ((s->flags & LV_STREAM_OUTPUT) == 0) return LVIO_E_NOT_WRITE;
    if ((s->flags & LV_STREAM_INPUT) != 0) return LVIO_E_NOT_SUPPORTED;
  } else if ((options & 1) != 0 && (s->flags & LV_STREAM_INPUT) == 0) {
    return LVIO_E_NOT_READ;
  }
  lv_stream* head = lv_stream_ring_head();
  bool own = options != 0 || (s->flags & LV_STREAM_INTERACTIVE) == 0 || head == nullptr;
  lv_stream_count_sync(s, 1);
  const lv_stream* from = own ? s : head;
  int64_t n = from->item_count;
  if (own && (s->flags & (LV_STREAM_INPUT | LV_STREAM_AT_END)) == (LV_STREAM_INPUT | LV_STREAM_AT_END))
    n = s->end_position;
  bool text = (s->flags & LV_STREAM_TEXT) != 0;
  if (items != nullptr) *items = n;
  if (lines != nullptr) *lines = text ? from->line_count : 0;
  if (line_position != nullptr) *line_position = text ? from->line_position : 0;
  return 0;
}

int64_t LV_create_os_stream(int64_t handle, lv_stream** out, lv_term encoding, uint32_t w) {
  if (out == nullptr || !one_of(w, LV_OS_BINARY, LV_OS_TEXT) || (w & (LV_OS_READ | LV_OS_WRITE)) == 0)
    return LVIO_E_PARAMETER_ERROR;
  bool text = (w & LV_OS_TEXT) != 0;
  bool input = (w & LV_OS_READ) != 0;
  bool output = (w & LV_OS_WRITE) != 0;
  bool reposition = (w & LV_OS_REPOSITION) != 0;
  const char* name = nullptr;
  const char* eol_name = "default";
  if ((w & LV_OS_ENCODING_GIVEN) != 0) {
    lv_term t = lv_deref(encoding);
    if (!lv_is_struct(t) || lv_struct_cells(t)[0] != lv_make_functor(LV_ATOM_ENCODING_, 3))
      return LVIO_E_PARAMETER_ERROR;
    for (int i = 1; i <= 3; i++)
      if (!lv_is_atom(lv_deref(lv_struct_cells(t)[i]))) return LVIO_E_INTERNAL_ERROR;
    lv_term n = lv_deref(lv_struct_cells(t)[1]);
    if (n != LV_ATOM_DEFAULT_) name = lv_atom_text(n);
    eol_name = lv_atom_text(lv_deref(lv_struct_cells(t)[3]));
  }
  lvio_coder_class* read_class = nullptr;
  lvio_coder_class* write_class = nullptr;
  char* locale_name = nullptr;
  uint32_t word = 0;
  int64_t rc = 0;
  if (text) {
    if (name == nullptr && (w & LV_OS_LOCALE_ENCODING) != 0) {
      if (lvio_ansi_charset_name(&locale_name) < 0) return LVIO_E_CHARSET_NOT_FOUND;
      name = locale_name;
    }
    if (name == nullptr) name = "ISO-8859-1";
    if (input) rc = lvio_coder_class_open(&read_class, name, nullptr, reposition ? 1 : 0);
    if (rc >= 0 && output) rc = lvio_coder_class_open(&write_class, name, nullptr, reposition ? 1 : 0);
    if (rc >= 0 && input) {
      int64_t eol = lv_eol_mode_name(eol_name, reposition ? "lf" : "auto");
      if (eol < 0) rc = eol;
      if (reposition && eol != LV_EOL_LF) rc = LVIO_E_SEEK_ERROR;
      word |= LV_CODER_INPUT | lv_coder_eol_option(eol, true);
      if ((w & LV_OS_DETECT_BOM) != 0) word |= LV_CODER_MARK;
    }
    if (rc >= 0 && output) {
      int64_t eol = lv_eol_mode_name(eol_name, reposition ? "lf" : "os");
      if (eol < 0) rc = eol;
      if (reposition && eol != LV_EOL_LF) rc = LVIO_E_SEEK_ERROR;
      word |= LV_CODER_OUTPUT | lv_coder_eol_option(eol, false);
      if ((w & LV_OS_WRITE_BOM) != 0) word |= LV_CODER_MARK;
      if ((w & LV_OS_NO_UTF8_BOM) != 0) word |= LV_CODER_MARK_ONLY_UTF16;
    }
    if (reposition) word |= LV_CODER_REPOSITION;
    if (rc >= 0) rc = lv_check_coder_flags(word);
  }
  lvio_free(locale_name);
  // The handle is borrowed while the stream is built, so that a failure
  // leaves it open for the caller; the stream takes it over at the end.
  lvio_layer* chain = nullptr;
  lvio_layer* device_layer = nullptr;
  if (rc >= 0) {
    uint32_t device = (input ? LVIO_ASYNC_READ : 0) | (output ? LVIO_ASYNC_WRITE : 0) | LVIO_ASYNC_BORROWED |
                      ((w & LV_OS_OWN_POSITION) != 0 ? LVIO_ASYNC_OWN_POSITION : 0);
    rc = lvio_open_os_handle(&chain, static_cast<int>(handle), device);
    device_layer = chain;
  }
  uint32_t text_flags = 0;
  if (rc >= 0 && text) {
    rc = lv_make_coded_stream(&chain, read_class, write_class, word);
    if (rc == LV_STREAM_BOM) text_flags |= LV_TEXT_BOM_FOUND;
    uint32_t request = ((w & LV_OS_CODER_STRICT) != 0 ? 8 : 0) | ((w & LV_OS_CODER_REPLACE) != 0 ? 64 : 0);
    if (rc >= 0 && request != 0)
      (void)lvio_stream_probe(&chain, request | (input ? LVIO_OP_READ : 0) | (output ? LVIO_OP_WRITE : 0));
    if ((word & LV_CODER_IN_CRLF) != 0) text_flags |= LV_TEXT_IN_CRLF;
    if ((word & LV_CODER_IN_AUTO) != 0) text_flags |= LV_TEXT_IN_AUTO;
    if ((word & LV_CODER_OUT_CRLF) != 0) text_flags |= LV_TEXT_OUT_CRLF;
    if ((word & LV_CODER_OUT_AUTO) != 0) text_flags |= LV_TEXT_OUT_AUTO;
  }
  if (read_class != nullptr) lvio_coder_class_unref(read_class);
  if (write_class != nullptr) lvio_coder_class_unref(write_class);
  lv_stream* s = nullptr;
  if (rc >= 0) {
    uint32_t make = (input ? LV_MAKE_INPUT : 0) | (output ? LV_MAKE_OUTPUT : 0) |
                    (text ? LV_MAKE_TEXT : LV_MAKE_BINARY) | ((w & LV_OS_LINE_FLUSH) != 0 ? LV_MAKE_LINE_FLUSH : 0);
    rc = lv_make_stream_from_layers(chain, &s, make);
  }
  if (rc < 0) {
    if (chain != nullptr) (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);  // the open's failure is reported
    return rc;
  }
  if ((w & LV_OS_BORROWED) == 0) device_layer->flags &= ~LVIO_ASYNC_LAYER_BORROWED;
  lv_stream_apply_text_flags(s, text_flags);
  *out = s;
  return 0;
}

int64_t LV_create_stream(void* user_data, const void* class_tag, lvio_device_read_fn read,
                         lvio_device_write_fn write, lvio_device_flush_fn flush, lvio_device_spare1_fn spare1,
                         lvio_device_close_fn close, lvio_device_spare2_fn spare2, lvio_device_control_fn control,
                         void*, uint32_t w, lv_stream** out) {
  if (out == nullptr || !one_of(w, LV_CREATE_BYTES, LV_CREATE_CODES) || user_data == nullptr ||
      (read == nullptr && write == nullptr))
    return LVIO_E_PARAMETER_ERROR;
  lvio_layer* chain = nullptr;
  int64_t rc = lvio_make_simple_device(&chain, user_data, class_tag, read, write, flush, spare1, close, spare2,
                                       control, (w & LV_CREATE_BYTES) != 0 ? LVIO_DEVICE_BYTES : LVIO_DEVICE_CODES);
  if (rc < 0) return rc;
  uint32_t make = (read != nullptr ? LV_MAKE_INPUT : 0) | (write != nullptr ? LV_MAKE_OUTPUT : 0) |
                  ((w & LV_CREATE_BYTES) != 0 ? LV_MAKE_BINARY : LV_MAKE_TEXT) |
                  ((w & LV_CREATE_INTERACTIVE) != 0 ? LV_MAKE_INTERACTIVE : 0) |
                  ((w & LV_CREATE_LINE_FLUSH) != 0 ? LV_MAKE_LINE_FLUSH : 0) |
                  ((w & LV_CREATE_END_CODE) != 0 ? LV_MAKE_END_CODE : 0) |
                  ((w & LV_CREATE_END_RESET) != 0 ? LV_MAKE_END_RESET : 0);
  rc = lv_make_stream_from_layers(chain, out, make);
  if (rc < 0) (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);  // the creation's failure is reported
  return rc;
}

int64_t lv_open_memory_input(const void* bytes, uint64_t count, const char* name, lv_stream** out) {
  if ((bytes == nullptr && count != 0) || name == nullptr || out == nullptr) return LVIO_E_PARAMETER_ERROR;
  lvio_buffer* buffer = lvio_buffer_create(bytes, count, LVIO_BUFFER_CREATE_COPY);
  if (buffer == nullptr) return LVIO_E_OUT_OF_MEMORY;
  lvio_layer* chain = nullptr;
  int64_t rc = lv_memory_device_create(&chain, buffer, nullptr, nullptr,
                                       LV_MEMORY_OWNS_BUFFER | LV_MEMORY_READABLE | LV_MEMORY_BYTE_ITEMS);
  if (rc < 0) return rc;
  lv_stream* s = nullptr;
  rc = lv_make_stream_from_layers(chain, &s, LV_MAKE_INPUT | LV_MAKE_BINARY);
  if (rc < 0) {
    (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);
    return rc;
  }
  lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND_OR_CREATE);
  if (atom != 0 && LV_register_atom(atom) != 0) s->file_name = atom;
  *out = s;
  return 0;
}

int64_t LV_next_stream(lv_stream* stream, lv_stream** out) {
  *out = nullptr;
  lv_stream* head = lv_stream_ring_head();
  if (head == nullptr) return 0;
  for (lv_stream* t = stream != nullptr ? stream->prev : head->prev; t != nullptr && t != head; t = t->prev) {
    if ((t->flags & LV_STREAM_HIDDEN) == 0) {
      *out = t;
      break;
    }
  }
  return 0;
}

int64_t LV_unget_code(lv_stream* stream, int64_t code) { return lv_stream_unget_code(stream, code); }

int64_t LV_unget_byte(lv_stream* stream, int64_t byte) { return lv_stream_unget_byte(stream, byte); }

int64_t LV_install_idle_hook(int (*function)(void*), void* data, uint32_t options) {
  if (function == nullptr) return LVIO_E_PARAMETER_ERROR;
  for (uint64_t i = 0; i < idle_hook_count; i++) {
    if (lv_idle_hooks[i].function != function) continue;
    if ((options & 1) == 0) {
      lv_idle_hooks[i].data = data;
      return 0;
    }
    lv_idle_hooks[i] = lv_idle_hooks[idle_hook_count - 1];
    return resize_idle_hooks(idle_hook_count - 1) ? 0 : LVIO_E_OUT_OF_MEMORY;
  }
  if ((options & 1) != 0) return LVIO_E_NOT_FOUND;
  if (!resize_idle_hooks(idle_hook_count + 1)) return LVIO_E_OUT_OF_MEMORY;
  lv_idle_hooks[idle_hook_count - 1] = {function, data};
  return 0;
}

int64_t lv_lvio_assert_failure(const char* function, const char* file, int line) {
  return lvio_assert_failure(function, file, line);
}

int64_t lv_lvio_debug_break(const char* file, int line) { return lvio_debug_break(file, line); }

const char* lv_lvio_error_name(int64_t code) { return lvio_error_name_of(code); }

int64_t lv_lvio_trace_line(const char* function, const char* file, int line, const char* text, int64_t value,
                           const char* message, int level) {
  return lvio_trace_line(function, file, line, text, value, message, level);
}
