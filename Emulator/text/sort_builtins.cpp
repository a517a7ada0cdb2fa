// $sort and $keysort: a natural merge sort of list cells copied to the heap
// top. Each element gets a cell {element, link}; runs are chains of these
// cells, relinked in place, and the sorted chain becomes the result list.
#include "text/sort_builtins.h"

#include "core/atoms.h"
#include "core/bind.h"
#include "core/errors.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_compare.h"
#include "core/text_lists.h"

namespace {

constexpr lv_term FUNCTOR_MINUS_2 = lv_predefined_atom(7) | (lv_term{2} << 55);
constexpr int MAX_RUNS = 64;

// A run: its first and last cell; the last cell's link is not kept.
struct run {
  lv_term* first;
  lv_term* last;
};

class sorter {
 public:
  sorter(lv_worker* w, bool keys) : w_(w), keys_(keys) {}

  // The key a cell is ordered by: the element, or a pair's key.
  lv_term key(const lv_term* cell) const { return keys_ ? lv_struct_cells(cell[0])[1] : cell[0]; }

  int compare(const lv_term* a, const lv_term* b) const { return lv_standard_order(w_, key(a), key(b)); }

  // Runs from n cells at cells[0..2n): each cell's link is set as cells
  // join runs; returns the first cell of the sorted chain, whose last link
  // is [].
  lv_term* sort(lv_term* cells, int64_t n) {
    int64_t count = 0;
    int64_t i = 0;
    while (i < n) {
      run r = {&cells[2 * i], &cells[2 * i]};
      for (i++; i < n; i++) {
        lv_term* c = &cells[2 * i];
        int at_end = compare(c, r.last);
        if (at_end > 0) {
          link(r.last, c);
          r.last = c;
          continue;
        }
        if (at_end == 0 && !keys_) continue;  // a duplicate is dropped
        int at_front = compare(c, r.first);
        if (at_front < 0) {
          link(c, r.first);
          r.first = c;
          continue;
        }
        if (at_front == 0 && !keys_) continue;
        break;
      }
      push(r, ++count);
    }
    run r = stack_[--depth_];
    while (depth_ > 0) r = merge(stack_[--depth_], r);
    r.last[1] = LV_ATOM_NIL;
    return r.first;
  }

 private:
  static void link(lv_term* from, lv_term* to) { from[1] = lv_make_list(to); }

  // The k-th run: merged with the runs below it as a binary counter
  // carries, so that merged runs stay of similar lengths.
  void push(run r, int64_t k) {
    for (; (k & 1) == 0; k >>= 1) r = merge(stack_[--depth_], r);
    LV_ASSERT(depth_ < MAX_RUNS);
    stack_[depth_++] = r;
  }

  // Merges an earlier run with a later one: of equal keys, keysort takes
  // the earlier run's first; sort keeps one of two equal elements.
  run merge(run a, run b) {
    lv_term* a_end = a.last;
    lv_term* b_end = b.last;
    lv_term* x = a.first;
    lv_term* y = b.first;
    lv_term head[2];
    lv_term* tail = head;
    for (;;) {
      int c = compare(x, y);
      if (c <= 0) {
        link(tail, x);
        tail = x;
        if (c == 0 && !keys_) {
          if (y == b_end) {
            y = nullptr;
          } else {
            y = lv_list_cells(y[1]);
          }
        }
        if (x == a_end) {
          x = nullptr;
          break;
        }
        x = lv_list_cells(x[1]);
        if (y == nullptr) break;
      } else {
        link(tail, y);
        tail = y;
        if (y == b_end) {
          y = nullptr;
          break;
        }
        y = lv_list_cells(y[1]);
      }
    }
    run r;
    r.first = lv_list_cells(head[1]);
    if (x != nullptr) {
      link(tail, x);
      r.last = a_end;
    } else if (y != nullptr) {
      link(tail, y);
      r.last = b_end;
    } else {
      r.last = tail;
    }
    return r;
  }

  lv_worker* w_;
  bool keys_;
  run stack_[MAX_RUNS];
  int depth_ = 0;
};

// Raises the error of a first argument that is no proper list: the list
// ends in a variable, or is cyclic or ends in another term.
int not_a_list(lv_worker* w, bool keys) {
  lv_term tail = 0;
  bool cyclic = false;
  lv_list_walk(w->X[0], &tail, &cyclic);
  lv_term culprit = lv_deref(w->X[0]);
  if (!cyclic && lv_is_ref(tail))
    lv_set_pending_error(LV_ERROR_INSTANTIATION, "", culprit);
  else
    lv_set_pending_error(LV_ERROR_NOT_A_LIST, "", culprit);
  lv_term name = lv_atom_from_text(keys ? "keysort" : "sort", LV_ATOM_FIND_OR_CREATE);
  return lv_raise_builtin_error(w, LV_ATOM_PROLOG, name, 2, 1);
}

int sort_list(lv_worker* w, bool keys) {
  int64_t n = lv_proper_list_length(w->X[0]);
  if (n < 0) return not_a_list(w, keys);
  if (!lv_is_ref(lv_deref(w->X[1]))) return 0;
  if (n == 0) {
    lv_bind_term(w, lv_deref(w->X[1]), LV_ATOM_NIL);
    return 1;
  }
  lv_heap_room(w, 2 * n + LV_HEAP_RESERVE_CELLS, 2);
  lv_term* cells = w->H;
  int64_t i = 0;
  for (lv_term l = lv_deref(w->X[0]); l != LV_ATOM_NIL; l = lv_deref(lv_list_cells(l)[1]), i++) {
    lv_term e = lv_deref(lv_list_cells(l)[0]);
    if (keys && !(lv_is_struct(e) && lv_struct_cells(e)[0] == FUNCTOR_MINUS_2)) return 0;
    cells[2 * i] = e;
  }
  w->H = cells + 2 * n;
  sorter s(w, keys);
  lv_term* first = s.sort(cells, n);
  lv_bind_term(w, lv_deref(w->X[1]), lv_make_list(first));
  return 1;
}

}  // namespace

int prolog_sort(lv_worker* w) { return sort_list(w, false); }
int prolog_keysort(lv_worker* w) { return sort_list(w, true); }
