// Output tunnels. The carrier is checked against the open streams (by
// address and id) before every use, so a tunnel whose carrier has gone
// answers end of file instead of touching a freed record.
#include "streams/tunnel_stream.h"

#include <cstring>

#include "core/memory.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/simple_device.h"
#include "streams/stream_api.h"
#include "streams/stream_close.h"
#include "streams/stream_internal.h"
#include "streams/stream_open.h"

namespace {

constexpr uint32_t TUNNEL_OPEN = 0x1;
constexpr uint32_t TUNNEL_FLAG_0X1 = 0x2;
constexpr uint32_t TUNNEL_BYTES = 0x4;

constexpr char APPEND_PREFIX[] = "TUNNEL APPEND ";
constexpr uint64_t APPEND_PREFIX_LENGTH = sizeof APPEND_PREFIX - 1;

struct lv_tunnel {
  uint32_t flags;
  lv_stream* carrier;  // null once the carrier is gone
  int64_t carrier_id;
  uint64_t name_length;
  // the channel name follows the record, zero-terminated
};

const char tunnel_tag = 0;

char* channel_name(lv_tunnel* t) { return reinterpret_cast<char*>(t + 1); }
uint64_t record_size(uint64_t name_length) { return sizeof(lv_tunnel) + name_length + 1; }

// Forgets the carrier: the tunnel answers end of file from now on.
void forget_carrier(lv_tunnel* t) { t->carrier = nullptr; }

// The carrier when it is still the open stream it was, open for binary
// output; otherwise the tunnel forgets it and gives null.
lv_stream* live_carrier(lv_tunnel* t) {
  if (t->carrier == nullptr) return nullptr;
  lv_stream* s = lv_find_stream_by_id(t->carrier, t->carrier_id);
  if (s == nullptr || (s->flags & (LV_STREAM_OUTPUT | LV_STREAM_BINARY)) != (LV_STREAM_OUTPUT | LV_STREAM_BINARY)) {
    forget_carrier(t);
    return nullptr;
  }
  return s;
}

uint64_t escaped_length(const uint8_t* data, uint64_t n) {
  uint64_t length = n;
  for (uint64_t i = 0; i < n; i++)
    if (data[i] == 0 || data[i] == 1 || data[i] == 13) length++;
  return length;
}

int64_t tunnel_write(void* user, const void* source, uint64_t* size, uint32_t options) {
  auto* t = static_cast<lv_tunnel*>(user);
  uint64_t n = *size;
  *size = 0;
  if ((t->flags & TUNNEL_OPEN) == 0) return LVIO_E_NOT_OPEN_WRITE;
  lv_stream* carrier = live_carrier(t);
  if (carrier == nullptr) return LVIO_E_END_OF_FILE;
  const auto* data = static_cast<const uint8_t*>(source);
  uint64_t line = APPEND_PREFIX_LENGTH + t->name_length + 1 + escaped_length(data, n) + 1;
  int64_t rc = LV_put_bytes(carrier, nullptr, static_cast<int64_t>(line), LV_PUT_RESERVE_ONLY | (options & 1));
  if (rc < 0) return rc;
  uint8_t* out = carrier->byte_write_cursor;
  std::memcpy(out, APPEND_PREFIX, APPEND_PREFIX_LENGTH);
  out += APPEND_PREFIX_LENGTH;
  std::memcpy(out, channel_name(t), t->name_length);
  out += t->name_length;
  *out++ = ' ';
  for (uint64_t i = 0; i < n; i++) {
    switch (data[i]) {
      case 0: *out++ = 1, *out++ = 2; break;
      case 1: *out++ = 1, *out++ = 1; break;
      case 13: *out++ = 1, *out++ = 3; break;
      case 10: *out++ = 0; break;
      default: *out++ = data[i];
    }
  }
  *out++ = '\n';
  carrier->byte_write_cursor = out;
  *size = n;
  return 0;
}

int64_t tunnel_flush(void* user, uint32_t options) {
  auto* t = static_cast<lv_tunnel*>(user);
  if ((t->flags & TUNNEL_OPEN) == 0) return LVIO_E_NOT_OPEN_WRITE;
  lv_stream* carrier = live_carrier(t);
  if (carrier == nullptr || (t->flags & TUNNEL_BYTES) == 0) {
    forget_carrier(t);
    return LVIO_E_END_OF_FILE;
  }
  return LV_flush_output(carrier, options & LVIO_DEVICE_NO_WAIT);
}

void carrier_closed(lv_stream* stream, void** data, int reason) {
  auto* t = static_cast<lv_tunnel*>(*data);
  if (reason == LV_CLOSE_REASON_SHUTDOWN) {
    forget_carrier(t);
  } else if (reason == LV_CLOSE_REASON_CLOSED && stream == t->carrier) {
    forget_carrier(t);
    *data = nullptr;
  }
}

int64_t tunnel_close(void** user, uint32_t sides, int abortive) {
  auto* t = static_cast<lv_tunnel*>(*user);
  if (t == nullptr) return 0;
  if ((sides & LVIO_DEVICE_CLOSE_WRITE) != 0) {
    // A carrier that is gone leaves nothing to flush.
    if (abortive == 0 && (t->flags & TUNNEL_OPEN) != 0 && live_carrier(t) != nullptr) {
      int64_t rc = tunnel_flush(t, 0);
      if (rc < 0) return rc;
    }
    t->flags &= ~TUNNEL_OPEN;
  }
  if ((t->flags & TUNNEL_OPEN) != 0) return 0;
  lv_disable_close_callbacks(t);
  lv_mem_free(t, record_size(t->name_length), LV_STREAM_MEM);
  *user = nullptr;
  return LVIO_S_DEALLOCATED;
}

}  // namespace

int64_t lv_tunnel_layer_create(lv_stream* carrier, const char* channel, lvio_layer** chain, uint32_t options) {
  if (carrier == nullptr || channel == nullptr || chain == nullptr || (options & LV_TUNNEL_BYTES) == 0)
    return LVIO_E_PARAMETER_ERROR;
  uint64_t name_length = std::strlen(channel);
  auto* t = static_cast<lv_tunnel*>(lv_mem_alloc(record_size(name_length), LV_STREAM_MEM));
  if (t == nullptr) return LVIO_E_OUT_OF_MEMORY;
  t->flags = TUNNEL_OPEN | TUNNEL_BYTES | ((options & LV_TUNNEL_FLAG_0X1) != 0 ? TUNNEL_FLAG_0X1 : 0);
  t->carrier = carrier;
  t->carrier_id = carrier->id;
  t->name_length = name_length;
  std::memcpy(channel_name(t), channel, name_length + 1);
  int64_t rc = lv_add_close_callback(carrier_closed, t);
  if (rc >= 0)
    rc = lvio_make_simple_device(chain, t, &tunnel_tag, nullptr, tunnel_write, tunnel_flush, nullptr, tunnel_close,
                                 nullptr, nullptr, LVIO_DEVICE_BYTES);
  if (rc < 0) {
    lv_disable_close_callbacks(t);
    lv_mem_free(t, record_size(name_length), LV_STREAM_MEM);
  }
  return rc;
}

int64_t lv_open_tunnel_output(lv_stream* carrier, const char* channel, lv_stream** out, uint32_t options) {
  if (out == nullptr) return LVIO_E_PARAMETER_ERROR;
  lvio_layer* chain = nullptr;
  int64_t rc = lv_tunnel_layer_create(carrier, channel, &chain, LV_TUNNEL_BYTES);
  if (rc < 0) return rc;
  bool binary = (options & LV_TUNNEL_BINARY) != 0;
  if (!binary) {
    lvio_coder_class* utf8 = nullptr;
    rc = lvio_coder_class_open(&utf8, "UTF-8", nullptr, 0);
    if (rc >= 0) {
      rc = lv_make_coded_stream(&chain, nullptr, utf8, LV_CODER_OUTPUT | LV_CODER_OUT_LF);
      lvio_coder_class_unref(utf8);
    }
  }
  if (rc >= 0) {
    uint32_t make = LV_MAKE_OUTPUT | LV_MAKE_LINE_FLUSH | (binary ? LV_MAKE_BINARY : LV_MAKE_TEXT) |
                    ((options & LV_TUNNEL_INTERACTIVE) != 0 ? LV_MAKE_INTERACTIVE : 0) |
                    ((options & LV_TUNNEL_STANDARD) != 0 ? LV_MAKE_STANDARD : 0);
    rc = lv_make_stream_from_layers(chain, out, make);
  }
  if (rc < 0) (void)lvio_stream_close(&chain, LVIO_OP_ABORTIVE);
  return rc;
}

int64_t lv_tunnel_decode(uint8_t* data, int64_t length) {
  int64_t to = 0;
  for (int64_t from = 0; from < length; from++) {
    uint8_t b = data[from];
    if (b == 1) {
      if (++from == length) return LVIO_E_NOT_ENOUGH_DATA;
      switch (data[from]) {
        case 1: b = 1; break;
        case 2: b = 0; break;
        case 3: b = 13; break;
        default: return LVIO_E_ENCODING_INVALID;
      }
    } else if (b == 0) {
      b = 10;
    }
    data[to++] = b;
  }
  return to;
}
