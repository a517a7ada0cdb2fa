% Saved states from Prolog: save_program/1,2 write the running program to a
% file, restore/1 puts a saved program back in place of the one running and
% then makes again what a state does not carry.
%
% A state carries modules, predicates with their clauses, dynamic clauses,
% the blackboards and the global flag words. It does not carry foreign
% resources: their predicates' code calls C functions, so they are volatile
% (saved without clauses), and the resources themselves live in the
% process. The state keeps the record of the resources its program had
% loaded ('$foreign_loaded'/3); restore/1 takes that record away and loads
% each resource again, which defines its predicates again and runs its init
% function (the solver's installs its definitions). Clauses that the state
% has for a predicate of the other kind here (dynamic clauses of a static
% predicate, code of a dynamic one) wait in module $restore, one fact
% '$restore':'$restore'(Module, Name, Arity) for each: restore/1 reports
% them.

:- module(prolog, [save_program/1, save_program/2, restore/1]).

save_program(File) :-
    '$save_program'(File, true, prolog:save_program(File)).

% Goal is run by restore/1 once the program is back.
save_program(File, Goal) :-
    Ctx = prolog:save_program(File, Goal),
    '$must_be_callable'(Goal, Ctx, 2),
    '$save_program'(File, Goal, Ctx).

'$save_program'(File, Goal, Ctx) :-
    '$must_be_atom'(File, Ctx, 1),
    '$bb_put'(prolog, '$restore_goal', Goal),
    '$save'(File, 0, Ctx).

restore(File) :-
    Ctx = prolog:restore(File),
    '$must_be_atom'(File, Ctx, 1),
    '$restore'(File, Ctx),
    '$restore_foreign_resources',
    '$restore_report_held',
    (   '$bb_get'(prolog, '$restore_goal', Goal)
    ->  '$bb_delete'(prolog, '$restore_goal', _),
        call(user:Goal)
    ;   true
    ).

% The resources the restored program had loaded: none of them is loaded
% in this process.
'$restore_foreign_resources' :-
    (   '$predicate_property'('$foreign_loaded'(_, _, _), _, _, prolog, _)
    ->  findall(Name-M, retract(prolog:'$foreign_loaded'(Name, M, _)), Loaded),
        '$restore_load_resources'(Loaded)
    ;   true
    ).

% Each resource is loaded again by the foreign-resource library's own
% reload when it has one, else as the module loads it by name; a resource
% that does not load is reported and the others go on.
'$restore_load_resources'([]).
'$restore_load_resources'([Name-M|Rs]) :-
    catch(prolog:'$restore_load_resource'(Name, M), Error, prolog:'$restore_warning'(Error)),
    '$restore_load_resources'(Rs).

'$restore_load_resource'(Name, M) :-
    (   '$predicate_property'('$foreign_reload'(_, _), _, _, prolog, _)
    ->  '$foreign_reload'(Name, M)
    ;   load_foreign_resource(M:Name)
    ).

'$restore_report_held' :-
    (   '$predicate_property'('$restore'(_, _, _), _, _, '$restore', _)
    ->  forall('$restore':'$restore'(M, N, A),
               prolog:'$restore_warning'(saved_state_clauses_held(M:N/A, '$restore':N/A)))
    ;   true
    ).

'$restore_warning'(Message) :-
    (   '$predicate_property'(print_message(_, _), _, _, prolog, _)
    ->  print_message(warning, Message)
    ;   true
    ).
