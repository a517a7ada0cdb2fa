// File status: kind, permission modes, times, size and owner of a file,
// taken from the file the path names (symbolic links are followed).
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_file_stat;

// Work to do when the record's resources are given up.
typedef void (*lvio_cleanup_fn)(lvio_file_stat* record, void* data);
struct lvio_cleanup_item {
  lvio_cleanup_fn function;
  void* data;
};
struct lvio_cleanup_list {
  uint64_t count;
  lvio_cleanup_item* items;
};

// An entry of the user or the group database.
constexpr uint32_t LVIO_ACCOUNT_USER = 1;
constexpr uint32_t LVIO_ACCOUNT_GROUP = 2;
struct lvio_account_id {
  uint32_t kind;
  uint32_t id;
};

// What lvio_file_status fetches, and how.
constexpr uint32_t LVIO_STAT_KEEP = 0x1;               // keep resources until lvio_cleanup_list_run
constexpr uint32_t LVIO_STAT_MUST_BE_DIRECTORY = 0x2;  // else LVIO_E_FILE_NOT_DIRECTORY
constexpr uint32_t LVIO_STAT_MUST_NOT_BE_DIRECTORY = 0x4;  // else LVIO_E_FILE_IS_DIRECTORY
constexpr uint32_t LVIO_STAT_MODE = 0x8;
constexpr uint32_t LVIO_STAT_MODE_SUMMARY = 0x100;  // the mode and its summary bits
constexpr uint32_t LVIO_STAT_IS_DIRECTORY = 0x200;
constexpr uint32_t LVIO_STAT_TIMES = 0x400;
constexpr uint32_t LVIO_STAT_SIZE = 0x800;
constexpr uint32_t LVIO_STAT_OWNER = 0x1000;
constexpr uint32_t LVIO_STAT_GROUP = 0x2000;

// The mode: three 4-bit groups, the owner's in bits 8-11, the group's in
// bits 4-7 and everyone else's in bits 0-3, each with 1 read, 2 write,
// 4 execute (files) and 8 search (directories). The summary bits say what
// the calling process may do with the file.
constexpr uint32_t LVIO_MODE_READ = 1;
constexpr uint32_t LVIO_MODE_WRITE = 2;
constexpr uint32_t LVIO_MODE_EXECUTE = 4;
constexpr uint32_t LVIO_MODE_SEARCH = 8;
constexpr uint32_t LVIO_MODE_READABLE = 0x8000;
constexpr uint32_t LVIO_MODE_WRITABLE = 0x10000;
constexpr uint32_t LVIO_MODE_EXECUTABLE = 0x20000;
constexpr uint32_t LVIO_MODE_SEARCHABLE = 0x40000;

// Fields that were not asked for are 0 (null for owner and group). Times
// are seconds since 1970-01-01. The creation time is the file's birth time
// where the file system records one, else its last status change. Owner and
// group point into the record itself.
struct lvio_file_stat {
  uint32_t keep;  // bit 0: lvio_cleanup_list_run has resources to free
  uint32_t mode;
  int64_t is_directory;
  int64_t access_time;
  int64_t modification_time;
  int64_t creation_time;
  int64_t size;
  const lvio_account_id* owner;
  const lvio_account_id* group;
  lvio_cleanup_list cleanup;
  lvio_account_id owner_id;
  lvio_account_id group_id;
};

// Fills the record as the flags ask. A path that does not exist (or cannot
// be reached) is LVIO_E_FILE_NOT_FOUND.
[[nodiscard]] lvio_code lvio_file_status(const char* path, lvio_file_stat* record, uint32_t flags);

// Appends {function, data} to the record's cleanup list.
[[nodiscard]] lvio_code lvio_cleanup_list_add(lvio_file_stat* record, lvio_cleanup_fn function, void* data);
// With the keep bit set: calls each function in order, frees the list and
// clears the bit. Otherwise nothing.
void lvio_cleanup_list_run(lvio_file_stat* record);

// 1 when the path names a file (not a directory) that the calling process
// may execute, else 0.
[[nodiscard]] lvio_code lvio_is_executable(const char* path);
