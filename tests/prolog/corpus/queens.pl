% N-queens: every solution, in order.

queens(N, Qs) :-
    range(1, N, Ns),
    place(Ns, [], Qs).

place([], Qs, Qs).
place(Unplaced, Safe, Qs) :-
    sel(Q, Unplaced, Rest),
    safe(Q, 1, Safe),
    place(Rest, [Q|Safe], Qs).

safe(_, _, []).
safe(Q, D, [Q1|Qs]) :-
    Q =\= Q1 + D,
    Q =\= Q1 - D,
    D1 is D + 1,
    safe(Q, D1, Qs).

sel(X, [X|T], T).
sel(X, [H|T], [H|R]) :- sel(X, T, R).

range(N, N, [N]) :- !.
range(I, N, [I|T]) :- I < N, I1 is I + 1, range(I1, N, T).

answer(queens4, Qs) :- queens(4, Qs).
answer(queens6, Qs) :- queens(6, Qs).
answer(queens8, Qs) :- queens(8, Qs).
