// Arguments of child processes: quoting them into a command line and
// splitting a command line back into them.
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/process.h"

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

lvio_code append_backslashes(lvio_buffer* b, size_t n) {
  for (size_t i = 0; i < n; i++)
    if (lvio_buffer_append_byte(b, '\\') < 0) return LVIO_E_OUT_OF_MEMORY;
  return 0;
}

// The buffer's bytes as a C string in a block of their own; the buffer is
// freed.
lvio_code take_text(lvio_buffer* b, char** out) {
  if (lvio_buffer_append_byte(b, '\0') < 0) {
    lvio_buffer_free(b);
    return LVIO_E_OUT_OF_MEMORY;
  }
  uint8_t* data;
  uint64_t length;
  lvio_code rc = lvio_buffer_take(b, &data, &length);
  lvio_buffer_free(b);
  if (rc < 0) return rc;
  *out = reinterpret_cast<char*>(data);
  return 0;
}

}  // namespace

lvio_code lvio_quote_argument(const char* text, char** quoted) {
  if (text[0] != '\0' && std::strpbrk(text, " \t\"") == nullptr) return 0;
  if (quoted == nullptr) return 1;
  lvio_buffer* b = lvio_buffer_create(nullptr, std::strlen(text) + 3, 0);
  if (b == nullptr) return LVIO_E_OUT_OF_MEMORY;
  lvio_code rc = lvio_buffer_append_byte(b, '"');
  size_t backslashes = 0;
  for (const char* c = text; rc >= 0; c++) {
    if (*c == '\\') {
      backslashes++;
      continue;
    }
    // A run of backslashes before a quote or the closing quote is doubled.
    bool doubled = *c == '"' || *c == '\0';
    rc = append_backslashes(b, doubled ? 2 * backslashes : backslashes);
    backslashes = 0;
    if (rc < 0 || *c == '\0') break;
    if (*c == '"') rc = lvio_buffer_append_byte(b, '\\');
    if (rc >= 0) rc = lvio_buffer_append_byte(b, static_cast<uint8_t>(*c));
  }
  if (rc >= 0) rc = lvio_buffer_append_byte(b, '"');
  if (rc < 0) {
    lvio_buffer_free(b);
    return LVIO_E_OUT_OF_MEMORY;
  }
  rc = take_text(b, quoted);
  return rc < 0 ? rc : 1;
}

lvio_code lvio_split_command_line(const char* line, char*** arguments) {
  // An argument is never longer than the line, and there are at most half
  // as many arguments as bytes, plus one: one block holds the pointers and
  // the texts.
  size_t length = std::strlen(line);
  size_t slots = length / 2 + 2;
  auto** array = static_cast<char**>(lvio_alloc(slots * sizeof(char*) + 2 * length + 2));
  if (array == nullptr) return LVIO_E_OUT_OF_MEMORY;
  char* text = reinterpret_cast<char*>(array + slots);
  size_t count = 0;
  const char* c = line;
  for (;;) {
    while (blank(*c)) c++;
    if (*c == '\0') break;
    array[count++] = text;
    bool quoting = false;
    while (*c != '\0' && (quoting || !blank(*c))) {
      if (*c == '\\') {
        size_t n = 0;
        while (*c == '\\') n++, c++;
        if (*c != '"') {
          while (n-- > 0) *text++ = '\\';
          continue;
        }
        for (size_t i = 0; i < n / 2; i++) *text++ = '\\';
        if (n % 2 == 1) {
          *text++ = '"';
          c++;
          continue;
        }
      }
      if (*c == '"')
        quoting = !quoting;
      else
        *text++ = *c;
      c++;
    }
    *text++ = '\0';
  }
  array[count] = nullptr;
  *arguments = array;
  return 0;
}
