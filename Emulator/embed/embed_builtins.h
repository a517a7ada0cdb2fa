// The built-ins of the C interface (table lv_embed_builtins).
#pragma once

#include "core/worker.h"

// $ref_term(Which, Term): Which is a named global term (domsolve_propagator,
// cleanup, ketch, global, write, variable_names, reserved, reserved2,
// reserved3: term references 5-13) or a term reference's number; Term is
// unified with the term it holds. Fails for anything else.
int prolog_ref_term(lv_worker* w);
