% library(random): a seed makes the sequence repeatable; each value is in
% its range, the selections are elements and rests, a permutation holds
% the same elements; bad arguments are errors.

:- discontiguous t/3, x/4.

draws(0, _, _, []) :- !.
draws(N, L, H, [X|Xs]) :- random_between(L, H, X), N1 is N - 1, draws(N1, L, H, Xs).

floats(0, []) :- !.
floats(N, [X|Xs]) :- random(X), N1 is N - 1, floats(N1, Xs).

in_range(L, H, Xs) :- forall(member(X, Xs), (integer(X), X >= L, X =< H)).

x(repeatable, yes, (set_random(seed(42)), draws(20, 1, 1000, A), set_random(seed(42)), draws(20, 1, 1000, B),
                    A == B), [yes]).
x(seeds_differ, yes, (set_random(seed(1)), draws(10, 1, 1000000, A), set_random(seed(2)),
                      draws(10, 1, 1000000, B), A \== B), [yes]).
x(between_range, yes, (draws(500, -3, 3, Xs), in_range(-3, 3, Xs), sort(Xs, S), S == [-3, -2, -1, 0, 1, 2, 3]),
  [yes]).
x(between_one, X, random_between(5, 5, X), [5]).
x(between_empty, yes, \+ random_between(5, 4, _), [yes]).
x(between_big, yes, (L is 1 << 70, H is L + (1 << 66), draws(50, L, H, Xs), in_range(L, H, Xs)), [yes]).
x(between_wide, yes, (H is 1 << 130, draws(20, 0, H, Xs), in_range(0, H, Xs)), [yes]).
x(between_unbound, E, catch(random_between(_, 3, _), error(E, _), true), [instantiation_error]).
x(between_not_integer, E, catch(random_between(1, a, _), error(E, _), true), [type_error(integer, a)]).
x(float_range, yes, (floats(200, Xs), forall(member(X, Xs), (float(X), X >= 0.0, X < 1.0))), [yes]).
x(member, yes, (random_member(X, [a, b, c]), memberchk(X, [a, b, c])), [yes]).
x(member_empty, yes, \+ random_member(_, []), [yes]).
x(member_partial, E, catch(random_member(_, [a|_]), error(E, _), true), [instantiation_error]).
x(select, yes, (random_select(X, [a, b, c], R), select(X, [a, b, c], R0), R == R0), [yes]).
x(select_insert, yes, (random_select(x, L, [a, b]), select(x, L, [a, b])), [yes]).
x(select_empty, yes, \+ random_select(_, [], _), [yes]).
x(permutation, S, (numlist(1, 30, L), random_permutation(L, P), msort(P, S0), S0 == L, length(P, S)), [30]).
x(permutation_backward, S, (random_permutation(P, [c, a, b]), msort(P, S)), [[a, b, c]]).
x(permutation_moves, yes, (numlist(1, 30, L), set_random(seed(7)), random_permutation(L, P), P \== L), [yes]).
x(set_random_bad, E, catch(set_random(foo), error(E, _), true), [domain_error(set_random, foo)]).
