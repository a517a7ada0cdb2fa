// A FIFO of caller records with an optional lock and condition variable.
#include "lvio/queue.h"

#include "lvio/allocator.h"

namespace {

// Takes the lock unless the caller holds it, and gives it back on leaving.
class queue_guard {
 public:
  queue_guard(lvio_queue* q, bool caller_holds) : q_(caller_holds ? nullptr : q) {
    if (q_ != nullptr) lvio_mutex_lock(q_->lock);
  }
  ~queue_guard() {
    if (q_ != nullptr) lvio_mutex_unlock(q_->lock);
  }
  queue_guard(const queue_guard&) = delete;
  queue_guard& operator=(const queue_guard&) = delete;

 private:
  lvio_queue* q_;
};

lvio_code wait_for_item(lvio_queue* q, uint32_t flags) {
  while (q->head == nullptr) {
    if ((flags & 2) == 0) return LVIO_E_NOT_FOUND;
    if (q->cond == nullptr) return LVIO_E_PARAMETER_ERROR;
    lvio_code rc = lvio_cond_wait(q->cond, q->lock);
    if (rc < 0) return rc;
  }
  return 0;
}

}  // namespace

lvio_code lvio_queue_create(lvio_queue** out, uint32_t flags) {
  if ((flags & 6) == 6 || ((flags & 6) != 0 && (flags & 1) == 0)) return LVIO_E_PARAMETER_ERROR;
  auto* q = static_cast<lvio_queue*>(lvio_alloc(sizeof(lvio_queue)));
  if (q == nullptr) return LVIO_E_OUT_OF_MEMORY;
  *q = lvio_queue{nullptr, nullptr, nullptr, nullptr, 0};
  lvio_code rc = 0;
  if ((flags & 1) != 0) rc = lvio_mutex_create(&q->lock, (flags & 4) != 0 ? 1 : 0);
  if (rc >= 0 && (flags & 2) != 0) rc = lvio_cond_create(&q->cond);
  if (rc < 0) {
    lvio_queue_destroy(q);
    return rc;
  }
  *out = q;
  return 0;
}

void lvio_queue_destroy(lvio_queue* queue) {
  if (queue == nullptr) return;
  lvio_cond_destroy(queue->cond);
  lvio_mutex_destroy(queue->lock);
  lvio_free(queue);
}

lvio_code lvio_queue_put(lvio_queue* queue, void* item, uint32_t flags) {
  queue_guard guard(queue, (flags & 1) != 0);
  auto* link = static_cast<lvio_queue_link*>(item);
  link->next = nullptr;
  if (queue->tail != nullptr)
    queue->tail->next = link;
  else
    queue->head = link;
  queue->tail = link;
  queue->count++;
  return queue->cond != nullptr ? lvio_cond_signal(queue->cond, queue->lock, 0) : 0;
}

lvio_code lvio_queue_get(lvio_queue* queue, void** item, uint32_t flags) {
  queue_guard guard(queue, false);
  lvio_code rc = wait_for_item(queue, flags);
  if (rc < 0) return rc;
  lvio_queue_link* head = queue->head;
  *item = head;
  if ((flags & 1) == 0) {
    queue->head = head->next;
    if (queue->head == nullptr) queue->tail = nullptr;
    head->next = nullptr;
    queue->count--;
  }
  return static_cast<lvio_code>(queue->count);
}

lvio_code lvio_queue_get_last(lvio_queue* queue, void** item, uint32_t flags) {
  queue_guard guard(queue, (flags & 4) != 0);
  lvio_code rc = wait_for_item(queue, flags);
  if (rc < 0) return rc;
  lvio_queue_link* tail = queue->tail;
  *item = tail;
  if ((flags & 1) == 0) {
    lvio_queue_link* before = nullptr;
    if (queue->head != tail)
      for (before = queue->head; before->next != tail; before = before->next) {
      }
    if (before != nullptr)
      before->next = nullptr;
    else
      queue->head = nullptr;
    queue->tail = before;
    queue->count--;
  }
  return static_cast<lvio_code>(queue->count);
}

lvio_code lvio_queue_contains(lvio_queue* queue, const void* item, uint32_t flags) {
  queue_guard guard(queue, (flags & 1) != 0);
  for (lvio_queue_link* l = queue->head; l != nullptr; l = l->next)
    if (l == item) return 1;
  return 0;
}

uint64_t lvio_queue_count(lvio_queue* queue) {
  queue_guard guard(queue, false);
  return queue->count;
}

lvio_code lvio_queue_lock(lvio_queue* queue) { return lvio_mutex_lock(queue->lock); }

lvio_code lvio_queue_unlock(lvio_queue* queue) { return lvio_mutex_unlock(queue->lock); }

lvio_code lvio_queue_wake_all(lvio_queue* queue) {
  queue_guard guard(queue, false);
  return queue->cond != nullptr ? lvio_cond_signal(queue->cond, queue->lock, 1) : 0;
}

void lvio_queue_unlock_scoped(lvio_queue** held) {
  if (*held == nullptr) return;
  (void)lvio_queue_unlock(*held);
  *held = nullptr;
}
