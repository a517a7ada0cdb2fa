// element and element_member.
//
// element: Y is the X-th entry of a list L of n entries (X counts from 1).
// State: s(XPair, YPair, L, Options, Handle, Stamp), the pairs p(V,
// Attribute). Option bit 0: L holds integers (bit 1 then asks for domain
// consistency on Y, bounds otherwise); else bit 2: Y and the entries are
// 0/1 variables; else L holds pairs of general variables. The list
// variables carry a daemon that wakes the propagator only when the changed
// entry's index is still in X's domain; X and Y wake it through the
// suspensions made at posting.
//
// element_member: X equals at least one entry of a list L of n variables.
// State: s(XPair, L, Options, Live, Handle, Stamp); option bit 0: X and the
// entries are 0/1. The general variant keeps the entries that may still
// equal X (the live ones) in the prefix of an order array; Live, their
// number in this version of the state, brings the live set back after
// backtracking since the array is only ever permuted inside that prefix.
//
// X's domain is cut to 1..n at the first call of element (the list is
// indexed by its values), and a 0/1 variant whose variables are not all 0/1
// runs as the general one.
#include <algorithm>

#include "global/interval_bag.h"
#include "global/pairs.h"
#include "kernel/attributes.h"
#include "kernel/errors.h"
#include "kernel/foreign_predicates.h"
#include "kernel/handles.h"
#include "kernel/memory.h"
#include "kernel/propagation.h"
#include "kernel/solver_state.h"
#include "kernel/state_terms.h"
#include "kernel/term_helpers.h"

namespace {

enum variant : int32_t { INTEGERS, BOOLEANS, GENERAL };

lv_term dom_event() { return fd_functor(FD_ATOM_DOM, 1); }

// The code of a 0/1 record: 1 fixed at 0, 2 fixed at 1, 3 open.
int code(const dvar_bounds* b) {
  return static_cast<int>((fd_small_value(b->min) + 1) | (fd_small_value(b->max) + 1));
}

// Whether a pair's variable lies within 0..1.
bool boolean_pair(lv_term pair) {
  lv_term d = fd_attribute_domain(fd_deref(fd_arg(fd_deref(pair), 2)));
  lv_term lo = fd_is_struct(d) ? fd_deref(fd_arg(d, 2)) : d;
  lv_term hi = fd_is_struct(d) ? fd_deref(fd_arg(d, 3)) : d;
  return fd_bound_compare(lo, fd_make_small(0)) >= 0 && fd_bound_compare(hi, fd_make_small(1)) <= 0;
}

bool booleans(lv_term list) {
  for (list = fd_deref(list); fd_is_list(list); list = fd_deref(fd_list_cells(list)[1]))
    if (!boolean_pair(fd_list_cells(list)[0])) return false;
  return true;
}

// ---------------------------------------------------------------------------
// element

struct element_block {
  void (*destroy)(void*);
  fd_daemon_fn daemon;
  lv_foreign_env* env;
  fd_termref_slot* refs;  // X's pair, Y's pair, then one per entry
  int32_t n, options, kind, unused;
  dvar x, y;
  dvar_bounds yb;
  lv_term* values;     // integers: values[1..n], tagged
  dvar* items;         // general: items[1..n]
  dvar_bounds* bools;  // 0/1: bools[1..n]
};

void element_destroy(void* p) {
  auto* b = static_cast<element_block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

// A list variable changed: run when its index is still one of X's values.
int64_t element_daemon(lv_foreign_env* env, void* p, lv_term* cell, lv_term*) {
  auto* b = static_cast<element_block*>(p);
  int64_t i = fd_pair_index(b->refs, cell) - 1;
  dvar_refresh(env, &b->x);
  return dvar_contains(&b->x, fd_make_small(i)) ? 1 : 2;
}

element_block* element_create(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref goal, int32_t kind,
                              int64_t n, int32_t options) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  size_t per_item = kind == INTEGERS ? sizeof(lv_term) : kind == BOOLEANS ? sizeof(dvar_bounds) : sizeof(dvar);
  size_t size = sizeof(element_block) + static_cast<size_t>(n + 1) * per_item;
  auto* b = static_cast<element_block*>(fd_new_handle_block(env, size, fd_arg(state, 5), 0));
  *b = element_block{};
  b->destroy = element_destroy;
  b->daemon = kind == INTEGERS ? nullptr : element_daemon;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  b->options = options;
  b->kind = kind;
  void* tail = b + 1;
  if (kind == INTEGERS) b->values = static_cast<lv_term*>(tail);
  else if (kind == BOOLEANS) b->bools = static_cast<dvar_bounds*>(tail);
  else b->items = static_cast<dvar*>(tail);
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(kind == INTEGERS ? 4 : 2 * n + 4));
  state = fd_deref(fd_termref(env, new_state));
  fd_pair_take(env, fd_arg(state, 1), &b->refs[0], &b->x);
  if (kind == BOOLEANS) fd_pair_take_bounds(env, fd_arg(state, 2), &b->refs[2], &b->yb);
  else fd_pair_take(env, fd_arg(state, 2), &b->refs[2], &b->y);
  int64_t i = 1;
  for (lv_term l = fd_deref(fd_arg(state, 3)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]), i++) {
    lv_term e = fd_list_cells(l)[0];
    if (kind == INTEGERS) b->values[i] = fd_deref(e);
    else if (kind == BOOLEANS) fd_pair_take_bounds(env, e, &b->refs[2 * i + 2], &b->bools[i]);
    else fd_pair_take(env, e, &b->refs[2 * i + 2], &b->items[i]);
  }
  // Daemons on the list variables (attaching may move the heap: every
  // record is read again before use).
  for (i = 1; i <= n; i++) {
    if (kind == BOOLEANS) dvar_attach_daemon_bounds(env, &b->bools[i], b, goal, dom_event(), 0);
    else if (kind == GENERAL) dvar_attach_daemon(env, &b->items[i], b, goal, dom_event(), 0);
  }
  return b;
}

bool element_state_well_formed(lv_term state) {
  if (!fd_is_compound_struct(state) || fd_functor_arity(fd_functor_of(state)) != 6) return false;
  if (!fd_is_pair(fd_arg(state, 1)) || !fd_is_pair(fd_arg(state, 2)) || !fd_is_small(fd_deref(fd_arg(state, 4))))
    return false;
  lv_term list = fd_arg(state, 3);
  return fd_small_value(fd_deref(fd_arg(state, 4))) & 1 ? fd_small_list_well_formed(list)
                                                         : fd_pair_list_well_formed(list);
}

// E1: a list of integers.
int element_integers(lv_foreign_env* env, element_block* b) {
  dvar* x = &b->x;
  dvar* y = &b->y;
  if (dvar_is_fixed(x)) return dvar_fix_value(env, y, b->values[fd_small_value(x->min)]) < 0 ? 4 : 3;
  dvar_iter it;
  if (dvar_is_fixed(y)) {
    fdset_builder keep;
    fdset_builder_init(&keep);
    for (dvar_iter_init(x, &it); !dvar_iter_done(&it);) {
      int64_t i = dvar_iter_next(&it);
      if (b->values[i] == y->min) fdset_builder_add_value(env, &keep, fd_make_small(i));
    }
    return dvar_fix_set(env, x, keep.head) < 0 ? 4 : 3;
  }
  fdset_builder removed;
  fdset_builder_init(&removed);
  if (b->options & 2) {
    // Domain consistency on Y: the distinct values of the supported indexes.
    int64_t size = dvar_size(x), count = 0;
    auto* scratch = fdset_alloc(env, size);
    bool sorted = true;
    for (dvar_iter_init(x, &it); !dvar_iter_done(&it);) {
      int64_t i = dvar_iter_next(&it);
      lv_term v = b->values[i];
      if (!dvar_contains(y, v)) {
        fdset_builder_add_value(env, &removed, fd_make_small(i));
      } else if (count == 0 || scratch[count - 1] != v) {
        if (count > 0 && fd_small_value(v) < fd_small_value(scratch[count - 1])) sorted = false;
        scratch[count++] = v;
      }
    }
    if (count == 0) return 4;
    if (!sorted)
      fd_quicksort(scratch, count, [](lv_term a, lv_term c) {
        return fd_compare_longs(fd_small_value(a), fd_small_value(c));
      });
    fdset_builder supported;
    fdset_builder_init(&supported);
    for (int64_t k = 0; k < count; k++)
      if (k == 0 || scratch[k] != scratch[k - 1]) fdset_builder_add_value(env, &supported, scratch[k]);
    if (dvar_prune_set(env, x, removed.head) < 0 || dvar_fix_set(env, y, supported.head) < 0) return 4;
  } else {
    // Bounds on Y: the least and greatest supported value.
    int64_t lo = FD_KEY_SUP, hi = FD_KEY_INF;
    for (dvar_iter_init(x, &it); !dvar_iter_done(&it);) {
      int64_t i = dvar_iter_next(&it);
      lv_term v = b->values[i];
      if (dvar_contains(y, v)) {
        lo = std::min(lo, fd_small_value(v));
        hi = std::max(hi, fd_small_value(v));
      } else {
        fdset_builder_add_value(env, &removed, fd_make_small(i));
      }
    }
    if (hi < lo) return 4;
    if (dvar_prune_set(env, x, removed.head) < 0 ||
        dvar_fix_interval(env, y, fd_make_small(lo), fd_make_small(hi)) < 0)
      return 4;
  }
  return dvar_is_fixed(y) ? 3 : 2;
}

// E4: the 0/1 records a and c made equal.
int equate(lv_foreign_env* env, const dvar_bounds* a, const dvar_bounds* c, lv_term_ref actions) {
  int ca = code(a), cc = code(c);
  if (ca != 3 && cc != 3) return ca == cc ? 3 : 4;
  if (ca == 3 && cc == 3) return 2;
  const dvar_bounds* open = ca == 3 ? a : c;
  int64_t value = (ca == 3 ? cc : ca) - 1;
  return dvar_fix_value_and_export(env, open, value, actions, 0) ? 3 : 4;
}

// E2: Y and the entries 0/1.
int element_booleans(lv_foreign_env* env, element_block* b, lv_term_ref actions) {
  dvar* x = &b->x;
  int status;
  if (dvar_is_fixed(x)) {
    dvar_bounds* item = &b->bools[fd_small_value(x->min)];
    fd_bounds_refresh(item);
    status = equate(env, item, &b->yb, actions);
  } else {
    int yc = code(&b->yb), bits = 0;
    fdset_builder removed;
    fdset_builder_init(&removed);
    dvar_iter it;
    for (dvar_iter_init(x, &it); !dvar_iter_done(&it);) {
      int64_t i = dvar_iter_next(&it);
      fd_bounds_refresh(&b->bools[i]);
      int c = code(&b->bools[i]);
      if (yc & c) bits |= c;
      else fdset_builder_add_value(env, &removed, fd_make_small(i));
    }
    if (dvar_prune_set(env, x, removed.head) < 0) return 4;
    if (dvar_is_fixed(x)) status = equate(env, &b->bools[fd_small_value(x->min)], &b->yb, actions);
    else if (bits == 1 || bits == 2)
      status = dvar_fix_value_and_export(env, &b->yb, bits - 1, actions, 0) ? 3 : 4;
    else status = 2;
  }
  if (status == 4) return 4;
  dvar* records[] = {x};
  fd_export_records(env, records, 1, actions);
  return status;
}

// E3: general entries. *touched receives the entry whose record changed.
int element_general(lv_foreign_env* env, element_block* b, dvar** touched) {
  dvar* x = &b->x;
  dvar* y = &b->y;
  auto fixed_index = [&](int64_t i) {
    dvar* item = &b->items[i];
    *touched = item;
    if (dvar_fix_set(env, item, dvar_get_set(env, y)) < 0 || dvar_fix_set(env, y, dvar_get_set(env, item)) < 0)
      return 4;
    return dvar_is_fixed(item) ? 3 : 2;
  };
  if (dvar_is_fixed(x)) {
    int64_t i = fd_small_value(x->min);
    dvar_refresh(env, &b->items[i]);
    return fixed_index(i);
  }
  fdset ys = dvar_get_set(env, y);
  fdset_builder removed;
  fdset_builder_init(&removed);
  fd_interval_bag u;
  fd_interval_bag_init(&u);
  dvar_iter it;
  for (dvar_iter_init(x, &it); !dvar_iter_done(&it);) {
    int64_t i = dvar_iter_next(&it);
    dvar* item = &b->items[i];
    dvar_refresh(env, item);
    if (dvar_intersects_set(env, item, ys)) fd_interval_bag_add_set(env, &u, dvar_get_set(env, item));
    else fdset_builder_add_value(env, &removed, fd_make_small(i));
  }
  fdset union_set = fd_interval_bag_set(&u);
  if (union_set == FD_NIL) return 4;
  if (dvar_prune_set(env, x, removed.head) < 0 || dvar_fix_set(env, y, union_set) < 0) return 4;
  if (dvar_is_fixed(x)) return fixed_index(fd_small_value(x->min));
  return 2;
}

// ---------------------------------------------------------------------------
// element_member

struct member_block {
  void (*destroy)(void*);
  fd_daemon_fn daemon;
  lv_foreign_env* env;
  fd_termref_slot* refs;  // X's pair, then one per entry
  int32_t n, live, options, kind;
  int32_t seen0, seen1;  // 0/1: entries last seen fixed at 0 and at 1, -1 for none
  dvar x;
  dvar_bounds xb;
  int32_t *order, *scratch, *position;
  dvar* items;         // general: items[0..n-1]
  dvar_bounds* bools;  // 0/1: bools[0..n-1]
};

void member_destroy(void* p) {
  auto* b = static_cast<member_block*>(p);
  fd_rt::free_globrefs(b->env, b->refs);
  fd_free(b->env, b);
}

// The live count of the state in force (the propagator's mutable).
int64_t live_of(lv_term propagator) {
  lv_term state = fd_mutable_value(fd_arg(fd_deref(propagator), 1));
  return fd_small_value(fd_deref(fd_arg(state, 4)));
}

// General: an entry changed; run when it is live in the state in force.
int64_t member_daemon(lv_foreign_env*, void* p, lv_term* cell, lv_term* propagator) {
  auto* b = static_cast<member_block*>(p);
  int64_t i = fd_pair_index(b->refs, cell) - 1;
  return b->position[i] < live_of(*propagator) ? 1 : 2;
}

// 0/1: whether another entry than a is fixed at value v (the hint first),
// and the number of other entries still open.
bool other_fixed(member_block* b, int32_t a, int v, int32_t* hint) {
  int32_t h = *hint;
  *hint = -1;
  if (h >= 0 && h != a) {
    fd_bounds_refresh(&b->bools[h]);
    if (code(&b->bools[h]) == v + 1) {
      *hint = h;
      return true;
    }
  }
  for (int32_t j = 0; j < b->n; j++) {
    if (j == a) continue;
    fd_bounds_refresh(&b->bools[j]);
    if (code(&b->bools[j]) == v + 1) {
      *hint = j;
      return true;
    }
  }
  return false;
}
int32_t others_open(member_block* b, int32_t a) {
  int32_t open = 0;
  for (int32_t j = 0; j < b->n; j++) {
    if (j == a) continue;
    fd_bounds_refresh(&b->bools[j]);
    if (code(&b->bools[j]) == 3) open++;
  }
  return open;
}

int64_t member_bool_daemon(lv_foreign_env*, void* p, lv_term* cell, lv_term*) {
  auto* b = static_cast<member_block*>(p);
  auto a = static_cast<int32_t>(fd_pair_index(b->refs, cell) - 1);
  fd_bounds_refresh(&b->xb);
  fd_bounds_refresh(&b->bools[a]);
  int xc = code(&b->xb), c = code(&b->bools[a]);
  if (xc != 3) {
    if (c == xc) return 3;
    if (c != 3) return others_open(b, a) <= 1 ? 1 : 2;
    return 2;
  }
  if (c == 3) return 2;
  // An entry fixed at each value: some entry equals X whatever it takes.
  if (c == 1 && other_fixed(b, a, 1, &b->seen1)) return 3;
  if (c == 2 && other_fixed(b, a, 0, &b->seen0)) return 3;
  return others_open(b, a) == 0 ? 1 : 2;
}

member_block* member_create(lv_foreign_env* env, lv_term_ref new_state, lv_term_ref goal, int32_t kind, int64_t n,
                            int32_t options) {
  lv_term state = fd_deref(fd_termref(env, new_state));
  size_t per_item = kind == BOOLEANS ? sizeof(dvar_bounds) : sizeof(dvar) + 3 * sizeof(int32_t);
  size_t size = sizeof(member_block) + static_cast<size_t>(n) * per_item;
  auto* b = static_cast<member_block*>(fd_new_handle_block(env, size, fd_arg(state, 5), 0));
  *b = member_block{};
  b->destroy = member_destroy;
  b->daemon = kind == BOOLEANS ? member_bool_daemon : member_daemon;
  b->env = env;
  b->n = static_cast<int32_t>(n);
  b->live = b->n;
  b->options = options;
  b->kind = kind;
  b->seen0 = b->seen1 = -1;
  if (kind == BOOLEANS) {
    b->bools = reinterpret_cast<dvar_bounds*>(b + 1);
  } else {
    b->items = reinterpret_cast<dvar*>(b + 1);
    b->order = reinterpret_cast<int32_t*>(b->items + n);
    b->scratch = b->order + n;
    b->position = b->scratch + n;
    for (int32_t i = 0; i < b->n; i++) b->order[i] = b->position[i] = i;
  }
  b->refs = fd_rt::alloc_globrefs(env, static_cast<uint64_t>(2 * n + 2));
  state = fd_deref(fd_termref(env, new_state));
  if (kind == BOOLEANS) fd_pair_take_bounds(env, fd_arg(state, 1), &b->refs[0], &b->xb);
  else fd_pair_take(env, fd_arg(state, 1), &b->refs[0], &b->x);
  int64_t i = 0;
  for (lv_term l = fd_deref(fd_arg(state, 2)); fd_is_list(l); l = fd_deref(fd_list_cells(l)[1]), i++) {
    if (kind == BOOLEANS) fd_pair_take_bounds(env, fd_list_cells(l)[0], &b->refs[2 * i + 2], &b->bools[i]);
    else fd_pair_take(env, fd_list_cells(l)[0], &b->refs[2 * i + 2], &b->items[i]);
  }
  fd_struct_cells(state)[4] = fd_make_small(n);
  for (i = 0; i < n; i++) {
    if (kind == BOOLEANS) dvar_attach_daemon_bounds(env, &b->bools[i], b, goal, dom_event(), 0);
    else dvar_attach_daemon(env, &b->items[i], b, goal, dom_event(), 0);
  }
  return b;
}

bool member_state_well_formed(lv_term state) {
  return fd_is_compound_struct(state) && fd_functor_arity(fd_functor_of(state)) == 6 && fd_is_pair(fd_arg(state, 1)) &&
         fd_pair_list_well_formed(fd_arg(state, 2)) && fd_is_small(fd_deref(fd_arg(state, 3))) &&
         fd_is_small(fd_deref(fd_arg(state, 4)));
}

// M4: X and the entries 0/1.
int member_booleans(lv_foreign_env* env, member_block* b, lv_term_ref actions) {
  fd_bounds_refresh(&b->xb);
  int xc = code(&b->xb);
  int32_t seen0 = -1, seen1 = -1, open = 0, last_open = -1;
  for (int32_t j = 0; j < b->n; j++) {
    fd_bounds_refresh(&b->bools[j]);
    int c = code(&b->bools[j]);
    if (c == 3) {
      open++;
      last_open = j;
      continue;
    }
    if (c == xc) return 3;
    if (xc == 3 && ((c == 1 && seen1 >= 0) || (c == 2 && seen0 >= 0))) return 3;
    if (c == 1) seen0 = j;
    else seen1 = j;
  }
  if (xc != 3) {
    if (open == 0) return 4;
    if (open == 1) return dvar_fix_value_and_export(env, &b->bools[last_open], xc - 1, actions, 0) ? 3 : 4;
  } else if (open == 0) {
    // Every entry fixed at one value (none at all: nothing X can equal).
    if (b->n == 0) return 4;
    return dvar_fix_value_and_export(env, &b->xb, seen1 >= 0 ? 1 : 0, actions, 0) ? 3 : 4;
  }
  b->seen0 = seen0;
  b->seen1 = seen1;
  return 2;
}

// M1-M3: general entries. *live_out receives the new live count.
int member_general(lv_foreign_env* env, member_block* b, int64_t m, int64_t* live_out, dvar** one) {
  dvar* x = &b->x;
  *live_out = m;
  if (m <= 0) return 4;
  fdset t = dvar_get_set(env, x), f = t;
  int32_t front = 0, back = static_cast<int32_t>(m) - 1;
  for (int32_t p = 0; p < m; p++) {
    int32_t k = b->order[p];
    dvar* item = &b->items[k];
    dvar_refresh(env, item);
    bool live;
    if (dvar_is_fixed(item)) {
      live = dvar_contains(x, item->min) != 0;
      if (live) {
        t = fdset_delete_value(env, t, item->min);
        f = fdset_delete_value(env, f, item->min);
        if (f == FD_NIL) return 3;
      }
    } else {
      live = dvar_intersects_set(env, item, dvar_get_set(env, x)) != 0;
      if (live) t = fdset_subtract(env, t, dvar_get_set(env, item));
    }
    if (live) b->scratch[front++] = k;
    else b->scratch[back--] = k;
  }
  for (int32_t p = 0; p < m; p++) {
    b->order[p] = b->scratch[p];
    b->position[b->scratch[p]] = p;
  }
  *live_out = front;
  if (front == 0) return 4;
  if (front == 1) {
    dvar* item = &b->items[b->order[0]];
    *one = item;
    if (dvar_fix_set(env, item, dvar_get_set(env, x)) < 0 || dvar_fix_set(env, x, dvar_get_set(env, item)) < 0)
      return 4;
    return dvar_is_fixed(x) ? 3 : 2;
  }
  if (t != FD_NIL && dvar_prune_set(env, x, t) < 0) return 4;
  return fdset_compare(t, f) == FDSET_EQUAL ? 3 : 2;
}

}  // namespace

int element(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  element_block* b;
  if (fd_is_ref(handle)) {
    if (!element_state_well_formed(state)) {
      fd_raise_system_error(env, "element: malformed state");
      return 0;
    }
    int64_t n = fd_proper_length(fd_arg(state, 3));
    if (n == 0) return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
    auto options = static_cast<int32_t>(fd_small_value(fd_deref(fd_arg(state, 4))));
    int32_t kind = options & 1 ? INTEGERS
                   : options & 4 && boolean_pair(fd_arg(state, 2)) && booleans(fd_arg(state, 3)) ? BOOLEANS
                                                                                                 : GENERAL;
    b = element_create(env, new_state, goal, kind, n, options);
  } else {
    b = static_cast<element_block*>(fd_handle_pointer(handle));
  }
  dvar_refresh(env, &b->x);
  // The list is indexed by X's values: none outside 1..n.
  if (dvar_fix_interval(env, &b->x, fd_make_small(1), fd_make_small(b->n)) < 0)
    return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
  int status;
  if (b->kind == INTEGERS) {
    dvar_refresh(env, &b->y);
    status = element_integers(env, b);
    if (status != 4) {
      dvar* records[] = {&b->x, &b->y};
      fd_export_records(env, records, 2, actions);
    }
  } else if (b->kind == BOOLEANS) {
    fd_bounds_refresh(&b->yb);
    status = element_booleans(env, b, actions);
  } else {
    dvar_refresh(env, &b->y);
    dvar* touched = nullptr;
    status = element_general(env, b, &touched);
    if (status != 4) {
      dvar* records[] = {&b->x, &b->y, touched};
      fd_export_records(env, records, touched != nullptr ? 3 : 2, actions);
    }
  }
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}

int element_member(lv_foreign_env* env, fd_t state_ref, fd_t new_state, fd_t actions, fd_t goal) {
  lv_term handle;
  lv_term state = fd_propagator_begin(env, state_ref, new_state, actions, &handle);
  member_block* b;
  if (fd_is_ref(handle)) {
    if (!member_state_well_formed(state)) {
      fd_raise_system_error(env, "element_member: malformed state");
      return 0;
    }
    int64_t n = fd_proper_length(fd_arg(state, 2));
    auto options = static_cast<int32_t>(fd_small_value(fd_deref(fd_arg(state, 3))));
    int32_t kind = options & 1 && boolean_pair(fd_arg(state, 1)) && booleans(fd_arg(state, 2)) ? BOOLEANS : GENERAL;
    if (n == 0) return fd_propagator_exit(env, new_state, actions, goal, 4, 0);
    b = member_create(env, new_state, goal, kind, n, options);
    state = fd_deref(fd_termref(env, new_state));
  } else {
    b = static_cast<member_block*>(fd_handle_pointer(handle));
  }
  if (b->kind == BOOLEANS)
    return fd_propagator_exit(env, new_state, actions, goal, member_booleans(env, b, actions), 0);
  dvar_refresh(env, &b->x);
  int64_t live;
  dvar* one = nullptr;
  int status = member_general(env, b, fd_small_value(fd_deref(fd_arg(state, 4))), &live, &one);
  if (status != 4) {
    b->live = static_cast<int32_t>(live);
    fd_struct_cells(fd_deref(fd_termref(env, new_state)))[4] = fd_make_small(live);
    dvar* records[] = {&b->x, one};
    fd_export_records(env, records, one != nullptr ? 2 : 1, actions);
  }
  return fd_propagator_exit(env, new_state, actions, goal, status, 0);
}
