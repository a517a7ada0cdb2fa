% Streams: open/3,4, close/1,2, the current and standard streams, stream
% properties and positions, end of stream, flushing, and the character,
% code and byte input and output predicates.
%
% A stream is the term '$stream'(Address) over the integer the native
% built-ins take; the aliases user_input, user_output and user_error, and
% the aliases given by open/4, stand for their streams. The checks and the
% ISO errors are made here, before the native call: a native call that
% fails after an interruption is made again.

:- module(prolog, [
    open/3, open/4, close/1, close/2, current_input/1, current_output/1, set_input/1, set_output/1,
    stream_property/2, set_stream_position/2, at_end_of_stream/0, at_end_of_stream/1,
    flush_output/0, flush_output/1,
    get_char/1, get_char/2, get_code/1, get_code/2, peek_char/1, peek_char/2, peek_code/1, peek_code/2,
    get_byte/1, get_byte/2, peek_byte/1, peek_byte/2,
    put_char/1, put_char/2, put_code/1, put_code/2, put_byte/1, put_byte/2, nl/0, nl/1,
    line_count/2, line_position/2, character_count/2, set_stream/2
]).

:- dynamic '$stream_alias'/2, '$stream_info'/3.

% Capability bits of a stream ($stream_flags).
'$cap'(input, 0x2).
'$cap'(output, 0x4).
'$cap'(repositionable, 0x100).
'$cap'(end_code, 0x200).
'$cap'(end_reset, 0x400).
'$cap'(binary, 0x800).
'$cap'(text, 0x4000).

'$has_cap'(Flags, Cap) :- '$cap'(Cap, Bit), Flags /\ Bit =\= 0.

% '$stream_arg'(S, Ctx, ArgNo, Address): the address of a stream term or
% alias; an instantiation error, a domain error for a term that names no
% stream, an existence error for a stream that is closed.
'$stream_arg'(S, Ctx, ArgNo, A) :-
    (   var(S) -> '$instantiation_error'(Ctx, ArgNo)
    ;   S = '$stream'(A0), integer(A0)
    ->  (   '$stream_flags'(A0, _) -> A = A0
        ;   '$error'(existence_error(stream, S), Ctx, ArgNo)
        )
    ;   atom(S)
    ->  (   '$std_alias'(S) -> '$stream_code'(S, A)
        ;   '$stream_alias'(S, A0) -> A = A0
        ;   '$error'(existence_error(stream, S), Ctx, ArgNo)
        )
    ;   '$domain_error'(stream_or_alias, S, Ctx, ArgNo)
    ).

'$std_alias'(user_input).
'$std_alias'(user_output).
'$std_alias'(user_error).

% A stream of the direction (input or output) and type (text, binary or
% any); permission errors name the stream as the caller gave it.
'$stream_arg'(S, Dir, Type, Ctx, ArgNo, A) :-
    '$stream_arg'(S, Ctx, ArgNo, A),
    '$stream_flags'(A, F),
    (   '$has_cap'(F, Dir) -> true
    ;   '$error'(permission_error(Dir, stream, S), Ctx, ArgNo)
    ),
    (   Type == any -> true
    ;   Type == binary, '$has_cap'(F, binary) -> true
    ;   Type == text, \+ '$has_cap'(F, binary) -> true
    ;   Type == binary -> '$error'(permission_error(Dir, text_stream, S), Ctx, ArgNo)
    ;   '$error'(permission_error(Dir, binary_stream, S), Ctx, ArgNo)
    ).

current_input(S) :-
    '$current_stream_check'(S, prolog:current_input(S)),
    '$input'(A, A), S = '$stream'(A).

current_output(S) :-
    '$current_stream_check'(S, prolog:current_output(S)),
    '$output'(A, A), S = '$stream'(A).

'$current_stream_check'(S, Ctx) :-
    (   var(S) -> true
    ;   S = '$stream'(A), integer(A) -> true
    ;   '$domain_error'(stream, S, Ctx, 1)
    ).

set_input(S) :-
    Ctx = prolog:set_input(S),
    '$stream_arg'(S, input, any, Ctx, 1, A),
    '$input'(_, A).

set_output(S) :-
    Ctx = prolog:set_output(S),
    '$stream_arg'(S, output, any, Ctx, 1, A),
    '$output'(_, A).

open(F, M, S) :- '$open_stream'(F, M, S, [], prolog:open(F, M, S)).
open(F, M, S, Os) :- '$open_stream'(F, M, S, Os, prolog:open(F, M, S, Os)).

'$open_stream'(F, M, S, Os, Ctx) :-
    (   var(F) -> '$instantiation_error'(Ctx, 1)
    ;   var(M) -> '$instantiation_error'(Ctx, 2)
    ;   \+ atom(M) -> '$type_error'(atom, M, Ctx, 2)
    ;   \+ '$io_mode'(M) -> '$domain_error'(io_mode, M, Ctx, 2)
    ;   nonvar(S) -> '$error'(uninstantiation_error(S), Ctx, 3)
    ;   \+ atom(F) -> '$domain_error'(source_sink, F, Ctx, 1)
    ;   true
    ),
    '$open_options'(Os, Ctx, 0, Flags, o(none, default, default), o(Alias, Enc, Bom)),
    (   Alias \== none, ( '$std_alias'(Alias) ; '$stream_alias'(Alias, _) )
    ->  '$error'(permission_error(open, source_sink, alias(Alias)), Ctx, 4)
    ;   true
    ),
    catch(prolog:'$open'(F, M, Flags, encoding(Enc, Bom, default), A), error(E, _), prolog:'$open_error'(E, F, Ctx)),
    (   Alias == none -> true ; assertz(prolog:'$stream_alias'(Alias, A)) ),
    assertz(prolog:'$stream_info'(A, F, M)),
    S = '$stream'(A).

'$io_mode'(read).
'$io_mode'(write).
'$io_mode'(append).

% A missing file is an existence error, running out of descriptors a
% resource error; anything else the system refuses is a permission error.
'$open_error'(existence_error(_, _), F, Ctx) :- !, '$error'(existence_error(source_sink, F), Ctx, 1).
'$open_error'(resource_error(R), _, Ctx) :- !, '$error'(resource_error(R), Ctx, 1).
'$open_error'(_, F, Ctx) :- '$error'(permission_error(open, source_sink, F), Ctx, 1).

'$open_options'(Os, Ctx, F0, F, A0, A) :-
    '$list_skip'(Os, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, 4)
    ;   Tail \== [] -> '$type_error'(list, Os, Ctx, 4)
    ;   N < 0 -> '$type_error'(list, Os, Ctx, 4)
    ;   '$open_options_'(Os, Ctx, F0, F, A0, A)
    ).

'$open_options_'([], _, F, F, A, A) :- !.
'$open_options_'([O|Os], Ctx, F0, F, A0, A) :-
    (   var(O) -> '$instantiation_error'(Ctx, 4)
    ;   '$open_option'(O, F0, F1, A0, A1) -> true
    ;   '$domain_error'(stream_option, O, Ctx, 4)
    ),
    '$open_options_'(Os, Ctx, F1, F, A1, A).

'$open_option'(type(T), F0, F, A, A) :-
    (   T == text -> F = F0 ; T == binary -> F is F0 \/ 0x800 ).
'$open_option'(reposition(B), F0, F, A, A) :-
    (   B == true -> F is F0 \/ 0x100 ; B == false -> F = F0 ).
'$open_option'(eof_action(E), F0, F, A, A) :-
    (   E == error -> F = F0 ; E == eof_code -> F is F0 \/ 0x200 ; E == reset -> F is F0 \/ 0x400 ).
'$open_option'(alias(Al), F, F, o(A0, E, B), o(Al, E, B)) :- atom(Al), A0 == none.
'$open_option'(encoding(N), F, F, o(A, _, B), o(A, E, B)) :- atom(N), '$encoding_name'(N, E).
'$open_option'(bom(Bool), F, F, o(A, E, _), o(A, E, B)) :-
    (   Bool == true -> B = true ; Bool == false -> B = false ).

% The text encodings open/4 knows, with the names of their coders; text is
% the default one.
'$encoding_name'(text, default).
'$encoding_name'(octet, 'ISO-8859-1').
'$encoding_name'(iso_latin_1, 'ISO-8859-1').
'$encoding_name'(ascii, 'US-ASCII').
'$encoding_name'(utf8, 'UTF-8').
'$encoding_name'(unicode_be, 'UTF-16BE').
'$encoding_name'(unicode_le, 'UTF-16LE').
'$encoding_name'(utf16be, 'UTF-16BE').
'$encoding_name'(utf16le, 'UTF-16LE').

close(S) :- '$close'(S, [], prolog:close(S)).
close(S, Os) :- '$close'(S, Os, prolog:close(S, Os)).

'$close'(S, Os, Ctx) :-
    '$stream_arg'(S, Ctx, 1, A),
    '$list_skip'(Os, N, Tail),
    (   var(Tail) -> '$instantiation_error'(Ctx, 2)
    ;   ( Tail \== [] ; N < 0 ) -> '$type_error'(list, Os, Ctx, 2)
    ;   true
    ),
    '$close_options'(Os, Ctx, 0, Bits),
    (   '$std_stream'(A) -> true
    ;   '$close_stream'(A, Bits, S, Ctx)
    ).

% A close whose flush fails keeps the stream open with its output, so
% that it can be closed again, unless the output can never be written
% (the device is gone): then the stream is let go, and the error raised.
% force(true) lets the stream go whatever happens, after trying to write
% out what it holds, and raises nothing.
'$close_stream'(A, Bits, S, Ctx) :-
    catch(prolog:'$close_retry'(A, 0), error(E, C), true),
    (   var(E) -> '$forget_stream'(A)
    ;   Bits /\ 1 =:= 1
    ->  ( '$stream_flags'(A, _) -> '$close_retry'(A, 1) ; true ),
        '$forget_stream'(A)
    ;   ( '$stream_flags'(A, _) -> true ; '$forget_stream'(A) ),
        '$io_error'(E, C, S, Ctx, 1)
    ).

'$forget_stream'(A) :-
    retractall(prolog:'$stream_alias'(_, A)),
    retractall(prolog:'$stream_info'(A, _, _)).

% '$io_error'(Formal, Context, S, Ctx, ArgNo): an error of a native call
% raised again in the caller's goal, naming the stream as the caller gave it.
'$io_error'(system_error, C, _, Ctx, ArgNo) :- !,
    '$system_error_message'(C, M),
    throw(error(system_error, system_error(Ctx, ArgNo, M))).
'$io_error'(permission_error(Action, Type, _), _, S, Ctx, _) :- !,
    '$error'(permission_error(Action, Type, S), Ctx, 1).
'$io_error'(existence_error(stream, _), _, S, Ctx, _) :- !,
    '$error'(existence_error(stream, S), Ctx, 1).
'$io_error'(Formal, _, _, Ctx, ArgNo) :- '$error'(Formal, Ctx, ArgNo).

'$close_options'([], _, B, B).
'$close_options'([O|Os], Ctx, B0, B) :-
    (   var(O) -> '$instantiation_error'(Ctx, 2)
    ;   O = force(F), F == true -> B1 is B0 \/ 1
    ;   O = force(F), F == false -> B1 = B0
    ;   '$domain_error'(close_option, O, Ctx, 2)
    ),
    '$close_options'(Os, Ctx, B1, B).

'$close_retry'(A, Bits) :-
    (   '$close_fail_on_interrupt'(A, Bits) -> true ; '$close_retry'(A, Bits) ).

% Closing a standard stream does nothing; a stream made current by
% set_input/1 or set_output/1 falls back to the standard one on closing.
'$std_stream'(A) :- '$std_alias'(Al), '$stream_code'(Al, A), !.

flush_output :- '$output'(A, A), '$flush_retry'(A).
flush_output(S) :-
    Ctx = prolog:flush_output(S),
    '$stream_arg'(S, output, any, Ctx, 1, A),
    '$flush_retry'(A).

'$flush_retry'(A) :-
    (   '$flush_output_fail_on_interrupt'(A, 0) -> true ; '$flush_retry'(A) ).

at_end_of_stream :- '$input'(A, A), '$at_end'(A).
at_end_of_stream(S) :-
    Ctx = prolog:at_end_of_stream(S),
    '$stream_arg'(S, input, any, Ctx, 1, A),
    '$at_end'(A).

'$at_end'(A) :- '$end_of_stream'(A, State), State \== not.

% stream_property/2 over the streams the native side enumerates.
stream_property(S, P) :-
    Ctx = prolog:stream_property(S, P),
    (   var(S) -> true
    ;   S = '$stream'(A0), integer(A0) -> true
    ;   '$domain_error'(stream, S, Ctx, 1)
    ),
    (   var(P) -> true
    ;   '$stream_prop_name'(P) -> true
    ;   '$domain_error'(stream_property, P, Ctx, 2)
    ),
    (   nonvar(S) -> S = '$stream'(A), '$stream_flags'(A, _)
    ;   '$all_streams'(As), '$member'(A, As), S = '$stream'(A)
    ),
    '$stream_prop'(A, P).

'$all_streams'(As) :- '$all_streams'([], As0), '$reverse'(As0, [], As).
'$all_streams'(Seen, As) :-
    (   '$next_stream'(_, _, A, Seen, 0) -> '$all_streams'([A|Seen], As) ; As = Seen ).

'$stream_prop_name'(file_name(_)).
'$stream_prop_name'(mode(_)).
'$stream_prop_name'(input).
'$stream_prop_name'(output).
'$stream_prop_name'(alias(_)).
'$stream_prop_name'(position(_)).
'$stream_prop_name'(end_of_stream(_)).
'$stream_prop_name'(eof_action(_)).
'$stream_prop_name'(reposition(_)).
'$stream_prop_name'(type(_)).

% The file name is the absolute one the stream was opened under; the mode
% of a stream not opened by open/3,4 is read, write, append or readwrite
% (both directions, as a socket's stream).
'$stream_prop'(A, file_name(F)) :- '$next_stream'(F, _, A, [], 0), F \== ''.
'$stream_prop'(A, mode(M)) :-
    (   '$stream_info'(A, _, M0) -> M = M0
    ;   '$next_stream'(_, M, A, [], 0)
    ).
'$stream_prop'(A, input) :- '$stream_flags'(A, F), '$has_cap'(F, input).
'$stream_prop'(A, output) :- '$stream_flags'(A, F), '$has_cap'(F, output).
'$stream_prop'(A, alias(Al)) :-
    (   '$std_alias'(Al), '$stream_code'(Al, A) ; '$stream_alias'(Al, A) ).
'$stream_prop'(A, position('$stream_position'(I, L, P))) :-
    '$stream_count'(A, I, _, L, P).
'$stream_prop'(A, end_of_stream(E)) :-
    '$stream_flags'(A, F), '$has_cap'(F, input),
    '$end_of_stream'(A, E0),
    (   E0 == past -> E = past ; E0 == at -> E = at ; E = not ).
'$stream_prop'(A, eof_action(E)) :-
    '$stream_flags'(A, F), '$has_cap'(F, input),
    (   '$has_cap'(F, end_reset) -> E = reset ; '$has_cap'(F, end_code) -> E = eof_code ; E = error ).
'$stream_prop'(A, reposition(B)) :-
    '$stream_flags'(A, F),
    (   '$has_cap'(F, repositionable) -> B = true ; B = false ).
'$stream_prop'(A, type(T)) :-
    '$stream_flags'(A, F),
    (   '$has_cap'(F, binary) -> T = binary ; T = text ).

set_stream_position(S, P) :-
    Ctx = prolog:set_stream_position(S, P),
    '$stream_arg'(S, Ctx, 1, A),
    (   var(P) -> '$instantiation_error'(Ctx, 2)
    ;   P = '$stream_position'(I, L, LP), integer(I), integer(L), integer(LP), I >= 0, L >= 0, LP >= 0 -> true
    ;   '$domain_error'(stream_position, P, Ctx, 2)
    ),
    (   '$set_stream_position'(A, I, L, LP, 0) -> true
    ;   '$error'(permission_error(reposition, stream, S), Ctx, 1)
    ).

% Input. The fast built-ins take what the buffer holds (of a stream given
% as current input, standard alias or stream term, for an unbound item);
% the checked ones refill it, fail after an interruption and are then
% called again.
get_code(C) :- var(C), '$get_code_fast'(_, _, C0), !, C = C0.
get_code(C) :- current_input(S), '$get'(code, S, C, 0, prolog:get_code(C)).
get_code(S, C) :- var(C), '$get_code_fast'(S, _, C0), !, C = C0.
get_code(S, C) :- '$get'(code, S, C, 0, prolog:get_code(S, C)).
peek_code(C) :- var(C), '$peek_code_fast'(_, _, C0), !, C = C0.
peek_code(C) :- current_input(S), '$get'(code, S, C, 0x100, prolog:peek_code(C)).
peek_code(S, C) :- var(C), '$peek_code_fast'(S, _, C0), !, C = C0.
peek_code(S, C) :- '$get'(code, S, C, 0x100, prolog:peek_code(S, C)).
get_char(C) :- var(C), '$get_char_fast'(_, _, C0), !, C = C0.
get_char(C) :- current_input(S), '$get'(char, S, C, 0, prolog:get_char(C)).
get_char(S, C) :- var(C), '$get_char_fast'(S, _, C0), !, C = C0.
get_char(S, C) :- '$get'(char, S, C, 0, prolog:get_char(S, C)).
peek_char(C) :- current_input(S), '$get'(char, S, C, 0x100, prolog:peek_char(C)).
peek_char(S, C) :- '$get'(char, S, C, 0x100, prolog:peek_char(S, C)).
get_byte(B) :- var(B), '$get_byte_fast'(_, _, B0), !, B = B0.
get_byte(B) :- current_input(S), '$get'(byte, S, B, 0, prolog:get_byte(B)).
get_byte(S, B) :- var(B), '$get_byte_fast'(S, _, B0), !, B = B0.
get_byte(S, B) :- '$get'(byte, S, B, 0, prolog:get_byte(S, B)).
peek_byte(B) :- var(B), '$peek_byte_fast'(_, _, B0), !, B = B0.
peek_byte(B) :- current_input(S), '$get'(byte, S, B, 0x100, prolog:peek_byte(B)).
peek_byte(S, B) :- var(B), '$peek_byte_fast'(S, _, B0), !, B = B0.
peek_byte(S, B) :- '$get'(byte, S, B, 0x100, prolog:peek_byte(S, B)).

'$get'(Kind, S, X, Peek, Ctx) :-
    functor(Ctx, _, Arity),
    '$get_item_check'(Kind, X, Ctx, Arity),
    (   Kind == byte -> Type = binary ; Type = text ),
    '$stream_arg'(S, input, Type, Ctx, 1, A),
    '$get_retry'(Kind, A, Peek, C, Ctx, S),
    (   Kind == char -> ( C =:= -1 -> X = end_of_file ; char_code(Ch, C), X = Ch )
    ;   X = C
    ).

'$get_item_check'(_, X, _, _) :- var(X), !.
'$get_item_check'(code, X, Ctx, N) :-
    (   \+ integer(X) -> '$type_error'(integer, X, Ctx, N)
    ;   X >= -1, X =< 0x10FFFF -> true
    ;   '$error'(representation_error(in_character_code), Ctx, N)
    ).
'$get_item_check'(char, X, Ctx, N) :-
    (   X == end_of_file -> true
    ;   atom(X), '$atom_length'(X, _, 1) -> true
    ;   '$type_error'(in_character, X, Ctx, N)
    ).
'$get_item_check'(byte, X, Ctx, N) :-
    (   integer(X), X >= -1, X =< 255 -> true
    ;   '$type_error'(in_byte, X, Ctx, N)
    ).

% The checked read runs once a buffer is used up; its errors (past the end
% of the stream, bytes that make no character, a failing device) are
% raised in the caller's goal.
'$get_retry'(Kind, A, Peek, C, Ctx, S) :-
    catch(prolog:'$get_native'(Kind, A, Peek, C0), error(E, EC), prolog:'$io_error'(E, EC, S, Ctx, 1)),
    !, C = C0.
'$get_retry'(Kind, A, Peek, C, Ctx, S) :- '$get_retry'(Kind, A, Peek, C, Ctx, S).

'$get_native'(byte, A, Peek, C) :- !, '$get_byte_fail_on_interrupt'(A, C, Peek).
'$get_native'(_, A, Peek, C) :- '$get_code_fail_on_interrupt'(A, C, Peek).

% Output: the fast built-ins store into the buffer when it has room; the
% checked writes check the item, write out a full buffer and flush a
% terminal at a line end.
put_code(C) :- '$put_code_fast'(_, C), !.
put_code(C) :- current_output(S), '$put'(code, S, C, prolog:put_code(C)).
put_code(S, C) :- nonvar(S), '$put_code_fast'(S, C), !.
put_code(S, C) :- '$put'(code, S, C, prolog:put_code(S, C)).
put_char(C) :- '$put_char_fast'(_, C), !.
put_char(C) :- current_output(S), '$put'(char, S, C, prolog:put_char(C)).
put_char(S, C) :- nonvar(S), '$put_char_fast'(S, C), !.
put_char(S, C) :- '$put'(char, S, C, prolog:put_char(S, C)).
put_byte(B) :- '$put_byte_fast'(_, B), !.
put_byte(B) :- current_output(S), '$put'(byte, S, B, prolog:put_byte(B)).
put_byte(S, B) :- nonvar(S), '$put_byte_fast'(S, B), !.
put_byte(S, B) :- '$put'(byte, S, B, prolog:put_byte(S, B)).
nl :- '$put_code_fast'(_, 10), !.
nl :- current_output(S), '$put'(code, S, 10, prolog:nl).
nl(S) :- nonvar(S), '$put_code_fast'(S, 10), !.
nl(S) :- '$put'(code, S, 10, prolog:nl(S)).

'$put'(Kind, S, X, Ctx) :-
    functor(Ctx, _, Arity),
    (   var(S) -> '$instantiation_error'(Ctx, 1) ; true ),
    (   var(X) -> '$instantiation_error'(Ctx, Arity)
    ;   '$put_item'(Kind, X, C, Ctx, Arity)
    ),
    (   Kind == byte -> Type = binary ; Type = text ),
    '$stream_arg'(S, output, Type, Ctx, 1, A),
    catch(prolog:'$put_retry'(Kind, A, C), error(E, EC), prolog:'$put_error'(E, EC, S, Ctx, Arity)).

% A character the stream's encoding has no bytes for is an error of the
% item; the other errors are the stream's.
'$put_error'(representation_error(encoding), _, _, Ctx, Arity) :- !,
    '$error'(representation_error(encoding), Ctx, Arity).
'$put_error'(E, EC, S, Ctx, _) :- '$io_error'(E, EC, S, Ctx, 1).

'$put_item'(code, X, X, Ctx, N) :-
    (   \+ integer(X) -> '$type_error'(integer, X, Ctx, N)
    ;   X >= 0, X =< 0x10FFFF -> true
    ;   '$error'(representation_error(character_code), Ctx, N)
    ).
'$put_item'(char, X, C, Ctx, N) :-
    (   atom(X), '$atom_length'(X, _, 1) -> '$char_code'(X, _, _, C)
    ;   '$type_error'(character, X, Ctx, N)
    ).
'$put_item'(byte, X, X, Ctx, N) :-
    (   integer(X), X >= 0, X =< 255 -> true
    ;   '$type_error'(byte, X, Ctx, N)
    ).

'$put_retry'(byte, A, C) :- !,
    (   '$put_byte_fail_on_interrupt'(A, C, 0x100) -> true ; '$put_retry'(byte, A, C) ).
'$put_retry'(K, A, C) :-
    (   '$put_code_fail_on_interrupt'(A, C, 0x100) -> true ; '$put_retry'(K, A, C) ).

% Counters: the lines, the position in the line and the characters (bytes
% of a binary stream) read or written so far; a terminal stream counts on
% the terminal's counters.
line_count(S, N) :- '$stream_counter'(lines, S, N, prolog:line_count(S, N)).
line_position(S, N) :- '$stream_counter'(position, S, N, prolog:line_position(S, N)).
character_count(S, N) :- '$stream_counter'(items, S, N, prolog:character_count(S, N)).

'$stream_counter'(Which, S, N, Ctx) :-
    '$may_be_integer'(N, Ctx, 2),
    '$stream_arg'(S, Ctx, 1, A),
    '$stream_count'(A, I, _, L, P),
    (   Which == lines -> N = L ; Which == position -> N = P ; N = I ).

% set_stream(S, Property): alias(A) gives the stream (another) alias,
% eof_action(A) sets what reading past the end of an input stream does,
% and timeout(T) limits each wait of a read or write to T seconds
% (infinite: no limit).
set_stream(S, P) :-
    Ctx = prolog:set_stream(S, P),
    '$stream_arg'(S, Ctx, 1, A),
    (   var(P) -> '$instantiation_error'(Ctx, 2)
    ;   '$set_stream'(P, A, S, Ctx) -> true
    ;   '$domain_error'(set_stream_property, P, Ctx, 2)
    ).

'$set_stream'(alias(Al), A, _, Ctx) :-
    atom(Al),
    (   '$std_alias'(Al) -> '$error'(permission_error(create, alias, Al), Ctx, 2)
    ;   '$stream_alias'(Al, B), B \== A -> '$error'(permission_error(create, alias, Al), Ctx, 2)
    ;   retractall(prolog:'$stream_alias'(_, A)),
        assertz(prolog:'$stream_alias'(Al, A))
    ).
'$set_stream'(eof_action(E), A, S, Ctx) :-
    atom(E), '$eof_action_code'(E, N),
    (   '$set_stream_end_action'(A, N) -> true
    ;   '$error'(permission_error(input, stream, S), Ctx, 1)
    ).
'$set_stream'(timeout(T), A, _, Ctx) :-
    (   T == infinite -> true ; number(T), T >= 0 ),
    '$stream_flags'(A, F),
    Sides is ( F /\ 0x2 ) >> 1 \/ ( F /\ 0x4 ) >> 1,
    '$set_stream_timeout'(A, T, Sides, R),
    (   R =:= 0 -> true ; '$lvio_error_name'(R, Name), throw(error(system_error, system_error(Ctx, 2, Name))) ).

'$eof_action_code'(error, 0).
'$eof_action_code'(eof_code, 1).
'$eof_action_code'(reset, 2).

'$reverse'([], R, R).
'$reverse'([X|Xs], R0, R) :- '$reverse'(Xs, [X|R0], R).
