// Records that start-up sets up and the engine only reads.
#include "core/startup_records.h"

#include "machine/instructions.h"
#include "store/static_code.h"

// Failing into the bottom choicepoint leaves the emulator with the result 0;
// its alternative is its own successor, so it is never removed.
lv_startup_records lv_startup = {
    nullptr,
    nullptr,
    {&lv_startup.bottom_alternative, lv_bottom_code, nullptr, 80, lv_opcode(LV_OP_TRY)},
    {nullptr, lv_fail_code, nullptr, 48, lv_opcode(LV_OP_TRY)},
};

lv_term lv_atom_eval;
