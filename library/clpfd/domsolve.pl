% The solver's kernel as the Prolog side sees it: the plug-in domsolve.so
% with its foreign predicates, the propagation driver that runs what the
% plug-in hands back, and the predicates the runtime and the plug-in call in
% module domsolve: verify_attributes/3 when a domain variable is bound,
% attribute_goals//1 for the residual goals of a domain variable, and
% overflow_action/2 when a bound passes the small integers.
%
% A domain variable carries the solver's attribute v/7 (made by the
% plug-in): v(1, Var, Domain, Suspensions, Count, Coreferences, Weight),
% Domain a mutable holding the variable's value or dom(Set, Min, Max, Size),
% Suspensions a mutable holding '$array1d'(Capacity, Cells) of which Count
% cells are in use, each a propagator(Events, Kind, Status, Item) term whose
% Item is dead once Status is bound. Set is an fdset: a list of intervals
% [Min|Max], ascending and apart, Min and Max integers or inf and sup.

:- module(domsolve, [
    '$fd_attribute'/2, '$fd_domain'/2, '$fd_propagate'/0, '$fd_run_item'/1,
    '$fd_tell_set'/2, '$fd_tell_interval'/3,
    '$fd_median'/2, '$fd_middle'/2, '$fd_size'/3, '$fd_range'/4, '$fd_cons'/5,
    '$fd_dom_complement'/2, '$fd_dom_subtract'/3, '$fd_dom_intersection'/3, '$fd_dom_union'/3,
    '$fd_dom_contains'/2, '$fd_dom_insert'/3, '$fd_dom_delete'/3, '$fd_dom_intersect'/3,
    '$fd_set_expression'/2, '$fd_arg_attribute'/3, '$fd_dvar_list'/2, '$fd_check_arguments'/2,
    '$fd_install'/5, '$fd_post_reified'/5, '$fd_post_global'/6, '$fd_post_clause'/2,
    '$fd_post_disequation'/3, '$fd_post_equality'/3, '$fd_prune_and_enqueue'/2,
    '$fd_find_definition'/3, '$fd_indexical_data'/3, '$fd_statistics'/2, '$fd_batch'/3, '$fd_hiding'/3, '$fd_debug'/3,
    '$fd_overflow'/3, '$fd_in_set'/3, '$fd_in_interval'/4, '$fd_eval_indexical'/3,
    '$fd_evaluate_indexical'/2, '$fd_update_incumbent'/3, '$fd_incumbent_bound'/2,
    '$fd_dispatch_global_fast'/6, '$fd_purge'/1, '$fd_delete'/3, '$fd_labeling'/7,
    '$fd_compact_table_common'/5
]).

% The plug-in's predicates this library calls. A function the plug-in does
% not have yet raises an error saying so when called. A -term argument is
% an output the function leaves in a term reference of its own, unified
% with the argument when it returns.
foreign_resource(domsolve, [
    '$fd_median', '$fd_middle', '$fd_size', '$fd_range', '$fd_cons', '$fd_dom_complement',
    '$fd_dom_subtract', '$fd_dom_intersection', '$fd_dom_union', '$fd_dom_contains',
    '$fd_dom_insert', '$fd_dom_delete', '$fd_dom_intersect', '$fd_set_expression',
    '$fd_arg_attribute', '$fd_dvar_list', '$fd_check_arguments', '$fd_install',
    '$fd_post_reified', '$fd_post_global', '$fd_post_clause', '$fd_post_disequation',
    '$fd_post_equality', '$fd_prune_and_enqueue', '$fd_find_definition', '$fd_indexical_data', '$fd_statistics',
    '$fd_batch', '$fd_hiding', '$fd_debug', '$fd_overflow', '$fd_in_set', '$fd_in_interval',
    '$fd_eval_indexical', '$fd_evaluate_indexical', '$fd_update_incumbent',
    '$fd_incumbent_bound', '$fd_dispatch_global_fast', '$fd_purge', '$fd_delete',
    '$fd_compact_table_common'
]).

foreign('$fd_median', '$fd_median'(+term, [-integer])).
foreign('$fd_middle', '$fd_middle'(+term, [-integer])).
foreign('$fd_size', '$fd_size'(+term, +term, [-integer])).
foreign('$fd_range', '$fd_range'(+term, +term, +term, [-integer])).
foreign('$fd_cons', '$fd_cons'(+term, +term, +term, +term, [-integer])).
foreign('$fd_dom_complement', '$fd_dom_complement'(+term, +term)).
foreign('$fd_dom_subtract', '$fd_dom_subtract'(+term, +term, +term)).
foreign('$fd_dom_intersection', '$fd_dom_intersection'(+term, +term, +term)).
foreign('$fd_dom_union', '$fd_dom_union'(+term, +term, +term)).
foreign('$fd_dom_contains', '$fd_dom_contains'(+term, +term)).
foreign('$fd_dom_insert', '$fd_dom_insert'(+term, +term, +term)).
foreign('$fd_dom_delete', '$fd_dom_delete'(+term, +term, +term)).
foreign('$fd_dom_intersect', '$fd_dom_intersect'(+term, +term, [-integer])).
foreign('$fd_set_expression', '$fd_set_expression'(+term, +term)).
foreign('$fd_arg_attribute', '$fd_arg_attribute'(+term, +integer, +term)).
foreign('$fd_dvar_list', '$fd_dvar_list'(+term, +integer)).
foreign('$fd_check_arguments', '$fd_check_arguments'(+term, +term)).
foreign('$fd_install', '$fd_install'(+term, +atom, +integer, +integer, +term)).
foreign('$fd_post_reified', '$fd_post_reified'(+term, +term, +term, +term, +term)).
foreign('$fd_post_global', '$fd_post_global'(+term, +term, +integer, +term, +term, -term)).
foreign('$fd_post_clause', '$fd_post_clause'(+term, +term)).
foreign('$fd_post_disequation', '$fd_post_disequation'(+term, +term, +integer)).
foreign('$fd_post_equality', '$fd_post_equality'(+term, +term, [-integer])).
foreign('$fd_prune_and_enqueue', '$fd_prune_and_enqueue'(+term, +term)).
foreign('$fd_find_definition', '$fd_find_definition'(+term, +atom, +term)).
foreign('$fd_indexical_data', '$fd_indexical_data'(+term, +integer, [-integer])).
foreign('$fd_statistics', '$fd_statistics'(+integer, [-integer])).
foreign('$fd_batch', '$fd_batch'(+term, +term, [-integer])).
foreign('$fd_hiding', '$fd_hiding'(+term, +term, [-integer])).
foreign('$fd_debug', '$fd_debug'(+term, +term, [-integer])).
foreign('$fd_overflow', '$fd_overflow'(+term, +term, [-integer])).
foreign('$fd_in_set', '$fd_in_set'(+term, +term, +integer)).
foreign('$fd_in_interval', '$fd_in_interval'(+term, +term, +term, +integer)).
foreign('$fd_eval_indexical', '$fd_eval_indexical'(+term, +term, -term)).
foreign('$fd_evaluate_indexical', '$fd_evaluate_indexical'(-term, [-integer])).
foreign('$fd_update_incumbent', '$fd_update_incumbent'(+term, +term, +term)).
foreign('$fd_incumbent_bound', '$fd_incumbent_bound'(+term, +term)).
foreign('$fd_dispatch_global_fast', '$fd_dispatch_global_fast'(+term, +term, -term, -term, +term, [-integer])).
foreign('$fd_purge', '$fd_purge'(+term)).
foreign('$fd_delete', '$fd_delete'(+term, +term, +atom)).
foreign('$fd_compact_table_common', '$fd_compact_table_common'(+term, +term, +integer, +term, +term)).

% The plug-in lies beside the runtime library. Once loaded, module domsolve
% keeps attributes, and the slot of its attribute in a variable's attribute
% vector is noted.
:- dynamic '$fd_slot'/1.

'$fd_load' :-
    prolog:'$getenv'('LV_RT_DIR', Dir),
    atom_concat(Dir, domsolve, File),
    load_foreign_resource(domsolve:File),
    prolog:'$save_attribute_info'(domsolve),
    prolog:'$get_all_attribute_modules'(Modules),
    '$fd_nth'(Modules, domsolve, 1, Slot),
    retractall('$fd_slot'(_)),
    assertz('$fd_slot'(Slot)).

'$fd_nth'([M|Ms], X, I, N) :-
    (   M == X -> N = I ; I1 is I + 1, '$fd_nth'(Ms, X, I1, N) ).

:- initialization('$fd_load').

% '$fd_attribute'(X, A): A is the solver attribute of the variable X; fails
% for anything that is no domain variable.
'$fd_attribute'(X, A) :-
    var(X),
    prolog:'$get_cva'(X, Vector, _),
    Vector \== [],
    '$fd_slot'(I),
    arg(I, Vector, A0),
    nonvar(A0),
    A = A0.

% '$fd_domain'(X, D): the domain of X as the attribute holds it: the integer
% itself, or dom(Set, Min, Max, Size); a variable that is no domain variable
% has the domain of every integer.
'$fd_domain'(X, D) :-
    (   integer(X) -> D = X
    ;   '$fd_attribute'(X, A) -> arg(3, A, M), get_mutable(D, M)
    ;   D = dom([[inf|sup]], inf, sup, sup)
    ).

% ---------------------------------------------------------------------------
% The propagation driver. $fd_evaluate_indexical/2 runs the plug-in's loop
% until it is done (0), or until the engine has work of its own to do first
% (1: garbage collection, the wake-up of other attributes, which run before
% the next call), or it hands back a propagator the Prolog level is to run
% (2). A failure of propagation fails it.

% An error raised while propagating (a bound past the small integers, say)
% leaves the plug-in's queues with the items that were still to run; they
% are emptied before the error goes on (switching batch mode on opens, and
% so empties, the queues), so that no later call runs what belongs to a
% propagation given up.
'$fd_propagate' :-
    catch('$fd_propagate_loop', Ball, '$fd_propagate_error'(Ball)).

'$fd_propagate_loop' :-
    '$fd_evaluate_indexical'(X, R),
    '$fd_propagated'(R, X).

'$fd_propagated'(0, _).
'$fd_propagated'(1, _) :- '$fd_propagate_loop'.
'$fd_propagated'(2, X) :- '$fd_run_item'(X), '$fd_propagate_loop'.

'$fd_propagate_error'(Ball) :-
    (   '$fd_batch'(off, on, 1) -> '$fd_batch'(_, off, _) ; true ),
    throw(Ball).

% An item handed back: a propagator without a C function, or (with the
% debug flag on) any propagator or indexical. It runs here; what it tells
% comes back on its actions list.
'$fd_run_item'(X) :-
    X = '$global'(M, Goal, _, _, _, _), !,
    get_mutable(State, M),
    (   '$fd_dispatch_global_fast'(Goal, State, NewState0, Actions, X, 1)
    ->  true
    ;   clpfd:'$fd_prolog_propagator'(Goal, State, NewState0, Actions)
    ),
    (   var(NewState0) -> NewState = State ; NewState = NewState0 ),
    update_mutable(NewState, M),
    '$fd_actions'(Actions, X).
'$fd_run_item'(X) :-
    X = '$indexical'(_, _, _, _, _, _, _, _),
    '$fd_eval_indexical'(X, X, Actions),
    '$fd_actions'(Actions, X).

% The actions of a propagator run here: the values and sets it tells (with
% the debug flag on, the plug-in leaves them to be told here), then its
% entailment, failure and events, which the plug-in applies. (The plug-in's
% $fd_unify/3 would empty the queues of the propagation under way.)
'$fd_actions'(Actions, X) :-
    '$fd_tells'(Actions, Rest),
    '$fd_prune_and_enqueue'(Rest, X).

'$fd_tells'([], []).
'$fd_tells'([A|As], Rest) :-
    (   A = (V = N) -> '$fd_tell_interval'(V, N, N), Rest = Rest1
    ;   A = in_set(V, S) -> '$fd_tell_set'(V, S), Rest = Rest1
    ;   Rest = [A|Rest1]
    ),
    '$fd_tells'(As, Rest1).

% A domain restricted from Prolog: X to the set, or to Min..Max. With the
% flag debug on the plug-in leaves a change it exports on an actions list
% (as for a propagator run here), which a restriction from Prolog has no
% use for: the flag is off while the change is told.
'$fd_tell_set'(X, Set) :-
    (   '$fd_debug'(on, off, 1)
    ->  '$fd_debug_off'(domsolve:'$fd_in_set'(X, Set, 1))
    ;   '$fd_in_set'(X, Set, 1)
    ).

'$fd_tell_interval'(X, Min, Max) :-
    (   '$fd_debug'(on, off, 1)
    ->  '$fd_debug_off'(domsolve:'$fd_in_interval'(X, Min, Max, 1))
    ;   '$fd_in_interval'(X, Min, Max, 1)
    ).

% Goal run with the flag debug off, which is then set on again.
'$fd_debug_off'(Goal) :-
    catch(Goal, Ball, true),
    !,
    '$fd_debug'(_, on, _),
    (   var(Ball) -> true ; throw(Ball) ).
'$fd_debug_off'(_) :-
    '$fd_debug'(_, on, _),
    fail.

% ---------------------------------------------------------------------------
% The hooks of module domsolve.

% A domain variable bound: to an integer, which must lie in its domain
% (the plug-in binds it and propagates); to another variable, which it
% becomes a coreference of (their domains intersected); to anything else,
% a type error. Done here, the binding is left to stand.
verify_attributes(X, Value, []) :-
    (   integer(Value)
    ->  (   clpfd:'$fd_small'(Value) -> '$fd_tell_interval'(X, Value, Value), '$fd_propagate'
        ;   clpfd:'$fd_past_small'(Value, X = Value)
        )
    ;   var(Value)
    ->  '$fd_arg_attribute'(X, 0, AX),
        '$fd_arg_attribute'(Value, 0, AV),
        '$fd_post_equality'('x=y+c'(X, Value, 0), AX-AV, 1),
        '$fd_propagate'
    ;   prolog:'$type_error'(integer, Value, clpfd:(X = Value), 2)
    ).

% The residual goals of a domain variable.
attribute_goals(X, Gs0, Gs) :- clpfd:'$fd_residual_goals'(X, Gs0, Gs).

% A bound past the small integers (Code 1 below them, 2 above) while Goal
% propagated, with the flag overflow at error.
overflow_action(Goal, Code) :-
    (   Code =:= 1 -> Which = min_clpfd_integer ; Which = max_clpfd_integer ),
    (   callable(Goal), Goal \== []
    ->  clpfd:'$fd_shown_goal'(Goal, Shown), Context = clpfd:Shown
    ;   Context = 0
    ),
    prolog:'$error'(representation_error(Which), Context, 0).
