// The 16-byte native entry stub of a predicate record while native code is
// off: a pattern that faults if it is ever executed.
#pragma once

#include <cstdint>

constexpr unsigned LV_NATIVE_STUB_BYTES = 16;

// Fills the stub with 0x0F bytes closed by 0x0B, so that its last two bytes
// are the undefined-instruction trap 0F 0B.
void lv_write_native_trap(uint8_t* stub);
