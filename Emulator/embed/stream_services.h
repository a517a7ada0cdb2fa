// What the stream layer asks of the embedding side: the Prolog query run
// when a stream marked for close cleanup is closed, and the backtrace that a
// stream listener's "REQUEST <n> backtrace" line asks for.
#pragma once

#include "core/term.h"

struct lv_stream;

// Runs prolog:close_cleanup(Stream, Which) once (first solution, then cut),
// Stream as its address and Which the atom read, write or all, inside the
// nesting of queries run from C. Its outcome is ignored; the term
// references it takes are given back.
void lv_close_cleanup_query(lv_stream* stream, lv_term which);

// Installs these services in the stream layer's hooks.
void lv_install_stream_services();
