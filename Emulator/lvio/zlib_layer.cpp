// The "zlib" layer.
#include "lvio/zlib_layer.h"

#include <cstring>

#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/filter_layer.h"
#include "lvio/layer_sides.h"
#include "lvio/operation_flags.h"
#include "lvio/zlib_stream.h"

namespace {

constexpr uint32_t WRITE_ALL_DOWN = 0x21;  // write everything, without waiting
constexpr uint32_t WRITE_CARRIED = 0x4;    // a drain option handed on to the writes below
constexpr uint32_t PUSH_ONE_DIRECTION = 0x2;

lvio_zlib_layer* self(lvio_layer** chain) { return reinterpret_cast<lvio_zlib_layer*>(*chain); }

lvio_layer** below(lvio_zlib_layer* l) { return &l->header.next; }

uint64_t room(const lvio_buffer* b) { return b->capacity > b->used ? b->capacity - b->used : 0; }

lvio_code make_room(lvio_buffer* b) { return room(b) != 0 ? 0 : lvio_buffer_reserve(b, lvio_buffer_default_bytes()); }

lvio_code z_read(lvio_layer** chain, lvio_buffer* destination, uint32_t options) {
  lvio_zlib_layer* l = self(chain);
  if (l->inflater == nullptr) return LVIO_E_NOT_OPEN_READ;
  lvio_code rc = make_room(destination);
  if (rc < 0) return rc;
  if (lvio_pushback_unread(&l->pushback) != 0) {
    l->read_position += static_cast<int64_t>(lvio_pushback_take(&l->pushback, destination, 1));
    return 0;
  }
  uint32_t step = l->inflate_options;
  for (;;) {
    if ((l->header.flags & LVIO_ZLIB_READ_ENDED) != 0) return LVIO_E_END_OF_FILE;
    uint64_t at = static_cast<uint64_t>(l->consumed);
    uint64_t before = destination->used;
    rc = lvio_zlib_inflate_step(l->inflater, l->input, &at, destination, step);
    if (rc >= 0) {
      l->consumed = static_cast<int64_t>(at);
      if (rc == LVIO_S_DONE) l->header.flags |= LVIO_ZLIB_READ_ENDED;
      uint64_t produced = destination->used - before;
      if (produced != 0) {
        l->read_position += static_cast<int64_t>(produced);
        return 0;
      }
      continue;
    }
    if (rc != LVIO_E_NOT_ENOUGH_DATA && rc != LVIO_E_END_OF_FILE) return rc;
    if ((step & LVIO_ZLIB_INPUT_ENDED) != 0)
      return l->input->used > static_cast<uint64_t>(l->consumed) ? LVIO_E_ENCODING_INVALID : LVIO_E_END_OF_FILE;
    bool ended = false;
    rc = lvio_filter_refill(below(l), &l->input, &l->consumed, &l->input_origin, options, &ended);
    if (rc < 0) return rc;
    if (ended) step |= LVIO_ZLIB_INPUT_ENDED;
  }
}

lvio_code z_write(lvio_layer** chain, lvio_buffer* source, uint64_t* position, uint32_t options) {
  lvio_zlib_layer* l = self(chain);
  if (l->deflater == nullptr) return LVIO_E_NOT_OPEN_WRITE;
  bool finish = (options & LVIO_ZLIB_OP_FINISH) != 0;
  if ((l->header.flags & LVIO_ZLIB_WRITE_FINISHING) != 0 && !finish) return LVIO_E_INVALID_STATE;
  uint64_t pending = source->used - *position;
  // Finishing is a write of nothing; anything else writes something. The
  // check comes first so that a refused call does not start the finish.
  if (finish ? pending != 0 : pending == 0) return LVIO_E_INTERNAL_ERROR;
  if (finish) l->header.flags |= LVIO_ZLIB_WRITE_FINISHING;
  if ((l->header.flags & LVIO_ZLIB_WRITE_ENDED) != 0) return 0;
  lvio_code rc = lvio_zlib_drain(l, options);
  if (rc < 0) return rc;
  if ((l->header.flags & LVIO_ZLIB_WRITE_ENDED) != 0 || finish) return 0;
  lvio_span span = {source->data, source->used};
  uint64_t at = *position;
  do {
    rc = make_room(l->output);
    if (rc >= 0) rc = lvio_zlib_deflate_step(l->deflater, &span, &at, l->output, l->deflate_options);
    if (rc < 0) return rc;
  } while (at == *position);
  l->write_position += static_cast<int64_t>(at - *position);
  *position = at;
  return 0;
}

lvio_code z_sync(lvio_layer** chain, uint32_t options) {
  lvio_zlib_layer* l = self(chain);
  lvio_code first = 0;
  if ((options & LVIO_OP_WRITE) != 0 && (l->header.flags & LVIO_LAYER_OPEN_WRITE) != 0 &&
      (l->header.flags & LVIO_ZLIB_WRITE_ENDED) == 0) {
    uint32_t drain = ((options & LVIO_OP_ABORTIVE) != 0 ? WRITE_CARRIED : 0) |
                     ((options & (LVIO_SYNC_CLOSING | LVIO_SYNC_FINISH)) != 0 ? LVIO_ZLIB_OP_FINISH : 0);
    lvio_code rc = lvio_zlib_drain(l, drain);
    if (rc < 0) first = rc;
  }
  if ((options & LVIO_OP_READ) != 0 && (l->header.flags & LVIO_LAYER_OPEN_READ) != 0 &&
      (options & LVIO_SYNC_CLOSING) == 0) {
    lvio_code rc = (l->header.flags & LVIO_ZLIB_READ_ENDED) == 0 || lvio_pushback_unread(&l->pushback) != 0
                       ? LVIO_E_INVALID_STATE
                       : lvio_filter_give_back(below(l), l->input, &l->consumed, &l->input_origin);
    if (first == 0) first = rc;
  }
  if ((options & LVIO_SYNC_PASS_DOWN) != 0 && *below(l) != nullptr) {
    lvio_code rc = lvio_stream_sync_all(below(l), options);
    if (first == 0 && rc < 0) first = rc;
  }
  return first;
}

lvio_code z_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer* source, uint32_t options) {
  lvio_zlib_layer* l = self(chain);
  return lvio_pushback_seek(&l->header, &l->pushback, &l->read_position, l->write_position, 1, offset, position, source,
                            options);
}

// An unfinished write side may be closed only abortively: the compressed
// stream would be cut off.
lvio_code z_close(lvio_layer** chain, uint32_t options) {
  lvio_zlib_layer* l = self(chain);
  if ((options & LVIO_OP_WRITE) != 0 && (options & LVIO_OP_ABORTIVE) == 0 &&
      (l->header.flags & LVIO_LAYER_WRITE_SIDE) != 0 && (l->header.flags & LVIO_ZLIB_WRITE_ENDED) == 0)
    return LVIO_E_INVALID_STATE;
  return lvio_filter_close(chain, options);
}

void z_finalize(lvio_layer* layer) {
  auto* l = reinterpret_cast<lvio_zlib_layer*>(layer);
  lvio_zlib_inflater_free(l->inflater);
  lvio_zlib_deflater_free(l->deflater);
  lvio_buffer_free(l->input);
  lvio_buffer_free(l->output);
  lvio_pushback_free(&l->pushback);
  lvio_layer_finalize(layer);
  lvio_free(l);
}

lvio_code z_push(const lvio_class* cls, lvio_layer** chain, const lvio_option*, uint32_t flags) {
  if ((flags & PUSH_ONE_DIRECTION) != 0) return LVIO_E_NOT_SUPPORTED;
  lvio_layer* top = *chain;
  bool reads = top != nullptr && (top->flags & LVIO_LAYER_OPEN_READ) != 0;
  bool writes = top != nullptr && (top->flags & LVIO_LAYER_OPEN_WRITE) != 0;
  if (!reads && !writes) return LVIO_E_PUSH_ERROR;
  if ((reads && lvio_layer_read_item_size(top) != 1) || (writes && lvio_layer_write_item_size(top) != 1))
    return LVIO_E_INVALID_STATE;
  auto* l = static_cast<lvio_zlib_layer*>(lvio_alloc(sizeof(lvio_zlib_layer)));
  if (l == nullptr) return LVIO_E_OUT_OF_MEMORY;
  std::memset(static_cast<void*>(l), 0, sizeof *l);
  uint32_t layer_flags = (reads ? lvio_layer_reading_flags(1) : 0) | (writes ? lvio_layer_writing_flags(1) : 0);
  lvio_layer_init(&l->header, cls, layer_flags);
  lvio_code rc = 0;
  if (reads) {
    rc = lvio_zlib_inflater_create(&l->inflater);
    if (rc >= 0 && (l->input = lvio_buffer_create(nullptr, 0, 0)) == nullptr) rc = LVIO_E_OUT_OF_MEMORY;
  }
  if (rc >= 0 && writes) {
    rc = lvio_zlib_deflater_create(&l->deflater);
    if (rc >= 0 && (l->output = lvio_buffer_create(nullptr, 0, 0)) == nullptr) rc = LVIO_E_OUT_OF_MEMORY;
  }
  if (rc < 0) {
    z_finalize(&l->header);
    return rc;
  }
  lvio_layer_link(chain, &l->header);
  return 0;
}

lvio_code z_open(const lvio_class*, lvio_layer**, const lvio_option*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

lvio_code z_control(lvio_layer**, uint32_t, void*, uint32_t) { return LVIO_E_NOT_SUPPORTED; }

}  // namespace

lvio_code lvio_zlib_drain(lvio_zlib_layer* l, uint32_t options) {
  if (l->deflater == nullptr) return LVIO_E_NOT_OPEN_WRITE;
  if ((options & LVIO_ZLIB_OP_FINISH) != 0) l->header.flags |= LVIO_ZLIB_WRITE_FINISHING;
  bool finishing = (l->header.flags & LVIO_ZLIB_WRITE_FINISHING) != 0;
  uint32_t down = WRITE_ALL_DOWN | (options & WRITE_CARRIED);
  lvio_code last = 0;
  for (;;) {
    bool progress;
    lvio_code rc = lvio_filter_hand_down(below(l), l->output, &l->written, down, &progress);
    if (rc < 0) return rc;
    rc = make_room(l->output);
    if (rc < 0) return rc;
    uint64_t before = l->output->used;
    uint64_t none = 0;
    rc = lvio_zlib_deflate_step(l->deflater, nullptr, &none, l->output, finishing ? LVIO_ZLIB_FINISH : 0);
    if (rc == LVIO_S_DONE)
      l->header.flags |= LVIO_ZLIB_WRITE_ENDED;
    else if (rc == LVIO_E_NOT_ENOUGH_DATA)
      rc = 0;
    else if (rc == LVIO_E_OUT_OF_MEMORY)
      return LVIO_E_INTERNAL_ERROR;
    else if (rc < 0)
      return rc;
    last = rc;
    if (l->output->used == before) return last;
  }
}

const lvio_class lvio_zlib_class = {
    LVIO_CLASS_RECORD_SIZE,
    "zlib",
    {sizeof(lvio_zlib_layer)},
    0,
    0,
    {{z_read, z_write, z_sync, z_seek, z_close, z_push, lvio_filter_pop, z_finalize, z_open, z_control}},
};

lvio_code lvio_zlib_module(uint32_t flags) { return lvio_class_register(&lvio_zlib_class, flags & 1); }
