// Propagation: suspensions on variables, the queues they are woken into,
// the tells that narrow a variable's domain and wake its suspensions, and
// the loop that serves the queues.
//
// Every word kept in a queue slot is a term (tagged small integers for the
// plain numbers of an item), so the collector and the stack shifter can
// read and move all of them.
#pragma once

#include <cstdint>

#include "kernel/queues.h"
#include "kernel/runtime.h"
#include "kernel/terms.h"

// Event bits of a wake-up.
enum : int64_t {
  FD_EVENT_DOM = 1,
  FD_EVENT_MIN = 2,
  FD_EVENT_MAX = 4,
  FD_EVENT_FIXED = 8,
  FD_EVENT_VAL = 16,
  FD_EVENT_BOUND = 0x20,  // the variable was bound: every suspension, pushed at the front
};

// Suspension kinds: the queue an item goes to.
enum : int64_t {
  FD_KIND_IMPLICATION_0 = 0,
  FD_KIND_IMPLICATION_1 = 1,
  FD_KIND_DISEQUATION = 2,
  FD_KIND_WATCHER = 3,
  FD_KIND_INDEXICAL = 4,
  FD_KIND_DAEMON = 5,
  FD_KIND_GLOBAL_VAL = 6,
  FD_KIND_GLOBAL_MINMAX = 7,
  FD_KIND_GLOBAL_DOM = 8,
};

constexpr int FD_QUEUE_BINDINGS = 9;

// Queue slots.
void fd_queue_grow(const lv_foreign_env* env, int queue);
void fd_queue_push_back(const lv_foreign_env* env, int queue, lv_term term);
void fd_queue_push_front(const lv_foreign_env* env, int queue, lv_term term);
lv_term fd_queue_take(const lv_foreign_env* env, int queue);
inline bool fd_queue_empty(const fd_queue& q) { return q.head == q.tail; }

// A daemon function: (env, the propagator's block, the attribute cell's
// address, the propagator) -> 1 or 3 run the propagator, 4 failure, else
// nothing to do.
typedef int64_t (*fd_daemon_fn)(lv_foreign_env* env, void* block, lv_term* attribute_cell, lv_term* propagator);

// Suspensions.
void fd_enqueue(const lv_foreign_env* env, lv_term suspension, int64_t mask, lv_term value);
void fd_enqueue_list(const lv_foreign_env* env, int64_t mask, lv_term attribute, lv_term value);
// Adds a suspension of item to the attribute for the event term (dom(_),
// min(_), max(_), minmax(_), val(_), or the functor word of one); X registers xreg and xreg + 1 hold the
// attribute and the item while heap room is made.
void fd_add_suspension(const lv_foreign_env* env, lv_term attribute, lv_term event, lv_term item, lv_term value,
                       int xreg);

// Tells. attribute and var are parked in X registers xreg, xreg + 1 while
// heap room is made. A set told must not be empty.
// The event of telling value to a variable whose domain was old.
int64_t fd_value_event(lv_term old, lv_term value);
void fd_tell_value(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term value, int xreg);
void fd_tell_interval(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term min, lv_term max,
                      int64_t event, int xreg);
void fd_tell_fdset(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term set, int xreg);
void fd_tell_fdset_globalize(const lv_foreign_env* env, lv_term attribute, lv_term var, lv_term set, int xreg);
void fd_wake(const lv_foreign_env* env, lv_term attribute, lv_term var, int64_t event, int xreg);
int64_t fd_prune_and_wake(const lv_foreign_env* env, lv_term var, int64_t event, lv_term value, int xreg);
// The domain of a coreferenced partner: the domain shifted by shift.
lv_term fd_coref_shift(const lv_foreign_env* env, lv_term domain, int64_t shift);

// The loop: -1 failure, 0 every queue empty, 1 an indexical in *out, 2 a
// propagator in *out.
int fd_propagate(lv_foreign_env* env, lv_term* out, int64_t arg);
// Walks a propagator's actions list: 1 go on, 0 failure.
int fd_run_actions(lv_foreign_env* env, lv_term_ref propagator, lv_term actions);
// Adds 1 to the failure weight of every variable of a propagator.
void fd_bump_weights(lv_term propagator);

// The flag word (third argument) of a propagator or indexical term.
int64_t fd_item_flags(lv_term item);
void fd_set_item_flags(lv_term item, int64_t flags);

// The work of queues 1-3 and the indexical evaluator, done elsewhere: the
// handlers answer 1 (go on) or 0 (failure); the evaluator 1 (go on), 0
// (failure) or -1 (an exception was raised).
int fd_implication_handler(lv_foreign_env* env, lv_term item);
int fd_disequation_handler(lv_foreign_env* env, lv_term item);
int fd_watcher_handler(lv_foreign_env* env, lv_term value, lv_term item);
int fd_run_indexical(lv_foreign_env* env, lv_term_ref indexical);
