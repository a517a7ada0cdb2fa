// The front end's message channel. The runtime's errprintf starts every
// line on standard error with a newline, so that a message begins on a line
// of its own; the front end's messages of several lines (the usage text)
// would then be double-spaced. This hook writes that newline only before a
// message's first line: a line with flags 2 says more lines of the same
// message follow.
#include <cstdarg>
#include <cstdio>

#include "frontend.h"
#include "frontend_runtime.h"

namespace {

bool continuing;  // the last line on standard error said more follow

int message_line(void*, uint32_t flags, const char* format, va_list args) {
  FILE* out = (flags & 0x10) != 0 ? stdout : stderr;
  int written = 0;
  if (out == stderr) {
    if (!continuing) written = std::fputc('\n', out) == EOF ? 0 : 1;
    continuing = (flags & 3) == 2;
  }
  int n = std::vfprintf(out, format, args);
  std::fflush(out);
  return n < 0 ? n : written + n;
}

}  // namespace

void frontend_install_message_channel() {
  rt::set_errprintf_hook(message_line);
}
