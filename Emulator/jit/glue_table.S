// The addresses of the glue routines in the order of their atoms
// (glue_names.def), for the lookup by atom (glue_table.cpp).
#include "jit/glue_layout.h"

        .section .data.rel.ro, "aw"
        .p2align 3
        .globl lv_glue_address_table
        .hidden lv_glue_address_table
lv_glue_address_table:
#define LV_GLUE(name) .quad name;
#include "jit/glue_names.def"
#undef LV_GLUE

        .section .note.GNU-stack, "", @progbits
