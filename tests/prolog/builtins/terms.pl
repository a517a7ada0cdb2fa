% Terms: unification, comparison, type tests, functor/3, arg/3, =../2,
% copy_term/2,3, term_variables/2, subsumes_term/2, unify_with_occurs_check/2,
% acyclic_term/1. Each called directly and through call/N (the clauses of
% the library rather than the inline code).

t(unify, X-Y, f(X, b) = f(a, Y)).
t(unify_fails, x, f(a) = f(b)).
t(not_unifiable, yes, call(\=, f(a), f(b))).
t(not_unifiable_fails, yes, call(\=, f(X), f(a))).
t(identical, yes, call(==, f(X, a), f(X, a))).
t(not_identical, yes, call(\==, f(X), f(Y))).
t(order_vars_numbers, yes, call(@<, _, 1)).
t(order_float_int, yes, call(@<, 1.0, 1)).
t(order_int_atom, yes, call(@<, 2, a)).
t(order_atom_compound, yes, call(@<, z, f(a))).
t(order_arity, yes, call(@<, g(a), f(a, b))).
t(order_name, yes, call(@<, f(a), g(a))).
t(order_args, yes, call(@>=, f(b), f(a))).
t(compare, O, compare(O, 1, 2)).
t(compare_meta, O, call(compare, O, f(a), f(a))).
t(compare_check, yes, compare(>, 2, 1)).
t(compare_wrong, yes, compare(<, 2, 1)).
t(compare_not_order, x, compare(foo, 1, 2)).
t(compare_not_atom, x, compare(1, 1, 2)).
t(compare_not_order_meta, x, call(compare, foo, 1, 1)).

t(types, L, findall(T, (member(X, [a, 1, 1.5, f(x), [], "", _]), type_of(X, T)), L)).
t(callable_list, yes, callable([a])).
t(ground_yes, yes, ground(f(a, [b]))).
t(ground_no, yes, \+ ground(f(a, [_]))).

t(functor_compound, N-A, functor(foo(a, b), N, A)).
t(functor_atomic, N-A, functor(1.5, N, A)).
t(functor_list, N-A, functor([a], N, A)).
t(functor_build, T, functor(T, foo, 3)).
t(functor_build_atomic, T, functor(T, 7, 0)).
t(functor_build_list, T, functor(T, '.', 2)).
t(functor_meta, T, call(functor, T, f, 2)).
t(functor_unbound_name, x, functor(_, _, 1)).
t(functor_unbound_arity, x, functor(_, f, _)).
t(functor_compound_name, x, functor(_, foo(a), 1)).
t(functor_number_name, x, functor(_, 1.5, 1)).
t(functor_float_arity, x, functor(_, foo, 1.0)).
t(functor_negative, x, functor(_, foo, -1)).
t(functor_meta_error, x, call(functor, _, foo, -1)).
x(functor_max_arity, x, functor(_, foo, 256), error(representation_error(max_arity))).
x(functor_mutable, T, (functor(T, '$mutable', 2), functor(T, N, A), T = '$mutable'(X, Y), var(X), var(Y), N/A == '$mutable'/2), ['$mutable'(_, _)]).

t(arg, A, arg(2, f(a, b, c), A)).
t(arg_list, A, arg(1, [x|y], A)).
t(arg_zero, x, arg(0, f(a), _)).
t(arg_beyond, x, arg(3, f(a, b), _)).
t(arg_meta, A, call(arg, 1, g(z), A)).
t(arg_unbound_term, x, arg(1, _, _)).
t(arg_not_compound, x, arg(1, atom, _)).
t(arg_not_integer, x, arg(a, f(a), _)).
t(arg_negative, x, arg(-1, f(a), _)).
t(arg_big, x, arg(100000000000000000000, f(a), _)).
x(arg_unbound_n, x, arg(_, f(a), _), error(instantiation_error)).

t(univ_compound, L, f(a, b) =.. L).
t(univ_atomic, L, 1.5 =.. L).
t(univ_list, L, [a, b] =.. L).
t(univ_build, T, T =.. [foo, a, B, B]).
t(univ_build_atomic, T, T =.. [3]).
t(univ_build_list, T, T =.. ['.', a, []]).
t(univ_meta, T, call(=.., T, [g, 1])).
t(univ_partial, x, _ =.. [foo|_]).
t(univ_unbound, x, _ =.. _).
t(univ_not_list, x, _ =.. [foo|bar]).
t(univ_empty, x, _ =.. []).
t(univ_unbound_head, x, _ =.. [_, a]).
t(univ_compound_head, x, _ =.. [foo(a), b]).
t(univ_number_head, x, _ =.. [1, b]).
t(univ_compound_alone, x, _ =.. [foo(a)]).
x(univ_max_arity, x, (numlist(1, 256, L), _ =.. [f|L]), error(representation_error(max_arity))).
x(univ_255, A, (numlist(1, 255, L), T =.. [f|L], functor(T, _, A)), [255]).

t(copy_term, C, copy_term(f(X, Y, X), C)).
t(copy_term_atomic, C, copy_term(a, C)).
t(copy_term_fresh, yes, (copy_term(X-Y, A-B), A \== X, B \== Y, A \== B)).
x(copy_term_attributes, yes, (freeze(X, true), copy_term(X, Y), Y \== X, prolog:'$get_cva'(Y, _, G), G \== []), [yes]).
x(copy_term_goals, G, (freeze(X, true), copy_term(f(X), f(Y), G), var(Y)), [[freeze(_, true)]]).
x(copy_term_goals_plain, G-C, copy_term(f(a, _), C, G), [[]-f(a, _)]).
x(copy_term_goals_unattributed, yes, (freeze(X, true), copy_term(X, Y, _), prolog:'$get_cva'(Y, [], [])), [yes]).
x(copy_term_original_untouched, R, (freeze(X, R = woken), copy_term(X, Y), Y = 1, ( var(R) -> true ; true ), X = 2), [woken]).

t(term_variables, Vs, term_variables(f(X, g(Y, X), Z), Vs)).
t(term_variables_none, Vs, term_variables(f(a), Vs)).
x(term_variables_bad_list, x, term_variables(f(_), [a|b]), error(type_error(list, [a|b]))).
t(term_variables_partial, Vs, term_variables(f(X, Y), [X|Vs])).

t(subsumes, yes, subsumes_term(f(_, b), f(a, b))).
t(subsumes_no, yes, \+ subsumes_term(f(a, b), f(_, b))).
t(subsumes_shared, yes, \+ subsumes_term(f(X, X), f(_, _))).
t(subsumes_same_var, yes, \+ subsumes_term(g(X), g(f(X)))).
t(subsumes_no_binding, X, (subsumes_term(f(X), f(a)))).

t(occurs_check, x, unify_with_occurs_check(X, f(X))).
t(occurs_check_ok, X, unify_with_occurs_check(X, f(a))).
t(acyclic, yes, acyclic_term(f(_, a))).
x(cyclic, x, (X = f(X), acyclic_term(X)), []).

type_of(X, var) :- var(X), !.
type_of(X, T) :- member(T-G, [atom-atom(X), integer-integer(X), float-float(X), number-number(X),
                               atomic-atomic(X), compound-compound(X), callable-callable(X),
                               nonvar-nonvar(X), is_list-is_list(X)]),
                 call(G).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).

numlist(L, H, []) :- L > H, !.
numlist(L, H, [L|T]) :- L1 is L + 1, numlist(L1, H, T).

% numbervars/3: the variables in order, the next number. ('$VAR' terms are
% written as variables by the reference side, so the answers are given.)
x(numbervars, T-E, (T = f(X, Y, X, g(Z)), numbervars(T, 0, E)),
  [f('$VAR'(0), '$VAR'(1), '$VAR'(0), g('$VAR'(2)))-3]).
x(numbervars_start, T-E, (T = [A, B], numbervars(T, 23, E)), [['$VAR'(23), '$VAR'(24)]-25]).
t(numbervars_ground, E, numbervars(f(a), 5, E)).
t(numbervars_unbound_start, x, numbervars(f(_), _, _)).
t(numbervars_bad_start, x, numbervars(f(_), a, _)).
x(numbervars_meta, T, (T = h(_), call(numbervars, T, 0, _)), [h('$VAR'(0))]).
