% Events: the handlers the engine calls at an event check.
%
% The engine itself grows the stacks, runs the goals woken by bindings of
% attributed variables and the cleanups a cut passes, before it calls these;
% what is left to them is the asynchronous events, of which there are none
% yet to handle.

:- module(prolog, []).

% '$event_handler': called at a call's event check; the call waits in a
% continuation frame.
'$event_handler'.

% '$frame_handler'(Cells, Live, I1, I2, CutBarrier, R1, R2): called at an
% instruction's event check with the interrupted code's handler frame;
% '$resume'/7 pops the frame and goes on with the interrupted code.
'$frame_handler'(Cells, Live, I1, I2, Cut, R1, R2) :-
    '$resume'(Cells, Live, I1, I2, Cut, R1, R2).
