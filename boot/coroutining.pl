% Attributed variables and coroutining.
%
% Binding an attributed variable wakes it: at its next event check the
% engine unbinds it again and calls '$wake_attributes'(Var, Value) (or, when
% every woken variable is bound to a small integer and has attributes but
% no suspended goals, '$wake_attributes'(Vars, Values) once for all, the
% oldest binding first). For a variable with suspended goals only, the
% binding stands and '$run_woken_goals'(Goals) runs them.
%
% Waking a variable: each attribute module M with an attribute on it is
% asked, if it defines M:verify_attributes(Var, Value, Goals), for the
% goals that check the binding, while the variable is still unbound; then
% the variable is made plain and bound, the modules' goals run, and then its
% suspended goals. A module's check may bind the variable itself (the
% constraint solver does), and the waking of one variable may bind another
% that waits for its turn: such a binding must agree with the value.
%
% A suspended goal is a record '$apply'(Goal, Module, Done): the engine's
% '$apply'/3 runs it unless Done is bound, so that a goal suspended on
% several variables runs once. freeze/2, dif/2 and when/2 suspend a goal
% that checks their condition again when it runs, and suspends itself anew
% while the condition is not met.

:- module(prolog, [freeze/2, dif/2, when/2]).

:- meta_predicate freeze(?, 0), when(?, 0).

'$wake_attributes'(Var, Value) :- var(Var), !, '$wake_one'(Var, Value).
'$wake_attributes'(Vars, Values) :- '$wake_all'(Vars, Values).

'$wake_all'([], []).
'$wake_all'([Var|Vars], [Value|Values]) :-
    '$wake_one'(Var, Value),
    '$wake_all'(Vars, Values).

'$wake_one'(Var, Value) :- nonvar(Var), !, Var = Value.
'$wake_one'(Var, Value) :-
    '$get_cva'(Var, Attributes, Goals),
    '$get_attribute_modules'(Attributes, Modules),
    '$verify_goals'(Modules, Var, Value, Checks),
    (   var(Var) -> '$put_cva'(Var, [], []) ; true ),
    Var = Value,
    '$run_checks'(Checks),
    '$run_woken_goals'(Goals).

'$verify_goals'([], _, _, []).
'$verify_goals'([M|Ms], Var, Value, Checks) :-
    (   '$predicate_property'(verify_attributes(_, _, _), _, _, M, M)
    ->  M:verify_attributes(Var, Value, Goals),
        Checks = [M-Goals|Checks1]
    ;   Checks = Checks1
    ),
    '$verify_goals'(Ms, Var, Value, Checks1).

'$run_checks'([]).
'$run_checks'([M-Goals|Checks]) :-
    '$run_goal_list'(Goals, M),
    '$run_checks'(Checks).

'$run_goal_list'([], _) :- !.
'$run_goal_list'([G|Gs], M) :- !, '$call_module'(G, M), '$run_goal_list'(Gs, M).
'$run_goal_list'(G, M) :- '$call_module'(G, M).

% The goal list holds the newest record first; the oldest runs first.
'$run_woken_goals'([]).
'$run_woken_goals'([Record|Records]) :-
    '$run_woken_goals'(Records),
    '$run_woken_goal'(Record).

'$run_woken_goal'('$apply'(Goal, Module, Done)) :- '$apply'(Goal, Module, Done).

% '$attribute_goals'(Vars, Goals): the goals that stand for the attributes
% of the attributed variables Vars, from each attribute module M that
% defines M:attribute_goals(Var)//0, each goal once; then those of the
% attributed variables these goals name, in turn. The variables reached so
% far are the prefix of the next search's list, so each is asked once.
'$attribute_goals'(Vars, Goals) :-
    '$attribute_goals_of'(Vars, Gs, Gs1),
    '$term_attributed_variables_dfs'(Vars-Gs, All),
    '$attribute_closure'(Vars, All, Gs1),
    '$distinct_goals'(Gs, Goals).

% The goals of the variables in All past Known, then of those they name.
'$attribute_closure'(Known, All, Gs0) :-
    length(Known, K),
    '$list_drop'(K, All, New),
    (   New == []
    ->  Gs0 = []
    ;   '$attribute_goals_of'(New, Gs0, Gs1),
        '$term_attributed_variables_dfs'(All-Gs0, All1),
        '$attribute_closure'(All, All1, Gs1)
    ).

'$list_drop'(0, L, L) :- !.
'$list_drop'(N, [_|L0], L) :- N1 is N - 1, '$list_drop'(N1, L0, L).

'$attribute_goals_of'([], Gs, Gs).
'$attribute_goals_of'([V|Vs], Gs0, Gs) :-
    (   var(V)
    ->  '$get_cva'(V, Attributes, _),
        '$get_attribute_modules'(Attributes, Modules),
        '$module_attribute_goals'(Modules, V, Gs0, Gs1)
    ;   Gs0 = Gs1
    ),
    '$attribute_goals_of'(Vs, Gs1, Gs).

% The goals without repeats (goals identical by ==), in their first places:
% sorted by the goals, each run of equal ones kept once, then back in order.
'$distinct_goals'(Gs, Distinct) :-
    '$number_goals'(Gs, 0, Keyed),
    keysort(Keyed, ByGoal),
    '$first_of_runs'(ByGoal, Kept),
    keysort(Kept, ByPlace),
    '$pair_values'(ByPlace, Distinct).

'$number_goals'([], _, []).
'$number_goals'([G|Gs], I, [G-I|Ks]) :- I1 is I + 1, '$number_goals'(Gs, I1, Ks).

'$first_of_runs'([], []).
'$first_of_runs'([G-I|Ks], [I-G|Kept]) :-
    '$skip_equal'(Ks, G, Rest),
    '$first_of_runs'(Rest, Kept).

'$skip_equal'([H-_|Ks], G, Rest) :- H == G, !, '$skip_equal'(Ks, G, Rest).
'$skip_equal'(Ks, _, Ks).

'$pair_values'([], []).
'$pair_values'([_-V|Ps], [V|Vs]) :- '$pair_values'(Ps, Vs).

'$module_attribute_goals'([], _, Gs, Gs).
'$module_attribute_goals'([M|Ms], V, Gs0, Gs) :-
    (   '$predicate_property'(attribute_goals(_, _, _), _, _, M, M)
    ->  M:attribute_goals(V, Gs0, Gs1)
    ;   Gs1 = Gs0
    ),
    '$module_attribute_goals'(Ms, V, Gs1, Gs).


% freeze(X, Goal): Goal runs once X is bound to a non-variable.
freeze(X, Goal) :-
    (   var(X) -> '$disjunctive_geler'([X], prolog:'$frozen'(X, Goal)) ; call(Goal) ).

'$frozen'(X, Goal) :- freeze(X, Goal).

% dif(X, Y): X and Y are never to become identical. While unification
% could still make them so, the check waits on the variables of their most
% general unifier.
dif(X, Y) :-
    X \== Y,
    (   '$mgu_variables'(X, Y, Bindings)
    ->  term_variables(Bindings, Vars),
        '$disjunctive_geler'(Vars, prolog:dif(X, Y))
    ;   true
    ).

% when(Condition, Goal): Goal runs once Condition holds. A condition is
% nonvar(X), ground(X), ?=(X, Y) (X and Y identical or not unifiable), or
% a conjunction or disjunction of conditions.
when(Cond, Goal) :-
    '$when_condition'(Cond, prolog:when(Cond, Goal)),
    '$when'(Cond, Goal).

'$when'(Cond, Goal) :-
    (   '$when_holds'(Cond) -> call(Goal)
    ;   '$when_triggers'(Cond, Vars, []),
        '$disjunctive_geler'(Vars, prolog:'$when'(Cond, Goal))
    ).

'$when_condition'(C, Ctx) :- var(C), !, '$instantiation_error'(Ctx, 1).
'$when_condition'(nonvar(_), _) :- !.
'$when_condition'(ground(_), _) :- !.
'$when_condition'(?=(_, _), _) :- !.
'$when_condition'((A, B), Ctx) :- !, '$when_condition'(A, Ctx), '$when_condition'(B, Ctx).
'$when_condition'((A ; B), Ctx) :- !, '$when_condition'(A, Ctx), '$when_condition'(B, Ctx).
'$when_condition'(C, Ctx) :- '$domain_error'(when_condition, C, Ctx, 1).

'$when_holds'(nonvar(X)) :- nonvar(X).
'$when_holds'(ground(X)) :- ground(X).
'$when_holds'(?=(X, Y)) :- ( X == Y -> true ; \+ X = Y ).
'$when_holds'((A, B)) :- '$when_holds'(A), '$when_holds'(B).
'$when_holds'((A ; B)) :- ( '$when_holds'(A) -> true ; '$when_holds'(B) ).

% The variables whose binding may make the condition hold.
'$when_triggers'(nonvar(X), [X|Vs], Vs).
'$when_triggers'(ground(X), Vs0, Vs) :- term_variables(X, Xs), '$append_vars'(Xs, Vs0, Vs).
'$when_triggers'(?=(X, Y), Vs0, Vs) :-
    (   '$mgu_variables'(X, Y, Bindings) -> term_variables(Bindings, Xs) ; Xs = [] ),
    '$append_vars'(Xs, Vs0, Vs).
'$when_triggers'((A, B), Vs0, Vs) :-
    (   '$when_holds'(A) -> '$when_triggers'(B, Vs0, Vs) ; '$when_triggers'(A, Vs0, Vs) ).
'$when_triggers'((A ; B), Vs0, Vs) :- '$when_triggers'(A, Vs0, Vs1), '$when_triggers'(B, Vs1, Vs).

'$append_vars'([], Vs, Vs).
'$append_vars'([X|Xs], [X|Vs0], Vs) :- '$append_vars'(Xs, Vs0, Vs).
