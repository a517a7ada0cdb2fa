// Invariant checks inside the plug-in, which links nothing of the runtime:
// LV_ASSERT as the runtime has it (on with LV_ENABLE_ASSERTS, else only
// type-checked), reporting through the plug-in's own routine.
#pragma once

#ifndef LV_ASSERT
#include <cstdio>
#include <cstdlib>

[[noreturn, gnu::cold]] inline void fd_assert_failed(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
  std::abort();
}

#ifdef LV_ENABLE_ASSERTS
#define LV_ASSERT(cond) \
  (__builtin_expect(static_cast<bool>(cond), 1) ? static_cast<void>(0) : fd_assert_failed(__FILE__, __LINE__, #cond))
#else
#define LV_ASSERT(cond) static_cast<void>(sizeof(static_cast<bool>(cond)))
#endif
#endif
