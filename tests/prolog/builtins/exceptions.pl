% catch/3 and throw/1, call_cleanup/2 and setup_call_cleanup/3.

t(catch_ball, X, catch(throw(foo), X, true)).
t(catch_unifies_copy, X-Y, catch(throw(f(Y)), f(X), true)).
t(catch_no_match_passes, X, catch(catch(throw(a), b, X = inner), a, X = outer)).
t(catch_goal_fails, x, catch(fail, _, true)).
t(catch_goal_solutions, X, catch(member(X, [1, 2, 3]), _, true)).
t(catch_inner_first, X, catch(catch(throw(e), e, X = inner), e, X = outer)).
t(catch_recovery_throws, X, catch(catch(throw(a), a, throw(b)), X, true)).
t(catch_in_recovery_only_after, X, catch((member(X, [1, 2]), X > 1, throw(found(X))), found(X), true)).
t(catch_not_active_after_exit, X, catch((catch(member(Y, [1, 2]), _, X = caught), Y > 1, throw(out)), out, X = outside)).
t(catch_active_on_redo, X, catch((catch(member(Y, [1, 2]), E, X = caught(E)), Y > 1, (Y =:= 2 -> true ; throw(y)), X = ok), _, X = outer)).
t(catch_bindings_undone, X-Y, catch((Y = bound, throw(x)), x, X = caught)).
t(throw_unbound, x, throw(_)).
t(catch_unbound_goal, x, catch(_, _, true)).
t(catch_error_term, E, catch(atom_length(1, 2, 3), error(E, _), true)).
t(catch_cut_local, X, ( catch(!, _, true), X = 1 ; X = 2 )).
t(catch_cut_in_goal, X, catch((member(X, [1, 2, 3]), !), _, true)).
t(catch_cut_after, X, ( catch(member(X, [1, 2, 3]), _, true), ! )).
t(catch_cut_after_then_throw, X, catch((catch(member(Y, [1, 2, 3]), _, X = inner), !, Y > 0, throw(z)), z, X = outer)).
t(catch_in_findall, L, findall(X, catch((member(X, [1, 2, 3]), X > 1, throw(t)), t, true), L)).
t(nested_ball_order, L, findall(B, (member(X, [a, b]), catch(throw(X), B, true)), L)).
t(deep_throw, X, catch(deep(1000), X, true)).
% A goal that exits without choicepoints leaves none of catch/3's either.
x(catch_det_exit_leaves_no_choicepoint, R, (prolog:'$nth_choicepoint'(0, A), catch(_ = 1, _, true), prolog:'$nth_choicepoint'(0, B), (A == B -> R = det ; R = nondet)), [det]).
x(catch_nondet_exit_keeps_frame, R, (prolog:'$nth_choicepoint'(0, A), catch(member(_, [1, 2]), _, true), prolog:'$nth_choicepoint'(0, B), (A == B -> R = det ; R = nondet), !), [nondet]).
t(catch_and_undefined, X, catch(no_such_thing, error(existence_error(procedure, X), _), true)).

% call_cleanup/2: the cleanup runs once when the goal is done: exit without
% choicepoints, failure, exception, or a cut of its choicepoints.
x(cleanup_det_exit, L, (call_cleanup(true, log(a)), logged(L)), [[a]]).
x(cleanup_fail, L, ((call_cleanup(fail, log(a)) ; true), logged(L)), [[a]]).
x(cleanup_exception, L, (catch(call_cleanup(throw(e), log(a)), e, true), logged(L)), [[a]]).
x(cleanup_cut, L, ((call_cleanup(member(_, [1, 2]), log(a)), !), logged(L)), [[a]]).
x(cleanup_nondet_later, L-X, (call_cleanup((X = 1 ; X = 2), log(a)), logged(L)), [[]-1, [a]-2]).
x(cleanup_nested, L, (call_cleanup(call_cleanup(true, log(inner)), log(outer)), logged(L)), [[inner, outer]]).
x(cleanup_error_ignored, L, (call_cleanup(true, (log(a), throw(oops))), log(b), logged(L)), [[a, b]]).
x(cleanup_failure_ignored, L, (call_cleanup(true, fail), log(b), logged(L)), [[b]]).
x(cleanup_exception_passes, B-L, (catch(call_cleanup(throw(e1), (log(c), catch(throw(e2), _, true))), B, true), logged(L)), [e1-[c]]).
x(cleanup_in_findall, L-F, (findall(X, call_cleanup(member(X, [1, 2]), log(done)), F), logged(L)), [[done]-[1, 2]]).
x(cleanup_bindings, X, (call_cleanup(X = 1, true)), [1]).
x(cleanup_unbound, x, call_cleanup(true, _), error(instantiation_error)).
x(setup_once, L, (setup_call_cleanup(member(S, [1, 2]), log(S), log(c(S))), logged(L)), [[1, c(1)]]).
x(setup_fails, L, ((setup_call_cleanup(fail, log(g), log(c)) ; true), logged(L)), [[]]).
x(setup_goal_fails, L, ((setup_call_cleanup(true, fail, log(c)) ; true), logged(L)), [[c]]).

deep(0) :- !, throw(bottom).
deep(N) :- N1 is N - 1, deep(N1), true.

% A log kept on the blackboard, read once and emptied.
log(X) :- ( bb_get(log, L) -> true ; L = [] ), append(L, [X], L1), bb_put(log, L1).
logged(L) :- ( bb_get(log, L0) -> L = L0 ; L = [] ), bb_put(log, []).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).

append([], L, L).
append([X|Xs], L, [X|Ys]) :- append(Xs, L, Ys).
