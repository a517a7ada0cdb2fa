// File status on statx.
#include "lvio/file_status.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lvio/allocator.h"
#include "lvio/os_error.h"

namespace {

// One permission group from its read, write and execute bits.
uint32_t group_of(uint32_t bits, bool directory) {
  return ((bits & 4) != 0 ? LVIO_MODE_READ : 0) | ((bits & 2) != 0 ? LVIO_MODE_WRITE : 0) |
         ((bits & 1) != 0 ? (directory ? LVIO_MODE_SEARCH : LVIO_MODE_EXECUTE) : 0);
}

bool may(const char* path, int what) { return faccessat(AT_FDCWD, path, what, AT_EACCESS) == 0; }

uint32_t mode_of(const char* path, uint32_t st_mode, bool directory, bool summary) {
  uint32_t mode = (group_of((st_mode >> 6) & 7, directory) << 8) | (group_of((st_mode >> 3) & 7, directory) << 4) |
                  group_of(st_mode & 7, directory);
  if (!summary) return mode;
  if (may(path, R_OK)) mode |= LVIO_MODE_READABLE;
  if (may(path, W_OK)) mode |= LVIO_MODE_WRITABLE;
  if (may(path, X_OK)) mode |= directory ? LVIO_MODE_SEARCHABLE : LVIO_MODE_EXECUTABLE;
  return mode;
}

}  // namespace

lvio_code lvio_file_status(const char* path, lvio_file_stat* record, uint32_t flags) {
  struct statx st;
  unsigned int wanted = STATX_BASIC_STATS | ((flags & LVIO_STAT_TIMES) != 0 ? STATX_BTIME : 0);
  if (statx(AT_FDCWD, path, AT_STATX_SYNC_AS_STAT, wanted, &st) != 0)
    return lvio_os_error_code(errno, LVIO_E_FILE_NOT_FOUND);
  bool directory = S_ISDIR(st.stx_mode);
  if ((flags & LVIO_STAT_MUST_BE_DIRECTORY) != 0 && !directory) return LVIO_E_FILE_NOT_DIRECTORY;
  if ((flags & LVIO_STAT_MUST_NOT_BE_DIRECTORY) != 0 && directory) return LVIO_E_FILE_IS_DIRECTORY;
  *record = {};
  if ((flags & (LVIO_STAT_MODE | LVIO_STAT_MODE_SUMMARY)) != 0)
    record->mode = mode_of(path, st.stx_mode, directory, (flags & LVIO_STAT_MODE_SUMMARY) != 0);
  if ((flags & LVIO_STAT_IS_DIRECTORY) != 0) record->is_directory = directory ? 1 : 0;
  if ((flags & LVIO_STAT_TIMES) != 0) {
    record->access_time = st.stx_atime.tv_sec;
    record->modification_time = st.stx_mtime.tv_sec;
    record->creation_time = (st.stx_mask & STATX_BTIME) != 0 ? st.stx_btime.tv_sec : st.stx_ctime.tv_sec;
  }
  if ((flags & LVIO_STAT_SIZE) != 0) record->size = static_cast<int64_t>(st.stx_size);
  if ((flags & LVIO_STAT_OWNER) != 0) {
    record->owner_id = {LVIO_ACCOUNT_USER, st.stx_uid};
    record->owner = &record->owner_id;
  }
  if ((flags & LVIO_STAT_GROUP) != 0) {
    record->group_id = {LVIO_ACCOUNT_GROUP, st.stx_gid};
    record->group = &record->group_id;
  }
  if ((flags & LVIO_STAT_KEEP) != 0) record->keep = 1;
  return 0;
}

lvio_code lvio_cleanup_list_add(lvio_file_stat* record, lvio_cleanup_fn function, void* data) {
  lvio_cleanup_list& list = record->cleanup;
  auto* grown = static_cast<lvio_cleanup_item*>(lvio_realloc(list.items, (list.count + 1) * sizeof(lvio_cleanup_item)));
  if (grown == nullptr) return LVIO_E_OUT_OF_MEMORY;
  list.items = grown;
  list.items[list.count++] = {function, data};
  return 0;
}

void lvio_cleanup_list_run(lvio_file_stat* record) {
  if ((record->keep & 1) == 0) return;
  lvio_cleanup_list& list = record->cleanup;
  for (uint64_t i = 0; i < list.count; i++) list.items[i].function(record, list.items[i].data);
  lvio_free(list.items);
  list = {0, nullptr};
  record->keep &= ~1u;
}

lvio_code lvio_is_executable(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return may(path, X_OK) ? 1 : 0;
}
