% print_message/2: the text of each error term the system raises, the
% goal and argument of its context, the kinds and their prefixes, and
% user:message_hook/3. The messages are this system's own: each case sends
% user_error to a file and reads the text back as an atom.

:- dynamic message_hook/3.

err(G, A) :-
    File = 'lv_messages_table.tmp',
    open(File, write, S),
    S = '$stream'(Addr),
    prolog:'$stderror'(Old, Addr),
    (   catch(G, E, true) -> true ; true ),
    prolog:'$stderror'(_, Old),
    close(S),
    open(File, read, R),
    get_codes(R, Cs),
    close(R),
    atom_codes(A, Cs),
    (   nonvar(E) -> throw(E) ; true ).

get_codes(R, Cs) :-
    get_code(R, C),
    (   C =:= -1 -> Cs = [] ; Cs = [C|Cs1], get_codes(R, Cs1) ).

caught(G, A) :- catch(G, E, true), err(print_message(error, E), A).

% The first line of what a raised error prints (the context names
% variables).
first_line(G, L) :- caught(G, A), atom_codes(A, Cs), first_codes(Cs, Ls), atom_codes(L, Ls).

first_codes([], []).
first_codes([0'\n|_], []) :- !.
first_codes([C|Cs], [C|Ls]) :- first_codes(Cs, Ls).

x(instantiation, A, first_line(atom_length(_, _), A), ['! Instantiation error']).
x(type, A, caught(atom_length(f(x), 3), A), ['! Type error: atom expected, found f(x)\n! in argument 1 of prolog:atom_length(f(x),3)\n']).
x(domain, A, caught(atom_length(a, -1), A), ['! Domain error: not_less_than_zero expected, found -1\n! in argument 2 of prolog:atom_length(a,-1)\n']).
x(existence, A, err(print_message(error, error(existence_error(procedure, foo/0), 0)), A), ['! Existence error: procedure foo/0 does not exist\n']).
x(existence_stream, A, err(print_message(error, error(existence_error(stream, s), 0)), A), ['! Existence error: stream s does not exist\n']).
x(permission, A, caught(put_char(user_input, a), A), ['! Permission error: cannot output stream user_input\n! in argument 1 of prolog:put_char(user_input,a)\n']).
x(representation, A, first_line(char_code(_, -1), A), ['! Representation error: character_code']).
x(evaluation, A, first_line(_ is 1 / 0, A), ['! Evaluation error: zero_divisor']).
x(resource, A, err(print_message(error, error(resource_error(memory), resource_error(0, memory))), A), ['! Resource error: not enough memory\n']).
x(syntax, A, first_line(number_codes(_, "3x"), A), ['! Syntax error: illegal number']).
% Syntax errors say what the reader expected in words.
x(syntax_expected, L, (member(E, [expected([',', ')']), expected([',', '|', ']']), expected(['}']), operator_expected]),
                       err(print_message(error, error(syntax_error(E), 0)), L)),
  ['! Syntax error: "," or ")" expected\n', '! Syntax error: "," "|" or "]" expected\n', '! Syntax error: "}" expected\n',
   '! Syntax error: operator expected\n']).
x(uninstantiation, A, err(print_message(error, error(uninstantiation_error(s), 0)), A), ['! Uninstantiation error: expected an unbound variable, found s\n']).
x(system, A, err(print_message(error, error(system_error, system_error('LVIO_E_NET_CONNREFUSED'))), A), ['! System error: LVIO_E_NET_CONNREFUSED\n']).
x(format_error, A, caught(format("~z", []), A), ['! Format error: unknown directive ~z\n! in prolog:format([126,122],[])\n']).
x(warning, A, err(print_message(warning, existence_error(procedure, p/1)), A), ['* Existence error: procedure p/1 does not exist\n']).
x(informational, A, err(print_message(informational, format("hello ~w", [x])), A), ['% hello x\n']).
% The informational flag off silences informational messages only.
x(informational_off, [A, B],
  setup_call_cleanup(set_prolog_flag(informational, off),
                     ( err(print_message(informational, format("hello", [])), A),
                       err(print_message(warning, format("hello", [])), B) ),
                     set_prolog_flag(informational, on)),
  [['', '* hello\n']]).
x(silent, A, err(print_message(silent, format("hello", [])), A), ['']).
x(unknown, A, err(print_message(error, foo(bar)), A), ['! Unknown message: foo(bar)\n']).
x(hook, A, (assertz((message_hook(M, K, _) :- M = foo(_), write(user_error, hooked(K)))), err(print_message(error, foo(1)), A), retractall(message_hook(_, _, _))), ['hooked(error)']).

member(X, [X|_]).
member(X, [_|T]) :- member(X, T).
