// Helpers shared by the files of the stream layer: the memory category and
// the live cursor pair of a stream, seen as byte pointers whatever the item
// size.
#pragma once

#include <cstdint>

#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "streams/stream.h"

constexpr uint32_t LV_STREAM_MEM = lv_mem_flags(LV_CAT_LV_STREAM);

// Bytes of one item: 4 on a text stream, else 1.
inline uint64_t lv_item_size(const lv_stream* s) { return (s->flags & LV_STREAM_TEXT) != 0 ? 4 : 1; }

inline uint8_t* lv_read_cursor(const lv_stream* s) {
  return (s->flags & LV_STREAM_TEXT) != 0 ? reinterpret_cast<uint8_t*>(s->code_read_cursor) : s->byte_read_cursor;
}
inline uint8_t* lv_read_limit(const lv_stream* s) {
  return (s->flags & LV_STREAM_TEXT) != 0 ? reinterpret_cast<uint8_t*>(s->code_read_limit) : s->byte_read_limit;
}
inline uint8_t* lv_write_cursor(const lv_stream* s) {
  return (s->flags & LV_STREAM_TEXT) != 0 ? reinterpret_cast<uint8_t*>(s->code_write_cursor) : s->byte_write_cursor;
}
inline uint8_t* lv_write_limit(const lv_stream* s) {
  return (s->flags & LV_STREAM_TEXT) != 0 ? reinterpret_cast<uint8_t*>(s->code_write_limit) : s->byte_write_limit;
}

inline void lv_set_read_cursors(lv_stream* s, uint8_t* cursor, uint8_t* limit) {
  if ((s->flags & LV_STREAM_TEXT) != 0) {
    s->code_read_cursor = reinterpret_cast<uint32_t*>(cursor);
    s->code_read_limit = reinterpret_cast<uint32_t*>(limit);
  } else {
    s->byte_read_cursor = cursor;
    s->byte_read_limit = limit;
  }
}
inline void lv_set_write_cursors(lv_stream* s, uint8_t* cursor, uint8_t* limit) {
  if ((s->flags & LV_STREAM_TEXT) != 0) {
    s->code_write_cursor = reinterpret_cast<uint32_t*>(cursor);
    s->code_write_limit = reinterpret_cast<uint32_t*>(limit);
  } else {
    s->byte_write_cursor = cursor;
    s->byte_write_limit = limit;
  }
}

// Whether the counters follow the output side: on an output-only stream,
// and on a chainless stream while it has read nothing.
inline bool lv_stream_counts_output(const lv_stream* s) {
  if ((s->flags & LV_STREAM_OUTPUT) == 0) return false;
  if ((s->flags & LV_STREAM_INPUT) == 0) return true;
  return (s->flags & LV_STREAM_NULL_DEVICE) != 0 && s->read_buffer == nullptr;
}

// The item at p (a byte, or a code as a non-negative number).
inline int64_t lv_item_at(const lv_stream* s, const uint8_t* p) {
  if ((s->flags & LV_STREAM_TEXT) != 0) return *reinterpret_cast<const uint32_t*>(p);
  return *p;
}

// Idle hooks, run while an interactive stream waits for input.
struct lv_idle_hook {
  int (*function)(void* data);
  void* data;
};
// The array (null-terminated; null when there is none) and its change
// counter, which moves whenever the array is replaced or freed.
extern lv_idle_hook* lv_idle_hooks;
extern uint64_t lv_idle_hooks_changes;
void lv_free_idle_hooks();

// Predefined atoms the stream layer names.
constexpr lv_term LV_ATOM_USER_INPUT_ = lv_predefined_atom(48);
constexpr lv_term LV_ATOM_USER_OUTPUT_ = lv_predefined_atom(49);
constexpr lv_term LV_ATOM_USER_ERROR_ = lv_predefined_atom(50);
constexpr lv_term LV_ATOM_ENCODING_ = lv_predefined_atom(46);
constexpr lv_term LV_ATOM_WRITE_ = lv_predefined_atom(57);
constexpr lv_term LV_ATOM_READ_ = lv_predefined_atom(100);
constexpr lv_term LV_ATOM_ALL_ = lv_predefined_atom(226);
constexpr lv_term LV_ATOM_DEFAULT_ = lv_predefined_atom(229);
constexpr lv_term LV_ATOM_PAST_ = lv_predefined_atom(51);
constexpr lv_term LV_ATOM_APPEND_ = lv_predefined_atom(86);
constexpr lv_term LV_ATOM_READWRITE_ = lv_predefined_atom(101);
constexpr lv_term LV_ATOM_STREAM_WRAPPER_ = lv_predefined_atom(179);  // $stream
constexpr lv_term LV_ATOM_INFINITE_ = lv_predefined_atom(225);
constexpr lv_term LV_ATOM_BOF_ = lv_predefined_atom(237);
constexpr lv_term LV_ATOM_CURRENT_ = lv_predefined_atom(238);
constexpr lv_term LV_ATOM_EOF_ = lv_predefined_atom(239);
