% Cut in every position: at the neck, after calls, in the last clause, in
% disjunctions, in the branches of if-then-else, under negation and call/1
% (where it is local), and after nondeterministic calls.

m(1). m(2). m(3).

neck(X) :- m(X), X >= 2, !.
neck(0).

first(X) :- !, m(X).
first(9).

deep(X, Y) :- m(X), m(Y), Y > X, !.
deep(0, 0).

last_clause(a).
last_clause(X) :- m(X), !.

in_disj(X) :- ( m(X), X > 1, ! ; X = none ).
in_disj(after).

in_then(X, Y) :- ( m(X) -> m(Y), !, true ; Y = no ).
in_then(z, z).

in_else(Y) :- ( fail -> Y = no ; m(Y), Y > 1, ! ).
in_else(z).

in_cond(X) :- ( m(X), ! -> true ; X = no ).
in_cond(z).

neg(X) :- m(X), \+ ( m(Y), !, Y > X ).

local_call(X) :- call((m(X), !)).
local_call(9).

nested(X, Y) :- m(X), ( m(Y), Y > X -> ( Y =:= 3, ! ; true ) ; fail ).
nested(9, 9).

cut_fail(X) :- X == stop, !, fail.
cut_fail(_).

twice(X, Y) :- m(X), !, m(Y), !.
twice(0, 0).

answer(neck, X) :- neck(X).
answer(first, X) :- first(X).
answer(deep, X-Y) :- deep(X, Y).
answer(last_clause, X) :- last_clause(X).
answer(in_disj, X) :- in_disj(X).
answer(in_then, X-Y) :- in_then(X, Y).
answer(in_else, Y) :- in_else(Y).
answer(in_cond, X) :- in_cond(X).
answer(neg, X) :- neg(X).
answer(local_call, X) :- local_call(X).
answer(nested, X-Y) :- nested(X, Y).
answer(cut_fail_stop, yes) :- cut_fail(stop).
answer(cut_fail_go, yes) :- cut_fail(go).
answer(twice, X-Y) :- twice(X, Y).
