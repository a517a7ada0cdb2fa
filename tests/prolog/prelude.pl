% The Prolog level the differential test and the benchmarks need before the
% system's own exists: the event handlers and the handlers of attributed
% variables. Stack growth happens in the engine; the handlers only let the
% interrupted code go on.
'$event_handler'.
'$frame_handler'(Cells, Live, I1, I2, Cut, R1, R2) :- '$resume'(Cells, Live, I1, I2, Cut, R1, R2).

% Woken attributed variables come back unbound: one (Var, Value), or lists
% of both. Each is made plain and bound, then every attribute module with a
% slot checks the value (verify_attributes(Module, Value, Attribute), which
% the program defines), and the variable's suspended goals run.
'$wake_attributes'(Var, Value) :- var(Var), !, '$wake_one'(Var, Value).
'$wake_attributes'(Vars, Values) :- '$wake_all'(Vars, Values).

'$wake_all'([], []).
'$wake_all'([Var|Vars], [Value|Values]) :- '$wake_one'(Var, Value), '$wake_all'(Vars, Values).

'$wake_one'(Var, Value) :-
    '$get_cva'(Var, Attrs, Goals),
    '$put_cva'(Var, [], []),
    Var = Value,
    '$get_all_attribute_modules'(Modules),
    '$verify_attributes'(Modules, 1, Attrs, Value),
    '$run_woken_goals'(Goals).

'$verify_attributes'([Module|Modules], I, Attrs, Value) :-
    functor(Attrs, _, N), I =< N, !,
    arg(I, Attrs, Attr),
    (   var(Attr) -> true ; verify_attributes(Module, Value, Attr) ),
    J is I + 1,
    '$verify_attributes'(Modules, J, Attrs, Value).
'$verify_attributes'(_, _, _, _).

% Suspended goals, newest first in the list, run oldest first; a record
% shared by several variables runs once ($apply/3 binds its last argument).
'$run_woken_goals'([]).
'$run_woken_goals'([Goal|Goals]) :- '$run_woken_goals'(Goals), '$run_woken_goal'(Goal).

'$run_woken_goal'('$apply'(Goal, Module, Done)) :- '$apply'(Goal, Module, Done).

'$apply_interpreter'(Goal, Module, _) :- Module:Goal.

% The dynamic database over the engine's built-ins, in module prolog.
assertz(C) :- '$clause_table'(C, T), '$insertz'(T, C, _).
asserta(C) :- '$clause_table'(C, T), '$inserta'(T, C, _).
assertz(C, R) :- '$clause_table'(C, T), '$insertz'(T, C, R).
asserta(C, R) :- '$clause_table'(C, T), '$inserta'(T, C, R).
retract(C) :-
    '$clause_split'(C, H, B),
    '$current_clauses'(H, T, prolog),
    '$current_instance'(H, prolog, T, B-R),
    '$erase'(R).
clause(H, B) :- '$current_clauses'(H, T, prolog), '$current_instance'(H, prolog, T, B-_).
clause(H, B, R) :- '$current_clauses'(H, T, prolog), '$current_instance'(H, prolog, T, B-R).
erase(R) :- '$erase'(R).
retractall(H) :-
    '$clause_table'(H, T),
    (   '$current_instance'(H, prolog, T, _-R), '$erase'(R), fail
    ;   true
    ).
'$clause_table'(C, T) :-
    '$clause_split'(C, H, _),
    (   '$current_clauses'(H, T, prolog) -> true
    ;   functor(H, N, A), '$define_predicate'(N/A, dynamic),
        '$current_clauses'(H, T, prolog)
    ).
'$clause_split'((H :- B), H, B) :- !.
'$clause_split'(H, H, true).
% The body of a dynamic clause (a cut in it is local to the body here).
'$clause_body'(B, M, _) :- call(M:B).
