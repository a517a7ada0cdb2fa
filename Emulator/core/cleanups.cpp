// Running cleanup goals passed by a cut or a failure.
#include "core/cleanups.h"

#include "core/bind.h"
#include "core/fd_hooks.h"
#include "core/free_handles.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "embed/prolog_contract.h"
#include "machine/frames.h"

namespace {

int64_t saved_trail_position(const lv_worker* w, const lv_term* b) {
  return lv_choice_view(b)->saved_tr() - w->trail_base;
}

// The chain as it was when the newest choicepoint was made: the present
// value when the mutable has no value-trail entry newer than the
// choicepoint; else the old value of the oldest of those entries (each
// entry's old stamp leads to the mutable's entry before it), since every
// registration after a newer choicepoint has one.
lv_term chain_at_choicepoint(lv_worker* w, lv_term* mutable_cells) {
  int64_t mark = saved_trail_position(w, w->B);
  int64_t stamp = lv_small_value(mutable_cells[2]);
  if (stamp < mark) return mutable_cells[1];
  for (;;) {
    const lv_term* entry = w->trail_base + stamp;
    int64_t older = lv_small_value(entry[2]);
    if (older < mark) return entry[1];
    stamp = older;
  }
}

enum class entry_kind { skip, goal, cut, release, keep };

constexpr lv_term FUNCTOR_FREE_1 = LV_ATOM_FREE | (lv_term{1} << 55);

// An entry's kind; *goal receives its goal and *status_cell its status
// variable's cell, or null when the status is not a variable.
//
// An entry whose goal is '$free'(Handle) is the handle of a C block of the
// constraint solver: Status unbound while the block's propagator lives, 1
// once it is dead but a choicepoint could still revive it, 0 once the
// block is gone. A failure passing it releases the block (the propagator
// is backtracked away) and so does a cut passing a dead one; a cut passing
// a live one keeps the entry on the chain, so that the failure that later
// takes the propagator away still finds it.
entry_kind classify(lv_term entry, lv_term reason, lv_term* goal, lv_term** status_cell) {
  if (!lv_is_list(entry)) return entry_kind::skip;
  lv_term* cells = lv_list_cells(entry);
  lv_term status = lv_deref(cells[0]);
  *goal = cells[1];
  *status_cell = lv_is_ref(status) ? lv_ref_cell(status) : nullptr;
  lv_term g = lv_deref(*goal);
  bool handle = lv_is_struct(g) && *lv_struct_cells(g) == FUNCTOR_FREE_1;
  if (status == lv_make_small(1)) return handle ? entry_kind::release : entry_kind::goal;
  if (!lv_is_ref(status)) return entry_kind::skip;
  if (handle) return reason == LV_ATOM_FAIL ? entry_kind::release : entry_kind::keep;
  return reason == LV_ATOM_FAIL ? entry_kind::goal : entry_kind::cut;
}

// Marks the entry done (status 0) and hands its goal's handle to the
// solver, which frees the block when it is one of its own; a handle the
// solver does not know is released only when it is a registered record.
void release(lv_worker* w, lv_term entry, lv_term goal, lv_term* status) {
  if (status != nullptr)
    lv_bind(w, status, lv_make_small(0));
  else
    lv_list_cells(entry)[0] = lv_make_small(0);
  lv_term handle = lv_deref(lv_struct_cells(lv_deref(goal))[1]);
  if (lv_call_fd_hook(LV_FD_EVENT_RELEASE, static_cast<int64_t>(handle)) == 0) lv_release_handle(handle);
}

}  // namespace

lv_term lv_cleanup_chain(lv_worker* w) {
  lv_term m = lv_deref(w->termrefs[LV_CLEANUP_CHAIN_SLOT].term);
  if (!lv_is_struct(m) || *lv_struct_cells(m) != LV_FUNCTOR_MUTABLE_2) return 0;
  return m;
}

bool lv_cleanups_pending(lv_worker* w, lv_term chain) {
  lv_term* cells = lv_struct_cells(chain);
  return cells[1] != chain_at_choicepoint(w, cells);
}

lv_pred* lv_run_trail_cleanups(lv_worker* w, lv_term reason) {
  lv_term m = lv_cleanup_chain(w);
  if (m == 0) {
    if (reason != LV_ATOM_FAIL) lv_choice_view(w->B)->alt &= ~lv_term{1};
    return nullptr;
  }

  // Count what will be built, then make room; the chain is reached again
  // through its slot, since making room may move the heap. Solver handles
  // due for release are released in this first pass (nothing is built for
  // them, and their status 0 makes the second pass skip them).
  int64_t goals = 0, cuts = 0, keeps = 0;
  lv_term* cells = lv_struct_cells(m);
  lv_term stop = chain_at_choicepoint(w, cells);
  for (lv_term e = lv_deref(cells[1]); e != stop && lv_is_list(e); e = lv_deref(lv_list_cells(e)[1])) {
    lv_term entry = lv_deref(lv_list_cells(e)[0]);
    lv_term goal;
    lv_term* status;
    entry_kind k = classify(entry, reason, &goal, &status);
    if (k == entry_kind::goal) goals++;
    if (k == entry_kind::cut) cuts++;
    if (k == entry_kind::keep) keeps++;
    if (k == entry_kind::release) release(w, entry, goal, status);
  }
  if (reason != LV_ATOM_FAIL && goals == 0) {
    lv_choice_view(w->B)->alt &= ~lv_term{1};
    return nullptr;
  }
  int64_t need = 3 * goals + 2 * cuts + 2 * keeps + LV_HEAP_RESERVE_CELLS;
  if (w->heap_hard_limit - w->H < need) call_overflow(w, need, 5);

  m = lv_cleanup_chain(w);
  cells = lv_struct_cells(m);
  stop = chain_at_choicepoint(w, cells);
  lv_term run = LV_ATOM_TRUE;
  lv_term cut_entries = LV_ATOM_NIL;
  lv_term* cut_tail = &cut_entries;
  lv_term kept = LV_ATOM_NIL;
  lv_term* kept_tail = &kept;
  bool any = false;
  for (lv_term e = lv_deref(cells[1]); e != stop && lv_is_list(e); e = lv_deref(lv_list_cells(e)[1])) {
    lv_term entry = lv_deref(lv_list_cells(e)[0]);
    lv_term goal;
    lv_term* status;
    entry_kind k = classify(entry, reason, &goal, &status);
    if (k == entry_kind::goal) {
      // A status variable is bound (backtracking unbinds it); a status 1
      // is overwritten: once run, the entry is done for good.
      if (status != nullptr)
        lv_bind(w, status, lv_make_small(0));
      else
        lv_list_cells(entry)[0] = lv_make_small(0);
      if (!any) {
        run = goal;
      } else {
        lv_term* h = w->H;
        h[0] = lv_make_functor(LV_ATOM_CALL_CLEANUP_INTERNAL, 2);
        h[1] = run;
        h[2] = goal;
        w->H = h + 3;
        run = lv_make_struct(h);
      }
      any = true;
    } else if (k == entry_kind::cut) {
      lv_term* h = w->H;
      h[0] = entry;
      h[1] = LV_ATOM_NIL;
      w->H = h + 2;
      *cut_tail = lv_make_list(h);
      cut_tail = &h[1];
    } else if (k == entry_kind::keep) {
      lv_term* h = w->H;
      h[0] = entry;
      w->H = h + 2;
      *kept_tail = lv_make_list(h);
      kept_tail = &h[1];
    }
  }
  // Unlink the scanned entries: the chain is what it was at the newest
  // choicepoint, which also is what its value-trail entry restores, behind
  // the live solver handles a cut passed.
  *kept_tail = stop;
  cells[1] = kept;

  lv_term* var = w->H;
  *var = lv_make_ref(var);
  w->H = var + 1;
  w->X[0] = run;
  w->X[1] = cut_entries;
  w->X[2] = lv_make_ref(var);
  return lv_role.cleanup_runner;
}

lv_pred* lv_cut_run_cleanups(lv_worker* w, lv_pred* k) {
  lv_term m = lv_cleanup_chain(w);
  if (m == 0 || lv_small_value(lv_struct_cells(m)[2]) < saved_trail_position(w, w->B)) {
    lv_choice_view(w->B)->alt &= ~lv_term{1};
    return k;
  }
  lv_push_continuation_frame(w, k, nullptr);
  lv_pred* runner = lv_run_trail_cleanups(w, LV_ATOM_CUT);
  return runner != nullptr ? runner : lv_kind_pred[LV_KIND_BUILTIN_TRUE];
}
