// The development system's start-up: its C built-ins, the goals that bring
// up the top level and the debugger, and the front end's command-line
// choices, which the top level takes one by one (most of them once).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/builtins.h"
#include "core/worker.h"
#include "support.h"

// The block the front end hands over (lv_frontend_params, support.h: 80
// bytes, layout fixed).
static_assert(sizeof(lv_frontend_params) == 80);
static_assert(offsetof(lv_frontend_params, file_count) == 16);
static_assert(offsetof(lv_frontend_params, reserved1) == 48);
static_assert(offsetof(lv_frontend_params, ide_attach) == 64);
static_assert(offsetof(lv_frontend_params, patch_file) == 72);

// Flags of lv_dev_init.
enum : int {
  LV_DEVSYS_SKIP_GOALS = 1,  // skip the reboot and debugger goals
  LV_DEVSYS_ATTACH = 2,      // run the IDE attach loop
  LV_DEVSYS_NO_TRACE = 4,    // stop before source_info and tracing
};

extern "C" {
// Support slot 7: copies the block (null: the default block) and defines
// the development system's built-ins. 0, LVIO_E_PARAMETER_ERROR for a size
// other than 80, LVIO_E_OUT_OF_MEMORY (nothing stored then).
int64_t lv_init_ds(const lv_frontend_params* block);
}

// Start-up of the development system: what lv_init_ds does, then the
// start-up goals. 0, the copy's error, LVIO_E_ERROR when a goal cannot be
// read, fails or raises, LVIO_E_IMPOSSIBLE_ERROR for any other result.
int64_t lv_dev_init(const lv_frontend_params* block, int flags);

// The development system's built-in table.
lv_builtin_table lv_devsys_builtins();

// Shutdown: the stored copy is freed and devsys-ready cleared.
void lv_devsys_reset();
