% The debugger: procedure boxes with call, exit, redo, fail and exception
% ports over the engine's debugger support.
%
% While the debugger is on (trace or debug), every predicate outside the
% system modules is entered through '$debugger_port'/3; while it is off,
% only spied predicates are, and the engine runs them as usual. The
% handler opens a box for the goal and runs the goal's own definition
% ('$nodebug_call'/2) between its ports. A port line reads
%      (Inv) Depth Port: Module:Goal
% Inv numbers the boxes of the query in the order they were opened, Depth
% is the nesting of boxes; a spied goal's line begins with "+". In trace
% mode every port is shown and the leashed ones ask for a command; in
% debug mode only the ports of spied predicates are shown (and asked at
% when leashed). Port lines and the questions go to user_error, commands
% are read a line at a time from user_input.
%
% The handler's own work runs inside the box (the in-box switch on), where
% predicates are not debugged; it leaves the box before it runs or
% resumes the goal. A box that exits deterministically is gone: no redo or
% fail port of it shows when backtracking passes.
%
% Debugger slots used here (0-3 and 5 are the engine's):
%   0  the debugger action: trace, debug, off, or the depth of the box
%      being skipped over;
%   5  the invocation counter, stored in the boxes;
%   8  the boxes the next call is nested in, innermost first:
%      [b(Inv, Depth, Module, Goal) | Outer];
%   1024  the spypoints, a list of Module:Name/Arity.

:- module(prolog, [trace/0, notrace/0, debug/0, nodebug/0, spy/1, nospy/1, nospyall/0, leash/1,
                   debugging/0, break/0]).

% ---------------------------------------------------------------------
% Switching the debugger

trace :-
    '$dbg_set_mode'(trace),
    print_message(informational, format('The debugger will first creep -- showing everything (trace)', [])).

debug :-
    '$dbg_set_mode'(debug),
    print_message(informational, format('The debugger will first leap -- showing spypoints (debug)', [])).

notrace :- nodebug.

nodebug :-
    '$dbg_set_mode'(off),
    print_message(informational, format('The debugger is switched off', [])).

'$dbg_set_mode'(Mode) :-
    '$debugger_global'(_, Mode),
    '$put_aux'(0, Mode),
    '$sync_debugger'.

% Reading the mode or the leash word sets it: it is set back at once.
'$dbg_mode'(Mode) :-
    '$debugger_global'(Mode, off),
    '$debugger_global'(_, Mode).

'$dbg_leash'(Bits) :-
    '$leash_mode'(Bits, 0),
    '$leash_mode'(_, Bits).

% Called by the top level before each query: the numbering of the boxes
% starts again.
'$debugger_query_start' :-
    '$put_aux'(5, 0),
    '$put_aux'(8, []),
    '$dbg_leave_stray_box',
    !.
'$debugger_query_start'.

% An abort the debugger did not see (Ctrl-C while its own code ran) can
% leave the engine inside a box, where nothing is debugged: a query of the
% outermost top level starts outside every box.
'$dbg_leave_stray_box' :-
    '$breaklevel'(0, 0),
    !,
    '$call_port_conclusion'(proceed, invst(0, 0, true, prolog, 0, _, _, 0, []), _).
'$dbg_leave_stray_box'.

% Called by the top level before its prompt: says that the debugger is on
% and in which break level the top level runs.
'$debugger_toplevel_status' :-
    '$dbg_mode'(Mode),
    (   Mode == off -> true ; format(user_output, '% ~w~n', [Mode]) ),
    '$breaklevel'(Level, 0),
    (   Level =:= 0 -> true ; format(user_output, '% break level ~d~n', [Level]) ),
    !.
'$debugger_toplevel_status'.

% ---------------------------------------------------------------------
% The handler of spied and debugged predicates

% The system's own predicates run without a box of their own; the goals
% they call in the user's modules are boxed.
'$debugger_port'(Goal, prolog, _) :- !,
    '$nodebug_call'(Goal, prolog).
'$debugger_port'(Goal, Module, CallSite) :-
    '$dbg_outer'(Outer),
    '$dbg_depth'(Outer, D0),
    Depth is D0 + 1,
    '$dbg_new_invocation'(Inv),
    '$box_setup'(Goal, Module, CallSite, on, Box),
    A = box(Box, Inv, Depth, Module, Goal, [b(Inv, Depth, Module, Goal)|Outer], Outer),
    '$dbg_box'(A, Det),
    (   Det == true -> ! ; true ).

'$dbg_outer'(Outer) :-
    '$get_aux'(8, Outer0),
    (   Outer0 = [_|_] -> Outer = Outer0 ; Outer = [] ).

'$dbg_depth'([], 0).
'$dbg_depth'([b(_, D, _, _)|_], D).

'$dbg_new_invocation'(Inv) :-
    '$get_aux'(5, N0),
    (   integer(N0) -> Inv is N0 + 1 ; Inv = 1 ),
    '$put_aux'(5, Inv).

% The box, started again when a port's command is retry.
'$dbg_box'(A, Det) :-
    arg(2, A, Inv),
    catch('$dbg_box_once'(A, Det), '$dbg_retry'(Inv), '$dbg_box'(A, Det)).

'$dbg_box_once'(A, Det) :-
    (   '$dbg_port'(call, A, Command),
        Command \== fail,
        catch('$dbg_solve'(A, Command, Det), Ball, '$dbg_exception'(Ball, A))
    ;   '$dbg_port'(fail, A, Command),
        '$dbg_leave'(A, outer),
        (   Command == retry -> arg(2, A, Inv), throw('$dbg_retry'(Inv)) ; fail )
    ).

% The goal between its ports: run, then the exit port; backtracking into a
% goal that left alternatives passes the redo port.
'$dbg_solve'(A, Command, Det) :-
    '$dbg_resume'(Command, A),
    arg(4, A, Module),
    arg(5, A, Goal),
    '$dbg_newest'(B0),
    '$nodebug_call'(Goal, Module),
    '$dbg_newest'(B1),
    (   B1 == B0 -> Det = true
    ;   (   Det = false
        ;   '$dbg_port'(redo, A, Redo),
            '$dbg_after_port'(Redo, A),
            '$dbg_resume'(Redo, A),
            fail
        )
    ),
    '$dbg_port'(exit(Det), A, Exit),
    '$dbg_after_port'(Exit, A),
    '$dbg_leave'(A, outer).

% The newest choicepoint: the cut barrier of this predicate's call.
'$dbg_newest'(B) :- '$choice'(B).

% Leaving the box to run the goal: skip runs it without debugging.
'$dbg_resume'(Command, A) :-
    (   Command == skip -> arg(3, A, Depth), '$put_aux'(0, Depth), '$sync_debugger'
    ;   true
    ),
    '$dbg_leave'(A, inner).

% The commands that leave the box another way than through its next port.
'$dbg_after_port'(Command, A) :-
    arg(2, A, Inv),
    (   Command == retry -> throw('$dbg_retry'(Inv))
    ;   Command == fail -> throw('$dbg_fail'(Inv))
    ;   true
    ).

% An exception out of the goal: the exception port, unless the ball is
% the debugger's own retry or fail of a box.
'$dbg_exception'(Ball, A) :-
    arg(2, A, Inv),
    (   Ball == '$dbg_fail'(Inv) -> fail
    ;   Ball = '$dbg_retry'(_) -> throw(Ball)
    ;   Ball = '$dbg_fail'(_) -> throw(Ball)
    ;   '$dbg_port'(exception(Ball), A, Command),
        (   Command == retry -> throw('$dbg_retry'(Inv))
        ;   Command == fail -> fail
        ;   '$dbg_leave'(A, outer), throw(Ball)
        )
    ).

% Leaving the box: the calls that follow are nested in the box (inner) or
% beside it (outer).
'$dbg_leave'(A, Where) :-
    (   Where == inner -> arg(6, A, Boxes) ; arg(7, A, Boxes) ),
    '$put_aux'(8, Boxes),
    arg(1, A, Box),
    '$call_port_conclusion'(proceed, Box, _).

% ---------------------------------------------------------------------
% A port: shown when the debugger shows it; a command is read when the
% port is leashed. Command is one of creep, skip, leap, fail, retry.

'$dbg_port'(Port, A, Command) :-
    '$dbg_end_skip',
    arg(1, A, Box),
    '$dbg_port_term'(Port, Term),
    '$port_setup'(Term, Box, _, _, Debug),
    (   Debug == off -> Command = creep
    ;   '$dbg_spied_box'(A)
    ->  (   '$dbg_leashed'(Port) -> Ask = true ; Ask = false ),
        '$dbg_show'(Port, A, Command, Ask)
    ;   '$get_aux'(1, print)
    ->  (   '$get_aux'(2, ask) -> Ask = true ; Ask = false ),
        '$dbg_show'(Port, A, Command, Ask)
    ;   Command = creep
    ).

% A skipped goal has come back to its box: the debugger's mode again.
'$dbg_end_skip' :-
    (   '$get_aux'(0, S), integer(S)
    ->  '$dbg_mode'(Mode), '$put_aux'(0, Mode), '$sync_debugger'
    ;   true
    ).

'$dbg_port_term'(exit(true), det) :- !.
'$dbg_port_term'(exit(false), nondet) :- !.
'$dbg_port_term'(Port, Port).

'$dbg_leashed'(Port) :-
    '$dbg_leash'(Leash),
    '$dbg_port_bit'(Port, Bit),
    Leash /\ Bit =\= 0.

'$dbg_port_bit'(call, 8).
'$dbg_port_bit'(exit(_), 4).
'$dbg_port_bit'(redo, 2).
'$dbg_port_bit'(fail, 1).
'$dbg_port_bit'(exception(_), 16).

'$dbg_spied_box'(A) :-
    arg(4, A, Module),
    arg(5, A, Goal),
    '$dbg_spied'(Goal, Module).

'$dbg_spied'(Goal, Module) :-
    functor(Goal, N, Ar),
    functor(H, N, Ar),
    '$spypoint'(H, Module, on, on).

'$dbg_show'(Port, A, Command, Ask) :-
    '$dbg_port_line'(Port, A, print),
    (   Ask == true -> '$dbg_ask'(Port, A, Command)
    ;   nl(user_error), flush_output(user_error), Command = creep
    ).

'$dbg_port_line'(Port, A, How) :-
    A = box(_, Inv, Depth, Module, Goal, _, _),
    (   '$dbg_spied'(Goal, Module) -> Mark = (+) ; Mark = ' ' ),
    '$dbg_port_name'(Port, Name),
    format(user_error, '~w  (~d) ~d ~w: ', [Mark, Inv, Depth, Name]),
    '$dbg_write_goal'(How, Module:Goal),
    (   Port = exception(Ball) -> format(user_error, '~n    ', []), '$dbg_write_goal'(How, Ball) ; true ).

'$dbg_port_name'(call, 'Call').
'$dbg_port_name'(exit(_), 'Exit').
'$dbg_port_name'(redo, 'Redo').
'$dbg_port_name'(fail, 'Fail').
'$dbg_port_name'(exception(_), 'Exception').

'$dbg_write_goal'(print, G) :- print(user_error, G).
'$dbg_write_goal'(write, G) :- write(user_error, G).
'$dbg_write_goal'(display, G) :- write_canonical(user_error, G).

% The question at a leashed port, asked again after the commands that only
% show something.
'$dbg_ask'(Port, A, Command) :-
    format(user_error, ' ? ', []),
    flush_output(user_error),
    '$dbg_read_command'(C),
    (   '$dbg_command'(C, Port, A, Command0) -> true
    ;   '$dbg_help', Command0 = again
    ),
    (   Command0 == again
    ->  '$dbg_port_line'(Port, A, print),
        '$dbg_ask'(Port, A, Command)
    ;   Command = Command0
    ).

% The first character of the line that is no layout; end of file aborts.
'$dbg_read_command'(C) :-
    get_char(user_input, C0),
    (   C0 == end_of_file -> nl(user_error), C = a
    ;   C0 == '\n' -> C = c
    ;   ( C0 == ' ' ; C0 == '\t' ; C0 == '\r' ) -> '$dbg_read_command'(C)
    ;   '$tl_rest_of_line', C = C0
    ).

'$dbg_command'(c, _, _, creep).
'$dbg_command'(s, Port, _, Command) :-
    (   ( Port == call ; Port == redo ) -> Command = skip ; Command = creep ).
'$dbg_command'(l, _, _, leap) :-
    '$dbg_set_action'(debug).
'$dbg_command'(f, Port, _, Command) :-
    (   Port == fail -> Command = creep ; Command = fail ).
'$dbg_command'(r, Port, _, Command) :-
    (   Port == call -> Command = creep ; Command = retry ).
'$dbg_command'(a, _, A, _) :-
    '$dbg_leave'(A, outer),
    abort.
'$dbg_command'(e, _, _, _) :-
    halt.
'$dbg_command'(n, _, _, creep) :-
    '$dbg_set_mode'(off).
'$dbg_command'(p, _, A, again) :-
    arg(4, A, M), arg(5, A, G), print(user_error, M:G), nl(user_error).
'$dbg_command'(w, _, A, again) :-
    arg(4, A, M), arg(5, A, G), write(user_error, M:G), nl(user_error).
'$dbg_command'(d, _, A, again) :-
    arg(4, A, M), arg(5, A, G), write_canonical(user_error, M:G), nl(user_error).
'$dbg_command'(g, _, A, again) :-
    arg(7, A, Outer),
    '$dbg_backtrace'(Outer).
% A break runs outside the box, so that its queries are debugged too.
'$dbg_command'(b, Port, A, again) :-
    arg(1, A, Box),
    '$call_port_conclusion'(proceed, Box, _),
    break,
    '$dbg_port_term'(Port, Term),
    '$port_setup'(Term, Box, _, _, _).
'$dbg_command'(h, _, _, again) :-
    '$dbg_help'.
'$dbg_command'(?, _, _, again) :-
    '$dbg_help'.

% Leap: the debugger goes on in debug mode, stopping at spypoints.
'$dbg_set_action'(Mode) :-
    '$debugger_global'(_, Mode),
    '$put_aux'(0, Mode).

'$dbg_backtrace'([]).
'$dbg_backtrace'([b(Inv, Depth, Module, Goal)|Outer]) :-
    format(user_error, '   (~d) ~d ', [Inv, Depth]),
    print(user_error, Module:Goal),
    nl(user_error),
    '$dbg_backtrace'(Outer).

'$dbg_help' :-
    format(user_error, 'Debugger commands:~n', []),
    (   '$dbg_help_line'(Keys, Name, Text),
        format(user_error, '    ~w~t~18|~w~t~30|~w~n', [Keys, Name, Text]),
        fail
    ;   true
    ).

'$dbg_help_line'('c, <newline>', creep, 'step to the next port').
'$dbg_help_line'(s, skip, 'run the goal to its next port without showing its inside').
'$dbg_help_line'(l, leap, 'run to the next spypoint').
'$dbg_help_line'(f, fail, 'make the goal fail').
'$dbg_help_line'(r, retry, 'run the goal again from its call').
'$dbg_help_line'(a, abort, 'abort the query').
'$dbg_help_line'(e, exit, 'leave the system').
'$dbg_help_line'(n, nodebug, 'switch the debugger off and go on').
'$dbg_help_line'(p, print, 'print the goal').
'$dbg_help_line'(w, write, 'write the goal').
'$dbg_help_line'(d, display, 'write the goal without operators').
'$dbg_help_line'(g, backtrace, 'the goals the goal is nested in').
'$dbg_help_line'(b, break, 'a new top level; end of file returns here').
'$dbg_help_line'('h, ?', help, 'this text').

% ---------------------------------------------------------------------
% Spypoints

spy(Spec) :-
    '$strip_module'(Spec, M, S),
    '$dbg_specs'(S, M, on, prolog:spy(Spec)),
    (   '$dbg_mode'(off) -> debug ; true ).

nospy(Spec) :-
    '$strip_module'(Spec, M, S),
    '$dbg_specs'(S, M, off, prolog:nospy(Spec)).

nospyall :-
    '$dbg_spypoints'(Ps),
    '$dbg_nospy_all'(Ps).

'$dbg_nospy_all'([]).
'$dbg_nospy_all'([M:N/Ar|Ps]) :-
    '$dbg_pred'(M, N, Ar, off),
    '$dbg_nospy_all'(Ps).

% Name, Name/Arity, Module:Spec or a list of them.
'$dbg_specs'(Spec, M, New, Ctx) :-
    (   var(Spec) -> '$instantiation_error'(Ctx, 1)
    ;   Spec = M1:Spec1 -> '$dbg_specs'(Spec1, M1, New, Ctx)
    ;   Spec == [] -> true
    ;   Spec = [S|Ss] -> '$dbg_specs'(S, M, New, Ctx), '$dbg_specs'(Ss, M, New, Ctx)
    ;   Spec = N/Ar -> '$predicate_indicator'(N/Ar, Ctx, _, _), '$dbg_pred'(M, N, Ar, New)
    ;   atom(Spec) -> '$dbg_name'(M, Spec, New)
    ;   '$type_error'(predicate_indicator, Spec, Ctx, 1)
    ).

% Every predicate of that name defined in the module.
'$dbg_name'(M, N, New) :-
    findall(Ar, current_predicate(M:N/Ar), Ars0),
    sort(Ars0, Ars),
    (   Ars == [] -> print_message(warning, format('No predicate ~q:~q found', [M, N]))
    ;   '$dbg_arities'(Ars, M, N, New)
    ).

'$dbg_arities'([], _, _, _).
'$dbg_arities'([Ar|Ars], M, N, New) :-
    '$dbg_pred'(M, N, Ar, New),
    '$dbg_arities'(Ars, M, N, New).

'$dbg_pred'(M, N, Ar, New) :-
    functor(H, N, Ar),
    '$spypoint'(H, M, Old, New),
    '$dbg_spypoints'(Ps0),
    '$dbg_delete'(Ps0, M:N/Ar, Ps1),
    (   New == on -> Ps = [M:N/Ar|Ps1] ; Ps = Ps1 ),
    '$put_aux'(1024, Ps),
    '$dbg_spy_message'(Old, New, M:N/Ar).

'$dbg_spy_message'(on, on, P) :- print_message(informational, format('There is already a spypoint on ~q', [P])).
'$dbg_spy_message'(off, on, P) :- print_message(informational, format('Spypoint placed on ~q', [P])).
'$dbg_spy_message'(on, off, P) :- print_message(informational, format('Spypoint removed from ~q', [P])).
'$dbg_spy_message'(off, off, P) :- print_message(informational, format('There is no spypoint on ~q', [P])).

'$dbg_spypoints'(Ps) :-
    '$get_aux'(1024, Ps0),
    (   Ps0 = [_|_] -> Ps = Ps0 ; Ps = [] ).

'$dbg_delete'([], _, []).
'$dbg_delete'([P|Ps], Q, Rs) :-
    (   P == Q -> Rs = Ps ; Rs = [P|Rs1], '$dbg_delete'(Ps, Q, Rs1) ).

% ---------------------------------------------------------------------
% Leashing: which ports ask for a command in trace mode.

leash(Mode) :-
    (   var(Mode) -> '$instantiation_error'(prolog:leash(Mode), 1)
    ;   '$dbg_leash_bits'(Mode, Bits) -> true
    ;   '$domain_error'(leash_specifier, Mode, prolog:leash(Mode), 1)
    ),
    '$leash_mode'(_, Bits),
    '$dbg_leash_ports'(Bits, Ports),
    print_message(informational, format('Using leashing stopping at ~w ports', [Ports])).

'$dbg_leash_bits'(none, 0).
'$dbg_leash_bits'(off, 0).
'$dbg_leash_bits'(loose, 8).
'$dbg_leash_bits'(half, 10).
'$dbg_leash_bits'(tight, 27).
'$dbg_leash_bits'(full, 31).
'$dbg_leash_bits'(all, 31).
'$dbg_leash_bits'([], 0).
'$dbg_leash_bits'([P|Ps], Bits) :-
    '$dbg_leash_list'([P|Ps], 0, Bits).
'$dbg_leash_bits'(P, Bit) :-
    atom(P),
    '$dbg_port_bit_name'(P, Bit).

'$dbg_leash_list'(Ps, _, _) :- var(Ps), !, fail.
'$dbg_leash_list'([], Bits, Bits).
'$dbg_leash_list'([P|Ps], Bits0, Bits) :-
    atom(P),
    '$dbg_port_bit_name'(P, Bit),
    Bits1 is Bits0 \/ Bit,
    '$dbg_leash_list'(Ps, Bits1, Bits).

'$dbg_port_bit_name'(call, 8).
'$dbg_port_bit_name'(exit, 4).
'$dbg_port_bit_name'(redo, 2).
'$dbg_port_bit_name'(fail, 1).
'$dbg_port_bit_name'(exception, 16).

'$dbg_leash_ports'(Bits, Ports) :-
    findall(P, ( '$dbg_port_bit_name'(P, Bit), Bits /\ Bit =\= 0 ), Ports).

% ---------------------------------------------------------------------
% debugging/0: the debugger's state.

debugging :-
    '$dbg_mode'(Mode),
    '$dbg_mode_text'(Mode, Text),
    print_message(informational, format(Text, [])),
    '$dbg_leash'(Bits),
    '$dbg_leash_ports'(Bits, Ports),
    print_message(informational, format('Using leashing stopping at ~w ports', [Ports])),
    '$dbg_spypoints'(Ps0),
    sort(Ps0, Ps),
    (   Ps == [] -> print_message(informational, format('There are no spypoints', []))
    ;   print_message(informational, format('Spypoints:', [])),
        '$dbg_list_spypoints'(Ps)
    ).

'$dbg_mode_text'(off, 'The debugger is switched off').
'$dbg_mode_text'(trace, 'The debugger will first creep -- showing everything (trace)').
'$dbg_mode_text'(debug, 'The debugger will first leap -- showing spypoints (debug)').
'$dbg_mode_text'(zip, 'The debugger will first zip -- showing spypoints (zip)').

'$dbg_list_spypoints'([]).
'$dbg_list_spypoints'([P|Ps]) :-
    print_message(informational, format('    ~q', [P])),
    '$dbg_list_spypoints'(Ps).

% ---------------------------------------------------------------------
% break/0: a top level inside the running query, until end of file. The
% debugger's state is kept for the query that called it.

break :-
    '$breaklevel'(L0, 1),
    Level is L0 + 1,
    '$dbg_save'(State),
    print_message(informational, format('Break level ~d', [Level])),
    (   '$tl_catch'(prolog:'$tl_loop'(_), Ball) -> true ; true ),
    '$breaklevel'(_, -1),
    '$dbg_restore'(State),
    print_message(informational, format('End break', [])),
    (   nonvar(Ball) -> throw(Ball) ; true ).

'$dbg_save'(state(Mode, Action, Count, Boxes)) :-
    '$dbg_mode'(Mode),
    '$get_aux'(0, Action),
    '$get_aux'(5, Count),
    '$get_aux'(8, Boxes).

'$dbg_restore'(state(Mode, Action, Count, Boxes)) :-
    '$debugger_global'(_, Mode),
    '$put_aux'(0, Action),
    '$put_aux'(5, Count),
    '$put_aux'(8, Boxes),
    '$sync_debugger'.
