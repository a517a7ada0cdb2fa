// A read-only run of bytes handed to a conversion step.
#pragma once

#include <cstdint>

struct lvio_span {
  const uint8_t* data;
  uint64_t length;
};
