// Names of the I/O layer's result codes.
#include <gtest/gtest.h>

#include "lvio/result_codes.h"

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
      {-10002, "(unknown LVIO error)"},
      {-20007, "(unknown LVIO error)"},
      {0, "LVIO_S_NOERR"},
      {6, "LVIO_S_NORMALIZED"},
      {30003, "LVIO_S_PRIVATE_ERROR_3"},
      {7, "(unknown LVIO success)"},
  };
  for (const auto& c : cases) EXPECT_STREQ(lvio_error_name_of(c.code), c.name) << c.code;
}

}  // namespace
