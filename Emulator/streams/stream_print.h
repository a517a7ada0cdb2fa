// Formatting into a 2048-byte buffer, or an allocated one for longer texts.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

constexpr size_t LV_FORMAT_BUFFER_SIZE = 2048;

struct lv_formatted {
  char buffer[LV_FORMAT_BUFFER_SIZE];
  char* text;      // buffer, or the allocated block
  size_t length;   // without the NUL
  size_t allocated;
};

// Formats the arguments: 0, LVIO_E_PARAMETER_ERROR for a format the C
// library refuses, LVIO_E_OUT_OF_MEMORY. Free with lv_formatted_free even
// after a failure.
int64_t lv_format(lv_formatted* out, const char* format, va_list args);
void lv_formatted_free(lv_formatted* out);
