// The standard-chain slots.
#include "lvio/std_chain.h"

#include "lvio/chain.h"
#include "lvio/null_device.h"
#include "lvio/simple_device.h"

namespace {

struct slot {
  lvio_layer* top;
  uint32_t flags;
};

// Plain stores: the slots are set and taken on the engine's thread.
slot slots[4];

slot& slot_of(uint32_t kind_flags) { return slots[(kind_flags >> 1) & 3]; }

}  // namespace

lvio_code lvio_set_std_chain(lvio_layer** chain, uint32_t kind_flags) {
  if (chain != nullptr && *chain == nullptr) return LVIO_E_PARAMETER_ERROR;
  slot& s = slot_of(kind_flags);
  slot old = s;
  s = {chain != nullptr ? *chain : nullptr, chain != nullptr ? kind_flags : 0};
  // Storing the chain the slot holds again closes nothing of it.
  if (old.top == nullptr || old.top == s.top) return 0;
  uint32_t directions = ((old.flags & LVIO_STD_CLOSE_READ) != 0 ? LVIO_OP_READ : 0) |
                        ((old.flags & LVIO_STD_CLOSE_WRITE) != 0 ? LVIO_OP_WRITE : 0);
  if (directions == 0) return 0;
  // Nobody holds the old chain any longer: when its orderly close fails (a
  // flush into a pipe without reader) it is closed abortively, and the
  // orderly close's error is returned.
  lvio_code rc = lvio_stream_close(&old.top, directions);
  if (rc < 0) (void)lvio_stream_close(&old.top, directions | LVIO_OP_ABORTIVE);  // errors ignored
  return rc;
}

lvio_code lvio_get_std_chain(lvio_layer** chain, uint32_t kind_flags) {
  slot& s = slot_of(kind_flags);
  if (s.top != nullptr) {
    *chain = s.top;
    s = {nullptr, 0};
    return 0;
  }
  if ((kind_flags & LVIO_STD_MAKE_NULL) == 0) return LVIO_E_NOT_FOUND;
  uint32_t index = (kind_flags >> 1) & 3;
  uint32_t sides = index == 0 ? LVIO_NULL_READABLE : index <= 2 ? LVIO_NULL_WRITABLE : 0;
  return lvio_open_null_device(chain, sides | LVIO_DEVICE_BYTES);
}

int64_t lvio_std_slot_number(uint32_t kind_flags) { return ((kind_flags >> 1) & 3) + 1; }
