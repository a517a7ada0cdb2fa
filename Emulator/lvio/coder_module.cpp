// The built-in coders and the module that registers them.
#include "lvio/coder_builtin.h"

lvio_coder_class* const lvio_builtin_coders[LVIO_BUILTIN_CODER_COUNT] = {
    &lvio_coder_ascii.base,       &lvio_coder_latin1.base, &lvio_coder_latin2.base, &lvio_coder_latin9.base,
    &lvio_coder_windows1252.base, &lvio_coder_utf8,        &lvio_coder_utf16be,     &lvio_coder_utf16le,
    &lvio_coder_utf32be,          &lvio_coder_utf32le,
};

namespace {

lvio_code stop(int count) {
  lvio_code first_error = 0;
  for (int i = count - 1; i >= 0; i--) {
    lvio_code rc = lvio_coder_class_register(nullptr, lvio_builtin_coders[i], 1);
    if (rc < 0 && first_error == 0) first_error = rc;
  }
  return first_error;
}

}  // namespace

// Each class starts with a reference of its own; the registry takes a
// second one and the module drops its own, so the registry alone holds it.
lvio_code lvio_coder_module(uint32_t flags) {
  if ((flags & 1) != 0) return stop(LVIO_BUILTIN_CODER_COUNT);
  for (int i = 0; i < LVIO_BUILTIN_CODER_COUNT; i++) {
    lvio_coder_class* cls = lvio_builtin_coders[i];
    cls->reference_count = 1;
    lvio_code rc = lvio_coder_class_register(nullptr, cls, 0);
    cls->ops.unref(cls);
    if (rc < 0) {
      stop(i);
      return rc;
    }
  }
  return 0;
}
