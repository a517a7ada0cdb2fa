% A deterministic loop that builds a 100-element list of pairs each round,
% sums it and drops it, 40000 rounds: nearly all that is made is garbage at
% once and the live data stays small, so the collector's work should be
% small too.
bench :-
    Rounds = 40000,
    loop(Rounds, 0, S),
    Expected is 100 * Rounds * (Rounds + 1) // 2 + 4950 * Rounds + 100 * Rounds,
    S =:= Expected.

loop(0, S, S) :- !.
loop(N, S0, S) :-
    pairs(0, 100, N, Ps),
    pair_sum(Ps, 0, X),
    S1 is S0 + X,
    N1 is N - 1,
    loop(N1, S1, S).

% pairs(I, K, Base, Ps): [(Base+I)-f(1), ...] for K elements.
pairs(K, K, _, []) :- !.
pairs(I, K, Base, [V-f(1)|Ps]) :-
    V is Base + I,
    I1 is I + 1,
    pairs(I1, K, Base, Ps).

pair_sum([], S, S).
pair_sum([V-f(W)|Ps], S0, S) :-
    S1 is S0 + V + W,
    pair_sum(Ps, S1, S).
