% Deep recursion with stack growth: a list of 1000000 integers built, then
% walked by recursions that are not tail calls (its length, its sum, a copy
% of it doubled, the maximum), so that a million frames are live at once.
% The stacks start small and must grow while the frames are live.
bench :- loop(1).

loop(0) :- !.
loop(K) :-
    N = 1000000,
    upto(N, L),
    len(L, Len), Len =:= N,
    sum(L, S), S =:= N * (N + 1) // 2,
    double(L, D),
    sum(D, S2), S2 =:= 2 * S,
    max_of(D, M), M =:= 2 * N,
    K1 is K - 1,
    loop(K1).

upto(0, []) :- !.
upto(N, [N|T]) :- N1 is N - 1, upto(N1, T).

len([], 0).
len([_|T], N) :- len(T, N0), N is N0 + 1.

sum([], 0).
sum([X|T], S) :- sum(T, S0), S is S0 + X.

double([], []).
double([X|Xs], [Y|Ys]) :- double(Xs, Ys), Y is 2 * X.

max_of([X], X) :- !.
max_of([X|Xs], M) :- max_of(Xs, M0), ( X > M0 -> M = X ; M = M0 ).
