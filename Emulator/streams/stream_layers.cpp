// Operations on the chain under a stream: watching its input, pushing and
// popping compression, its size, and the device's coder options.
#include "streams/stream_layers.h"

#include <cstring>

#include "lvio/chain.h"
#include "lvio/event.h"
#include "streams/stream_internal.h"

namespace {

constexpr uint32_t PEEK_WITHOUT_WAITING = LV_GET_NO_WAIT | LV_GET_PEEK | LV_GET_RETURN_ON_INTERRUPT;
constexpr uint32_t ZLIB_PUSH = 1;

int64_t peek(lv_stream* s) {
  return (s->flags & LV_STREAM_TEXT) != 0 ? lv_get_code_helper(s, PEEK_WITHOUT_WAITING)
                                          : lv_get_byte_helper(s, PEEK_WITHOUT_WAITING);
}

}  // namespace

int64_t lv_stream_watch_input(lv_stream* s, lvio_watch_fn function, void* object, uint32_t options) {
  if (lv_stream_known(s) == nullptr || (options & LV_WATCH_INPUT) == 0 || function == nullptr)
    return LVIO_E_PARAMETER_ERROR;
  if (peek(s) != LVIO_E_WOULD_BLOCK) {
    (void)function(object, 1);  // only the second call's result is reported
    return function(object, 3) < 0 ? 1 : 4;
  }
  lvio_event* event = nullptr;
  int64_t rc = s->chain != nullptr ? lvio_stream_read_event(&s->chain, &event) : LVIO_E_NOT_SUPPORTED;
  if (rc < 0) return rc;
  rc = lvio_event_watch(event, function, object, 0);
  if (rc < 0) return rc;
  s->flags |= LV_STREAM_INPUT_WATCHED;
  return 0;
}

int64_t lv_stream_unwatch_input(lv_stream* s, lvio_watch_fn function, void* object, uint32_t options) {
  if (lv_stream_known(s) == nullptr || (options & LV_WATCH_INPUT) == 0) return LVIO_E_PARAMETER_ERROR;
  if ((s->flags & LV_STREAM_INPUT_WATCHED) == 0 || s->chain == nullptr) return LVIO_E_NOT_FOUND;
  lvio_event* event = nullptr;
  int64_t rc = lvio_stream_read_event(&s->chain, &event);
  if (rc < 0) return rc;
  rc = lvio_event_watch_cancel(event, function, object, 0);
  s->flags &= ~LV_STREAM_INPUT_WATCHED;
  return rc < 0 ? rc : 0;
}

int64_t lv_stream_zlib_layer(lv_stream* s, uint32_t options) {
  bool one_direction = ((s->flags & LV_STREAM_INPUT) != 0) != ((s->flags & LV_STREAM_OUTPUT) != 0);
  if ((s->flags & LV_STREAM_BINARY) == 0 || s->chain == nullptr || !one_direction) return LVIO_E_INVALID_STATE;
  bool pop = (options & 1) != 0;
  if (pop && std::strcmp(s->chain->cls->name, "zlib") != 0) return LVIO_E_INVALID_STATE;
  // The layer below is to go on exactly where the stream stands.
  int64_t rc = lv_stream_set_position(s, 0, 0, 0, LV_SEEK_RESYNC);
  if (rc < 0) return rc;
  if (!pop) return lvio_push_layer_by_name("zlib", &s->chain, nullptr, ZLIB_PUSH);
  s->flags &= ~(LV_STREAM_AT_END | LV_STREAM_PAST_END);
  s->end_position = -1;
  lv_stream_update_capabilities(s);
  return lvio_pop_layer(nullptr, &s->chain, 0);
}

int64_t lv_stream_get_size(lv_stream* s, int64_t* size, uint32_t flags) {
  if (s->chain == nullptr) return LVIO_E_NOT_SUPPORTED;
  return lvio_stream_get_size(&s->chain, size, flags);
}

int64_t lv_stream_device_options(lv_stream* s, uint32_t options) {
  if (s->chain == nullptr) return LVIO_E_NOT_SUPPORTED;
  uint32_t word = 32 + 2 * (options & 3) + ((options & 4) != 0 ? 40 : 0);
  return lvio_stream_probe(&s->chain, word);
}
