// Waiting on several streams and handles at once.
#include <cstring>

#include "lvio/chain.h"
#include "lvio/event.h"
#include "lvio/event_wait.h"
#include "streams/stream_api.h"
#include "streams/stream_internal.h"

namespace {

constexpr uint32_t SCRATCH_MEM = lv_mem_flags(LV_CAT_MISC);

// A don't-wait peek: true when the stream has an item, its end or an
// error; LVIO_E_INTERRUPTED in *rc ends the select.
bool read_ready(lv_stream* s, int64_t* rc) {
  int64_t c = (s->flags & LV_STREAM_TEXT) != 0 ? lv_stream_fill_codes(s, LV_GET_NO_WAIT | LV_GET_PEEK)
                                                : lv_stream_fill_bytes(s, LV_GET_NO_WAIT | LV_GET_PEEK);
  if (c == LVIO_E_INTERRUPTED) *rc = c;
  return c != LVIO_E_WOULD_BLOCK && c != LVIO_E_INTERRUPTED;
}

bool write_ready(lv_stream* s, int64_t* rc) {
  int64_t r = lv_stream_probe_output(s);
  if (r == LVIO_E_INTERRUPTED) *rc = r;
  return r >= 0;
}

struct scratch {
  void* block = nullptr;
  uint64_t size = 0;
  ~scratch() {
    if (block != nullptr) lv_mem_free(block, size, SCRATCH_MEM);
  }
};

}  // namespace

int64_t lv_wait_streams(int64_t* handles, int64_t* handle_count, lv_stream** reads, int64_t* read_count,
                        lv_stream** writes, int64_t* write_count, const lvio_time* timeout) {
  int64_t nh = handle_count != nullptr ? *handle_count : 0;
  int64_t nr = read_count != nullptr ? *read_count : 0;
  int64_t nw = write_count != nullptr ? *write_count : 0;
  uint64_t total = static_cast<uint64_t>(nh + nr + nw);
  if (total == 0) return lvio_event_wait(nullptr, 0, timeout);
  scratch events_block;
  events_block.size = total * sizeof(lvio_event*);
  events_block.block = lv_mem_alloc(events_block.size, SCRATCH_MEM);
  if (events_block.block == nullptr) return LVIO_E_OUT_OF_MEMORY;
  auto* events = static_cast<lvio_event**>(events_block.block);
  std::memset(events, 0, events_block.size);
  int64_t rc = 0;
  for (int64_t i = 0; i < nh && rc >= 0; i++)
    if (handles[i] >= 0) rc = lvio_event_from_handle(static_cast<int>(handles[i]), 0, &events[i]);
  for (int64_t i = 0; i < nr && rc >= 0; i++)
    // A chain without an event leaves its entry out of the wait.
    if (reads[i] != nullptr && reads[i]->chain != nullptr)
      (void)lvio_stream_read_event(&reads[i]->chain, &events[nh + i]);
  for (int64_t i = 0; i < nw && rc >= 0; i++)
    if (writes[i] != nullptr && writes[i]->chain != nullptr)
      (void)lvio_stream_write_event(&writes[i]->chain, &events[nh + nr + i]);
  if (rc >= 0) rc = lvio_event_wait(events, total, timeout);
  if (rc >= 0 || rc == LVIO_E_TIMEOUT) {
    int64_t ready[3] = {0, 0, 0};
    for (uint64_t i = 0; i < total; i++) {
      bool set = events[i] != nullptr && lvio_event_wait_one(events[i]) == 1;
      int64_t k = static_cast<int64_t>(i);
      if (k < nh) {
        if (!set) handles[k] = -1;
        ready[0] += set;
      } else if (k < nh + nr) {
        if (!set) reads[k - nh] = nullptr;
        ready[1] += set;
      } else {
        if (!set) writes[k - nh - nr] = nullptr;
        ready[2] += set;
      }
    }
    if (handle_count != nullptr) *handle_count = ready[0];
    if (read_count != nullptr) *read_count = ready[1];
    if (write_count != nullptr) *write_count = ready[2];
  }
  for (int64_t i = 0; i < nh; i++) lvio_event_release(events[i]);
  return rc;
}

int64_t LV_select(int64_t* handles, int64_t* handle_count, lv_stream** reads, int64_t* read_count,
                  lv_stream** writes, int64_t* write_count, const lvio_time* timeout, uint32_t) {
  int64_t nh = handle_count != nullptr ? *handle_count : 0;
  int64_t nr = read_count != nullptr ? *read_count : 0;
  int64_t nw = write_count != nullptr ? *write_count : 0;
  if (nh < 0 || nr < 0 || nw < 0) return LVIO_E_PARAMETER_ERROR;
  uint64_t total = static_cast<uint64_t>(nh + nr + nw);
  // Per entry: its copy for the wait and whether it is ready.
  scratch block;
  block.size = (total + 1) * (sizeof(int64_t) + sizeof(lv_stream*) + 1);
  block.block = lv_mem_alloc(block.size, SCRATCH_MEM);
  if (block.block == nullptr) return LVIO_E_OUT_OF_MEMORY;
  auto* wait_handles = static_cast<int64_t*>(block.block);
  auto* wait_streams = reinterpret_cast<lv_stream**>(wait_handles + total + 1);
  auto* ready = reinterpret_cast<bool*>(wait_streams + total + 1);
  const lvio_time zero = {0, 0};
  for (;;) {
    std::memset(ready, 0, total + 1);
    int64_t rc = 0;
    bool any = false;
    for (int64_t i = 0; i < nr && rc == 0; i++)
      if (reads[i] != nullptr && read_ready(reads[i], &rc)) ready[nh + i] = any = true;
    for (int64_t i = 0; i < nw && rc == 0; i++)
      if (writes[i] != nullptr && write_ready(writes[i], &rc)) ready[nh + nr + i] = any = true;
    if (rc < 0) return rc;
    // The wait: the handles, then the streams that are not ready yet.
    int64_t wh = nh, wr = 0, ww = 0;
    if (nh > 0) std::memcpy(wait_handles, handles, static_cast<uint64_t>(nh) * sizeof(int64_t));
    for (int64_t i = 0; i < nr; i++)
      if (reads[i] != nullptr && !ready[nh + i]) wait_streams[wr++] = reads[i];
    for (int64_t i = 0; i < nw; i++)
      if (writes[i] != nullptr && !ready[nh + nr + i]) wait_streams[wr + ww++] = writes[i];
    int64_t waited = lv_wait_streams(wait_handles, &wh, wait_streams, &wr, wait_streams + wr, &ww,
                                     any ? &zero : timeout);
    if (waited < 0 && waited != LVIO_E_TIMEOUT) return waited;
    if (waited >= 0)
      for (int64_t i = 0; i < nh; i++) ready[i] = wait_handles[i] >= 0;
    // Probe the waiting streams again.
    for (int64_t i = 0; i < nr && rc == 0; i++)
      if (reads[i] != nullptr && !ready[nh + i] && read_ready(reads[i], &rc)) ready[nh + i] = any = true;
    for (int64_t i = 0; i < nw && rc == 0; i++)
      if (writes[i] != nullptr && !ready[nh + nr + i] && write_ready(writes[i], &rc))
        ready[nh + nr + i] = any = true;
    if (rc < 0) return rc;
    for (int64_t i = 0; i < nh; i++) any = any || ready[i];
    if (!any) {
      // A wait that ran out of time ends the select, whatever its time-out.
      if (waited == LVIO_E_TIMEOUT) return LVIO_E_TIMEOUT;
      continue;
    }
    int64_t counts[3] = {0, 0, 0};
    for (int64_t i = 0; i < nh; i++) {
      if (!ready[i]) handles[i] = -1;
      counts[0] += ready[i];
    }
    for (int64_t i = 0; i < nr; i++) {
      if (!ready[nh + i]) reads[i] = nullptr;
      counts[1] += ready[nh + i];
    }
    for (int64_t i = 0; i < nw; i++) {
      if (!ready[nh + nr + i]) writes[i] = nullptr;
      counts[2] += ready[nh + nr + i];
    }
    if (handle_count != nullptr) *handle_count = counts[0];
    if (read_count != nullptr) *read_count = counts[1];
    if (write_count != nullptr) *write_count = counts[2];
    return 0;
  }
}
