% library(clpfd): search.
%
% labeling(Options, Vars) assigns every variable of Vars a value of its
% domain, on backtracking every assignment that the constraints allow. Each
% variable must have a finite domain. Options, at most one of each kind:
%   variable choice  leftmost (the default), min (smallest lower bound),
%                    max (largest upper bound), ff (smallest domain), ffc
%                    (smallest domain, then most constraints),
%                    anti_first_fail, occurrence (most constraints),
%                    max_regret, impact (most failures), dom_w_deg (the
%                    smallest domain size per failure), or variable(Sel):
%                    call(Sel, Vars, X, Rest) chooses X, Rest is labeled
%                    after it;
%   branching        step (X = V, else X #\= V; the default), enum (each
%                    value in turn), bisect (X #=< M, else X #> M at the
%                    midpoint M), median and middle (step at the median or
%                    at the value nearest the middle);
%   order            up (the default) or down;
%   optimisation     minimize(Expr) or maximize(Expr): branch and bound
%                    finds the best value of Expr, then labeling gives each
%                    assignment with that value.
% The search runs in the plug-in: one call chooses a variable, narrows it,
% leaves the rest of its domain to a choicepoint and propagates, without
% returning here between choices. With variable(Sel), or with the flag
% debug on, each choice is made here instead (the variable by Sel or by the
% plug-in's scores, $fd_delete/3).

label(Vars) :-
    Ctx = label(Vars),
    '$fd_label_vars'(Vars, Ctx, 1),
    '$fd_label_word'(leftmost, step, up, Word),
    '$fd_search'(leftmost, Vars, Word, 0).

indomain(X) :-
    Ctx = indomain(X),
    '$fd_var_or_int'(X, Ctx, 1),
    '$fd_finite'(X, Ctx, 1),
    '$fd_label_word'(leftmost, step, up, Word),
    '$fd_search'(leftmost, [X], Word, 0).

% The options are qualified with the caller's module, in which the
% selection predicate of variable(Sel) is called.
:- meta_predicate labeling(:, ?).

labeling(MOptions, Vars) :-
    (   nonvar(MOptions), MOptions = M:Options -> true ; M = user, Options = MOptions ),
    Ctx = labeling(Options, Vars),
    '$fd_must_be_list'(Options, Ctx, 1),
    '$fd_label_options'(Options, o(V0, B, O, Opt), Ctx),
    (   nonvar(V0), V0 = variable(Sel) -> V = variable(M:Sel) ; V = V0 ),
    '$fd_label_vars'(Vars, Ctx, 2),
    '$fd_default'(V, leftmost),
    '$fd_default'(B, step),
    '$fd_default'(O, up),
    '$fd_default'(Opt, none),
    '$fd_label_word'(V, B, O, Word),
    (   Opt == none -> '$fd_search'(V, Vars, Word, 0)
    ;   '$fd_optimise'(Opt, V, Vars, Word, Ctx)
    ).

'$fd_default'(X, D) :- ( var(X) -> X = D ; true ).

% The variables: a list of variables and integers, each with a finite
% domain.
'$fd_label_vars'(Vars, Ctx, Arg) :-
    '$fd_must_be_vars'(Vars, Ctx, Arg),
    '$fd_all_finite'(Vars, Ctx, Arg).

'$fd_all_finite'([], _, _).
'$fd_all_finite'([X|Xs], Ctx, Arg) :-
    '$fd_finite'(X, Ctx, Arg),
    '$fd_all_finite'(Xs, Ctx, Arg).

'$fd_finite'(X, Ctx, Arg) :-
    (   integer(X) -> true
    ;   '$fd_domain'(X, dom(_, Min, Max, _)), integer(Min), integer(Max) -> true
    ;   '$fd_instantiation'(Ctx, Arg)
    ).

% The options, each kind at most once (repeating the same option is no
% conflict).
'$fd_label_options'([], _, _).
'$fd_label_options'([O|Os], Spec, Ctx) :-
    (   var(O) -> '$fd_instantiation'(Ctx, 1)
    ;   '$fd_label_option'(O, Kind, Value) -> true
    ;   '$fd_domain_error'(labeling_option, O, Ctx, 1)
    ),
    arg(Kind, Spec, Slot),
    (   var(Slot) -> Slot = Value
    ;   Slot == Value -> true
    ;   Ctx = labeling(All, _), '$fd_domain_error'(consistent_labeling_options, All, Ctx, 1)
    ),
    '$fd_label_options'(Os, Spec, Ctx).

'$fd_label_option'(O, 1, O) :- '$fd_choice_bit'(O, _), !.
'$fd_label_option'(variable(Sel), 1, variable(Sel)) :- !, callable(Sel).
'$fd_label_option'(O, 2, O) :- '$fd_branch_bits'(O, _), !.
'$fd_label_option'(up, 3, up).
'$fd_label_option'(down, 3, down).
'$fd_label_option'(minimize(E), 4, minimize(E)).
'$fd_label_option'(maximize(E), 4, maximize(E)).

% The labeling step's option word: the variable choice, the branching and
% the direction.
'$fd_choice_bit'(leftmost, 0).
'$fd_choice_bit'(min, 2).
'$fd_choice_bit'(max, 4).
'$fd_choice_bit'(ff, 8).
'$fd_choice_bit'(ffc, 16).
'$fd_choice_bit'(anti_first_fail, 32).
'$fd_choice_bit'(occurrence, 64).
'$fd_choice_bit'(max_regret, 128).
'$fd_choice_bit'(impact, 256).
'$fd_choice_bit'(dom_w_deg, 512).

'$fd_branch_bits'(step, 0).
'$fd_branch_bits'(enum, 4096).
'$fd_branch_bits'(bisect, 16384).
'$fd_branch_bits'(median, 0).
'$fd_branch_bits'(middle, 524288).

'$fd_label_word'(V, B, O, Word) :-
    (   '$fd_choice_bit'(V, VB) -> true ; VB = 0 ),
    '$fd_branch_bits'(B, BB),
    (   ( B == median ; B == middle ) -> OB = 0
    ;   O == up -> OB = 65536
    ;   OB = 131072
    ),
    Word is VB \/ BB \/ OB.

% Searching in the plug-in, or here.
'$fd_search'(V, Vars, Word, BB) :-
    (   ( V = variable(_) ; '$fd_debug'(on, on, 1) )
    ->  '$fd_label_here'(Vars, V, Word, BB)
    ;   '$fd_label'(Vars, Word, BB)
    ).

% The labeling step $fd_labeling/7 (a built-in of the runtime run by the
% plug-in): X0 the variable, X1 [] for a new step, the variables, a choice
% counter, the option word, the branch-and-bound term, and r(Outcome, Item,
% Rest, Count) for the outcome: -1 failed, 0 done, 1 the engine has work
% of its own to do first, 2 Item is to be run here. Its choicepoints call it
% again with the part of the domain left, and come back to the outcome
% here.
'$fd_label'(Vars, Word, BB) :-
    '$fd_labeling'(_, [], Vars, 0, Word, BB, r(Outcome, Item, Rest, _)),
    '$fd_label_on'(Outcome, Item, Rest, Word, BB).

'$fd_label_on'(0, _, Rest, Word, BB) :-
    (   Rest == [] -> true ; '$fd_label'(Rest, Word, BB) ).
'$fd_label_on'(1, _, Rest, Word, BB) :-
    '$fd_propagate',
    '$fd_label'(Rest, Word, BB).
'$fd_label_on'(2, Item, Rest, Word, BB) :-
    '$fd_run_item'(Item),
    '$fd_propagate',
    '$fd_label'(Rest, Word, BB).

% Each choice made here: the variable by Sel or by the plug-in's score of
% the variable choice, then the branch on its domain.
'$fd_label_here'(Vars, V, Word, BB) :-
    '$fd_first_unbound'(Vars, Vars1),
    (   Vars1 == [] -> true
    ;   '$fd_select'(V, Vars1, X, Rest),
        '$fd_branch'(X, Word, BB),
        '$fd_label_here'(Rest, V, Word, BB)
    ).

'$fd_first_unbound'([], []).
'$fd_first_unbound'([X|Xs], Vs) :-
    (   var(X) -> Vs = [X|Xs] ; '$fd_first_unbound'(Xs, Vs) ).

'$fd_select'(variable(Sel), Vars, X, Rest) :- !,
    call(Sel, Vars, X, Rest).
'$fd_select'(V, Vars, X, Vars) :-
    '$fd_heuristic'(V, H),
    '$fd_delete'(Vars, X, H).

'$fd_heuristic'(leftmost, min) :- !.
'$fd_heuristic'(V, V).

% One variable's choices: the labeling step on the variable alone, with the
% branching and direction (and the cost bound) of the option word.
'$fd_branch'(X, Word, BB) :-
    (   var(X) -> '$fd_label'([X], Word, BB) ; true ).

% ---------------------------------------------------------------------------
% Branch and bound. The incumbent, the best assignment so far, is a
% database record '$fd_incumbent'(Cost, Values) that the plug-in reads
% (the cost bound it puts on every branch it re-enters) and that each
% solution overwrites in place. Once the search is done, the best cost is
% known and the assignments of that cost are labeled.

:- dynamic '$fd_incumbent'/2.

'$fd_optimise'(Goal, V, Vars, Word0, Ctx) :-
    (   Goal = minimize(E) -> Dir = 1048576 ; Goal = maximize(E), Dir = 2097152 ),
    '$fd_linear'(E, Ctx, _, _),
    Cost #= E,
    append(Vars, [Cost], All),
    '$fd_zeros'(All, Zeros),
    assertz('$fd_incumbent'(none, Zeros), Ref),
    Word is Word0 \/ Dir,
    catch('$fd_find_best'(V, All, Word, bb(Cost, Ref)), Ball, ( erase(Ref), throw(Ball) )),
    clause('$fd_incumbent'(Best, _), true, Ref),
    erase(Ref),
    integer(Best),
    Cost = Best,
    '$fd_search'(V, All, Word0, 0).

'$fd_find_best'(V, All, Word, BB) :-
    BB = bb(Cost, Ref),
    (   '$fd_search'(V, All, Word, BB),
        '$fd_update_incumbent'(Ref, Cost, All),
        fail
    ;   true
    ).

'$fd_zeros'([], []).
'$fd_zeros'([_|Xs], [0|Zs]) :- '$fd_zeros'(Xs, Zs).
