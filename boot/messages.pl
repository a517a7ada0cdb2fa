% Messages: print_message/2 and the texts of the error terms the system
% raises, printed to user_error.
%
% user:message_hook(Message, Kind, Lines), when defined and it succeeds,
% takes the message instead. Errors print their lines after "! ",
% warnings after "* ", other kinds after "% "; silent prints nothing, nor
% does informational while the informational flag is off. A
% message without a text prints as "Unknown message: " and the term.

:- module(prolog, [print_message/2]).

print_message(Kind, Message) :-
    (   Kind == silent -> true
    ;   Kind == informational, '$informational_flag'(off, off) -> true
    ;   '$message_lines'(Message, Lines),
        (   '$message_hook'(Message, Kind, Lines) -> true
        ;   '$message_prefix'(Kind, Prefix),
            '$print_lines'(Lines, Prefix)
        )
    ),
    !.
print_message(_, _).

'$message_hook'(Message, Kind, Lines) :-
    '$predicate_property'(message_hook(_, _, _), _, _, user, _),
    catch(user:message_hook(Message, Kind, Lines), _, fail), !.

'$message_prefix'(Kind, Prefix) :-
    (   Kind == error -> Prefix = '! '
    ;   Kind == warning -> Prefix = '* '
    ;   Prefix = '% '
    ).

% Lines: a list of Format-Args pairs, one a line.
'$print_lines'([], _).
'$print_lines'([F-As|Ls], Prefix) :-
    format(user_error, '~w', [Prefix]),
    format(user_error, F, As),
    nl(user_error),
    '$print_lines'(Ls, Prefix).

'$message_lines'(Message, Lines) :-
    (   var(Message) -> Lines = ['Unknown message: ~q'-[Message]]
    ;   Message = error(Formal, Context)
    ->  '$error_text'(Formal, Context, Line),
        '$context_lines'(Context, Ls),
        Lines = [Line|Ls]
    ;   '$load_message_lines'(Message, Lines0) -> Lines = Lines0
    ;   '$error_text'(Message, 0, Line) -> Lines = [Line]
    ;   Message = format(F, As) -> Lines = [F-As]
    ;   Lines = ['Unknown message: ~q'-[Message]]
    ).

% The text of each formal error term.
'$error_text'(Formal, _, _) :- var(Formal), !, fail.
'$error_text'(instantiation_error, _, 'Instantiation error'-[]).
'$error_text'(uninstantiation_error(C), _, 'Uninstantiation error: expected an unbound variable, found ~q'-[C]).
'$error_text'(type_error(T, C), _, 'Type error: ~w expected, found ~q'-[T, C]).
'$error_text'(domain_error(D, C), _, 'Domain error: ~w expected, found ~q'-[D, C]).
'$error_text'(existence_error(procedure, PI), _, 'Existence error: procedure ~q does not exist'-[PI]).
'$error_text'(existence_error(T, C), _, 'Existence error: ~w ~q does not exist'-[T, C]).
'$error_text'(permission_error(A, T, C), _, 'Permission error: cannot ~w ~w ~q'-[A, T, C]).
'$error_text'(representation_error(R), _, 'Representation error: ~w'-[R]).
'$error_text'(evaluation_error(E), _, 'Evaluation error: ~w'-[E]).
'$error_text'(resource_error(R), _, 'Resource error: not enough ~w'-[R]).
'$error_text'(syntax_error(S), _, 'Syntax error: ~w'-[S]).
'$error_text'(format(M), _, 'Format error: ~w'-[M]).
'$error_text'(system_error, Context, Line) :-
    (   nonvar(Context), Context = system_error(M), atom(M), M \== ''
    ->  Line = 'System error: ~w'-[M]
    ;   Line = 'System error'-[]
    ).

% The goal in whose context the error arose, and the argument at fault.
'$context_lines'(Context, Lines) :-
    (   compound(Context), arg(1, Context, Goal), nonvar(Goal), Goal \== 0,
        Context \= system_error(_)
    ->  (   arg(2, Context, N), integer(N), N > 0
        ->  Lines = ['in argument ~w of ~q'-[N, Goal]]
        ;   Lines = ['in ~q'-[Goal]]
        )
    ;   Lines = []
    ).
