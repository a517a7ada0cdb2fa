// Diagnostic output: lv_ttyprintf on user_error, and the errprintf channel
// to the process's C-level standard streams or to its hook.
#include "streams/diagnostics.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "lvio/os_error.h"
#include "lvio/result_codes.h"
#include "streams/std_streams.h"
#include "streams/stream_api.h"
#include "streams/stream_print.h"

namespace {

lv_errprintf_hook errprintf_hook = nullptr;
void* errprintf_data = nullptr;

// Before the standard streams exist, diagnostics go to descriptor 2.
int64_t write_descriptor_2(const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = write(2, text, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return lvio_os_error_code(errno, LVIO_E_WRITE_ERROR);
    }
    text += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

int64_t lv_ttyprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int64_t rc;
  if (lv_streams.user[LV_STD_ERROR] != nullptr) {
    rc = lv_stream_vprintf(lv_streams.user[LV_STD_ERROR], format, args);
  } else {
    lv_formatted text;
    rc = lv_format(&text, format, args);
    if (rc >= 0) rc = write_descriptor_2(text.text, text.length);
    lv_formatted_free(&text);
  }
  va_end(args);
  return rc;
}

int lv_verrprintf(uint32_t flags, const char* format, va_list args) {
  if (errprintf_hook != nullptr) return errprintf_hook(errprintf_data, flags, format, args);
  FILE* out = (flags & LV_ERRPRINTF_STDOUT) != 0 ? stdout : stderr;
  int written = 0;
  if (out == stderr) written = fputc('\n', out) == EOF ? 0 : 1;
  int n = vfprintf(out, format, args);
  fflush(out);
  return n < 0 ? n : written + n;
}

int errprintf(uint32_t flags, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = lv_verrprintf(flags, format, args);
  va_end(args);
  return n;
}

lv_errprintf_hook LV_set_errprintf_hook(lv_errprintf_hook hook, void* data) {
  lv_errprintf_hook previous = errprintf_hook;
  errprintf_hook = hook;
  errprintf_data = data;
  return previous;
}
