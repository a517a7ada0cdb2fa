% The blackboard and mutable terms (this system's own: the answers are
% written here).

x(bb_round_trip, X, (bb_put(k1, f(A, [A, 1.5])), bb_get(k1, X)), [f(_1, [_1, 1.5])]).
x(bb_survives_backtracking, X, ((bb_put(k2, one), fail ; true), bb_get(k2, X)), [one]).
x(bb_delete, X-Y, (bb_put(k3, v), bb_delete(k3, X), ( bb_get(k3, _) -> Y = still ; Y = gone )), [v-gone]).
x(bb_update, X, (bb_put(k4, 1), bb_update(k4, 1, 2), bb_get(k4, X)), [2]).
x(bb_update_mismatch, X, (bb_put(k5, 1), ( bb_update(k5, 3, 4) -> true ; true ), bb_get(k5, X)), [1]).
x(bb_get_absent, x, bb_get(never_put, _), []).
x(bb_module, X-Y, (bb_put(k6, user_value), bb_put(prolog:k6, system_value), bb_get(k6, X), bb_get(prolog:k6, Y)), [user_value-system_value]).
x(bb_unbound_key, x, bb_put(_, v), error(instantiation_error)).
x(bb_compound_key, x, bb_put(f(x), v), error(type_error(atomic, f(x)))).

x(mutable, V, (create_mutable(a, M), update_mutable(b, M), get_mutable(V, M)), [b]).
x(mutable_undone, V, (create_mutable(1, M), ( update_mutable(2, M), fail ; get_mutable(V, M) )), [1]).
x(mutable_meta, V, (call(create_mutable, x, M), call(update_mutable, y, M), call(get_mutable, V, M)), [y]).
x(is_mutable, yes, (create_mutable(x, M), is_mutable(M), \+ is_mutable(f(x))), [yes]).
x(create_unbound, x, create_mutable(_, _), error(instantiation_error)).
x(create_meta_unbound, x, call(create_mutable, _, _), error(instantiation_error)).
x(get_not_mutable, x, get_mutable(_, foo), error(type_error(mutable, foo))).
x(get_unbound, x, get_mutable(_, _), error(instantiation_error)).
x(update_unbound_value, x, (create_mutable(1, M), update_mutable(_, M)), error(instantiation_error)).
x(update_not_mutable, x, update_mutable(1, f(x)), error(type_error(mutable, f(x)))).
x(update_built_mutable, yes, (functor(M, '$mutable', 2), \+ is_mutable(M), catch(update_mutable(1, M), error(type_error(mutable, _), _), true)), [yes]).
