// The "char-coder" layer.
#include "lvio/char_coder_layer.h"

#include <cstring>

#include "lvio/allocator.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/coder.h"
#include "lvio/filter_layer.h"
#include "lvio/layer_sides.h"
#include "lvio/operation_flags.h"
#include "lvio/options.h"

namespace {

constexpr uint32_t WRITE_FLUSH = 0x10;
constexpr uint32_t WRITE_ALL_DOWN = 0x21;    // write everything, without waiting
constexpr uint32_t WRITE_FLUSH_DOWN = 0x31;  // the same, passing the flush on
constexpr uint32_t WRITE_CARRIED = 0x4;      // a write option handed on to the writes below
constexpr uint32_t READ_BELOW = 0x1;         // set on the reads below, which drop the read direction bit
constexpr uint32_t STEP_OPTION_BITS = LVIO_CONVERT_REPLACE_MALFORMED | LVIO_CONVERT_STRICT | LVIO_CONVERT_REPLACE;

lvio_char_coder_layer* self(lvio_layer** chain) { return reinterpret_cast<lvio_char_coder_layer*>(*chain); }

lvio_layer** below(lvio_char_coder_layer* l) { return &l->header.next; }

int64_t free_bytes(const lvio_buffer* b) {
  return b->capacity > b->used ? static_cast<int64_t>(b->capacity - b->used) : 0;
}

lvio_code hand_down(lvio_char_coder_layer* l, uint32_t flags, bool* progress) {
  return lvio_filter_hand_down(below(l), l->write_bytes, &l->written, flags, progress);
}

// Steps past the bytes at the read position that make no character: the
// bytes one replacement character would stand for (the longest malformed
// beginning of a sequence, at least one byte), so that the next read goes
// on after them. The caller reports them once.
void skip_invalid(lvio_char_coder_layer* l, uint32_t step) {
  lvio_buffer* in = l->read_bytes;
  uint32_t one;
  lvio_buffer room = {reinterpret_cast<uint8_t*>(&one), 0, sizeof one,
                      LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  lvio_span span = {in->data, in->used};
  uint64_t at = static_cast<uint64_t>(l->consumed);
  uint32_t replace = (step & ~LVIO_CONVERT_STRICT) | LVIO_CONVERT_REPLACE | LVIO_CONVERT_REPLACE_MALFORMED;
  if (lvio_coder_convert(l->decoder, &span, &at, &room, replace) < 0 || at <= static_cast<uint64_t>(l->consumed))
    at = static_cast<uint64_t>(l->consumed) + 1;
  if (at > in->used) at = in->used;
  l->consumed = static_cast<int64_t>(at);
}

bool invalid_input(lvio_code rc) { return rc == LVIO_E_ENCODING_INVALID || rc == LVIO_E_ENCODING_UNMAPPABLE; }

// Input that makes no character is reported once, by the read that meets
// it, and read past: the next read goes on with the bytes after it.
lvio_code cc_read(lvio_layer** chain, lvio_buffer* destination, uint32_t options) {
  lvio_char_coder_layer* l = self(chain);
  if (l->decoder == nullptr) return LVIO_E_NOT_OPEN_READ;
  lvio_buffer* in = l->read_bytes;
  uint32_t step = l->decoder_options;
  for (;;) {
    lvio_span span = {in->data, in->used};
    uint64_t at = static_cast<uint64_t>(l->consumed);
    uint64_t before = destination->used;
    lvio_code rc = lvio_coder_convert(l->decoder, &span, &at, destination, step);
    if (rc >= 0) {
      l->consumed = static_cast<int64_t>(at);
      (void)lvio_coder_after_step(l->decoder, step);
      l->read_position += static_cast<int64_t>(destination->used - before);
      return 0;
    }
    if (invalid_input(rc)) {
      skip_invalid(l, step);
      return LVIO_E_ENCODING_INVALID;
    }
    if (rc != LVIO_E_NOT_ENOUGH_DATA && rc != LVIO_E_END_OF_FILE) return rc;
    if ((step & LVIO_CONVERT_END_OF_INPUT) != 0) {
      if (in->used <= static_cast<uint64_t>(l->consumed)) return LVIO_E_END_OF_FILE;
      skip_invalid(l, step);  // a character cut short by the end of the input
      return LVIO_E_ENCODING_INVALID;
    }
    bool ended = false;
    rc = lvio_filter_refill(below(l), &l->read_bytes, &l->consumed, &l->read_origin,
                            (options & ~uint32_t{LVIO_OP_READ}) | READ_BELOW, &ended);
    if (rc < 0) return rc;
    if (ended) step |= LVIO_CONVERT_END_OF_INPUT;
    in = l->read_bytes;
  }
}

lvio_code cc_write(lvio_layer** chain, lvio_buffer* source, uint64_t* position, uint32_t options) {
  lvio_char_coder_layer* l = self(chain);
  if (l->encoder == nullptr) return LVIO_E_NOT_OPEN_WRITE;
  uint64_t item = lvio_coder_input_size(l->encoder);
  uint64_t pending = source->used - *position;
  if (item == 0 || pending % item != 0) return LVIO_E_GRANULARITY_ERROR;
  uint32_t carried = options & WRITE_CARRIED;
  bool progress;
  if (free_bytes(l->write_bytes) < static_cast<int64_t>(pending / item) &&
      l->write_bytes->used > static_cast<uint64_t>(l->written)) {
    lvio_code rc = hand_down(l, WRITE_ALL_DOWN | carried, &progress);
    if (rc < 0 && !progress) return rc;
  }
  lvio_span span = {source->data, source->used};
  uint64_t at = *position;
  uint32_t step = l->encoder_options | ((options & WRITE_FLUSH) != 0 ? LVIO_CONVERT_END_OF_INPUT : 0);
  lvio_code rc = lvio_coder_convert(l->encoder, &span, &at, l->write_bytes, step);
  if (rc == LVIO_E_NOT_ENOUGH_DATA || rc == LVIO_E_END_OF_FILE) return LVIO_E_NOT_ENOUGH_DATA;
  if (rc < 0) return rc;
  // The code items are taken before the bytes go down: a failure below
  // leaves the bytes buffered, and a retry must not encode them again.
  (void)lvio_coder_after_step(l->encoder, step);
  l->write_position += static_cast<int64_t>(at - *position);
  *position = at;
  if ((options & WRITE_FLUSH) != 0) return hand_down(l, WRITE_FLUSH_DOWN | carried, &progress);
  return 0;
}

lvio_code cc_sync(lvio_layer** chain, uint32_t options) {
  lvio_char_coder_layer* l = self(chain);
  lvio_code first = 0;
  if ((options & LVIO_OP_WRITE) != 0 && (l->header.flags & LVIO_LAYER_OPEN_WRITE) != 0) {
    bool progress;
    first = hand_down(l, WRITE_ALL_DOWN | ((options & LVIO_OP_ABORTIVE) != 0 ? WRITE_CARRIED : 0), &progress);
  }
  if ((options & LVIO_OP_READ) != 0 && (l->header.flags & LVIO_LAYER_OPEN_READ) != 0 &&
      (options & LVIO_SYNC_CLOSING) == 0) {
    lvio_code rc = lvio_filter_give_back(below(l), l->read_bytes, &l->consumed, &l->read_origin);
    if (first == 0) first = rc;
  }
  if ((options & LVIO_SYNC_PASS_DOWN) != 0 && *below(l) != nullptr) {
    lvio_code rc = lvio_stream_sync_all(below(l), options);
    if (first == 0 && rc < 0) first = rc;
  }
  return first;
}

// The target of a seek: absolute, or relative to the current position.
lvio_code seek_target(int64_t offset, uint32_t options, int64_t current, int64_t* target) {
  if ((options & LVIO_SEEK_ABSOLUTE) != 0) {
    if (offset < 0) return LVIO_E_PARAMETER_ERROR;
    *target = offset;
    return 0;
  }
  if ((options & (LVIO_SEEK_RELATIVE | LVIO_SEEK_GIVE_BACK)) == 0)
    return (options & LVIO_SEEK_FROM_END) != 0 ? LVIO_E_NOT_SUPPORTED : LVIO_E_PARAMETER_ERROR;
  if (__builtin_add_overflow(current, offset, target) || *target < 0) return LVIO_E_PARAMETER_ERROR;
  return 0;
}

// The byte distance of a distance in code-item bytes.
lvio_code byte_distance(lvio_t_coder* coder, int64_t distance, int64_t* bytes) {
  *bytes = 0;
  return distance == 0 ? 0 : lvio_coder_input_length(coder, distance, bytes);
}

lvio_code seek_below_to(lvio_char_coder_layer* l, int64_t byte_target) {
  int64_t at = byte_target;
  lvio_code rc = lvio_stream_seek(below(l), byte_target, &at, nullptr, LVIO_SEEK_ABSOLUTE | LVIO_SEEK_READ_SIDE);
  if (rc < 0) return rc;
  l->read_bytes->used = 0;
  l->consumed = 0;
  l->read_origin = at;
  return 0;
}

// Moves the read side to a code-item position and the byte position that
// goes with it. A target within the buffered bytes moves no data and does
// not touch the layer below.
lvio_code reposition(lvio_char_coder_layer* l, int64_t char_target, int64_t byte_target, uint32_t options) {
  int64_t current = l->read_origin + l->consumed;
  if (current < 0) return LVIO_E_INTERNAL_ERROR;
  uint32_t item = lvio_layer_read_item_size(&l->header);
  if (item == 0 || char_target % item != 0) return LVIO_E_GRANULARITY_ERROR;
  int64_t buffered_end;
  if (__builtin_add_overflow(l->read_origin, static_cast<int64_t>(l->read_bytes->used), &buffered_end))
    return LVIO_E_PARAMETER_ERROR;
  if (byte_target < l->read_origin || byte_target > buffered_end) {
    lvio_code rc = seek_below_to(l, byte_target);
    if (rc < 0) return rc;
  } else {
    l->consumed = byte_target - l->read_origin;
  }
  int64_t moved = char_target - l->read_position;
  l->read_position = char_target;
  // The decoder drops its pending state. A coder that takes no distances
  // refuses, which does not undo the move: its answer is dropped.
  (void)lvio_coder_reposition(l->decoder, moved, options);
  return 0;
}

lvio_code cc_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer*, uint32_t options) {
  lvio_char_coder_layer* l = self(chain);
  int64_t target;
  if ((options & LVIO_SEEK_WRITE_SIDE) != 0 && (l->header.flags & LVIO_LAYER_OPEN_WRITE) != 0) {
    lvio_code rc = seek_target(offset, options, l->write_position, &target);
    if (rc < 0) return rc;
    uint32_t item = lvio_layer_write_item_size(&l->header);
    if (item == 0 || target % item != 0) return LVIO_E_GRANULARITY_ERROR;
    bool progress;
    rc = hand_down(l, WRITE_ALL_DOWN, &progress);
    if (rc < 0) return rc;
    int64_t distance = target - l->write_position;
    int64_t bytes;
    rc = byte_distance(l->encoder, distance, &bytes);
    if (rc < 0) return rc;
    if (bytes != 0) {
      rc = lvio_stream_seek(below(l), bytes, nullptr, nullptr, LVIO_SEEK_RELATIVE | LVIO_SEEK_WRITE_SIDE);
      if (rc < 0) return rc;
    }
    l->write_position = target;
    (void)lvio_coder_reposition(l->encoder, distance, options);
  } else {
    if (l->decoder == nullptr) return LVIO_E_SEEK_ERROR;
    lvio_code rc = seek_target(offset, options, l->read_position, &target);
    if (rc < 0) return rc;
    int64_t bytes;
    rc = byte_distance(l->decoder, target - l->read_position, &bytes);
    if (rc < 0) return rc;
    int64_t current = l->read_origin + l->consumed;
    if (current < 0) return LVIO_E_INTERNAL_ERROR;
    int64_t byte_target;
    if (__builtin_add_overflow(current, bytes, &byte_target) || byte_target < 0) return LVIO_E_PARAMETER_ERROR;
    rc = reposition(l, target, byte_target, options);
    if (rc < 0) return rc;
  }
  *position = target;
  return 0;
}

lvio_code cc_control(lvio_layer** chain, uint32_t request, void* argument, uint32_t options) {
  lvio_char_coder_layer* l = self(chain);
  auto* pair = static_cast<int64_t*>(argument);
  switch (request) {
    case LVIO_REQUEST_CODER_NAME: {
      lvio_t_coder* coder = (options & LVIO_OP_READ) != 0 ? l->decoder : l->encoder;
      if (coder == nullptr) return LVIO_E_NOT_SUPPORTED;
      *static_cast<const char**>(argument) = coder->cls->name;
      return 0;
    }
    case LVIO_REQUEST_CODER_OPTIONS: {
      uint32_t bits = ((options & LVIO_CODER_OPTION_REPLACE_MALFORMED) != 0 ? LVIO_CONVERT_REPLACE_MALFORMED : 0) |
                      ((options & LVIO_CODER_OPTION_STRICT) != 0 ? LVIO_CONVERT_STRICT : 0) |
                      ((options & LVIO_CODER_OPTION_REPLACE) != 0 ? LVIO_CONVERT_REPLACE : 0);
      if ((options & LVIO_OP_READ) != 0) l->decoder_options = (l->decoder_options & ~STEP_OPTION_BITS) | bits;
      if ((options & LVIO_OP_WRITE) != 0) l->encoder_options = (l->encoder_options & ~STEP_OPTION_BITS) | bits;
      return 0;
    }
    case LVIO_REQUEST_READ_POSITION: {
      if ((l->header.flags & LVIO_LAYER_OPEN_READ) == 0) return LVIO_E_INVALID_STATE;
      pair[0] = l->read_position / lvio_layer_read_item_size(&l->header);
      pair[1] = l->read_origin + l->consumed;
      return 0;
    }
    case LVIO_REQUEST_SET_READ_POSITION: {
      if (pair[0] < 0 || pair[1] < 0) return LVIO_E_PARAMETER_ERROR;
      if ((l->header.flags & LVIO_LAYER_OPEN_READ) == 0 || (l->header.flags & LVIO_LAYER_OPEN_WRITE) != 0)
        return LVIO_E_INVALID_STATE;
      int64_t chars;
      if (__builtin_mul_overflow(pair[0], static_cast<int64_t>(lvio_layer_read_item_size(&l->header)), &chars))
        return LVIO_E_PARAMETER_ERROR;
      return reposition(l, chars, pair[1], options);
    }
    case LVIO_REQUEST_CAN_ENCODE: {
      if (l->encoder == nullptr) return LVIO_E_NOT_SUPPORTED;
      uint8_t bytes[32];
      lvio_buffer out = {bytes, 0, sizeof bytes, LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
      lvio_span in = {static_cast<const uint8_t*>(argument), 4};
      uint64_t at = 0;
      int64_t state = l->encoder->state;
      lvio_code rc = lvio_coder_convert(l->encoder, &in, &at, &out, l->encoder_options | LVIO_CONVERT_END_OF_INPUT);
      l->encoder->state = state;
      return rc == LVIO_E_ENCODING_UNMAPPABLE ? rc : 0;
    }
    default:
      return LVIO_E_NOT_SUPPORTED;
  }
}

void cc_finalize(lvio_layer* layer) {
  auto* l = reinterpret_cast<lvio_char_coder_layer*>(layer);
  lvio_coder_release(l->decoder);
  lvio_coder_release(l->encoder);
  lvio_buffer_free(l->read_bytes);
  lvio_buffer_free(l->write_bytes);
  lvio_layer_finalize(layer);
  lvio_free(l);
}

lvio_t_coder* coder_option(const lvio_option* options, const char* name) {
  lvio_value v;
  return lvio_option_lookup_kind(options, name, LVIO_VALUE_POINTER, &v) >= 0 ? static_cast<lvio_t_coder*>(v.pointer)
                                                                             : nullptr;
}

lvio_code cc_push(const lvio_class* cls, lvio_layer** chain, const lvio_option* options, uint32_t flags) {
  lvio_t_coder* decoder = coder_option(options, LVIO_OPTION_READ_CODER);
  lvio_t_coder* encoder = coder_option(options, LVIO_OPTION_WRITE_CODER);
  if (decoder == nullptr && encoder == nullptr) return LVIO_E_PUSH_ERROR;
  uint32_t below_flags = *chain != nullptr ? (*chain)->flags : 0;
  if (decoder != nullptr && ((below_flags & LVIO_LAYER_OPEN_READ) == 0 || (decoder->flags & LVIO_CODER_DECODING) == 0))
    return LVIO_E_PARAMETER_ERROR;
  if (encoder != nullptr && ((below_flags & LVIO_LAYER_OPEN_WRITE) == 0 || (encoder->flags & LVIO_CODER_DECODING) != 0))
    return LVIO_E_PARAMETER_ERROR;
  uint32_t layer_flags = 0;
  if ((flags & LVIO_PUSH_ONE_DIRECTION) != 0) {
    if (decoder != nullptr && encoder != nullptr) return LVIO_E_NOT_SUPPORTED;
    layer_flags |= LVIO_LAYER_MOVABLE_BACK;
  }
  lvio_buffer* read_bytes = decoder != nullptr ? lvio_buffer_create(nullptr, 0, 0) : nullptr;
  lvio_buffer* write_bytes = encoder != nullptr ? lvio_buffer_create(nullptr, 0, 0) : nullptr;
  auto* l = static_cast<lvio_char_coder_layer*>(lvio_alloc(sizeof(lvio_char_coder_layer)));
  if ((decoder != nullptr && read_bytes == nullptr) || (encoder != nullptr && write_bytes == nullptr) || l == nullptr) {
    lvio_buffer_free(read_bytes);
    lvio_buffer_free(write_bytes);
    lvio_free(l);
    return LVIO_E_OUT_OF_MEMORY;
  }
  std::memset(static_cast<void*>(l), 0, sizeof *l);
  if (decoder != nullptr) layer_flags |= lvio_layer_reading_flags(lvio_coder_output_size(decoder));
  if (encoder != nullptr) layer_flags |= lvio_layer_writing_flags(lvio_coder_input_size(encoder));
  lvio_layer_init(&l->header, cls, layer_flags);
  l->read_bytes = read_bytes;
  l->write_bytes = write_bytes;
  l->decoder = decoder;
  l->encoder = encoder;
  lvio_layer_link(chain, &l->header);
  return 0;
}

lvio_code cc_open(const lvio_class*, lvio_layer**, const lvio_option*, uint32_t) { return LVIO_E_NOT_IMPLEMENTED; }

}  // namespace

const lvio_class lvio_char_coder_class = {
    LVIO_CLASS_RECORD_SIZE,
    "char-coder",
    {sizeof(lvio_char_coder_layer)},
    0,
    0,
    {{cc_read, cc_write, cc_sync, cc_seek, lvio_filter_close, cc_push, lvio_filter_pop, cc_finalize, cc_open,
      cc_control}},
};

lvio_code lvio_char_coder_module(uint32_t flags) { return lvio_class_register(&lvio_char_coder_class, flags & 1); }
