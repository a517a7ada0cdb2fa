// Pointer-reversal walks over terms.
//
// The walk holds the current term and a back pointer: 0 at the root, a
// reference to a reference cell on the path (mark 2; the cell holds the next
// back pointer), or a compound term one of whose argument cells is on the
// path (mark 3; that cell holds the next back pointer).
//
// A structure's functor cell carries the structure's own mark: a marking
// walk gives it 2 while the structure's arguments are being scanned and 1
// once it is finished, so that a structure met again is never entered twice
// and a structure met on its own path is known at once. A list cell has no
// cell of its own: it is not entered while one of its two cells is on the
// path (mark 3), and its cells are entered one by one.
//
// The walks differ by a policy: which mark a cell must carry to be entered
// (0 for the marking walks, 1 for the unmarking one), what happens at an
// unbound variable, at a structure and at a cell found on the current path
// (a cycle), and when to stop descending (the walk then only climbs back,
// restoring every reversed cell).
#include "core/term_walks.h"

#include "core/bind.h"
#include "core/mark_map.h"
#include "core/predefined_atoms.h"

namespace {

constexpr unsigned FINISHED = 1;
constexpr unsigned ON_REF_PATH = 2;
constexpr unsigned ON_ARG_PATH = 3;

// The default policy: a marking walk that does nothing but mark.
struct marking {
  static constexpr bool unmarking = false;
  bool stop = false;
  void cell() {}
  void cells(uint64_t) {}
  void variable(lv_worker*, lv_term*) {}
  void structure(lv_term) {}
  void cycle() {}
};

struct size_policy : marking {
  uint64_t size = 0;
  void cell() { size++; }
  void cells(uint64_t n) { size += n; }
};

struct acyclic_policy : marking {
  bool acyclic = true;
  void cycle() {
    acyclic = false;
    stop = true;
  }
};

struct ground_policy : marking {
  bool ground = true;
  void variable(lv_worker*, lv_term*) {
    ground = false;
    stop = true;
  }
  void structure(lv_term functor) {
    if (functor == LV_FUNCTOR_MUTABLE_2) {
      ground = false;
      stop = true;
    }
  }
};

struct unmark_policy : marking {
  static constexpr bool unmarking = true;
};

struct freeze_policy : marking {
  uint64_t k = 0;
  void variable(lv_worker* w, lv_term* cell) {
    *w->TR++ = lv_make_ref(cell);
    *cell = lv_frozen_marker(k++);
  }
};

// Heap bytes that must remain below the heap limit for one more list cell.
constexpr int64_t COLLECT_RESERVE_BYTES = 1032;

template <bool attributed_only>
struct collect_policy : marking {
  lv_term** tail;
  int result = 1;
  explicit collect_policy(lv_term** t) : tail(t) {}
  void variable(lv_worker* w, lv_term* cell) {
    if (attributed_only && !lv_is_attvar_cell(w, cell)) return;
    if ((w->heap_hard_limit - w->H) * 8 <= COLLECT_RESERVE_BYTES) {
      result = 0;
      return;
    }
    lv_term* pair = w->H;
    w->H = pair + 2;
    pair[0] = lv_make_ref(cell);
    pair[1] = LV_ATOM_NIL;
    **tail = lv_make_list(pair);
    *tail = &pair[1];
  }
};

inline lv_term* compound_cells(lv_term t) { return lv_is_list(t) ? lv_list_cells(t) : lv_struct_cells(t); }

template <typename Policy>
void walk(lv_worker* w, lv_term root, Policy& policy) {
  constexpr unsigned enter = Policy::unmarking ? FINISHED : 0;
  constexpr unsigned done = Policy::unmarking ? 0 : FINISHED;
  constexpr unsigned scanning = Policy::unmarking ? 0 : ON_REF_PATH;
  lv_term back = 0;
  lv_term current = root;
  lv_term* cells = nullptr;  // of the compound being scanned
  unsigned next = 0, last = 0;
  bool descending = true;
  for (;;) {
    if (descending && !policy.stop) {
      if (lv_is_ref(current)) {
        lv_term* cell = lv_ref_cell(current);
        if (lv_mark_covers(w, cell)) {
          unsigned mark = lv_mark_get(w, cell);
          if (mark == enter) {
            lv_term content = *cell;
            if (content == current) {
              lv_mark_set(w, cell, done);
              policy.cell();
              policy.variable(w, cell);
            } else {
              policy.cell();
              *cell = back;
              lv_mark_set(w, cell, ON_REF_PATH);
              back = current;
              current = content;
              continue;
            }
          } else if (mark >= ON_REF_PATH) {
            policy.cycle();
          }
        }
      } else if (!lv_is_atomic(current)) {
        lv_term* s = compound_cells(current);
        if (!lv_mark_covers(w, s)) {
          // Outside the stacks: nothing to enter.
        } else if (lv_is_list(current)) {
          if (lv_mark_get(w, &s[0]) == ON_ARG_PATH || lv_mark_get(w, &s[1]) == ON_ARG_PATH) {
            policy.cycle();
          } else {
            cells = s;
            next = 0;
            last = 1;
          }
        } else {
          unsigned mark = lv_mark_get(w, s);
          if (mark == enter) {
            if (lv_is_box_header(s[0])) {
              lv_mark_set(w, s, done);
              policy.cells(lv_box_value_words(s[0]) + 2);
            } else {
              lv_mark_set(w, s, scanning);
              policy.cell();
              policy.structure(s[0]);
              cells = s;
              next = 1;
              last = lv_functor_arity(s[0]);
            }
          } else if (mark == ON_REF_PATH && !Policy::unmarking) {
            policy.cycle();
          }
        }
      }
    }
    descending = false;
    // Scan the arguments of the compound in hand, if any.
    if (cells != nullptr) {
      bool went_down = false;
      for (; next <= last && !policy.stop; next++) {
        lv_term* arg = &cells[next];
        unsigned mark = lv_mark_get(w, arg);
        if (mark != enter) {
          if (mark >= ON_REF_PATH) policy.cycle();
          continue;
        }
        lv_term content = *arg;
        policy.cell();
        if (lv_is_atomic(content)) {
          lv_mark_set(w, arg, done);
          continue;
        }
        if (content == lv_make_ref(arg)) {
          lv_mark_set(w, arg, done);
          policy.variable(w, arg);
          continue;
        }
        *arg = back;
        lv_mark_set(w, arg, ON_ARG_PATH);
        back = current;
        current = content;
        went_down = true;
        break;
      }
      if (went_down) {
        cells = nullptr;
        descending = true;
        continue;
      }
      if (!Policy::unmarking && lv_is_struct(current)) lv_mark_set(w, cells, FINISHED);
      cells = nullptr;
    }
    // Climb: current is finished.
    if (back == 0) return;
    if (lv_is_ref(back)) {
      lv_term* cell = lv_ref_cell(back);
      lv_term up = *cell;
      *cell = current;
      lv_mark_set(w, cell, done);
      current = back;
      back = up;
      continue;
    }
    lv_term* s = compound_cells(back);
    unsigned i = lv_is_list(back) ? 0 : 1;
    while (lv_mark_get(w, &s[i]) != ON_ARG_PATH) i++;
    lv_term up = s[i];
    s[i] = current;
    lv_mark_set(w, &s[i], done);
    current = back;
    back = up;
    cells = s;
    next = i + 1;
    last = lv_is_list(current) ? 1 : lv_functor_arity(s[0]);
  }
}

// Where a walk starts: the dereferenced term, except that a variable that
// lv_freeze_variables has overwritten is started from as the reference to its
// cell, so that the unmarking walk reaches the mark on that cell.
inline lv_term walk_root(lv_term t) {
  while (lv_is_ref(t)) {
    lv_term v = *lv_ref_cell(t);
    if (v == t) return t;
    if (lv_is_frozen_marker(v)) return t;
    t = v;
  }
  return t;
}

}  // namespace

uint64_t lv_term_size(lv_worker* w, lv_term t) {
  lv_term d = lv_deref(t);
  if (lv_is_ref(d) || lv_is_atomic(d)) return 1;
  size_policy policy;
  walk(w, d, policy);
  return policy.size;
}

bool lv_term_acyclic_walk(lv_worker* w, lv_term t) {
  acyclic_policy policy;
  walk(w, walk_root(t), policy);
  return policy.acyclic;
}

bool lv_term_ground_walk(lv_worker* w, lv_term t) {
  ground_policy policy;
  walk(w, walk_root(t), policy);
  return policy.ground;
}

void lv_term_unmark_walk(lv_worker* w, lv_term t) {
  unmark_policy policy;
  walk(w, walk_root(t), policy);
}

void lv_freeze_variables(lv_worker* w, lv_term t) {
  freeze_policy policy;
  walk(w, walk_root(t), policy);
}

int lv_collect_variables(lv_worker* w, lv_term t, lv_term** tail) {
  collect_policy<false> policy(tail);
  walk(w, walk_root(t), policy);
  return policy.result;
}

int lv_collect_attributed_variables(lv_worker* w, lv_term t, lv_term** tail) {
  collect_policy<true> policy(tail);
  walk(w, walk_root(t), policy);
  return policy.result;
}
