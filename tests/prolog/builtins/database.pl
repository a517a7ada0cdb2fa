% The dynamic database: assert, retract on the logical update view,
% retractall, abolish, clause, dynamic, current_predicate,
% predicate_property.

:- dynamic fact/1, counter/1, log/1.

t(assertz_order, L, (assertz(a1(1)), assertz(a1(2)), asserta(a1(0)), findall(X, a1(X), L))).
t(assert_rule, X, (assertz((r1(X0) :- X0 is 2 + 3)), r1(X))).
t(assert_body_variable, B, (assertz((r2(G) :- G)), clause(r2(_), B))).
t(assert_body_variable_runs, yes, (assertz((r3(G) :- G)), r3(true))).
t(assert_cut_in_body, L, (assertz((r4(X) :- member(X, [1, 2, 3]), !)), findall(X, r4(X), L))).
t(assert_unbound, x, assertz(_)).
t(assert_unbound_head, x, assertz((_ :- true))).
t(assert_number_head, x, assertz(1)).
t(assert_number_body, x, assertz((foo :- 4))).
t(assert_bad_body, x, assertz((foo :- (a, 4)))).
t(assert_static, x, assertz(atom(x))).
t(assert_control, x, assertz((a, b))).
t(assert_own_static, x, assertz(static_one(2))).

% The logical update view: a call sees the clauses of when it started.
t(luv_assert_during_call, L, (assertz(l1(1)), assertz(l1(2)), findall(X, (l1(X), assertz(l1(3))), L))).
t(luv_retract_during_call, L, (assertz(l2(1)), assertz(l2(2)), assertz(l2(3)), findall(X, (l2(X), retract(l2(3))), L))).
t(retract_nondeterministic, L, (assertz(l3(1)), assertz(l3(2)), findall(X, retract(l3(X)), L), findall(Y, l3(Y), [])) ).
t(retract_body, B, (assertz((l4 :- a, b)), retract((l4 :- B)))).
t(retract_fact_only, x, (assertz((l5 :- true, a)), retract(l5))).
t(retract_undefined, x, retract(undefined_dynamic(_))).
t(retract_static, x, retract(atom(_))).
t(retract_unbound, x, retract(_)).
t(retract_logical_during_retract, L, (assertz(l6(1)), assertz(l6(2)), findall(X, (retract(l6(X)), assertz(l6(9))), L))).

t(retractall, L, (assertz(ra(1, a)), assertz(ra(2, b)), assertz(ra(1, c)), retractall(ra(1, _)), findall(X-Y, ra(X, Y), L))).
t(retractall_all, L, (assertz(rb(1)), assertz(rb(2)), retractall(rb(_)), findall(X, rb(X), L))).
t(retractall_creates, L, (retractall(rc(_)), findall(X, rc(X), L))).
t(retractall_static, x, retractall(atom(_))).
t(retractall_unbound, x, retractall(_)).

t(abolish, x, (assertz(ab(1)), abolish(ab/1), ab(_))).
t(abolish_undefined, yes, abolish(never_defined/3)).
t(abolish_static, x, abolish(atom/1)).
t(abolish_not_indicator, x, abolish(foo)).
t(abolish_unbound, x, abolish(_)).
t(abolish_unbound_name, x, abolish(_/1)).
t(abolish_not_atom, x, abolish(1/1)).
t(abolish_not_integer, x, abolish(foo/a)).
t(abolish_negative, x, abolish(foo/(-1))).
x(abolish_max_arity, x, abolish(foo/256), error(representation_error(max_arity))).
% abolish/1 under a running call of the predicate: the call goes on over the
% clauses it started with, on either walk (all clauses, a key's chain).
t(abolish_during_call, L, (abolish(ad/1), forall(between(1, 5, I), assertz(ad(I))),
                           findall(X, (ad(X), (X == 2 -> abolish(ad/1) ; true)), L))).
t(abolish_during_call_reassert, L-M, (abolish(ae/1), forall(between(1, 5, I), assertz(ae(I))),
                                      findall(X, (ae(X), (X == 2 -> abolish(ae/1), assertz(ae(7)) ; true)), L),
                                      findall(Y, ae(Y), M))).
t(abolish_during_key_walk, L, (abolish(af/2), forall(between(1, 4, I), assertz(af(k, I))), assertz(af(j, 0)),
                               findall(X, (af(k, X), (X == 1 -> abolish(af/2) ; true)), L))).

t(clause, L, (assertz(cl(1)), assertz((cl(X) :- X > 1)), findall(H-B, clause(cl(H), B), L))).
t(clause_undefined, x, clause(no_clauses_here(_), _)).
t(clause_static, x, clause(atom(_), _)).
t(clause_unbound, x, clause(_, _)).
t(clause_number, x, clause(1, _)).
x(clause_bad_body, x, clause(cl(_), 1), error(type_error(callable, 1))).
t(clause_control, x, clause((a, b), _)).

t(dynamic_declared, L, (dynamic(dy/1), findall(X, dy(X), L))).
t(dynamic_list, L, (dynamic([dz/1, (dw/0, dv/2)]), findall(P, (member(P, [dz(_), dw, dv(_, _)]), \+ call(P)), L))).
t(dynamic_static, x, dynamic(atom/1)).
x(dynamic_unbound, x, dynamic(_), error(instantiation_error)).
t(dynamic_facts_loaded, L, findall(X, fact(X), L)).

t(current_predicate, yes, current_predicate(static_one/1)).
t(current_predicate_dynamic, yes, (assertz(cp(1)), current_predicate(cp/1))).
x(current_predicate_builtin, x, current_predicate(atom/1), []).
t(current_predicate_undefined, x, current_predicate(no_such_pred/7)).
t(current_predicate_enumerate, yes, (current_predicate(static_one/A), A == 1)).
t(current_predicate_name, A, (current_predicate(static_one/A))).
t(current_predicate_bad, x, current_predicate(foo)).
t(current_predicate_bad_name, x, current_predicate(1/2)).

x(property_dynamic, yes, (assertz(pp(1)), predicate_property(pp(_), dynamic)), [yes]).
x(property_static, yes, predicate_property(static_one(_), static), [yes]).
x(property_builtin, yes, predicate_property(atom(_), built_in), [yes]).
x(property_not_builtin, yes, \+ predicate_property(static_one(_), built_in), [yes]).
x(property_undefined, yes, \+ predicate_property(not_there(_), _), [yes]).
x(property_meta, S, predicate_property(findall(_, _, _), meta_predicate(S)), [findall(?, 0, ?)]).

t(erase_unbound, x, erase(_)).
t(erase_not_ref, x, erase(foo)).
x(erase_stale_ref, yes, (assertz(er3(1), R), erase(R), erase(R)), [yes]).
% Clauses retracted through their own key under a dynamic choicepoint are
% reclaimed as they pile up: the database's collector runs.
x(erased_clauses_reclaimed, yes,
  (statistics(dead_clause_collection, [N0|_]), assertz(rq(1)), assertz(rq(2)), \+ \+ rq(_),
   \+ ( between(1, 2000, I), assertz(seen(I)), once(rq(_)), retract(seen(I)), fail ),
   statistics(dead_clause_collection, [N|_]), N > N0), [yes]).
x(erase_ref, L, (assertz(er(1), R), assertz(er(2)), erase(R), findall(X, er(X), L)), [[2]]).
x(clause_ref, X, (assertz(er2(a), R), clause(er2(X), true, R)), [a]).

static_one(1).
fact(1).
fact(2).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).

% assert/1 adds at the end, as assertz/1.
t(assert_is_assertz, L, (assertz(a9(1)), assert(a9(2)), asserta(a9(0)), findall(X, a9(X), L))).
t(assert_meta, L, (call(assert, a10(x)), findall(X, a10(X), L))).
t(assert_unbound_1, x, assert(_)).
t(assert_not_callable, x, assert(3)).
