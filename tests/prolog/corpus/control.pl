% Disjunction, if-then-else, negation and unification goals.

c(1). c(2). c(3).

disj(X) :- ( X = a ; X = b ; c(X) ).

sign_of(X, S) :- ( X > 0 -> S = pos ; X < 0 -> S = neg ; S = zero ).

classify(T, C) :-
    (   var(T) -> C = var
    ;   integer(T) -> C = integer
    ;   float(T) -> C = float
    ;   atom(T) -> C = atom
    ;   compound(T) -> C = compound
    ;   C = other
    ).

max_of(X, Y, Z) :- ( X >= Y -> Z = X ; Z = Y ).

not_member(X, L) :- \+ mem(X, L).
mem(X, [X|_]).
mem(X, [_|T]) :- mem(X, T).

diff(X, Y) :- X \= Y.

if_no_else(X, R) :- ( X > 1 -> R = big ), true.

shared(X, Y) :- ( X = f(Y) ; X = g(Y, Y) ), Y = 1.

nested_disj(X) :- ( c(X), ( X =:= 1 ; X =:= 3 ) ; X = 0 ).

answer(disj, X) :- disj(X).
answer(sign, L) :- sign_of(5, A), sign_of(-2, B), sign_of(0, C), L = [A, B, C].
answer(classify, L) :- classify(_, A), classify(3, B), classify(3.5, C), classify(x, D), classify(f(x), E), classify([], F), L = [A, B, C, D, E, F].
answer(max, Z) :- max_of(3, 7, Z).
answer(max2, Z) :- max_of(8, 7, Z).
answer(not_member_yes, yes) :- not_member(z, [a, b]).
answer(not_member_no, yes) :- not_member(a, [a, b]).
answer(diff_yes, yes) :- diff(a, b).
answer(diff_no, yes) :- diff(f(X), f(X)).
answer(if_no_else, R) :- if_no_else(2, R).
answer(if_no_else_fails, R) :- if_no_else(0, R).
answer(shared, X) :- shared(X, _).
answer(nested_disj, X) :- nested_disj(X).
answer(unify_struct, X-Y) :- f(X, b, g(Z)) = f(a, Y, g(Z)), Z = 1.
answer(unify_cyclic_free, T) :- T = p(A, B, A), A = B, B = q.
answer(equality, L) :- X = f(_), ( X == X -> A = same ; A = diff ), ( f(_) == f(_) -> B = same ; B = diff ), L = [A, B].
answer(compare, L) :- compare(A, 1, 2), compare(B, b, a), compare(C, f(x), f(x)), compare(D, 1.0, 1), L = [A, B, C, D].
answer(order, L) :- ( a @< b -> A = lt ; A = ge ), ( f(a) @> 9 -> B = gt ; B = le ), ( 1 @=< 1 -> C = le ; C = gt ), L = [A, B, C].
answer(functor, L) :- functor(foo(a, b), N, A), functor(T, bar, 2), L = [N, A, T].
answer(arg, X) :- arg(2, f(a, b, c), X).
answer(univ, L) :- f(a, b) =.. L.
answer(univ_build, T) :- T =.. [g, 1, 2].
answer(call_var, X) :- G = c(X), call(G).
answer(call_built, X) :- G =.. [c, X], call(G).
answer(not_unify, L) :- ( a \= b -> A = yes ; A = no ), ( f(X) \= f(1) -> B = yes ; B = no ), L = [A, B, X].
answer(atoms, L) :- L = ['hello world', 'it''s', '\\', 'ünïcödé', [], '[]', {}, 'a\nb', '', 'Ω'].
answer(atom_index, X) :- atom_key('ünïcödé', X).
answer(strings, S) :- S = "abc".

atom_key('hello world', 1).
atom_key('ünïcödé', 2).
atom_key('', 3).
