// The standard streams of the windowed program: input from the window's
// line editor, output and errors shown in the window. Each is a stream over
// callbacks of 32-bit character codes.
#include "lvcon/lvcon.h"
#include "lvcon/lvcon_utf16.h"
#include "lvwin.h"
#include "lvwin_runtime.h"

namespace {

constexpr uint32_t NO_WAIT = 1;
constexpr int CHUNK = 256;  // units shown per call of the window

lvio_code lvwin_console_read(void* user, void* buffer, uint64_t* size, uint32_t options) {
  auto* record = static_cast<lvwin_console_stream*>(user);
  if (*size < sizeof(uint32_t)) return LVIO_E_OUT_OF_MEMORY;
  int64_t c = lvwin_line_editor_getc(record->editor, options & NO_WAIT);
  if (c < 0) return c;
  *static_cast<uint32_t*>(buffer) = static_cast<uint32_t>(c);
  *size = sizeof(uint32_t);
  return 0;
}

// The codes go to the window as UTF-16: a character above U+FFFF as its
// surrogate pair, which is never split between two calls.
lvio_code lvwin_console_write(void*, const void* buffer, uint64_t* size, uint32_t) {
  const auto* codes = static_cast<const uint32_t*>(buffer);
  uint64_t count = *size / sizeof(uint32_t);
  char16_t units[CHUNK];
  int n = 0;
  for (uint64_t i = 0; i < count; i++) {
    uint32_t c = codes[i];
    if (n > CHUNK - 2) {
      rlc_writeW(units, n);
      n = 0;
    }
    if (c >= 0x10000 && c <= 0x10FFFF) {
      units[n++] = utf16_high_of(c);
      units[n++] = utf16_low_of(c);
    } else {
      units[n++] = c <= 0xFFFF ? static_cast<char16_t>(c) : u'\uFFFD';
    }
  }
  if (n > 0) rlc_writeW(units, n);
  *size = count * sizeof(uint32_t);
  return 0;
}

// Each direction closes once; the last one frees the record, and the input
// direction's editor writes the history back. A stream that fails to be
// made leaves its record to the hook.
lvio_code lvwin_console_close(void** handle, uint32_t directions, int) {
  auto* record = static_cast<lvwin_console_stream*>(*handle);
  if (record == nullptr) return 0;
  record->mask &= ~static_cast<int32_t>(directions & (LVWIN_INPUT | LVWIN_OUTPUT));
  if (record->mask != 0 || record->creating) return 0;
  if (record->editor != nullptr) lvwin_line_editor_close(record->editor);
  rt::free(record);
  *handle = nullptr;
  return 0;
}

}  // namespace

lv_stream* lvwin_console_stream_hook(void*, int which) {
  auto* record = static_cast<lvwin_console_stream*>(rt::malloc(sizeof(lvwin_console_stream)));
  if (record == nullptr) return nullptr;
  *record = {0, nullptr, true};
  lvwin_read_fn read = nullptr;
  lvwin_write_fn write = nullptr;
  if (which == 0) {
    record->mask = LVWIN_INPUT;
    if (lvwin_line_editor_create(&record->editor) != 0) {
      rt::free(record);
      return nullptr;
    }
    read = lvwin_console_read;
  } else if (which == 1 || which == 2) {
    record->mask = LVWIN_OUTPUT;
    write = lvwin_console_write;
  } else {
    rt::free(record);
    return nullptr;
  }
  lv_stream* stream = nullptr;
  // The class is the hook's own address: it tells these streams apart.
  if (rt::create_stream(record, reinterpret_cast<const void*>(&lvwin_console_stream_hook), read, write,
                        lvwin_console_close, LVWIN_CONSOLE_STREAM_OPTIONS, &stream) < 0) {
    if (record->editor != nullptr) lvwin_line_editor_free(record->editor);
    rt::free(record);
    return nullptr;
  }
  record->creating = false;
  return stream;
}
