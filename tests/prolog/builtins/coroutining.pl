% Coroutining: freeze/2, dif/2, when/2.

t(freeze_later, R, (freeze(X, R = woken(X)), X = 1)).
t(freeze_bound, R, freeze(1, R = now)).
t(freeze_not_woken, R, (freeze(_, R = woken), ( var(R) -> R = waiting ; true ))).
t(freeze_order, L, (freeze(X, log(L, 1)), freeze(X, log(L, 2)), X = a)).
t(freeze_var_to_var, R, (freeze(X, R = woken), X = Y, ( var(R) -> R = still ; true ), Y = 1)).
t(freeze_var_to_var_waits, R, (freeze(X, R = woken), X = _, ( var(R) -> R = still ; true ))).
t(freeze_undone, R, (freeze(X, R = woken), ( X = 1, fail ; var(R) -> R = undone ; R = kept ))).
t(freeze_fail_goal, x, (freeze(X, fail), X = 1)).
t(freeze_in_head, R, (freeze(X, R = woken(X)), head(X))).
t(freeze_two, L, (freeze(X, L = [x|T]), freeze(Y, T = [y]), f(X, Y) = f(1, 2))).

t(dif_different, yes, dif(a, b)).
t(dif_same, x, dif(a, a)).
t(dif_later_fails, x, (dif(X, a), X = a)).
t(dif_later_succeeds, X, (dif(X, a), X = b)).
t(dif_compound, x, (dif(f(X, Y), f(a, b)), X = a, Y = b)).
t(dif_compound_ok, X-Y, (dif(f(X, Y), f(a, b)), X = a, Y = c)).
t(dif_vars, x, (dif(X, Y), X = Y)).
t(dif_vars_bound, x, (dif(X, Y), X = 1, Y = 1)).
t(dif_member, L, findall(X, (dif(X, b), member(X, [a, b, c])), L)).

t(when_nonvar, R, (when(nonvar(X), R = woken), X = 1)).
t(when_ground, L, (when(ground(f(X, Y)), L = done), X = 1, ( var(L) -> L = [waiting|T] ; T = [] ), Y = 2, ( var(T) -> T = [] ; true ))).
t(when_or, R, (when((nonvar(X) ; nonvar(Y)), R = woken), Y = 1, ( var(X) -> true ; true ))).
t(when_and, L, (when((nonvar(X), nonvar(Y)), L = done), X = 1, ( var(L) -> L = [waiting|_] ; true ), Y = 2)).
t(when_unifiable, R, (when(?=(X, a), R = decided), X = b)).
t(when_now, R, when(nonvar(a), R = now)).
t(when_unbound, x, when(_, true)).
t(when_bad_condition, x, when(foo, true)).

head(a).
head(b).

log(L, X) :- ( var(L) -> L = [X|_] ; L = [_|T], log(T, X) ).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).

% The goals woken by a binding run before the next goal, an inline one
% (fail, =/2, arithmetic, comparison, type test, built-in) included, even
% when that goal fails: each case binds X to 1 with a goal suspended on it,
% then runs the next goal; the alternative binds X to 2. A goal that binds
% and fails in one unification wakes nothing.
t(wake_eq_fail, L, woken_by(eq_fail, L)).
t(wake_head_fail, L, woken_by(head_fail, L)).
t(wake_head_then_unify, L, woken_by(head_then_unify, L)).
t(wake_eq_unify, L, woken_by(eq_unify, L)).
t(wake_eq_unify_compound, L, woken_by(eq_unify_compound, L)).
t(wake_eq_arith_compare, L, woken_by(eq_arith_compare, L)).
t(wake_eq_arith_equal, L, woken_by(eq_arith_equal, L)).
t(wake_eq_is, L, woken_by(eq_is, L)).
t(wake_eq_term_equal, L, woken_by(eq_term_equal, L)).
t(wake_eq_term_order, L, woken_by(eq_term_order, L)).
t(wake_eq_type_test, L, woken_by(eq_type_test, L)).
t(wake_eq_functor, L, woken_by(eq_functor, L)).
t(wake_eq_compare, L, woken_by(eq_compare, L)).
t(wake_eq_negation, L, woken_by(eq_negation, L)).
t(wake_is_fail, L, woken_by(is_fail, L)).
t(wake_functor_fail, L, woken_by(functor_fail, L)).
t(wake_eq_cut_fail, L, woken_by(eq_cut_fail, L)).
t(wake_head_fails_itself, L, woken_by(head_fails_itself, L)).
t(wake_eq_fails_itself, L, woken_by(eq_fails_itself, L)).

:- dynamic woke/1.
woken_by(Case, L) :- retractall(woke(_)), ( wc(Case) -> true ; true ), findall(V, woke(V), L).
note(X) :- assertz(woke(X)).
one(1).
one_b(1, b).

wc(eq_fail) :- freeze(X, note(X)), ( X = 1, fail ; X = 2 ).
wc(head_fail) :- freeze(X, note(X)), ( one(X), fail ; X = 2 ).
wc(head_then_unify) :- freeze(X, note(X)), ( one(X), X = 3 ; X = 2 ).
wc(eq_unify) :- freeze(X, note(X)), ( X = 1, X = 3 ; X = 2 ).
wc(eq_unify_compound) :- freeze(X, note(X)), ( X = 1, f(X) = f(3) ; X = 2 ).
wc(eq_arith_compare) :- freeze(X, note(X)), ( X = 1, X > 5 ; X = 2 ).
wc(eq_arith_equal) :- freeze(X, note(X)), ( X = 1, X =:= 3 ; X = 2 ).
wc(eq_is) :- freeze(X, note(X)), ( X = 1, Y is X + 1, Y > 5 ; X = 2 ).
wc(eq_term_equal) :- freeze(X, note(X)), ( X = 1, X == 3 ; X = 2 ).
wc(eq_term_order) :- freeze(X, note(X)), ( X = 1, X @> 3 ; X = 2 ).
wc(eq_type_test) :- freeze(X, note(X)), ( X = 1, atom(X) ; X = 2 ).
wc(eq_functor) :- freeze(X, note(X)), ( X = 1, functor(X, _, 3) ; X = 2 ).
wc(eq_compare) :- freeze(X, note(X)), ( X = 1, compare(>, X, 3) ; X = 2 ).
wc(eq_negation) :- freeze(X, note(X)), ( X = 1, \+ true ; X = 2 ).
wc(is_fail) :- freeze(X, note(X)), ( X is 0 + 1, fail ; X = 2 ).
wc(functor_fail) :- freeze(X, note(X)), ( functor(X, 1, 0), fail ; X = 2 ).
wc(eq_cut_fail) :- freeze(X, note(X)), ( X = 1, !, fail ; X = 2 ).
wc(head_fails_itself) :- freeze(X, note(X)), ( one_b(X, c) ; X = 2 ).
wc(eq_fails_itself) :- freeze(X, note(X)), ( f(X, b) = f(1, c) ; X = 2 ).
