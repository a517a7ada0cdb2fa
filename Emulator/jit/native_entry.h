// The doors between the emulator and native code: the switch that lets
// native code run, the two entries and the exit statuses they return, and
// the native entry stub of predicate records.
#pragma once

#include <cstdint>

struct lv_pred;
struct lv_worker;

// Whether native code runs. It stays off until the native-code compiler
// hands over code.
extern bool lv_native_code_on;

// The native-code trace level (the low byte of LV_JITTRACE).
extern int lv_jit_trace_level;

// Runs the installed native code of the context's called predicate from
// its C entry, with the registers taken from the context.
extern "C" __attribute__((ms_abi)) int32_t lv_enter_native_code(lv_worker* w);
// Continues native code behind the native-operation header at the saved
// instruction pointer P.
extern "C" __attribute__((ms_abi)) int32_t lv_resume_native_code(lv_worker* w);

// What native code leaves the emulator to do.
enum lv_native_exit : int32_t {
  LV_NATIVE_BACKTRACK = 0,  // H, B and TR written back: backtrack
  LV_NATIVE_CONTINUE = 1,   // every register saved: continue at P
  LV_NATIVE_CALL = 2,       // every register saved: call the called predicate, P the call site
  LV_NATIVE_EVENTS = 3,     // every register saved: take pending events, then continue at P
};

// Rewrites the record's native entry stub to match its call kind; while
// native code is off the stub is the trap pattern. The result is not used.
int lv_set_native_entry(lv_pred* pred);
