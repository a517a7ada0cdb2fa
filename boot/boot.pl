% Start-up: boot/0, run once the boot file is loaded, sets up what the
% boot file's directives cannot: the state the library keeps on the
% blackboard. The error and event handlers need none of it.

:- module(prolog, []).

% boot/0 is called in prolog by the program that starts the system; it is
% not exported.

boot :-
    '$bb_put'(prolog, '$debug_flag', off).

% lv_deinitialize/0, called in prolog at shutdown: the work to do before
% the runtime stops: the foreign resources still loaded are unloaded
% (foreign.pl). It must not raise.
lv_deinitialize :- '$foreign_unload_all'.
