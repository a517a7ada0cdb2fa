% Formatted output: format/1,2,3.
%
% The control text is an atom, a code list or a character list; the
% arguments a list, or one term standing for the list of itself. Each
% directive ~[N]L takes its numeric argument N from digits, from the next
% argument (*) or from a character (`c). A column stop (~N| or ~N+) ends a
% segment of the output; the padding up to its column is shared among the
% segment's fill points (~t) where they stand (text~t left aligns, ~ttext
% right aligns, ~ttext~t centres; the later points take the odd columns),
% or goes at the end when there are none. So that the padding can be placed
% before the text it precedes, the text from the first column directive on
% is gathered piece by piece in memory streams. A directive the table does
% not know, an argument missing or left over raise error(format(Message), _).
% ~Ne, ~Nf and ~Ng write a number, or the value of an evaluable term, as C's
% printf does with %.Ne, %.Nf and %.Ng. format/3 also writes to atom(A), codes(Cs) and
% chars(Cs).

:- module(prolog, [format/1, format/2, format/3]).

format(F) :- current_output(S), '$format'(S, F, [], prolog:format(F)).
format(F, Args) :- current_output(S), '$format'(S, F, Args, prolog:format(F, Args)).
format(S, F, Args) :-
    (   nonvar(S), '$format_sink'(S, Sink, Text) ->
        '$format_to_codes'(F, Args, prolog:format(S, F, Args), Cs),
        '$format_sink_text'(Sink, Cs, Text)
    ;   '$format'(S, F, Args, prolog:format(S, F, Args))
    ).

'$format_sink'(atom(A), atom, A).
'$format_sink'(codes(Cs), codes, Cs).
'$format_sink'(chars(Cs), chars, Cs).

'$format_sink_text'(atom, Cs, A) :- atom_codes(A, Cs).
'$format_sink_text'(codes, Cs, Cs).
'$format_sink_text'(chars, Cs, Chars) :- '$fmt_chars'(Cs, Chars).

'$fmt_chars'([], []).
'$fmt_chars'([C|Cs], [Ch|Chs]) :- char_code(Ch, C), '$fmt_chars'(Cs, Chs).

% The codes the format writes, gathered in a memory stream. Its columns
% count from 0.
'$format_to_codes'(F, Args, Ctx, Cs) :-
    '$format_codes'(F, Fs, Ctx),
    '$format_args'(Args, As),
    setup_call_cleanup(prolog:'$fmt_memory_stream'(M),
                       prolog:( '$fmt_next'(Fs, As, M, Ctx, 0, 0), '$fmt_stream_codes'(M, Cs) ),
                       close('$stream'(M))).

% A memory stream that is written and then read back (96: both sides).
'$fmt_memory_stream'(M) :-
    (   '$stream_from_codes'([], M, 96) -> true ; throw(error(resource_error(memory), format/3)) ).

'$fmt_stream_codes'(M, Cs) :-
    flush_output('$stream'(M)),
    '$fmt_read_codes'(M, Cs).

'$fmt_read_codes'(M, Cs) :-
    get_code('$stream'(M), C),
    (   C =:= -1 -> Cs = [] ; Cs = [C|Cs1], '$fmt_read_codes'(M, Cs1) ).

'$format'(S, F, Args, Ctx) :-
    '$stream_arg'(S, output, text, Ctx, 1, A),
    '$format_codes'(F, Cs, Ctx),
    '$format_args'(Args, As),
    '$stream_count'(A, _, _, _, Pos0),
    '$fmt'(Cs, As, A, Ctx, Pos0).

'$format_args'(Args, As) :-
    (   '$list_skip'(Args, N, T), N >= 0, T == [] -> As = Args ; As = [Args] ).

'$format_codes'(F, Cs, Ctx) :-
    (   var(F) -> '$instantiation_error'(Ctx, 1)
    ;   atom(F) -> atom_codes(F, Cs)
    ;   '$list_skip'(F, N, T), N >= 0, T == [], '$codes_or_chars'(F, Cs) -> true
    ;   '$type_error'(format, F, Ctx, 1)
    ).

'$codes_or_chars'([], []).
'$codes_or_chars'([C|Cs], [D|Ds]) :-
    (   integer(C) -> D = C ; atom(C), '$atom_length'(C, _, 1), '$char_code'(C, _, _, D) ),
    '$codes_or_chars'(Cs, Ds).

'$format_error'(Message, Ctx) :- '$error'(format(Message), Ctx, 0).

% The main loop writes straight to A until the first column directive;
% Stop is the column of the last stop.
'$fmt'([], As, _, Ctx, _) :- !,
    '$fmt_end'(As, Ctx).
'$fmt'([0'~|Cs0], As0, A, Ctx, Stop) :- !,
    '$fmt_numarg'(Cs0, Cs1, As0, As1, N, Ctx),
    (   Cs1 = [D|Cs] -> true ; '$format_error'('truncated format directive', Ctx) ),
    (   '$fmt_column'(D, N, Event) ->
        '$stream_count'(A, _, _, _, Col),
        '$fmt_event'(Event, Cs, As1, A, Ctx, Col, Stop)
    ;   '$fmt_directive'(D, N, As1, As, A, Ctx),
        '$fmt'(Cs, As, A, Ctx, Stop)
    ).
'$fmt'([C|Cs], As, A, Ctx, Stop) :-
    '$put_code_fail_on_interrupt'(A, C, 0),
    '$fmt'(Cs, As, A, Ctx, Stop).

'$fmt_end'(As, Ctx) :-
    (   As == [] -> true ; '$format_error'('too many arguments', Ctx) ).

% The column directives: a fill point (~t, its fill character a space
% unless given) or a column stop.
'$fmt_column'(0't, N, fill(Fill)) :- '$fmt_default'(N, 0' , Fill).
'$fmt_column'(0'|, N, stop(0'|, N)).
'$fmt_column'(0'+, N, stop(0'+, N)).

% From the first column directive on, the text between two of them (a
% piece) is gathered before it goes to A, and Col, the column where A
% stands, is followed from the text written.
'$fmt_next'(Cs0, As0, A, Ctx, Col0, Stop) :-
    '$fmt_piece'(Cs0, As0, Ctx, Cs, As, Text, Event),
    '$fmt_put_codes'(Text, A),
    '$fmt_end_column'(Text, Col0, Col),
    '$fmt_event'(Event, Cs, As, A, Ctx, Col, Stop).

'$fmt_event'(end, _, As, _, Ctx, _, _) :-
    '$fmt_end'(As, Ctx).
'$fmt_event'(stop(D, N), Cs, As, A, Ctx, Col, Stop) :-
    '$fmt_target'(D, N, Stop, Col, Target),
    '$fmt_pad'(Target, Col, Pad, Pos),
    '$fmt_repeat'(Pad, 0' , A),
    '$fmt_next'(Cs, As, A, Ctx, Pos, Pos).
'$fmt_event'(fill(Fill), Cs0, As0, A, Ctx, Col, Stop) :-
    '$fmt_fill_pieces'(Cs0, As0, Ctx, Fill, Pieces, Cs, As, Event),
    '$fmt_pieces_column'(Pieces, Col, Here),
    (   Event = stop(D, N) -> '$fmt_target'(D, N, Stop, Here, Target) ; Target = Here ),
    '$fmt_pad'(Target, Here, Pad, Pos),
    length(Pieces, K),
    '$fmt_fill'(Pieces, K, Pad, A),
    (   Event = stop(_, _) -> '$fmt_next'(Cs, As, A, Ctx, Pos, Pos) ; '$fmt_end'(As, Ctx) ).

% The pieces of a segment from a fill point to the column stop or the end
% of the control text, each with the fill character in front of it.
'$fmt_fill_pieces'(Cs0, As0, Ctx, Fill, [Fill-Text|Pieces], Cs, As, Event) :-
    '$fmt_piece'(Cs0, As0, Ctx, Cs1, As1, Text, Event1),
    (   Event1 = fill(Fill1) -> '$fmt_fill_pieces'(Cs1, As1, Ctx, Fill1, Pieces, Cs, As, Event)
    ;   Pieces = [], Cs = Cs1, As = As1, Event = Event1
    ).

'$fmt_pieces_column'([], Col, Col).
'$fmt_pieces_column'([_-Text|Pieces], Col0, Col) :-
    '$fmt_end_column'(Text, Col0, Col1),
    '$fmt_pieces_column'(Pieces, Col1, Col).

% The column a stop asks for: ~N| column N (by default where the text
% stands), ~N+ N columns past the previous stop (8 by default).
'$fmt_target'(0'|, N, _, Here, Target) :- '$fmt_default'(N, Here, Target).
'$fmt_target'(0'+, N0, Stop, _, Target) :- '$fmt_default'(N0, 8, N), Target is Stop + N.

% The padding up to Target from Here, and the column reached.
'$fmt_pad'(Target, Here, Pad, Pos) :-
    (   Target > Here -> Pad is Target - Here, Pos = Target ; Pad = 0, Pos = Here ).

% The codes the directives write up to the next column directive or the
% end of the control text, gathered in a memory stream of their own.
'$fmt_piece'(Cs0, As0, Ctx, Cs, As, Text, Event) :-
    setup_call_cleanup(prolog:'$fmt_memory_stream'(M),
                       prolog:( '$fmt_seg'(Cs0, As0, M, Ctx, Cs, As, Event), '$fmt_stream_codes'(M, Text) ),
                       close('$stream'(M))).

'$fmt_seg'([], As, _, _, [], As, end) :- !.
'$fmt_seg'([0'~|Cs0], As0, M, Ctx, Cs, As, Event) :- !,
    '$fmt_numarg'(Cs0, Cs1, As0, As1, N, Ctx),
    (   Cs1 = [D|Cs2] -> true ; '$format_error'('truncated format directive', Ctx) ),
    (   '$fmt_column'(D, N, Event0) -> Event = Event0, Cs = Cs2, As = As1
    ;   '$fmt_directive'(D, N, As1, As2, M, Ctx),
        '$fmt_seg'(Cs2, As2, M, Ctx, Cs, As, Event)
    ).
'$fmt_seg'([C|Cs0], As0, M, Ctx, Cs, As, Event) :-
    '$put_code_fail_on_interrupt'(M, C, 0),
    '$fmt_seg'(Cs0, As0, M, Ctx, Cs, As, Event).

% The column after Text written from column Col0.
'$fmt_end_column'([], Col, Col).
'$fmt_end_column'([C|Cs], Col0, Col) :-
    (   C =:= 10 -> Col1 = 0 ; Col1 is Col0 + 1 ),
    '$fmt_end_column'(Cs, Col1, Col).

% Writes the pieces with K fill points sharing Pad columns: each gets
% Pad // K, the last Pad mod K of them one more.
'$fmt_fill'([], _, _, _).
'$fmt_fill'([Fill-Text|Pieces], K, Pad, A) :-
    length(Pieces, Later),
    (   Later < Pad mod K -> Width is Pad // K + 1 ; Width is Pad // K ),
    '$fmt_repeat'(Width, Fill, A),
    '$fmt_put_codes'(Text, A),
    '$fmt_fill'(Pieces, K, Pad, A).

'$fmt_numarg'([0'*|Cs], Cs, [N|As], As, N, Ctx) :- !,
    (   integer(N), N >= 0 -> true ; '$format_error'('~* expects a non-negative integer argument', Ctx) ).
'$fmt_numarg'([0'`, C|Cs], Cs, As, As, C, _) :- !.
'$fmt_numarg'([C|Cs0], Cs, As, As, N, _) :-
    C >= 0'0, C =< 0'9, !,
    '$fmt_digits'(Cs0, Cs, C - 0'0, N).
'$fmt_numarg'(Cs, Cs, As, As, default, _).

'$fmt_digits'([C|Cs0], Cs, N0, N) :-
    C >= 0'0, C =< 0'9, !,
    N1 is N0 * 10 + C - 0'0,
    '$fmt_digits'(Cs0, Cs, N1, N).
'$fmt_digits'(Cs, Cs, N0, N) :- N is N0.

'$fmt_arg'([X|As], X, As, _) :- !.
'$fmt_arg'(_, _, _, Ctx) :- '$format_error'('not enough arguments', Ctx).

'$fmt_default'(default, D, D) :- !.
'$fmt_default'(N, _, N).

'$fmt_directive'(0'w, _, As0, As, A, Ctx) :- !,
    '$fmt_arg'(As0, X, As, Ctx), write('$stream'(A), X).
'$fmt_directive'(0'p, _, As0, As, A, Ctx) :- !,
    '$fmt_arg'(As0, X, As, Ctx), print('$stream'(A), X).
'$fmt_directive'(0'q, _, As0, As, A, Ctx) :- !,
    '$fmt_arg'(As0, X, As, Ctx), writeq('$stream'(A), X).
'$fmt_directive'(0'a, _, As0, As, A, Ctx) :- !,
    '$fmt_arg'(As0, X, As, Ctx),
    (   var(X) -> '$instantiation_error'(Ctx, 2)
    ;   atomic(X) -> write('$stream'(A), X)
    ;   '$type_error'(atomic, X, Ctx, 2)
    ).
'$fmt_directive'(D, N0, As0, As, A, Ctx) :-
    ( D == 0'd ; D == 0'D ; D == 0'r ; D == 0'R ), !,
    '$fmt_arg'(As0, X, As, Ctx),
    (   D == 0'r -> '$fmt_default'(N0, 8, N) ; D == 0'R -> '$fmt_default'(N0, 8, N) ; '$fmt_default'(N0, 0, N) ),
    (   var(X) -> '$instantiation_error'(Ctx, 2)
    ;   integer(X) -> true
    ;   '$type_error'(integer, X, Ctx, 2)
    ),
    (   '$format_print_integer_or_fail'(D, X, N, A) -> true
    ;   '$format_error'('bad numeric argument', Ctx)
    ).
'$fmt_directive'(D, N0, As0, As, A, Ctx) :-
    ( D == 0'e ; D == 0'f ; D == 0'g ; D == 0'E ; D == 0'G ), !,
    '$fmt_arg'(As0, X, As, Ctx),
    '$fmt_default'(N0, 6, N),
    (   var(X) -> '$instantiation_error'(Ctx, 2)
    ;   number(X) -> V = X
    ;   callable(X) -> V is X
    ;   '$type_error'(evaluable, X, Ctx, 2)
    ),
    (   D == 0'f, integer(V) -> '$fmt_fixed_integer'(V, N, A, Ctx)
    ;   '$format_printf_float'(D, V, N, A) -> true
    ;   '$format_error'('bad numeric argument', Ctx)
    ).
'$fmt_directive'(0's, _, As0, As, A, Ctx) :- !,
    '$fmt_arg'(As0, X, As, Ctx),
    (   '$list_skip'(X, K, T), K >= 0, T == [], '$codes_or_chars'(X, Cs) -> '$fmt_put_codes'(Cs, A)
    ;   '$format_error'('~s expects a list of character codes', Ctx)
    ).
'$fmt_directive'(0'c, N0, As0, As, A, Ctx) :- !,
    '$fmt_arg'(As0, X, As, Ctx),
    '$fmt_default'(N0, 1, N),
    (   integer(X), X >= 0 -> '$fmt_repeat'(N, X, A)
    ;   '$format_error'('~c expects a character code', Ctx)
    ).
'$fmt_directive'(0'n, N0, As, As, A, _) :- !,
    '$fmt_default'(N0, 1, N), '$fmt_repeat'(N, 10, A).
'$fmt_directive'(0'~, _, As, As, A, _) :- !,
    '$put_code_fail_on_interrupt'(A, 0'~, 0).
'$fmt_directive'(0'i, _, As0, As, _, Ctx) :- !,
    '$fmt_arg'(As0, _, As, Ctx).
'$fmt_directive'(D, _, _, _, _, Ctx) :-
    atom_codes(Name, [0'~, D]),
    atom_concat('unknown directive ', Name, Message),
    '$format_error'(Message, Ctx).

% An integer in the fixed form keeps all its digits (a big one would lose
% some as a float).
'$fmt_fixed_integer'(V, N, A, Ctx) :-
    (   N =< 99999 -> true ; '$format_error'('bad numeric argument', Ctx) ),
    write('$stream'(A), V),
    (   N > 0 -> '$put_code_fail_on_interrupt'(A, 0'., 0), '$fmt_repeat'(N, 0'0, A) ; true ).

'$fmt_repeat'(N, C, A) :-
    (   N > 0 -> '$put_code_fail_on_interrupt'(A, C, 0), N1 is N - 1, '$fmt_repeat'(N1, C, A) ; true ).

'$fmt_put_codes'([], _).
'$fmt_put_codes'([C|Cs], A) :- '$put_code_fail_on_interrupt'(A, C, 0), '$fmt_put_codes'(Cs, A).
