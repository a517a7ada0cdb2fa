% Every solution of 8 queens, 100 times.
bench :- loop(100).

loop(0) :- !.
loop(N) :- all_queens(8), N1 is N - 1, loop(N1).

all_queens(N) :- queens(N, _), fail.
all_queens(_).

queens(N, Qs) :- range(1, N, Ns), place(Ns, [], Qs).

place([], Qs, Qs).
place(Unplaced, Safe, Qs) :-
    sel(Q, Unplaced, Rest),
    safe(Q, 1, Safe),
    place(Rest, [Q|Safe], Qs).

safe(_, _, []).
safe(Q, D, [Q1|Qs]) :- Q =\= Q1 + D, Q =\= Q1 - D, D1 is D + 1, safe(Q, D1, Qs).

sel(X, [X|T], T).
sel(X, [H|T], [H|R]) :- sel(X, T, R).

range(N, N, [N]) :- !.
range(I, N, [I|T]) :- I1 is I + 1, range(I1, N, T).
