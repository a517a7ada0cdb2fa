% If-then-else, negation and disjunction in a tight deterministic loop over
% 1..1000000; the tallies are checked against counts worked out by division.
bench :-
    N = 1000000,
    loop(1, N, 0-0-0-0, T),
    T = A-B-C-D,
    A =:= 15 * (N // 15) + 5 * (N // 5 - N // 15) + 3 * (N // 3 - N // 15)
          + (N - N // 3 - N // 5 + N // 15),
    B =:= N - N // 7,
    C =:= N // 2 + N // 11 - N // 22,
    D =:= 4 * (N // 4) + (N + 3) // 4.

loop(I, N, T, T) :- I > N, !.
loop(I, N, A0-B0-C0-D0, T) :-
    fizz(I, KA), A1 is A0 + KA,
    (   \+ I mod 7 =:= 0 -> B1 is B0 + 1 ; B1 = B0 ),
    (   ( I mod 2 =:= 0 ; I mod 11 =:= 0 ) -> C1 is C0 + 1 ; C1 = C0 ),
    (   quarter(I, KD) -> D1 is D0 + KD ; D1 = D0 ),
    I1 is I + 1,
    loop(I1, N, A1-B1-C1-D1, T).

fizz(I, K) :-
    (   I mod 15 =:= 0 -> K = 15
    ;   I mod 5 =:= 0 -> K = 5
    ;   I mod 3 =:= 0 -> K = 3
    ;   K = 1
    ).

% A disjunction whose branches fail until one holds.
quarter(I, K) :-
    (   I mod 4 =:= 0, K = 4
    ;   I mod 4 =:= 1, K = 1
    ;   I mod 4 =:= 2, \+ K = 0, K = 0
    ;   K = 0
    ).
