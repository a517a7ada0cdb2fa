// The standard streams, the null stream, and the start-up and shutdown of
// the stream layer.
#include "streams/std_streams.h"

#include <cstring>

#include "core/atoms.h"
#include "lvio/allocator.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/locale_text.h"
#include "lvio/settings.h"
#include "lvio/std_chain.h"
#include "lvio/buffer.h"
#include "streams/file_names.h"
#include "streams/resource_directory.h"
#include "streams/socket_builtins.h"
#include "streams/stream_api.h"
#include "streams/stream_builtins.h"
#include "streams/stream_close.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"

lv_stream_globals lv_streams = {};

namespace {

lv_user_stream_hook user_hook = nullptr;
void* user_hook_data = nullptr;
lv_user_stream_post_hook post_hook = nullptr;
void* post_hook_data = nullptr;

// Request-5 words of the standard streams: replace what cannot be
// converted, on the decoder (2) or the encoder (4).
constexpr uint32_t STD_CODER_OPTIONS = 72;

uint32_t std_chain_kind(int kind) {
  return (kind == LV_STD_INPUT ? LVIO_STD_INPUT : kind == LV_STD_OUTPUT ? LVIO_STD_OUTPUT : LVIO_STD_ERROR) |
         LVIO_STD_MAKE_NULL;
}

// The text of a setting after its last '.'; 1 when the setting is unset
// or empty, LVIO_E_NOT_FOUND when it begins with '/'.
int64_t name_from_setting(const char* setting, char** name) {
  char* value = nullptr;
  if (setting[0] != '\0')
    value = lvio_setting_get_string(setting);
  else if (lvio_ansi_charset_name(&value) < 0)
    return 1;
  if (value == nullptr) return 1;
  if (value[0] == '\0') {
    lvio_free(value);
    return 1;
  }
  if (value[0] == '/') {
    lvio_free(value);
    return LVIO_E_NOT_FOUND;
  }
  const char* dot = std::strrchr(value, '.');
  if (dot != nullptr) std::memmove(value, dot + 1, std::strlen(dot));
  *name = value;
  return 0;
}

// The coder class of the first name that has one, else null.
lvio_coder_class* open_class(const char* name, const char* fallback) {
  lvio_coder_class* cls = nullptr;
  if (name != nullptr && lvio_coder_class_open(&cls, name, nullptr, 0) >= 0) return cls;
  if (lvio_coder_class_open(&cls, fallback, nullptr, 0) >= 0) return cls;
  return nullptr;
}

}  // namespace

int64_t lv_encoding_from_env(char** name, const char* const* settings) {
  static const char* const locale_only[] = {"", nullptr};
  if (settings == nullptr) settings = locale_only;
  for (const char* const* p = settings; *p != nullptr; p++) {
    int64_t rc = name_from_setting(*p, name);
    if (rc <= 0) return rc;
  }
  return LVIO_E_NOT_FOUND;
}

lv_stream* lv_default_user_stream_hook(void*, int kind) {
  lvio_layer* chain = nullptr;
  if (lvio_get_std_chain(&chain, std_chain_kind(kind)) < 0) return nullptr;
  lvio_stream_info info = {LVIO_DEVICE_OTHER};
  bool console = lvio_stream_get_info(&chain, &info, kind == LV_STD_INPUT ? LVIO_OP_READ : LVIO_OP_WRITE) >= 0 &&
                 info.kind == LVIO_DEVICE_CONSOLE;
  // A terminal carries the locale's encoding, UTF-8 when the locale names
  // none; other standard handles take it from the settings.
  char* name = nullptr;
  if (console) {
    if (lvio_ansi_charset_name(&name) < 0) name = nullptr;
  } else {
    static const char* const settings[] = {"LV_CTYPE_STDIO", "LV_CTYPE", "", nullptr};
    if (lv_encoding_from_env(&name, settings) < 0) name = nullptr;
  }
  lvio_coder_class* cls = open_class(name, console ? "UTF-8" : "ISO-8859-1");
  lvio_free(name);
  if (cls == nullptr) {
    (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);  // the failure to report is the one above
    return nullptr;
  }
  bool input = kind == LV_STD_INPUT;
  uint32_t word = input ? LV_CODER_INPUT | LV_CODER_IN_AUTO : LV_CODER_OUTPUT | LV_CODER_OUT_LF;
  int64_t rc = lv_make_coded_stream(&chain, input ? cls : nullptr, input ? nullptr : cls, word);
  lvio_coder_class_unref(cls);
  lv_stream* s = nullptr;
  if (rc >= 0) {
    uint32_t make = input ? LV_MAKE_INPUT | LV_MAKE_TEXT : LV_MAKE_OUTPUT | LV_MAKE_APPEND | LV_MAKE_TEXT;
    if (console || lv_streams.forced_interactive)
      make |= LV_MAKE_INTERACTIVE;
    else if (kind == LV_STD_ERROR)
      make |= LV_MAKE_LINE_FLUSH;
    rc = lv_make_stream_from_layers(chain, &s, make);
  }
  if (rc < 0) {
    (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);  // the failure to report is the one above
    return nullptr;
  }
  if (kind != LV_STD_ERROR) s->flags |= LV_STREAM_END_RESET;
  lv_stream_update_capabilities(s);
  // A chain whose coder takes no options converts as it does by default.
  (void)lvio_stream_probe(&s->chain, STD_CODER_OPTIONS + (input ? LVIO_OP_READ : LVIO_OP_WRITE));
  return s;
}

int64_t lv_install_user_streams(lv_user_stream_hook hook, void* data, lv_user_stream_post_hook post,
                                void* post_data) {
  lv_stream_globals& g = lv_streams;
  for (int k = 0; k < 3; k++) {
    lv_stream* s = hook(data, k);
    if (s == nullptr) return LVIO_E_ERROR;
    s->flags |= LV_STREAM_STANDARD;
    lv_stream_update_capabilities(s);
    g.hook_made[k] = s;
    lv_stream* old = g.user[k];
    if (old != nullptr && old != s) {
      if (lv_stream_close(old, LV_CLOSE_FORCE | LV_CLOSE_REPLACE) < 0)
        lv_stream_close(old, LV_CLOSE_FORCE | LV_CLOSE_FORGET);
    }
    g.user[k] = s;
  }
  if (post != nullptr)
    for (int k = 0; k < 3; k++) post(post_data, k, g.user[k]);
  for (int k = 0; k < 3; k++) g.hook_made[k] = g.user[k];
  return 0;
}

int lv_init_std_streams() {
  lv_free_idle_hooks();
  lv_stream_reset_ids();
  if (!lv_stream_ring_create()) return 0;
  lv_stream_globals& g = lv_streams;
  bool forced = g.forced_interactive;
  g = {};
  g.forced_interactive = forced;
  g.null_stream = lv_stream_new_with_flags(2 | 4 | 0x40);
  if (g.null_stream == nullptr) return 0;
  if (user_hook == nullptr) user_hook = lv_default_user_stream_hook;
  if (lv_install_user_streams(lv_default_user_stream_hook, nullptr, post_hook, post_hook_data) < 0) {
    lv_stream_close_all_std();
    return 0;
  }
  g.suppress_autoflush = lvio_setting_integer("LV_SUPPRESS_AUTOFLUSH", 0);
  g.initialised = true;
  return 1;
}

void lv_make_user_streams() {
  if (user_hook != nullptr && user_hook != lv_default_user_stream_hook)
    lv_install_user_streams(user_hook, user_hook_data, post_hook, post_hook_data);
}

lv_user_stream_hook LV_set_user_stream_hook(lv_user_stream_hook hook, void* data) {
  lv_user_stream_hook previous = user_hook;
  user_hook = hook;
  user_hook_data = data;
  return previous;
}

lv_user_stream_post_hook LV_set_user_stream_post_hook(lv_user_stream_post_hook hook, void* data) {
  lv_user_stream_post_hook previous = post_hook;
  post_hook = hook;
  post_hook_data = data;
  return previous;
}

void lv_reset_current_streams() {
  lv_streams.current_input = lv_streams.user[LV_STD_INPUT];
  lv_streams.current_output = lv_streams.user[LV_STD_OUTPUT];
}

void lv_stream_close_all_std() {
  lv_free_idle_hooks();
  // What the stream layer keeps in the engine's memory goes with it.
  lv_free_resource_directory();
  lv_free_stream_positions();
  lv_clear_current_dir();
  // Every stream still open is closed: output is flushed first, and a
  // stream whose flush fails is then closed by force.
  if (lv_stream_ring_head() != nullptr) {
    lv_stream* head = lv_stream_ring_head();
    while (head->prev != head) {
      lv_stream* s = head->prev;
      // A close that fails may have let the stream go all the same.
      if (lv_stream_close(s, LV_CLOSE_REPLACE | LV_CLOSE_FORGET) == 2 || head->prev != s) continue;
      if (lv_stream_close(s, LV_CLOSE_FORCE | LV_CLOSE_REPLACE | LV_CLOSE_FORGET) == 2) continue;
      // A record with no side left to close.
      if (s->chain != nullptr) (void)lvio_stream_close(&s->chain, LVIO_OP_ABORTIVE);  // nothing to report to
      lv_stream_unlink(s);
      if (s->file_name != 0) LV_unregister_atom(s->file_name);
      lv_stream_free(s);
    }
  }
  lv_free_output_callbacks();
  lv_close_listening_sockets();
  lv_stream_ring_destroy();
  lv_streams = {};
}

void LV_force_interactive() { lv_streams.forced_interactive = true; }

bool lv_forced_interactive() { return lv_streams.forced_interactive; }

lv_stream* lv_null_stream() {
  lv_stream* s = lv_streams.null_stream;
  if (s == nullptr) {
    s = lv_stream_new_with_flags(2 | 4 | 0x40);
    lv_streams.null_stream = s;
    return s;
  }
  for (lvio_buffer* b : {s->read_buffer, s->write_buffer})
    if (b != nullptr) b->used = 0;
  uint8_t* r = s->read_buffer != nullptr ? s->read_buffer->data : nullptr;
  uint8_t* w = s->write_buffer != nullptr ? s->write_buffer->data : nullptr;
  lv_set_read_cursors(s, r, r);
  lv_set_write_cursors(s, w, w);
  s->item_count = s->counted_mark = s->line_position = s->line_count = 0;
  s->previous_line_position = s->previous_line_count = s->end_position = -1;
  s->pushback_mark = 0;
  s->flags &= ~(LV_STREAM_AT_END | LV_STREAM_PAST_END);
  lv_stream_update_capabilities(s);
  return s;
}
