// Frames the emulator and the built-ins push to run Prolog code in the middle
// of other code: continuation frames (a predicate call deferred until the
// current code proceeds), fixed continuations, handler frames (the argument
// registers live at an interrupted point, saved while a handler predicate
// runs) and the event path of a call. Also the argument registers above X255
// and the choicepoint registers.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_pred;

// A code address kept in a frame or register is split into two atomic
// words: the address with its low three bits cleared (tagged as a small
// integer) and the low three bits as a small integer.
inline lv_term lv_code_address_high(const void* address) {
  return (reinterpret_cast<uint64_t>(address) & ~uint64_t{7}) | LV_TAG_SMALL;
}
inline lv_term lv_code_address_low(const void* address) { return lv_make_small(reinterpret_cast<uint64_t>(address) & 7); }
inline const uint32_t* lv_code_address_join(lv_term high, lv_term low) {
  return reinterpret_cast<const uint32_t*>(high + (low >> 3) - LV_TAG_SMALL);
}

// The size in bytes of the environment frame live at a continuation: the
// 32-bit word before it, or when that is 0 the 64-bit word before that.
int64_t lv_frame_size_at(const uint32_t* continuation);

// Pops the frame F: CP and E from it; the local top drops to F unless a
// choicepoint protects F.
inline void lv_deallocate(lv_worker* w, lv_term* frame) {
  w->CP = lv_frame_view(frame)->continuation();
  w->E = lv_frame_view(frame)->previous();
  if (w->saved_local_top <= frame) w->local_top = frame;
}

// After a frame was pushed: at the local-stack limit, request an event.
inline void lv_local_limit_check(lv_worker* w) {
  if (w->local_top >= w->local_limit) lv_request_event(w);
}

// Makes pred the continuation of the current code: when it proceeds, the
// predicate is called with the present X0..X(arity-1). A nonzero address is
// kept as the call site of that call. Returns the new local top.
lv_term* lv_push_continuation_frame(lv_worker* w, const lv_pred* pred, const uint32_t* address);

// Pushes [E, CP, a, b, c] with the fixed continuation as CP, unless the
// current unprotected frame already is such a frame for the same values.
void lv_push_fixed_continuation(lv_worker* w, lv_term a, lv_term b, lv_term c);

// Saves the argument registers live at resume in a frame and loads X0..X6
// for the handler predicate, which it returns: X0 the heap cells the
// interrupted code needs, X1 the number of saved registers, X2/X3 the
// interrupted address, X4 the cut barrier as an offset, X5/X6 the resume
// address. frame is the emulator's current frame: when it is the local top
// (a frame still being built) and a call follows, that call's environment is
// completed first and the interrupted address is marked odd. H, E and CP are
// in the context. The keep_count terms at keep are kept valid (they are
// rewritten) should the stacks move while room is made.
lv_pred* lv_push_handler_frame(lv_worker* w, int64_t cells, const uint32_t* interrupted, const uint32_t* resume,
                               lv_term* frame, lv_term* keep = nullptr, int keep_count = 0);

// Undoes lv_push_handler_frame, given the handler's X0..X6: restores the
// registers, E, CP and the cut barrier, and makes the heap room asked for.
// Returns the address to continue at; *call is 1 when it lies before the
// call of a frame being built, whose contents are then at the local top.
const uint32_t* lv_pop_handler_frame(lv_worker* w, int* call);

// Argument register index (>= 256) in the overflow area above the
// term-reference top; storing grows the area as needed.
void lv_grow_x_overflow_area(lv_worker* w, int64_t index, lv_term value);
lv_term lv_x_overflow_register(lv_worker* w, int64_t index);

// B := choicepoint, HB and the protected local top from it, and an event is
// requested. Returns 1.
int lv_set_choice_registers(lv_worker* w, lv_term* choicepoint);

// The event path of a call to pred from callsite, once the call found the
// heap soft limit at zero: the call becomes a continuation, room is made,
// woken goals and cut cleanups are set up, and, while the event is still
// pending, the event handler is made the first thing to run. Returns the
// predicate to call now, without a further event check. H is in the context.
lv_pred* lv_event_at_call(lv_worker* w, lv_pred* pred, const uint32_t* callsite);

// The frames of an evaluation error in an arithmetic instruction at address,
// in a sequence that starts at P: a handler frame (interrupted at address,
// keeping the registers live at P), a continuation for the handler
// predicate, and a frame [E, CP, operand 1, operand 2] whose operand `which`
// (1 or 2) is a new variable and the other is other, continued by
// RESTORE_OPERANDS_PROGRESS, which undoes all three and finishes the
// instruction. Loads X0 = known (an unbound local variable moved to the
// heap), X1 = the variable, X2 = extra, X3 = which and returns the
// evaluation predicate. H is in the context.
lv_pred* lv_push_eval_error_frame(lv_worker* w, lv_term known, lv_term other, int which, const uint32_t* address,
                                  int64_t extra, lv_term* frame);

// The cut barrier as a small integer: its byte offset from the choice-stack
// base; and back.
inline lv_term lv_choice_offset(const lv_worker* w, const lv_term* choicepoint) {
  return lv_make_small(reinterpret_cast<const char*>(w->choice_base) - reinterpret_cast<const char*>(choicepoint));
}
inline lv_term* lv_choice_at_offset(const lv_worker* w, lv_term offset) {
  return reinterpret_cast<lv_term*>(reinterpret_cast<char*>(w->choice_base) - lv_small_value(offset));
}

// The cut target a term names, as cut instructions take it from a register
// or a permanent variable: a choicepoint of the chain from B (or one newer
// than B, which leaves nothing to cut); null for a term that names none
// (Prolog code or code from a file can hand over any term). The walk meets
// only the choicepoints the cut then removes.
inline lv_term* lv_cut_target(const lv_worker* w, lv_term offset) {
  if (!lv_is_small(offset)) return nullptr;
  int64_t bytes = lv_small_value(offset);
  if (bytes <= 0 || bytes % 8 != 0) return nullptr;
  if (bytes >= reinterpret_cast<char*>(w->choice_base) - reinterpret_cast<char*>(w->B)) return w->B;
  lv_term* target = lv_choice_at_offset(w, offset);
  lv_term* b = w->B;
  while (b < target && b < w->choice_base) b = lv_choice_prev(b);
  return b == target && target < w->choice_base ? target : nullptr;
}

// The error of a cut whose term names no choicepoint (lv_cut_target): a
// system error of !/0 with the term as culprit, raised as the built-ins
// raise theirs (the caller then fails into the handler). H is in the
// context.
void lv_raise_cut_error(lv_worker* w, lv_term culprit);
