// The generic data operations on a chain of layers: read, write, sync, seek
// and close.
#include "lvio/chain.h"

#include <cstring>

#include "lvio/buffer.h"
#include "lvio/operation_flags.h"

namespace {

bool skip_abortive_sync = true;

// The sync options of the chain's sync of directions and of its close.
uint32_t chain_sync_options(uint32_t directions, uint32_t flags) {
  return directions | LVIO_SYNC_PASS_DOWN | LVIO_SYNC_CLOSING |
         ((flags & LVIO_SYNC_CLOSING) != 0 ? LVIO_SYNC_CALLER_CLOSING : 0);
}

uint32_t closed_bits(uint32_t directions) {
  return ((directions & LVIO_OP_READ) != 0 ? LVIO_LAYER_READ_CLOSED : 0) |
         ((directions & LVIO_OP_WRITE) != 0 ? LVIO_LAYER_WRITE_CLOSED : 0);
}

uint32_t open_bits(uint32_t directions) {
  return ((directions & LVIO_OP_READ) != 0 ? LVIO_LAYER_OPEN_READ : 0) |
         ((directions & LVIO_OP_WRITE) != 0 ? LVIO_LAYER_OPEN_WRITE : 0);
}

// The close of a layer whose class has no close operation: the layer loses
// its closed sides and passes the close on down; without sides left it leaves
// the chain first.
lvio_code close_without_operation(lvio_layer** chain, uint32_t flags) {
  lvio_layer* layer = *chain;
  if ((layer->flags & LVIO_LAYER_READ_CLOSED) != 0) layer->flags &= ~LVIO_LAYER_READ_SIDE;
  if ((layer->flags & LVIO_LAYER_WRITE_CLOSED) != 0) layer->flags &= ~LVIO_LAYER_WRITE_SIDE;
  lvio_layer** rest = &layer->next;
  if ((layer->flags & (LVIO_LAYER_READ_SIDE | LVIO_LAYER_WRITE_SIDE)) == 0) {
    lvio_layer_unlink(chain);
    lvio_layer_call_finalize(layer);
    rest = chain;
  }
  return lvio_stream_close(rest, flags);
}

lvio_code call_close(lvio_layer** chain, uint32_t flags) {
  const lvio_class* cls = (*chain)->cls;
  lvio_code rc = cls->layer.close != nullptr ? cls->layer.close(chain, flags) : close_without_operation(chain, flags);
  return rc < 0 ? rc : 0;
}

}  // namespace

bool lvio_skip_abortive_sync() { return skip_abortive_sync; }

void lvio_set_skip_abortive_sync(bool skip) { skip_abortive_sync = skip; }

lvio_code lvio_stream_read_buffer(lvio_layer** chain, lvio_buffer** buffer, uint32_t flags) {
  if (*chain == nullptr || ((*chain)->flags & LVIO_LAYER_OPEN_READ) == 0) return LVIO_E_NOT_OPEN_READ;
  flags = lvio_layer_op_flags(flags);
  lvio_buffer* b = *buffer;
  if (b == nullptr) {
    b = lvio_buffer_create(nullptr, 0, 0);
    if (b == nullptr) return LVIO_E_OUT_OF_MEMORY;
  }
  uint64_t before = b->used;
  lvio_code rc;
  do rc = (*chain)->cls->layer.read(chain, b, flags);
  while (rc >= 0 && b->used <= before);
  if (rc < 0) {
    if (b != *buffer) lvio_buffer_free(b);
    return rc;
  }
  *buffer = b;
  return rc;
}

lvio_code lvio_stream_write_buffer(lvio_layer** chain, lvio_buffer* buffer, uint64_t* position, uint32_t flags) {
  if (*chain == nullptr || ((*chain)->flags & LVIO_LAYER_OPEN_WRITE) == 0) return LVIO_E_NOT_OPEN_WRITE;
  flags = lvio_layer_op_flags(flags);
  lvio_code rc;
  do rc = (*chain)->cls->layer.write(chain, buffer, position, flags);
  while (rc >= 0 && (flags & LVIO_OP_WRITE_ALL) != 0 && *position < buffer->used);
  return rc;
}

lvio_code lvio_stream_write_string(lvio_layer** chain, const char* text) {
  // The string is lent, and fixed so that no layer can reallocate it.
  uint64_t length = std::strlen(text);
  lvio_buffer b = {reinterpret_cast<uint8_t*>(const_cast<char*>(text)), length, length,
                   LVIO_BUFFER_BORROWED | LVIO_BUFFER_CALLER_RECORD | LVIO_BUFFER_FIXED};
  uint64_t position = 0;
  lvio_code written = lvio_stream_write_buffer(chain, &b, &position, LVIO_OP_ABORTIVE | LVIO_OP_WRITE_ALL);
  lvio_code synced = lvio_stream_sync_dirs(chain, LVIO_OP_WRITE);
  if (written < 0) return written;
  return synced < 0 ? synced : 0;
}

lvio_code lvio_stream_sync_all(lvio_layer** chain, uint32_t flags) {
  if (*chain == nullptr) return 0;
  return (*chain)->cls->layer.sync(chain, lvio_layer_op_flags(flags));
}

lvio_code lvio_stream_sync_dirs(lvio_layer** chain, uint32_t flags) {
  if (*chain == nullptr) return 0;
  flags = lvio_layer_op_flags(flags);
  lvio_code rc = (*chain)->cls->layer.sync(chain, chain_sync_options(flags & (LVIO_OP_READ | LVIO_OP_WRITE), flags));
  if (rc < 0 && (flags & LVIO_OP_ABORTIVE) != 0) return LVIO_S_OPERATION_FAILED;
  return rc;
}

lvio_code lvio_stream_seek(lvio_layer** chain, int64_t offset, int64_t* position, lvio_buffer* source, uint32_t flags) {
  if (*chain == nullptr) return LVIO_E_SEEK_ERROR;
  flags = lvio_layer_op_flags(flags);
  if ((flags & LVIO_SEEK_GIVE_BACK) != 0) flags |= LVIO_SEEK_RELATIVE;
  if ((flags & (LVIO_SEEK_READ_SIDE | LVIO_SEEK_WRITE_SIDE)) == 0) flags |= LVIO_SEEK_READ_SIDE | LVIO_SEEK_WRITE_SIDE;
  uint32_t sides = (*chain)->flags;
  if ((sides & LVIO_LAYER_READ_SIDE) == 0) flags &= ~LVIO_SEEK_READ_SIDE;
  if ((sides & LVIO_LAYER_WRITE_SIDE) == 0) flags &= ~LVIO_SEEK_WRITE_SIDE;
  if ((flags & (LVIO_SEEK_READ_SIDE | LVIO_SEEK_WRITE_SIDE)) == 0) return LVIO_E_SEEK_ERROR;
  int64_t ignored;
  return (*chain)->cls->layer.seek(chain, offset, position != nullptr ? position : &ignored, source, flags);
}

lvio_code lvio_stream_close(lvio_layer** chain, uint32_t flags) {
  if (*chain == nullptr) return 0;
  flags = lvio_layer_op_flags(flags);
  uint32_t directions = flags & (LVIO_OP_READ | LVIO_OP_WRITE);
  if (directions == 0) directions = LVIO_OP_READ | LVIO_OP_WRITE;
  flags |= directions;
  uint32_t closed = closed_bits(directions);
  if (((*chain)->flags & closed) == closed) return call_close(chain, flags);

  bool abortive = (flags & LVIO_OP_ABORTIVE) != 0;
  if (!abortive || !skip_abortive_sync) {
    lvio_code rc = (*chain)->cls->layer.sync(chain, chain_sync_options(directions, flags));
    if (rc < 0 && !abortive) return rc;
  }
  lvio_chain_set_flags(chain, closed, open_bits(directions));
  return call_close(chain, flags);
}
