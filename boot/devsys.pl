% The predicates that the development system's start-up goals call. The
% runtime runs, when it boots as the development system:
%   '$informational_flag'(Info, off), reboot2([nologo]), '$informational_flag'(_, Info)
%   reset_debugger(_)
%   debugger_invocation, adjust_debugger          (this query stays open)
%   repeat, prolog_catch(ketch_attach, ..., (sleep(1), fail)), !
%                                                  (only when asked to attach)
%   set_prolog_flag(source_info, on), trace        (unless tracing is off)
% trace/0 is the debugger's (debugger.pl).

:- module(prolog, []).

reboot2(_Options).

% reset_debugger(Old): Old is the debugger's mode; the debugger is
% switched off, its spypoints kept.
reset_debugger(Old) :-
    '$debugger_global'(Old, off),
    '$put_aux'(0, off),
    '$debugger_query_start',
    '$sync_debugger'.

debugger_invocation.

% The predicates' entries follow the debugger's state.
adjust_debugger :-
    '$sync_debugger'.

% No development environment is there to attach to.
ketch_attach.

% prolog_catch/3: catch/3 for the system's own goals, which run in prolog.
prolog_catch(Goal, Catcher, Recovery) :-
    catch(prolog:Goal, Catcher, prolog:Recovery).
