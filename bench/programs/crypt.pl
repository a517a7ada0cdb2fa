% Cryptarithmetic: SEND + MORE = MONEY by choosing distinct digits, every
% solution, 200 times.
bench :- loop(200).

loop(0) :- !.
loop(N) :- all_solutions, N1 is N - 1, loop(N1).

all_solutions :- solve(_), fail.
all_solutions.

solve([S, E, N, D, M, O, R, Y]) :-
    Digits = [0, 1, 2, 3, 4, 5, 6, 7, 8, 9],
    sel(D, Digits, D1), sel(E, D1, D2), sel(Y, D2, D3),
    Y =:= (D + E) mod 10, C1 is (D + E) // 10,
    sel(N, D3, D4), sel(R, D4, D5),
    E =:= (N + R + C1) mod 10, C2 is (N + R + C1) // 10,
    sel(O, D5, D6),
    N =:= (E + O + C2) mod 10, C3 is (E + O + C2) // 10,
    sel(S, D6, D7), S > 0, sel(M, D7, _), M > 0,
    O =:= (S + M + C3) mod 10, M =:= (S + M + C3) // 10.

sel(X, [X|T], T).
sel(X, [H|T], [H|R]) :- sel(X, T, R).
