// The operating system's text for an error number.
#include "core/os_error_text.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t TEXT_SIZE = 128;
char text[TEXT_SIZE];

// strerror_r comes in two forms; take the text from whichever this C library has.
[[maybe_unused]] const char* pick(int rc, const char* buffer) { return rc == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* pick(const char* result, const char*) { return result; }

}  // namespace

const char* lv_win32_error_text(int os_error) {
  char buffer[512];
  buffer[0] = '\0';
  const char* message = pick(strerror_r(os_error, buffer, sizeof buffer), buffer);
  size_t length = message != nullptr ? std::strlen(message) : 0;
  if (length > TEXT_SIZE - 1) {
    length = TEXT_SIZE - 1;
    while (length > 0 && (static_cast<unsigned char>(message[length]) & 0xC0) == 0x80) length--;
  }
  if (length < 8) {
    std::snprintf(text, sizeof text, "Last error == 0x%016llX", static_cast<unsigned long long>(os_error));
    return text;
  }
  std::memcpy(text, message, length);
  text[length] = '\0';
  return text;
}
