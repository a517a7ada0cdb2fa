// Path texts of the I/O layer.
#include "lvio/path_text.h"

#include "lvio/allocator.h"

lvio_code lvio_path_root_length(const char* path) {
  return path != nullptr && path[0] == '/' ? 1 : LVIO_E_FILE_NOT_ABSOLUTE;
}

lvio_code lvio_path_normalize(const char* path, char** out) {
  if (path == nullptr) return LVIO_E_PARAMETER_ERROR;
  char* copy = lvio_strdup(path);
  if (copy == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *out = copy;
  return 0;
}

int64_t lvio_char_replace(char* text, char from, char to) {
  int64_t count = 0;
  for (char* p = text; *p != '\0'; p++) {
    if (*p != from) continue;
    *p = to;
    count++;
  }
  return count;
}

bool lvio_utf8_valid(const char* text, size_t length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  while (p < end) {
    unsigned char b = *p++;
    if (b < 0x80) continue;
    int more;
    uint32_t code;
    uint32_t least;
    if (b >= 0xC2 && b <= 0xDF) {
      more = 1, code = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more = 2, code = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      more = 3, code = b & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (end - p < more) return false;
    for (int i = 0; i < more; i++) {
      if ((p[i] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i] & 0x3F);
    }
    p += more;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  }
  return true;
}
