// Operating-system handles.
#include "lvio/handles.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "lvio/os_error.h"
#include "lvio/socket.h"

namespace {

bool is_socket(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

int32_t lvio_handle_kind(int fd) {
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return LVIO_HANDLE_KIND_INVALID;
  if (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode)) return LVIO_HANDLE_KIND_DISK;
  if (S_ISCHR(st.st_mode)) return isatty(fd) ? LVIO_HANDLE_KIND_CONSOLE : LVIO_HANDLE_KIND_CHARACTER;
  if (S_ISSOCK(st.st_mode)) return LVIO_HANDLE_KIND_SOCKET;
  if (S_ISFIFO(st.st_mode)) return LVIO_HANDLE_KIND_PIPE;
  return LVIO_HANDLE_KIND_CHARACTER;
}

lvio_code lvio_handle_close(int fd, uint32_t flags) {
  bool abortive = (flags & 1) != 0;
  if (is_socket(fd)) return lvio_socket_close(fd, abortive ? 1 : 0);
  // The descriptor is gone after close whatever it reports (EINTR included).
  if (close(fd) != 0 && !abortive) return lvio_os_error_code(errno, LVIO_E_CLOSE_ERROR);
  return 0;
}

lvio_code lvio_dup_std_handle(int number, int* fd) {
  if (number < 0 || number > 2) return LVIO_E_PARAMETER_ERROR;
  int copy = fcntl(number, F_DUPFD_CLOEXEC, 3);
  if (copy < 0) {
    if (errno != EBADF) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
    copy = LVIO_INVALID_HANDLE;
  }
  *fd = copy;
  return 0;
}

lvio_code lvio_file_size(int fd, int64_t* size) {
  struct stat st;
  if (fstat(fd, &st) != 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
  if (S_ISREG(st.st_mode)) {
    *size = st.st_size;
    return 0;
  }
  if (S_ISBLK(st.st_mode)) {
    uint64_t bytes;
    if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) return lvio_os_error_code(errno, LVIO_E_OS_ERROR);
    *size = static_cast<int64_t>(bytes);
    return 0;
  }
  return LVIO_E_NOT_SUPPORTED;
}

lvio_code lvio_file_position(int fd, int64_t* position) {
  off_t at = lseek(fd, 0, SEEK_CUR);
  if (at < 0) return lvio_os_error_code(errno, LVIO_E_SEEK_ERROR);
  *position = at;
  return 0;
}
