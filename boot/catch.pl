% Exceptions and cleanups.
%
% throw/1 stores the ball ($store_exception) and unwinds ('$unwind_stack',
% the engine's unwinder): the newest live catch frame becomes the newest
% choicepoint and the engine fails into it. A catch frame is the
% choicepoint of '$catch'/4, whose second argument is '$$catch_hook'; it is
% live while the goal of its catch/3 runs, that is while the environment
% of the catch/3 clause that called it is on the environment chain (catch/3
% calls '$catch_exit' after it, so that the environment lasts exactly as
% long as the goal). Failing into the frame, '$catch' finds the stored ball
% (an exception) or none (the goal failed).
%
% The stored exception stands for an exception in flight: catch/3 erases a
% stale one when it starts and the one it catches once it has it; the
% cleanup runner keeps one in flight across the cleanup goals it runs.
%
% Cleanups: call_cleanup/2 pushes an entry [Status|Cleanup] on the engine's
% cleanup chain ($trail_cleanup), which also pushes a guard choicepoint.
% The engine runs an entry's goal when a failure passes the registration,
% and when a cut passes it while Status is 1. So Status becomes 1 each time
% the goal exits (backtracking into the goal undoes it): an exit without
% choicepoints cuts the guard away at once and the cleanup runs; after an
% exit with choicepoints, a cut of them runs it, as does the failure of
% the goal or an exception through it. The cleanup runner below gets the
% goals.

:- module(prolog, [
    throw/1, catch/3, call_cleanup/2, setup_call_cleanup/3
]).

:- meta_predicate catch(0, ?, 0), call_cleanup(0, 0), setup_call_cleanup(0, 0, 0).

throw(Ball) :-
    (   var(Ball) -> '$instantiation_error'(prolog:throw(Ball), 1) ; true ),
    '$store_exception'(Ball),
    '$unwind_stack'.

catch(Goal, Catcher, Recovery) :-
    '$erase_exception',
    % The frame's first saved argument must not be [].
    (   Goal == [] -> G = call([]) ; G = Goal ),
    '$catch'(G, '$$catch_hook', Catcher, Recovery),
    '$catch_exit'.

% The first clause's alternative is the catch frame. A goal that exits
% leaving no choicepoint of its own ends the catch: the frame is cut away,
% so that a loop of catches does not keep every round's frame and stacks.
'$catch'(Goal, _, _, _) :-
    '$nth_choicepoint'(0, Frame),
    call(Goal),
    '$nth_choicepoint'(0, Newest),
    (   Newest == Frame -> ! ; true ).
'$catch'(_, _, Catcher, Recovery) :-
    '$load_exception'(Ball),
    '$erase_exception',
    (   '$reserved_exception'(Ball) -> throw(Ball)
    ;   Ball = Catcher -> call(Recovery)
    ;   throw(Ball)
    ).

'$catch_exit'.

% call_cleanup(Goal, Cleanup): the goal handler runs '$call_cleanup'/3
% (the engine's call-cleanup predicate) as '$call_cleanup_run'/2.
call_cleanup(Goal, Cleanup) :-
    '$must_be_callable'(Cleanup, prolog:call_cleanup(Goal, Cleanup), 2),
    '$call_cleanup'(Goal, Cleanup, _).

setup_call_cleanup(Setup, Goal, Cleanup) :-
    '$must_be_callable'(Cleanup, prolog:setup_call_cleanup(Setup, Goal, Cleanup), 3),
    once(Setup),
    '$call_cleanup'(Goal, Cleanup, _).

'$call_cleanup_run'(Goal, Cleanup) :-
    '$trail_cleanup'([Status|Cleanup]),
    '$nth_choicepoint'(0, Guard),
    call(Goal),
    Status = 1,
    '$nth_choicepoint'(0, Newest),
    (   Newest == Guard -> ! ; true ).

% '$run_cleanups'(Goals, CutEntries, Pending): Goals is true, a cleanup, or
% call_cleanup_internal(Earlier, Cleanup) for more; CutEntries the entries
% [Status|Cleanup] that a cut passed while their goals ran (run too, since
% the cut unlinks them). Each cleanup runs once, as
% once/1 would run it; its failure and its exceptions are ignored. An
% exception in flight stays in flight; a pending one given is raised.
'$run_cleanups'(Goals, CutEntries, Pending) :-
    (   '$load_exception'(Ball) -> Saved = ball(Ball) ; Saved = none ),
    '$run_cleanup_goals'(Goals),
    '$run_cut_cleanups'(CutEntries),
    (   Saved = ball(B) -> '$store_exception'(B) ; true ),
    (   nonvar(Pending) -> throw(Pending) ; true ).

'$run_cleanup_goals'(true) :- !.
'$run_cleanup_goals'(call_cleanup_internal(Earlier, Goal)) :- !,
    '$run_cleanup_goals'(Earlier),
    '$run_cleanup'(Goal).
'$run_cleanup_goals'(Goal) :-
    '$run_cleanup'(Goal).

'$run_cut_cleanups'([]).
'$run_cut_cleanups'([[Status|Goal]|Entries]) :-
    (   var(Status) -> Status = 0, '$run_cleanup'(Goal) ; true ),
    '$run_cut_cleanups'(Entries).

'$run_cleanup'(Goal) :-
    (   catch(Goal, _, true) -> true ; true ).
