// Start-up and shutdown of the runtime.
//
// The runtime is not started, started (the I/O layer, the memory manager,
// the runtime tables, the engine and the standard streams exist) or
// initialised (a boot file is loaded as well). lv_glue_initialize brings it
// to started and, with boot flags bit 0, loads the saved state and makes it
// initialised; lv_qload_or_restore loads a boot file into a started runtime.
// LV_deinitialize takes a started or initialised runtime back to not
// started, so that a later lv_glue_initialize starts afresh.
#pragma once

#include <cstdint>

#include "core/worker.h"
#include "lorvika.h"

enum lv_runtime_state_kind { LV_RUNTIME_NOT_STARTED, LV_RUNTIME_STARTED, LV_RUNTIME_INITIALISED };
lv_runtime_state_kind lv_runtime_state();

// Whether the I/O layer runs for this runtime (from the memory manager's
// start to shutdown).
bool lv_io_layer_available();

// The engine-global record: zeroed at start-up, then the thread that started
// the runtime and the engine context it made.
struct lv_engine_global {
  uint64_t main_thread;
  lv_worker* engine;
  uint32_t mode;       // the mode word (embed/boot_mode.h)
  int32_t boot_kind;   // the boot kind finally chosen
};

extern "C" {
// Slot 125.
lv_engine_global* lv_get_engine_global();

// Slot 0: 1 on success; 0 with the interface error number set (3 the boot
// file did not load, 5 the development system did not start, 12 an
// invalid boot kind or negative boot flags, 15 the I/O layer, options,
// paths, boot directory, runtime tables or standard streams, 16 options
// with a wrong format word, 18 the memory manager). Already initialised:
// 1 at once. A runtime that is only started is shut down first.
int lv_glue_initialize(int argc, const char* const* argv, const lv_init_options* options,
                       const char* const* prelinked_names, void* const* prelinked_values, int boot_options,
                       int boot_flags);

// Slot 1: shuts down a started or initialised runtime (and an I/O layer left
// by a failed start); nothing else to do otherwise.
void LV_deinitialize();

// Slot 128: loads a boot file into a started runtime and makes it
// initialised. flags nonzero: a quick-load file, then its patch file (the
// name with its ".ql" replaced by "p.ql", skipped when it does not open);
// zero: a saved state, first as the embedded resource of the path's last
// component, then from the path. 1 on success; 0 on failure with the
// interface error number set: 1 the runtime is not started, 7 no path, 3 the
// file did not load.
int lv_qload_or_restore(const char* path, int flags);
}
