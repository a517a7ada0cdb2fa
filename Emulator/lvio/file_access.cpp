// Access checks on paths.
#include "lvio/file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/file_status.h"
#include "lvio/os_error.h"
#include "lvio/path_text.h"

namespace {

bool may(const char* path, int what) { return faccessat(AT_FDCWD, path, what, AT_EACCESS) == 0; }

// The directory a missing path would be created in: writable, and a directory.
lvio_code check_parent(const char* path) {
  size_t length = std::strlen(path);
  lvio_code root = lvio_path_root_length(path);
  if (root <= 0 || static_cast<size_t>(root) >= length) return LVIO_E_FILE_NOT_FOUND;
  char* parent = lvio_strdup(path);
  if (parent == nullptr) return LVIO_E_OUT_OF_MEMORY;
  size_t end = length;
  while (end > static_cast<size_t>(root) && parent[end - 1] == '/') end--;
  while (end > static_cast<size_t>(root) && parent[end - 1] != '/') end--;
  parent[end] = '\0';
  lvio_code rc = lvio_path_attributes(parent, LVIO_ACCESS_WRITE | LVIO_ACCESS_DIRECTORY | LVIO_ACCESS_NO_PARENT);
  lvio_free(parent);
  return rc;
}

}  // namespace

lvio_code lvio_path_attributes(const char* path, uint32_t flags) {
  struct stat st;
  if (stat(path, &st) != 0) {
    if (errno != ENOENT) return lvio_os_error_code(errno, LVIO_E_FILE_NOT_FOUND);
    if ((flags & LVIO_ACCESS_CREATE) != 0 && (flags & LVIO_ACCESS_NO_PARENT) == 0) return check_parent(path);
    return LVIO_E_FILE_NOT_FOUND;
  }
  bool directory = S_ISDIR(st.st_mode);
  if (directory && (flags & LVIO_ACCESS_DIRECTORY) == 0) return LVIO_E_FILE_IS_DIRECTORY;
  if (!directory && (flags & LVIO_ACCESS_DIRECTORY) != 0) return LVIO_E_FILE_NOT_DIRECTORY;
  bool write = (flags & (LVIO_ACCESS_WRITE | LVIO_ACCESS_CREATE)) != 0;
  bool execute = (flags & LVIO_ACCESS_EXECUTE) != 0;
  if (write && !may(path, W_OK)) return LVIO_E_FILE_ACCESS;
  if (execute && (directory || lvio_is_executable(path) != 1)) return LVIO_E_FILE_ACCESS;
  if (!write && !execute && !may(path, R_OK)) return LVIO_E_FILE_ACCESS;
  return 0;
}
