// Operating-system error numbers as result codes.
#include "lvio/os_error.h"

#include <cerrno>

// The table maps errno values (ENOENT, EACCES, ...) onto the layer's codes.
lvio_code lvio_os_error_code(int os_error, lvio_code fallback) {
  switch (os_error) {
    case ENOENT:
    case ENOTDIR:  // a component of the path is not a directory: the path does not exist
      return LVIO_E_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:  // opening a directory as a file is refused, not a different kind of error
    case ENOEXEC:
      return LVIO_E_PERMISSION_ERROR;
    case EBUSY:
    case ETXTBSY:
      return LVIO_E_FILE_ACCESS;
    case ENOSPC:
    case EDQUOT:
      return LVIO_E_NOSPACE;
    case EPIPE:
    case ECONNRESET:
    case ECONNABORTED:
    case ENETRESET:
      return LVIO_E_NET_CONNRESET;
    case ENAMETOOLONG:
    case EILSEQ:
      return LVIO_E_INVALID_NAME;
    case ENOTEMPTY:
      return LVIO_E_DIR_NOT_EMPTY;
    case EEXIST:
      return LVIO_E_FILE_EXISTS;
    case ECANCELED:
      return LVIO_E_CANCELED;
    case EAGAIN:
      return LVIO_E_WOULD_BLOCK;
    case ETIMEDOUT:
      return LVIO_E_NET_TIMEDOUT;
    case ECONNREFUSED:
      return LVIO_E_NET_CONNREFUSED;
    case EADDRINUSE:
      return LVIO_E_NET_ADDRINUSE;
    case ENETDOWN:
    case ENETUNREACH:
    case EHOSTUNREACH:
      return LVIO_E_NET_ERROR;
    case EMFILE:
    case ENFILE:
      return LVIO_E_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return LVIO_E_OUT_OF_MEMORY;
    default:
      return fallback;
  }
}
