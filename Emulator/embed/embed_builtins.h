// The built-ins of the C interface (table lv_embed_builtins).
#pragma once

#include "core/worker.h"

// $ref_term(Which, Term): Which is a named global term (domsolve_propagator,
// cleanup, ketch, global, write, variable_names, reserved, reserved2,
// reserved3: term references 5-13) or a term reference's number; Term is
// unified with the term it holds. Fails for anything else.
int prolog_ref_term(lv_worker* w);

// $stream_from_codes(Codes, Stream, Options): a stream over the elements of
// the list Codes, whose address Stream is unified with as an integer.
// Options bits 3-4 say what elements may be (1 codes, 2 one-character
// atoms), bits 5-6 which sides the stream has (1 input, 2 output). Fails,
// leaving nothing open, when the list or the stream cannot be made.
int prolog_stream_from_codes(lv_worker* w);
