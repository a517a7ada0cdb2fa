% The database, module and enumeration built-ins of this system: the
% blackboard, the stored exception, setof roots, first-argument keys,
% references, modules and predicates enumerated on backtracking.
% differential: no items

double(N, N-N).

answer(bb_round_trip, X) :- '$bb_put'(prolog, k1, f(A, [A, 1.5, 100000000000000000000], "s")), '$bb_get'(prolog, k1, X).
answer(bb_replace, X) :- '$bb_put'(prolog, k1, second), '$bb_get'(prolog, k1, X).
answer(bb_update, X-Y) :-
    '$bb_put'(prolog, k2, old), '$bb_update'(prolog, k2, old, new, _), '$bb_get'(prolog, k2, X),
    ( '$bb_update'(prolog, k2, other, z, _) -> Y = changed ; Y = kept ).
answer(bb_delete, X-Y) :- '$bb_delete'(prolog, k1, X), ( '$bb_get'(prolog, k1, _) -> Y = still ; Y = gone ).
answer(bb_survives_backtracking, X) :- ( '$bb_put'(prolog, 7, g(_)), fail ; '$bb_get'(prolog, 7, X) ).
answer(bb_unknown_module, X) :- ( '$bb_put'(no_such_module, k, v) -> X = stored ; X = refused ).
answer(exception, E) :- '$store_exception'(error(type_error(T, 1), T)), '$load_exception'(E).
answer(exception_erased, X) :- '$erase_exception', ( '$load_exception'(_) -> X = still ; X = none ).
answer(setof_root, L) :-
    '$add_setof_root'(R), '$setof_inserta'(R, a, _), '$setof_inserta'(R, f(X, X), _), '$setof_inserta'(R, 2.5, _),
    '$setof_list_instances'(R, L, [end]).
answer(setof_root_gone, X) :- '$add_setof_root'(R), '$setof_list_instances'(R, _, []), ( '$setof_inserta'(R, a, _) -> X = kept ; X = gone ).
answer(atom_known, X) :- ( current_atom(answer) -> X = yes ; X = no ).
answer(atom_not_atom, X) :- ( current_atom(1) -> X = yes ; X = no ).
answer(atom_enumerated, X) :- ( current_atom(A), A == setof_root_gone -> X = found ; X = missing ).
answer(keys, K) :-
    assertz(key(a)), assertz(key(f(x))), assertz(key([1])), assertz(key(100000000000000000000)), assertz(key(_)),
    assertz(key(a)), '$current_clauses'(key(_), T, prolog), '$current_key'(T, K, _, _).
answer(keys_named, K) :- '$current_clauses'(key(_), T, prolog), '$current_key'(T, K, f, _).
answer(keys_first, K) :- '$current_clauses'(key(_), T, prolog), '$current_key'(T, K, _, f(y)).
answer(stale_ref, X-Y-Z) :-
    assertz(r(1), R1), erase(R1), assertz(r(2), R2), erase(R1),
    ( '$purge'(R1) -> X = purged ; X = refused ),
    '$instance_source'(R1, Y, src),
    ( clause(r(A), true, R2) -> Z = A ; Z = none ).
answer(instance_call, X) :- assertz((sq(N, M) :- double(N, M)), R), '$instance_call'(sq(3, X), prolog, R, _, _, _).
answer(retractall_builtin, X) :-
    assertz(ra(1, a)), assertz(ra(2, b)), '$retractall'(ra(_, _), prolog),
    ( '$retractall'(ra(A, A), prolog) -> Y = yes ; Y = no ), ( clause(ra(_, _), _) -> X = Y-left ; X = Y-empty ).
answer(module_declared, L) :- '$module'(mod_a, [p/1, q/0], false, info), '$curmod'(mod_a, L, _).
% Each module is looked for on its own: the table's order is not fixed.
answer(modules, M) :- '$module'(mod_b, [], true, []), '$current_module'(M), M == mod_a.
answer(modules, M) :- '$current_module'(M), M == mod_b.
answer(module_known, X) :- ( '$current_module'(mod_b) -> X = yes ; X = no ).
answer(typein, X-Y) :- '$typein_module'(X, mod_a), '$typein_module'(Y, X).
answer(hiding, X-Y-Z) :- '$module_hiding'(mod_a, X, on), '$module_hiding'(mod_a, Y, off), '$module_hiding'(prolog, Z, on).
answer(predicates, H-T-B-M) :-
    '$define_predicate'(mod_a:p/1, dynamic), '$define_predicate'(mod_a:s/2, dynamic),
    '$predicate_property'(H, T, B, mod_a, M), M == mod_a.
answer(predicate_bound, T-B-M) :- '$predicate_property'(p(_), T, B, mod_a, M).
answer(arities, L-H) :- '$define_predicate'(mod_a:p/3, dynamic), '$predicate_arities'(mod_a, p, L, H).
answer(call_arities, L-H) :- '$predicate_arities'(mod_a, call, L, H).
answer(imported, F) :- '$import_preds'(mod_b, mod_a, [p/1]), '$imported'(mod_b, p(_), F).
answer(imported_clauses, X-Y) :-
    '$define_predicate'(mod_a:dp/1, dynamic), '$import_preds'(mod_b, mod_a, [dp/1]),
    '$current_clauses'(dp(_), T, mod_b), '$insertz'(T, dp(1), _),
    '$current_clauses'(dp(_), TA, mod_a), '$insertz'(TA, dp(2), _),
    mod_b:dp(X), mod_a:dp(Y).
