// Tidying the trail of the segment above marked_choice.
//
// The entries made since a choicepoint b (up to the next newer one) are
// undone when execution backtracks to b. The sweep removes those that undo
// nothing useful there:
//   - a plain entry for a heap cell newer than b's saved H, or a local cell
//     at or above b's saved local top: backtracking to b discards the cell.
//     While wake-ups are pending, entries of attributed variables stay: the
//     woken-goal scan finds the bound variables through them;
//   - a value-trail entry for a mutable newer than b's saved H;
//   - all but the oldest value-trail entry of one mutable in b's part: the
//     oldest holds the value and stamp that backtracking to b restores. The
//     entries of the cleanup chain (the mutable in term-reference slot 6)
//     all stay, since undoing one of them runs the cleanups.
// Removed entries are zeroed. A mutable's stamp names its newest entry,
// and each value-trail entry's old stamp the entry before it; where one of
// them names a removed entry, it is made to name the entry that the removed
// one named (followed as far as needed), so the chains stay exact. The
// compaction that always follows closes the trail up and gives those
// positions their new values.
#include "core/gc_internal.h"
#include "core/stack_shift.h"
#include "core/termrefs.h"

namespace {

lv_term* trail_of(const lv_term* b) { return lv_choice_view(b)->saved_tr(); }

lv_term* segment_base(lv_worker* w) {
  if (w->marked_choice == nullptr) lv_newest_marked_choice(w);
  return w->marked_choice;
}

lv_term cleanup_chain(const lv_worker* w) {
  if (w->termref_capacity <= 6) return 0;
  lv_term t = lv_deref(w->termrefs[6].term);
  return lv_is_struct(t) && *lv_struct_cells(t) == LV_FUNCTOR_MUTABLE_2 ? t : 0;
}

bool in_heap(const lv_worker* w, const lv_term* p) { return p >= w->area_start && p < w->local_base; }

// A value-trail entry that the sweep removes keeps its mutable and old
// stamp until the stamps are mended: its first word becomes this atomic
// word, which no entry starts with.
constexpr lv_term REMOVED_VALUE_ENTRY = LV_ATOM_NIL;
bool removed_value_entry(const lv_term* p) { return p[0] == REMOVED_VALUE_ENTRY; }

// What the sweep of a part met: value-trail entries at all, and removed ones.
struct sweep_seen {
  bool values = false;
  bool removed_values = false;
};

// One choicepoint's part [lo, hi) of the trail.
void sweep_part(lv_worker* w, const lv_term* b, lv_term* lo, lv_term* hi, lv_term cleanup, sweep_seen& seen) {
  lv_term* h = lv_choice_view(b)->saved_h();
  lv_term* local_top = lv_choice_view(b)->saved_local_top();
  bool keep_attributed = w->wakeup_count > 0;
  // Oldest first; the stamp cell's FIRST bit tells that the mutable has a
  // kept entry in this part.
  for (lv_term* p = lo; p < hi;) {
    lv_term v = *p;
    if (v == 0 || v == REMOVED_VALUE_ENTRY) {
      p += v == 0 ? 1 : 3;
      continue;
    }
    if (lv_is_struct(v)) {
      seen.values = true;
      lv_term* m = lv_struct_cells(v);
      bool drop;
      if (v == cleanup)
        drop = false;
      else if (in_heap(w, m) && m >= h)
        drop = true;
      else
        drop = in_heap(w, m + 2) && lv_gc_first(w, m + 2);
      if (drop) {
        p[0] = REMOVED_VALUE_ENTRY;
        p[1] = v;
        seen.removed_values = true;
      } else if (v != cleanup && in_heap(w, m + 2)) {
        lv_gc_set_first(w, m + 2, true);
      }
      p += 3;
      continue;
    }
    lv_term* c = lv_ref_cell(v);
    if (in_heap(w, c)) {
      if (c >= h && !(keep_attributed && c > w->area_start && c[-1] == LV_ATTVAR_MARKER)) *p = 0;
    } else if (c >= w->local_base && c < w->local_end) {
      if (c >= local_top) *p = 0;
    }
    p++;
  }
  // Without value-trail entries no stamp cell was flagged.
  if (!seen.values) return;
  for (lv_term* p = lo; p < hi;) {
    if (lv_is_struct(*p)) {
      lv_term* m = lv_struct_cells(*p);
      if (in_heap(w, m + 2)) lv_gc_set_first(w, m + 2, false);
      p += 3;
    } else {
      p += removed_value_entry(p) ? 3 : 1;
    }
  }
}

// A stamp that names a removed entry names what that entry named instead.
lv_term mended(const lv_worker* w, lv_term stamp, int64_t lo_position) {
  while (lv_is_small(stamp) && lv_small_value(stamp) >= lo_position) {
    const lv_term* entry = w->trail_base + lv_small_value(stamp);
    if (entry + 3 > w->TR || !removed_value_entry(entry)) break;
    stamp = entry[2];
  }
  return stamp;
}

}  // namespace

void lv_gc_trail_sweep(lv_worker* w) {
  lv_term* marked = segment_base(w);
  lv_term cleanup = cleanup_chain(w);
  lv_term* lo = trail_of(marked);
  lv_term* hi = w->TR;
  sweep_seen seen;
  for (lv_term* b = w->B;; b = lv_choice_prev(b)) {
    lv_term* part = trail_of(b);
    if (part < hi) {
      sweep_part(w, b, part, hi, cleanup, seen);
      hi = part;
    }
    if (b == marked || lv_choice_prev(b) >= w->choice_base) break;
  }
  // No value-trail entry was removed: no stamp names a removed entry.
  if (!seen.removed_values) return;
  // Mend the stamps, then clear the removed value-trail entries.
  int64_t lo_position = lo - w->trail_base;
  for (lv_term* p = lo; p < w->TR;) {
    if (lv_is_struct(*p)) {
      lv_term* m = lv_struct_cells(*p);
      p[2] = mended(w, p[2], lo_position);
      if (in_heap(w, m + 2)) m[2] = mended(w, m[2], lo_position);
      p += 3;
    } else if (removed_value_entry(p)) {
      lv_term* m = lv_struct_cells(p[1]);
      if (in_heap(w, m + 2)) m[2] = mended(w, m[2], lo_position);
      p += 3;
    } else {
      p++;
    }
  }
  for (lv_term* p = lo; p < w->TR;) {
    if (lv_is_struct(*p)) {
      p += 3;
    } else if (removed_value_entry(p)) {
      p[0] = p[1] = p[2] = 0;
      p += 3;
    } else {
      p++;
    }
  }
}

void lv_gc_trail_compact(lv_worker* w, int mark) {
  lv_term* marked = segment_base(w);
  lv_term* lo = trail_of(marked);
  lv_term* tr = w->TR;

  // The segment's choicepoints, newest first, get their saved TR lowered by
  // the words removed below it: counted downward from the top.
  uint64_t kept = 0;
  for (lv_term* p = lo; p < tr; p++) kept += *p != 0;
  uint64_t kept_above = 0;
  lv_term* p = tr;
  for (lv_term* b = w->B;; b = lv_choice_prev(b)) {
    lv_term* saved = trail_of(b);
    if (saved >= lo) {
      for (; p > saved; p--) kept_above += p[-1] != 0;
      lv_term* moved = lo + (kept - kept_above);
      lv_choice_view(b)->tr = lv_make_ref(moved) | (lv_choice_view(b)->tr & 3) | (mark ? 1 : 0);
    }
    if (b == marked || lv_choice_prev(b) >= w->choice_base) break;
  }

  // Close up, oldest first. The stamp cell's FIRST bit tells that the
  // mutable's stamp already holds the new position of an earlier entry.
  int64_t lo_position = lo - w->trail_base;
  lv_term* dest = lo;
  bool values = false;
  for (p = lo; p < tr;) {
    lv_term v = *p;
    if (v == 0) {
      p++;
      continue;
    }
    if (!lv_is_struct(v)) {
      *dest++ = v;
      p++;
      continue;
    }
    values = true;
    lv_term* m = lv_struct_cells(v);
    lv_term old_value = p[1];
    lv_term old_stamp = p[2];
    if (in_heap(w, m + 2)) {
      if (lv_gc_first(w, m + 2))
        old_stamp = m[2];
      else if (lv_is_small(old_stamp) && lv_small_value(old_stamp) >= lo_position)
        old_stamp = lv_make_small(0);
      m[2] = lv_make_small(dest - w->trail_base);
      lv_gc_set_first(w, m + 2, true);
    }
    dest[0] = v;
    dest[1] = old_value;
    dest[2] = old_stamp;
    dest += 3;
    p += 3;
  }
  w->TR = dest;
  if (!values) return;
  for (p = lo; p < dest;) {
    if (lv_is_struct(*p)) {
      lv_term* m = lv_struct_cells(*p);
      if (in_heap(w, m + 2)) lv_gc_set_first(w, m + 2, false);
      p += 3;
    } else {
      p++;
    }
  }
}
