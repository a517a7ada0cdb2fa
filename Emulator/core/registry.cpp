// Reading installation values from the configuration files.
#include "core/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/memory.h"

namespace {

// Files larger than this are not configuration files: they hold no values.
constexpr size_t MAX_FILE_BYTES = 1 << 20;
constexpr const char* FILE_TAIL = "lorvika/4.9.0.conf";

bool join(char* buffer, size_t size, const char* a, const char* b, const char* c) {
  int n = std::snprintf(buffer, size, "%s%s%s", a, b, c);
  return n > 0 && static_cast<size_t>(n) < size;
}

// The whole file as a NUL-terminated text (LV_malloc), or null.
char* read_file(const char* path, size_t* length) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return nullptr;
  long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
  char* text = nullptr;
  if (size >= 0 && static_cast<size_t>(size) <= MAX_FILE_BYTES && std::fseek(f, 0, SEEK_SET) == 0)
    text = static_cast<char*>(LV_malloc(static_cast<size_t>(size) + 1));
  if (text != nullptr) {
    *length = std::fread(text, 1, static_cast<size_t>(size), f);
    text[*length] = 0;
  }
  std::fclose(f);
  return text;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Whether [start, end) with blanks dropped equals the key: components, then
// the name, joined by '/'.
bool key_matches(const char* start, const char* end, const char* const* path, const char* name) {
  while (start < end && blank(*start)) start++;
  while (end > start && blank(end[-1])) end--;
  const char* p = start;
  for (const char* const* c = path; *c != nullptr; c++) {
    size_t n = std::strlen(*c);
    if (static_cast<size_t>(end - p) < n + 1 || std::memcmp(p, *c, n) != 0 || p[n] != '/') return false;
    p += n + 1;
  }
  size_t n = std::strlen(name);
  return static_cast<size_t>(end - p) == n && std::memcmp(p, name, n) == 0;
}

}  // namespace

bool lv_registry_file(int root, char* buffer, size_t size) {
  if (root == LV_ROOT_LOCAL_MACHINE) return join(buffer, size, "/etc/", FILE_TAIL, "");
  if (root != LV_ROOT_CURRENT_USER) return false;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return join(buffer, size, config, "/", FILE_TAIL);
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == 0) return false;
  return join(buffer, size, home, "/.config/", FILE_TAIL);
}

char* lv_registry_get_by_root(int root, const char* const* path, const char* name) {
  char file[4096];
  if (path == nullptr || name == nullptr || !lv_registry_file(root, file, sizeof file)) return nullptr;
  size_t length;
  char* text = read_file(file, &length);
  if (text == nullptr) return nullptr;
  char* value = nullptr;
  for (char* line = text; line < text + length && value == nullptr;) {
    char* end = static_cast<char*>(std::memchr(line, '\n', static_cast<size_t>(text + length - line)));
    if (end == nullptr) end = text + length;
    char* first = line;
    while (first < end && blank(*first)) first++;
    char* equals = static_cast<char*>(std::memchr(first, '=', static_cast<size_t>(end - first)));
    if (first < end && *first != '#' && equals != nullptr && key_matches(first, equals, path, name)) {
      char* v = equals + 1;
      char* v_end = end;
      while (v < v_end && blank(*v)) v++;
      while (v_end > v && blank(v_end[-1])) v_end--;
      size_t n = static_cast<size_t>(v_end - v);
      value = static_cast<char*>(LV_malloc(n + 1));
      if (value != nullptr) {
        std::memcpy(value, v, n);
        value[n] = 0;
      }
      break;
    }
    line = end + 1;
  }
  LV_free(text);
  return value;
}
