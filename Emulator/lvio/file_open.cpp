// Opening files by path.
#include "lvio/file_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lvio/os_error.h"

lvio_code lvio_file_open_path(const char* path, uint32_t flags, int* fd) {
  bool read = (flags & LVIO_OPEN_READ) != 0;
  bool write = (flags & LVIO_OPEN_WRITE) != 0;
  bool append = (flags & LVIO_OPEN_APPEND) != 0;
  if (!read && !write) return LVIO_E_PARAMETER_ERROR;
  if (read && write && append) return LVIO_E_PARAMETER_ERROR;
  int how = O_CLOEXEC;
  if (!write) {
    // Opening a FIFO for reading would wait for a writer here, where nothing
    // can interrupt it; without blocking it opens at once, and reads wait
    // (interruptibly) instead.
    how |= O_RDONLY | O_NONBLOCK;
  } else {
    // Writing alone opens write-only: a file its owner may only write opens,
    // and a FIFO waits for a reader as it should.
    how |= (read ? O_RDWR : O_WRONLY) | O_CREAT;
    if (!read && !append) how |= O_TRUNC;
    if ((flags & LVIO_OPEN_EXCLUSIVE) != 0) how |= O_EXCL;
  }
  int opened = open(path, how, 0666);
  if (opened < 0) {
    if (errno == EISDIR) return LVIO_E_FILE_IS_DIRECTORY;
    return lvio_os_error_code(errno, LVIO_E_OPEN_ERROR);
  }
  // Reading a directory's descriptor would fail later, and differently.
  struct stat st;
  if (fstat(opened, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(opened);
    return LVIO_E_FILE_IS_DIRECTORY;
  }
  if ((how & O_NONBLOCK) != 0) fcntl(opened, F_SETFL, fcntl(opened, F_GETFL) & ~O_NONBLOCK);
  *fd = opened;
  return 0;
}
