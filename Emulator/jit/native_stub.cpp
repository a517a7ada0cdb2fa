// The native entry stub while native code is off.
#include "jit/native_stub.h"

#include <cstring>

void lv_write_native_trap(uint8_t* stub) {
  std::memset(stub, 0x0F, LV_NATIVE_STUB_BYTES);
  stub[LV_NATIVE_STUB_BYTES - 1] = 0x0B;
}
