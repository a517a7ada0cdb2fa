// Byte input streams over files and memory buffers, and the ring of open
// streams.
#include "streams/stream.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/errors.h"
#include "core/memory.h"
#include "lvio/file_open.h"
#include "lvio/os_error.h"

namespace {

constexpr uint32_t STREAM_FLAGS = lv_mem_flags(LV_CAT_LV_STREAM);
constexpr uint64_t FILE_BUFFER_BYTES = 65536;

// The ring head: head.next is the newest stream, head.prev the oldest.
lv_stream ring_head = [] {
  lv_stream h{};
  h.fd = -1;
  h.prev = h.next = &ring_head;
  return h;
}();

void update_capabilities(lv_stream* s) {
  uint64_t c = LV_CAP_STREAM;
  if ((s->flags & LV_STREAM_INPUT) != 0) c |= LV_CAP_INPUT;
  if ((s->flags & LV_STREAM_OUTPUT) != 0) c |= LV_CAP_OUTPUT;
  if ((s->flags & LV_STREAM_BINARY) != 0) c |= LV_CAP_BINARY;
  if ((s->flags & LV_STREAM_TEXT) != 0) c |= LV_CAP_TEXT;
  s->capabilities = c;
}

lv_stream* new_input_stream(const char* name) {
  auto* s = static_cast<lv_stream*>(lv_mem_alloc(sizeof(lv_stream), STREAM_FLAGS));
  std::memset(s, 0, sizeof *s);
  s->fd = -1;
  s->flags = LV_STREAM_INPUT | LV_STREAM_BINARY;
  update_capabilities(s);
  size_t length = std::strlen(name);
  s->name = static_cast<char*>(lv_mem_alloc(length + 1, STREAM_FLAGS));
  std::memcpy(s->name, name, length + 1);
  s->prev = &ring_head;
  s->next = ring_head.next;
  ring_head.next->prev = s;
  ring_head.next = s;
  return s;
}

void release(lv_stream* s) {
  s->prev->next = s->next;
  s->next->prev = s->prev;
  if (s->data != nullptr) lv_mem_free(s->data, s->data_size, STREAM_FLAGS);
  lv_mem_free(s->name, std::strlen(s->name) + 1, STREAM_FLAGS);
  lv_mem_free(s, sizeof *s, STREAM_FLAGS);
}

}  // namespace

int64_t LV_fopen(const char* name, uint64_t options, uint32_t mode, lv_stream** out) {
  if (name == nullptr || out == nullptr || options != 0) return LVIO_E_PARAMETER_ERROR;
  if ((mode & (LV_FOPEN_READ | LV_FOPEN_WRITE | LV_FOPEN_BINARY | LV_FOPEN_TEXT)) != (LV_FOPEN_READ | LV_FOPEN_BINARY))
    return LVIO_E_NOT_SUPPORTED;
  int fd = -1;
  lvio_code r = lvio_file_open_path(name, LVIO_OPEN_READ, &fd);
  if (r < 0) return r;
  lv_stream* s = new_input_stream(name);
  s->fd = fd;
  s->data = static_cast<uint8_t*>(lv_mem_alloc(FILE_BUFFER_BYTES, STREAM_FLAGS));
  s->data_size = FILE_BUFFER_BYTES;
  s->byte_read_cursor = s->byte_read_limit = s->data;
  *out = s;
  return 0;
}

int64_t lv_open_memory_input(const void* bytes, uint64_t count, const char* name, lv_stream** out) {
  if ((bytes == nullptr && count != 0) || name == nullptr || out == nullptr) return LVIO_E_PARAMETER_ERROR;
  lv_stream* s = new_input_stream(name);
  s->data_size = count == 0 ? 1 : count;
  s->data = static_cast<uint8_t*>(lv_mem_alloc(s->data_size, STREAM_FLAGS));
  if (count != 0) std::memcpy(s->data, bytes, count);
  s->byte_read_cursor = s->data;
  s->byte_read_limit = s->data + count;
  *out = s;
  return 0;
}

int64_t LV_fclose(lv_stream* stream, uint32_t flags) {
  if (lv_stream_known(stream) == nullptr) return LVIO_E_PARAMETER_ERROR;
  int64_t result = 0;
  if (stream->fd >= 0) {
    if (close(stream->fd) != 0 && errno != EINTR) result = lvio_os_error_code(errno, LVIO_E_CLOSE_ERROR);
    stream->fd = -1;
  }
  if (result < 0 && (flags & 1) == 0) return result;
  release(stream);
  return result;
}

int64_t lv_get_byte_helper(lv_stream* s, uint32_t flags) {
  if (s == nullptr) return LVIO_E_PARAMETER_ERROR;
  if ((s->flags & LV_STREAM_INPUT) == 0) return LVIO_E_NOT_READ;
  if ((s->flags & LV_STREAM_BINARY) == 0) return LVIO_E_GRANULARITY_ERROR;
  if (s->byte_read_cursor < s->byte_read_limit) return *s->byte_read_cursor++;
  if (s->fd < 0 || s->at_end) return LVIO_E_END_OF_FILE;
  for (;;) {
    ssize_t n = read(s->fd, s->data, s->data_size);
    if (n > 0) {
      s->consumed += static_cast<uint64_t>(s->byte_read_limit - s->data);
      s->byte_read_cursor = s->data;
      s->byte_read_limit = s->data + n;
      return *s->byte_read_cursor++;
    }
    if (n == 0) {
      s->at_end = true;
      return LVIO_E_END_OF_FILE;
    }
    if (errno == EINTR && (flags & 4) == 0) continue;
    return errno == EINTR ? LVIO_E_INTERRUPTED : lvio_os_error_code(errno, LVIO_E_READ_ERROR);
  }
}

int64_t LV_get_stream_counts(lv_stream* s, int64_t* items, int64_t* lines, int64_t* line_position, uint32_t) {
  if (lv_stream_known(s) == nullptr) return LVIO_E_PARAMETER_ERROR;
  if (items != nullptr) *items = static_cast<int64_t>(s->consumed + static_cast<uint64_t>(s->byte_read_cursor - s->data));
  if (lines != nullptr) *lines = 0;
  if (line_position != nullptr) *line_position = 0;
  return 0;
}

const char* lv_stream_name(const lv_stream* stream) { return stream->name != nullptr ? stream->name : ""; }

lv_stream* lv_stream_known(const void* address) {
  if (address == nullptr) return nullptr;
  for (lv_stream* s = ring_head.next; s != &ring_head; s = s->next)
    if (s == address) return s;
  return nullptr;
}

lv_stream* lv_get_stream_arg(lv_term term, uint64_t required, uint64_t forbidden) {
  bool quiet = (required & LV_CAP_QUIET) != 0;
  required &= ~LV_CAP_QUIET;
  term = lv_deref(term);
  lv_stream* s = nullptr;
  if (lv_is_small(term)) {
    s = lv_stream_known(reinterpret_cast<const void*>(static_cast<uintptr_t>(lv_small_value(term))));
  } else if (lv_is_integer_box(term) && lv_struct_cells(term)[0] == LV_BOX_INT1) {
    s = lv_stream_known(reinterpret_cast<const void*>(static_cast<uintptr_t>(lv_struct_cells(term)[1])));
  }
  if (s == nullptr) {
    if (!quiet) lv_set_pending_error(LV_ERROR_NOT_A_STREAM, "", term);
    return nullptr;
  }
  if ((s->capabilities & required) != required || (s->capabilities & forbidden) != 0) {
    if (!quiet) lv_set_pending_error((required & LV_CAP_INPUT) != 0 ? LV_ERROR_INPUT_STREAM_NEEDED : LV_ERROR_OUTPUT_STREAM_NEEDED, "", term);
    return nullptr;
  }
  return s;
}

lv_term lv_stream_term(const lv_stream* stream) {
  return lv_make_small(static_cast<int64_t>(reinterpret_cast<uintptr_t>(stream)));
}
