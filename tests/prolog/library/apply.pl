% library(apply), loaded on first call (autoload): maplist/2..7, foldl/4..6,
% include/exclude/partition, with closures, partial lists and failure.

:- discontiguous t/3, x/4.

sum3(A, B, C, D) :- D is A + B + C.
sum4(A, B, C, D, E) :- E is A + B + C + D.
sum5(A, B, C, D, E, F) :- F is A + B + C + D + E.
mul_add(X, Y, A0, A) :- A is A0 + X * Y.
add3(X, Y, Z, A0, A) :- A is A0 + X + Y + Z.
cons(X, T, [X|T]).
sign(X, O) :- compare(O, X, 0).
odd_order(X, O) :- ( X mod 2 =:= 1 -> O = (<) ; O = foo ).

t(maplist_2, yes, maplist(atom, [a, b])).
t(maplist_2_fails, yes, \+ maplist(atom, [a, 1])).
t(maplist_3, L, maplist(succ, [1, 2, 3], L)).
t(maplist_3_backward, L, maplist(succ, L, [1, 2, 3])).
t(maplist_closure, L, maplist(plus(10), [1, 2], L)).
t(maplist_4, L, maplist(plus, [1, 2], [10, 20], L)).
t(maplist_5, L, maplist(sum3, [1, 2], [3, 4], [5, 6], L)).
x(maplist_6, L, maplist(sum4, [1], [2], [3], [4], L), [[10]]).
x(maplist_7, L, maplist(sum5, [1, 1], [2, 2], [3, 3], [4, 4], [5, 5], L), [[15, 15]]).
t(maplist_lengths, yes, \+ maplist(=, [a], [a, b])).
t(maplist_partial, L, (length(L, 2), maplist(=(x), L))).
t(maplist_open_ends, L-M, (maplist(=, L, M), !)).
t(maplist_not_list, yes, \+ maplist(atom, foo)).
t(maplist_module, L, maplist(lists:reverse, [[a, b], [c]], L)).
t(foldl_4, S, foldl(plus, [1, 2, 3], 0, S)).
t(foldl_order, L, foldl(cons, [a, b, c], [], L)).
t(foldl_5, S, foldl(mul_add, [1, 2], [3, 4], 0, S)).
t(foldl_6, S, foldl(add3, [1], [2], [3], 0, S)).
t(foldl_empty, S, foldl(plus, [], 7, S)).
t(include, L, include(integer, [a, 1, b, 2], L)).
t(include_binds, L-X, include(=(f(X)), [f(1), f(2)], L)).
t(exclude, L, exclude(integer, [a, 1, b, 2], L)).
t(partition_4, I-E, partition(integer, [a, 1, b, 2], I, E)).
t(partition_5, L-E-G, partition(sign, [3, -1, 0, 2, -5], L, E, G)).
x(partition_5_bad_order, E, catch(partition(odd_order, [1, 2], _, _, _), error(E, _), true),
  [domain_error(order, foo)]).
t(apply_module, M, (maplist(atom, []), predicate_property(maplist(_, _), imported_from(M)))).
