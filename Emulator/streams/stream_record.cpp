// Stream records, the ring of open streams and the lazy counters.
#include <cstring>

#include "core/memory.h"
#include "lvio/buffer.h"
#include "streams/std_streams.h"
#include "streams/stream.h"
#include "streams/stream_internal.h"

lv_stream_services lv_stream_hooks = {nullptr, nullptr};

namespace {

lv_stream* ring_head = nullptr;
// Ids start at 1: 0 is the ring head's, so that no stream has handle 0.
int64_t next_id = 1;

// The linked streams by id: an open-addressing table (linear probing, a
// power of two of slots, at most half full), so that a stream handle is
// found without a walk of the ring. When it cannot grow, the streams it
// misses are found by the walk.
struct id_index {
  lv_stream** slots;
  uint64_t capacity;
  uint64_t count;
  bool incomplete;
};
id_index handles;

uint64_t home_slot(int64_t id, uint64_t capacity) {
  return (static_cast<uint64_t>(id) * 0x9E3779B97F4A7C15ULL >> 32) & (capacity - 1);
}

void index_put(lv_stream** slots, uint64_t capacity, lv_stream* s) {
  uint64_t i = home_slot(s->id, capacity);
  while (slots[i] != nullptr) i = (i + 1) & (capacity - 1);
  slots[i] = s;
}

bool index_grow() {
  uint64_t capacity = handles.capacity == 0 ? 64 : handles.capacity * 2;
  auto** slots = static_cast<lv_stream**>(lv_mem_alloc(capacity * sizeof(lv_stream*), LV_STREAM_MEM));
  if (slots == nullptr) return false;
  std::memset(static_cast<void*>(slots), 0, capacity * sizeof(lv_stream*));
  for (uint64_t i = 0; i < handles.capacity; i++)
    if (handles.slots[i] != nullptr) index_put(slots, capacity, handles.slots[i]);
  if (handles.slots != nullptr) lv_mem_free(handles.slots, handles.capacity * sizeof(lv_stream*), LV_STREAM_MEM);
  handles.slots = slots;
  handles.capacity = capacity;
  return true;
}

void index_insert(lv_stream* s) {
  if (2 * (handles.count + 1) > handles.capacity && !index_grow()) {
    handles.incomplete = true;
    return;
  }
  index_put(handles.slots, handles.capacity, s);
  handles.count++;
}

// Removes by shifting the entries after the slot back towards their home
// slots, so that no probe sequence is broken.
void index_remove(lv_stream* s) {
  if (handles.capacity == 0) return;
  uint64_t mask = handles.capacity - 1;
  uint64_t i = home_slot(s->id, handles.capacity);
  while (handles.slots[i] != s) {
    if (handles.slots[i] == nullptr) return;  // not there (the table was full when it was linked)
    i = (i + 1) & mask;
  }
  handles.slots[i] = nullptr;
  handles.count--;
  for (uint64_t j = (i + 1) & mask; handles.slots[j] != nullptr; j = (j + 1) & mask) {
    uint64_t home = home_slot(handles.slots[j]->id, handles.capacity);
    // Entry j may move to the hole when its home is not within (i, j].
    bool stays = i <= j ? (home > i && home <= j) : (home > i || home <= j);
    if (stays) continue;
    handles.slots[i] = handles.slots[j];
    handles.slots[j] = nullptr;
    i = j;
  }
}

void index_free() {
  if (handles.slots != nullptr) lv_mem_free(handles.slots, handles.capacity * sizeof(lv_stream*), LV_STREAM_MEM);
  handles = {};
}

}  // namespace

lv_stream* lv_stream_new() {
  auto* s = static_cast<lv_stream*>(lv_mem_alloc(sizeof(lv_stream), LV_STREAM_MEM));
  if (s == nullptr) return nullptr;
  std::memset(static_cast<void*>(s), 0, sizeof *s);
  s->previous_line_position = -1;
  s->previous_line_count = -1;
  s->end_position = -1;
  s->id = next_id++;
  return s;
}

void lv_stream_free(lv_stream* s) {
  lvio_buffer_free(s->read_buffer);
  lvio_buffer_free(s->write_buffer);
  lv_mem_free(s, sizeof *s, LV_STREAM_MEM);
}

void lv_stream_update_capabilities(lv_stream* s) {
  static constexpr struct {
    uint32_t flag;
    uint64_t capability;
  } map[] = {
      {LV_STREAM_INPUT, LV_CAP_INPUT},
      {LV_STREAM_OUTPUT, LV_CAP_OUTPUT},
      {LV_STREAM_INTERACTIVE, LV_CAP_INTERACTIVE},
      {LV_STREAM_STANDARD, LV_CAP_STANDARD},
      {LV_STREAM_APPEND, LV_CAP_APPEND},
      {LV_STREAM_HIDDEN, LV_CAP_HIDDEN},
      {LV_STREAM_REPOSITIONABLE, LV_CAP_REPOSITIONABLE},
      {LV_STREAM_END_CODE, LV_CAP_END_CODE},
      {LV_STREAM_END_RESET, LV_CAP_END_RESET},
      {LV_STREAM_BINARY, LV_CAP_BINARY},
      {LV_STREAM_CLOSE_CLEANUP, LV_CAP_CLOSE_CLEANUP},
      {LV_STREAM_TEXT, LV_CAP_TEXT},
      {LV_STREAM_LINE_FLUSH, LV_CAP_LINE_FLUSH},
  };
  uint64_t c = LV_CAP_STREAM;
  for (const auto& m : map)
    if ((s->flags & m.flag) != 0) c |= m.capability;
  s->capabilities = c;
}

bool lv_stream_ring_create() {
  if (ring_head != nullptr) return true;
  ring_head = lv_stream_new();
  if (ring_head == nullptr) return false;
  ring_head->id = 0;
  ring_head->prev = ring_head->next = ring_head;
  return true;
}

void lv_stream_ring_destroy() {
  index_free();
  if (ring_head == nullptr) return;
  lv_stream_free(ring_head);
  ring_head = nullptr;
}

lv_stream* lv_stream_ring_head() { return ring_head; }

void lv_stream_reset_ids() { next_id = 1; }

void lv_stream_link(lv_stream* s) {
  lv_stream_update_capabilities(s);
  if (!lv_stream_ring_create()) return;
  s->prev = ring_head;
  s->next = ring_head->next;
  ring_head->next->prev = s;
  ring_head->next = s;
  index_insert(s);
}

void lv_stream_unlink(lv_stream* s) {
  if (s->prev == nullptr || s->next == nullptr) return;
  index_remove(s);
  s->prev->next = s->next;
  s->next->prev = s->prev;
  s->prev = s->next = nullptr;
}

lv_stream* lv_stream_known(const void* address) {
  if (address == nullptr) return nullptr;
  for (lv_stream* u : lv_streams.user)
    if (u == address) return u;
  if (ring_head == nullptr) return nullptr;
  for (lv_stream* s = ring_head->next; s != ring_head; s = s->next)
    if (s == address) return s;
  return nullptr;
}

lv_stream* lv_stream_of_handle(int64_t handle) {
  if (handle <= 0) return nullptr;
  for (lv_stream* u : lv_streams.user)
    if (u != nullptr && u->id == handle) return u;
  if (handles.capacity != 0) {
    uint64_t mask = handles.capacity - 1;
    for (uint64_t i = home_slot(handle, handles.capacity); handles.slots[i] != nullptr; i = (i + 1) & mask)
      if (handles.slots[i]->id == handle) return handles.slots[i];
  }
  return handles.incomplete ? lv_find_stream_by_id(nullptr, handle) : nullptr;
}

lv_stream* lv_find_stream_by_id(lv_stream* stream, int64_t id) {
  if (stream != nullptr) {
    lv_stream* s = lv_stream_known(stream);
    return s != nullptr && (id == 0 || s->id == id) ? s : nullptr;
  }
  if (ring_head == nullptr) return nullptr;
  for (lv_stream* s = ring_head->next; s != ring_head; s = s->next)
    if (s->id == id) return s;
  return nullptr;
}

void lv_stream_count_sync(lv_stream* s, uint32_t options) {
  bool interactive = (s->flags & LV_STREAM_INTERACTIVE) != 0;
  if ((options & 1) != 0 && interactive && ring_head != nullptr) {
    constexpr uint32_t INTERACTIVE_TEXT_INPUT = LV_STREAM_INPUT | LV_STREAM_TEXT | LV_STREAM_INTERACTIVE;
    for (lv_stream* t = ring_head->prev; t != ring_head; t = t->prev)
      if (t != s && (t->flags & INTERACTIVE_TEXT_INPUT) == INTERACTIVE_TEXT_INPUT) lv_stream_count_sync(t, 0);
  }
  bool input = !lv_stream_counts_output(s) && (s->flags & LV_STREAM_INPUT) != 0;
  lvio_buffer* b = input ? s->read_buffer : s->write_buffer;
  if (b == nullptr) return;
  if ((s->flags & LV_STREAM_TEXT) == 0) {
    uint8_t* cursor = input ? s->byte_read_cursor : s->byte_write_cursor;
    if (cursor == nullptr) return;
    int64_t n = cursor - b->data - s->counted_mark;
    if (n <= 0) return;
    s->item_count += n;
    s->counted_mark += n;
    return;
  }
  uint32_t* cursor = input ? s->code_read_cursor : s->code_write_cursor;
  if (cursor == nullptr) return;
  const uint32_t* from = reinterpret_cast<const uint32_t*>(b->data) + s->counted_mark;
  int64_t n = cursor - from;
  if (n <= 0) return;
  int64_t lines = s->line_count;
  int64_t position = s->line_position;
  for (int64_t i = 0; i < n; i++) {
    if (i == n - 1) {
      s->previous_line_count = lines;
      s->previous_line_position = position;
    }
    if (from[i] == 10) {
      lines++;
      position = 0;
    } else {
      position++;
    }
  }
  // The terminal's counters (kept in the ring head) follow every
  // interactive stream: after a newline its position is the stream's.
  int64_t newlines = lines - s->line_count;
  if (interactive && ring_head != nullptr && s != ring_head) {
    ring_head->line_count += newlines;
    ring_head->item_count += n;
    ring_head->line_position = newlines != 0 ? position : ring_head->line_position + n;
  }
  s->line_count = lines;
  s->line_position = position;
  s->counted_mark += n;
  s->item_count += n;
}
