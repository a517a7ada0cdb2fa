% Deep recursion: long lists on the heap, non-tail recursion on the local
% stack, many choicepoints on the choice stack; the stacks must grow.

build(0, []) :- !.
build(N, [N|T]) :- N1 is N - 1, build(N1, T).

len([], 0).
len([_|T], N) :- len(T, N0), N is N0 + 1.

count_down(0) :- !.
count_down(N) :- N1 is N - 1, count_down(N1).

sum_nt(0, 0) :- !.
sum_nt(N, S) :- N1 is N - 1, sum_nt(N1, S0), S is S0 + N.

mem(X, [X|_]).
mem(X, [_|T]) :- mem(X, T).

last_by_member(L, X) :- mem(X, L), X =:= 1.

deep_term(0, z) :- !.
deep_term(N, s(T)) :- N1 is N - 1, deep_term(N1, T).

depth(z, 0).
depth(s(T), N) :- depth(T, N0), N is N0 + 1.

answer(long_list, N) :- build(300000, L), len(L, N).
answer(count_down, done) :- count_down(1000000).
answer(sum_nt, S) :- sum_nt(200000, S).
answer(choicepoints, X) :- build(100000, L), last_by_member(L, X).
answer(deep_term, N) :- deep_term(100000, T), depth(T, N).
