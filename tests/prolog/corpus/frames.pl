% Environments: permanent variables of different lifetimes, trimmed as
% calls go on; variables made in a frame and passed on, aliased or put into
% structures after their slot is given up.

q(_).
s(1, 2, 3).
junk(_, _, _, _).
r(Z, X) :- s(A, B, C), Z = f(A, B, C), X = Z.

alias_last(X) :- q(Y), Z = Y, r(Z, X).
alias_trimmed(X) :- q(Y), Z = Y, junk(1, 2, 3, 4), r(Z, X).
alias_first(X) :- Z = Y, q(Y), r(Z, X).
passed_on(X) :- q(Y), r(Y, X).
in_struct(X) :- q(Y), junk(a, b, c, d), T = g(Y, Y), r(Y, _), X = T.
in_list(L) :- q(A), q(B), junk(A, B, x, y), L = [A, B, A], A = 1, B = 2.

lifetimes(R) :-
    q(A), q(B), q(C), q(D),
    A = 1, junk(A, B, C, D),
    B = 2, junk(B, C, D, x),
    C = 3, junk(C, D, x, y),
    D = 4,
    R = [A, B, C, D].

late_first(R) :- junk(1, 2, 3, 4), q(X), junk(X, 2, 3, 4), X = late, R = X.

deep_env(0, []) :- !.
deep_env(N, [N|T]) :- q(X), N1 is N - 1, deep_env(N1, T), X = N.

answer(alias_last, X) :- alias_last(X).
answer(alias_trimmed, X) :- alias_trimmed(X).
answer(alias_first, X) :- alias_first(X).
answer(passed_on, X) :- passed_on(X).
answer(in_struct, X) :- in_struct(X).
answer(in_list, L) :- in_list(L).
answer(lifetimes, R) :- lifetimes(R).
answer(late_first, R) :- late_first(R).
answer(deep_env, L) :- deep_env(20, L).
