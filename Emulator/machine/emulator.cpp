// The emulator (plain build).
#include "machine/emulator.h"

#include "machine/emulator_includes.h"

#define LV_EMULATOR_FUNCTION lv_run_emulator
#define LV_EMULATOR_PROFILED 0
#include "machine/emulator_loop.inc"
