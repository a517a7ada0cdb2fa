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
% A clause no call can see is freed at once: its reference index is the next
% one handed out. One that a running call still sees keeps its index.
answer(freed_at_once, X) :-
    assertz(fa(1), R1), erase(R1), assertz(fa(2), R2),
    arg(1, R1, I1), arg(1, R2, I2), ( I1 == I2 -> X = reused ; X = kept ).
answer(queued_while_seen, X-Y) :-
    assertz(fq(1)), assertz(fq(2), R1), call(fq(X)), X == 1, erase(R1), assertz(fq(3), R2),
    arg(1, R1, I1), arg(1, R2, I2), ( I1 == I2 -> Y = reused ; Y = kept ).
% $purge of the clause a running call takes next: the call still gets it.
answer(purge_seen, X) :- assertz(pu(1)), assertz(pu(2), R), assertz(pu(3)), call(pu(X)), ( X == 1 -> '$purge'(R) ; true ).
answer(purge_after, X) :- call(pu(X)).
% More live references than the table's first 1024 entries: each still names
% its own clause.
refs(N, N, []) :- !.
refs(I, N, [I-R|Rs]) :- assertz(dr(I), R), J is I + 1, refs(J, N, Rs).
check_refs([]).
check_refs([I-R|Rs]) :- '$instance_call'(dr(X), prolog, R, _, _, _), X == I, check_refs(Rs).
max_index([], M, M).
max_index([_-R|Rs], M0, M) :- arg(1, R, I), ( I > M0 -> M1 = I ; M1 = M0 ), max_index(Rs, M1, M).
answer(many_refs, X) :-
    refs(0, 1100, Rs), check_refs(Rs), max_index(Rs, 0, M), ( M >= 1100 -> X = beyond_1024 ; X = M ),
    retractall(dr(_)).
% Generations renumbered when the clock nears its end: the outer call keeps
% seeing two clauses, each inner call every clause asserted before it.
answer(renumbered, X-Y) :-
    assertz(gn(1)), assertz(gn(2)), '$set_clock_remaining'(2),
    call(gn(X)), assertz(gn(x)), call(gn(Y)).
% Modules made while the modules are enumerated: each existing one is
% listed once.
new_modules(mod_a, [nm01, nm02, nm03, nm04, nm05, nm06, nm07, nm08, nm09, nm10, nm11, nm12, nm13, nm14, nm15,
                    nm16, nm17, nm18, nm19, nm20, nm21, nm22, nm23, nm24, nm25, nm26, nm27, nm28, nm29, nm30]).
new_modules(mod_b, [nm31, nm32, nm33, nm34, nm35, nm36, nm37, nm38, nm39, nm40, nm41, nm42, nm43, nm44, nm45,
                    nm46, nm47, nm48, nm49, nm50, nm51, nm52, nm53, nm54, nm55, nm56, nm57, nm58, nm59, nm60]).
make_module :-
    '$bb_get'(prolog, pending, L),
    ( L = [N|T] -> '$module'(N, [], false, []), '$bb_put'(prolog, pending, T) ; true ).
answer(modules_growing, M) :-
    ( W = mod_a ; W = mod_b ), new_modules(W, L), '$bb_put'(prolog, pending, L),
    '$current_module'(M), make_module, M == W.
