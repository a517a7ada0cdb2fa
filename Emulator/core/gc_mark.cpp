// Marking the live cells of the collected part by pointer reversal.
//
// A pointer leads to a group of cells that are visited together, from the
// highest to the lowest:
//   a reference: the cell it names, or for an attributed variable the
//     variable cell, its attribute vector and its goal list (the -1 marker
//     before them is marked on entry);
//   a list: the tail, then the head (only the head when the tail is marked
//     already);
//   a structure: its arguments, the last first (the functor cell is marked on
//     entry); a box is marked through its header and counts all its words.
// Descending from a cell reverses the pointer it holds: the cell keeps its
// own tag and takes the address of the cell we came from, with bit 2
// telling the kind of group (an attributed variable, or a list pair whose
// tail is done). Reversed words have tag 00, 01 or 10, so they never read as
// functor words or as the -1 marker, which is how the walk finds the first
// cell of a structure group (the cell before it holds the functor word) and
// of an attributed-variable group (the cell before it holds -1). Groups are
// entered only through cells that are not marked yet, so the walk ends.
#include "core/gc_internal.h"

namespace {

constexpr lv_term GROUP_FLAG = 4;

struct marker {
  lv_gc_state& g;
  lv_worker* w;
  lv_term* prev;  // the cell we descended from, holding the reversed pointer

  void mark(lv_term* p, uint64_t cells) {
    lv_gc_bits_or(w, p, LV_GC_MARK);
    g.marked_cells += cells;
  }

  // The group that the word v in cell c leads to: reverses c and returns
  // the first cell to visit, or null when there is nothing to visit.
  lv_term* enter(lv_term* c, lv_term v) {
    lv_term* a = lv_gc_target(v);
    if (!lv_gc_collected(g, a)) return nullptr;
    lv_term flag = 0;
    lv_term* first;
    switch (v & LV_TAG_MASK) {
      case LV_TAG_REF:
        if (a == c) return nullptr;
        if (a > g.base && a[-1] == LV_ATTVAR_MARKER) {
          if (lv_gc_marked(w, a - 1)) return nullptr;
          mark(a - 1, 1);
          flag = GROUP_FLAG;
          first = a + 2;
        } else {
          if (lv_gc_marked(w, a)) return nullptr;
          first = a;
        }
        break;
      case LV_TAG_LIST:
        if (!lv_gc_marked(w, a + 1)) {
          first = a + 1;
        } else if (!lv_gc_marked(w, a)) {
          flag = GROUP_FLAG;  // the tail is done: only the head
          first = a;
        } else {
          return nullptr;
        }
        break;
      default: {  // structure
        if (lv_gc_marked(w, a)) return nullptr;
        lv_term head = *a;
        if (lv_heap_box_start(head)) {
          mark(a, lv_box_value_words(head) + 2);
          return nullptr;
        }
        mark(a, 1);
        first = a + lv_functor_arity(head);
        break;
      }
    }
    *c = reinterpret_cast<lv_term>(prev) | (v & LV_TAG_MASK) | flag;
    prev = c;
    return first;
  }

  void run(lv_term v) {
    // The root's word is held in a local cell, so that the root itself is
    // never written; returning to it ends the walk.
    lv_term root = v;
    prev = nullptr;
    lv_term* cur = enter(&root, v);
    if (cur == nullptr) return;
    for (;;) {
      // Visit cur.
      if (!lv_gc_marked(w, cur)) {
        mark(cur, 1);
        lv_term cv = *cur;
        if (!lv_is_atomic(cv)) {
          lv_term* next = enter(cur, cv);
          if (next != nullptr) {
            cur = next;
            continue;
          }
        }
      }
      // Step back: to the next lower cell of the group, or up the path.
      for (;;) {
        lv_term pv = *prev;
        lv_term tag = pv & LV_TAG_MASK;
        bool done;
        if (tag == LV_TAG_REF) {
          done = (pv & GROUP_FLAG) == 0 || cur[-1] == LV_ATTVAR_MARKER;
        } else if (tag == LV_TAG_LIST) {
          if ((pv & GROUP_FLAG) == 0) {
            *prev = pv | GROUP_FLAG;
            cur--;
            break;
          }
          done = true;
        } else {
          done = lv_is_functor_word(cur[-1]);
        }
        if (!done) {
          cur--;
          break;
        }
        lv_term* c = prev;
        lv_term original = tag == LV_TAG_STRUCT ? lv_make_struct(cur - 1) : reinterpret_cast<lv_term>(cur) | tag;
        prev = reinterpret_cast<lv_term*>(pv & ~lv_term{7});
        *c = original;
        if (c == &root) return;
        cur = c;
      }
    }
  }
};

}  // namespace

void lv_gc_mark_from(lv_gc_state& g, lv_term v) {
  marker m{g, g.w, nullptr};
  m.run(v);
}

bool lv_gc_valid_pointer(const lv_gc_state& g, lv_term v) {
  const lv_worker* w = g.w;
  const lv_term* a = lv_gc_target(v);
  if (lv_gc_bits(w, a) == LV_GC_BOX_BODY) return false;
  switch (v & LV_TAG_MASK) {
    case LV_TAG_REF:
      return lv_gc_term_word(*a);
    case LV_TAG_LIST:
      return a + 1 < g.top && lv_gc_bits(w, a + 1) != LV_GC_BOX_BODY && lv_gc_term_word(a[0]) &&
             lv_gc_term_word(a[1]);
    default: {
      lv_term head = *a;
      if (lv_heap_box_start(head)) {
        uint64_t n = lv_box_value_words(head);
        return n < static_cast<uint64_t>(g.top - a) - 1 && a[n + 1] == head;
      }
      if (!lv_is_functor_word(head)) return false;
      unsigned arity = lv_functor_arity(head);
      if (arity >= static_cast<uint64_t>(g.top - a)) return false;
      for (unsigned i = 1; i <= arity; i++)
        if (!lv_gc_term_word(a[i])) return false;
      return true;
    }
  }
}

void markTerm(lv_term term) {
  lv_gc_state& g = lv_gc_now;
  if (!g.active || !lv_gc_points_in(g, term)) return;
  if (lv_gc_valid_pointer(g, term)) lv_gc_mark_from(g, term);
}
