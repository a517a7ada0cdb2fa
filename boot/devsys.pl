% The predicates that the development system's start-up goals call. The
% runtime runs, when it boots as the development system:
%   '$informational_flag'(Info, off), reboot2([nologo]), '$informational_flag'(_, Info)
%   reset_debugger(_)
%   debugger_invocation, adjust_debugger          (this query stays open)
%   repeat, prolog_catch(ketch_attach, ..., (sleep(1), fail)), !
%                                                  (only when asked to attach)
%   set_prolog_flag(source_info, on), trace        (unless tracing is off)
% Until the debugger and the top level are here these do nothing but
% succeed.

:- module(prolog, [trace/0]).

reboot2(_Options).

reset_debugger(_OldState).

debugger_invocation.

adjust_debugger.

% No development environment is there to attach to.
ketch_attach.

% prolog_catch/3: catch/3 for the system's own goals, which run in prolog.
prolog_catch(Goal, Catcher, Recovery) :-
    catch(prolog:Goal, Catcher, prolog:Recovery).

trace.
