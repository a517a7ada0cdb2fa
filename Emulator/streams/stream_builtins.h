// The stream built-ins: the native half of the Prolog stream library.
// Each works on one stream and succeeds, fails, or raises (a pending error
// raised for prolog:Name/Arity and an argument number). Streams are the
// integers of their records' addresses or the standard aliases; the fast
// built-ins also take '$stream'(Address) and an unbound stream argument
// (the current input or output). Integers may be small or boxed.
//
// Built-ins whose names end in "_fail_on_interrupt" fail quietly when an
// event interrupted them, so that the Prolog library runs the event and
// tries again; the "_fast" ones fail whenever the buffer cannot serve them,
// and the library then calls the checked form.
#pragma once

#include "core/builtins.h"

struct lv_worker;

// Opening, closing, enumeration and the standard streams
// (streams/stream_builtins.cpp).
int prolog_open(lv_worker* w);
int prolog_close_fail_on_interrupt2(lv_worker* w);
int prolog_next_stream(lv_worker* w);
int prolog_open_null(lv_worker* w);
int prolog_stream_flags(lv_worker* w);
int prolog_set_stream_flags(lv_worker* w);
// '$set_stream_end_action'(+Stream, +Action): what a read after the end of
// an input stream does: 0 raise (the end action error), 1 give the end
// again (end code), 2 read the device again (reset). Fails for a stream
// that is no input stream and for another Action.
int prolog_set_stream_end_action(lv_worker* w);
int prolog_stream_id(lv_worker* w);
int prolog_stream_code(lv_worker* w);
int prolog_input(lv_worker* w);
int prolog_output(lv_worker* w);
int prolog_stdinput(lv_worker* w);
int prolog_stdoutput(lv_worker* w);
int prolog_stderror(lv_worker* w);
int prolog_stream_properties(lv_worker* w);
int prolog_errprintf1(lv_worker* w);
int prolog_lvio_error_name(lv_worker* w);
int prolog_dump_embedded_resources(lv_worker* w);

// Reading and writing (streams/stream_io_builtins.cpp).
int prolog_get_code_fail_on_interrupt3(lv_worker* w);
int prolog_get_byte_fail_on_interrupt3(lv_worker* w);
int prolog_get_code_fast3(lv_worker* w);
int prolog_peek_code_fast3(lv_worker* w);
int prolog_get_char_fast3(lv_worker* w);
int prolog_get_byte_fast3(lv_worker* w);
int prolog_peek_byte_fast3(lv_worker* w);
int prolog_get_buffered_codes(lv_worker* w);
int prolog_get_buffered_chars(lv_worker* w);
int prolog_get_buffered_bytes(lv_worker* w);
int prolog_end_of_stream2(lv_worker* w);
int prolog_unget_code3(lv_worker* w);
int prolog_unget_byte3(lv_worker* w);
int prolog_put_code_fail_on_interrupt3(lv_worker* w);
int prolog_put_byte_fail_on_interrupt3(lv_worker* w);
int prolog_put_code_fast2(lv_worker* w);
int prolog_put_byte_fast2(lv_worker* w);
// '$put_char_fast'(Stream, Char): the fast write of a one-character atom.
int prolog_put_char_fast2(lv_worker* w);
int prolog_flush_output_fail_on_interrupt2(lv_worker* w);

// Counters, positions and seeking (streams/stream_position_builtins.cpp).
int prolog_stream_count(lv_worker* w);
int prolog_stream_set_line_count(lv_worker* w);
int prolog_stream_offset(lv_worker* w);
int prolog_set_stream_position(lv_worker* w);
int prolog_alloc_stream_position(lv_worker* w);
int prolog_load_stream_position(lv_worker* w);
int prolog_store_stream_position(lv_worker* w);
int prolog_free_stream_position(lv_worker* w);
int prolog_seek(lv_worker* w);
// Frees every position record still allocated (shutdown).
void lv_free_stream_positions();

// Waiting, time-outs and compression (streams/stream_wait_builtins.cpp).
int prolog_select(lv_worker* w);
int prolog_set_stream_timeout(lv_worker* w);
int prolog_set_stream_zlib(lv_worker* w);
