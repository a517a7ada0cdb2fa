// Relocation after the first stack block moved or was re-divided.
//
// A word is moved by the part of the old block its address falls in: into
// the old heap [heap start, H] it moves by the heap delta, into the old local
// stack [local base, local end] by the local delta; atomic words and words
// pointing anywhere else stay. The tag bits are kept. Checking the range
// (rather than trusting the tag alone) keeps words that point outside the
// stacks, and stale words, from being corrupted.
//
// The roots are, in this order: the registered cells (global term
// references), the term-reference array (every slot, so that argument
// registers above X255, kept above the top, are covered), the argument
// registers X0-X255, the pending error's culprit and the context words that
// hold stack addresses (arg_vector); then the heap, the trail, the local
// stack and the choicepoints, starting with a temporary frame below B that
// holds the current local top, H, E and CP.
#include "core/stack_shift.h"

#include "core/bdd_tables.h"
#include "core/gc_queue.h"
#include "core/errors.h"
#include "core/fd_hooks.h"
#include "core/heap_parse.h"
#include "core/startup_records.h"
#include "core/termrefs.h"
#include "core/thread_time.h"

namespace {

struct relocation {
  uint64_t heap_lo, heap_span;  // old heap [lo, lo + span]
  int64_t heap_delta;
  uint64_t local_lo, local_span;  // old local stack [lo, lo + span]
  int64_t local_delta;

  lv_term move(lv_term t) const {
    if ((t & LV_TAG_MASK) == LV_TAG_ATOMIC) return t;
    uint64_t a = t & ~LV_TAG_MASK;
    if (a - heap_lo <= heap_span) return t + static_cast<uint64_t>(heap_delta);
    if (a - local_lo <= local_span) return t + static_cast<uint64_t>(local_delta);
    return t;
  }
  void cell(lv_term* p) const { *p = move(*p); }
  void cells(lv_term* p, lv_term* end) const {
    for (; p < end; p++) *p = move(*p);
  }
  template <typename T>
  void address(T*& p) const {
    p = reinterpret_cast<T*>(move(reinterpret_cast<lv_term>(p)));
  }
};

inline lv_term* add_bytes(lv_term* p, int64_t delta) {
  return reinterpret_cast<lv_term*>(reinterpret_cast<char*>(p) + delta);
}

inline lv_term add_bytes(lv_term t, int64_t delta) { return t + static_cast<uint64_t>(delta); }

void relocate(lv_worker* w, const relocation& r, bool scan_heap) {
  // The temporary frame: the registers that the choicepoint walk below
  // moves with the saved ones.
  lv_term* frame = w->B - sizeof(lv_choicepoint) / 8;
  lv_choicepoint* saved = lv_choice_view(frame);
  saved->alt = reinterpret_cast<lv_term>(lv_try_alternative(&lv_startup.relocation_alternative));
  saved->local_top = lv_make_ref(w->local_top);
  saved->h = lv_make_ref(w->H);
  saved->e = lv_make_ref(w->E);
  saved->cp = reinterpret_cast<lv_term>(w->CP);

  lv_for_each_registered_slot([&](lv_termref_slot* s) { r.cell(&s->term); });
  for (int32_t i = 0; i < w->termref_capacity; i++) r.cell(&w->termrefs[i].term);
  r.cells(w->X, w->X + LV_X_REGISTERS);
  r.cell(lv_pending_error_culprit_cell());
  r.address(w->arg_vector);

  lv_term* old_h = w->H;
  if (scan_heap) {
    // The heap has moved already: scan it at its new place, up to the new
    // place of the old H.
    lv_term* p = w->area_start;
    lv_term* end = add_bytes(old_h, r.heap_delta);
    while (p < end) {
      lv_term word = *p;
      if (lv_heap_box_start(word)) {
        p += lv_box_value_words(word) + 2;
      } else {
        *p = r.move(word);
        p++;
      }
    }
  }
  r.cells(w->trail_base + 1, w->TR);
  // The local stack sits at its new place; local_top is still the old one.
  r.cells(w->local_base + 2, add_bytes(w->local_top, r.local_delta));

  for (lv_term* b = frame; b < w->choice_base; b = lv_choice_prev(b)) {
    lv_choicepoint* c = lv_choice_view(b);
    c->local_top = add_bytes(c->local_top, r.local_delta);
    c->h = add_bytes(c->h, r.heap_delta);
    c->e = add_bytes(c->e, r.local_delta);
    r.cells(c->args, lv_choice_prev(b));
  }

  w->local_top = saved->saved_local_top();
  w->H = saved->saved_h();
  w->E = saved->saved_e();
  lv_make_choice_current(w, w->B);
}

relocation make_relocation(lv_term* heap_start, lv_term* heap_top, int64_t heap_delta, lv_term* local_base,
                           lv_term* local_end, int64_t local_delta) {
  relocation r;
  r.heap_lo = reinterpret_cast<uint64_t>(heap_start);
  r.heap_span = reinterpret_cast<uint64_t>(heap_top) - r.heap_lo;
  r.heap_delta = heap_delta;
  r.local_lo = reinterpret_cast<uint64_t>(local_base);
  r.local_span = reinterpret_cast<uint64_t>(local_end) - r.local_lo;
  r.local_delta = local_delta;
  return r;
}

}  // namespace

void lv_relocate_after_shift(lv_worker* w, int64_t heap_delta, int64_t local_delta, lv_term* old_heap_start,
                             lv_term* old_local_base, lv_term* old_local_end) {
  if (heap_delta == 0 && local_delta == 0) return;
  uint64_t start = lv_thread_cpu_ms();
  relocation r = make_relocation(old_heap_start, w->H, heap_delta, old_local_base, old_local_end, local_delta);
  relocate(w, r, heap_delta != 0);
  if (heap_delta != 0) lv_bdd_shift_adjust(w, heap_delta, w->H);
  lv_call_fd_hook(LV_FD_EVENT_RELOCATED, heap_delta);
  if (heap_delta != 0) lv_shift_stats.heap_shifts++;
  lv_shift_stats.shifts++;
  lv_shift_stats.shift_ms += lv_thread_cpu_ms() - start;
}

void lv_relocate_local(lv_worker* w, int64_t local_delta, lv_term* old_local_base, lv_term* old_local_end) {
  if (local_delta == 0) return;
  uint64_t start = lv_thread_cpu_ms();
  // No heap word points into the local stack, so the heap is not scanned.
  relocation r = make_relocation(w->area_start, w->H, 0, old_local_base, old_local_end, local_delta);
  relocate(w, r, false);
  lv_shift_stats.shifts++;
  lv_shift_stats.shift_ms += lv_thread_cpu_ms() - start;
}
