// The saved-state format: archmasks and packed predicate flags.
#include "store/state_format.h"

#include <cstddef>
#include <cstdio>

#include "core/worker.h"

namespace {

constexpr unsigned X0_WORD_INDEX = offsetof(lv_worker, X) / 8;
static_assert(X0_WORD_INDEX == 40, "states written by this runtime name X0 at word 40");

}  // namespace

uint32_t lv_emulator_archmask(uint32_t kind) {
  return (X0_WORD_INDEX << LV_ARCH_X0_SHIFT) | LV_ARCH_GAUGE | LV_ARCH_BDD | 3u | (kind & 3) << LV_ARCH_KIND_SHIFT;
}

int lv_archmask_text(uint32_t mask, char* buffer, size_t size) {
  static const char* const kinds[] = {"SELECTED,", "", "ALL_BUT_PROLOG,", "ALL,"};
  int n = std::snprintf(buffer, size, "%s%s%s%s", (mask & LV_ARCH_WORD_MASK) == 3 ? "64-bit," : "32-bit,",
                        (mask & LV_ARCH_BDD) != 0 ? "BDD," : "", (mask & LV_ARCH_GAUGE) != 0 ? "GAUGE," : "",
                        kinds[lv_archmask_kind(mask)]);
  return n >= 0 && static_cast<size_t>(n) < size ? n : -1;
}

uint64_t lv_state_pack_flags(uint32_t flags) {
  return ((flags >> 1) & 0xF) | ((flags & 0x80) != 0 ? 0x10 : 0) | ((flags & 0x20) != 0 ? 0x20 : 0);
}

uint32_t lv_state_unpack_flags(uint64_t packed) {
  return static_cast<uint32_t>((packed & 0xF) << 1) | ((packed & 0x10) != 0 ? 0x80u : 0u) |
         ((packed & 0x20) != 0 ? 0x20u : 0u);
}
