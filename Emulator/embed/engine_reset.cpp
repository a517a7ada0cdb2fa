// Resetting the engine after a fatal abort.
#include "embed/engine_reset.h"

#include "core/errors.h"
#include "core/init_state.h"
#include "core/memory.h"
#include "core/numstack.h"
#include "machine/heap_blobs.h"
#include "machine/recovery.h"
#include "store/db_results.h"
#include "store/debugger_slots.h"

void lv_reset_engine_after_abort(lv_worker* w) {
  if (!lv_prolog_initialized()) return;
  if (w == nullptr) w = get_current_worker();
  if (w != nullptr) {
    // Saved boxes belong to runs of this engine: giving them back frees the
    // chain, which would otherwise be restored into the new engine.
    lv_restore_saved_blobs(w);
    lv_numstack_release(w);
    lv_debugger_slots_release(w);
    lv_destroy_worker(w);
  }
  // The setof chains belonged to calls of the engine that is gone.
  lv_db_free_released();
  lv_worker* fresh = lv_create_worker();
  lv_set_current_worker(fresh);
  lv_trim_memory(fresh, 1);
}

const char* lv_get_abort_err_ienc() {
  // The runs the abort jumped out of are gone: their recovery records lay
  // in C frames below the abort record's.
  lv_set_current_recovery(nullptr);
  lv_reset_engine_after_abort(nullptr);
  return lv_pending_error_message();
}
