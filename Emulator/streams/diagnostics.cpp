// Diagnostic output of the runtime. Until the stream layer provides the
// user_error stream, its text goes straight to file descriptor 2.
#include "streams/diagnostics.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "lvio/result_codes.h"

namespace {

constexpr size_t FORMAT_BUFFER_SIZE = 2048;

int64_t write_user_error(const char* text, size_t length) {
  while (length > 0) {
    ssize_t n = write(2, text, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LVIO_E_WRITE_ERROR;
    }
    text += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

int64_t lv_ttyprintf(const char* format, ...) {
  char buffer[FORMAT_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return LVIO_E_PARAMETER_ERROR;
  size_t length = static_cast<size_t>(n) < sizeof buffer ? static_cast<size_t>(n) : sizeof buffer - 1;
  return write_user_error(buffer, length);
}

int64_t lv_ttyflush() { return 0; }

int errprintf(uint32_t flags, const char* format, ...) {
  FILE* out = (flags & 16) != 0 ? stdout : stderr;
  int written = 0;
  if (out == stderr) written = fputc('\n', out) == EOF ? 0 : 1;
  va_list args;
  va_start(args, format);
  int n = vfprintf(out, format, args);
  va_end(args);
  fflush(out);
  return n < 0 ? n : written + n;
}
