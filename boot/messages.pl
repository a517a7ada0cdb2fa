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
    ;   '$statistics_lines'(Message, Lines0) -> Lines = Lines0
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
'$error_text'(representation_error(R), C, Line) :-
    (   compound(C), functor(C, representation_error, 4), arg(4, C, X)
    ->  Line = 'Representation error: ~w: ~q'-[R, X]
    ;   Line = 'Representation error: ~w'-[R]
    ).
'$error_text'(evaluation_error(E), _, 'Evaluation error: ~w'-[E]).
'$error_text'(resource_error(R), _, 'Resource error: not enough ~w'-[R]).
'$error_text'(syntax_error(S), _, 'Syntax error: ~w'-[W]) :- '$syntax_words'(S, W).
'$error_text'(format(M), _, 'Format error: ~w'-[M]).
'$error_text'(system_error, Context, Line) :-
    '$system_error_message'(Context, M),
    (   atom(M), M \== '' -> Line = 'System error: ~w'-[M] ; Line = 'System error'-[] ).

% What a syntax error says, in words: the tokens the reader expected are
% named; other faults are their names with blanks.
'$syntax_words'(S, W) :-
    (   nonvar(S), S = expected(Ts), Ts = [_|_]
    ->  '$token_names'(Ts, W0), atom_concat(W0, ' expected', W)
    ;   atom(S), '$syntax_fault_words'(S, W0) -> W = W0
    ;   atom(S) -> atom_codes(S, Cs0), '$underscores_blank'(Cs0, Cs), atom_codes(W, Cs)
    ;   W = S
    ).

'$syntax_fault_words'(end_of_file, 'unexpected end of file').
'$syntax_fault_words'(cannot_start_term, 'illegal start of a term').
'$syntax_fault_words'(end_of_file_in_block_comment, 'end of file in a block comment').
'$syntax_fault_words'(end_of_file_in_quoted, 'end of file in a quoted item').
'$syntax_fault_words'(layout_in_quoted, 'layout character in a quoted item').
'$syntax_fault_words'(unassigned_character_in_quoted, 'unassigned character in a quoted item').

% "," or ")", and "," "|" or "]".
'$token_names'([T], W) :- !, '$token_name'(T, W).
'$token_names'([T, U], W) :- !,
    '$token_name'(T, A), '$token_name'(U, B), atom_concat(A, ' or ', AO), atom_concat(AO, B, W).
'$token_names'([T|Ts], W) :-
    '$token_name'(T, A), '$token_names'(Ts, B), atom_concat(A, ' ', AS), atom_concat(AS, B, W).

'$token_name'(T, W) :- atom_concat('"', T, Q), atom_concat(Q, '"', W).

'$underscores_blank'([], []).
'$underscores_blank'([C|Cs], [B|Bs]) :- ( C =:= 0'_ -> B = 32 ; B = C ), '$underscores_blank'(Cs, Bs).

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
