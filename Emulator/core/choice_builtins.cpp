// Choicepoint references, removal of choicepoints by reference, and the
// registration of cleanup goals.
#include "core/choice_builtins.h"

#include "core/cleanups.h"
#include "core/stack_shift.h"
#include "core/unify.h"
#include "store/call_choicepoint.h"
#include "store/static_code.h"

// Never run: a frame with this alternative is taken off by the code that
// pushed it before anything backtracks into it.
const lv_try_record lv_c_call_frame_alternative = {nullptr, nullptr, nullptr, 48, 0};

namespace {

bool c_call_frame(const lv_term* b) { return lv_choice_view(b)->alternative() == &lv_c_call_frame_alternative; }

// The choicepoint at b, or the next older one that is no C-call frame; null
// past the bottom of the choice stack.
lv_term* skip_frames(lv_worker* w, lv_term* b) {
  while (b < w->choice_base && c_call_frame(b)) b = lv_choice_prev(b);
  return b < w->choice_base ? b : nullptr;
}

lv_term* older(lv_worker* w, lv_term* b) {
  lv_term* prev = lv_choice_prev(b);
  return prev < w->choice_base ? skip_frames(w, prev) : nullptr;
}

lv_term reference(const lv_worker* w, const lv_term* b) { return lv_make_small(w->choice_base - b); }

// The choicepoint a reference names, found by walking the choice stack, so
// that a made-up reference never addresses anything else; null when none.
lv_term* choicepoint_of(lv_worker* w, lv_term ref) {
  ref = lv_deref(ref);
  if (!lv_is_small(ref)) return nullptr;
  int64_t cells = lv_small_value(ref);
  if (cells <= 0 || cells > w->choice_base - w->B) return nullptr;
  lv_term* target = w->choice_base - cells;
  for (lv_term* b = w->B; b < w->choice_base; b = lv_choice_prev(b))
    if (b == target) return b;
  return nullptr;
}

bool guards(const lv_term* b) { return lv_choice_view(b)->guards_cleanups(); }

// Makes b the newest choicepoint, with the heap top and local top it saved;
// when it guards cleanup entries the next event check runs them.
void make_newest(lv_worker* w, lv_term* b) {
  lv_make_choice_current(w, b);
  if (guards(b)) lv_request_event(w);
}

// Sets the guard bit on b and each older choicepoint until one has it.
void mark_guards(lv_worker* w, lv_term* b) {
  for (; b != nullptr && b < w->choice_base && !guards(b); b = lv_choice_prev(b)) lv_choice_view(b)->alt |= 1;
}

// Pushes Entry on the cleanup chain; backtracking restores the old chain.
bool push_entry(lv_worker* w) {
  if (lv_cleanup_chain(w) == 0) return false;
  lv_heap_room(w, 2, 1);
  lv_term chain = lv_cleanup_chain(w);
  lv_term* h = w->H;
  h[0] = lv_deref(w->X[0]);
  h[1] = lv_deref(lv_struct_cells(chain)[1]);
  w->H = h + 2;
  lv_update_mutable(w, lv_make_list(h), chain);
  return true;
}

}  // namespace

lv_term* lv_choice_skip_frames(lv_worker* w, lv_term* b) { return skip_frames(w, b); }
lv_term* lv_choice_older(lv_worker* w, lv_term* b) { return older(w, b); }
lv_term lv_choice_reference(const lv_worker* w, const lv_term* b) { return reference(w, b); }
lv_term* lv_choice_of_reference(lv_worker* w, lv_term ref) { return choicepoint_of(w, ref); }
void lv_choice_make_newest(lv_worker* w, lv_term* b) { make_newest(w, b); }

int prolog_nth_choicepoint(lv_worker* w) {
  lv_term n = lv_deref(w->X[0]);
  if (!lv_is_small(n) || lv_small_value(n) < 0) return 0;
  lv_term* b = skip_frames(w, w->B);
  for (int64_t i = lv_small_value(n); i > 0 && b != nullptr; i--) b = older(w, b);
  return b != nullptr && cunify(w, w->X[1], reference(w, b));
}

int prolog_clean_up(lv_worker* w) {
  lv_term ref = lv_deref(w->X[0]);
  lv_term n = lv_deref(w->X[1]);
  if (!lv_is_small(n) || lv_small_value(n) < 0) return 1;
  lv_term* b = skip_frames(w, w->B);
  for (int64_t i = lv_small_value(n); i > 0 && b != nullptr; i--) b = older(w, b);
  if (b != nullptr && reference(w, b) == ref) make_newest(w, b);
  return 1;
}

int prolog_zap_chpt(lv_worker* w) {
  lv_term* b = choicepoint_of(w, w->X[0]);
  if (b == nullptr) return 1;
  if (b == skip_frames(w, w->B)) {
    lv_term* next = lv_choice_prev(b);
    if (next < w->choice_base) make_newest(w, next);
    return 1;
  }
  lv_choicepoint* c = lv_choice_view(b);
  const lv_try_record* successor = c->alternative()->next;
  if (successor != nullptr) c->alt = reinterpret_cast<lv_term>(lv_try_alternative(successor)) | (c->alt & 1);
  return 1;
}

int prolog_trail_cleanup(lv_worker* w) {
  if (!push_entry(w)) return 0;
  mark_guards(w, w->B);
  // The guard's alternative fails on: the failure then reaches the marked
  // choicepoints, which run the entries.
  lv_push_call_choicepoint(w, &lv_static.fail_alternative);
  return 1;
}

int prolog_trail_undo(lv_worker* w) { return push_entry(w) ? 1 : 0; }

int prolog_undo_cleanup(lv_worker* w) {
  lv_term* ref = choicepoint_of(w, w->X[0]);
  if (ref == nullptr) return 1;
  lv_term* newest = skip_frames(w, w->B);
  if (newest != nullptr && older(w, newest) == ref) {
    make_newest(w, ref);
    return 1;
  }
  mark_guards(w, lv_choice_prev(ref));
  if (guards(w->B)) lv_request_event(w);
  return 1;
}
