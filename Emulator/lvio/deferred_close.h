// The deferred-close list: work handed from any thread (an interrupting
// signal-dispatch or listener thread, a device worker) to the engine's
// thread, which runs it when it next drains the list. The list shares its
// lock with the interrupt-callback list.
#pragma once

#include <cstdint>

#include "lvio/result_codes.h"

struct lvio_closeable;

struct lvio_closeable_ops {
  // Runs the node; flag 1 on a shutdown drain. LVIO_S_DEALLOCATED tells the
  // drain that the node has kept itself and must not be released.
  lvio_code (*run)(lvio_closeable* node, uint32_t flags);
  void (*release)(lvio_closeable* node);
};

struct lvio_closeable {
  const lvio_closeable_ops* ops;
  lvio_closeable* next;
  void* data;
};

void lvio_closeable_init(lvio_closeable* node, const lvio_closeable_ops* ops, void* data);

// Releases the node; null is ignored.
void lvio_closeable_close(lvio_closeable* node);

// Appends the node; LVIO_E_SHUTDOWN once the list is closed. Unless flag 1,
// an interrupt is raised so that the engine wakes and drains the list.
[[nodiscard]] lvio_code lvio_closeable_register(lvio_closeable* node, uint32_t flags);

// Runs and releases the queued nodes in order, nodes queued meanwhile
// included; flag 1 closes the list first (a shutdown drain, passed on to
// every run). Returns the number of nodes run.
int64_t lvio_deferred_close_all(uint32_t flags);

uint64_t lvio_deferred_close_count();

// Closes the list; LVIO_E_SHUTDOWN when it was closed already.
[[nodiscard]] lvio_code lvio_deferred_close_shutdown();

// The module's start opens the list; its stop closes it and releases every
// queued node without running it.
[[nodiscard]] lvio_code lvio_deferred_close_module(uint32_t flags);
