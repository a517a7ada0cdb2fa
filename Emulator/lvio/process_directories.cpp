// The current and the temporary directory of the process.
#include "lvio/process_directories.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/os_error.h"
#include "lvio/sync.h"

namespace {

lvio_mutex kept_mutex = LVIO_MUTEX_STATIC_INIT;
char* kept;

// Makes copy (owned, or null) the kept directory and frees the one before.
void replace_kept(char* copy) {
  lvio_mutex_lock(&kept_mutex);
  char* old = kept;
  kept = copy;
  lvio_mutex_unlock(&kept_mutex);
  lvio_free(old);
}

// A copy of the text with a "/" at its end, added when missing.
lvio_code with_slash(const char* text, char** out) {
  size_t length = std::strlen(text);
  bool slash = length > 0 && text[length - 1] == '/';
  auto* copy = static_cast<char*>(lvio_alloc(length + 2));
  if (copy == nullptr) return LVIO_E_OUT_OF_MEMORY;
  std::memcpy(copy, text, length);
  if (!slash) copy[length++] = '/';
  copy[length] = '\0';
  *out = copy;
  return 0;
}

lvio_code working_directory(char** out) {
  size_t size = 256;
  for (;;) {
    auto* buffer = static_cast<char*>(lvio_alloc(size));
    if (buffer == nullptr) return LVIO_E_OUT_OF_MEMORY;
    if (getcwd(buffer, size) != nullptr) {
      lvio_code rc = with_slash(buffer, out);
      lvio_free(buffer);
      return rc;
    }
    int error = errno;
    lvio_free(buffer);
    if (error != ERANGE) return lvio_os_error_code(error, LVIO_E_OS_ERROR);
    size *= 2;
  }
}

bool is_directory(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

lvio_code lvio_get_current_directory(char** out, uint32_t flags) {
  if ((flags & 2) == 0) {
    lvio_mutex_lock(&kept_mutex);
    lvio_code rc = LVIO_E_NOT_FOUND;
    if (kept != nullptr) {
      *out = lvio_strdup(kept);
      rc = *out != nullptr ? 0 : LVIO_E_OUT_OF_MEMORY;
    }
    lvio_mutex_unlock(&kept_mutex);
    if (rc != LVIO_E_NOT_FOUND) return rc;
  }
  return working_directory(out);
}

lvio_code lvio_set_current_directory(const char* path, uint32_t flags) {
  if ((flags & 2) != 0 && chdir(path) != 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  if ((flags & 1) == 0) return 0;
  char* copy = lvio_strdup(path);
  if (copy == nullptr) return LVIO_E_OUT_OF_MEMORY;
  replace_kept(copy);
  return 0;
}

lvio_code lvio_temp_directory(char** out, uint32_t) {
  const char* named = std::getenv("TMPDIR");
  const char* directory = named != nullptr && named[0] == '/' && is_directory(named) ? named : P_tmpdir;
  return with_slash(directory, out);
}

lvio_code lvio_file_system_module(uint32_t flags) {
  char* copy = nullptr;
  if ((flags & 1) == 0) {
    lvio_code rc = working_directory(&copy);
    if (rc == LVIO_E_OUT_OF_MEMORY) return rc;
    if (rc < 0) copy = nullptr;
  }
  replace_kept(copy);
  return 0;
}
