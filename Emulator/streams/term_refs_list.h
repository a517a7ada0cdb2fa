// A Prolog list made from an array of term references.
#pragma once

#include "core/termrefs.h"

// target := the list of the values of refs (ended by 0), in order. 1, or 0
// with interface error 2 when a reference is not valid.
int lv_term_refs_to_list(lv_term_ref target, const lv_term_ref* refs);
