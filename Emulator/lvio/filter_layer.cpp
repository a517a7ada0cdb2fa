// Steps shared by the filter layers.
#include "lvio/filter_layer.h"

#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/layer.h"
#include "lvio/operation_flags.h"

namespace {

constexpr uint32_t POP_SYNC = 0x26;  // both sides, everything down and back

}  // namespace

lvio_code lvio_filter_hand_down(lvio_layer** below, lvio_buffer* buffer, int64_t* written, uint32_t flags,
                                bool* progress) {
  uint64_t at = static_cast<uint64_t>(*written);
  uint64_t start = at;
  lvio_code rc = 0;
  if (at < buffer->used) rc = lvio_stream_write_buffer(below, buffer, &at, flags);
  *progress = at > start;
  (void)lvio_buffer_set_position(buffer, static_cast<int64_t>(at));  // at <= used
  *written = 0;
  return rc < 0 ? rc : 0;
}

lvio_code lvio_filter_refill(lvio_layer** below, lvio_buffer** input, int64_t* consumed, int64_t* origin,
                             uint32_t flags, bool* ended) {
  (void)lvio_buffer_set_position(*input, *consumed);  // consumed <= used
  *origin += *consumed;
  *consumed = 0;
  lvio_code rc = lvio_stream_read_buffer(below, input, flags);
  if (rc == LVIO_E_END_OF_FILE) {
    *ended = true;
    return 0;
  }
  return rc < 0 ? rc : 0;
}

lvio_code lvio_filter_give_back(lvio_layer** below, lvio_buffer* input, int64_t* consumed, int64_t* origin) {
  if (input == nullptr) return 0;
  uint64_t unconsumed = input->used - static_cast<uint64_t>(*consumed);
  if (unconsumed != 0) {
    if (*below == nullptr) return LVIO_E_INVALID_STATE;
    lvio_code rc = lvio_stream_seek(below, -static_cast<int64_t>(unconsumed), nullptr, input,
                                    LVIO_SEEK_GIVE_BACK | LVIO_SEEK_READ_SIDE);
    if (rc < 0) return rc;
  }
  *origin += *consumed;
  *consumed = 0;
  input->used = 0;
  return 0;
}

lvio_code lvio_filter_close(lvio_layer** chain, uint32_t flags) {
  lvio_layer* layer = *chain;
  lvio_code rc = layer->next != nullptr ? lvio_stream_close(&layer->next, flags) : 0;
  if ((flags & LVIO_OP_READ) != 0) layer->flags &= ~(LVIO_LAYER_OPEN_READ | LVIO_LAYER_READ_SIDE);
  if ((flags & LVIO_OP_WRITE) != 0) layer->flags &= ~(LVIO_LAYER_OPEN_WRITE | LVIO_LAYER_WRITE_SIDE);
  if ((layer->flags & (LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE)) == 0) {
    lvio_layer_unlink(chain);
    lvio_layer_call_finalize(layer);
  }
  return rc;
}

lvio_code lvio_filter_pop(const lvio_class* cls, lvio_layer** chain, uint32_t) {
  lvio_layer* layer = *chain;
  if (layer == nullptr || layer->cls != cls) return LVIO_E_PARAMETER_ERROR;
  lvio_code rc = cls->layer.sync(chain, POP_SYNC);
  if (rc < 0) return rc;
  lvio_layer_unlink(chain);
  lvio_layer_call_finalize(layer);
  return 0;
}
