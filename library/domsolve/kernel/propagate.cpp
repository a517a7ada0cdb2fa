// The propagation loop: serves the queues, lowest set mask bit first, doing
// in C all it can and stopping at an indexical or a propagator to run.
#include "kernel/attributes.h"
#include "kernel/engine.h"
#include "kernel/fdset.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

fd_queue_block* block_of(const lv_foreign_env* env) { return fd_state(env)->queues; }

void clear_bit(fd_queue_block* b, int q) { b->mask &= ~(1u << q); }
void clear_bit_when_empty(fd_queue_block* b, int q) {
  if (fd_queue_empty(b->queues[q])) clear_bit(b, q);
}

// A coreferenced variable's value shared with every partner on the list.
int share_value(lv_foreign_env* env, lv_term event_word, lv_term list, lv_term base) {
  int64_t event = fd_small_value(event_word);
  int64_t v = fd_small_value(base);
  // Room for a queued binding per partner first, so that nothing moves
  // while the list is walked.
  fd_engine* w = fd_engine_of(env);
  int64_t words = 3 * fd_list_length(list) + FD_HEAP_RESERVE_CELLS;
  if (w->heap_hard_limit - w->H < words) {
    w->X[0] = list;
    fd_rt::call_overflow(env, words, 1);
    list = w->X[0];
  }
  for (lv_term t = fd_deref(list); fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
    lv_term entry = fd_deref(fd_list_cells(t)[0]);
    int64_t key = fd_small_value(fd_deref(fd_arg(entry, 1)));
    lv_term attribute = fd_deref(fd_arg(entry, 2));
    lv_term value = fd_make_small(v - key);
    lv_term var = fd_deref(fd_arg(attribute, FD_ATTR_VAR));
    if (!fd_is_ref(var)) {
      // Only a value shared must agree with a partner bound meanwhile; an
      // older item of a bounds or domain change carries no value.
      if ((event & FD_EVENT_VAL) != 0 && var != value) return 0;
      continue;
    }
    int64_t e = fd_prune_and_wake(env, var, event, value, 1);
    if (e > 0) fd_enqueue_list(env, e, attribute, value);
  }
  return 1;
}

// Serves one daemon item: 0 failure, 1 go on. The daemon gets the
// propagator in a slot the engine hook keeps valid, since it may make heap
// room (and may update the term there).
int run_daemon(lv_foreign_env* env, lv_term item) {
  if (!fd_is_ref(fd_deref(fd_arg(item, 4)))) return 1;
  lv_term* slot = &fd_tables(env)->daemon_propagator.term;
  *slot = fd_deref(fd_arg(item, 1));
  auto* cell = static_cast<lv_term*>(fd_term_pointer(fd_deref(fd_arg(item, 2))));
  void* block = fd_term_pointer(fd_deref(fd_arg(item, 6)));
  int64_t queue = fd_small_value(fd_deref(fd_arg(item, 5)));
  fd_scratch_reset(env);
  auto daemon = reinterpret_cast<fd_daemon_fn>(static_cast<void**>(block)[1]);
  int64_t r = daemon(env, block, cell, slot);
  lv_term prop = fd_deref(*slot);
  *slot = FD_NIL;
  if (r == 1 || r == 3) {
    int64_t flags = fd_item_flags(prop);
    if ((flags & FD_PROP_QUEUED) == 0) {
      // Marked queued, as every other way of queueing a propagator does, so
      // that two daemons of one propagator do not queue it twice.
      fd_set_item_flags(prop, flags | FD_PROP_QUEUED);
      fd_queue_push_back(env, static_cast<int>(queue), prop);
    }
  } else if (r == 4) {
    fd_bump_weights(prop);
    return 0;
  }
  return 1;
}

// The pending bindings of variables that carry other attributes too.
int run_bindings(lv_foreign_env* env) {
  fd_queue_block* b = block_of(env);
  fd_queue& q = b->queues[FD_QUEUE_BINDINGS];
  fd_engine* w = fd_engine_of(env);
  const lv_module* module = fd_state(env)->module;
  for (fd_termref_slot* s = q.head; s != q.tail;) {
    lv_term var = fd_deref(fd_arg(s->term, 1));
    if (fd_is_ref(var)) fd_rt::delete_attributes(env, var, module);
    if (++s == q.end) s = q.start;
  }
  int result = 1;
  while (!fd_queue_empty(q)) {
    lv_term item = fd_queue_take(env, FD_QUEUE_BINDINGS);
    lv_term var = fd_deref(fd_arg(item, 1));
    lv_term value = fd_deref(fd_arg(item, 2));
    if (fd_is_ref(var)) {
      fd_bind(env, fd_ref_cell(var), value);
      fd_request_event(w);
      w->wakeup_count++;
    } else if (var != value) {
      result = -1;
      break;
    }
  }
  q.head = q.tail = q.start;
  clear_bit(b, FD_QUEUE_BINDINGS);
  return result;
}

}  // namespace

void fd_bump_weights(lv_term propagator) {
  for (lv_term t = fd_deref(fd_arg(propagator, 5)); fd_is_list(t); t = fd_deref(fd_list_cells(t)[1])) {
    lv_term entry = fd_deref(fd_list_cells(t)[0]);
    if (!fd_is_compound_struct(entry) || fd_functor_arity(fd_functor_of(entry)) < 1) continue;
    lv_term attribute = fd_deref(fd_arg(entry, 1));
    if (fd_functor_of(attribute) != FD_FUNCTOR_V_7) continue;
    lv_term* weight = &fd_struct_cells(attribute)[FD_ATTR_WEIGHT];
    lv_term v = fd_deref(*weight);
    if (fd_is_small(v) && fd_small_value(v) < FD_SMALL_MAX) *weight = fd_make_small(fd_small_value(v) + 1);
  }
}

int fd_propagate(lv_foreign_env* env, lv_term* out, int64_t) {
  fd_queue_block* b = block_of(env);
  int result = 0;
  while (b->mask != 0) {
    int q = __builtin_ctz(b->mask);
    switch (q) {
      case 0:
        while (!fd_queue_empty(b->queues[0])) {
          fd_queue_take(env, 0);  // the domain, which the partners already hold
          lv_term event = fd_queue_take(env, 0);
          lv_term list = fd_queue_take(env, 0);
          lv_term base = fd_queue_take(env, 0);
          if (!share_value(env, event, list, base)) {
            result = -1;
            goto done;
          }
        }
        clear_bit(b, 0);
        break;
      case 1:
        while (!fd_queue_empty(b->queues[1])) {
          int r = fd_implication_handler(env, fd_queue_take(env, 1));
          if (r <= 0) {
            result = r == 0 ? -1 : -2;
            goto done;
          }
        }
        clear_bit(b, 1);
        break;
      case 2: {
        lv_term item = fd_queue_take(env, 2);
        clear_bit_when_empty(b, 2);
        int r = fd_disequation_handler(env, item);
        if (r <= 0) {
          result = r == 0 ? -1 : -2;
          goto done;
        }
        break;
      }
      case 3: {
        lv_term value = fd_queue_take(env, 3);
        lv_term item = fd_queue_take(env, 3);
        clear_bit_when_empty(b, 3);
        if (fd_is_ref(fd_deref(fd_arg(item, 4)))) {
          int r = fd_watcher_handler(env, value, item);
          if (r <= 0) {
            result = r == 0 ? -1 : -2;
            goto done;
          }
        }
        break;
      }
      case 4:
      case 6:
      case 7:
      case 8:
        while (!fd_queue_empty(b->queues[q])) {
          lv_term item = fd_queue_take(env, q);
          if (fd_is_ref(fd_deref(fd_arg(item, 4)))) {
            clear_bit_when_empty(b, q);
            *out = item;
            result = q == 4 ? 1 : 2;
            goto done;
          }
          fd_set_item_flags(item, fd_item_flags(item) & ~FD_PROP_QUEUED);
        }
        clear_bit(b, q);
        break;
      case 5:
        while (!fd_queue_empty(b->queues[5])) {
          if (!run_daemon(env, fd_queue_take(env, 5))) {
            result = -1;
            goto done;
          }
        }
        clear_bit(b, 5);
        break;
      case FD_QUEUE_BINDINGS:
        if (run_bindings(env) < 0) {
          result = -1;
          goto done;
        }
        break;
      default:
        clear_bit(b, q);
        break;
    }
  }
done:
  return result;
}
