% Formatted output: format/1,2,3.
%
% The control text is an atom, a code list or a character list; the
% arguments a list, or one term standing for the list of itself. Each
% directive ~[N]L takes its numeric argument N from digits, from the next
% argument (*) or from a character (`c). Column stops (~N| and ~N+) pad the
% text written since the previous stop with the fill character of its last
% ~t (a space by default) up to the column, the stream's line position
% telling where the text stands. A directive the table does not know, an
% argument missing or left over raise error(format(Message), _).

:- module(prolog, [format/1, format/2, format/3]).

format(F) :- current_output(S), '$format'(S, F, [], prolog:format(F)).
format(F, Args) :- current_output(S), '$format'(S, F, Args, prolog:format(F, Args)).
format(S, F, Args) :- '$format'(S, F, Args, prolog:format(S, F, Args)).

'$format'(S, F, Args, Ctx) :-
    '$stream_arg'(S, output, text, Ctx, 1, A),
    '$format_codes'(F, Cs, Ctx),
    (   '$list_skip'(Args, N, T), N >= 0, T == [] -> As = Args ; As = [Args] ),
    '$stream_count'(A, _, _, _, Pos0),
    '$fmt'(Cs, As, A, Ctx, col(Pos0, Pos0, 0' )).

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

% col(Stop, _, Fill): the column of the last stop and the fill character.
'$fmt'([], As, _, Ctx, _) :- !,
    (   As == [] -> true ; '$format_error'('too many arguments', Ctx) ).
'$fmt'([0'~|Cs0], As0, A, Ctx, Col0) :- !,
    '$fmt_numarg'(Cs0, Cs1, As0, As1, N, Ctx),
    (   Cs1 = [D|Cs] -> true ; '$format_error'('truncated format directive', Ctx) ),
    '$fmt_directive'(D, N, As1, As, A, Ctx, Col0, Col),
    '$fmt'(Cs, As, A, Ctx, Col).
'$fmt'([C|Cs], As, A, Ctx, Col) :-
    '$put_code_fail_on_interrupt'(A, C, 0),
    '$fmt'(Cs, As, A, Ctx, Col).

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

'$fmt_directive'(0'w, _, As0, As, A, Ctx, C, C) :- !,
    '$fmt_arg'(As0, X, As, Ctx), write('$stream'(A), X).
'$fmt_directive'(0'p, _, As0, As, A, Ctx, C, C) :- !,
    '$fmt_arg'(As0, X, As, Ctx), print('$stream'(A), X).
'$fmt_directive'(0'q, _, As0, As, A, Ctx, C, C) :- !,
    '$fmt_arg'(As0, X, As, Ctx), writeq('$stream'(A), X).
'$fmt_directive'(0'a, _, As0, As, A, Ctx, C, C) :- !,
    '$fmt_arg'(As0, X, As, Ctx),
    (   var(X) -> '$instantiation_error'(Ctx, 2)
    ;   atomic(X) -> write('$stream'(A), X)
    ;   '$type_error'(atomic, X, Ctx, 2)
    ).
'$fmt_directive'(D, N0, As0, As, A, Ctx, C, C) :-
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
'$fmt_directive'(D, N0, As0, As, A, Ctx, C, C) :-
    ( D == 0'e ; D == 0'f ; D == 0'g ; D == 0'E ; D == 0'G ), !,
    '$fmt_arg'(As0, X, As, Ctx),
    '$fmt_default'(N0, 6, N),
    (   var(X) -> '$instantiation_error'(Ctx, 2)
    ;   number(X) -> true
    ;   '$type_error'(number, X, Ctx, 2)
    ),
    (   '$format_print_float'(D, X, N, A) -> true
    ;   '$format_error'('bad numeric argument', Ctx)
    ).
'$fmt_directive'(0's, _, As0, As, A, Ctx, C, C) :- !,
    '$fmt_arg'(As0, X, As, Ctx),
    (   '$list_skip'(X, K, T), K >= 0, T == [], '$codes_or_chars'(X, Cs) -> '$fmt_put_codes'(Cs, A)
    ;   '$format_error'('~s expects a list of character codes', Ctx)
    ).
'$fmt_directive'(0'c, N0, As0, As, A, Ctx, C, C) :- !,
    '$fmt_arg'(As0, X, As, Ctx),
    '$fmt_default'(N0, 1, N),
    (   integer(X), X >= 0 -> '$fmt_repeat'(N, X, A)
    ;   '$format_error'('~c expects a character code', Ctx)
    ).
'$fmt_directive'(0'n, N0, As, As, A, _, C, C) :- !,
    '$fmt_default'(N0, 1, N), '$fmt_repeat'(N, 10, A).
'$fmt_directive'(0'~, _, As, As, A, _, C, C) :- !,
    '$put_code_fail_on_interrupt'(A, 0'~, 0).
'$fmt_directive'(0'i, _, As0, As, _, Ctx, C, C) :- !,
    '$fmt_arg'(As0, _, As, Ctx).
'$fmt_directive'(0't, N0, As, As, _, _, col(Stop, Seg, _), col(Stop, Seg, Fill)) :- !,
    '$fmt_default'(N0, 0' , Fill).
'$fmt_directive'(0'|, N0, As, As, A, _, col(_, _, Fill), col(Pos, Pos, 0' )) :- !,
    '$stream_count'(A, _, _, _, Here),
    '$fmt_default'(N0, Here, Pos0),
    '$fmt_pad'(Here, Pos0, Fill, A, Pos).
'$fmt_directive'(0'+, N0, As, As, A, _, col(Stop, _, Fill), col(Pos, Pos, 0' )) :- !,
    '$stream_count'(A, _, _, _, Here),
    '$fmt_default'(N0, 8, N),
    Target is Stop + N,
    '$fmt_pad'(Here, Target, Fill, A, Pos).
'$fmt_directive'(D, _, _, _, _, Ctx, _, _) :-
    atom_codes(Name, [0'~, D]),
    atom_concat('unknown directive ', Name, Message),
    '$format_error'(Message, Ctx).

'$fmt_pad'(Here, Target, Fill, A, Pos) :-
    (   Target > Here -> K is Target - Here, '$fmt_repeat'(K, Fill, A), Pos = Target
    ;   Pos = Here
    ).

'$fmt_repeat'(N, C, A) :-
    (   N > 0 -> '$put_code_fail_on_interrupt'(A, C, 0), N1 is N - 1, '$fmt_repeat'(N1, C, A) ; true ).

'$fmt_put_codes'([], _).
'$fmt_put_codes'([C|Cs], A) :- '$put_code_fail_on_interrupt'(A, C, 0), '$fmt_put_codes'(Cs, A).
