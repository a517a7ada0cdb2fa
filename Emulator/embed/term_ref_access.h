// The term word a valid term reference holds, read through dereferencing.
#pragma once

#include "core/termrefs.h"

inline lv_term lv_term_ref_value(lv_term_ref t) { return lv_deref(lv_term_ref_cell(get_current_worker(), t)); }
