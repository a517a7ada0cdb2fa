// Debug assertions for engine invariants whose breach would otherwise
// corrupt the stacks silently.
//
// LV_ASSERT(cond) is on when LV_ENABLE_ASSERTS is defined (the sanitizer
// build and Debug builds): a false condition reports the file, the line and
// the condition on the standard error stream and aborts. Otherwise it is
// compiled out: the condition is not evaluated (it is only type-checked, so
// that names used in it alone do not read as unused).
#pragma once

[[noreturn, gnu::cold, gnu::noinline]] void lv_assert_failed(const char* file, int line, const char* condition);

#ifdef LV_ENABLE_ASSERTS
#define LV_ASSERT(cond) \
  (__builtin_expect(static_cast<bool>(cond), 1) ? static_cast<void>(0) : lv_assert_failed(__FILE__, __LINE__, #cond))
#else
#define LV_ASSERT(cond) static_cast<void>(sizeof(static_cast<bool>(cond)))
#endif
