// The emulator (profiled build): the same dispatch loop, compiled with its
// counting instruments.
#include "machine/emulator.h"

#include "machine/emulator_includes.h"
#include "store/counters.h"
#include "store/instance_records.h"

#define LV_EMULATOR_FUNCTION lv_run_emulator_profiled
#define LV_EMULATOR_PROFILED 1
#include "machine/emulator_loop.inc"
