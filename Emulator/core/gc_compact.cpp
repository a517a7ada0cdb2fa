// Sliding the live cells down: the downward and upward passes.
//
// Before the passes every root that points into the collected part is
// threaded into its target's relocation chain. The downward pass walks from
// the top to the base: it knows each live cell's new address by counting,
// so at each live cell it gives the cell's chain (the roots and the higher
// cells that point down at it) that address, then threads the cell itself
// into the chain of a lower cell it points at. The upward pass walks from
// the base: at each live cell it gives the chain built meanwhile (lower
// cells pointing up at it, threaded from their new places) the new address,
// moves the cell there, and threads the moved cell into the chain of a
// higher cell it points at. A pointer whose address lies above the cell is
// one the downward pass left alone, so it still holds an old address.
//
// Boxes move whole and their words are never read as pointers; walking
// down, a box is met at its trailer. The downward pass writes into the
// lowest cell of each garbage run the run's length less one, so that the
// upward pass steps over garbage without reading it cell by cell.
//
// The downward pass steps over 32 cells at a time where their 64 bits of the
// mark map are all 0: no live cell and no box word is among them (box bodies
// and trailers were flagged before marking), so they are garbage cells that
// need not be read. Its cost follows the live cells and the map, not the
// words of the garbage.
#include <cstring>

#include "core/bdd_tables.h"
#include "core/fault.h"
#include "core/gc_internal.h"

namespace {

constexpr uint64_t STRETCH = 32;  // cells covered by one 64-bit map word

// Whether the map bits of the STRETCH cells below p are all 0; p's index
// must be a multiple of STRETCH.
bool stretch_clear(const lv_worker* w, const lv_term* p) {
  uint64_t i = static_cast<uint64_t>(p - w->area_start) - STRETCH;
  uint64_t bits;
  std::memcpy(&bits, reinterpret_cast<const uint8_t*>(w->local_end) + i / 4, sizeof bits);
  return bits == 0;
}

}  // namespace

lv_term* lv_gc_slide(lv_gc_state& g) {
  lv_worker* w = g.w;
  lv_term* base = g.base;
  lv_term* top = g.top;
  lv_term* new_top = base + g.marked_cells;
  lv_term* next_new = new_top;  // the new address of the cell being passed
  uint64_t run = 0;             // garbage cells just above the current position
  auto end_run = [&](lv_term* p) {
    if (run > 0) *p = run - 1;
    run = 0;
  };

  // Downward. The segment's choicepoints get the new address of their saved
  // H as the walk passes it, newest (highest) first.
  lv_term* b = w->B;
  auto pass_choices = [&](const lv_term* p) {
    while (b != g.marked && b < w->choice_base && lv_choice_view(b)->saved_h() >= p) {
      lv_choice_view(b)->h = lv_make_ref(next_new);
      b = lv_choice_prev(b);
    }
  };
  lv_term* p = top;
  while (p > base) {
    pass_choices(p);
    if ((static_cast<uint64_t>(p - w->area_start) % STRETCH) == 0 && p - base >= static_cast<int64_t>(STRETCH) &&
        stretch_clear(w, p)) {
      run += STRETCH;
      p -= STRETCH;
      continue;
    }
    lv_term last = p[-1];
    if (lv_heap_box_start(last)) {
      uint64_t cells = lv_heap_item_cells(last);
      lv_term* header = p - cells;
      static_assert(LV_GC_BOX_BODY == 3);
      lv_gc_bits_fill(w, header + 1, cells - 1, false);
      if (lv_gc_marked(w, header)) {
        end_run(p);
        next_new -= cells;
        lv_gc_unthread(w, header, next_new);
      } else {
        run += cells;
      }
      p = header;
      continue;
    }
    lv_term* c = p - 1;
    if (lv_gc_marked(w, c)) {
      end_run(p);
      next_new--;
      lv_gc_unthread(w, c, next_new);
      lv_term v = *c;
      if (!lv_is_atomic(v)) {
        lv_term* t = lv_gc_target(v);
        if (t == c)
          *c = reinterpret_cast<lv_term>(next_new) | (v & LV_TAG_MASK);
        else if (t >= base && t < c)
          lv_gc_thread(w, c, t);
      }
    } else {
      run++;
    }
    p = c;
  }
  pass_choices(base);
  if (next_new != base) LV_raise_fault("GC: marked cell count is wrong");

  // Upward.
  uint64_t nodes = 0;
  lv_term* dest = base;
  p = base + run;
  while (dest < new_top) {
    if (!lv_gc_marked(w, p)) {
      p += *p + 1;
      continue;
    }
    lv_gc_unthread(w, p, dest);
    lv_gc_bits_clear(w, p, LV_GC_MARK);
    lv_term v = *p;
    if (lv_heap_box_start(v)) {
      uint64_t cells = lv_heap_item_cells(v);
      for (uint64_t i = 0; i < cells; i++) dest[i] = p[i];
      dest += cells;
      p += cells;
      continue;
    }
    *dest = v;
    if (!lv_is_atomic(v)) {
      lv_term* t = lv_gc_target(v);
      if (t > p && t < top) lv_gc_thread(w, dest, t);
    } else if (v == LV_FUNCTOR_BDD_POS || v == LV_FUNCTOR_BDD_NEG) {
      nodes++;
    }
    dest++;
    p++;
  }
  g.bdd_nodes = nodes;
  return new_top;
}
