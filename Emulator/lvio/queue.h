// A FIFO of caller records, optionally locked and with a condition variable
// to wait for items. An item is any record whose first word is the link to
// the next item; the queue never allocates items.
#pragma once

#include <cstdint>

#include "lvio/sync.h"

struct lvio_queue_link {
  lvio_queue_link* next;
};

struct lvio_queue {
  lvio_queue_link* head;
  lvio_queue_link* tail;
  lvio_mutex* lock;  // null for an unlocked queue
  lvio_cond* cond;   // null when nobody may wait
  uint64_t count;
};

// Flag 1 makes a lock, flag 2 a condition variable (which needs the lock);
// flag 4 makes the lock with its creation flag 1 and so rules out flag 2.
// Flag 4 without 1, flag 2 without 1, or flags 2 and 4:
// LVIO_E_PARAMETER_ERROR.
[[nodiscard]] lvio_code lvio_queue_create(lvio_queue** out, uint32_t flags);

// Frees the lock, the condition variable and the record, not the items.
// Null is ignored.
void lvio_queue_destroy(lvio_queue* queue);

// Links the item at the tail and wakes one waiter. Flag 1: the caller holds
// the lock. The item is queued and counted even when the wake-up fails; the
// wake-up's error is then returned.
[[nodiscard]] lvio_code lvio_queue_put(lvio_queue* queue, void* item, uint32_t flags);

// Takes the head item and returns the count left. Flag 1 peeks (the item
// stays). An empty queue is LVIO_E_NOT_FOUND, unless flag 2: then the call
// waits for an item (LVIO_E_PARAMETER_ERROR without a condition variable).
[[nodiscard]] lvio_code lvio_queue_get(lvio_queue* queue, void** item, uint32_t flags);

// The same from the tail; flag 4: the caller holds the lock.
[[nodiscard]] lvio_code lvio_queue_get_last(lvio_queue* queue, void** item, uint32_t flags);

// 1 when the item is queued, else 0. Flag 1: the caller holds the lock.
[[nodiscard]] lvio_code lvio_queue_contains(lvio_queue* queue, const void* item, uint32_t flags);

uint64_t lvio_queue_count(lvio_queue* queue);
[[nodiscard]] lvio_code lvio_queue_lock(lvio_queue* queue);
[[nodiscard]] lvio_code lvio_queue_unlock(lvio_queue* queue);
// Wakes every waiter.
[[nodiscard]] lvio_code lvio_queue_wake_all(lvio_queue* queue);
// Unlocks the queue held in the slot, if any, and clears the slot.
void lvio_queue_unlock_scoped(lvio_queue** held);
