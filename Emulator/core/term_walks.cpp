// Pointer-reversal walks over terms.
//
// The walk holds the current term and a back pointer: 0 at the root, a
// reference to a reference cell on the path (mark 2; the cell holds the next
// back pointer), or a compound term one of whose argument cells is on the
// path (mark 3; that cell holds the next back pointer). A structure's
// functor cell carries the structure's own mark, so that a structure met
// again is not entered twice; list cells and argument cells carry theirs.
#include "core/term_walks.h"

#include "core/mark_map.h"

namespace {

constexpr unsigned ON_REF_PATH = 2;
constexpr unsigned ON_ARG_PATH = 3;

// The marking walk of lv_term_size: enters unmarked cells, marks them 1 and
// counts them.
struct size_policy {
  uint64_t size = 0;
  static bool enter(unsigned mark) { return mark == 0; }
  static constexpr unsigned done = 1;
  void counted(uint64_t cells) { size += cells; }
};

// The unmarking walk: enters cells marked 1 and clears them.
struct unmark_policy {
  static bool enter(unsigned mark) { return mark == 1; }
  static constexpr unsigned done = 0;
  void counted(uint64_t) {}
};

// A list cell one of whose cells is on the current path is not entered
// again: the climb must find exactly one path cell in it.
inline bool list_on_path(const lv_worker* w, const lv_term* s) {
  return lv_mark_get(w, &s[0]) == ON_ARG_PATH || lv_mark_get(w, &s[1]) == ON_ARG_PATH;
}

inline lv_term* compound_cells(lv_term t) { return lv_is_list(t) ? lv_list_cells(t) : lv_struct_cells(t); }
inline unsigned first_arg(lv_term t) { return lv_is_list(t) ? 0 : 1; }
inline unsigned last_arg(lv_term t, const lv_term* cells) { return lv_is_list(t) ? 1 : lv_functor_arity(cells[0]); }

template <typename Policy>
void walk(lv_worker* w, lv_term root, Policy& policy) {
  lv_term back = 0;
  lv_term current = root;
  lv_term* cells = nullptr;  // of the compound being scanned
  unsigned next = 0, last = 0;
  bool descending = true;
  for (;;) {
    if (descending) {
      descending = false;
      if (lv_is_ref(current)) {
        lv_term* cell = lv_ref_cell(current);
        if (lv_mark_covers(w, cell) && Policy::enter(lv_mark_get(w, cell))) {
          lv_term content = *cell;
          if (content == current) {
            lv_mark_set(w, cell, Policy::done);
            policy.counted(1);
          } else {
            *cell = back;
            lv_mark_set(w, cell, ON_REF_PATH);
            back = current;
            current = content;
            descending = true;
            continue;
          }
        }
      } else if (!lv_is_atomic(current)) {
        lv_term* s = compound_cells(current);
        if (lv_is_struct(current) && lv_is_box_header(s[0])) {
          uint64_t cells_of_box = lv_box_value_words(s[0]) + 2;
          if (!lv_mark_covers(w, s)) {
            policy.counted(cells_of_box);
          } else if (Policy::enter(lv_mark_get(w, s))) {
            lv_mark_set(w, s, Policy::done);
            policy.counted(cells_of_box);
          }
        } else if (lv_mark_covers(w, s) && (lv_is_list(current) ? !list_on_path(w, s) : Policy::enter(lv_mark_get(w, s)))) {
          if (lv_is_struct(current)) {
            lv_mark_set(w, s, Policy::done);
            policy.counted(1);
          }
          cells = s;
          next = first_arg(current);
          last = last_arg(current, s);
        }
      }
    }
    // Scan the arguments of the compound in hand, if any.
    if (cells != nullptr) {
      bool went_down = false;
      for (; next <= last; next++) {
        lv_term* arg = &cells[next];
        if (!Policy::enter(lv_mark_get(w, arg))) continue;
        lv_term content = *arg;
        if (lv_is_atomic(content) || content == lv_make_ref(arg)) {
          lv_mark_set(w, arg, Policy::done);
          policy.counted(1);
          continue;
        }
        if (Policy::done == 1) policy.counted(1);
        *arg = back;
        lv_mark_set(w, arg, ON_ARG_PATH);
        back = current;
        current = content;
        cells = nullptr;
        went_down = true;
        break;
      }
      if (went_down) {
        descending = true;
        continue;
      }
      cells = nullptr;
    }
    // Climb: current is finished.
    if (back == 0) return;
    if (lv_is_ref(back)) {
      lv_term* cell = lv_ref_cell(back);
      lv_term up = *cell;
      *cell = current;
      lv_mark_set(w, cell, Policy::done);
      current = back;
      back = up;
      continue;
    }
    lv_term* s = compound_cells(back);
    unsigned first = first_arg(back);
    unsigned end = last_arg(back, s);
    unsigned i = first;
    while (lv_mark_get(w, &s[i]) != ON_ARG_PATH) i++;
    lv_term up = s[i];
    s[i] = current;
    lv_mark_set(w, &s[i], Policy::done);
    current = back;
    back = up;
    cells = s;
    next = i + 1;
    last = end;
  }
}

}  // namespace

uint64_t lv_term_size(lv_worker* w, lv_term t) {
  lv_term d = lv_deref(t);
  if (lv_is_ref(d) || lv_is_atomic(d)) return 1;
  size_policy policy;
  walk(w, d, policy);
  return policy.size;
}

void lv_term_unmark_walk(lv_worker* w, lv_term t) {
  lv_term d = lv_deref(t);
  if (lv_is_ref(d) || lv_is_atomic(d)) return;
  unmark_policy policy;
  walk(w, d, policy);
}
