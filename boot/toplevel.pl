% The top level: reboot/2, which the console program runs, and the query
% loop it ends in.
%
% reboot(Mode, Code): Mode is 2 on the first start and 3 after a fatal
% fault restarted the top level. The first start prints the banner and
% takes the command line's choices: the init file, the saved state to
% restore, the patch file, the -l files and the --goal goal. Then queries
% are read from user_input, run in user and answered; end of file ends the
% top level with Code 0. halt/0,1 leaves reboot/2 as its exception, which
% carries the exit code; abort/0 ends the query and the loop goes on.

:- module(prolog, []).

reboot(Mode, Code) :-
    (   Mode == 2 -> '$tl_start' ; true ),
    '$tl_loop'(Code).

'$tl_start' :-
    (   '$command_option'(noinfo) -> '$informational_flag'(_, off) ; true ),
    (   '$command_option'(nologo) -> true
    ;   '$version_flag'(V),
        format(user_error, '~w~n', [V])
    ),
    (   '$init_file'(Init) -> '$tl_once'(user:consult(Init)) ; true ),
    (   '$restore_file'(State) -> '$tl_once'(prolog:restore(State)) ; true ),
    (   '$patch_file'(Patch) -> '$tl_once'(user:consult(Patch)) ; true ),
    (   '$flag_file'(Files) -> '$tl_load_files'(Files) ; true ),
    (   '$tl_catch'(prolog:'$flag_goal'(Goal), Ball) -> '$tl_goal'(Goal, Ball) ; true ).

'$tl_load_files'([]).
'$tl_load_files'([F|Fs]) :-
    '$tl_once'(user:consult(F)),
    '$tl_load_files'(Fs).

% The --goal text is read when it is taken: a syntax error is printed.
'$tl_goal'(Goal, Ball) :-
    (   nonvar(Ball) -> '$tl_exception'(Ball)
    ;   '$tl_once'(user:Goal) -> true
    ;   print_message(warning, format('Goal (~w) failed: ~q', [goal, user:Goal]))
    ).

% '$tl_once'(Goal): runs Goal once; an exception is printed as a message
% and counts as success, halt passes on.
'$tl_once'(Goal) :-
    '$tl_catch'(Goal, Ball), !,
    (   var(Ball) -> true ; '$tl_exception'(Ball) ).

% '$tl_catch'(Module:Goal, Ball): Goal's solutions with Ball unbound, then, when
% Goal raised, once with Ball bound to the exception. Unlike catch/3 it
% catches halt and abort too: the choicepoint whose second saved argument
% is '$$catch_hook' is the one an exception unwinds to.
'$tl_catch'(Goal, Ball) :-
    '$erase_exception',
    '$tl_catch'(Goal, '$$catch_hook', Ball).

'$tl_catch'(Goal, _, _) :- call(Goal).
'$tl_catch'(_, _, Ball) :-
    '$load_exception'(Ball),
    '$erase_exception'.

% An exception out of a goal of the top level: halt goes on out of
% reboot/2, abort is reported, anything else is printed as an error.
'$tl_exception'(Ball) :-
    (   Ball = '$reserved'(N), integer(N), N /\ 255 =:= 4 -> throw(Ball)
    ;   Ball == '$reserved'(3) -> print_message(informational, format('Execution aborted', []))
    ;   print_message(error, Ball)
    ).

% An event between the parts of a query (a Ctrl-C that comes with the
% prompt) is caught here too: abort goes on with the next query.
'$tl_loop'(Code) :-
    repeat,
    '$tl_guarded_query'(Outcome),
    Outcome == end_of_file,
    !,
    Code = 0.

'$tl_guarded_query'(Outcome) :-
    '$tl_catch'(prolog:'$tl_query'(Outcome0), Ball), !,
    (   nonvar(Ball) -> '$tl_exception'(Ball), Outcome = more ; Outcome = Outcome0 ).

% One query: prompt, read, run, answer. Outcome is end_of_file at the end
% of the input, else more.
'$tl_query'(Outcome) :-
    flush_output(user_error),
    '$debugger_toplevel_status',
    format(user_output, '| ?- ', []),
    flush_output(user_output),
    '$tl_catch'(prolog:read_term(user_input, Query, [variable_names(Names)]), Ball), !,
    (   nonvar(Ball) -> '$tl_skip_line', '$tl_exception'(Ball), Outcome = more
    ;   Query == end_of_file -> nl(user_output), Outcome = end_of_file
    ;   '$tl_skip_line', '$tl_run'(Query, Names), Outcome = more
    ).

% The rest of the query's line, when it holds nothing but layout (the
% reader has taken the layout after the end dot): the answer to "more?" is
% read from the next line.
'$tl_skip_line' :-
    '$stream_code'(user_input, A),
    '$stream_count'(A, _, _, _, Column),
    Column > 0,
    '$tl_catch'(prolog:'$tl_skip_layout', _), !.
'$tl_skip_line'.

'$tl_skip_layout' :-
    peek_char(user_input, C),
    (   C == '\n' -> get_char(user_input, _)
    ;   C \== end_of_file, '$tl_layout'(C) -> get_char(user_input, _), '$tl_skip_layout'
    ;   true
    ).

'$tl_layout'(' ').
'$tl_layout'('\t').
'$tl_layout'('\r').

% Each query runs on the emulator the flag profiling names: one switched
% off during the last query stops counting here.
'$tl_run'(Query, Names) :-
    '$profiling'(_, _),
    '$debugger_query_start',
    (   '$tl_catch'(prolog:'$tl_solve'(user:Query, Det), Ball),
        (   nonvar(Ball) -> '$tl_exception'(Ball)
        ;   '$tl_answer'(Names, Det)
        )
    ->  true
    ;   format(user_output, 'no~n', [])
    ),
    flush_output(user_output).

% '$tl_solve'(Goal, Det): Det is true when Goal left no choicepoint.
'$tl_solve'(Goal, Det) :-
    '$tl_newest'(B0),
    call(Goal),
    '$tl_newest'(B1),
    (   B1 == B0 -> Det = true ; Det = false ).

% The newest choicepoint: the barrier of this call.
'$tl_newest'(B) :- '$choice'(B).

% An answer: the bindings of the query's named variables and the goals
% still suspended on the variables they reach; with more solutions
% possible the user types ";" for the next (the answer fails) or Enter to
% stop.
'$tl_answer'(Names, Det) :-
    '$tl_answer_lines'(Names, Lines, VN),
    (   Lines == [] -> format(user_output, 'yes~n', [])
    ;   '$tl_write_lines'(Lines, VN),
        (   Det == true -> format(user_output, '~nyes~n', [])
        ;   format(user_output, ' ? ', []),
            flush_output(user_output),
            '$tl_reply'(Reply),
            (   Reply == more -> fail
            ;   format(user_output, 'yes~n', [])
            )
        )
    ).

% The lines of an answer: b(Name, Value) for a name whose variable is
% bound or shares with an earlier name, then g(Goal) for the residual goals:
% the goals that stand for the attributes of the attributed variables, then
% the suspended goals. Names that begin with "_" are not shown. VN names
% the unbound variables by their names (the first name of a variable), for
% write_term's variable_names/1. A cyclic value is written in finite form:
% where it holds the value of a named variable, that variable stands
% (X = f(X)); another cycle is cut by a variable _S1, _S2, ... whose value
% follows on a line of its own (X = f(_S1), _S1 = g(_S1)).
'$tl_answer_lines'(Names, Lines, VN) :-
    '$tl_values'(Names, Values),
    '$term_attributed_variables_dfs'(Values, AttVars),
    '$attribute_goals'(AttVars, AttributeGoals),
    '$tl_residuals'(AttVars, [], Residuals0),
    '$tl_reverse'(Residuals0, [], Residuals1),
    append(AttributeGoals, Residuals1, Residuals),
    '$tl_binding_lines'(Names, Names, Lines0, Goals),
    '$tl_goal_lines'(Residuals, Goals),
    '$tl_free_names'(Names, VN0),
    (   '$acyclic'(Lines0) -> Lines = Lines0, VN = VN0
    ;   '$tl_cyclic_names'(Lines0, Named, VN0, VN1),
        '$tl_finite_lines'(Lines0, [], Named, Lines, Eqs),
        '$cycle_names'(Eqs, 1, CycleNames),
        append(VN1, CycleNames, VN)
    ).

'$tl_values'([], []).
'$tl_values'([_=V|Ns], [V|Vs]) :- '$tl_values'(Ns, Vs).

'$tl_binding_lines'([], _, Goals, Goals).
'$tl_binding_lines'([Name=V|Ns], All, Lines, Goals) :-
    (   var(V), '$tl_first_name'(All, V, Name) -> Lines = Lines1
    ;   sub_atom(Name, 0, 1, _, '_') -> Lines = Lines1
    ;   Lines = [b(Name, V)|Lines1]
    ),
    '$tl_binding_lines'(Ns, All, Lines1, Goals).

'$tl_first_name'([N=V0|Ns], V, Name) :-
    (   V0 == V -> N == Name ; '$tl_first_name'(Ns, V, Name) ).

'$tl_goal_lines'([], []).
'$tl_goal_lines'([G|Gs], [g(G)|Ls]) :- '$tl_goal_lines'(Gs, Ls).

'$tl_free_names'([], []).
'$tl_free_names'([Name=V|Ns], VN) :-
    (   var(V) -> VN = [Name=V|VN1] ; VN = VN1 ),
    '$tl_free_names'(Ns, VN1).

% A variable for each line whose value is cyclic, named as the line.
'$tl_cyclic_names'([], [], VN, VN).
'$tl_cyclic_names'([L|Ls], Named, VN0, VN) :-
    (   L = b(Name, V), \+ '$acyclic'(V)
    ->  Named = [V-X|Named1], VN1 = [Name=X|VN0]
    ;   Named = Named1, VN1 = VN0
    ),
    '$tl_cyclic_names'(Ls, Named1, VN1, VN).

% The lines with their cyclic values cut; Eqs the variables of the other
% cycles with their values, whose lines follow the line they are in. A
% cyclic value equal to an earlier line's is that line's variable (X =
% f(X), Y = X).
'$tl_finite_lines'([], _, _, [], []).
'$tl_finite_lines'([L|Ls], Seen, Named, Lines, Eqs) :-
    (   '$acyclic'(L) -> Lines = [L|Lines1], Eqs = Eqs1, Seen1 = Seen
    ;   L = b(Name, V), '$cyc_named'(Seen, V, X)
    ->  Lines = [b(Name, X)|Lines1], Eqs = Eqs1, Seen1 = Seen
    ;   L = b(Name, V)
    ->  '$factorize'(V, Named, F, E),
        Lines = [b(Name, F)|Lines2], '$tl_eq_lines'(E, Lines2, Lines1), append(E, Eqs1, Eqs),
        '$cyc_named'(Named, V, X), Seen1 = [V-X|Seen]
    ;   L = g(G),
        '$factorize'(G, Named, F, E),
        Lines = [g(F)|Lines2], '$tl_eq_lines'(E, Lines2, Lines1), append(E, Eqs1, Eqs),
        Seen1 = Seen
    ),
    '$tl_finite_lines'(Ls, Seen1, Named, Lines1, Eqs1).

% A line e(V, Value) for each cycle variable.
'$tl_eq_lines'([], Lines, Lines).
'$tl_eq_lines'([V = X|E], [e(V, X)|Lines0], Lines) :- '$tl_eq_lines'(E, Lines0, Lines).

% The goals suspended on the variables and not run yet, each once, as the
% goals that suspended them.
'$tl_residuals'([], Gs, Gs).
'$tl_residuals'([V|Vs], Gs0, Gs) :-
    '$get_cva'(V, _, Records),
    '$tl_pending'(Records, Gs0, Gs1),
    '$tl_residuals'(Vs, Gs1, Gs).

'$tl_pending'([], Gs, Gs).
'$tl_pending'([R|Rs], Gs0, Gs) :-
    (   R = '$apply'(Goal, M, Done), var(Done),
        '$tl_suspended_goal'(M, Goal, G),
        \+ '$tl_member_eq'(G, Gs0)
    ->  Gs1 = [G|Gs0]
    ;   Gs1 = Gs0
    ),
    '$tl_pending'(Rs, Gs1, Gs).

'$tl_suspended_goal'(prolog, '$frozen'(X, G), freeze(X, G)) :- !.
'$tl_suspended_goal'(prolog, '$when'(C, G), when(C, G)) :- !.
'$tl_suspended_goal'(M, G, G) :- ( M == prolog ; M == user ), !.
'$tl_suspended_goal'(M, G, M:G).

'$tl_member_eq'(X, [Y|Ys]) :- ( X == Y -> true ; '$tl_member_eq'(X, Ys) ).

'$tl_reverse'([], Acc, Acc).
'$tl_reverse'([X|Xs], Acc, Ys) :- '$tl_reverse'(Xs, [X|Acc], Ys).

% Each line as print/1 writes, as the operand it is: the value of Name =
% Value (priority 699, X = (a:-b)), a goal of the conjunction (999).
'$tl_write_lines'([Line|Lines], VN) :-
    (   Line = b(Name, Value)
    ->  format(user_output, '~w = ', [Name]), '$print_operand'(user_output, Value, 699, VN)
    ;   Line = e(V, Value)
    ->  '$print_operand'(user_output, V, 699, VN), format(user_output, ' = ', []),
        '$print_operand'(user_output, Value, 699, VN)
    ;   Line = g(Goal), '$print_operand'(user_output, Goal, 999, VN)
    ),
    (   Lines == [] -> true
    ;   format(user_output, ',~n', []),
        '$tl_write_lines'(Lines, VN)
    ).

% The reply line: ";" first asks for more; anything else, or end of file,
% stops.
'$tl_reply'(Reply) :-
    get_char(user_input, C),
    (   C == end_of_file -> nl(user_output), Reply = stop
    ;   C == '\n' -> Reply = stop
    ;   '$tl_rest_of_line',
        (   C == (;) -> Reply = more ; Reply = stop )
    ).

'$tl_rest_of_line' :-
    get_char(user_input, C),
    (   C == '\n' -> true
    ;   C == end_of_file -> true
    ;   '$tl_rest_of_line'
    ).

% The menu Ctrl-C brings up: abort the goal, continue it, or exit. End of
% file aborts.
'$tl_interrupt' :-
    flush_output(user_output),
    format(user_error, '~nProlog interruption (h for help)? ', []),
    flush_output(user_error),
    '$tl_menu_line'(Choice),
    (   Choice == a -> abort
    ;   Choice == c -> true
    ;   Choice == e -> halt
    ;   '$tl_interrupt_help', '$tl_interrupt'
    ).

'$tl_menu_line'(Choice) :-
    get_char(user_input, C),
    (   C == end_of_file -> Choice = a
    ;   C == '\n' -> Choice = h
    ;   '$tl_rest_of_line', Choice = C
    ).

'$tl_interrupt_help' :-
    format(user_error, '    a  abort the goal~n    c  continue~n    e  exit~n    h  this help~n', []).
