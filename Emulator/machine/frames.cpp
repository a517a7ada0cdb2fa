// Continuation, fixed-continuation, handler and evaluation-error frames, the
// event path of a call, and the argument registers above X255.
#include "machine/frames.h"

#include <cstring>

#include "core/bind.h"
#include "core/atoms.h"
#include "core/cleanups.h"
#include "core/errors.h"
#include "core/fault.h"
#include "core/memory.h"
#include "core/numbers.h"
#include "core/predefined_atoms.h"
#include "core/stack_shift.h"
#include "core/term_compare.h"
#include "core/termrefs.h"
#include "core/wakeup.h"
#include "embed/prolog_contract.h"
#include "machine/insn_walk.h"
#include "store/live_registers.h"
#include "store/predicates.h"
#include "store/static_code.h"

namespace {

// Pushes [E, CP] and n more words at the local top and makes it E.
lv_term* push_frame(lv_worker* w, const uint32_t* cp, int64_t n) {
  lv_term* f = w->local_top;
  lv_frame_view(f)->e = reinterpret_cast<lv_term>(w->E);
  lv_frame_view(f)->cp = reinterpret_cast<lv_term>(w->CP);
  w->E = f;
  w->CP = cp;
  w->local_top = f + LV_FRAME_Y + n;
  return f;
}

// The continuation of the call that completes a frame being built at p: the
// address after the next FIRSTCALL in straight-line code, or null.
const uint32_t* frame_call_continuation(const uint32_t* p) {
  for (;;) {
    uint32_t word = *p;
    if ((word & 1) != 0 || (word >> 1) >= LV_INSN_COUNT) return nullptr;
    lv_insn n = static_cast<lv_insn>(word >> 1);
    int step;
    const uint32_t* next = lv_insn_next(p, &step);
    if (n == LV_OP_FIRSTCALL || n == LV_OP_FIRSTCALLQ || n == LV_OP_FIRSTCALL_CALL) return next;
    if (step == LV_STEP_CALL || step == LV_STEP_LEAVE || step == LV_STEP_END) return nullptr;
    p = next;
  }
}

// Register i of the handler frame's registers: X0..X255, then the overflow
// area.
lv_term& x_register(lv_worker* w, int64_t i) {
  if (i < LV_X_REGISTERS) return w->X[i];
  return w->termrefs[w->termref_top + (i - LV_X_REGISTERS)].term;
}

int64_t free_heap_cells(const lv_worker* w) { return w->heap_hard_limit - w->H; }
int64_t free_local_cells(const lv_worker* w) { return w->local_limit - w->local_top; }

}  // namespace

int64_t lv_frame_size_at(const uint32_t* continuation) {
  int32_t size = static_cast<int32_t>(continuation[-1]);
  if (size != 0) return size;
  return static_cast<int64_t>(lv_code_read64(continuation - 3));
}

lv_term* lv_push_continuation_frame(lv_worker* w, const lv_pred* pred, const uint32_t* address) {
  if (address != nullptr) {
    lv_term* f = push_frame(w, lv_restore_caller_code, 2);
    lv_frame_view(f)->y[0] = lv_code_address_high(address);
    lv_frame_view(f)->y[1] = lv_code_address_low(address);
  }
  lv_term* f = push_frame(w, &pred->continue_insn, pred->arity);
  for (int32_t i = 0; i < pred->arity; i++) lv_frame_view(f)->y[i] = w->X[i];
  return w->local_top;
}

void lv_push_fixed_continuation(lv_worker* w, lv_term a, lv_term b, lv_term c) {
  lv_term* e = w->E;
  const lv_term* y = lv_frame_view(e)->y;
  if (e >= w->saved_local_top && w->CP == lv_fixed_continuation_code && lv_compare_terms(w, y[0], a) == 0 && y[1] == b &&
      y[2] == c)
    return;
  lv_term* f = push_frame(w, lv_fixed_continuation_code, 3);
  lv_frame_view(f)->y[0] = a;
  lv_frame_view(f)->y[1] = b;
  lv_frame_view(f)->y[2] = c;
  lv_local_limit_check(w);
}

void lv_grow_x_overflow_area(lv_worker* w, int64_t index, lv_term value) {
  int64_t slot = w->termref_top + (index - LV_X_REGISTERS);
  if (slot >= w->termref_capacity) lv_termrefs_grow(w, slot + 1);
  w->termrefs[slot].term = value;
  w->termrefs[slot].zero = 0;
}

lv_term lv_x_overflow_register(lv_worker* w, int64_t index) {
  int64_t slot = w->termref_top + (index - LV_X_REGISTERS);
  if (slot >= w->termref_capacity) lv_termrefs_grow(w, slot + 1);
  return w->termrefs[slot].term;
}

int lv_set_choice_registers(lv_worker* w, lv_term* choicepoint) {
  lv_make_choice_current(w, choicepoint);
  lv_request_event(w);
  return 1;
}

lv_pred* lv_push_handler_frame(lv_worker* w, int64_t cells, const uint32_t* interrupted, const uint32_t* resume,
                               lv_term* frame, lv_term* keep, int keep_count) {
  // Dead registers below the count are saved as [], so that no stale word
  // becomes a root.
  lv_live_set live;
  lv_live_x_register_set(w, resume, &live);
  int64_t n = static_cast<int64_t>(lv_live_set_count(live));

  // A frame still being built at the local top gets the environment the
  // call ahead would give it, so that the handler frame goes above it.
  if (frame == w->local_top) {
    const uint32_t* continuation = frame_call_continuation(interrupted);
    if (continuation != nullptr) {
      if (w->E == w->local_top) w->E = lv_frame_view(w->E)->previous();
      lv_frame_view(frame)->e = reinterpret_cast<lv_term>(w->E);
      lv_frame_view(frame)->cp = reinterpret_cast<lv_term>(w->CP);
      w->E = frame;
      w->CP = continuation;
      w->local_top = frame + lv_frame_size_at(continuation) / 8;
      interrupted = reinterpret_cast<const uint32_t*>(reinterpret_cast<uintptr_t>(interrupted) + 1);
    }
  }

  // X0..X255 fit the local stack's reserve; more registers may need room,
  // made once the first ones are saved (the argument registers then carry
  // the caller's terms to keep, as roots).
  int64_t low = n < LV_X_REGISTERS ? n : LV_X_REGISTERS;
  lv_term* f = push_frame(w, lv_code_stub_for_arity(static_cast<uint64_t>(low)), low);
  for (int64_t i = 0; i < low; i++)
    lv_frame_view(f)->y[i] = lv_live_set_has(live, static_cast<unsigned>(i)) ? w->X[i] : LV_ATOM_NIL;
  if (n > LV_X_REGISTERS) {
    if (free_local_cells(w) < 3 * n) {
      for (int i = 0; i < keep_count; i++) w->X[i] = keep[i];
      heap_overflow(w, 0, n + LV_LOCAL_RESERVE_CELLS);
      for (int i = 0; i < keep_count; i++) keep[i] = w->X[i];
      f = w->E;
    }
    for (int64_t i = LV_X_REGISTERS; i < n; i++) lv_frame_view(f)->y[i] = x_register(w, i);
    w->local_top = f + LV_FRAME_Y + n;
    w->CP = lv_code_stub_for_arity(static_cast<uint64_t>(n));
  }
  lv_local_limit_check(w);

  w->X[0] = lv_make_small(cells);
  w->X[1] = lv_make_small(n);
  w->X[2] = lv_code_address_high(interrupted);
  w->X[3] = lv_code_address_low(interrupted);
  w->X[4] = lv_choice_offset(w, w->cut_barrier);
  w->X[5] = lv_code_address_high(resume);
  w->X[6] = lv_code_address_low(resume);
  return lv_role.frame_handler;
}

const uint32_t* lv_pop_handler_frame(lv_worker* w, int* call) {
  lv_term args[7];
  for (int i = 0; i < 7; i++) args[i] = lv_deref(w->X[i]);
  w->P = lv_code_address_join(args[5], args[6]);
  int64_t cells = lv_small_value(args[0]);
  if (free_heap_cells(w) < cells) heap_overflow(w, cells, LV_LOCAL_RESERVE_CELLS);
  w->cut_barrier = lv_choice_at_offset(w, args[4]);

  int64_t n = lv_small_value(args[1]);
  lv_term* f = w->E;
  for (int64_t i = 0; i < n; i++) {
    if (i < LV_X_REGISTERS)
      w->X[i] = lv_frame_view(f)->y[i];
    else
      lv_grow_x_overflow_area(w, i, lv_frame_view(f)->y[i]);
  }
  lv_deallocate(w, f);

  uintptr_t interrupted = reinterpret_cast<uintptr_t>(lv_code_address_join(args[2], args[3]));
  *call = static_cast<int>(interrupted & 1);
  if (*call == 0) return reinterpret_cast<const uint32_t*>(interrupted);

  // Undo the environment completed for the call ahead: the frame goes back
  // to being built at the local top.
  lv_term* env = w->E;
  int64_t words = lv_frame_size_at(w->CP) / 8;
  lv_deallocate(w, env);
  if (env != w->local_top) std::memmove(w->local_top, env, static_cast<size_t>(words) * sizeof(lv_term));
  return reinterpret_cast<const uint32_t*>(interrupted - 1);
}

lv_pred* lv_event_at_call(lv_worker* w, lv_pred* pred, const uint32_t* callsite) {
  lv_push_continuation_frame(w, pred, callsite);

  // A call that met the heap at its limit with no event pending makes room
  // here: nothing else would, and the call would meet the limit again.
  int64_t wakeups = w->wakeup_count;
  lv_term* soft = lv_soft_limit(w);
  bool at_limit = soft != nullptr && w->H >= soft;
  if (at_limit || free_heap_cells(w) < 4 * wakeups || free_local_cells(w) < 13 + 4 * wakeups)
    heap_overflow(w, 4 * wakeups + LV_HEAP_RESERVE_CELLS, 4 * wakeups + 541);

  // The call itself now waits in its continuation frame: what runs next
  // starts as the predicate that just proceeds.
  lv_pred* next = lv_kind_pred[LV_KIND_BUILTIN_TRUE];
  if (w->wakeup_count != 0) next = lv_collect_woken_goals(w, next);
  if (lv_choice_view(w->B)->guards_cleanups()) next = lv_cut_run_cleanups(w, next);
  if (lv_soft_limit(w) != nullptr) return next;

  lv_set_soft_limit(w, w->heap_hard_limit);
  lv_push_continuation_frame(w, next, callsite);
  return lv_role.event_handler;
}

lv_pred* lv_push_eval_error_frame(lv_worker* w, lv_term known, lv_term other, int which, const uint32_t* address,
                                  int64_t extra, lv_term* frame) {
  if (lv_role.frame_handler == nullptr || lv_role.eval_handler == nullptr) LV_raise_fault("no Prolog handler for evaluation");
  // An unbound variable of the local stack moves to the heap: the handler
  // gets no reference into a frame.
  known = lv_deref(known);
  if (lv_is_ref(known) && lv_ref_cell(known) >= w->H) {
    lv_term* cell = w->H++;
    *cell = lv_make_ref(cell);
    lv_bind(w, lv_ref_cell(known), *cell);
    known = *cell;
  }
  // The registers saved are those live at the start of the sequence (P).
  lv_term operands[2] = {known, other};
  lv_pred* handler = lv_push_handler_frame(w, LV_HEAP_RESERVE_CELLS, address, w->P, frame, operands, 2);
  known = operands[0];
  other = operands[1];
  lv_push_continuation_frame(w, handler, nullptr);
  lv_term* f = push_frame(w, lv_restore_operands_code, 2);
  lv_term* var = &lv_frame_view(f)->y[which == 1 ? 0 : 1];
  *var = lv_make_ref(var);
  lv_frame_view(f)->y[which == 1 ? 1 : 0] = other;
  lv_local_limit_check(w);
  w->X[0] = known;
  w->X[1] = lv_make_ref(var);
  w->X[2] = lv_make_integer(w, extra);
  w->X[3] = lv_make_small(which);
  return lv_role.eval_handler;
}

void lv_raise_cut_error(lv_worker* w, lv_term culprit) {
  lv_set_pending_error(LV_ERROR_SYSTEM, "a cut to no choicepoint", culprit);
  lv_raise_builtin_error(w, LV_ATOM_PROLOG, lv_atom_from_text("!", LV_ATOM_FIND_OR_CREATE), 0, 0);
}
