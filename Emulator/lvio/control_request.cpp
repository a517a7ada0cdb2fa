// Control requests: the walk down a chain and the requests built on it.
#include "lvio/chain.h"

lvio_code lvio_stream_control_request(lvio_layer** chain, uint32_t request, void* argument, uint32_t flags) {
  flags = lvio_layer_op_flags(flags);
  for (lvio_layer** link = chain; *link != nullptr; link = &(*link)->next) {
    auto control = (*link)->cls->layer.control;
    if (control != nullptr) {
      lvio_code rc = control(link, request, argument, flags);
      if (rc != LVIO_E_NOT_SUPPORTED) return rc;
    }
    if ((flags & LVIO_OP_WALK_DOWN) == 0) break;
  }
  return LVIO_E_NOT_SUPPORTED;
}

lvio_code lvio_stream_read_event(lvio_layer** chain, lvio_event** event) {
  return lvio_stream_control_request(chain, LVIO_REQUEST_READ_EVENT, event, LVIO_OP_WALK_DOWN);
}

lvio_code lvio_stream_write_event(lvio_layer** chain, lvio_event** event) {
  return lvio_stream_control_request(chain, LVIO_REQUEST_WRITE_EVENT, event, LVIO_OP_WALK_DOWN);
}

lvio_code lvio_stream_get_info(lvio_layer** chain, lvio_stream_info* info, uint32_t flags) {
  lvio_code rc = lvio_stream_control_request(chain, LVIO_REQUEST_INFO, info, flags | LVIO_OP_WALK_DOWN);
  if (rc != LVIO_E_NOT_SUPPORTED) return rc;
  info->kind = LVIO_DEVICE_OTHER;
  return 0;
}

lvio_code lvio_stream_get_name(lvio_layer** chain, const char** name, uint32_t flags) {
  uint32_t directions = flags & (LVIO_OP_READ | LVIO_OP_WRITE);
  if (directions != LVIO_OP_READ && directions != LVIO_OP_WRITE) return LVIO_E_PARAMETER_ERROR;
  return lvio_stream_control_request(chain, LVIO_REQUEST_NAME, name, flags | LVIO_OP_WALK_DOWN);
}

lvio_code lvio_stream_probe(lvio_layer** chain, uint32_t flags) {
  lvio_code rc = lvio_stream_control_request(chain, LVIO_REQUEST_PROBE, nullptr, flags);
  return rc == LVIO_E_NOT_SUPPORTED ? LVIO_S_NOT_SUPPORTED : rc;
}

lvio_code lvio_stream_get_size(lvio_layer** chain, int64_t* length, uint32_t flags) {
  if ((flags & (LVIO_OP_READ | LVIO_OP_WRITE)) == 0) flags |= LVIO_OP_READ | LVIO_OP_WRITE;
  int64_t value = -42;  // the answering layer overwrites it
  lvio_code rc = lvio_stream_control_request(chain, LVIO_REQUEST_SIZE, &value, flags);
  if (rc >= 0) *length = value;
  return rc;
}

lvio_code lvio_stream_set_timeout(lvio_layer** chain, const lvio_time* time, uint32_t flags) {
  return lvio_stream_control_request(chain, LVIO_REQUEST_TIMEOUT, const_cast<lvio_time*>(time),
                                     flags | LVIO_OP_WALK_DOWN);
}
