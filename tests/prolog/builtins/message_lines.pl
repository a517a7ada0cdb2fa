% print_message_lines/3: the prefix at the start of every line, the
% elements of a line, a trailing nl or none, the prefix of a kind, errors.
% Each case writes to a stream of its own and reads the text back as an
% atom.

:- discontiguous t/3, x/4.

out(G, S, A) :-
    File = 'lv_message_lines_table.tmp',
    open(File, write, S),
    (   catch(G, E, true) -> true ; true ),
    close(S),
    open(File, read, R),
    get_codes(R, Cs),
    close(R),
    atom_codes(A, Cs),
    (   nonvar(E) -> throw(E) ; true ).

get_codes(R, Cs) :-
    get_code(R, C),
    (   C =:= -1 -> Cs = [] ; Cs = [C|Cs1], get_codes(R, Cs1) ).

t(lines, A, out(print_message_lines(S, '% ', ['hi ~w'-[x], nl, two, '-~a'-[y], nl, three]), S, A)).
t(trailing_nl, A, out(print_message_lines(S, 'p ', ['one'-[], nl]), S, A)).
t(empty, A, out(print_message_lines(S, 'p ', []), S, A)).
t(flush, A, out(print_message_lines(S, '', [flush, x-[]]), S, A)).
x(kind_prefix, A, out(print_message_lines(S, kind(warning), ['w ~q'-['A'], nl, more-[]]), S, A), ['* w \'A\'\n* more\n']).
x(not_list, x, out(print_message_lines(S, '', foo), S, _), error(type_error(list, foo))).
x(partial_list, x, out(print_message_lines(S, '', [a|_]), S, _), error(instantiation_error)).
