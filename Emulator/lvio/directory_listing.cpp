// Directory listings on readdir.
#include "lvio/directory_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "lvio/allocator.h"
#include "lvio/os_error.h"
#include "lvio/path_text.h"

struct lvio_dir {
  lvio_dir_entry* entries;
  uint64_t count;
  uint64_t capacity;
  uint64_t next;
  char* names;  // each name followed by its NUL
  uint64_t names_used;
  uint64_t names_capacity;
};

namespace {

bool grow(void** block, uint64_t* capacity, uint64_t needed, size_t unit) {
  if (needed <= *capacity) return true;
  uint64_t wanted = std::max<uint64_t>(needed, *capacity * 2 + 16);
  void* grown = lvio_realloc(*block, wanted * unit);
  if (grown == nullptr) return false;
  *block = grown;
  *capacity = wanted;
  return true;
}

bool is_directory(int dir_fd, const dirent* d) {
  if (d->d_type == DT_DIR) return true;
  if (d->d_type != DT_UNKNOWN && d->d_type != DT_LNK) return false;
  struct stat st;
  return fstatat(dir_fd, d->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

lvio_code add(lvio_dir* listing, const char* name, bool directory) {
  size_t length = std::strlen(name);
  if (!grow(reinterpret_cast<void**>(&listing->entries), &listing->capacity, listing->count + 1,
            sizeof(lvio_dir_entry)) ||
      !grow(reinterpret_cast<void**>(&listing->names), &listing->names_capacity, listing->names_used + length + 1, 1))
    return LVIO_E_OUT_OF_MEMORY;
  if (listing->names_used + length + 1 > UINT32_MAX) return LVIO_E_OVERFLOW;
  std::memcpy(listing->names + listing->names_used, name, length + 1);
  listing->entries[listing->count++] = {static_cast<uint32_t>(listing->names_used), static_cast<uint32_t>(length),
                                        directory ? 1u : 0u};
  listing->names_used += length + 1;
  return 0;
}

lvio_code read_all(lvio_dir* listing, DIR* dir, uint32_t flags) {
  bool both = (flags & 3) == 0 || (flags & 3) == 3;
  for (;;) {
    errno = 0;
    const dirent* d = readdir(dir);
    if (d == nullptr) return errno == 0 ? 0 : lvio_os_error_code(errno, LVIO_E_OS_ERROR);
    bool directory = is_directory(dirfd(dir), d);
    if (!both && directory != ((flags & LVIO_DIR_DIRECTORIES) != 0)) continue;
    lvio_code rc = add(listing, d->d_name, directory);
    if (rc < 0) return rc;
  }
}

lvio_code open_error(const char* path) {
  int error = errno;
  struct stat st;
  if (error == ENOTDIR && stat(path, &st) == 0 && !S_ISDIR(st.st_mode)) return LVIO_E_FILE_NOT_DIRECTORY;
  return lvio_os_error_code(error, LVIO_E_FILE_NOT_FOUND);
}

}  // namespace

lvio_code lvio_dir_open(const char* path, lvio_dir** out, uint32_t flags) {
  DIR* dir = opendir(path);
  if (dir == nullptr) return open_error(path);
  auto* listing = static_cast<lvio_dir*>(lvio_alloc(sizeof(lvio_dir)));
  lvio_code rc = LVIO_E_OUT_OF_MEMORY;
  if (listing != nullptr) {
    *listing = {};
    rc = read_all(listing, dir, flags);
  }
  closedir(dir);
  if (rc < 0) {
    lvio_dir_close(listing);
    return rc;
  }
  const char* names = listing->names;
  std::sort(listing->entries, listing->entries + listing->count, [names](const lvio_dir_entry& a, const lvio_dir_entry& b) {
    return std::strcmp(names + a.name_offset, names + b.name_offset) < 0;
  });
  *out = listing;
  return 0;
}

lvio_code lvio_dir_next(lvio_dir* listing, const lvio_dir_entry** entry) {
  if (listing->next >= listing->count) return LVIO_E_NO_MORE_ENTRIES;
  *entry = &listing->entries[listing->next++];
  return 0;
}

lvio_code lvio_dir_entry_name(lvio_dir* listing, const lvio_dir_entry* entry, const char** name) {
  const char* text = listing->names + entry->name_offset;
  if (!lvio_utf8_valid(text, entry->name_length)) return LVIO_E_INVALID_NAME;
  *name = text;
  return 0;
}

void lvio_dir_close(lvio_dir* listing) {
  if (listing == nullptr) return;
  lvio_free(listing->entries);
  lvio_free(listing->names);
  lvio_free(listing);
}
