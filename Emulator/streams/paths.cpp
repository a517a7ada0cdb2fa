// Small helpers on path texts.
#include "streams/paths.h"

#include <cstring>

#include "core/memory.h"
#include "lvio/file_access.h"
#include "lvio/file_status.h"
#include "streams/url_layer.h"

namespace {

constexpr uint32_t PERM_TEXT_MEM = lv_mem_flags(LV_CAT_ATOM_BUFFER);

char* copy_part(const char* text, size_t length) {
  char* out = static_cast<char*>(LV_malloc(length + 1));
  if (out == nullptr) return nullptr;
  std::memcpy(out, text, length);
  out[length] = '\0';
  return out;
}

}  // namespace

const char* lv_path_extension(const char* path) {
  const char* dot = nullptr;
  for (const char* p = path; *p != '\0'; p++) {
    if (*p == '/' || *p == '\\')
      dot = nullptr;
    else if (*p == '.')
      dot = p;
  }
  return dot;
}

const char* lv_split_path(const char* path, const char** root_end, const char** last, const char** extension) {
  const char* end = path + std::strlen(path);
  const char* start = end;
  while (start > path && start[-1] != '/') start--;
  if (root_end != nullptr) *root_end = path[0] == '/' ? path + 1 : nullptr;
  if (last != nullptr) *last = start;
  if (extension != nullptr) *extension = std::strrchr(start, '.');
  return end;
}

size_t lv_path_dirname_length(const char* path) {
  size_t n = std::strlen(path);
  if (n > 0 && path[n - 1] == '/') n--;
  while (n > 0 && path[n - 1] != '/') n--;
  return n;
}

char* lv_path_dirname(const char* path) {
  size_t n = lv_path_dirname_length(path);
  return n == 0 ? nullptr : copy_part(path, n);
}

char* lv_path_basename(const char* path, int without_extension) {
  size_t end = std::strlen(path);
  if (end > 0 && path[end - 1] == '/') end--;
  size_t start = end;
  while (start > 0 && path[start - 1] != '/') start--;
  if (without_extension != 0) {
    for (size_t i = end; i > start; i--)
      if (path[i - 1] == '.') {
        end = i - 1;
        break;
      }
  }
  return copy_part(path + start, end - start);
}

int lv_is_directory(const char* path) {
  if (lv_url_path_opens(path) != 0) return 0;
  lvio_file_stat record{};
  return lvio_file_status(path, &record, LVIO_STAT_MUST_BE_DIRECTORY) >= 0 ? 1 : 0;
}

int lv_is_regular_file(const char* path) {
  if (lv_url_path_opens(path) != 0) return 1;
  lvio_file_stat record{};
  return lvio_file_status(path, &record, LVIO_STAT_MUST_NOT_BE_DIRECTORY) >= 0 ? 1 : 0;
}

int lv_file_access_ok(const char* path) {
  if (lv_url_path_opens(path) != 0) return 1;
  return lvio_path_attributes(path, LVIO_ACCESS_NO_PARENT) >= 0 ? 1 : 0;
}

char* lv_strdup_perm(const char* text) {
  size_t size = std::strlen(text) + 1;
  char* out = static_cast<char*>(lv_mem_alloc(size, PERM_TEXT_MEM));
  if (out == nullptr) return nullptr;
  for (size_t i = 0; i < size; i++) out[i] = text[i] == '\\' ? '/' : text[i];
  return out;
}

void lv_strdup_perm_free(char* text) {
  if (text != nullptr) lv_mem_free(text, std::strlen(text) + 1, PERM_TEXT_MEM);
}
