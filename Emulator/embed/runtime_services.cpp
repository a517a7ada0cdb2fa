// Small services of the C interface.
#include "embed/runtime_services.h"

#include <cstring>

#include "core/api_error.h"
#include "core/host.h"
#include "core/memory.h"
#include "core/version_text.h"
#include "lvio/environment.h"
#include "lvio/settings.h"
#include "store/backtrace.h"
#include "store/debugger_state.h"
#include "text/utf8.h"

namespace {

constexpr int KEY = 40900;
constexpr int LV_ERR_BAD_ACTION = 8;
void* corvid_magic;
int corvid_threadservermode;

}  // namespace

void* LV_calloc(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  void* p = LV_malloc(count * size);
  if (p != nullptr) std::memset(p, 0, count * size);
  return p;
}

char* LV_strdup(const char* text) {
  if (text == nullptr) return nullptr;
  size_t n = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(LV_malloc(n));
  if (copy != nullptr) std::memcpy(copy, text, n);
  return copy;
}

char* lv_widechar_to_ienc(const char16_t* text) {
  if (text == nullptr) return nullptr;
  size_t n = 0;
  while (text[n] != 0) n++;
  auto* out = static_cast<char*>(LV_malloc(3 * n + 1));
  if (out == nullptr) return nullptr;
  char* p = out;
  for (size_t i = 0; i < n; i++) {
    int32_t c = text[i];
    if (c >= 0xDC00 && c < 0xE000) c = -1;  // a lone low surrogate
    if (c >= 0xD800 && c < 0xDC00) {
      if (i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
      else
        c = -1;
    }
    if (c < 0) {
      LV_free(out);
      return nullptr;
    }
    p += LV_code_wci(p, c);
  }
  *p = '\0';
  return out;
}

char16_t* lv_ienc_to_widechar(const char* text) {
  if (!lv_text_is_utf8(text)) return nullptr;
  size_t n = std::strlen(text);
  auto* out = static_cast<char16_t*>(LV_malloc((n + 1) * sizeof(char16_t)));
  if (out == nullptr) return nullptr;
  size_t k = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + n;
  while (p < end) {
    int32_t c = lv_utf8_next(p, end);
    if (c >= 0x10000) {
      out[k++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[k++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[k++] = static_cast<char16_t>(c);
    }
  }
  out[k] = 0;
  return out;
}

int LV_setenv(const char* name, const char* value) { return lvio_setting_set(name, value) == 0 ? 0 : 1; }

char* LV_getenv(const char* name) {
  if (name == nullptr) return nullptr;
  size_t size = 20;
  for (int attempt = 0; attempt < 2; attempt++) {
    auto* buffer = static_cast<char*>(LV_malloc(size));
    if (buffer == nullptr) return nullptr;
    size_t got = size;
    lvio_code rc = lvio_setting_get(name, buffer, &got, 0);
    if (rc == 0) return buffer;
    LV_free(buffer);
    if (rc != LVIO_E_OUT_OF_MEMORY || got <= size) return nullptr;
    size = got;
  }
  return nullptr;
}

const char* LV_get_emulator_version() { return LV_VERSION_BANNER; }

const char* LV_get_emulator_dir() { return "lorvika-" LV_HOST_VERSION; }

int lv_set_corvid_magic(void* pointer, int key) {
  if (key != KEY) return 0;
  corvid_magic = pointer;
  return 1;
}

void* lv_get_corvid_magic(int key) { return key == KEY ? corvid_magic : nullptr; }

int lv_set_corvid_threadservermode(int mode, int key) {
  if (key != KEY) return 0;
  corvid_threadservermode = mode;
  return 1;
}

int lv_get_corvid_threadservermode(int* mode, int key) {
  if (key != KEY || mode == nullptr) return 0;
  *mode = corvid_threadservermode;
  return 1;
}

lv_termref_slot* lv_get_globref_checked(int64_t index, lv_worker* w) {
  if (w == nullptr || index < 0 || index >= w->termref_capacity || index >= w->termref_top) return nullptr;
  return &w->termrefs[index];
}

int lv_action(int action) {
  switch (action) {
    case 1:
      lv_backtrace_action();
      return 1;
    case 7:
      prolog_backtrace(get_current_worker());
      return 1;
    default:
      lv_set_api_error(LV_ERR_BAD_ACTION);
      return 0;
  }
}
