% All solutions: findall/3,4, bagof/3, setof/3.
%
% Solutions are collected as stored copies under a root of the engine
% ($add_setof_root, $setof_inserta, $setof_list_instances), so a copy
% holds no attributes: an attributed variable is copied as a plain one.
%
% bagof/3 and setof/3 group the solutions by their free variables (the
% variables of the goal that are neither in the template nor bound by ^):
% the pairs Witness-Template are sorted by witness, each group holds the
% solutions whose witness is a variant of its first one, in the order they
% were found, and the witnesses of a group are unified.

:- module(prolog, [findall/3, findall/4, bagof/3, setof/3, (^)/2]).

:- meta_predicate findall(?, 0, ?), findall(?, 0, ?, ?), bagof(?, 0, ?), setof(?, 0, ?).

findall(Template, Goal, List) :-
    '$must_be_partial_list'(List, prolog:findall(Template, Goal, List), 3),
    '$findall'(Template, Goal, Found, []),
    List = Found.

findall(Template, Goal, List, Tail) :-
    '$must_be_partial_list'(List, prolog:findall(Template, Goal, List, Tail), 3),
    '$findall'(Template, Goal, Found, Tail),
    List = Found.

'$findall'(Template, Goal, List, Tail) :-
    '$add_setof_root'(Root),
    (   call(Goal),
        '$setof_inserta'(Root, Template, _),
        fail
    ;   '$setof_list_instances'(Root, List, Tail)
    ).

_ ^ Goal :- call(Goal).

bagof(Template, Goal, List) :-
    Ctx = prolog:bagof(Template, Goal, List),
    '$must_be_partial_list'(List, Ctx, 3),
    '$bagof'(Template, Goal, List, Ctx).

setof(Template, Goal, List) :-
    Ctx = prolog:setof(Template, Goal, List),
    '$must_be_partial_list'(List, Ctx, 3),
    '$bagof'(Template, Goal, Found, Ctx),
    '$sort'(Found, Sorted),
    List = Sorted.

'$bagof'(Template, Goal0, List, Ctx) :-
    '$strip_module'(Goal0, M, Goal1),
    '$existential'(Goal1, Bound, Goal),
    '$must_be_callable'(Goal, Ctx, 2),
    term_variables(Template-Bound, BoundVars),
    term_variables(Goal, GoalVars),
    '$var_subtract'(GoalVars, BoundVars, Free),
    (   Free == []
    ->  '$findall'(Template, M:Goal, Found, []),
        Found \== [],
        List = Found
    ;   Witness =.. ['$w'|Free],
        '$findall'(Witness-Template, M:Goal, Pairs, []),
        Pairs \== [],
        '$number_pairs'(Pairs, 1, Numbered),
        '$keysort'(Numbered, Sorted),
        '$bagof_group'(Sorted, Witness, List)
    ).

% W-(I-T): the solutions numbered, so that each group can be put back in
% the order of its solutions.
'$number_pairs'([], _, []).
'$number_pairs'([W-T|Ps], I, [W-(I-T)|Ns]) :-
    I1 is I + 1,
    '$number_pairs'(Ps, I1, Ns).

% V^Goal: the variables of V are bound in Goal.
'$existential'(G, [], G) :- var(G), !.
'$existential'(V^G0, [V|Vs], G) :- !, '$existential'(G0, Vs, G).
'$existential'(G, [], G).

'$var_subtract'([], _, []).
'$var_subtract'([V|Vs], Ws, Free) :-
    (   '$var_member'(V, Ws) -> Free = Free1 ; Free = [V|Free1] ),
    '$var_subtract'(Vs, Ws, Free1).

'$var_member'(V, [W|Ws]) :- ( V == W -> true ; '$var_member'(V, Ws) ).

% The groups one by one: the first witness's group, then the rest.
'$bagof_group'([W1-T1|Pairs], Witness, List) :-
    '$variant_pairs'(Pairs, W1, Ts, Ws, Rest),
    '$keysort'([T1|Ts], Ordered),
    '$strip_numbers'(Ordered, Group),
    (   Rest == []
    ->  '$unify_witnesses'([W1|Ws], Witness), List = Group
    ;   (   '$unify_witnesses'([W1|Ws], Witness), List = Group
        ;   '$bagof_group'(Rest, Witness, List)
        )
    ).

'$strip_numbers'([], []).
'$strip_numbers'([_-T|Ps], [T|Ts]) :- '$strip_numbers'(Ps, Ts).

'$variant_pairs'([], _, [], [], []).
'$variant_pairs'([W-T|Pairs], W1, Ts, Ws, Rest) :-
    (   '$variant'(W, W1)
    ->  Ts = [T|Ts1], Ws = [W|Ws1], Rest = Rest1
    ;   Ts = Ts1, Ws = Ws1, Rest = [W-T|Rest1]
    ),
    '$variant_pairs'(Pairs, W1, Ts1, Ws1, Rest1).

'$unify_witnesses'([], _).
'$unify_witnesses'([W|Ws], W) :- '$unify_witnesses'(Ws, W).

% Two terms that share no variables and are the same up to the names of
% their variables.
'$variant'(A, B) :- '$subsumes_chk'(A, B), '$subsumes_chk'(B, A).
