// The glue routines by name: each is named by a predefined atom (native_abs
// to native_xor, in atom order), which instruction terms use to call it.
#pragma once

#include <cstdint>

#include "core/term.h"

constexpr unsigned LV_GLUE_FIRST_ATOM = 338;  // native_abs
constexpr unsigned LV_GLUE_COUNT = 166;       // up to native_xor

// The address of the glue routine an atom names, or 0 when it names none.
uint64_t lv_glue_address(lv_term atom);

// The atom of glue routine i (0 <= i < LV_GLUE_COUNT).
inline lv_term lv_glue_atom(unsigned i) { return lv_atom_from_index(LV_GLUE_FIRST_ATOM + i); }
