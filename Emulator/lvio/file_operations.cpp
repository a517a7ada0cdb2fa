// Making, deleting and renaming files and directories.
#include "lvio/file_operations.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "lvio/os_error.h"

namespace {

lvio_code errno_code() { return lvio_os_error_code(errno, LVIO_E_OS_ERROR); }

}  // namespace

lvio_code lvio_make_directory(const char* path, uint32_t) { return mkdir(path, 0777) == 0 ? 0 : errno_code(); }

lvio_code lvio_file_delete(const char* path, uint32_t flags) {
  if ((flags & 1) != 0) {
    if ((flags & 4) != 0) return LVIO_E_NOT_IMPLEMENTED;
    if (rmdir(path) == 0) return 0;
    // Some file systems say EEXIST for a directory with entries.
    if (errno == ENOTEMPTY || errno == EEXIST) return LVIO_E_DIR_NOT_EMPTY;
    if (errno == ENOTDIR) {
      // The last component is not a directory, or one on the way is not.
      struct stat st;
      if (lstat(path, &st) == 0 && !S_ISDIR(st.st_mode)) return LVIO_E_FILE_NOT_DIRECTORY;
      errno = ENOTDIR;
    }
    return errno_code();
  }
  if (unlink(path) == 0) return 0;
  return errno == EISDIR ? LVIO_E_FILE_IS_DIRECTORY : errno_code();
}

lvio_code lvio_file_rename(const char* old_path, const char* new_path) {
  if (renameat2(AT_FDCWD, old_path, AT_FDCWD, new_path, RENAME_NOREPLACE) == 0) return 0;
  // A file system (or kernel) that cannot honour the flag refuses the call.
  if (errno == EINVAL || errno == ENOSYS) return lvio_file_rename_by_link(old_path, new_path);
  return errno_code();
}

lvio_code lvio_file_rename_by_link(const char* old_path, const char* new_path) {
  struct stat st;
  if (lstat(old_path, &st) != 0) return errno_code();
  if (!S_ISDIR(st.st_mode)) {
    if (link(old_path, new_path) != 0) return errno_code();
    if (unlink(old_path) == 0) return 0;
    lvio_code rc = errno_code();
    unlink(new_path);
    return rc;
  }
  if (lstat(new_path, &st) == 0) return LVIO_E_FILE_EXISTS;
  if (errno != ENOENT) return errno_code();
  return rename(old_path, new_path) == 0 ? 0 : errno_code();
}
