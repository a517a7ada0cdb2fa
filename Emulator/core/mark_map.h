// The mark map of the first stack block: 2 bits per cell of the heap and the
// local stack, kept in [local_end, area_end). The cell at address a has index
// i = (a - area_start) / 8, stored in byte i / 4 at bit 2 * (i mod 4). Every
// user of the map leaves all marks at 0 when it is done.
#pragma once

#include <cstdint>

#include "core/worker.h"

inline bool lv_mark_covers(const lv_worker* w, const lv_term* cell) {
  return cell >= w->area_start && cell < w->local_end;
}

inline unsigned lv_mark_get(const lv_worker* w, const lv_term* cell) {
  uint64_t i = static_cast<uint64_t>(cell - w->area_start);
  const uint8_t* map = reinterpret_cast<const uint8_t*>(w->local_end);
  return (map[i >> 2] >> (2 * (i & 3))) & 3;
}

inline void lv_mark_set(lv_worker* w, const lv_term* cell, unsigned mark) {
  uint64_t i = static_cast<uint64_t>(cell - w->area_start);
  uint8_t* map = reinterpret_cast<uint8_t*>(w->local_end);
  unsigned shift = 2 * (i & 3);
  map[i >> 2] = static_cast<uint8_t>((map[i >> 2] & ~(3u << shift)) | (mark << shift));
}
