// The consistency check of the stacks, run before heap overflows while a
// debug word is set, and by the collector's tests.
#include "core/gc_internal.h"
#include "streams/diagnostics.h"

namespace {

struct checker {
  const lv_worker* w;
  int64_t problems = 0;

  void report(const char* what, const void* where) {
    problems++;
    lv_ttyprintf("%%%% GC check: %s at %p\n", what, const_cast<void*>(where));
  }

  bool in_heap(const lv_term* p) const { return p >= w->area_start && p < w->H; }

  // The target of a heap word, as lv_gc_valid_pointer sees it.
  void heap_pointer(const lv_term* at, lv_term v) {
    const lv_term* a = lv_gc_target(v);
    if (!in_heap(a)) return report("pointer out of the heap", at);
    switch (v & LV_TAG_MASK) {
      case LV_TAG_REF:
        if (!lv_gc_term_word(*a)) report("reference to a word that is no cell", at);
        return;
      case LV_TAG_LIST:
        if (!in_heap(a + 1) || !lv_gc_term_word(a[0]) || !lv_gc_term_word(a[1])) report("bad list cell", at);
        return;
      default:
        if (!lv_heap_box_start(*a) && !lv_is_functor_word(*a)) report("structure without a functor", at);
        return;
    }
  }

  void heap() {
    for (const lv_term* p = w->area_start; p < w->H;) {
      lv_term v = *p;
      if (lv_heap_box_start(v)) {
        uint64_t cells = lv_heap_item_cells(v);
        if (cells > static_cast<uint64_t>(w->H - p) || p[cells - 1] != v) {
          report("box without its trailer", p);
          return;
        }
        p += cells;
        continue;
      }
      if (v == LV_ATTVAR_MARKER && w->H - p < 4) report("attributed variable cut short", p);
      if (lv_is_functor_word(v) && lv_functor_arity(v) >= static_cast<uint64_t>(w->H - p))
        report("structure cut short", p);
      if (!lv_is_atomic(v)) heap_pointer(p, v);
      p++;
    }
  }

  void maps() {
    const uint8_t* first = reinterpret_cast<const uint8_t*>(w->local_end);
    const uint8_t* first_end = reinterpret_cast<const uint8_t*>(w->area_end);
    for (const uint8_t* b = first; b < first_end; b++)
      if (*b != 0) return report("mark bits left in the first block", b);
    const uint8_t* second = reinterpret_cast<const uint8_t*>(w->choice_base);
    const uint8_t* second_end = reinterpret_cast<const uint8_t*>(w->tc_end);
    for (const uint8_t* b = second; b < second_end; b++)
      if (*b != 0) return report("relocation bits left in the second block", b);
  }

  void trail() {
    if (w->TR > w->B) return report("trail above the choice stack", w->TR);
    for (const lv_term* p = w->trail_base + 1; p < w->TR;) {
      lv_term v = *p;
      if (lv_is_struct(v)) {
        const lv_term* m = lv_struct_cells(v);
        if (!in_heap(m) || *m != LV_FUNCTOR_MUTABLE_2 || !lv_is_small(p[2])) report("bad value-trail entry", p);
        p += 3;
        continue;
      }
      const lv_term* c = lv_ref_cell(v);
      if (!lv_is_ref(v) || !(in_heap(c) || (c >= w->local_base && c < w->local_top))) report("bad trail entry", p);
      p++;
    }
  }

  void choicepoints() {
    const lv_term* newer_h = w->H;
    const lv_term* newer_tr = w->TR;
    for (const lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(const_cast<lv_term*>(b))) {
      const lv_term* h = lv_choice_view(b)->saved_h();
      const lv_term* tr = lv_choice_view(b)->saved_tr();
      const lv_term* l = lv_choice_view(b)->saved_local_top();
      const lv_term* e = lv_choice_view(b)->saved_e();
      if (h < w->area_start || h > newer_h) report("choicepoint heap top out of order", b);
      if (tr <= w->trail_base || tr > newer_tr) report("choicepoint trail top out of order", b);
      if (l < w->local_base || l > w->local_top) report("choicepoint local top out of range", b);
      if (e < w->local_base || e >= w->local_top) report("choicepoint frame out of range", b);
      newer_h = h;
      newer_tr = tr;
    }
    if (w->HB != lv_choice_view(w->B)->saved_h()) report("HB is not B's heap top", w->HB);
    if (w->saved_local_top != lv_choice_view(w->B)->saved_local_top())
      report("saved local top is not B's", w->saved_local_top);
  }
};

}  // namespace

int64_t lv_gc_check(lv_worker* w) {
  checker c{w};
  c.heap();
  c.maps();
  c.trail();
  c.choicepoints();
  if (c.problems != 0) lv_ttyflush();
  return c.problems;
}
