// The glue routines by name.
#include "jit/glue_table.h"

extern "C" const uint64_t lv_glue_address_table[LV_GLUE_COUNT];

uint64_t lv_glue_address(lv_term atom) {
  if (!lv_is_atom(atom)) return 0;
  uint64_t i = lv_atom_index(atom) - LV_GLUE_FIRST_ATOM;
  return i < LV_GLUE_COUNT ? lv_glue_address_table[i] : 0;
}
