// The process environment on Linux.
#include "lvio/os_environment.h"

#include <cstdlib>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/environment.h"
#include "lvio/settings.h"

extern char** environ;

namespace {

// The separating "=" of an entry, not counting a leading one; null when none.
const char* separator(const char* entry) { return entry[0] == '\0' ? nullptr : std::strchr(entry + 1, '='); }

}  // namespace

lvio_code lvio_os_environment_strings(char*** block, size_t* size, uint32_t flags) {
  size_t count = 0;
  size_t text_bytes = 0;
  for (char** e = environ; e != nullptr && *e != nullptr; e++) {
    if (separator(*e) == nullptr) continue;
    count++;
    text_bytes += std::strlen(*e) + 1;
  }
  size_t total = (count + 1) * sizeof(char*) + text_bytes;
  auto** out = static_cast<char**>(lvio_alloc(total));
  if (out == nullptr) return LVIO_E_OUT_OF_MEMORY;
  char* text = reinterpret_cast<char*>(out + count + 1);
  size_t i = 0;
  for (char** e = environ; e != nullptr && *e != nullptr && i < count; e++) {
    const char* sep = separator(*e);
    if (sep == nullptr) continue;
    size_t length = std::strlen(*e) + 1;
    std::memcpy(text, *e, length);
    if ((flags & 1) != 0) text[sep - *e] = '\0';
    out[i++] = text;
    text += length;
  }
  out[i] = nullptr;
  *block = out;
  if (size != nullptr) *size = total;
  return 0;
}

lvio_code lvio_getenv(const char* name, char* buffer, size_t* size, uint32_t flags) {
  char** snapshot = nullptr;
  // Without a kept snapshot the snapshot stays null: the process environment.
  if ((flags & 2) == 0) (void)lvio_environment_snapshot(&snapshot, nullptr, 1);
  if (snapshot != nullptr) {
    for (char** e = snapshot; *e != nullptr; e++)
      if (std::strcmp(*e, name) == 0) return lvio_copy_setting_text(lvio_entry_value(*e), buffer, size);
    return LVIO_E_NOT_FOUND;
  }
  if ((flags & 1) != 0 && (flags & 2) == 0) return LVIO_E_INVALID_STATE;
  const char* value = std::getenv(name);
  if (value == nullptr) return LVIO_E_NOT_FOUND;
  return lvio_copy_setting_text(value, buffer, size);
}

int lvio_name_compare(const char* a, const char* b) {
  int c = std::strcmp(a, b);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}
