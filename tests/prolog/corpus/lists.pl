% List processing. Every solution of answer(Name, Result), in order, is
% compared with the reference system's.

app([], L, L).
app([H|T], L, [H|R]) :- app(T, L, R).

mem(X, [X|_]).
mem(X, [_|T]) :- mem(X, T).

len([], 0).
len([_|T], N) :- len(T, N0), N is N0 + 1.

rev(L, R) :- rev(L, [], R).
rev([], R, R).
rev([H|T], A, R) :- rev(T, [H|A], R).

sel(X, [X|T], T).
sel(X, [H|T], [H|R]) :- sel(X, T, R).

perm([], []).
perm(L, [X|P]) :- sel(X, L, R), perm(R, P).

nth(1, [X|_], X) :- !.
nth(N, [_|T], X) :- N > 1, N1 is N - 1, nth(N1, T, X).

last_of([X], X) :- !.
last_of([_|T], X) :- last_of(T, X).

sum([], 0).
sum([X|Xs], S) :- sum(Xs, S0), S is S0 + X.

flat([], []) :- !.
flat([H|T], F) :- !, flat(H, FH), flat(T, FT), app(FH, FT, F).
flat(X, [X]).

ins_sort([], []).
ins_sort([X|Xs], S) :- ins_sort(Xs, S0), insert(X, S0, S).
insert(X, [], [X]).
insert(X, [Y|Ys], [X, Y|Ys]) :- X =< Y, !.
insert(X, [Y|Ys], [Y|Zs]) :- insert(X, Ys, Zs).

numbers(N, N, [N]) :- !.
numbers(I, N, [I|T]) :- I < N, I1 is I + 1, numbers(I1, N, T).

zip([], [], []).
zip([X|Xs], [Y|Ys], [X-Y|Zs]) :- zip(Xs, Ys, Zs).

answer(app_split, X+Y) :- app(X, Y, [a, b, c]).
answer(app_join, L) :- app([1, 2], [3, 4], L).
answer(member, X) :- mem(X, [p, q, r]).
answer(member_check, yes) :- mem(q, [p, q, r, q]).
answer(length, N) :- len([a, b, c, d, e], N).
answer(reverse, R) :- rev([1, 2, 3, 4, 5, 6], R).
answer(select, X/R) :- sel(X, [a, b, c], R).
answer(permutation, P) :- perm([1, 2, 3], P).
answer(nth, X) :- nth(3, [a, b, c, d], X).
answer(last, X) :- last_of([1, 2, 3, z], X).
answer(sum, S) :- numbers(1, 100, L), sum(L, S).
answer(flatten, F) :- flat([1, [2, [3, 4]], [], [[5]], 6], F).
answer(sort, S) :- ins_sort([5, 3, 9, 1, 4, 1, 8], S).
answer(zip, Z) :- zip([a, b, c], [1, 2, 3], Z).
answer(open_list, L) :- ( app([x|T], [y], L) -> T = [] ; fail ).
answer(bind_later, L) :- ( app(X, Y, L0), X = [1] -> Y = [2], L = L0 ; fail ).
answer(partial, L) :- app(L, [z], [a, z]).
