% Events: the handlers the engine calls at an event check.
%
% The engine itself grows the stacks, runs the goals woken by bindings of
% attributed variables and the cleanups a cut passes, before it calls these;
% what is left to them is the asynchronous events: '$user_event' runs the
% handlers of the signals counted and the events queued since the last run
% (a Ctrl-C or Ctrl-Break event leaves its handler below as the
% continuation). It fails when an event failed or raised.

:- module(prolog, []).

% '$event_handler': called at a call's event check; the call waits in a
% continuation frame.
'$event_handler' :-
    '$user_event'.

% '$frame_handler'(Cells, Live, I1, I2, CutBarrier, R1, R2): called at an
% instruction's event check with the interrupted code's handler frame;
% '$resume'/7 pops the frame and goes on with the interrupted code.
'$frame_handler'(Cells, Live, I1, I2, Cut, R1, R2) :-
    '$user_event',
    '$resume'(Cells, Live, I1, I2, Cut, R1, R2).

% Ctrl-C (SIGINT) asks the user what to do (the top level's menu,
% '$tl_interrupt'); Ctrl-Break (SIGQUIT) aborts the goal running.
% '$reset_ctrlc_pending' lets the next Ctrl-C through.
control_c_handler :-
    '$reset_ctrlc_pending',
    '$tl_interrupt'.

control_break_handler :-
    abort.
