% Lists: length/2, and append/3, the definition behind the engine's inline
% append (kept in prolog, not exported: the list library has its own).

:- module(prolog, [length/2]).

length(List, N) :-
    Ctx = prolog:length(List, N),
    '$may_be_integer'(N, Ctx, 2),
    (   integer(N), N < 0 -> '$domain_error'(not_less_than_zero, N, Ctx, 2) ; true ),
    '$list_skip'(List, K, Tail),
    (   K < 0 -> '$type_error'(list, List, Ctx, 1)
    ;   Tail == [] -> N = K
    ;   nonvar(Tail) -> '$type_error'(list, List, Ctx, 1)
    ;   integer(N) -> R is N - K, R >= 0, '$length_make'(R, Tail)
    ;   N == Tail -> fail   % the tail would have to be a list and a number
    ;   '$length_enum'(Tail, K, N)
    ).

'$length_make'(0, L) :- !, L = [].
'$length_make'(R, [_|T]) :- R1 is R - 1, '$length_make'(R1, T).

'$length_enum'([], N, N).
'$length_enum'([_|T], K, N) :- K1 is K + 1, '$length_enum'(T, K1, N).

append([], L, L).
append([X|Xs], L, [X|Ys]) :- append(Xs, L, Ys).
