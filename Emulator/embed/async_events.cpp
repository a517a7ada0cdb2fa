// The asynchronous event queue and its run by $user_event.
#include "embed/async_events.h"

#include <atomic>
#include <cstring>

#include "core/atoms.h"
#include "core/memory.h"
#include "embed/nesting.h"
#include "embed/signals.h"
#include "lvio/deferred_close.h"
#include "lvio/interrupt.h"
#include "lvio/queue.h"
#include "lvio/result_codes.h"
#include "machine/frames.h"
#include "store/predicates.h"

namespace {

// Guarded by the event lock, except where said.
lvio_queue* queue;
std::atomic<int> set_up;  // read without the lock
int state;
lv_async_event pool[LV_EVENT_POOL_SIZE];
lv_async_event* free_list;
lv_async_event* ctrlc_record;  // present while no Ctrl-C event is queued or running
int ctrlc_presses;             // since the last $reset_ctrlc_pending
int ctrlbreak_presses;         // since start
int pending;
std::atomic<lv_worker*> engine;  // the context whose event check is forced
bool hook_added;

bool accepting() { return state == LV_EVENTS_STARTING || state == LV_EVENTS_RUNNING; }

void rebuild_free_list() {
  std::memset(pool, 0, sizeof pool);
  free_list = nullptr;
  for (int i = LV_EVENT_POOL_SIZE - 1; i >= 0; i--) {
    pool[i].next = free_list;
    free_list = &pool[i];
  }
}

lv_async_event* take_simple() {
  lv_async_event* e = free_list;
  if (e != nullptr) free_list = e->next;
  return e;
}

void release_simple(lv_async_event* e) {
  std::memset(e, 0, sizeof *e);
  e->next = free_list;
  free_list = e;
}

bool is_simple(const lv_async_event* e) { return (e->kind & 1) != 0; }

// The engine's interrupt callback: mode 1 (the pass on the engine thread)
// does nothing; mode 2 marks the interrupt pending; 0 and 2 force a check.
void interrupt_callback(void*, uint32_t mode) {
  if ((mode & 1) != 0) return;
  if (mode == 2 && lv_event_lock() >= 0) {
    pending = 1;
    lv_event_unlock();
  }
  lv_force_event_check();
}

// Makes prolog:Name/0 the engine's continuation, when it is defined.
void continue_with(const char* name) {
  lv_worker* w = engine.load(std::memory_order_relaxed);
  lv_term atom = lv_atom_from_text(name, LV_ATOM_FIND);
  lv_pred* p = atom != 0 ? lv_lookup_predicate(lv_prolog_module(), atom, 0, LV_LOOKUP_FIND) : nullptr;
  if (w == nullptr || p == nullptr) return;
  lv_push_continuation_frame(w, p, nullptr);
  lv_local_limit_check(w);
}

int ctrlc_event(lv_async_event* record, int reason) {
  if ((reason & 0x87) == 0) continue_with("control_c_handler");
  if (lv_event_lock() >= 0) {
    ctrlc_record = record;
    if ((reason & 0x87) != 0) ctrlc_presses = 0;
    lv_event_unlock();
  }
  return 0;
}

int ctrlbreak_event(void*) {
  continue_with("control_break_handler");
  return 1;
}

// Runs or discards one event with the term-reference top and the C call's
// success flag saved around it; a cleared flag makes the result 30002.
int call_event(lv_worker* w, lv_async_event* e, int reason) {
  int32_t top = w->termref_top;
  int32_t saved = w->foreign_call->status;
  w->foreign_call->status = 1;
  int result = 0;
  if (is_simple(e)) {
    auto f = reinterpret_cast<lv_simple_event_fn>(e->function);
    void* user = e->user;
    if (lv_event_lock() >= 0) {
      release_simple(e);
      lv_event_unlock();
    }
    if (reason == LV_EVENT_REASON_RUN) {
      int r = f(user);
      result = r == -1 ? LV_EVENT_RAISED : r == 0 ? LV_EVENT_FAILED : 0;
    }
  } else {
    result = reinterpret_cast<lv_full_event_fn>(e->function)(e, reason);
  }
  w->termref_top = top;
  int32_t flag = w->foreign_call->status;
  w->foreign_call->status = saved;
  return flag == 0 ? LV_EVENT_RAISED : result;
}

// The next queued event and how many wait behind it; null when none.
lv_async_event* next_event(uint64_t* behind) {
  void* item = nullptr;
  lvio_code rc = lvio_queue_get(queue, &item, 0);
  if (rc < 0) return nullptr;
  *behind = static_cast<uint64_t>(rc);
  return static_cast<lv_async_event*>(item);
}

}  // namespace

void lv_force_event_check() {
  // A read-modify-write reads the newest engine and, sequentially
  // consistent, orders what this thread wrote before it (a full fence that
  // the thread sanitizer also understands).
  lv_worker* w = engine.fetch_add(0, std::memory_order_seq_cst);
  if (w != nullptr) lv_request_event(w);
}

int64_t lv_event_lock() { return queue != nullptr ? lvio_queue_lock(queue) : LVIO_E_INVALID_STATE; }
void lv_event_unlock() {
  if (queue != nullptr) (void)lvio_queue_unlock(queue);  // held by this thread: cannot fail
}
bool lv_event_queue_set_up() { return set_up.load(std::memory_order_acquire) != 0; }
int lv_event_queue_state() { return state; }
uint64_t lv_event_queue_length() { return queue != nullptr ? lvio_queue_count(queue) : 0; }

int64_t lv_schedule_event(lv_async_event* event, uint32_t flags) {
  if (!lv_event_queue_set_up()) return LVIO_E_INVALID_STATE;
  if ((flags & 1) == 0) {
    int64_t rc = lv_event_lock();
    if (rc < 0) return rc;
  }
  int64_t rc = LVIO_E_INVALID_STATE;
  if (accepting()) {
    rc = 0;
    if ((flags & 4) == 0) lv_force_event_check();
    if ((flags & 2) == 0 && event != nullptr) rc = lvio_queue_put(queue, event, 1);
  }
  if ((flags & 1) == 0) lv_event_unlock();
  return rc;
}

int LV_event(lv_simple_event_fn function, void* user) {
  if (!lv_event_queue_set_up() || lv_event_lock() < 0) return 0;
  int result = 0;
  lv_async_event* e = take_simple();
  if (e != nullptr) {
    e->next = nullptr;
    e->kind = 1;
    e->function = reinterpret_cast<void*>(function);
    e->user = user;
    if (lv_schedule_event(e, 1) == 0)
      result = 1;
    else
      release_simple(e);
  }
  lv_event_unlock();
  return result;
}

int64_t LV_schedule_async_event(lv_async_event* event) { return lv_schedule_event(event, 0); }

int64_t LV_alloc_async_event(lv_async_event** out, lv_full_event_fn function, void* user) {
  if (out == nullptr || function == nullptr) return LVIO_E_PARAMETER_ERROR;
  auto* e = static_cast<lv_async_event*>(LV_malloc(sizeof(lv_async_event)));
  if (e == nullptr) return LVIO_E_OUT_OF_MEMORY;
  e->next = nullptr;
  e->function = reinterpret_cast<void*>(function);
  e->kind = 0;
  e->user = user;
  *out = e;
  return 0;
}

void LV_free_async_event(lv_async_event* event) { LV_free(event); }

int64_t LV_ctrlc_action() {
  int64_t rc = lv_event_lock();
  if (rc < 0) return rc;
  if (ctrlc_record != nullptr) {
    if (ctrlc_presses++ == 0) {
      lv_async_event* e = ctrlc_record;
      ctrlc_record = nullptr;
      e->next = nullptr;
      e->kind = 0;
      e->function = reinterpret_cast<void*>(ctrlc_event);
      e->user = nullptr;
      if (lv_schedule_event(e, 1) != 0) {
        ctrlc_record = e;
        ctrlc_presses = 0;
      }
    }
  } else {
    ctrlc_presses++;
  }
  lv_event_unlock();
  return 0;
}

int64_t LV_ctrlbreak_action() {
  int64_t rc = lv_event_lock();
  if (rc < 0) return rc;
  if (ctrlbreak_presses++ == 0) {
    lv_async_event* e = take_simple();
    if (e != nullptr) {
      e->next = nullptr;
      e->kind = 1;
      e->function = reinterpret_cast<void*>(ctrlbreak_event);
      e->user = nullptr;
      if (lv_schedule_event(e, 1) != 0) release_simple(e);
    }
  }
  lv_event_unlock();
  return 0;
}

int64_t lv_event_queue_init(lv_worker* w) {
  engine.store(w, std::memory_order_relaxed);
  if (queue == nullptr) {
    lvio_code rc = lvio_queue_create(&queue, 5);
    if (rc < 0) return rc;
    set_up.store(1, std::memory_order_release);
    ctrlc_record = static_cast<lv_async_event*>(LV_malloc(sizeof(lv_async_event)));
    if (ctrlc_record == nullptr) return LVIO_E_OUT_OF_MEMORY;
    std::memset(ctrlc_record, 0, sizeof *ctrlc_record);
  }
  if (!hook_added) {
    lvio_code rc = lvio_interrupt_hook_add(interrupt_callback, nullptr, 0);
    if (rc < 0) return rc;
    hook_added = true;
  }
  int64_t rc = lv_event_lock();
  if (rc < 0) return rc;
  rebuild_free_list();
  state = LV_EVENTS_STARTING;
  ctrlc_presses = 0;
  ctrlbreak_presses = 0;
  pending = 0;
  lv_signals_reset(true);
  state = LV_EVENTS_RUNNING;
  lv_event_unlock();
  return 0;
}

void lv_event_queue_stop() {
  if (hook_added) {
    (void)lvio_interrupt_hook_add(interrupt_callback, nullptr, 1);  // absent is as good as removed
    hook_added = false;
  }
  if (lv_event_queue_set_up()) {
    if (lv_event_lock() >= 0) {
      state = LV_EVENTS_CLOSING;
      lv_event_unlock();
    }
    set_up.store(0, std::memory_order_release);
    lvio_queue* q = queue;
    queue = nullptr;
    lvio_queue_destroy(q);
  }
  LV_free(ctrlc_record);
  ctrlc_record = nullptr;
  rebuild_free_list();
  state = LV_EVENTS_NONE;
  lv_signals_reset(false);
  engine.store(nullptr, std::memory_order_relaxed);
}

void lv_event_counts_reset() {
  if (lv_event_lock() < 0) return;
  ctrlc_presses = 0;
  lv_event_unlock();
}

int lv_event_pending_take() {
  if (lv_event_lock() < 0) return 0;
  int was = pending;
  pending = 0;
  lv_event_unlock();
  return was;
}

int lv_run_events(lv_worker* w, int closing) {
  closing &= 1;
  if (w->interrupt_hold != 0 && closing == 0) return 1;
  if (closing != 0) {
    if (lv_event_lock() < 0) return 1;
    if (state > LV_EVENTS_STARTING) state = LV_EVENTS_STARTING;
    lv_event_unlock();
    lv_run_signal_handlers();
    if (lv_event_lock() < 0) return 1;
    if (state > LV_EVENTS_CLOSING) state = LV_EVENTS_CLOSING;
    lv_event_unlock();
  } else {
    lv_run_signal_handlers();
    lvio_interrupt_sync();
    (void)lvio_deferred_close_all(0);  // the nodes report to no one here
    if (lv_event_lock() >= 0) {
      pending = 0;
      lv_event_unlock();
    }
  }
  if (queue == nullptr) return 1;
  for (;;) {
    uint64_t behind = 0;
    lv_async_event* e = next_event(&behind);
    if (e == nullptr) return 1;
    if (closing != 0) {
      (void)call_event(w, e, LV_EVENT_REASON_CLOSING);
      continue;
    }
    lv_set_soft_limit(w, w->heap_hard_limit);
    lv_run_signal_handlers();
    int result = call_event(w, e, LV_EVENT_REASON_RUN);
    if (result != LV_EVENT_FAILED && result != LV_EVENT_RAISED) continue;
    int reason = result == LV_EVENT_FAILED ? LV_EVENT_REASON_AFTER_FAILURE : LV_EVENT_REASON_AFTER_EXCEPTION;
    lv_nest_enter();
    for (uint64_t i = 0; i < behind; i++) {
      uint64_t rest;
      lv_async_event* d = next_event(&rest);
      if (d == nullptr) break;
      (void)call_event(w, d, reason);
    }
    lv_nest_leave();
    lv_force_event_check();
    return 0;
  }
}

int prolog_user_event(lv_worker* w) { return lv_run_events(w, 0); }

int prolog_reset_ctrlc_pending(lv_worker*) {
  lv_event_counts_reset();
  return 1;
}
