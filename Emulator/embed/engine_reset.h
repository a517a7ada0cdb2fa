// Resetting the engine after a fatal abort.
#pragma once

#include "core/worker.h"

// Before start-up has completed does nothing; otherwise releases the number
// stack, destroys the engine context, creates it again, makes it current and
// trims memory. Term references and query ids held by C code are invalid
// afterwards.
void lv_reset_engine_after_abort(lv_worker* w);

// The pending message, after resetting the engine; no emulator run is
// current afterwards.
const char* lv_get_abort_err_ienc();
