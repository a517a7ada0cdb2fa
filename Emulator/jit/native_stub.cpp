// The native entry stub of predicate records.
#include "jit/native_stub.h"

#include <climits>
#include <cstring>

void lv_write_native_trap(uint8_t* stub) {
  std::memset(stub, 0x0F, LV_NATIVE_STUB_BYTES);
  stub[LV_NATIVE_STUB_BYTES - 1] = 0x0B;
}

void lv_write_native_jump(uint8_t* at, uint64_t target) {
  int64_t rel = static_cast<int64_t>(target - (reinterpret_cast<uint64_t>(at) + 5));
  if (rel >= INT32_MIN && rel <= INT32_MAX) {
    at[0] = 0xE9;
    int32_t r = static_cast<int32_t>(rel);
    std::memcpy(at + 1, &r, 4);
    return;
  }
  static const uint8_t far_jump[6] = {0xFF, 0x25, 0, 0, 0, 0};
  std::memcpy(at, far_jump, 6);
  std::memcpy(at + 6, &target, 8);
}
