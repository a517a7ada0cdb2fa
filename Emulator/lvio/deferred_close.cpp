// The deferred-close list.
#include "lvio/deferred_close.h"

#include "lvio/interrupt.h"

namespace {

// Guarded by the interrupt lock. The list is closed until the module starts.
lvio_closeable* head;
lvio_closeable* tail;
uint64_t count;
bool closed = true;
bool started;

lvio_closeable* take_head() {
  lvio_interrupt_lock();
  lvio_closeable* node = head;
  if (node != nullptr) {
    head = node->next;
    if (head == nullptr) tail = nullptr;
    node->next = nullptr;
    count--;
  }
  lvio_interrupt_unlock();
  return node;
}

}  // namespace

void lvio_closeable_init(lvio_closeable* node, const lvio_closeable_ops* ops, void* data) {
  node->ops = ops;
  node->next = nullptr;
  node->data = data;
}

void lvio_closeable_close(lvio_closeable* node) {
  if (node != nullptr) node->ops->release(node);
}

lvio_code lvio_closeable_register(lvio_closeable* node, uint32_t flags) {
  lvio_interrupt_lock();
  if (closed) {
    lvio_interrupt_unlock();
    return LVIO_E_SHUTDOWN;
  }
  node->next = nullptr;
  if (tail != nullptr)
    tail->next = node;
  else
    head = node;
  tail = node;
  count++;
  lvio_interrupt_unlock();
  if ((flags & 1) == 0) (void)lvio_interrupt(1);  // a wake-up only
  return 0;
}

int64_t lvio_deferred_close_all(uint32_t flags) {
  if ((flags & 1) != 0) (void)lvio_deferred_close_shutdown();  // closed already is fine
  int64_t run = 0;
  while (lvio_closeable* node = take_head()) {
    lvio_code rc = node->ops->run(node, flags & 1);
    run++;
    if (rc != LVIO_S_DEALLOCATED) node->ops->release(node);
  }
  return run;
}

uint64_t lvio_deferred_close_count() {
  lvio_interrupt_lock();
  uint64_t n = count;
  lvio_interrupt_unlock();
  return n;
}

lvio_code lvio_deferred_close_shutdown() {
  lvio_interrupt_lock();
  bool was_closed = closed;
  closed = true;
  lvio_interrupt_unlock();
  return was_closed ? LVIO_E_SHUTDOWN : 0;
}

lvio_code lvio_deferred_close_module(uint32_t flags) {
  if ((flags & 1) == 0) {
    lvio_interrupt_lock();
    closed = false;
    started = true;
    lvio_interrupt_unlock();
    return 0;
  }
  if (!started) return 0;
  (void)lvio_deferred_close_shutdown();  // closed already is fine
  started = false;
  while (lvio_closeable* node = take_head()) node->ops->release(node);
  return 0;
}
