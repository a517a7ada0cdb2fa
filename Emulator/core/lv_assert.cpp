// The failure path of LV_ASSERT.
#include "core/lv_assert.h"

#include <cstdio>
#include <cstdlib>

void lv_assert_failed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  std::fflush(stderr);
  std::abort();
}
