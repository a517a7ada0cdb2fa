% First-argument indexing on every kind of key: atoms, small integers, [],
% lists, structures of several functors and arities, floats, big integers,
% and clauses whose first argument is a variable among them.

k(a, atom_a).
k(b, atom_b).
k(1, int_1).
k(-5, int_neg).
k([], nil).
k([_|_], list).
k(f(_), f1).
k(f(_, _), f2).
k(g(x), g_x).
k(X, var_clause(X)) :- atom(X).
k(2.5, float).
k(123456789012345678901234567890, big).
k(-98765432109876543210, big_neg).
k(1152921504606846976, big_edge).
k(a, atom_a_again).
k(f(z), f1_z).

only_lists([], empty).
only_lists([X], one(X)).
only_lists([X, Y|_], two(X, Y)).

mixed(X, var_first) :- var(X).
mixed(1, one).
mixed(X, any(X)).
mixed(1, one_again).

no_args(first).
no_args(second).

deep(f(a, b), 1).
deep(f(a, c), 2).
deep(f(b, b), 3).
deep(g(a), 4).

answer(atom_a, R) :- k(a, R).
answer(atom_b, R) :- k(b, R).
answer(atom_other, R) :- k(zz, R).
answer(int_1, R) :- k(1, R).
answer(int_neg, R) :- k(-5, R).
answer(int_other, R) :- k(7, R).
answer(int_neg_other, R) :- k(-7, R).
answer(nil, R) :- k([], R).
answer(list, R) :- k([1, 2], R).
answer(f1, R) :- k(f(q), R).
answer(f2, R) :- k(f(q, r), R).
answer(g_x, R) :- k(g(x), R).
answer(g_y, R) :- k(g(y), R).
answer(float, R) :- k(2.5, R).
answer(float_other, R) :- k(3.5, R).
answer(big, R) :- k(123456789012345678901234567890, R).
answer(big_neg, R) :- k(-98765432109876543210, R).
answer(big_edge, R) :- k(1152921504606846976, R).
answer(big_other, R) :- k(123456789012345678901234567891, R).
answer(unbound, X-R) :- k(X, R).
answer(lists_nil, R) :- only_lists([], R).
answer(lists_one, R) :- only_lists([p], R).
answer(lists_two, R) :- only_lists([p, q, r], R).
answer(lists_var, L-R) :- only_lists(L, R).
answer(mixed_one, R) :- mixed(1, R).
answer(mixed_two, R) :- mixed(2, R).
answer(mixed_var, X-R) :- mixed(X, R).
answer(no_args, R) :- no_args(R).
answer(deep, X-R) :- deep(f(a, X), R).
answer(deep_all, T-R) :- deep(T, R).
