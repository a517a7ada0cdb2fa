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
