// The propagation queues' life cycle and the engine hook.
#include "kernel/queues.h"

#include <initializer_list>

#include "kernel/fd_assert.h"
#include "kernel/handles.h"
#include "kernel/indexical.h"
#include "kernel/labeling.h"
#include "kernel/posting.h"
#include "kernel/propagation.h"
#include "kernel/roots.h"

#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/terms.h"

namespace {

fd_queue_block* block_of(const lv_foreign_env* env) { return fd_state(env)->queues; }

// Calls visit(slot) for every slot in use: each queue from head to tail
// (wrapping at the buffer's end), then the current-propagator cell.
template <typename Visit>
void for_each_slot(fd_queue_block* b, Visit visit) {
  for (fd_queue& q : b->queues)
    for (fd_termref_slot* s = q.head; s != q.tail;) {
      visit(s);
      if (++s == q.end) s = q.start;
    }
  visit(b->current);
}

// Clears the queued and running bits of a propagator ($global/6) or
// indexical ($indexical/8) that lies on the heap.
void clear_queued(const lv_foreign_env* env, lv_term t, int64_t bits) {
  if (!fd_is_struct(t) || !fd_on_heap(fd_engine_of(env), fd_struct_cells(t))) return;
  lv_term f = fd_functor_of(t);
  if (f != fd_functor(FD_ATOM_GLOBAL, 6) && f != fd_functor(FD_ATOM_INDEXICAL, 8)) return;
  lv_term* flags = &fd_struct_cells(t)[3];
  lv_term v = fd_deref(*flags);
  if (fd_is_small(v)) *flags = fd_make_small(fd_small_value(v) & ~bits);
}

}  // namespace

fd_queue_block* fd_queue_create(const lv_foreign_env* env) {
  auto* b = static_cast<fd_queue_block*>(fd_rt::checkalloc(env, sizeof(fd_queue_block), 1));
  for (fd_queue& q : b->queues) {
    auto* buffer = static_cast<fd_termref_slot*>(fd_rt::checkalloc(env, FD_QUEUE_INITIAL_BYTES, 1));
    for (uint64_t i = 0; i < FD_QUEUE_INITIAL_BYTES / sizeof(fd_termref_slot); i++) buffer[i] = {0, 0};
    q.start = q.head = q.tail = buffer;
    q.end = buffer + FD_QUEUE_INITIAL_BYTES / sizeof(fd_termref_slot);
  }
  b->mask = 0;
  b->unused = 0;
  b->current = static_cast<fd_termref_slot*>(fd_rt::checkalloc(env, sizeof(fd_termref_slot), 1));
  *b->current = {FD_NIL, 0};
  return b;
}

void fd_queue_grow(const lv_foreign_env* env, int queue) {
  fd_queue& q = block_of(env)->queues[queue];
  int64_t n = q.end - q.start;
  int64_t head = q.head - q.start;
  auto* buffer = static_cast<fd_termref_slot*>(
      fd_rt::checkrealloc(env, q.start, n * sizeof(fd_termref_slot), 2 * n * sizeof(fd_termref_slot), 1));
  for (int64_t i = n; i < 2 * n; i++) buffer[i] = {0, 0};
  // The wrapped part (start up to head) moves behind the old end, so the
  // items still run from head onwards.
  for (int64_t i = 0; i < head; i++) buffer[n + i] = buffer[i];
  q.start = buffer;
  q.end = buffer + 2 * n;
  q.head = buffer + head;
  q.tail = buffer + n + head;
}

void fd_queue_push_back(const lv_foreign_env* env, int queue, lv_term term) {
  fd_queue_block* b = block_of(env);
  fd_queue& q = b->queues[queue];
  *q.tail = {term, 0};
  if (++q.tail == q.end) q.tail = q.start;
  b->mask |= 1u << queue;
  if (q.tail == q.head) fd_queue_grow(env, queue);
}

void fd_queue_push_front(const lv_foreign_env* env, int queue, lv_term term) {
  fd_queue_block* b = block_of(env);
  fd_queue& q = b->queues[queue];
  if (q.head == q.start) q.head = q.end;
  *--q.head = {term, 0};
  b->mask |= 1u << queue;
  if (q.tail == q.head) fd_queue_grow(env, queue);
}

lv_term fd_queue_take(const lv_foreign_env* env, int queue) {
  fd_queue& q = block_of(env)->queues[queue];
  LV_ASSERT(q.head != q.tail);
  lv_term t = q.head->term;
  if (++q.head == q.end) q.head = q.start;
  return t;
}

void fd_queue_reset(const lv_foreign_env* env) {
  fd_queue_block* b = block_of(env);
  for (int q : {4, 8, 7, 6}) {
    if ((b->mask & (1u << q)) == 0) continue;
    fd_queue& queue = b->queues[q];
    for (fd_termref_slot* s = queue.head; s != queue.tail;) {
      clear_queued(env, s->term, FD_PROP_QUEUED);
      if (++s == queue.end) s = queue.start;
    }
  }
  for (fd_queue& q : b->queues) q.head = q.tail = q.start;
  b->mask = 0;
  clear_queued(env, b->current->term, FD_PROP_QUEUED | FD_PROP_RUNNING);
  b->current->term = FD_NIL;
}

void fd_queue_open(const lv_foreign_env* env) {
  int64_t flags = fd_solver_flags(env);
  if ((flags & FD_FLAG_BATCH) != 0) return;
  fd_queue_reset(env);
  fd_set_solver_flags(env, flags | FD_FLAG_PROPAGATING);
}

void fd_queue_close(const lv_foreign_env* env) {
  int64_t flags = fd_solver_flags(env);
  if ((flags & FD_FLAG_BATCH) != 0) return;
  fd_set_solver_flags(env, flags & ~FD_FLAG_PROPAGATING);
  block_of(env)->current->term = FD_NIL;
}

void fd_queue_destroy(const lv_foreign_env* env) {
  fd_solver_state* state = fd_state(env);
  fd_queue_block* b = state->queues;
  if (b == nullptr) return;
  if (env->engine != nullptr) {
    // The flag word without trailing: nothing of the solver outlives this.
    lv_term flags = fd_deref(fd_termref(env, FD_SLOT_SOLVER_FLAGS));
    if (fd_is_struct(flags)) fd_struct_cells(flags)[1] = fd_make_small(0);
  }
  for (fd_queue& q : b->queues) fd_rt::checkdealloc(env, q.start, 1, 1);
  fd_rt::checkdealloc(env, b->current, 1, 1);
  fd_rt::checkdealloc(env, b, 1, 1);
  state->queues = nullptr;
}

namespace {

// Calls visit(word) for every term word the solver holds outside the heap:
// the queue slots in use and the current propagator while propagation is
// under way, and always the daemon's propagator slot and the pinned words,
// whose slot copies are visited (fd_pins_to_slots has made them). A pinned
// word holds [] or the list rest of a set on the heap.
template <typename Visit>
void for_each_root(const lv_foreign_env* env, bool propagating, Visit visit) {
  if (propagating) for_each_slot(block_of(env), [&](fd_termref_slot* s) { visit(&s->term); });
  fd_kernel_tables* t = fd_tables(env);
  if (t == nullptr) return;
  visit(&t->daemon_propagator.term);
  for (int64_t i = 0; i < t->pin_count; i++) {
    lv_term* word = &t->pins[i].slot.term;
    if (fd_is_list(*word) || *word == FD_NIL) visit(word);
  }
}

}  // namespace

int64_t fd_engine_hook(void* data, lv_worker*, int64_t event, int64_t argument) {
  auto* env = static_cast<lv_foreign_env*>(data);
  fd_queue_block* b = block_of(env);
  if (b == nullptr) return 0;
  bool propagating = (fd_solver_flags(env) & FD_FLAG_PROPAGATING) != 0;
  switch (event) {
    case 1:  // the heap moved by argument bytes
      fd_pins_to_slots(env);
      for_each_root(env, propagating, [&](lv_term* word) {
        if (!fd_is_atomic(*word)) *word += static_cast<uint64_t>(argument);
      });
      fd_pins_follow(env);
      break;
    case 2:  // mark
      fd_pins_to_slots(env);
      for_each_root(env, propagating, [&](lv_term* word) { fd_rt::mark_term(env, *word); });
      break;
    case 3:  // relocate the words that point at or above argument
      for_each_root(env, propagating, [&](lv_term* word) {
        lv_term* target = reinterpret_cast<lv_term*>(*word & ~FD_TAG_MASK);
        if (!fd_is_atomic(*word) && reinterpret_cast<int64_t>(target) >= argument)
          fd_rt::into_relocation_chain(env, target, word);
      });
      break;
    case 4:  // visit every slot
      if (propagating)
        for_each_slot(b, [&](fd_termref_slot* s) { reinterpret_cast<void (*)(fd_termref_slot*)>(argument)(s); });
      break;
    case 5:  // reset
      if (!propagating) fd_queue_reset(env);
      break;
    case 6:  // $fd_labeling/7 hands over its alternative
      fd_label_step(env, reinterpret_cast<const uint32_t*>(argument), 0);
      break;
    case 7:  // a handle on the cleanup chain is due for release
      return fd_release_handle(env, static_cast<lv_term>(argument));
    default:
      break;
  }
  return 0;
}

void fd_free_definition_chain(void* env, uint64_t* chain) {
  fd_forget_definition_table(static_cast<lv_foreign_env*>(env), chain);
  fd_release_definition_chain(static_cast<lv_foreign_env*>(env), reinterpret_cast<void**>(chain));
}
