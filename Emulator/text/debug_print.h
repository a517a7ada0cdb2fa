// A depth-limited printer of whole terms to user_error, for diagnostics:
// no operators, lists in brackets, atoms quoted where needed.
#pragma once

#include "core/term.h"

// Writes the term at nesting depth depth: "..." from depth 10 on; depth -1
// writes it as the atomic writer does (a compound term by its name). Each
// argument and list element is one level deeper; a cyclic list ends in
// "|...]".
void lv_print_term_debug(lv_term term, int depth);
// The term from depth 0, a newline, and user_error flushed.
void lv_print_term_debug_nl(lv_term term);
