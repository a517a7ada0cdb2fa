% Quicksort with a partition, on numbers and with an accumulator.

qsort([], []).
qsort([H|T], S) :-
    partition(T, H, L, G),
    qsort(L, SL),
    qsort(G, SG),
    app(SL, [H|SG], S).

partition([], _, [], []).
partition([X|Xs], P, [X|L], G) :- X =< P, !, partition(Xs, P, L, G).
partition([X|Xs], P, L, [X|G]) :- partition(Xs, P, L, G).

app([], L, L).
app([H|T], L, [H|R]) :- app(T, L, R).

qsort_acc([], S, S).
qsort_acc([H|T], S0, S) :-
    partition(T, H, L, G),
    qsort_acc(G, S0, S1),
    qsort_acc(L, [H|S1], S).

pseudo_random(0, _, []) :- !.
pseudo_random(N, Seed, [X|Xs]) :-
    X is Seed mod 1000,
    Seed1 is (Seed * 1103515245 + 12345) mod 2147483648,
    N1 is N - 1,
    pseudo_random(N1, Seed1, Xs).

answer(small, S) :- qsort([27, 74, 17, 33, 94, 18, 46, 83, 65, 2, 32, 53, 28, 85, 99, 47, 28, 82, 6, 11], S).
answer(acc, S) :- qsort_acc([3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5], [], S).
answer(floats, S) :- qsort([2.5, -1.0, 3, 0.5, 2, -7.25], S).
answer(random, S) :- pseudo_random(300, 42, L), qsort(L, S).
answer(sorted_same, yes) :- pseudo_random(200, 7, L), qsort(L, S1), qsort_acc(L, [], S2), S1 == S2.
