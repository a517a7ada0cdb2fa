// Saved states: the built-ins that write and read them, and the restore
// that start-up runs.
//
// The file format is in state_format.h, the writer in state_writer.h, the
// reader in state_reader.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/worker.h"

// Restores a full saved state (kind ALL or ALL_BUT_PROLOG) from a file
// path or a "URL:" name, as '$restore'(File, []) does, without raising
// any error: the boot step of start-up. 0 on success, else a negative lvio
// code with the reason in message (LVIO_E_MISC_ERROR_1 for a head that is
// refused: "bad saved state", "type ... saved state, type ... emulator").
int64_t lv_restore_saved_state(lv_worker* w, const char* file, char* message, size_t size);

// Built-ins (module prolog).
int prolog_save(lv_worker* w);               // $save(File, Kind, Goal): Kind 0 ALL_BUT_PROLOG, else ALL
int prolog_save_increment(lv_worker* w);     // $save_increment(Modules, BareModules, Preds, File, Goal)
int prolog_restore(lv_worker* w);            // $restore(File, Goal)
int prolog_restore_increment(lv_worker* w);  // $restore_increment(File, Goal, ArgNo)
