// Suspensions: propagator(EventMask, Kind, Status, Item) terms kept in a
// variable's attribute, added there and queued by event.
#include "kernel/attributes.h"
#include "kernel/engine.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"

namespace {

constexpr lv_term ZERO = fd_make_small(0);
constexpr lv_term ONE = fd_make_small(1);

// Conditional bits of an indexical's flag word: it runs only while its
// reification Boolean is open (both), 1 (0x40) or 0 (0x20).
constexpr int64_t IF_ZERO = 0x20, IF_ONE = 0x40;

// Kinds 4-8 go at the front when the variable was bound.
void push(const lv_foreign_env* env, int queue, lv_term item, int64_t mask) {
  if (mask < 0) fd_queue_push_front(env, queue, item);
  else fd_queue_push_back(env, queue, item);
}

bool indexical_may_run(lv_term item, int64_t flags) {
  int64_t cond = flags & (IF_ZERO | IF_ONE);
  if (cond == 0) return true;
  lv_term b = fd_deref(fd_arg(item, 7));
  lv_term value = fd_is_struct(b) ? fd_attribute_domain(b) : b;
  if (cond == (IF_ZERO | IF_ONE)) return !fd_is_small(value);
  return value == (cond == IF_ONE ? ONE : ZERO);
}

}  // namespace

int64_t fd_item_flags(lv_term item) {
  lv_term f = fd_deref(fd_arg(item, 3));
  return fd_is_small(f) ? fd_small_value(f) : 0;
}

void fd_set_item_flags(lv_term item, int64_t flags) { fd_struct_cells(item)[3] = fd_make_small(flags); }

void fd_enqueue(const lv_foreign_env* env, lv_term s, int64_t mask, lv_term value) {
  const lv_term* c = fd_struct_cells(s);
  int64_t m = fd_small_value(fd_deref(c[1]));
  if ((mask & m) == 0) return;
  int64_t kind = fd_small_value(fd_deref(c[2]));
  lv_term item = fd_deref(c[4]);
  switch (kind) {
    case FD_KIND_IMPLICATION_0:
    case FD_KIND_IMPLICATION_1:
      if (value == fd_make_small(kind)) fd_queue_push_front(env, 1, item);
      return;
    case FD_KIND_DISEQUATION: {
      if (value != ZERO && value != ONE) return;
      // The open-Boolean counter: the $mutable right behind the item.
      lv_term counter = fd_make_struct(fd_struct_cells(item) + 5);
      int64_t n = fd_small_value(fd_mutable_value(counter));
      fd_trail_assign(env, fd_make_small(n - 1), counter);
      if (n == 2) fd_queue_push_front(env, 2, item);
      return;
    }
    case FD_KIND_WATCHER: {
      // A clause-mode watcher only for one of the two literals its clause
      // watches now.
      if (fd_deref(fd_arg(item, 3)) == ZERO) {
        lv_term literal = fd_deref(fd_arg(item, 1));
        lv_term clause = fd_deref(fd_arg(item, 5));
        if (literal != fd_deref(fd_arg(clause, 1)) && literal != fd_deref(fd_arg(clause, 2))) return;
      }
      // The pair is pushed item last, so that it is read value first.
      fd_queue_push_front(env, 3, item);
      fd_queue_push_front(env, 3, value);
      return;
    }
    case FD_KIND_INDEXICAL: {
      int64_t flags = fd_item_flags(item);
      if ((flags & FD_PROP_QUEUED) || !indexical_may_run(item, flags)) return;
      fd_set_item_flags(item, flags | FD_PROP_QUEUED);
      push(env, 4, item, mask);
      return;
    }
    case FD_KIND_DAEMON: {
      int64_t flags = fd_item_flags(fd_deref(fd_arg(item, 1)));
      if ((flags & FD_PROP_RUNNING) && !(flags & FD_PROP_REQUEUE)) return;
      push(env, 5, item, mask);
      return;
    }
    case FD_KIND_GLOBAL_VAL:
    case FD_KIND_GLOBAL_MINMAX:
    case FD_KIND_GLOBAL_DOM: {
      int64_t flags = fd_item_flags(item);
      if (flags & FD_PROP_QUEUED) return;
      fd_set_item_flags(item, flags | FD_PROP_QUEUED);
      push(env, static_cast<int>(kind), item, mask);
      return;
    }
    default:
      return;
  }
}

void fd_enqueue_list(const lv_foreign_env* env, int64_t mask, lv_term attribute, lv_term value) {
  if (mask & FD_EVENT_BOUND) mask = -1;
  const lv_term* a = fd_struct_cells(attribute);
  lv_term array = fd_mutable_value(a[FD_ATTR_SUSPENSIONS]);
  lv_term count = fd_mutable_value(a[FD_ATTR_COUNT]);
  if (fd_functor_of(array) != FD_FUNCTOR_ARRAY1D_2 || !fd_is_small(count)) return;
  const lv_term* cells = fd_list_cells(fd_deref(fd_arg(array, 2)));
  int64_t n = fd_small_value(count);
  for (int64_t i = 0; i < n; i++) {
    lv_term s = fd_deref(cells[2 * i]);
    if (fd_functor_of(s) != FD_FUNCTOR_PROPAGATOR_4) continue;
    if (!fd_is_ref(fd_deref(fd_arg(s, 3)))) continue;  // dead
    fd_enqueue(env, s, mask, value);
  }
}

void fd_add_suspension(const lv_foreign_env* env, lv_term attribute, lv_term event, lv_term item, lv_term value,
                       int xreg) {
  fd_engine* w = fd_engine_of(env);
  const fd_solver_state* st = fd_state(env);
  // The event as a term (dom(_)) or as its functor word.
  event = fd_deref(event);
  lv_term ef = fd_is_struct(event) ? fd_functor_of(event) : event;
  int64_t mask = ef == fd_functor(FD_ATOM_DOM, 1)        ? int64_t{FD_EVENT_DOM}
                 : ef == st->functors[FD_F_MIN_1]        ? FD_EVENT_MIN
                 : ef == st->functors[FD_F_MAX_1]        ? FD_EVENT_MAX
                 : ef == st->functors[FD_F_MINMAX_1]     ? FD_EVENT_MIN | FD_EVENT_MAX
                 : ef == st->functors[FD_F_VAL_1]        ? FD_EVENT_VAL
                                                         : int64_t{0};
  lv_term array = fd_mutable_value(fd_struct_cells(attribute)[FD_ATTR_SUSPENSIONS]);
  int64_t capacity = fd_functor_of(array) == FD_FUNCTOR_ARRAY1D_2 ? fd_small_value(fd_deref(fd_arg(array, 1))) : 0;
  // The new array may have twice the capacity; then the suspension and a
  // fresh status variable.
  int64_t words = 4 * (capacity + 1) + 12;
  if (w->heap_hard_limit - w->H < words + FD_HEAP_RESERVE_CELLS) {
    w->X[xreg] = attribute;
    w->X[xreg + 1] = item;
    fd_rt::call_overflow(env, words, xreg + 2);
    attribute = w->X[xreg];
    item = w->X[xreg + 1];
  }
  attribute = fd_deref(attribute);
  item = fd_deref(item);
  const lv_term* a = fd_struct_cells(attribute);
  array = fd_mutable_value(a[FD_ATTR_SUSPENSIONS]);
  int64_t count = fd_small_value(fd_mutable_value(a[FD_ATTR_COUNT]));

  lv_term f = fd_functor_of(item);
  int64_t kind = 0;
  lv_term status = ZERO;
  if (f == fd_functor(FD_ATOM_INDEXICAL, 8)) {
    kind = FD_KIND_INDEXICAL;
    status = fd_arg(item, 4);
  } else if (f == fd_functor(FD_ATOM_DAEMON, 6)) {
    kind = FD_KIND_DAEMON;
    status = fd_arg(item, 4);
  } else if (f == fd_functor(FD_ATOM_GLOBAL, 6)) {
    kind = mask == FD_EVENT_VAL ? FD_KIND_GLOBAL_VAL : mask & (FD_EVENT_MIN | FD_EVENT_MAX) ? FD_KIND_GLOBAL_MINMAX
                                                                                          : FD_KIND_GLOBAL_DOM;
    status = fd_arg(item, 4);
  } else if (f == fd_functor(FD_ATOM_WATCHER, 5)) {
    kind = FD_KIND_WATCHER;
    status = fd_arg(item, 4);
  } else if (f == fd_functor(FD_ATOM_DISEQUATION, 4)) {
    kind = FD_KIND_DISEQUATION;
    lv_term* v = w->H++;
    *v = fd_make_ref(v);
    status = *v;
  } else if (f == fd_functor(FD_ATOM_IMPLICATION, 4)) {
    kind = fd_deref(value) == ONE ? FD_KIND_IMPLICATION_1 : FD_KIND_IMPLICATION_0;
    status = fd_arg(fd_deref(fd_arg(item, 1)), 1);
  }

  lv_term* s = w->H;
  w->H += 5;
  s[0] = FD_FUNCTOR_PROPAGATOR_4;
  s[1] = fd_make_small(mask);
  s[2] = fd_make_small(kind);
  s[3] = status;
  s[4] = item;

  bool is_array = fd_functor_of(array) == FD_FUNCTOR_ARRAY1D_2;
  capacity = is_array ? fd_small_value(fd_deref(fd_arg(array, 1))) : 0;
  lv_term* cells = is_array ? fd_list_cells(fd_deref(fd_arg(array, 2))) : nullptr;
  if (!is_array || count == capacity || fd_older_than_choice(w, fd_struct_cells(array))) {
    int64_t next = count == 0 ? 2 : count == capacity ? 2 * capacity : capacity;
    lv_term* h = w->H;
    w->H += 3 + 2 * next;
    lv_term* run = h + 3;
    for (int64_t i = 0; i < next; i++) {
      run[2 * i] = i < count ? cells[2 * i] : FD_NIL;
      run[2 * i + 1] = i + 1 < next ? fd_make_list(run + 2 * i + 2) : FD_NIL;
    }
    h[0] = FD_FUNCTOR_ARRAY1D_2;
    h[1] = fd_make_small(next);
    h[2] = fd_make_list(run);
    fd_trail_assign(env, fd_make_struct(h), a[FD_ATTR_SUSPENSIONS]);
    cells = run;
  }
  cells[2 * count] = fd_make_struct(s);
  fd_trail_assign(env, fd_make_small(count + 1), a[FD_ATTR_COUNT]);
}
