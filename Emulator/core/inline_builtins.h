// Term built-ins that the emulator runs in place of calls: ground/1, =../2,
// length/2, create_mutable/2, get_mutable/2, update_mutable/2, functor/3,
// append/3, arg/3 and compare/3.
//
// Each routine handles the common deterministic case on the heap and hands
// every other case (an argument of an unexpected type, an error, a case with
// several solutions, a heap running short) to the Prolog definition of the
// built-in, its fall-back (a role predicate of the contract), with the work
// done so far kept.
//
// A routine gets the terms of its argument registers, the address of the
// instruction after it (next) and the emulator's current frame (E, or a
// frame still being built at the local top). H, E and CP are in the context.
// It returns the code to continue at:
//   next           success;
//   lv_fail_code   failure;
//   lv_switch_code a call of the predicate in called_pred, with its
//                  arguments in X0.. . The argument registers live at next
//                  are saved in a handler frame that $resume/7 pops when the
//                  called predicate proceeds, so that the code goes on at
//                  next. A routine that built terms past the heap limit
//                  calls $resume/7 itself in this way, which makes the heap
//                  room the code after it counts on.
// Routines never raise errors themselves: the fall-backs do.
#pragma once

#include <cstdint>

#include "core/worker.h"

// ground(T): 1 when T holds no unbound variable and no mutable, else 0.
int lv_inline_ground(lv_worker* w, lv_term t);

const uint32_t* lv_inline_univ(lv_worker* w, lv_term t, lv_term list, const uint32_t* next, lv_term* frame);
const uint32_t* lv_inline_length(lv_worker* w, lv_term list, lv_term n, const uint32_t* next, lv_term* frame);
const uint32_t* lv_inline_create_mutable(lv_worker* w, lv_term value, lv_term m, const uint32_t* next,
                                         lv_term* frame);
const uint32_t* lv_inline_get_mutable(lv_worker* w, lv_term value, lv_term m, const uint32_t* next, lv_term* frame);
const uint32_t* lv_inline_update_mutable(lv_worker* w, lv_term value, lv_term m, const uint32_t* next,
                                         lv_term* frame);
const uint32_t* lv_inline_functor(lv_worker* w, lv_term t, lv_term name, lv_term arity, const uint32_t* next,
                                  lv_term* frame);
const uint32_t* lv_inline_append(lv_worker* w, lv_term l1, lv_term l2, lv_term l3, const uint32_t* next,
                                 lv_term* frame);
const uint32_t* lv_inline_arg(lv_worker* w, lv_term n, lv_term t, lv_term a, const uint32_t* next, lv_term* frame);
const uint32_t* lv_inline_compare(lv_worker* w, lv_term order, lv_term a, lv_term b, const uint32_t* next,
                                  lv_term* frame);

// The continuation machinery the routines share (also for other built-ins
// that run inside clause code).
//
// Calls pred with the n arguments as the continuation of the code at next:
// returns lv_switch_code.
const uint32_t* lv_inline_call(lv_worker* w, lv_pred* pred, const lv_term* args, unsigned n, const uint32_t* next,
                               lv_term* frame);
// next, or, when H has reached the heap limit, the call that makes heap
// room before the code at next runs.
const uint32_t* lv_inline_success(lv_worker* w, const uint32_t* next, lv_term* frame);
