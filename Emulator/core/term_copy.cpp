// Copying a term onto the heap top.
#include "core/term_copy.h"

#include <algorithm>

#include "core/heap_parse.h"
#include "core/mark_map.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_walks.h"

namespace {

constexpr lv_term FUNCTOR_ARRAY1D_2 = LV_ATOM_ARRAY1D | (lv_term{2} << 55);
constexpr unsigned ESTIMATE_DEPTH = 1000;

struct copier {
  lv_worker* w;
  lv_term* start;
  lv_term* top;
  bool share_boxes;

  bool in_copy(const lv_term* p) const { return p >= start && p < top; }

  // A cell outside the stacks (a term held in code, say) is neither
  // forwarded nor flagged: what it holds is shared as it is.
  bool outside(const lv_term* p) const { return !lv_mark_covers(w, p); }

  bool forwarded(const lv_term* cell) const { return lv_mark_covers(w, cell) && lv_mark_get(w, cell) == 1; }

  void forward(lv_term* cell, lv_term to) {
    lv_pair_overwrite(w, cell, to);
    lv_mark_set(w, cell, 1);
  }

  // Binds an original unbound variable to the copy cell dest, which becomes
  // a fresh variable.
  lv_term new_variable(lv_term* original, lv_term* dest) {
    *dest = lv_make_ref(dest);
    *original = lv_make_ref(dest);
    *w->TR++ = lv_make_ref(original);
    return *dest;
  }

  // A copy pair for an original list cell: its head is a fresh variable when
  // the original head is one in place, else the original head word (copied
  // when the scan reaches it). The original head is forwarded.
  lv_term* copy_pair(lv_term* s) {
    lv_term* c = top;
    top += 2;
    c[0] = s[0] == lv_make_ref(&s[0]) ? lv_make_ref(&c[0]) : s[0];
    c[1] = s[1];
    forward(&s[0], lv_make_ref(&c[0]));
    return c;
  }

  // The list of '$array1d'(N, List) as consecutive pairs behind its copy.
  void lay_out_array(lv_term* copy) {
    lv_term n = lv_deref(copy[1]);
    int64_t remaining = lv_is_small(n) ? lv_small_value(n) : 0;
    lv_term list = lv_deref(copy[2]);
    lv_term* tail = &copy[2];
    while (remaining-- > 0 && lv_is_list(list) && !outside(lv_list_cells(list)) && !forwarded(lv_list_cells(list))) {
      lv_term* s = lv_list_cells(list);
      lv_term* c = copy_pair(s);
      *tail = lv_make_list(c);
      tail = &c[1];
      list = lv_deref(s[1]);
    }
    *tail = list;
  }

  // The copy of the term word t, found in the copy cell dest.
  lv_term copy_word(lv_term* dest, lv_term t) {
    for (;;) {
      if (lv_is_ref(t)) {
        lv_term* cell = lv_ref_cell(t);
        lv_term v = *cell;
        if (v != t) {
          t = v;
          continue;
        }
        return in_copy(cell) || outside(cell) ? t : new_variable(cell, dest);
      }
      if (lv_is_atomic(t)) return t;
      if (lv_is_list(t)) {
        lv_term* s = lv_list_cells(t);
        if (in_copy(s) || outside(s)) return t;
        if (forwarded(s)) return lv_make_list(lv_ref_cell(s[0]));
        return lv_make_list(copy_pair(s));
      }
      lv_term* s = lv_struct_cells(t);
      if (in_copy(s)) return t;
      lv_term first = s[0];
      if (outside(s)) {
        if (share_boxes || !lv_is_box_header(first)) return t;
        // A box outside the stacks is copied (it cannot be forwarded).
        uint64_t words = lv_box_value_words(first) + 2;
        lv_term* c = top;
        std::copy(s, s + words, c);
        top += words;
        return lv_make_struct(c);
      }
      if (forwarded(s)) return s[0];
      uint64_t words = lv_is_box_header(first) ? lv_box_value_words(first) + 2 : lv_functor_arity(first) + 1;
      if (lv_is_box_header(first) && share_boxes) return t;
      lv_term* c = top;
      std::copy(s, s + words, c);
      top += words;
      forward(s, lv_make_struct(c));
      if (first == LV_FUNCTOR_MUTABLE_2) c[2] = lv_make_small(0);
      if (first == FUNCTOR_ARRAY1D_2) lay_out_array(c);
      return lv_make_struct(c);
    }
  }

  void run(lv_term root) {
    *start = root;
    top = start + 1;
    for (lv_term* scan = start; scan < top;) {
      lv_term v = *scan;
      if (lv_heap_box_start(v)) {
        scan += lv_heap_item_cells(v);
        continue;
      }
      if (!lv_is_atomic(v)) *scan = copy_word(scan, v);
      scan++;
    }
  }
};

// Estimates the cells of a term to a depth of 1000; gives up (returns more
// than the budget) when the budget or the depth is exceeded.
uint64_t estimate(lv_term t, unsigned depth, uint64_t budget, uint64_t so_far) {
  for (;;) {
    if (so_far > budget || depth >= ESTIMATE_DEPTH) return budget + 1;
    t = lv_deref(t);
    if (lv_is_ref(t) || lv_is_atomic(t)) return so_far;
    lv_term* s;
    unsigned first, last;
    if (lv_is_list(t)) {
      s = lv_list_cells(t);
      so_far += 2;
      first = 0;
      last = 1;
    } else {
      s = lv_struct_cells(t);
      if (lv_is_box_header(s[0])) return so_far + lv_box_value_words(s[0]) + 2;
      first = 1;
      last = lv_functor_arity(s[0]);
      so_far += last + 1;
    }
    for (unsigned i = first; i < last; i++) {
      so_far = estimate(s[i], depth + 1, budget, so_far);
      if (so_far > budget) return so_far;
    }
    t = s[last];
    depth++;
  }
}

}  // namespace

lv_copy_state lv_copy_to_heap_top(lv_worker* w, lv_term t, bool share_boxes) {
  lv_copy_state state = {w->H, nullptr, w->TR, w->pair_index};
  copier c = {w, w->H, w->H, share_boxes};
  c.run(t);
  state.end = c.top;
  return state;
}

void lv_copy_undo(lv_worker* w, const lv_copy_state& state) {
  lv_term* b = w->B;
  for (int32_t j = w->pair_index; j < state.saved_pairs; j += 2) {
    lv_term* cell = lv_ref_cell(b[j]);
    *cell = b[j + 1];
    lv_mark_set(w, cell, 0);
  }
  w->pair_index = state.saved_pairs;
  for (lv_term* e = w->TR; e-- > state.saved_tr;) {
    lv_term* cell = lv_ref_cell(*e);
    *cell = lv_make_ref(cell);
  }
  w->TR = state.saved_tr;
}

void lv_copy_make_room(lv_worker* w, unsigned reg, unsigned live) {
  int64_t gap = (w->B + w->pair_index) - w->TR - 6;
  int64_t heap = w->heap_hard_limit - w->H;
  uint64_t budget = static_cast<uint64_t>(std::max<int64_t>(0, std::min(gap / 2, heap / 3)));
  if (estimate(w->X[reg], 0, budget, 0) <= budget) return;
  uint64_t c = lv_term_size(w, w->X[reg]);
  lv_term_unmark_walk(w, w->X[reg]);
  lv_ensure_choice_space(w, static_cast<int64_t>(c + 3));
  call_overflow(w, static_cast<int64_t>(3 * c) + LV_HEAP_RESERVE_CELLS, live);
}
