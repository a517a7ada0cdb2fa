// The 16-byte native entry stub of a predicate record: the machine code
// native callers call. While native code is off it is a pattern that faults
// if it is ever executed; otherwise a jump to the glue routine or code that
// serves the predicate.
#pragma once

#include <cstdint>

constexpr unsigned LV_NATIVE_STUB_BYTES = 16;

// Fills the stub with 0x0F bytes closed by 0x0B, so that its last two bytes
// are the undefined-instruction trap 0F 0B.
void lv_write_native_trap(uint8_t* stub);

// Writes a jump to target at `at`: E9 rel32 when the target is within
// reach, else FF 25 00000000 and the 64-bit target (14 bytes).
void lv_write_native_jump(uint8_t* at, uint64_t target);
