% Control: call/N, the control constructs in a meta-called goal, cut in
% every position, once/1, ignore/1, forall/2, \+/1, repeat/0, halt/1.

t(call_conjunction, X-Y, call((X = 1, Y = 2))).
t(call_disjunction, X, call((X = 1 ; X = 2))).
t(call_if_then_else, X, call((fail -> X = 1 ; X = 2))).
t(call_if_then, X, call((true -> X = 1))).
t(call_if_then_fails, X, call((fail -> X = 1))).
t(call_negation, yes, call(\+ fail)).
t(call_extra_arguments, X, call(=, X, 3)).
t(call_closure_with_arguments, L, call(append([1]), [2], L)).
t(call_n_of_a_compound, X, call(p(1), X)).
t(call_unbound, X, call(_)).
t(call_number, X, call(1)).
t(call_bad_conjunction, X, call((fail, 1))).
t(call_bad_conjunction_runs_nothing, X, call((X = 1, 1))).
t(call_bad_disjunction, X, call((X = 1 ; 2))).
t(call_unbound_in_body, X, call((X = 1, _))).
t(call_variable_bound_at_run_time, X, (G = (X = 1), call((true, G)))).
t(undefined_procedure, X, undefined_here(X)).
t(undefined_procedure_meta, X, call(undefined_here(X))).
x(call_arity_overflow, x, (functor(T, f, 255), call(T, extra)), error(representation_error(max_arity))).
t(call_qualified, X, call(user:p(1), X)).
t(call_qualified_control, X, call(user:(X = 1 ; X = 2))).

% Cut: local to call/1; through a meta-called conjunction or disjunction
% to the whole call; in the condition of if-then-else local to it.
t(cut_local_to_call, X, ( call((member(X, [1, 2, 3]), !)) ; X = 4 )).
t(cut_in_call_disjunction, X, call((member(X, [1, 2, 3]), ! ; X = 4))).
t(cut_in_call_second_disjunct, X, call((fail ; member(X, [1, 2]), !) ; X = 3)).
t(cut_bound_before_the_call, X, ( G = !, call((member(X, [1, 2]), G)) )).
t(cut_bound_in_the_call_is_local, X, call((G = !, member(X, [1, 2]), G))).
t(cut_in_condition_is_local, X, call(((member(X, [1, 2, 3]), !) -> true ; true))).
t(cut_in_then_branch, X, call((true -> member(X, [1, 2]), ! ; true))).
t(cut_in_negation, yes, \+ (!, fail)).
t(cut_in_once, X, once((member(X, [1, 2]) ; X = 3))).
t(cut_in_clause_body, X, cut_clause(X)).
t(cut_in_findall_goal, L, findall(X, (member(X, [1, 2, 3]), !), L)).

t(once, X, once(member(X, [a, b]))).
t(once_fails, x, once(fail)).
t(ignore_true, X, ignore(X = 1)).
t(ignore_fail, x, ignore(fail)).
t(forall_true, yes, forall(member(X, [1, 2]), X > 0)).
t(forall_false, yes, forall(member(X, [1, -2]), X > 0)).
t(not_provable, yes, \+ member(c, [a, b])).
t(not_provable_fails, yes, \+ member(a, [a, b])).
t(not_provable_unbound, x, \+ _).
t(repeat_cut, N, ( repeat, count(N), N >= 3, ! )).
t(true_fail, X, ( true, X = 1 ; fail ; false ; X = 2 )).

t(halt_unbound, x, halt(_)).
t(halt_not_integer, x, halt(a)).
r(halt, catch(halt(5), _, true), '$reserved'(1284)).
r(halt_zero, halt, '$reserved'(4)).
r(halt_negative, halt(-1), '$reserved'(-252)).
r(abort, catch(catch(abort, _, true), _, true), '$reserved'(3)).
r(halt_runs_cleanups, setup_call_cleanup(true, halt(1), bb_put(cleaned, yes)), '$reserved'(260)).

p(X, Y) :- Y is X + 1.

cut_clause(X) :- member(X, [1, 2, 3]), X > 1, !.
cut_clause(9).

:- dynamic counter/1.
count(N) :- ( retract(counter(N0)) -> true ; N0 = 0 ), N is N0 + 1, assertz(counter(N)).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).

append([], L, L).
append([X|Xs], L, [X|Ys]) :- append(Xs, L, Ys).

% The soft cut: every answer of the condition with the then branch, the
% else branch only when the condition has none; a cut in a branch cuts the
% clause. Compiled (soft/2, soft_cut/1, soft_then/2) and meta-called.
soft(Xs, Y) :- ( member(X, Xs) *-> Y = X ; Y = none ).
soft_then(Xs, Y) :- ( member(Y, Xs) *-> true ).
soft_cut(Y) :- ( member(Y, [1, 2, 3]) *-> ! ; true ).
soft_else_cut(Y) :- ( fail *-> true ; member(Y, [a, b]), ! ).
soft_inside(L) :- findall(X-Y, ( member(X, [1, 2]), ( X > 1 *-> Y = big ; Y = small ) ), L).

t(soft_cut_answers, Y, soft([a, b, c], Y)).
t(soft_cut_else, Y, soft([], Y)).
t(soft_cut_no_else, Y, soft_then([a, b], Y)).
t(soft_cut_no_else_fails, Y, soft_then([], Y)).
t(soft_cut_cut_in_then, Y, soft_cut(Y)).
t(soft_cut_cut_in_else, Y, soft_else_cut(Y)).
t(soft_cut_in_conjunction, L, soft_inside(L)).
t(soft_cut_meta, Y, call(( member(X, [1, 2]) *-> Y = X ; Y = none ))).
t(soft_cut_meta_else, Y, call(( fail *-> Y = 1 ; Y = 2 ))).
t(soft_cut_meta_then_choices, X-Y, call(( member(X, [1, 2]) *-> member(Y, [a, b]) ; Y = none ))).
t(soft_cut_meta_no_else, Y, call(( member(Y, [a, b]) *-> true ))).
t(soft_cut_condition_cut_local, X, call(( ( member(X, [1, 2, 3]), ! ) *-> true ; X = 0 ))).
