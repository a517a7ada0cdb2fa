// Records that start-up sets up and the engine only reads.
#include "embed/startup_records.h"

lv_startup_records lv_startup = {
    nullptr,
    nullptr,
    {nullptr, nullptr, nullptr, 80, 0},
    {nullptr, nullptr, nullptr, 48, 0},
    {0, 0},
};

lv_term lv_atom_eval;
