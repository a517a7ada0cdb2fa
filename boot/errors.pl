% Errors: the handlers the engine calls to raise an error, and the helpers
% the library raises its own errors with.
%
% Every error is error(Formal, Context). Formal is the ISO error term.
% Context repeats the error class as a term that carries the goal in whose
% context the error arose and the argument at fault, then the details of
% the formal term:
%     error(type_error(integer, a), type_error(prolog:arg(a, f(x), _), 1, integer, a))
% Without a goal the goal is 0 and there is no argument number:
%     error(resource_error(memory), resource_error(0, memory))
% A system error carries the message that says what failed, after the goal
% and argument when there is a goal:
%     error(system_error, system_error(prolog:put_char(S, a), 1, 'LVIO_E_NOSPACE'))
%     error(system_error, system_error('LVIO_E_NET_CONNREFUSED'))
%
% The handlers need nothing but the engine's built-ins, the error-code
% table and throw/1, so that they work as soon as the boot file is loaded.

:- module(prolog, []).

% '$error_handler'(Module:Goal, ArgNo, Culprit, []): the pending error of
% the engine ($cerror_data) as an exception. A culprit of '$uninit' means
% none.
'$error_handler'(Goal, ArgNo, Culprit, _) :-
    '$cerror_data'(Code, Message),
    '$error_formal'(Code, Message, Culprit, Formal),
    '$error_goal'(Goal, ArgNo, G, A),
    '$throw_error'(Formal, G, A, Message).

% '$error_term_handler'(Error, []): an exception term made by C code.
'$error_term_handler'(Error, _) :- throw(Error).

% The formal term of a code; a code the table does not know is a system
% error.
'$error_formal'(Code, Message, Culprit, Formal) :-
    (   '$error_code'(Code, _, Formal0, Culprit, Message) -> Formal = Formal0
    ;   Formal = system_error
    ).

% The goal of the context; none for the empty goal (errors raised for the
% operating system) or a goal that is no Module:Goal term.
'$error_goal'(Goal, ArgNo, G, A) :-
    (   nonvar(Goal), Goal = _:G0, G0 \== '', integer(ArgNo) -> G = Goal, A = ArgNo
    ;   G = 0, A = 0
    ).

'$throw_error'(system_error, Goal, ArgNo, Message) :- !,
    (   Goal == 0 -> throw(error(system_error, system_error(Message)))
    ;   throw(error(system_error, system_error(Goal, ArgNo, Message)))
    ).

% The message of a system error's context ('' when it has none).
'$system_error_message'(Context, M) :-
    (   nonvar(Context), ( Context = system_error(M0) ; Context = system_error(_, _, M0) ) -> M = M0
    ;   M = ''
    ).
'$throw_error'(Formal, Goal, ArgNo, _) :-
    '$error_context'(Formal, Goal, ArgNo, Context),
    throw(error(Formal, Context)).

% '$error'(Formal, Goal, ArgNo): raises the error Formal of argument ArgNo
% (0 for none) of Goal (Module:Goal, or 0 for none).
'$error'(Formal, Goal, ArgNo) :-
    '$error_context'(Formal, Goal, ArgNo, Context),
    throw(error(Formal, Context)).

'$error_context'(Formal, Goal, ArgNo, Context) :-
    Formal =.. [Class|Details],
    (   Goal == 0 -> Context =.. [Class, 0|Details]
    ;   Context =.. [Class, Goal, ArgNo|Details]
    ).

% Shorthands for the errors the library raises most.
'$instantiation_error'(Goal, ArgNo) :- '$error'(instantiation_error, Goal, ArgNo).
'$type_error'(Type, Culprit, Goal, ArgNo) :- '$error'(type_error(Type, Culprit), Goal, ArgNo).
'$domain_error'(Domain, Culprit, Goal, ArgNo) :- '$error'(domain_error(Domain, Culprit), Goal, ArgNo).

% Checks of one argument: an instantiation error for a variable, a type
% error for anything else that is not of the type.
'$must_be_integer'(X, Goal, ArgNo) :-
    (   integer(X) -> true
    ;   var(X) -> '$instantiation_error'(Goal, ArgNo)
    ;   '$type_error'(integer, X, Goal, ArgNo)
    ).

'$must_be_atom'(X, Goal, ArgNo) :-
    (   atom(X) -> true
    ;   var(X) -> '$instantiation_error'(Goal, ArgNo)
    ;   '$type_error'(atom, X, Goal, ArgNo)
    ).

'$must_be_callable'(X, Goal, ArgNo) :-
    (   callable(X) -> true
    ;   var(X) -> '$instantiation_error'(Goal, ArgNo)
    ;   '$type_error'(callable, X, Goal, ArgNo)
    ).

% A variable or an integer.
'$may_be_integer'(X, Goal, ArgNo) :-
    (   var(X) -> true
    ;   integer(X) -> true
    ;   '$type_error'(integer, X, Goal, ArgNo)
    ).

% A partial list or a list; a list type error otherwise (cycles included).
'$must_be_partial_list'(L, Goal, ArgNo) :-
    '$list_skip'(L, N, Tail),
    (   N >= 0, ( var(Tail) ; Tail == [] ) -> true
    ;   '$type_error'(list, L, Goal, ArgNo)
    ).

% '$list_skip'(List, N, Tail): the cells of List up to its first non-list
% tail; N is -1 for a cyclic list, whose walk stops at a list cell.
'$list_skip'(L, N, Tail) :-
    '$list_info'(L, K, T),
    (   nonvar(T), T = [_|_] -> N = -1, Tail = T
    ;   N = K, Tail = T
    ).
