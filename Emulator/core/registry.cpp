// Reading installation values from the configuration files.
#include "core/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/host.h"
#include "core/memory.h"

namespace {

// Files larger than this are not configuration files: they hold no values.
constexpr size_t MAX_FILE_BYTES = 1 << 20;
constexpr const char* FILE_TAIL = "lorvika/" LV_HOST_VERSION ".conf";

bool join(char* buffer, size_t size, const char* a, const char* b, const char* c) {
  int n = std::snprintf(buffer, size, "%s%s%s", a, b, c);
  return n > 0 && static_cast<size_t>(n) < size;
}

// The whole file as a NUL-terminated text, or null: from the C heap when
// c_heap is set (the settings readers run before the memory manager
// starts), else from LV_malloc.
char* read_file(const char* path, size_t* length, bool c_heap) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return nullptr;
  long size = std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
  char* text = nullptr;
  if (size >= 0 && static_cast<size_t>(size) <= MAX_FILE_BYTES && std::fseek(f, 0, SEEK_SET) == 0)
    text = static_cast<char*>(c_heap ? std::malloc(static_cast<size_t>(size) + 1) : LV_malloc(static_cast<size_t>(size) + 1));
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

// The value of the key in the file's text: its start, with its length in
// *n; null when the file has no line for the key.
const char* find_value(char* text, size_t length, const char* const* path, const char* name, size_t* n) {
  for (char* line = text; line < text + length;) {
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
      *n = static_cast<size_t>(v_end - v);
      return v;
    }
    line = end + 1;
  }
  return nullptr;
}

// The installation key of this version.
const char* const INSTALLATION_KEY[] = {"SOFTWARE", "VESK", "Lorvika", LV_HOST_VERSION, nullptr};

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
  char* text = read_file(file, &length, false);
  if (text == nullptr) return nullptr;
  size_t n = 0;
  const char* v = find_value(text, length, path, name, &n);
  char* value = v != nullptr ? static_cast<char*>(LV_malloc(n + 1)) : nullptr;
  if (value != nullptr) {
    std::memcpy(value, v, n);
    value[n] = 0;
  }
  LV_free(text);
  return value;
}

char* lv_registry_value(const char* name, char* buffer, size_t size) {
  if (name == nullptr || buffer == nullptr) return nullptr;
  for (int root : {LV_ROOT_CURRENT_USER, LV_ROOT_LOCAL_MACHINE}) {
    char file[4096];
    size_t length;
    char* text = lv_registry_file(root, file, sizeof file) ? read_file(file, &length, true) : nullptr;
    if (text == nullptr) continue;
    size_t n = 0;
    const char* v = find_value(text, length, INSTALLATION_KEY, name, &n);
    bool fits = v != nullptr && n + 1 <= size;
    if (fits) {
      std::memcpy(buffer, v, n);
      buffer[n] = 0;
    }
    std::free(text);
    if (v != nullptr) return fits ? buffer : nullptr;
  }
  return nullptr;
}
