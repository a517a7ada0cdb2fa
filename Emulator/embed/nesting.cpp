// The nesting of queries run from C.
#include "embed/nesting.h"

#include "core/worker.h"

int64_t lv_nest_enter() {
  lv_worker* w = get_current_worker();
  int64_t n = ++w->interrupt_hold;
  if (n == 0) lv_request_event(w);
  return n;
}

int64_t lv_nest_leave() {
  lv_worker* w = get_current_worker();
  int64_t n = --w->interrupt_hold;
  if (n == 0) lv_request_event(w);
  return n;
}
