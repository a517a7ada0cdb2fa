// Names of the I/O layer's result codes, and operating-system errors as codes.
#include "lvio/result_codes.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "lvio/os_error.h"

namespace {

TEST(ResultCodes, Names) {
  struct {
    lvio_code code;
    const char* name;
  } cases[] = {
      {-1, "LVIO_E_END_OF_FILE"},
      {-10003, "LVIO_E_OUT_OF_MEMORY"},
      {-10004, "LVIO_E_PARAMETER_ERROR"},
      {-10007, "LVIO_E_NOT_SUPPORTED"},
      {-10014, "LVIO_E_INTERRUPTED"},
      {-10016, "LVIO_E_INTERNAL_ERROR"},
      {-10020, "LVIO_E_PERMISSION_ERROR"},
      {-10100, "LVIO_E_LAYER_"},
      {-10501, "LVIO_E_FILE_NOT_FOUND"},
      {-10605, "LVIO_E_NET_HOST_NOT_FOUND"},
      {-20001, "LVIO_E_MISC_ERROR_1"},
      {-30006, "LVIO_E_PRIVATE_ERROR_6"},
      {-10109, "LVIO_E_OVERFLOW"},
      {-10206, "LVIO_E_CHARSET_NOT_FOUND"},
      {-10302, "LVIO_E_THREAD_RUNNING"},
      {-10405, "LVIO_E_AIO_EINVAL"},
      {-10509, "LVIO_E_NOSPACE"},
      {-10600, "LVIO_E_NET_ERROR"},
      {-10002, "(unknown LVIO error)"},
      {-10025, "(unknown LVIO error)"},
      {-10110, "(unknown LVIO error)"},
      {-19999, "(unknown LVIO error)"},
      {INT64_MIN, "(unknown LVIO error)"},
      {-20007, "(unknown LVIO error)"},
      {0, "LVIO_S_NOERR"},
      {6, "LVIO_S_NORMALIZED"},
      {30003, "LVIO_S_PRIVATE_ERROR_3"},
      {7, "(unknown LVIO success)"},
      {29999, "(unknown LVIO success)"},
      {30007, "(unknown LVIO success)"},
  };
  for (const auto& c : cases) EXPECT_STREQ(lvio_error_name_of(c.code), c.name) << c.code;
}

TEST(ResultCodes, OperatingSystemErrors) {
  struct {
    int error;
    lvio_code code;
  } cases[] = {
      {ENOENT, LVIO_E_FILE_NOT_FOUND},   {ENOTDIR, LVIO_E_FILE_NOT_FOUND},       {EACCES, LVIO_E_PERMISSION_ERROR},
      {EISDIR, LVIO_E_PERMISSION_ERROR}, {EEXIST, LVIO_E_FILE_EXISTS},           {ENOTEMPTY, LVIO_E_DIR_NOT_EMPTY},
      {ENOSPC, LVIO_E_NOSPACE},          {EPIPE, LVIO_E_NET_CONNRESET},          {EAGAIN, LVIO_E_WOULD_BLOCK},
      {ECANCELED, LVIO_E_CANCELED},      {ECONNREFUSED, LVIO_E_NET_CONNREFUSED}, {EMFILE, LVIO_E_TOO_MANY_OPEN_FILES},
  };
  for (const auto& c : cases) EXPECT_EQ(lvio_os_error_code(c.error, LVIO_E_OS_ERROR), c.code) << c.error;
  // Numbers without a code of their own give the caller's fallback.
  EXPECT_EQ(lvio_os_error_code(EDOM, LVIO_E_OS_ERROR), LVIO_E_OS_ERROR);
  EXPECT_EQ(lvio_os_error_code(0, LVIO_E_READ_ERROR), LVIO_E_READ_ERROR);
}

}  // namespace
