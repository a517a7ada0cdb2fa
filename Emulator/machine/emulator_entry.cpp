// Entering the emulator: the protected entry with its recovery record, the
// start code of each mode, and the trace and profiling settings.
#include <csetjmp>
#include <cstdio>

#include "core/context_init.h"
#include "core/fault.h"
#include "core/memory.h"
#include "core/predefined_atoms.h"
#include "core/settings.h"
#include "core/stack_shift.h"
#include "jit/native_entry.h"
#include "machine/emulator.h"
#include "machine/heap_blobs.h"
#include "machine/insn_walk.h"
#include "machine/recovery.h"
#include "store/static_code.h"

lv_term lv_profiling_switch = LV_ATOM_OFF;
int lv_predtrace_level;

namespace {

void read_trace_settings() {
  char* predtrace = lv_get_property_text_default("LV_PREDTRACE", nullptr, nullptr);
  if (predtrace != nullptr) {
    lv_predtrace_level = predtrace[0] - '0';
    if (lv_predtrace_level > 0) lv_profiling_switch = LV_ATOM_ON;
    std::fprintf(stderr, "\nsetting predtrace to %d (from LV_PREDTRACE==\"%s\")\n", lv_predtrace_level, predtrace);
    std::fflush(stderr);
    LV_free(predtrace);
  }
  if (lv_getenv_yes_no("LV_PROFILE", 0) != 0) lv_profiling_switch = LV_ATOM_ON;
  uint64_t jittrace = lv_getenv_int_suffixed("LV_JITTRACE", 0, 0);
  lv_jit_trace_level = static_cast<int>(jittrace & 0xFF);
  if (lv_jit_trace_level != 0) {
    std::fprintf(stderr, "\nsetting jittrace to %d (from LV_JITTRACE)\n", lv_jit_trace_level);
    std::fflush(stderr);
  }
}

// Runs the emulator for the mode; a result of 2 continues at CP (a switch
// between the plain and the profiled emulator).
int32_t run_mode(lv_worker* w, int mode, lv_pred* pred) {
  alignas(8) uint32_t call_code[4];
  for (;;) {
    const uint32_t* start = nullptr;
    switch (mode) {
      case LV_ENTER_FAIL:
        start = lv_fail_code;
        break;
      case LV_ENTER_PROCEED:
        start = lv_proceed_code;
        break;
      case LV_ENTER_CALL:
        call_code[0] = lv_opcode(LV_OP_EXECUTEQ);
        call_code[1] = 0;
        lv_code_write64(&call_code[2], reinterpret_cast<uint64_t>(pred));
        start = call_code;
        break;
      case LV_ENTER_RESUME:
        start = lv_resume_start();
        break;
      default:
        read_trace_settings();
        return 0;
    }
    int32_t result = lv_profiling_switch == LV_ATOM_ON ? lv_run_emulator_profiled(w, start) : lv_run_emulator(w, start);
    if (result != 2) return result;
    mode = LV_ENTER_PROCEED;
  }
}

// After a memory failure: the engine restarts from empty stacks and the
// query fails.
void reinitialise(lv_worker* w) {
  w->status = -6;
  lv_context_reset_stacks(w);
  lv_restore_saved_blobs(w);
}

}  // namespace

int32_t lv_enter_emulator_protected(lv_worker* w, int mode, lv_pred* pred) {
  lv_jump_record record;
  lv_jump_record* previous = lv_current_recovery();
  const int32_t termref_top = w->termref_top;
  volatile int current_mode = mode;
  for (;;) {
    w->termref_top = termref_top;
    record.type = LV_RECOVERY_RECORD_TYPE;
    record.self = &record;
    int code = _setjmp(record.buffer);
    if (code == LV_UNWIND_EVENT) {
      current_mode = LV_ENTER_RESUME;
      continue;
    }
    if (code == LV_UNWIND_REINIT) {
      reinitialise(w);
      current_mode = LV_ENTER_FAIL;
      continue;
    }
    if (code != 0) {
      lv_set_current_recovery(previous);
      return current_mode;
    }
    lv_set_current_recovery(&record);
    if (reinterpret_cast<char*>(w->B) - reinterpret_cast<char*>(w->TR) < LV_TRAIL_GAP_BYTES)
      lv_choice_overflow(w, LV_TRAIL_REQUEST_CELLS);
    int32_t result = run_mode(w, current_mode, pred);
    lv_set_current_recovery(previous);
    return result;
  }
}

int32_t lv_enter_emulator(lv_worker* w, int mode, lv_pred* pred) { return run_mode(w, mode, pred); }

void lv_emulator_save_locals(lv_worker* w, lv_emulator_locals* locals) {
  locals->termref_top = w->termref_top;
  locals->temp_blocks = nullptr;
}

void lv_emulator_release_locals(lv_worker* w, lv_emulator_locals* locals) {
  w->termref_top = locals->termref_top;
  while (locals->temp_blocks != nullptr) {
    void* next = *static_cast<void**>(locals->temp_blocks);
    LV_free(locals->temp_blocks);
    locals->temp_blocks = next;
  }
}
