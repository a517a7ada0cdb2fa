// Start and stop of the whole I/O layer.
#include "lvio/initialize.h"

#include "lvio/async_layer.h"
#include "lvio/buffer.h"
#include "lvio/chain.h"
#include "lvio/char_coder_layer.h"
#include "lvio/coder.h"
#include "lvio/deferred_close.h"
#include "lvio/event_wait.h"
#include "lvio/interrupt.h"
#include "lvio/process.h"
#include "lvio/process_directories.h"
#include "lvio/socket.h"
#include "lvio/sync.h"
#include "lvio/thread.h"
#include "lvio/timer.h"
#include "lvio/trace.h"
#include "lvio/zlib_layer.h"

lvio_module lvio_modules[LVIO_MODULE_COUNT] = {
    {"buffers", lvio_buffer_module},
    {"diagnostics", lvio_diagnostics_module},
    {"events", lvio_events_module},
    {"synchronisation", lvio_sync_module},
    {"threads", lvio_threads_module},
    {"layer core", lvio_layer_core_module},
    {"deferred close", lvio_deferred_close_module},
    {"character coders", lvio_coder_module},
    {"file system", lvio_file_system_module},
    {"sockets", lvio_socket_module},
    {"async layer", lvio_async_module},
    {"char-coder layer", lvio_char_coder_module},
    {"zlib layer", lvio_zlib_module},
    {"standard handles", lvio_std_handles_module},
    {"processes and environment", lvio_process_environment_module},
    {"timers", lvio_timers_module},
};

namespace {

// Bit i: module i has started and not stopped.
uint32_t started;

lvio_code start(lvio_allocator_fn allocator, void* allocator_context, const lvio_override_table* overrides,
                uint32_t flags) {
  if (started != 0) return LVIO_E_INVALID_STATE;
  lvio_code rc = lvio_install_overrides(overrides, 0);
  if (rc < 0) return rc;
  lvio_set_skip_abortive_sync(lvio_setting_boolean("LVIO_SKIP_ABORTIVE_SYNC", 1) != 0);
  lvio_set_allocator(allocator, allocator_context);
  for (int i = 0; i < LVIO_MODULE_COUNT && rc >= 0; i++) {
    if (lvio_modules[i].entry != nullptr) rc = lvio_modules[i].entry(flags);
    if (rc >= 0) started |= 1u << i;
  }
  (void)lvio_install_overrides(nullptr, 1);  // uninstalling cannot fail
  return rc < 0 ? rc : 0;
}

lvio_code stop(uint32_t flags) {
  lvio_code first_error = 0;
  for (int i = LVIO_MODULE_COUNT - 1; i >= 0; i--) {
    if ((started & (1u << i)) == 0) continue;
    started &= ~(1u << i);
    lvio_code rc = lvio_modules[i].entry != nullptr ? lvio_modules[i].entry(flags) : 0;
    if (rc < 0 && first_error == 0) first_error = rc;
  }
  // The allocator hook stays: memory handed out by the layer is freed
  // through it after the stop.
  (void)lvio_install_overrides(nullptr, 1);  // uninstalling cannot fail
  return first_error;
}

}  // namespace

lvio_code lvio_initialize(lvio_allocator_fn allocator, void* allocator_context, const lvio_override_table* overrides,
                          uint32_t flags) {
  return (flags & 1) != 0 ? stop(flags) : start(allocator, allocator_context, overrides, flags);
}
