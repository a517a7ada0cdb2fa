// File names as the runtime opens them.
#include "streams/file_names.h"

#include <cstring>

#include "lvio/allocator.h"
#include "lvio/process_directories.h"
#include "lvio/result_codes.h"

int64_t lv_normalize_file_name(const char* path, uint32_t, char** out) {
  if (path == nullptr || *path == '\0') return LVIO_E_PARAMETER_ERROR;
  char* base = nullptr;
  if (path[0] != '/') {
    int64_t rc = lvio_get_current_directory(&base, 0);
    if (rc < 0) return rc;
  }
  size_t base_length = base != nullptr ? std::strlen(base) : 0;
  size_t length = base_length + 1 + std::strlen(path);
  char* joined = static_cast<char*>(lvio_alloc(length + 1));
  char* result = static_cast<char*>(lvio_alloc(length + 2));
  if (joined == nullptr || result == nullptr) {
    lvio_free(base);
    lvio_free(joined);
    lvio_free(result);
    return LVIO_E_OUT_OF_MEMORY;
  }
  joined[0] = '\0';
  if (base != nullptr) {
    std::strcpy(joined, base);
    std::strcat(joined, "/");
  }
  std::strcat(joined, path);
  lvio_free(base);
  // Component by component; result always starts with "/" and has no
  // trailing separator but for the root.
  size_t n = 0;
  result[n++] = '/';
  for (const char* p = joined; *p != '\0';) {
    while (*p == '/') p++;
    const char* start = p;
    while (*p != '\0' && *p != '/') p++;
    size_t part = static_cast<size_t>(p - start);
    if (part == 0 || (part == 1 && start[0] == '.')) continue;
    if (part == 2 && start[0] == '.' && start[1] == '.') {
      while (n > 1 && result[n - 1] != '/') n--;
      if (n > 1) n--;
      continue;
    }
    if (n > 1) result[n++] = '/';
    std::memcpy(result + n, start, part);
    n += part;
  }
  result[n] = '\0';
  lvio_free(joined);
  *out = result;
  return 0;
}
