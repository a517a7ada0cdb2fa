% A large term (a list of 300000 records) stays live while a loop of 20000
% rounds makes short-lived garbage beside it; the large term is walked at
% the end. Collection work should follow the live data, not be repeated on
% the old term at every collection.
bench :-
    Size = 300000,
    records(0, Size, Big),
    churn(20000, 0, C),
    C =:= 20000 * 20001 // 2 * 50 + 20000 * 1225,
    record_sum(Big, 0, S),
    S =:= 3 * (Size * (Size - 1) // 2) + Size.

records(N, N, []) :- !.
records(I, N, [rec(I, [I, I], k(1))|Rs]) :-
    I1 is I + 1,
    records(I1, N, Rs).

record_sum([], S, S).
record_sum([rec(A, [B, C], k(D))|Rs], S0, S) :-
    S1 is S0 + A + B + C + D,
    record_sum(Rs, S1, S).

% Each round builds a list of 50 small terms and sums it.
churn(0, C, C) :- !.
churn(N, C0, C) :-
    scratch(0, 50, N, L),
    scratch_sum(L, 0, X),
    C1 is C0 + X,
    N1 is N - 1,
    churn(N1, C1, C).

scratch(K, K, _, []) :- !.
scratch(I, K, N, [t(N, I)|Ts]) :-
    I1 is I + 1,
    scratch(I1, K, N, Ts).

scratch_sum([], S, S).
scratch_sum([t(A, B)|Ts], S0, S) :-
    S1 is S0 + A + B,
    scratch_sum(Ts, S1, S).
