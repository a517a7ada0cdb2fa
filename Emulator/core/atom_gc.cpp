// Atom garbage collection.
#include "core/atom_gc.h"

#include <algorithm>

#include "core/atoms.h"
#include "core/errors.h"
#include "core/gc_queue.h"
#include "core/heap_parse.h"
#include "core/startup_records.h"
#include "core/termrefs.h"
#include "core/thread_time.h"
#include "core/worker.h"

namespace {

constexpr int64_t DEFAULT_MARGIN = 10000;
constexpr unsigned MAX_STEPS = 32;

struct step_list {
  lv_atom_gc_step steps[MAX_STEPS];
  unsigned count;
  void add(lv_atom_gc_step s) {
    for (unsigned i = 0; i < count; i++)
      if (steps[i] == s) return;
    if (count < MAX_STEPS) steps[count++] = s;
  }
  void run(lv_worker* w) const {
    for (unsigned i = 0; i < count; i++) steps[i](w);
  }
};

step_list before_steps, root_steps, after_mark_steps;
int64_t margin = DEFAULT_MARGIN;
uint64_t threshold = DEFAULT_MARGIN;
lv_atom_gc_stats stats;

// A stretch of heap cells: box bodies are skipped.
void mark_heap(const lv_term* from, const lv_term* to) {
  while (from < to) {
    lv_term word = *from;
    uint64_t cells = lv_heap_item_cells(word);
    if (cells == 1) lv_atom_mark_word(word);
    from += cells;
  }
}

// A stretch of words that holds no boxes.
void mark_range(const lv_term* from, const lv_term* to) {
  for (; from < to; from++) lv_atom_mark_word(*from);
}

// The roots the engine context holds: its stacks (the trail too: value-trail
// entries keep the old values of mutable terms), registers, term references
// and saved words.
void mark_worker(lv_worker* w) {
  mark_heap(w->area_start, w->H);
  mark_range(w->local_base, w->local_top);
  mark_range(w->B, w->choice_base);
  mark_range(w->trail_base, w->TR);
  lv_atom_mark_words(w->X, LV_X_REGISTERS);
  for (int32_t i = 0; i < w->termref_top; i++) lv_atom_mark_word(w->termrefs[i].term);
  lv_atom_mark_words(w->debug_words, LV_DEBUG_WORDS);
}

void mark_global_refs() {
  lv_for_each_registered_slot([](lv_termref_slot* s) { lv_atom_mark_word(s->term); });
}

void sweep() {
  for (uint64_t i = lv_atom_total_slots(); i-- > 0;) {
    lv_term word = lv_atom_from_index(i);
    if (!lv_atom_live(word)) continue;
    lv_atom* a = lv_atom_record(word);
    if ((a->flags & LV_ATOM_MARK) != 0 || a->refcount != 0) {
      a->flags &= ~LV_ATOM_MARK;
      continue;
    }
    stats.atoms_freed++;
    stats.bytes_freed += 33 + a->length;
    lv_atom_free_index(i);
  }
}

}  // namespace

void lv_atom_mark_word(lv_term word) {
  if ((word & 7) != LV_TAG_ATOM || static_cast<int64_t>(word) < 0) return;
  lv_term atom = word & LV_FUNCTOR_ATOM_MASK;
  if (lv_atom_live(atom)) lv_atom_record(atom)->flags |= LV_ATOM_MARK;
}

void lv_atom_mark_words(const lv_term* words, uint64_t count) { mark_range(words, words + count); }

void lv_atom_gc_add_before(lv_atom_gc_step step) { before_steps.add(step); }
void lv_atom_gc_add_roots(lv_atom_gc_step step) { root_steps.add(step); }
void lv_atom_gc_add_after_mark(lv_atom_gc_step step) { after_mark_steps.add(step); }

void lv_garbage_collect_atoms(lv_worker* w) {
  if (w == nullptr) w = get_current_worker();
  before_steps.run(w);
  uint64_t start = lv_thread_cpu_ms();
  if (w != nullptr) mark_worker(w);
  mark_global_refs();
  lv_atom_mark_word(lv_pending_error_culprit());
  lv_atom_mark_word(lv_atom_eval);
  root_steps.run(w);
  after_mark_steps.run(w);
  sweep();
  stats.milliseconds += lv_thread_cpu_ms() - start;
  stats.collections++;
  threshold = std::min<uint64_t>(lv_atom_live_count() + static_cast<uint64_t>(std::max<int64_t>(margin, 0)), LV_ATOM_LIMIT);
}

uint64_t lv_atom_gc_threshold() { return threshold; }
int64_t lv_atom_gc_margin() { return margin; }

void lv_atom_gc_set_margin(int64_t new_margin) {
  int64_t moved = static_cast<int64_t>(threshold) + new_margin - margin;
  threshold = static_cast<uint64_t>(std::clamp<int64_t>(moved, 0, static_cast<int64_t>(LV_ATOM_LIMIT)));
  margin = new_margin;
  if (lv_atom_live_count() >= threshold) lv_garbage_collect_atoms(nullptr);
}

void lv_atom_gc_reset() {
  margin = DEFAULT_MARGIN;
  threshold = DEFAULT_MARGIN;
  stats = {};
}

lv_atom_gc_stats lv_atom_gc_statistics() { return stats; }
