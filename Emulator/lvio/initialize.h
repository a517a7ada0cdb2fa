// Start and stop of the whole I/O layer.
#pragma once

#include <cstdint>

#include "lvio/allocator.h"
#include "lvio/settings.h"

// One module of the start/stop sequence. Its entry starts the module (flags
// bit 0 clear) or stops it (bit 0 set); a null entry is a module that has
// nothing to do (yet).
struct lvio_module {
  const char* name;
  lvio_code (*entry)(uint32_t flags);
};

constexpr int LVIO_MODULE_COUNT = 16;

// The modules in start order; they stop in reverse.
extern lvio_module lvio_modules[LVIO_MODULE_COUNT];

// Flags bit 0 clear: start. The override table is installed (a malformed
// one refuses the start), LVIO_SKIP_ABORTIVE_SYNC is read, the allocator hook
// installed (null: the default), and the modules start in order until one
// fails; the modules started before it keep running. The override table is
// uninstalled at the end. Returns 0 or the failing module's code;
// LVIO_E_INVALID_STATE while the layer is started.
//
// Flags bit 0 set: stop. Every started module stops, in reverse order, even
// when one of them fails; the first failure is returned.
[[nodiscard]] lvio_code lvio_initialize(lvio_allocator_fn allocator, void* allocator_context,
                                        const lvio_override_table* overrides, uint32_t flags);
