// Events of the I/O layer: objects that are signalled or not, and that the
// waits of the layer (lvio_event_wait) watch together.
//
// An event made here is manual-reset: once set it stays signalled until it
// is reset. It is an eventfd, readable while set. An event may also wrap a
// descriptor that the layer does not own (a pipe, a socket, a completion
// descriptor): it is then signalled while the descriptor is ready for
// reading, or for writing when wrapped with LVIO_EVENT_WRITABLE.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_event;

// The operations of an event, in this slot order.
struct lvio_event_ops {
  // Sets the event; LVIO_E_NOT_SUPPORTED for a descriptor that is not an
  // eventfd.
  lvio_code (*set)(lvio_event* event);
  lvio_code (*reset)(lvio_event* event);
  // 1 when signalled, 0 when not.
  lvio_code (*poll)(lvio_event* event);
  // Closes the descriptor unless it is borrowed and frees the record.
  void (*close)(lvio_event* event);
};

// Bits of lvio_event::flags.
constexpr uint32_t LVIO_EVENT_COUNT_SHIFT = 1;  // bits 1-2: the reference count
constexpr uint32_t LVIO_EVENT_COUNT_MASK = 6;
constexpr uint32_t LVIO_EVENT_BORROWED = 8;    // the descriptor is not closed with the event
constexpr uint32_t LVIO_EVENT_WRITABLE = 16;   // signalled while writable, not readable
constexpr uint32_t LVIO_EVENT_SETTABLE = 32;   // the descriptor is an eventfd: set and reset work

struct lvio_event {
  const lvio_event_ops* ops;
  uint32_t flags;
  int fd;  // -1 once closed
};

// A new event, unsignalled unless flag 1, with reference count 1.
// LVIO_E_OUT_OF_MEMORY, or the platform's error.
[[nodiscard]] lvio_code lvio_event_create(uint32_t flags, lvio_event** out);

// Wraps a descriptor that the caller keeps (borrowed), with reference count
// 1. Flags: LVIO_EVENT_WRITABLE, LVIO_EVENT_SETTABLE (the descriptor is an
// eventfd).
[[nodiscard]] lvio_code lvio_event_from_handle(int fd, uint32_t flags, lvio_event** out);

// Wraps a descriptor with reference count 0 (the first acquire makes it 1);
// flag 1 marks it borrowed, otherwise the event owns the descriptor. Flags
// LVIO_EVENT_WRITABLE and LVIO_EVENT_SETTABLE as above.
[[nodiscard]] lvio_code lvio_event_wrap_handle(int fd, lvio_event** out, uint32_t flags);

// The event's descriptor.
[[nodiscard]] lvio_code lvio_event_handle(const lvio_event* event, int* fd);

// The poll(2) events that signal this event.
short lvio_event_poll_mask(const lvio_event* event);

[[nodiscard]] lvio_code lvio_event_set(lvio_event* event);
[[nodiscard]] lvio_code lvio_event_reset(lvio_event* event);
// 1 when signalled, 0 when not; does not wait.
[[nodiscard]] lvio_code lvio_event_wait_one(lvio_event* event);

// One more reference. The count has two bits: a fourth reference is
// LVIO_E_OVERFLOW rather than a count that wraps and closes a live event.
[[nodiscard]] lvio_code lvio_event_acquire(lvio_event* event);
// One reference less; the event is closed when none is left. Null is ignored.
void lvio_event_release(lvio_event* event);
