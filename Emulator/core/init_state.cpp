// Whether start-up has completed.
#include "core/init_state.h"

namespace {

bool initialized;

}  // namespace

bool lv_prolog_initialized() { return initialized; }

void lv_set_prolog_initialized(bool value) { initialized = value; }
